#!/usr/bin/env bash
# Sets up, builds and starts Ostrel. The data folder is the first argument
# (default: ~/OstrelData); Ostrel runs with it as its working directory and
# keeps its groups, records and Ostrel.ini there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
data="${1:-$HOME/OstrelData}"
"$root/scripts/build.sh"
mkdir -p "$data"
cd "$data"
exec "$root/build/ostrel"
