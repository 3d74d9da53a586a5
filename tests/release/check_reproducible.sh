#!/usr/bin/env bash
# The Windows programs are reproducible: the win32 preset built again, now,
# from a copy of the same sources in another folder gives diskarno-sfx.exe
# and diskarno.exe byte for byte as build/win32 holds them.
# Usage: check_reproducible.sh SOURCE_DIR SCRATCH
set -euo pipefail
source_dir=$1 scratch=$2
first=$source_dir/build/win32
programs=(app/diskarno-sfx.exe tools/diskarno/diskarno.exe)
for program in "${programs[@]}"; do
  if [ ! -f "$first/$program" ]; then
    echo "no $first/$program: build the win32 preset first"
    exit 77
  fi
done

# The working tree's files (what build/win32 was built from) and the
# library sources scripts/setup.sh fetched, in a folder of another name.
rm -rf "$scratch"
copy=$scratch/second-copy
mkdir -p "$copy/build"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf -) | tar -xf - -C "$copy"
cp -a "$source_dir/build/third_party" "$copy/build/"
if ! (cd "$copy" && cmake --preset win32 && cmake --build --preset win32 -j2 \
  --target diskarno-sfx diskarno) >"$scratch/build.log" 2>&1; then
  cat "$scratch/build.log"
  exit 1
fi

status=0
for program in "${programs[@]}"; do
  if cmp -l "$first/$program" "$copy/build/win32/$program"; then
    echo "$program: identical ($(stat -c %s "$first/$program") bytes)"
  else
    echo "$program differs (is build/win32 up to date with the working tree?)"
    status=1
  fi
done
[ "$status" -ne 0 ] || rm -rf "$scratch"
exit "$status"
