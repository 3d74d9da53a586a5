#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for
# SECONDS (default 60), or for N executions each with --runs N, all at
# once: the package path seeded with packages like the tests make, the
# content probe with the starts of small disks. A crash, leak or sanitizer
# report fails the script; inputs that caused one are kept in
# build/fuzz/artifacts. FUZZ_SANITIZERS=undefined builds without
# AddressSanitizer (build/fuzz-undefined), a few times faster, for long
# runs; the corpus they grow is shared, and a short run of the default
# build afterwards replays all of it under AddressSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time="${1:-60}")
if [ "${1:-}" = --runs ]; then limit=(-runs="$2"); fi
sanitizers=${FUZZ_SANITIZERS:-address,undefined}
build=build/fuzz
[ "$sanitizers" = address,undefined ] || build=build/fuzz-$sanitizers

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DFUZZ_SANITIZERS="$sanitizers" >/dev/null
cmake --build "$build" >/dev/null

corpus=build/fuzz/corpus
mkdir -p "$build/seeds/header" "$build/seeds/unpack" "$build/seeds/probe" "$corpus/header" \
         "$corpus/unpack" "$corpus/probe" "$build/artifacts"
"$build/make_seeds" "$build/seeds/header" "$build/seeds/unpack" >/dev/null
# The probe's seeds: the first 16 KiB of a FAT disk with a file, of ext2,
# and a partition table.
seeds=$build/seeds/probe
if [ ! -f "$seeds/ext2" ]; then
  scratch=$(mktemp -d)
  mkfs.fat -C -n SEED "$scratch/fat" 160 >/dev/null
  echo seed >"$scratch/a.txt" && mcopy -i "$scratch/fat" "$scratch/a.txt" ::A.TXT
  mkfs.ext2 -q -L SEED "$scratch/ext2" 256 >/dev/null
  head -c 16384 "$scratch/fat" >"$seeds/fat"
  head -c 16384 "$scratch/ext2" >"$seeds/ext2"
  python3 -c "import sys; b=bytearray(4096); b[450]=0x83; b[454]=1; b[458]=7; b[510]=0x55; b[511]=0xAA; sys.stdout.buffer.write(b)" >"$seeds/mbr"
  rm -rf "$scratch"
fi

# The targets run at once, on the machine's two cores.
run_target() {
  local target=$1 log="$build/fuzz_$1.log"
  if "$build/fuzz_$target" "${limit[@]}" -max_len=16384 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
       "$corpus/$target" "$build/seeds/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    echo "fuzz_$target: $runs executions in ${time}s, no findings"
  else
    echo "fuzz_$target: FINDING, see $log"
    tail -n 30 "$log"
    return 1
  fi
}

run_target header > "$build/header.summary" & header=$!
run_target unpack > "$build/unpack.summary" & unpack=$!
run_target probe > "$build/probe.summary" & probe=$!
status=0
wait $header || status=1
wait $unpack || status=1
wait $probe || status=1
cat "$build/header.summary" "$build/unpack.summary" "$build/probe.summary"
exit $status
