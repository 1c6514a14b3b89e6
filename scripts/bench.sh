#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its figure beside its reference.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
status=0
for b in "$root"/build/bench/bench_*; do
  [ -x "$b" ] || continue
  "$b" || status=1
done
exit $status
