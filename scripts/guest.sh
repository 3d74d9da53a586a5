#!/usr/bin/env bash
# The emulated PC that runs the 32-bit program: a Debian 12 guest under
# qemu (TCG, no KVM needed) with 32-bit Wine in it. This machine's kernel
# refuses 32-bit code; a whole emulated PC does not.
#
#   guest.sh prepare     build the guest's image once (15-35 min), cached in
#                        ${XDG_CACHE_HOME:-~/.cache}/diskarno/guest-HASH/
#   guest.sh run PROGRAM.exe -o DISK.img [--password TEXT] [--disk 1440|720]
#                [--files] [--read-only]
#                        the 32-bit PROGRAM under 32-bit Wine, drive A: a blank
#                        formatted disk; prints what it showed, leaves the disk
#   guest.sh boot SHARE [SECONDS]
#                        one boot (-snapshot) that runs SHARE/job.sh with SHARE
#                        mounted at /share; exits with the job's exit code
#   guest.sh drives OUTDIR
#                        one boot with the floppy controller (A:, B:) and a USB
#                        disk: the Linux tool on the kernel's drivers
#                        (tests/drives/scenarios.sh), every disk compared on
#                        the host; images and logs in OUTDIR
#   guest.sh status      exits 0 when the image is ready, and names it
#
# Nothing of the guest is installed on the host: only qemu, mmdebstrap and
# e2fsprogs (scripts/setup.sh). Never wine32 on the host.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/diskarno

die() {
  echo "guest: $*" >&2
  exit 1
}

# ---- The recipe. Everything from here to "end of the recipe" defines the
# image; the hash of its text names the cache folder, so a change here builds
# a new image and an unchanged recipe reuses the old one.

GUEST_SUITE=bookworm
GUEST_PACKAGES=linux-image-amd64,initramfs-tools,kmod,mount,e2fsprogs,procps,wine,wine64,wine32:i386,xvfb,xdotool,openbox,x11-utils,mtools,dosfstools,libstdc++6,zlib1g
GUEST_DISK_SIZE=4G

# The guest's first process: mounts what programs expect and the 9p share,
# runs the job the host put there, and powers the PC off.
recipe_init() {
  cat <<'INIT'
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /share
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 share /share; then
  echo "guest: running the job after $(cut -d' ' -f1 /proc/uptime) s"
  HOME=/root bash /share/job.sh >/share/job.log 2>&1
  echo $? >/share/job.rc
  echo "guest: job done after $(cut -d' ' -f1 /proc/uptime) s"
else
  echo "guest: the share could not be mounted"
fi
sync
echo o >/proc/sysrq-trigger
sleep 30
INIT
}

# The 32-bit prefix, made in one boot without -snapshot: Mono and Gecko
# skipped, drive a: typed as floppy. `wineserver -w` lets the registry reach
# the disk; mountmgr reads the drive types when the next wineserver starts.
recipe_prefix_job() {
  cat <<'JOB'
set -x
export WINEARCH=win32 WINEPREFIX=/root/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
export DISPLAY=:9
Xvfb :9 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
sleep 2
/usr/lib/wine/wine wineboot -i
/usr/lib/wine/wine reg add 'HKLM\Software\Wine\Drives' /v a: /d floppy /f
/usr/lib/wine/wineserver -w
grep -q '"a:"="floppy"' /root/prefix/system.reg
JOB
}

