#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Ostrel needs.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools
  qt6-translations-l10n qt6-qpa-plugins
  qt6-base-private-dev
  libgl-dev libxkbcommon-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fontconfig
  libqt6svg6
  libxxhash-dev
  xvfb xauth openbox x11-utils x11-apps netpbm
  dpkg-dev file librsvg2-bin desktop-file-utils appstream
  cups cups-client libcups2-dev
  poppler-utils paps
  clang-14 libclang-rt-14-dev llvm-14
  syncthing
  fcitx5 fcitx5-mozc fcitx5-frontend-qt6
  dbus-daemon at-spi2-core python3 python3-pyatspi python3-gi python3-xlib
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
