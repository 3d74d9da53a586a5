#!/usr/bin/env bash
# Installs what a fresh machine lacks for building and testing Diskarno SFX.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev zlib1g-dev libgtest-dev libbenchmark-dev libssl-dev
  wine64 xvfb xdotool openbox imagemagick x11-utils
  dosfstools mtools python3 dpkg-dev zip
  # The release packages' test: the .zip listed, the manual page shown.
  unzip man-db
  # The package writer: libdeflate by default, zopfli for --best.
  libdeflate-dev libzopfli-dev
  # What a disk holds before the tool writes it (libblkid); e2fsprogs and
  # util-linux make and attach the disks the tests probe.
  libblkid-dev e2fsprogs util-linux
  # The host32 preset: the tool and the tests built for i686 Linux and run
  # under qemu's user-mode emulation, with multiarch's :i386 libraries. Never
  # wine32:i386: with it a new 64-bit prefix also sets up a 32-bit half,
  # which cannot run on this machine.
  g++-i686-linux-gnu qemu-user-static libgtest-dev:i386 zlib1g-dev:i386 libblkid-dev:i386
  # The emulated PC that runs the 32-bit program (scripts/guest.sh): 32-bit
  # Wine lives only inside its image, built with these.
  qemu-system-x86 qemu-utils mmdebstrap e2fsprogs
)

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

# The :i386 packages need the architecture; added once, before the update.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  $sudo_cmd dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all packages present"

# Source packages come from the machine's own apt sources: each deb stanza
# (or line) again as deb-src, with the same addresses and keys.
enable_deb_src() {
  local src_list=/etc/apt/sources.list.d/diskarno-deb-src.sources
  if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src' /etc/apt/sources.list; then
    return
  fi
  # Not the security suite: its mirror serves binaries, and its source
  # files of a package are often missing (404).
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:([^\n]* )?deb( |\n|$)/ && !/-security/' /etc/apt/sources.list.d/*.sources |
      sed 's/^Types:.*$/Types: deb-src/' | $sudo_cmd tee "$src_list" >/dev/null
  else
    grep -E '^deb ' /etc/apt/sources.list | grep -v -- -security | sed 's/^deb /deb-src /' |
      $sudo_cmd tee "${src_list%.sources}.list" >/dev/null
  fi
  $sudo_cmd apt-get update -qq
}

# fetch_source PACKAGE DIR: Debian's source package of PACKAGE unpacked into
# DIR (build/third_party/...), for the Windows builds, which compile these
# libraries themselves.
fetch_source() {
  local package=$1 dir=$2 fetch
  [ -f "$dir/.fetched" ] && return
  enable_deb_src
  fetch=$(mktemp -d)
  (cd "$fetch" && apt-get source -qq "$package" >/dev/null 2>&1) ||
    ($sudo_cmd apt-get update -qq && cd "$fetch" && apt-get source -qq "$package" >/dev/null)
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  mv "$(find "$fetch" -mindepth 1 -maxdepth 1 -type d | head -n 1)" "$dir"
  rm -rf "$fetch"
  touch "$dir/.fetched"
  echo "setup: $package sources in $dir"
}

# zlib's inflate compiled with -Os halves what the prebuilt library adds to
# every program we ship; libdeflate and zopfli make the tool's packages.
fetch_source zlib build/third_party/zlib
fetch_source libdeflate build/third_party/libdeflate
fetch_source zopfli build/third_party/zopfli
