#!/usr/bin/env bash
# Sets up, builds and runs every test, headless: on Qt's offscreen platform,
# and the tests named tst_*_x11 in a private Xvfb server (see tests/CMakeLists.txt).
# Then builds the libFuzzer targets and runs each for a few seconds
# (scripts/fuzz.sh), and builds the whole project again with AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-sanitize/) and runs every test there
# too; any report fails its test. `--quick` runs the first pass only.
# The printing tests print on a real CUPS queue of a scheduler of their own:
# CTest first runs scripts/print-queue.sh, which starts a second cupsd in a
# folder of the build's (never touching the machine's scheduler or its default
# printer) with the PDF queue they read their PDFs from, and stops it after.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root/build" --output-on-failure -j2
if [ "${1:-}" = "--quick" ]; then
  exit 0
fi
# Every libFuzzer target is built (clang, in build-fuzz/) and fuzzed for a
# few seconds from its corpus, so that a fuzz build that no longer builds or
# a target that fails at once fails the run.
FUZZ_SECONDS=5 FUZZ_JOBS=2 "$root/scripts/fuzz.sh"
cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DOSTREL_SANITIZE=ON -DOSTREL_BENCHMARKS=OFF >/dev/null
cmake --build "$root/build-sanitize"
ctest --test-dir "$root/build-sanitize" --output-on-failure -j2
