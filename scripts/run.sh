#!/usr/bin/env bash
# Installs what is missing, builds, and starts Palisade on a bundled sample document
# (or on the file given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target Palisade
exec build/Palisade "${1:-samples/assembly.xml}"
