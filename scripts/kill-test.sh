#!/usr/bin/env bash
# The benchmark-length crash-safety run: the program is killed (SIGKILL) at
# random moments while it saves a large record again and again, and after
# each kill the record must be whole and the next start must find no
# temporary file. The short form (a handful of kills) runs in the test suite
# as tst_killsave.
#
#   scripts/kill-test.sh [kills] [megabytes]     (default: 200 kills, 8 MB)
#
# OSTREL_KILL_SEED=n repeats a run's random moments (each run prints its seed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tst_killsave
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
OSTREL_KILLS="${1:-200}" OSTREL_KILL_MB="${2:-8}" "$build/tests/tst_killsave" -silent
