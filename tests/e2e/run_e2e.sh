#!/usr/bin/env bash
# End-to-end tests of the real 64-bit program under wine64: packages made by
# `diskarno pack`, dialogs driven with xdotool on an Xvfb display, drive A:
# mapped to an image file. Usage: run_e2e.sh PROGRAM.exe DISKARNO OUTDIR [SCENARIO...]
# Exits 77 (skipped) when the program has not been built.
set -uo pipefail

program=$(realpath -m "$1")
diskarno=$(realpath -m "$2")
out=$(realpath -m "$3")
shift 3
[ -f "$program" ] && [ -x "$diskarno" ] || { echo "e2e: $program or $diskarno missing"; exit 77; }
# The tool's own scenarios run the diskarno.exe of the same Windows build.
diskarno_exe=${DISKARNO_EXE:-$(dirname "$program")/../tools/diskarno/diskarno.exe}

here=$(dirname "$(realpath "$0")")
# shellcheck source=wine_session.sh
. "$here/wine_session.sh"

rm -rf "$out/disks"
mkdir -p "$out/shots" "$out/work"
work="$out/work"
display_number=$((90 + RANDOM % 100))
e2e_init "$out" "$display_number" || { echo "e2e: wine prefix could not be made"; exit 1; }
trap 'chattr -i "$work"/*.img 2>/dev/null; e2e_shutdown' EXIT

passed=0
failed=0
failures=()

check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    return 0
  fi
  echo "    not as expected: $what"
  return 1
}

# same_disk EXPECTED ACTUAL: byte for byte; both are kept under $out/disks,
# where the emulated PC's runs hand them to the host for a second comparison.
same_disk() {
  disk_number=$((disk_number + 1))
  mkdir -p "$out/disks"
  cp "$1" "$out/disks/$current.$disk_number.expected" && cp "$2" "$out/disks/$current.$disk_number.actual"
  cmp "$1" "$2"
}

texts_have() {  # texts_have LOG TEXT: some window got exactly TEXT
  # grep reads to the end: with -q it would quit at the first match, and the
  # writer's SIGPIPE would fail the pipeline under pipefail.
  e2e_texts "$1" | grep -xF -- "$2" >/dev/null
}

make_fat() {  # make_fat IMAGE BYTES [FILE CONTENT]...
  local image=$1 bytes=$2
  shift 2
  rm -f "$image"
  truncate -s "$bytes" "$image"
  /sbin/mkfs.fat -F 12 -n DISKARNO -i 12345678 "$image" >/dev/null || return 1
  while [ $# -ge 2 ]; do
    printf '%s' "$2" >"$work/content"
    MTOOLS_NO_VFAT=1 mcopy -o -i "$image" "$work/content" "::$1" || return 1
    shift 2
  done
}

blank_disk() {  # blank_disk FILE BYTES: a formatted, empty disk to write on
  make_fat "$1" "$2"
}

pack() {  # pack IMAGE OUT [ARGS...]
  local image=$1 result=$2
  shift 2
  "$diskarno" pack "$image" -o "$result" --stub "$program" "$@" 2>>"$work/pack.log"
}

run_scenario() {
  local name=$1
  current=$name disk_number=0
  echo "== $name"
  "$WINESERVER" -k >/dev/null 2>&1
  chattr -i "$work"/*.img 2>/dev/null
  rm -rf "$work/floppy"
  mkdir -p "$work/floppy"
  if "scenario_$name"; then
    passed=$((passed + 1))
    echo "   passed"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "   FAILED (log: $work/$name.log)"
  fi
  "$WINESERVER" -k >/dev/null 2>&1
  sleep 0.3
}

# shellcheck source=scenarios.sh
. "$here/scenarios.sh"

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=("${ALL_SCENARIOS[@]}")
for scenario in "${scenarios[@]}"; do run_scenario "$scenario"; done

[ ${#failures[@]} -eq 0 ] || echo "e2e failures: ${failures[*]}"
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
