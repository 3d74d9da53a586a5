#!/usr/bin/env bash
# The test command: installs what is missing, builds every preset with
# warnings as errors, and runs the tests (sanitized build first, then the
# 32-bit build under qemu-i386, then the plain build with the Wine and
# emulated-PC end-to-end tests, whose ctest summary closes the output).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

# The emulated PC for the 32-bit end-to-end tests (label e2e32): built once,
# 15-35 min, while the presets build; reused from the cache afterwards.
mkdir -p build
scripts/guest.sh prepare >build/guest-prepare.log 2>&1 &
guest_prepare=$!

for preset in win32 win64 host host-asan host32; do  # win32 first: the tool embeds its program
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo "== tests, host-asan"
ctest --preset host-asan -LE 'e2e|drives' --output-on-failure -j2 | tail -n 3

echo "== tests, host32 (i686 under qemu-i386)"
log=build/host32/ctest.log
if ! ctest --preset host32 --output-on-failure -j2 >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
tail -n 3 "$log"

echo "== release packages (checked by the host tests, label release)"
scripts/release.sh | tail -n 4

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz, short"
  scripts/fuzz.sh 20
fi

echo "== the emulated PC (scripts/guest.sh prepare)"
if ! wait "$guest_prepare"; then
  cat build/guest-prepare.log
  exit 1
fi
tail -n 2 build/guest-prepare.log

echo "== tests, host (e2e32: the 32-bit program in the emulated PC; drives: real drivers there)"
ctest --preset host --output-on-failure -j2
