#!/usr/bin/env bash
# Sets up, builds and runs every test, headless: on Qt's offscreen platform,
# and the tests named tst_*_x11 in a private Xvfb server (see tests/CMakeLists.txt).
# The printing tests print on a real CUPS queue: CTest first runs
# scripts/print-queue.sh, which starts the scheduler when it is not running and
# adds the PDF queue they read their PDFs from.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root/build" --output-on-failure -j2
