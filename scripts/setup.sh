#!/usr/bin/env bash
# Installs what a fresh machine lacks for building and testing Diskarno SFX.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev zlib1g-dev libgtest-dev libbenchmark-dev libssl-dev
  wine64 xvfb xdotool openbox imagemagick x11-utils
  dosfstools mtools python3 dpkg-dev
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

# zlib's own sources, from Debian's source package of the zlib the machine
# has: the Windows programs compile its inflate with -Os, which halves what
# the prebuilt library adds to every program we ship.
zlib_dir=build/third_party/zlib
if [ ! -f "$zlib_dir/inflate.c" ]; then
  src_list=/etc/apt/sources.list.d/diskarno-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    cat >"$src_list" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
  fi
  fetch=$(mktemp -d)
  (cd "$fetch" && apt-get source -qq zlib >/dev/null 2>&1) || (apt-get update -qq && cd "$fetch" && apt-get source -qq zlib >/dev/null)
  mkdir -p "$zlib_dir"
  cp "$fetch"/zlib-*/*.[ch] "$zlib_dir"/
  cp "$fetch"/zlib-*/LICENSE "$zlib_dir"/ 2>/dev/null || true
  rm -rf "$fetch"
  echo "setup: zlib sources in $zlib_dir"
fi
