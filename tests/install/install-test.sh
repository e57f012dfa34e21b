#!/bin/sh
# Installs the build into a fresh prefix and runs the installed programs from
# an unrelated folder: they must find their data where they were installed.
set -eu
build=$1
source=$2
app_id=$3

test_name="install test"
. "$(dirname "$0")/../support/test-script.sh"
prefix="$scratch/prefix"
work="$scratch/work"
mkdir "$work"

cmake --install "$build" --prefix "$prefix" >/dev/null
cd "$work"

compose="$prefix/bin/morvaleth-compose"
[ -x "$compose" ] || fail "no $compose"
"$compose" "$source/examples/letter-sjis.txt" -o letter.bmp --seed 1 --real
[ "$(stat -c %s letter.bmp)" -eq 921654 ] || fail "letter.bmp is $(stat -c %s letter.bmp) bytes"

fonts=$("$compose" --show-font "ＭＳ 明朝")
echo "$fonts" | grep -q "^ＭＳ 明朝: IPAMincho " || fail "the alias did not apply: $fonts"
echo "$fonts" | grep -qx "aliases: $prefix/share/morvaleth/morvaleth-fonts.conf" ||
    fail "the installed program did not use its installed alias file: $fonts"

# A man page that is installed, renders without warnings and says what it is.
check_page() {
    page="$prefix/share/man/man1/$1.1"
    [ -f "$page" ] || fail "no man page for $1"
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the man page of $1 has warnings: $warnings"
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "$2" || fail "the man page of $1 does not render"
}
check_page morvaleth-compose "compose a text file into a cut-out letter picture"
# Shell completion where bash-completion and Debian's zsh look for it.
[ -f "$prefix/share/bash-completion/completions/morvaleth-compose" ] || fail "no bash completion"
[ -f "$prefix/share/zsh/vendor-completions/_morvaleth-compose" ] || fail "no zsh completion"

if [ -e "$build/bin/morvaleth" ]; then
    [ -x "$prefix/bin/morvaleth" ] || fail "no window program"
    # The metadata test validates it.
    entry="$prefix/share/applications/$app_id.desktop"
    grep -qx "Exec=morvaleth %f" "$entry" || fail "the entry does not launch morvaleth with the file"
    grep -qx "MimeType=text/plain;" "$entry" || fail "the entry does not open text files"
    check_page morvaleth "make a cut-out letter picture from a text file, in a window"
    version=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/morvaleth" --version)
    [ "$version" = "Morvaleth 1.0.0" ] || fail "morvaleth --version printed: $version"
    [ -f "$prefix/share/icons/hicolor/scalable/apps/morvaleth.svg" ] || fail "no icon"
fi
echo "install test: installed and ran from $prefix"
