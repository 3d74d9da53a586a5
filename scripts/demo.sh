#!/usr/bin/env bash
# The main job, end to end: builds everything, makes a sample FAT12 floppy
# image, packs it into a Windows program (build/demo/diskarno-demo.exe, the
# 32-bit file a user would hand out, and its 64-bit twin), runs the 64-bit
# one under Wine with drive A: mapped to an empty formatted disk image,
# clicks "Write disk", answers the boxes and shows what reached the disk;
# then `diskarno verify` compares that disk with the program's image.
#
# scripts/demo.sh --win32 does the same with the 32-bit program itself,
# under 32-bit Wine in the emulated PC (scripts/guest.sh; its image is built
# the first time, 15-35 min, then reused; one run takes 3-5 min).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
win32=0
[ "${1:-}" != --win32 ] || win32=1

scripts/setup.sh >/dev/null
for preset in win32 win64 host; do  # win32 first: the tool embeds its program
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

demo="$root/build/demo"
rm -rf "$demo/work" "$demo/shots"
mkdir -p "$demo/work" "$demo/shots" "$demo/floppy"
diskarno="$root/build/host/tools/diskarno/diskarno"
stub64="$root/build/win64/app/diskarno-sfx.exe"

# The sample disk: a 1.44 MB FAT12 floppy with a short text file.
image="$demo/sample.img"
rm -f "$image"
truncate -s 1474560 "$image"
/sbin/mkfs.fat -F 12 -n DEMODISK "$image" >/dev/null
printf 'Hello from Diskarno SFX.\r\nThis file travelled inside a Windows program.\r\n' >"$demo/work/README.TXT"
MTOOLS_NO_VFAT=1 mcopy -i "$image" "$demo/work/README.TXT" ::README.TXT

"$diskarno" pack "$image" -o "$demo/diskarno-demo.exe" --description "Diskarno demo disk"  # the built-in 32-bit program
"$diskarno" pack "$image" -o "$demo/diskarno-demo64.exe" --stub "$stub64" --description "Diskarno demo disk"
echo "Packed: $demo/diskarno-demo.exe ($(stat -c %s "$demo/diskarno-demo.exe") bytes, 32-bit)"
echo "        $demo/diskarno-demo64.exe ($(stat -c %s "$demo/diskarno-demo64.exe") bytes, 64-bit)"
"$diskarno" info "$demo/diskarno-demo.exe"

# The target: an empty formatted floppy behind drive A:.
target="$demo/floppy-a.img"
rm -f "$target"
truncate -s 1474560 "$target"
/sbin/mkfs.fat -F 12 -n EMPTY "$target" >/dev/null

# The 64-bit twin under wine64 here: dialogs driven with xdotool.
run_wine64() {
  . "$root/tests/e2e/wine_session.sh"
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export WINEPREFIX="$demo/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
    [ -f "$WINEPREFIX/system.reg" ] || "$E2E_WINE" wineboot -i >/dev/null 2>&1
    "$E2E_WINE" reg add 'HKLM\Software\Wine\Drives' /v a: /d floppy /f >/dev/null 2>&1
    E2E_XVFB_PID="" E2E_WM_PID=""
  else
    e2e_init "$demo" $((120 + RANDOM % 50))
  fi
  trap e2e_shutdown EXIT
  e2e_map_floppy "$demo/floppy" "$target"

  local log="$demo/work/wine.log" dialog box code
  e2e_start "$demo/diskarno-demo64.exe" "$log"
  dialog=$(e2e_window "Create a floppy disk" 60) || { echo "The main dialog did not appear."; exit 1; }
  sleep 0.5
  e2e_screenshot "$demo/shots/1-main-dialog.png"
  e2e_key "$dialog" Return
  box=$(e2e_window "Information" 120) || failed=1
  sleep 0.3
  e2e_screenshot "$demo/shots/2-written.png"
  [ -n "${box:-}" ] && e2e_key "$box" Return
  e2e_gone "Information" 10 || true
  e2e_key "$dialog" alt+F4
  code=$(e2e_wait_exit "$log" 20) || true

  echo
  echo "The dialog said:"
  e2e_texts "$log" | grep -F 'This program creates the following disk:' | grep -v '&$' | tail -n 1 |
    sed 's/^/  /'
  echo "Status lines: $(e2e_texts "$log" | grep -c '^Writing to drive A: (') written, the last:"
  e2e_texts "$log" | grep '^Writing to drive A: (' | tail -n 1 | sed 's/^/  /'
  echo "Boxes:"
  e2e_texts "$log" | grep -E -x 'The disk has been written\.|Error|Warning|Confirmation|.*not ready.*|Invalid.*' |
    sed 's/^/  /' || true
  echo "Exit code: $code"
  echo "Screenshots: $demo/shots/"
  [ "$code" = 0 ] || failed=1
}

failed=0
if [ "$win32" -eq 1 ]; then
  scripts/guest.sh prepare
  echo
  echo "The 32-bit program in the emulated PC, drive A: an empty formatted disk:"
  scripts/guest.sh run "$demo/diskarno-demo.exe" -o "$target" || failed=1
else
  run_wine64
fi
if cmp -s "$image" "$target"; then
  echo "The written disk equals the image, byte for byte."
else
  echo "The written disk DIFFERS from the image."
  failed=1
fi
echo "Files on the written disk (mdir):"
mdir -i "$target" :: | sed 's/^/  /'
/sbin/fsck.fat -n "$target" >/dev/null && echo "fsck.fat: clean" || { echo "fsck.fat: errors"; failed=1; }
echo "The tool reads the written disk back against the program, track by track:"
"$diskarno" verify "$demo/diskarno-demo.exe" "$target" 2>&1 | sed 's/^/  /' || failed=1
exit $failed
