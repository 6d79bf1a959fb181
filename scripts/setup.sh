#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, if anything is missing.
set -euo pipefail

packages=(build-essential cmake qt6-base-dev qt6-svg-dev libpugixml-dev libqscintilla2-qt6-dev
          libgl-dev xvfb imagemagick clang libclang-rt-14-dev libxml2-utils
          qt6-tools-dev libqt6opengl6-dev desktop-file-utils appstream dpkg-dev
          libgraphviz-dev lintian)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
