#!/usr/bin/env bash
# Sets up, builds and runs every test, headless: on Qt's offscreen platform,
# and the tests named tst_*_x11 in a private Xvfb server (see tests/CMakeLists.txt).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root/build" --output-on-failure -j2
