#!/usr/bin/env bash
# The packages scripts/release.sh made, as a user gets them: the sums check,
# the .deb installs into a scratch root and its tool, manual page and
# completion work from there, the .zip holds what it should, and the tool
# of the .deb names the program of the .zip as the one it packs.
# Usage: check_packages.sh SOURCE_DIR VERSION SCRATCH
set -euo pipefail
release=$1/build/release version=$2 scratch=$3
deb=diskarno_${version}_amd64.deb
zip=diskarno-${version}-windows.zip
if [ ! -f "$release/SHA256SUMS" ]; then
  echo "no packages in $release: run scripts/release.sh"
  exit 77
fi
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(cut -d' ' -f3 "$release/SHA256SUMS" | sort | tr '\n' ' ')" = "$zip $deb " ] ||
  fail "SHA256SUMS does not list exactly $deb and $zip of version $version"

# The .deb: its fields, then installed into a scratch root.
[ "$(dpkg-deb -f "$release/$deb" Version)" = "$version" ] || fail "the .deb's version is not $version"
depends=$(dpkg-deb -f "$release/$deb" Depends)
for library in libc6 libblkid1 zlib1g; do
  [[ $depends == *"$library ("* ]] || fail "Depends lacks $library: $depends"
done
rm -rf "$scratch"
mkdir -p "$scratch/root"
dpkg -x "$release/$deb" "$scratch/root"
tool=$scratch/root/usr/bin/diskarno
[ "$("$tool" --version)" = "diskarno $version" ] || fail "diskarno --version: $("$tool" --version)"
page=$scratch/root/usr/share/man/man1/diskarno.1.gz
manual=$(MANWIDTH=200 MANPAGER=cat man -l "$page" 2>&1) || fail "man -l $page: $manual"
[[ $manual == *"diskarno $version"* ]] || fail "the manual page's title lacks diskarno $version"
[[ $manual == *"not one this diskarno knows"* ]] || fail "the manual page does not say what info tells"
[ -s "$scratch/root/usr/share/doc/diskarno/copyright" ] || fail "no copyright file"

# The completion, as bash loads it, for the installed tool.
complete_line() {
  PATH=$scratch/root/usr/bin:$PATH bash -c '
    source "$1"
    read -ra COMP_WORDS <<<"$2"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _diskarno
    echo "${COMPREPLY[*]}"' _ "$scratch/root/usr/share/bash-completion/completions/diskarno" "$1"
}
while IFS='|' read -r line expected; do
  got=$(complete_line "$line")
  [ "$got" = "$expected" ] || fail "completing '$line': '$got', not '$expected'"
done <<'EOF'
diskarno in|info
diskarno ver|verify
diskarno pack --pa|--password --password-file
diskarno info --j|--json
diskarno write disk.exe /dev/fd0 --ver|--verify --version
EOF

# The .zip: exactly these files.
listing=$(unzip -l "$release/$zip")
echo "$listing"
names=$(unzip -Z1 "$release/$zip" | sort | tr '\n' ' ')
folder=diskarno-${version}-windows
expected="$folder/README.md $folder/diskarno-sfx.exe $folder/diskarno.exe"
for licence in $(unzip -Z1 "$release/$zip" "$folder/licenses/*" | sort); do
  expected+=" $licence"
done
[ "$names" = "$expected " ] || fail "the .zip holds: $names"
[[ $names == *"$folder/licenses/zlib.txt"* ]] || fail "the .zip lacks zlib's licence"

# The .deb's tool packs the .zip's program and names it as its own; with a
# byte of its code changed it knows it no more.
unzip -q -d "$scratch/zip" "$release/$zip" "$folder/diskarno-sfx.exe"
program=$scratch/zip/$folder/diskarno-sfx.exe
truncate -s 1474560 "$scratch/blank.img"
"$tool" pack "$scratch/blank.img" -o "$scratch/packed.exe" --stub "$program" >/dev/null ||
  fail "pack with the .zip's program"
[[ $("$tool" info "$scratch/packed.exe") == *"this project's release $version, the program this diskarno packs"* ]] ||
  fail "info does not name the .zip's program as the one this diskarno packs"
byte=$(od -An -tu1 -j2000 -N1 "$scratch/packed.exe")  # in the code section
printf "\\x$(printf %02x $((byte ^ 1)))" | dd of="$scratch/packed.exe" bs=1 seek=2000 conv=notrunc status=none
[[ $("$tool" info "$scratch/packed.exe" --json) == *'"program_release": null'* ]] ||
  fail "info names a program whose code was changed"

[ "$failures" -eq 0 ] || exit 1
rm -rf "$scratch"
echo "the packages of $version install and work"
