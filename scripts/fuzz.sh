#!/usr/bin/env bash
# Builds the libFuzzer targets of the package path with clang (build/fuzz)
# and runs each for SECONDS (default 60), both at once, seeded with packages
# like the tests make. A crash, leak or sanitizer report fails the script;
# inputs that caused one are kept in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" >/dev/null

mkdir -p "$build/seeds/header" "$build/seeds/unpack" "$build/corpus/header" \
         "$build/corpus/unpack" "$build/artifacts"
"$build/make_seeds" "$build/seeds/header" "$build/seeds/unpack" >/dev/null

# Both targets run at once, one per core.
run_target() {
  local target=$1 log="$build/fuzz_$1.log"
  if "$build/fuzz_$target" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
       "$build/corpus/$target" "$build/seeds/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: $runs executions in ${seconds}s, no findings"
  else
    echo "fuzz_$target: FINDING, see $log"
    tail -n 30 "$log"
    return 1
  fi
}

run_target header > "$build/header.summary" & header=$!
run_target unpack > "$build/unpack.summary" & unpack=$!
status=0
wait $header || status=1
wait $unpack || status=1
cat "$build/header.summary" "$build/unpack.summary"
exit $status
