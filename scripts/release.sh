#!/usr/bin/env bash
# The release packages, in build/release/:
#   diskarno_VERSION_amd64.deb    the Linux tool, its manual page and bash
#                                 completion; Depends from dpkg-shlibdeps
#   diskarno-VERSION-windows.zip  the 32-bit diskarno.exe and diskarno-sfx.exe,
#                                 the README, the bundled libraries' licences
#   SHA256SUMS                    over both
# VERSION is CMake's project version. Builds the win32 preset (the shipped
# programs) and the host preset's tool, which embeds the 32-bit program, so
# win32 comes first. File times are the last commit's (SOURCE_DATE_EPOCH),
# so that the same commit gives the same .zip.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target diskarno-sfx diskarno >/dev/null
# Configured after the win32 build: the tool embeds the program it finds.
cmake --preset host >/dev/null
cmake --build --preset host -j2 --target diskarno >/dev/null

version=$(sed -n 's/^#define DK_VERSION "\(.*\)"$/\1/p' build/host/generated/diskarno_version.h)
win32=$root/build/win32
out=$root/build/release
work=$out/work
deb=diskarno_${version}_amd64.deb
zip=diskarno-${version}-windows.zip
rm -rf "$out"
mkdir -p "$work"

# Every staged file: owned by root (dpkg-deb), the commit's time, plain modes.
settle() {
  find "$1" -type d -exec chmod 0755 {} +
  find "$1" -type f -exec chmod 0644 {} +
  [ $# -lt 2 ] || chmod 0755 "${@:2}"
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# --- the .deb ---
deb_root=$work/deb
cmake --install build/host --prefix "$deb_root/usr" --strip >/dev/null
gzip -9n "$deb_root/usr/share/man/man1/diskarno.1"
mkdir -p "$deb_root/usr/share/doc/diskarno" "$deb_root/DEBIAN"
cat >"$deb_root/usr/share/doc/diskarno/copyright" <<'EOF'
diskarno: makes, inspects and unpacks Diskarno SFX programs (Windows
programs that carry a floppy disk image and write it), and reads, writes
and verifies floppy disks.

Copyright (C) 2026 The Diskarno project

The tool carries the Diskarno SFX program for Windows, built from the same
sources; that program contains zlib's inflate:

  (C) 1995-2022 Jean-loup Gailly and Mark Adler

  This software is provided 'as-is', without any express or implied
  warranty.  In no event will the authors be held liable for any damages
  arising from the use of this software.

  Permission is granted to anyone to use this software for any purpose,
  including commercial applications, and to alter it and redistribute it
  freely, subject to the following restrictions:

  1. The origin of this software must not be misrepresented; you must not
     claim that you wrote the original software. If you use this software
     in a product, an acknowledgment in the product documentation would be
     appreciated but is not required.
  2. Altered source versions must be plainly marked as such, and must not be
     misrepresented as being the original software.
  3. This notice may not be removed or altered from any source distribution.

The libraries the tool itself uses (zlib, libblkid and the others in
Depends) are the system's, each under the terms in its own package.
EOF
# dpkg-shlibdeps reads the package names from a control file in debian/.
mkdir -p "$work/shlibs/debian"
printf 'Source: diskarno\n\nPackage: diskarno\nArchitecture: amd64\n' >"$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "-e$deb_root/usr/bin/diskarno" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
cat >"$deb_root/DEBIAN/control" <<EOF
Package: diskarno
Version: $version
Architecture: amd64
Maintainer: The Diskarno project <diskarno@localhost>
Installed-Size: $(du -sk --apparent-size "$deb_root/usr" | cut -f1)
Depends: $depends
Section: utils
Priority: optional
Description: makes and inspects Windows programs that write a floppy disk
 diskarno packs a floppy disk image into a small Windows program (Diskarno
 SFX) that writes the disk onto a floppy, track by track, on every Windows
 from 95 to 11. It shows a program's package and whether the program in
 front of it is one this project built, unpacks the image, and reads,
 writes and verifies floppy disks and USB floppy drives itself.
EOF
settle "$deb_root" "$deb_root/usr/bin/diskarno"
dpkg-deb --build --root-owner-group -Zxz "$deb_root" "$out/$deb" >/dev/null

# --- the .zip ---
zip_root=$work/zip/diskarno-${version}-windows
mkdir -p "$zip_root/licenses"
cp "$win32/tools/diskarno/diskarno.exe" "$win32/app/diskarno-sfx.exe" "$zip_root/"
cp README.md "$zip_root/README.md"
# The licences of what the Windows programs link statically: zlib in both;
# libdeflate and zopfli in diskarno.exe; the MinGW-w64 C runtime in
# diskarno.exe (GCC's own runtime libraries ask for no notice).
third=$root/build/third_party
cp "$third/zlib/LICENSE" "$zip_root/licenses/zlib.txt"
[ ! -f "$third/libdeflate/COPYING" ] || cp "$third/libdeflate/COPYING" "$zip_root/licenses/libdeflate.txt"
[ ! -f "$third/zopfli/COPYING" ] || cp "$third/zopfli/COPYING" "$zip_root/licenses/zopfli.txt"
mingw_copyright=/usr/share/doc/mingw-w64-i686-dev/copyright
[ ! -f "$mingw_copyright" ] || cp "$mingw_copyright" "$zip_root/licenses/mingw-w64-runtime.txt"
settle "$work/zip"
# Sorted names, no extra attributes (owners, extended times), no folder
# entries: the bytes depend on the files alone.
(cd "$work/zip" && find . -type f | sed 's|^\./||' | sort |
  zip -X -D -9 -q "$out/$zip" -@)

(cd "$out" && sha256sum "$deb" "$zip" >SHA256SUMS)

# The Linux tool must carry this very program: a blank disk packed with it
# names the program in the .zip as the one it packs.
blank=$work/blank.img
truncate -s 1474560 "$blank"
"$deb_root/usr/bin/diskarno" pack "$blank" -o "$work/check.exe" --stub "$zip_root/diskarno-sfx.exe" &>/dev/null
row=$("$deb_root/usr/bin/diskarno" info "$work/check.exe" --json)
case $row in
  *"\"program_release\": \"$version\""*) ;;
  *) echo "release: the Linux tool does not carry build/win32's program" >&2; exit 1 ;;
esac
sha=$(printf '%s' "$row" | sed -n 's/.*"program_sha256": "\([0-9a-f]*\)".*/\1/p')

rm -rf "$work"
ls -l "$out"
cat "$out/SHA256SUMS"
echo "Known-program row of this release, for tools/diskarno/known_programs.cpp once it is out:"
echo "    {\"$version\", \"$sha\"},"
