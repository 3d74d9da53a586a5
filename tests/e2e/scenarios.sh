# The end-to-end scenarios; sourced by run_e2e.sh. Each returns 0 when the
# program behaved as expected.

ALL_SCENARIOS=(corrupt_package dialog_about_close close_button wrong_password write_disk
               protected_write accented_password write_720k files_on_disk read_only_disk
               tool_info tool_extract tool_read tool_write_verify tool_verify_changed)

DIALOG="Create a floppy disk"

# A program with nothing appended: the corrupt-package box, then exit code 1.
scenario_corrupt_package() {
  local log="$work/corrupt_package.log" box code
  cp "$program" "$work/bare.exe"
  e2e_start "$work/bare.exe" "$log"
  box=$(e2e_window "Error") || { echo "    no Error box"; return 1; }
  e2e_screenshot "$out/shots/corrupt-package.png"
  e2e_key "$box" Return
  code=$(e2e_wait_exit "$log")
  check "box text" texts_have "$log" "Corrupted file contents, please try to download again." &&
    check "exit code 1 (got $code)" [ "$code" = 1 ]
}

# The main dialog shows the description and the medium; About; Alt+F4 ends with 0.
scenario_dialog_about_close() {
  local log="$work/dialog_about_close.log" dialog about code
  make_fat "$work/disk.img" 1474560 README.TXT "hello" && pack "$work/disk.img" "$work/about.exe" \
    --description "Rescue disk" || return 1
  e2e_start "$work/about.exe" "$log"
  dialog=$(e2e_window "$DIALOG") || { echo "    no main dialog"; return 1; }
  e2e_screenshot "$out/shots/main-dialog.png"
  e2e_key "$dialog" alt+a
  about=$(e2e_window "About (version 11-24-2004)") || { echo "    no About box"; return 1; }
  e2e_screenshot "$out/shots/about.png"
  e2e_key "$about" Return
  e2e_gone "About (version 11-24-2004)" || return 1
  e2e_key "$dialog" alt+F4
  code=$(e2e_wait_exit "$log")
  check "description line" texts_have "$log" \
    'This program creates the following disk: | Rescue disk (3.5" 1.44MB)' &&
    check "exit code 0 (got $code)" [ "$code" = 0 ]
}

# The Close button ends the program with exit code 0.
scenario_close_button() {
  local log="$work/close_button.log" dialog code
  make_fat "$work/disk.img" 1474560 && pack "$work/disk.img" "$work/close.exe" || return 1
  e2e_start "$work/close.exe" "$log"
  dialog=$(e2e_window "$DIALOG") || return 1
  e2e_key "$dialog" Escape  # ignored: the dialog stays
  sleep 0.5
  e2e_window "$DIALOG" 2 >/dev/null || { echo "    Escape closed the dialog"; return 1; }
  e2e_key "$dialog" alt+l
  code=$(e2e_wait_exit "$log")
  check "exit code 0 (got $code)" [ "$code" = 0 ]
}

# A wrong password: the box, and the drive is not touched.
scenario_wrong_password() {
  local log="$work/wrong_password.log" dialog box
  make_fat "$work/disk.img" 1474560 && pack "$work/disk.img" "$work/protected.exe" \
    --password "secret" || return 1
  blank_disk "$work/target.img" 1474560
  cp "$work/target.img" "$work/target.before"
  e2e_map_floppy "$work/floppy" "$work/target.img"
  e2e_start "$work/protected.exe" "$log"
  dialog=$(e2e_window "$DIALOG") || return 1
  e2e_type "$dialog" "wrong"
  e2e_key "$dialog" Return
  box=$(e2e_window "Error") || { echo "    no Error box"; return 1; }
  e2e_screenshot "$out/shots/wrong-password.png"
  e2e_key "$box" Return
  e2e_gone "Error" || return 1
  e2e_key "$dialog" alt+F4
  e2e_wait_exit "$log" >/dev/null
  check "box text" texts_have "$log" "Invalid password" &&
    check "disk untouched" same_disk "$work/target.before" "$work/target.img"
}

# write_and_check LOG EXE IMAGE TARGET [PASSWORD]: Write disk, answer the boxes,
# and compare the written disk with the image.
write_and_check() {
  local log=$1 exe=$2 image=$3 target=$4 password=${5:-} dialog box
  e2e_map_floppy "$work/floppy" "$target"
  e2e_start "$exe" "$log"
  dialog=$(e2e_window "$DIALOG") || { echo "    no main dialog"; return 1; }
  [ -z "$password" ] || e2e_type "$dialog" "$password"
  e2e_key "$dialog" Return
  if [ -n "${CONFIRM_FILES:-}" ]; then
    box=$(e2e_window "Confirmation") || { echo "    no Confirmation box"; return 1; }
    e2e_key "$box" alt+y
  fi
  box=$(e2e_window "Information" 60) || { echo "    no Information box"; e2e_texts "$log" | tail -n 5; return 1; }
  e2e_screenshot "$out/shots/written-$(basename "$exe" .exe).png"
  e2e_key "$box" Return
  e2e_gone "Information" || return 1
  e2e_key "$dialog" alt+F4
  e2e_wait_exit "$log" >/dev/null
  check "box text" texts_have "$log" "The disk has been written." &&
    check "disk equals image" same_disk "$image" "$target" &&
    check "fsck.fat clean" /sbin/fsck.fat -n "$target" >/dev/null
}

# The whole disk, through the real dialogs; every status line traced.
scenario_write_disk() {
  local log="$work/write_disk.log" first last
  make_fat "$work/disk.img" 1474560 HELLO.TXT "Hello from a floppy" NOTES.TXT "two files" &&
    pack "$work/disk.img" "$work/write.exe" --description "Demo disk" || return 1
  blank_disk "$work/target.img" 1474560
  write_and_check "$log" "$work/write.exe" "$work/disk.img" "$work/target.img" || return 1
  first=$(e2e_texts "$log" | grep -c '^Writing to drive A: (')
  check "160 status lines (got $first)" [ "$first" -eq 160 ] &&
    check "first status line" texts_have "$log" "Writing to drive A: (1/1 of 80/2)" &&
    check "last status line" texts_have "$log" "Writing to drive A: (80/2 of 80/2)" &&
    check "files listed" sh -c "mdir -b -i '$work/target.img' :: | grep HELLO.TXT >/dev/null"
}

scenario_protected_write() {
  make_fat "$work/disk.img" 1474560 SECRET.TXT "for your eyes" &&
    pack "$work/disk.img" "$work/secret.exe" --password "open sesame" || return 1
  blank_disk "$work/target.img" 1474560
  write_and_check "$work/protected_write.log" "$work/secret.exe" "$work/disk.img" \
    "$work/target.img" "open sesame"
}

# A password of accented letters: packed on Linux (UTF-8 on the command line)
# and typed into the program; packed by diskarno.exe (the ANSI code page on
# its command line) and opened by the Linux tool with the same letters.
scenario_accented_password() {
  local password="élève à été" code written
  make_fat "$work/disk.img" 1474560 ACCENT.TXT "typed alike" &&
    pack "$work/disk.img" "$work/accent.exe" --password "$password" || return 1
  blank_disk "$work/target.img" 1474560
  # xdotool types a letter the keyboard lacks through a key it maps for a
  # moment, which Wine reads too late: the French layout has é, è and à on
  # keys of their own.
  setxkbmap fr || { echo "    no French keyboard layout"; return 1; }
  write_and_check "$work/accented_password.log" "$work/accent.exe" "$work/disk.img" \
    "$work/target.img" "$password"
  written=$?
  setxkbmap us
  [ "$written" = 0 ] || return 1
  rm -f "$work/accent_win.exe" "$work/accent_back.img"
  code=$(tool "$work/accented_pack.log" pack "Z:$work/disk.img" -o "Z:$work/accent_win.exe" \
    --stub "Z:$program" --password "$password")
  check "diskarno.exe pack: exit code 0 (got $code)" [ "$code" = 0 ] &&
    check "the Linux tool opens it" "$diskarno" extract "$work/accent_win.exe" \
      -o "$work/accent_back.img" --password "$password" &&
    check "image equals disk" same_disk "$work/disk.img" "$work/accent_back.img"
}

scenario_write_720k() {
  make_fat "$work/disk720.img" 737280 SMALL.TXT "720 KB" &&
    pack "$work/disk720.img" "$work/small.exe" || return 1
  blank_disk "$work/target720.img" 737280
  write_and_check "$work/write_720k.log" "$work/small.exe" "$work/disk720.img" "$work/target720.img"
}

# Files already in A:'s folder: the confirmation box, Yes goes on.
scenario_files_on_disk() {
  make_fat "$work/disk.img" 1474560 NEW.TXT "new" && pack "$work/disk.img" "$work/files.exe" || return 1
  blank_disk "$work/target.img" 1474560
  echo "old" >"$work/floppy/OLD.TXT"
  CONFIRM_FILES=1 write_and_check "$work/files_on_disk.log" "$work/files.exe" "$work/disk.img" \
    "$work/target.img" &&
    check "confirmation text" texts_have "$work/files_on_disk.log" \
      "There seem to be some files on the floppy disk. | Overwrite them ?"
}

# A read-only image file: the first track fails, Abort ends cleanly, nothing changed.
scenario_read_only_disk() {
  local log="$work/read_only_disk.log" dialog box code
  make_fat "$work/disk.img" 1474560 && pack "$work/disk.img" "$work/ro.exe" || return 1
  blank_disk "$work/target.img" 1474560
  cp "$work/target.img" "$work/target.before"
  # Tests run as root, whom file modes don't stop: make the file immutable.
  chattr +i "$work/target.img" || return 1
  e2e_map_floppy "$work/floppy" "$work/target.img"
  e2e_start "$work/ro.exe" "$log"
  dialog=$(e2e_window "$DIALOG") || return 1
  e2e_key "$dialog" Return
  box=$(e2e_window "Error" 30) || { echo "    no Error box"; e2e_texts "$log" | tail -n 5; return 1; }
  e2e_screenshot "$out/shots/read-only.png"
  # The box away from the writing dialog, for a picture of that dialog.
  xdotool windowmove "$box" 0 0 >/dev/null 2>&1 && sleep 0.3 &&
    e2e_screenshot "$out/shots/writing-dialog.png"
  e2e_key "$box" a  # the &Abort button
  e2e_gone "Error" || return 1
  e2e_gone "Writing disk..." || return 1
  # Back in the main dialog, whose caption unpacking has changed.
  dialog=$(e2e_window "Create a disk") || { echo "    no main dialog after Abort"; return 1; }
  e2e_key "$dialog" alt+F4
  code=$(e2e_wait_exit "$log")
  chattr -i "$work/target.img"
  check "track error text" sh -c "grep -q 'Can.t write track 1/1 to drive A:' '$log'" &&
    check "nothing changed" same_disk "$work/target.before" "$work/target.img" &&
    check "exit code 0 (got $code)" [ "$code" = 0 ]
}

# tool LOG ARGS...: the 64-bit diskarno.exe under wine64; prints its exit code.
# Unix paths reach it as Z: paths.
tool() {
  local log=$1
  shift
  [ -f "$diskarno_exe" ] || { echo "    $diskarno_exe missing"; echo 77; return; }
  "$E2E_WINE" "$diskarno_exe" "$@" >"$log" 2>&1
  echo $?
}

# info names the package; extract unpacks it only under the right password.
scenario_tool_info() {
  local log="$work/tool_info.log" code
  make_fat "$work/disk.img" 1474560 INFO.TXT "described" &&
    pack "$work/disk.img" "$work/info.exe" --description "Rescue disk" --password pw || return 1
  code=$(tool "$log" info "Z:$work/info.exe")
  check "exit code 0 (got $code)" [ "$code" = 0 ] &&
    check "description" grep -q '"Rescue disk"' "$log" &&
    check "image size" grep -q 1474560 "$log"
}

scenario_tool_extract() {
  local log="$work/tool_extract.log" code
  make_fat "$work/disk.img" 737280 DATA.BIN "$(seq 3000)" &&
    pack "$work/disk.img" "$work/extract.exe" --password "open sesame" || return 1
  rm -f "$work/extracted.img" "$work/refused.img"
  code=$(tool "$work/tool_extract_wrong.log" extract "Z:$work/extract.exe" -o "Z:$work/refused.img" \
    --password "wrong")
  check "wrong password: exit code 1 (got $code)" [ "$code" = 1 ] &&
    check "wrong password: no image" [ ! -e "$work/refused.img" ] || return 1
  code=$(tool "$log" extract "Z:$work/extract.exe" -o "Z:$work/extracted.img" --password "open sesame")
  check "exit code 0 (got $code)" [ "$code" = 0 ] &&
    check "image equals disk" same_disk "$work/disk.img" "$work/extracted.img"
}

# diskarno.exe reads A: (an image file behind \\.\A:) byte-exact.
scenario_tool_read() {
  local log="$work/tool_read.log" code
  make_fat "$work/disk.img" 1474560 HELLO.TXT "read by the tool" DATA.BIN "$(seq 5000)" || return 1
  e2e_map_floppy "$work/floppy" "$work/disk.img"
  rm -f "$work/copy.img"
  code=$(tool "$log" read A: -o "Z:$work/copy.img")
  check "exit code 0 (got $code)" [ "$code" = 0 ] &&
    check "copy equals disk" same_disk "$work/disk.img" "$work/copy.img" &&
    check "summary" grep -q "read 160 tracks (1474560 bytes) of A:" "$log"
}

# A protected program written to A: with --verify: every track compared.
scenario_tool_write_verify() {
  local log="$work/tool_write_verify.log" code
  make_fat "$work/disk.img" 1474560 TOOL.TXT "written by the tool" &&
    pack "$work/disk.img" "$work/tool.exe" --password "pw" || return 1
  blank_disk "$work/target.img" 1474560
  e2e_map_floppy "$work/floppy" "$work/target.img"
  code=$(tool "$log" write "Z:$work/tool.exe" A: --password pw --verify)
  check "exit code 0 (got $code)" [ "$code" = 0 ] &&
    check "disk equals image" same_disk "$work/disk.img" "$work/target.img" &&
    check "summary" grep -q "wrote 160 tracks (1474560 bytes) of .* to A:, verified" "$log"
}

# The image behind A: changed between write and verify: verify names the track.
scenario_tool_verify_changed() {
  local log="$work/tool_verify_changed.log" code
  make_fat "$work/disk.img" 1474560 A.TXT "first" || return 1
  blank_disk "$work/target.img" 1474560
  e2e_map_floppy "$work/floppy" "$work/target.img"
  code=$(tool "$work/tool_write.log" write "Z:$work/disk.img" A:)
  check "write exit code 0 (got $code)" [ "$code" = 0 ] || return 1
  printf 'changed' | dd of="$work/target.img" bs=1 seek=$((9 * 9216 + 40)) conv=notrunc 2>/dev/null
  code=$(tool "$log" verify "Z:$work/disk.img" A:)
  check "exit code 1 (got $code)" [ "$code" = 1 ] &&
    check "track named (from 1)" grep -q "track 10 (cylinder 4, head 1) differs" "$log" &&
    check "one track" grep -q "1 of 160 tracks differ" "$log"
}
