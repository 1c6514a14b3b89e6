#!/usr/bin/env bash
# Fuzzes Ostrel's parsers and file handling with clang's libFuzzer.
#
#   scripts/fuzz.sh [target ...]      (default: every fuzz/fuzz_*.cpp)
#
# Builds the targets into build-fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for FUZZ_SECONDS (default 600),
# one after the other, starting from its committed corpus (fuzz/corpus/<t>/)
# and its regression inputs (fuzz/regressions/<t>/). What a run learns stays
# in build-fuzz/corpus/<t>/ for the next run; an input that fails is written
# to build-fuzz/crashes/<t>/ and the script fails. Each run's figures
# (executions, new inputs, failures) are appended to build-fuzz/results.txt.
# FUZZ_JOBS=2 runs two targets at a time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-fuzz"
seconds="${FUZZ_SECONDS:-600}"

"$root/scripts/setup.sh"
if [ $# -eq 0 ]; then
  set -- $(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//')
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++-14 cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$out" --target $(printf 'fuzz_%s ' "$@")

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
command -v llvm-symbolizer-14 >/dev/null &&
  export ASAN_SYMBOLIZER_PATH="$(command -v llvm-symbolizer-14)"

run() {
  local t="$1" work="$out/corpus/$1" crashes="$out/crashes/$1" log="$out/logs/$1.log"
  mkdir -p "$work" "$crashes" "$out/logs"
  local seeds=("$root/fuzz/corpus/$t")
  [ -d "$root/fuzz/regressions/$t" ] && seeds+=("$root/fuzz/regressions/$t")
  local before status=0
  before=$(ls "$work" | wc -l)
  local started=$SECONDS
  "$out/fuzz/fuzz_$t" "$work" "${seeds[@]}" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -artifact_prefix="$crashes/" \
    >"$log" 2>&1 || status=$?
  local runs failures
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  failures=$(ls "$crashes" | wc -l)
  # The time it really ran: a failure stops it early.
  printf '%s %s: %s s, %s executions, %s new inputs, %s failing inputs kept\n' \
    "$(date -u +%FT%TZ)" "$t" "$((SECONDS - started))" "${runs:-?}" "$(( $(ls "$work" | wc -l) - before ))" \
    "$failures" | tee -a "$out/results.txt"
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$t failed; see $log and $crashes" >&2
    return 1
  fi
}

status=0
if [ "${FUZZ_JOBS:-1}" -ge 2 ]; then
  pids=()
  for t in "$@"; do
    run "$t" & pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then
      wait "${pids[0]}" || status=1
      pids=("${pids[@]:1}")
    fi
  done
  for p in "${pids[@]}"; do wait "$p" || status=1; done
else
  for t in "$@"; do run "$t" || status=1; done
fi
exit $status