# The root file system: Debian with i386 multiarch, from the same archive
# apt uses here (--variant=apt leaves out mount: it is listed).
recipe_rootfs() {
  local tree=$1 sources=$2
  # The deb stanzas of apt's deb822 sources, or the one-line list. Not the
  # security suite: the guest never goes online, and that suite's i386 index
  # is often caught mid-sync on the mirror ("File has unexpected size").
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:([^\n]* )?deb( |\n|$)/ && !/-security/' \
      /etc/apt/sources.list.d/*.sources >"$sources"
  else
    grep -E '^deb ' /etc/apt/sources.list | grep -v -- -security >"$sources"
  fi
  [ -s "$sources" ] || die "no apt sources found in /etc/apt"
  # Three tries: a mirror in the middle of a sync fails the index download.
  local attempt
  for attempt in 1 2 3; do
    rm -rf "$tree"
    mmdebstrap --variant=apt --architectures=amd64,i386 --include="$GUEST_PACKAGES" \
      --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
      --dpkgopt='path-exclude=/usr/share/locale/*' --dpkgopt='path-exclude=/usr/share/info/*' \
      "$GUEST_SUITE" "$tree" "$sources" && break
    [ "$attempt" -lt 3 ] || return 1
    echo "mmdebstrap failed (try $attempt of 3); again in 60 s"
    sleep 60
  done
  recipe_init >"$tree/sbin/diskarno-init"
  chmod 755 "$tree/sbin/diskarno-init"
  echo guest >"$tree/etc/hostname"
}

# ---- end of the recipe

recipe_hash() {
  { declare -p GUEST_SUITE GUEST_PACKAGES GUEST_DISK_SIZE
    declare -f recipe_init recipe_prefix_job recipe_rootfs; } | sha256sum | cut -c1-16
}

image_dir="$cache_root/guest-$(recipe_hash)"

