#!/usr/bin/env bash
# The real drivers, in the emulated PC: the Linux tool on the kernel's floppy
# driver (/dev/fd0: a 1.44 MB disk written through to the host; /dev/fd1: a
# write-protected 720 KB disk, later no disk at all) and on a USB
# mass-storage disk (/dev/sda). Runs in the guest, in this order (each case
# starts from the disks the one before left). The host answers `ask`: it
# compares its own image files byte for byte, changes bytes behind the
# guest's back, and takes disks out of drives or puts them in.
# Usage: scenarios.sh DISKARNO SHARE
set -uo pipefail

diskarno=$1
share=$2
in=$share/in
out=$share/out
work=/root/drives
mkdir -p "$work" "$out" "$share/ask"

passed=0
failures=()
asked=0

# ask WORDS...: one request to the host, answered through the share. Its
# answer's first line is the exit code; the rest is printed.
ask() {
  asked=$((asked + 1))
  local name=$share/ask/$(printf '%03d' "$asked") end=$((SECONDS + 60))
  echo "$*" >"$name.tmp" && mv "$name.tmp" "$name.req"
  while [ ! -f "$name.ans" ]; do
    [ $SECONDS -lt $end ] || { echo "    the host did not answer: $*"; return 1; }
    sleep 0.2
  done
  tail -n +2 "$name.ans"
  return "$(head -n 1 "$name.ans")"
}

said=""
code=0
# run COMMAND...: runs the tool's command, keeps its exit code and what it
# said (both streams).
run() {
  echo "    \$ $*"
  said=$("$@" 2>&1)
  code=$?
  [ -z "$said" ] || printf '%s\n' "$said" | sed 's/^/      /'
  echo "      (exit code $code)"
}

# expect CODE [TEXT]: the last command ended with CODE and said TEXT.
expect() {
  [ "$code" = "$1" ] || { echo "    expected exit code $1"; return 1; }
  [ $# -lt 2 ] || grep -qF -- "$2" <<<"$said" || { echo "    expected: $2"; return 1; }
}

case_() {  # case_ NAME: runs case_NAME, counts it
  echo "== $1"
  local start=$SECONDS
  if "case_$1"; then
    passed=$((passed + 1))
    echo "   passed ($((SECONDS - start)) s)"
  else
    failures+=("$1")
    echo "   FAILED"
  fi
}

# fd0 holds an empty FAT disk: written at once, read back, then compared by
# the host with what was written.
case_fd0_write_verify() {
  run "$diskarno" write "$in/disk.exe" /dev/fd0 --password "open sesame" --verify
  expect 0 "wrote 160 tracks (1474560 bytes) of $in/disk.exe to /dev/fd0, verified" &&
    ask same fd0 in/disk.img
}

case_fd0_verify() {
  run "$diskarno" verify "$in/disk.img" /dev/fd0
  expect 0 "/dev/fd0 matches $in/disk.img (160 tracks)"
}

case_fd0_read() {
  run "$diskarno" read /dev/fd0 -o "$out/fd0-read.img"
  expect 0 "read 160 tracks (1474560 bytes) of /dev/fd0" && ask same out/fd0-read.img in/disk.img
}

# pack reads the disk into a program; its image, unpacked, is the disk.
case_fd0_pack() {
  run "$diskarno" pack /dev/fd0 -o "$work/fd0.exe" --description "from /dev/fd0"
  expect 0 || return 1
  run "$diskarno" extract "$work/fd0.exe" -o "$out/fd0-pack.img"
  expect 0 && ask same out/fd0-pack.img in/disk.img
}

# A byte changed behind the guest: verify must read the medium, not the
# pages the kernel keeps. Another process holds the device open with every
# page of it read in (the kernel keeps them while a descriptor is open), the
# host changes track 76 in its image file, and verify names that track.
case_verify_finds_host_change() {
  exec 3</dev/fd0
  cat <&3 >/dev/null
  local offset=$((75 * 9216 + 4321)) result=0
  ask flip fd0 "$offset" || result=1
  run "$diskarno" verify "$in/disk.img" /dev/fd0
  expect 1 "track 76 (cylinder 37, head 1) differs" && expect 1 "1 of 160 tracks differ" ||
    result=1
  exec 3<&-
  ask flip fd0 "$offset" && ask same fd0 in/disk.img && return "$result"
}

# A mounted drive is refused, and nothing reaches it.
case_mounted_refused() {
  mkdir -p /mnt/fd0
  mount -t vfat /dev/fd0 /mnt/fd0 || { echo "    could not mount /dev/fd0"; return 1; }
  run "$diskarno" write "$in/other.img" /dev/fd0 --yes
  umount /mnt/fd0
  expect 2 "/dev/fd0 is mounted on /mnt/fd0; unmount it first" && ask same fd0 in/disk.img
}

# /dev/fd1: a 720 KB disk, the kernel's driver finds its format.
case_fd1_read_720k() {
  run "$diskarno" read /dev/fd1 -o "$out/fd1-read.img"
  expect 0 "read 160 tracks (737280 bytes) of /dev/fd1" && ask same out/fd1-read.img in/disk720.img
}

case_fd1_write_protected() {
  run "$diskarno" write "$in/small.img" /dev/fd1 --yes
  expect 2 "the disk in /dev/fd1 is write-protected" && ask same fd1 in/disk720.img
}

# The host takes the disk out of B:.
case_fd1_empty() {
  ask eject fd1 || return 1
  run "$diskarno" read /dev/fd1 -o "$work/none.img"
  expect 2 "no disk in drive /dev/fd1" || return 1
  run "$diskarno" write "$in/small.img" /dev/fd1
  expect 2 "no disk in drive /dev/fd1"
}

# The host changes the disk in B: while the tool reads it: the tool is
# stopped once it has read some tracks, the disk changed, the tool let go on.
case_fd1_changed_during_read() {
  ask insert fd1 in/disk720.img || return 1
  "$diskarno" read /dev/fd1 -o "$work/changed.img" >"$work/changed.log" 2>&1 &
  local pid=$! end=$((SECONDS + 60)) read=0
  while [ "$read" -lt $((20 * 4608)) ] && [ $SECONDS -lt $end ] && kill -0 "$pid" 2>/dev/null; do
    read=$(sed -n 's/^rchar: //p' "/proc/$pid/io" 2>/dev/null)
    read=${read:-0}
  done
  kill -STOP "$pid" 2>/dev/null || { echo "    the read ended before the disk could be changed"; return 1; }
  echo "    stopped the tool after $read bytes read"
  ask insert fd1 in/small.img
  kill -CONT "$pid"
  wait "$pid"
  code=$? said=$(cat "$work/changed.log")
  printf '%s\n' "$said" | sed 's/^/      /'
  expect 1 "diskarno read: the disk in /dev/fd1 was changed during the run (found while reading track" &&
    expect 1 "; $work/changed.img not written" && [ ! -e "$work/changed.img" ]
}

# The USB disk says it is removable: taken without --force.
case_usb_write_verify() {
  run "$diskarno" write "$in/disk.img" /dev/sda --verify
  expect 0 "wrote 160 tracks (1474560 bytes) of $in/disk.img to /dev/sda, verified" &&
    ask same usb in/disk.img || return 1
  run "$diskarno" verify "$in/disk.exe" /dev/sda --password "open sesame"
  expect 0 "/dev/sda matches"
}

# format on the floppy controller: every track's request accepted by the
# driver (qemu takes the format command but writes no fill bytes: the disk
# keeps its old bytes outside the file system), then the empty file system
# that mdir and fsck.fat read, here and on the host.
case_fd0_format() {
  run "$diskarno" format /dev/fd0 --capacity 1440 --label X
  expect 2 "with files; nothing formatted (--yes overwrites it)" && ask same fd0 in/disk.img || return 1
  run "$diskarno" format /dev/fd0 --capacity 1440 --label X --yes
  expect 0 "formatted /dev/fd0 as 1440 KB (160 tracks), labelled X" || return 1
  run mdir -i /dev/fd0 ::
  expect 0 "Volume in drive : is X" && expect 0 "No files" || return 1
  run fsck.fat -n /dev/fd0
  expect 0 && ask fat fd0 X
}

# write --format, then verify: formatted at the image's capacity, written,
# read back byte for byte.
case_fd0_write_format() {
  run "$diskarno" write "$in/disk.img" /dev/fd0 --format --verify
  expect 0 "formatted as 1440 KB and wrote 160 tracks (1474560 bytes) of $in/disk.img to /dev/fd0, verified" ||
    return 1
  run "$diskarno" verify "$in/disk.img" /dev/fd0
  expect 0 "/dev/fd0 matches" && ask same fd0 in/disk.img
}

# qemu's USB disk is a SCSI disk, no UFI drive: it answers READ FORMAT
# CAPACITIES with "illegal request", and nothing is formatted.
case_usb_format_refused() {
  run "$diskarno" format /dev/sda --yes
  expect 2 "/dev/sda does not report the capacities it formats (READ FORMAT CAPACITIES)" &&
    ask same usb in/disk.img
}

# The 1.68 MB DMF format (21 sectors a track) on a blank disk in A:.
case_fd0_format_dmf() {
  ask insert fd0 in/dmf.img rw || return 1
  run "$diskarno" format /dev/fd0 --capacity 1680 --label DMF --yes
  expect 0 "formatted /dev/fd0 as 1680 KB (160 tracks), labelled DMF" || return 1
  run mdir -i /dev/fd0 ::
  expect 0 "Volume in drive : is DMF" && ask fat in/dmf.img DMF
}

CASES=(fd0_write_verify fd0_verify fd0_read fd0_pack verify_finds_host_change mounted_refused
       fd1_read_720k fd1_write_protected fd1_empty fd1_changed_during_read usb_write_verify
       fd0_format fd0_write_format usb_format_refused fd0_format_dmf)

for name in "${CASES[@]}"; do case_ "$name"; done
[ ${#failures[@]} -eq 0 ] || echo "drives failures: ${failures[*]}"
echo "drives: $passed passed, ${#failures[@]} failed"
[ ${#failures[@]} -eq 0 ]
