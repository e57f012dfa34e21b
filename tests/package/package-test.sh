#!/bin/sh
# The Debian package as make deb makes it, from this build: its name, its
# dependencies, its files, and the programs run from it unpacked into a
# scratch root (dpkg -x), as they would run installed; then lintian on it.
# Skipped (77) only where the Debian tools are not installed.
set -eu
build=$1
source=$2
version=$3

test_name="package test"
. "$(dirname "$0")/../support/test-script.sh"
need cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb="$scratch/out/morvaleth_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$scratch/out")"

# The libraries the programs link, found by dpkg-shlibdeps, and what they
# load or read without linking it.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libfreetype6 libfontconfig1 \
    libharfbuzz0b zlib1g libutf8proc2 fontconfig fonts-ipafont-gothic fonts-ipafont-mincho \
    fonts-dejavu-core qt6-qpa-plugins; do
    echo "$depends" | tr ',' '\n' | grep -q "^ *$package\( \|$\)" || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Package Version Section)" = "Package: morvaleth
Version: $version
Section: graphics" ] || fail "control fields: $(dpkg-deb -f "$deb" Package Version Section)"

# Every file, and nothing else, each owned by root with the usual modes.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3 >"$scratch/files"
cat >"$scratch/expected" <<FILES
-rwxr-xr-x root/root ./usr/bin/morvaleth
-rwxr-xr-x root/root ./usr/bin/morvaleth-compose
-rw-r--r-- root/root ./usr/share/applications/io.github.morvaleth.Morvaleth.desktop
-rw-r--r-- root/root ./usr/share/bash-completion/completions/morvaleth-compose
-rw-r--r-- root/root ./usr/share/doc/morvaleth/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/morvaleth/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/morvaleth.svg
-rw-r--r-- root/root ./usr/share/man/man1/morvaleth-compose.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/morvaleth.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/io.github.morvaleth.Morvaleth.metainfo.xml
-rw-r--r-- root/root ./usr/share/morvaleth/morvaleth-fonts.conf
-rw-r--r-- root/root ./usr/share/zsh/vendor-completions/_morvaleth-compose
FILES
diff "$scratch/expected" "$scratch/files" >&2 || fail "the package's files differ from the list above"

# Unpacked, the programs find their data beside them, not in the build.
root="$scratch/root"
dpkg -x "$deb" "$root"
compose="$root/usr/bin/morvaleth-compose"
[ "$("$compose" --version)" = "morvaleth-compose $version" ] || fail "morvaleth-compose --version: $("$compose" --version)"
fonts=$("$compose" --show-font "ＭＳ 明朝")
echo "$fonts" | grep -q "^ＭＳ 明朝: IPAMincho " || fail "the alias did not apply: $fonts"
echo "$fonts" | grep -qx "aliases: $root/usr/share/morvaleth/morvaleth-fonts.conf" ||
    fail "the unpacked program did not read its own alias file: $fonts"
# The same seed gives the packaged program's picture byte for byte as the
# build's.
"$compose" "$source/examples/letter-sjis.txt" -o "$scratch/packaged.bmp" --seed 7 --real -W 300 -H 200
"$build/bin/morvaleth-compose" "$source/examples/letter-sjis.txt" -o "$scratch/built.bmp" --seed 7 --real -W 300 -H 200
[ "$(stat -c %s "$scratch/packaged.bmp")" -eq $((54 + 300 * 3 * 200)) ] || fail "the picture has the wrong size"
cmp -s "$scratch/packaged.bmp" "$scratch/built.bmp" || fail "the packaged program composes another picture"
window=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/morvaleth" --version)
[ "$window" = "Morvaleth $version" ] || fail "morvaleth --version: $window"
zcat "$root/usr/share/man/man1/morvaleth.1.gz" | grep -q '^\.TH MORVALETH 1' || fail "the man page does not unpack"

# What software centres read of the package, its desktop entry included.
appstreamcli validate-tree --no-net --strict "$root" >"$scratch/appstream.log" 2>&1 ||
    { cat "$scratch/appstream.log" >&2; fail "the packaged metainfo does not validate"; }

# Lintian's errors fail the test; its warnings and notes are shown.
status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
grep -v 'root privileges' "$scratch/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian reports errors"
echo "package test: $(basename "$deb") unpacks and runs"