# qemu_boot DIR SHARE SECONDS [-snapshot [QEMU ARGUMENT...]]: boots the image
# in DIR with SHARE as the 9p share; the console goes to SHARE/console.log.
# -snapshot keeps the root disk unchanged (other drives given after it are
# written through). A deadline ends a guest that hangs. Returns the job's
# exit code (124 at the deadline, 125 when the job never ran).
qemu_boot() {
  local dir=$1 share=$2 seconds=$3 snapshot=${4:-}
  shift $(($# < 4 ? $# : 4))
  # No monitor unless the caller brings its own devices and monitor.
  local devices=("$@")
  [ ${#devices[@]} -gt 0 ] || devices=(-monitor none)
  rm -f "$share/job.rc" "$share/job.log"
  # SMAP off: with it the guest kernel oopses on the first 32-bit Wine
  # process (an IRET into 32-bit code under TCG).
  timeout --kill-after=10 "$seconds" qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap \
    -smp 2 -m 2G -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/diskarno-init panic=1 quiet" \
    -drive "file=$dir/root.img,if=virtio,format=raw${snapshot:+,snapshot=on}" \
    -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
    -net none -display none -serial "file:$share/console.log" -no-reboot \
    "${devices[@]}" </dev/null || { local code=$?; [ "$code" -ne 124 ] && [ "$code" -ne 137 ] || return 124; }
  [ -f "$share/job.rc" ] || return 125
  return "$(cat "$share/job.rc")"
}

cmd_status() {
  [ -f "$image_dir/ready" ] || { echo "guest: not prepared (scripts/guest.sh prepare)"; return 1; }
  echo "guest: $image_dir ($(du -sh --apparent-size "$image_dir/root.img" | cut -f1) apparent," \
    "$(du -sh "$image_dir/root.img" | cut -f1) on disk)"
}

cmd_prepare() {
  if [ -f "$image_dir/ready" ]; then
    echo "guest: prepared image present, reused: $image_dir"
    return 0
  fi
  for tool in qemu-system-x86_64 mmdebstrap mke2fs; do
    command -v "$tool" >/dev/null || die "$tool missing: run scripts/setup.sh"
  done
  [ "$(id -u)" -eq 0 ] || die "prepare builds a root file system: run it as root"
  mkdir -p "$cache_root"
  exec 9>"$cache_root/prepare.lock"
  echo "guest: waiting for any other prepare to finish"
  flock 9
  if [ -f "$image_dir/ready" ]; then
    echo "guest: prepared image present, reused: $image_dir"
    return 0
  fi
  local start=$SECONDS stage="$image_dir.building"
  rm -rf "$stage"
  mkdir -p "$stage"
  echo "guest: building the emulated PC's image in $image_dir"
  echo "guest: this runs once and takes 15-35 min on 2 busy cores (download ~0.5 GB, 4 GB sparse image)"

  echo "guest: [1/4] root file system with 32-bit Wine (mmdebstrap, 10-25 min)"
  recipe_rootfs "$stage/tree" "$stage/sources" >"$stage/mmdebstrap.log" 2>&1 ||
    { tail -n 20 "$stage/mmdebstrap.log" >&2; die "mmdebstrap failed (log: $stage/mmdebstrap.log)"; }
  cp "$(ls "$stage"/tree/boot/vmlinuz-* | tail -n 1)" "$stage/vmlinuz" || die "no kernel in the tree"
  cp "$(ls "$stage"/tree/boot/initrd.img-* | tail -n 1)" "$stage/initrd.img" || die "no initrd in the tree"
  echo "guest:       done after $((SECONDS - start)) s"

  echo "guest: [2/4] ext4 image of $GUEST_DISK_SIZE (mke2fs -d)"
  mke2fs -q -t ext4 -L guest -d "$stage/tree" "$stage/root.img" "$GUEST_DISK_SIZE" ||
    die "mke2fs failed"
  rm -rf "$stage/tree"
  echo "guest:       done after $((SECONDS - start)) s"

  echo "guest: [3/4] 32-bit Wine prefix, made in the guest (one boot, 3-7 min)"
  local share="$stage/share"
  mkdir -p "$share"
  recipe_prefix_job >"$share/job.sh"
  qemu_boot "$stage" "$share" 1500 ||
    { tail -n 30 "$share/console.log" "$share/job.log" >&2 2>/dev/null; die "the prefix boot failed (logs: $share)"; }
  echo "guest:       done after $((SECONDS - start)) s"

  echo "guest: [4/4] checking the image"
  e2fsck -fn "$stage/root.img" >/dev/null 2>&1 || die "the image's file system is damaged"
  rm -rf "$share"
  touch "$stage/ready"
  rm -rf "$image_dir"
  mv "$stage" "$image_dir"
  echo "guest: ready after $((SECONDS - start)) s: $image_dir"
  cmd_status
}

cmd_boot() {
  [ $# -ge 1 ] || die "usage: guest.sh boot SHARE [SECONDS]"
  [ -f "$image_dir/ready" ] || die "not prepared: run scripts/guest.sh prepare first"
  local share
  share=$(realpath "$1")
  [ -f "$share/job.sh" ] || die "$share/job.sh missing"
  local code=0
  qemu_boot "$image_dir" "$share" "${2:-1200}" -snapshot || code=$?
  case $code in
    124) echo "guest: the boot ran past its deadline of ${2:-1200} s (console: $share/console.log)" >&2 ;;
    125) echo "guest: the job never ran (console: $share/console.log)" >&2
         tail -n 20 "$share/console.log" >&2 ;;
  esac
  return "$code"
}

# The session helpers and Wine's settings for a job in the guest: 32-bit
# Wine, and patience for an emulated PC some ten times slower than this one.
stage_session() {
  local share=$1
  mkdir -p "$share/e2e" "$share/out"
  cp "$repo"/tests/e2e/{wine_session.sh,scenarios.sh,run_e2e.sh} "$share/e2e/"
  cat >"$share/job.sh" <<'JOB'
export E2E_WINE=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver WINEARCH=win32
export E2E_PATIENCE=6 E2E_SETTLE=2
cd /root
# The first Wine process of a boot reads Wine from a cold disk (20-120 s
# under load): paid once here, before any deadline runs.
start=$SECONDS
WINEPREFIX=/root/prefix WINEDEBUG=-all timeout 600 /usr/lib/wine/wine cmd /c exit >/dev/null 2>&1
echo "guest: Wine started in $((SECONDS - start)) s"
JOB
}

# guest.sh e2e OUTDIR [SCENARIO...]: the end-to-end scenarios of
# tests/e2e/scenarios.sh with the 32-bit program and tool, in one boot. The
# disks each scenario compared are compared again here on the host.
cmd_e2e() {
  [ $# -ge 1 ] || die "usage: guest.sh e2e OUTDIR [SCENARIO...]"
  local out program diskarno diskarno_exe
  out=$(realpath -m "$1")
  shift
  program=${E2E32_PROGRAM:-$repo/build/win32/app/diskarno-sfx.exe}
  diskarno_exe=${E2E32_DISKARNO_EXE:-$repo/build/win32/tools/diskarno/diskarno.exe}
  diskarno=${E2E32_DISKARNO:-$repo/build/host/tools/diskarno/diskarno}
  for file in "$program" "$diskarno_exe" "$diskarno"; do
    [ -f "$file" ] || { echo "e2e32: $file not built; skipped"; exit 77; }
  done
  [ -f "$image_dir/ready" ] || { echo "e2e32: the guest is not prepared (scripts/guest.sh prepare); skipped"; exit 77; }
  local scenarios=("$@") attempt code=0
  rm -rf "$out"/boot[0-9]
  for attempt in 1 2; do
    local share="$out/boot$attempt"
    rm -rf "$share"
    stage_session "$share"
    mkdir -p "$share/bin"
    cp "$program" "$share/bin/diskarno-sfx.exe"
    cp "$diskarno_exe" "$share/bin/diskarno.exe"
    cp "$diskarno" "$share/bin/diskarno"
    cat >>"$share/job.sh" <<JOB
DISKARNO_EXE=/share/bin/diskarno.exe bash /share/e2e/run_e2e.sh /share/bin/diskarno-sfx.exe \\
  /share/bin/diskarno /root ${scenarios[*]} >/share/out/e2e.log 2>&1
code=\$?
cp -r /root/disks /share/out/ 2>/dev/null
mkdir -p /share/out/logs && cp /root/work/*.log /share/out/logs/ 2>/dev/null
exit \$code
JOB
    local start=$SECONDS
    echo "e2e32: boot $attempt: ${scenarios[*]:-every scenario}"
    code=0
    cmd_boot "$share" 2400 || code=$?
    cat "$share/job.log" "$share/out/e2e.log" 2>/dev/null | sed 's/^/  guest| /'
    echo "e2e32: boot $attempt took $((SECONDS - start)) s"
    local compared=0 differ=0 expected
    for expected in "$share"/out/disks/*.expected; do
      [ -f "$expected" ] || continue
      compared=$((compared + 1))
      cmp "$expected" "${expected%.expected}.actual" || differ=$((differ + 1))
    done
    echo "e2e32: host: $compared disks compared byte for byte, $differ differ"
    [ "$differ" -eq 0 ] || code=1
    [ "$code" -ne 0 ] || return 0
    # Under emulation on shared cores a deadline can pass on a busy machine:
    # the scenarios that failed get one more boot, and say so.
    local failed
    failed=$(sed -n 's/^e2e failures: //p' "$share/out/e2e.log" 2>/dev/null)
    [ -n "$failed" ] && [ "$differ" -eq 0 ] && [ "$attempt" -eq 1 ] || break
    read -ra scenarios <<<"$failed"
    echo "e2e32: failed in boot 1, tried once more: ${scenarios[*]}"
  done
  echo "e2e32: FAILED (logs: $out)"
  return 1
}

# ---- The drives: the Linux tool on the kernel's floppy driver and on a USB
# disk (tests/drives/scenarios.sh runs in the guest).

# drives_image NAME BYTES [FILE CONTENT]...: a FAT12 disk image made on the
# host, with a fixed serial number so that every run makes the same bytes.
drives_image() {
  local image=$1 bytes=$2
  shift 2
  rm -f "$image"
  truncate -s "$bytes" "$image"
  /sbin/mkfs.fat -F 12 -n DRIVES -i 2025CAFE "$image" >/dev/null || return 1
  while [ $# -ge 2 ]; do
    printf '%s' "$2" >"$image.content"
    MTOOLS_NO_VFAT=1 mcopy -o -i "$image" "$image.content" "::$1" || return 1
    shift 2
  done
  rm -f "$image.content"
}

# The host's half of the drives boot: answers the guest's requests
# (SHARE/ask/NNN.req, answered in NNN.ans: an exit code, then text) until
# the guest has powered off. Every comparison it makes is counted in
# DRIVES/compared; those that differ in DRIVES/differ.
#   same A B          A and B byte for byte (fd0, fd1, usb: the drive's
#                     image file; else a path in the share)
#   flip DRIVE OFFSET one byte of the drive's image inverted
#   eject DRIVE       the disk taken out (qemu's monitor)
#   insert DRIVE FILE [rw]
#                     a disk put in: FILE, a path in the share; write-protected
#                     unless rw
#   fat A LABEL       A holds an empty FAT file system labelled LABEL that
#                     fsck.fat finds no fault in (mdir, fsck.fat -n)
drives_answer() {
  local drives=$1 share=$2 monitor=$3 request
  drive_file() {
    case $1 in
      fd0 | fd1 | usb) echo "$drives/$1.img" ;;
      *) echo "$share/$1" ;;
    esac
  }
  while [ ! -f "$share/job.rc" ]; do
    for request in "$share"/ask/*.req; do
      [ -f "$request" ] || continue
      local answer=${request%.req}.ans words code=0 text=""
      read -ra words <"$request"
      case ${words[0]} in
        same)
          echo x >>"$drives/compared"
          if text=$(cmp "$(drive_file "${words[1]}")" "$(drive_file "${words[2]}")" 2>&1); then
            text="host: ${words[1]} and ${words[2]} are the same, byte for byte"
          else
            echo "${words[*]}: $text" >>"$drives/differ"
            code=1
          fi ;;
        flip)
          local file at byte
          file=$(drive_file "${words[1]}") at=${words[2]}
          byte=$(od -An -tu1 -j "$at" -N1 "$file" | tr -d ' ')
          printf "$(printf '\\%03o' $((byte ^ 255)))" |
            dd of="$file" bs=1 seek="$at" conv=notrunc status=none || code=1
          text="host: byte $at of ${words[1]} was $byte, now $((byte ^ 255))" ;;
        eject)
          local device=${words[1]/fd/floppy}
          echo "eject -f $device" >"$monitor.in"
          sleep 1
          text="host: the disk taken out of ${words[1]}" ;;
        insert)
          local mode=read-only
          [ "${words[3]:-}" != rw ] || mode=read-write
          echo "change ${words[1]/fd/floppy} $share/${words[2]} raw $mode" >"$monitor.in"
          sleep 1
          text="host: ${words[2]} put into ${words[1]} ($mode)" ;;
        fat)
          local file listing
          file=$(drive_file "${words[1]}")
          echo x >>"$drives/compared"
          listing=$(MTOOLS_SKIP_CHECK=1 mdir -i "$file" :: 2>&1)
          text="host: $listing"
          if ! /sbin/fsck.fat -n "$file" >/dev/null 2>&1 ||
            ! grep -q "Volume in drive : is ${words[2]} *\$" <<<"$listing" ||
            ! grep -q "^No files" <<<"$listing"; then
            echo "${words[*]}: $listing" >>"$drives/differ"
            code=1
          fi ;;
        *) code=2 text="host: unknown request ${words[*]}" ;;
      esac
      { echo "$code"; echo "$text"; } >"$answer.tmp"
      mv "$answer.tmp" "$answer"
      rm -f "$request"
    done
    sleep 0.2
  done
}

# guest.sh drives OUTDIR: one boot with A: (/dev/fd0, a 1.44 MB disk written
# through to OUTDIR/fd0.img), B: (/dev/fd1, a write-protected 720 KB disk)
# and a USB disk (/dev/sda, OUTDIR/usb.img); the guest loads the drivers and
# runs tests/drives/scenarios.sh with this build's Linux tool.
cmd_drives() {
  [ $# -ge 1 ] || die "usage: guest.sh drives OUTDIR"
  local out diskarno
  out=$(realpath -m "$1")
  diskarno=${DRIVES_DISKARNO:-$repo/build/host/tools/diskarno/diskarno}
  [ -x "$diskarno" ] || { echo "drives: $diskarno not built; skipped"; exit 77; }
  [ -f "$image_dir/ready" ] ||
    { echo "drives: the guest is not prepared (scripts/guest.sh prepare); skipped"; exit 77; }
  local share="$out/share"
  rm -rf "$out"
  mkdir -p "$share/in" "$share/out" "$share/ask" "$share/bin"
  cp "$diskarno" "$share/bin/diskarno"
  cp "$repo/tests/drives/scenarios.sh" "$share/scenarios.sh"
  drives_image "$share/in/disk.img" 1474560 README.TXT "from the drives test" \
    DATA.BIN "$(head -c 60000 /dev/zero | tr '\0' 'D')" || die "mkfs.fat or mcopy failed"
  drives_image "$share/in/disk720.img" 737280 SMALL.TXT "a 720 KB disk" || die "mkfs.fat failed"
  drives_image "$share/in/other.img" 1474560 OTHER.TXT "another disk" || die "mkfs.fat failed"
  drives_image "$share/in/small.img" 737280 || die "mkfs.fat failed"
  truncate -s 1720320 "$share/in/dmf.img"  # a blank disk for the 1.68 MB DMF format
  "$diskarno" pack "$share/in/disk.img" -o "$share/in/disk.exe" --password "open sesame" \
    --description "drives test" >/dev/null || die "diskarno pack failed"
  drives_image "$out/fd0.img" 1474560 || die "mkfs.fat failed"
  cp "$share/in/disk720.img" "$out/fd1.img"
  drives_image "$out/usb.img" 1474560 || die "mkfs.fat failed"
  cat >"$share/job.sh" <<'JOB'
for module in floppy xhci_pci usb_storage sd_mod vfat; do modprobe "$module"; done
# The USB disk appears a few seconds after its controller's driver loads.
for _ in $(seq 1 100); do [ -b /dev/sda ] && break; sleep 0.2; done
echo "guest: drivers ready after $(cut -d' ' -f1 /proc/uptime) s"
bash /share/scenarios.sh /share/bin/diskarno /share >/share/out/drives.log 2>&1
JOB
  local monitor="$out/monitor"
  mkfifo "$monitor.in" "$monitor.out"
  cat "$monitor.out" >"$out/monitor.log" &
  local drain=$!
  drives_answer "$out" "$share" "$monitor" &
  local answerer=$!
  local start=$SECONDS code=0
  echo "drives: booting with A: (1.44 MB), B: (720 KB, write-protected) and a USB disk"
  qemu_boot "$image_dir" "$share" 900 -snapshot \
    -drive "if=floppy,index=0,file=$out/fd0.img,format=raw" \
    -drive "if=floppy,index=1,file=$out/fd1.img,format=raw,readonly=on" \
    -device qemu-xhci -drive "if=none,id=usb,file=$out/usb.img,format=raw" \
    -device usb-storage,drive=usb,removable=on \
    -monitor "pipe:$monitor" || code=$?
  [ -f "$share/job.rc" ] || touch "$share/job.rc"  # the answerer stops with the guest
  wait "$answerer" || true
  kill "$drain" 2>/dev/null || true
  cat "$share/job.log" "$share/out/drives.log" 2>/dev/null | sed 's/^/  guest| /'
  echo "drives: the boot took $((SECONDS - start)) s"
  case $code in
    124) echo "drives: the boot ran past its deadline of 900 s" ;;
    125) echo "drives: the job never ran"; tail -n 20 "$share/console.log" ;;
  esac
  local compared=0 differ=0
  [ ! -f "$out/compared" ] || compared=$(wc -l <"$out/compared")
  [ ! -f "$out/differ" ] || differ=$(wc -l <"$out/differ")
  echo "drives: host: $compared disks compared byte for byte, $differ differ"
  [ ! -f "$out/differ" ] || sed 's/^/  host| /' "$out/differ"
  [ "$code" -eq 0 ] && [ "$compared" -gt 0 ] && [ "$differ" -eq 0 ] && return 0
  echo "drives: FAILED (logs: $out)"
  return 1
}

# guest.sh run PROGRAM.exe -o DISK.img [--password TEXT] [--disk 1440|720]
# [--files] [--read-only]: the program with drive A: a blank formatted disk,
# driven as a user would: password, "Write disk", every box answered (Yes to
# the files on the disk, OK, Abort on a track error), then closed.
cmd_run() {
  local program="" disk="" password="" size=1440 files=0 read_only=0
  while [ $# -gt 0 ]; do
    case $1 in
      -o) disk=${2:?-o needs a file}; shift 2 ;;
      --password) password=${2?--password needs a text}; shift 2 ;;
      --disk) size=${2:?--disk needs 1440 or 720}; shift 2 ;;
      --files) files=1; shift ;;
      --read-only) read_only=1; shift ;;
      -*) die "unknown option $1" ;;
      *) [ -z "$program" ] || die "one program only"; program=$1; shift ;;
    esac
  done
  [ -n "$program" ] && [ -n "$disk" ] ||
    die "usage: guest.sh run PROGRAM.exe -o DISK.img [--password TEXT] [--disk 1440|720] [--files] [--read-only]"
  [ -f "$program" ] || die "$program not found"
  case $size in 1440) size=1474560 ;; 720) size=737280 ;; *) die "--disk is 1440 or 720" ;; esac
  [ -f "$image_dir/ready" ] || die "not prepared: run scripts/guest.sh prepare first (15-35 min, once)"
  local share
  share=$(mktemp -d "${TMPDIR:-/tmp}/diskarno-guest.XXXXXX")
  trap "rm -rf '$share'" EXIT
  stage_session "$share"
  mkdir -p "$share/in"
  cp "$program" "$share/in/program.exe"
  # The blank disk: formatted FAT12; with --files one file on it, also seen
  # in A:'s folder, where the program looks for files.
  truncate -s "$size" "$share/in/blank.img"
  /sbin/mkfs.fat -F 12 -n BLANK "$share/in/blank.img" >/dev/null
  if [ "$files" -eq 1 ]; then
    printf 'an old file\r\n' >"$share/in/OLD.TXT"
    MTOOLS_NO_VFAT=1 mcopy -i "$share/in/blank.img" "$share/in/OLD.TXT" ::OLD.TXT
  fi
  {
    printf 'password=%q files=%s read_only=%s\n' "$password" "$files" "$read_only"
    cat <<'JOB'
. /share/e2e/wine_session.sh
mkdir -p /root/work /root/floppy
cp /share/in/program.exe /root/work/program.exe
cp /share/in/blank.img /root/work/disk.img
[ "$files" -eq 0 ] || cp /share/in/OLD.TXT /root/floppy/
e2e_init /root 20 || { echo "Wine could not start"; exit 3; }
trap e2e_shutdown EXIT
# Tests run as root, whom file modes don't stop: an immutable file is a
# write-protected disk.
[ "$read_only" -eq 0 ] || chattr +i /root/work/disk.img
e2e_map_floppy /root/floppy /root/work/disk.img
log=/root/work/program.log
e2e_start /root/work/program.exe "$log"
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
pressed=0 finished=0 closed_at=0 end=$((SECONDS + 900))
while [ ! -f "$log.rc" ] && [ $SECONDS -lt $end ]; do
  answered=""
  for caption in Confirmation Warning Error Information; do
    box=$(visible "^$caption\$")
    [ -n "$box" ] || continue
    sleep "$E2E_SETTLE"
    case $caption in
      Confirmation) e2e_key "$box" alt+y ;;
      Warning) e2e_key "$box" Return ;;
      Information) e2e_key "$box" Return; finished=1 ;;
      # OK or Cancel; a track error has neither, and Abort instead.
      Error) e2e_key "$box" Escape
             e2e_gone Error 5 || e2e_key "$box" a
             finished=1 ;;
    esac
    e2e_gone "$caption" 30
    answered=1
    break
  done
  [ -z "$answered" ] || continue
  dialog=$(visible '^Create a (floppy )?disk$')
  if [ -n "$dialog" ] && [ "$pressed" -eq 0 ]; then
    sleep "$E2E_SETTLE"
    [ -z "$password" ] || e2e_type "$dialog" "$password"
    e2e_key "$dialog" Return
    pressed=1
  elif [ -n "$dialog" ] && [ "$finished" -eq 1 ] && [ $SECONDS -ge $closed_at ]; then
    sleep "$E2E_SETTLE"
    e2e_key "$dialog" alt+F4
    closed_at=$((SECONDS + 10 * E2E_PATIENCE))
  fi
  sleep 0.5
done
[ "$read_only" -eq 0 ] || chattr -i /root/work/disk.img
cp /root/work/disk.img /share/out/disk.img
cp "$log" /share/out/program.log
# What the program showed: its texts in order, the boxes with their
# captions, the run of status lines folded, the controls' labels left out.
e2e_texts "$log" | uniq | awk '
  /^(WineAppBar|Default IME|MAINICON1|&Yes|&No|&Abort|&Retry|OK|Cancel|&Ignore|&Try Again|&Continue|Help|&Drive:|&Password:|&Write disk|C&lose|&About\.\.\.)$/ || /^$/ || /^Please insert/ || /disk: \| &$/ { next }
  /^Writing to drive / { if (!writing) first = $0; writing++; last = $0; next }
  writing { print "  " first " ... " last " (" writing " status lines)"; writing = 0 }
  box != "" { print "  box \"" box "\": " $0; box = ""; next }
  /^(Confirmation|Warning|Error|Information)$/ { box = $0; next }
  { print "  " $0 }
  END { if (writing) print "  " first " ... " last " (" writing " status lines)" }' >/share/out/texts
if [ -f "$log.rc" ]; then
  echo "exit code $(cat "$log.rc")" >>/share/out/texts
  [ "$finished" -eq 1 ] && [ "$(cat "$log.rc")" = 0 ]
else
  echo "the program did not end within its deadline" >>/share/out/texts
  exit 1
fi
JOB
  } >>"$share/job.sh"
  local start=$SECONDS code=0
  echo "guest: booting the emulated PC for $(basename "$program") (3-5 min)"
  cmd_boot "$share" 1200 || code=$?
  echo "guest: the program showed:"
  cat "$share/out/texts" 2>/dev/null || tail -n 20 "$share/job.log" 2>/dev/null
  if [ -f "$share/out/disk.img" ]; then
    cp "$share/out/disk.img" "$disk"
    if cmp -s "$share/in/blank.img" "$disk"; then
      echo "guest: $disk: the blank disk, unchanged (nothing written)"
    else
      echo "guest: $disk: written by the program"
    fi
  fi
  echo "guest: done in $((SECONDS - start)) s"
  return "$code"
}

# One function, called on the last line: bash has then read the whole file,
# and an edit of this script during a long prepare cannot change what runs.
main() {
  local command=${1:-}
  [ $# -gt 0 ] && shift
  case $command in
    prepare) cmd_prepare "$@" ;;
    status) cmd_status ;;
    boot) cmd_boot "$@" ;;
    run) cmd_run "$@" ;;
    e2e) cmd_e2e "$@" ;;
    drives) cmd_drives "$@" ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
}
main "$@"; exit
