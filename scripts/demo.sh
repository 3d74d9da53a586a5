#!/usr/bin/env bash
# The main job: builds everything and shows what was built.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >/dev/null
for preset in host win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

echo "Built:"
find build/host build/win32 build/win64 -maxdepth 3 -type f \( -name '*.exe' -o -name 'diskarno' \
  -o -name 'diskarno_tests' \) -printf '  %p  %s bytes\n' | sort
