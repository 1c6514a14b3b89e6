#!/usr/bin/env bash
# The peer benchmark's own packages: the two editors Ostrel is measured
# beside, and what drives and watches them on an X server (python3-xlib with
# its XTEST and DAMAGE extensions). Not part of scripts/setup.sh: nothing
# else needs them.
set -euo pipefail
packages=(featherpad kwrite python3-xlib xvfb xauth openbox x11-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
