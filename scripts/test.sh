#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (headless).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The Qt Designer plugin and its test, where Qt's Designer development files are installed.
designer=OFF
dpkg-query -W -f='${Status}' qt6-tools-dev 2>/dev/null | grep -q "install ok installed" && designer=ON
# The benches are built too (QUILLON_BENCH), so that they keep compiling; they are not run here.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_DESIGNER_PLUGIN=$designer -DQUILLON_BENCH=ON
cmake --build build -j"$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure
