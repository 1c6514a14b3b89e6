#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its figure beside its reference.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
# The benchmarks' own needs: ripgrep, beside which the search through every
# record is timed.
if ! command -v rg >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends ripgrep
fi
export QT_QPA_PLATFORM=offscreen
status=0
for b in "$root"/build/bench/bench_*; do
  [ -x "$b" ] || continue
  "$b" || status=1
done
exit $status
