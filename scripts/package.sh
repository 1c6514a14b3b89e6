#!/usr/bin/env bash
# Builds the Debian package build/package/ostrel_<version>_<arch>.deb: the
# program with its menu entry, launcher, icon, font aliases and metadata.
# Install it with: sudo apt install ./build/package/ostrel_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target ostrel ostrel_icons
cpack --config "$root/build/CPackConfig.cmake" -B "$root/build/package"
ls "$root"/build/package/ostrel_*.deb
