#!/bin/sh
# What desktops and software centres read of an installation: the AppStream
# metainfo, with the desktop entry it launches, as Debian's appstreamcli
# validates them (without the network, so the screenshots' addresses are not
# fetched), and the desktop entry as desktop-file-validate reads it.
set -eu
build=$1
app_id=$2

test_name="metadata test"
. "$(dirname "$0")/../support/test-script.sh"
need appstreamcli desktop-file-validate
prefix="$scratch"

cmake --install "$build" --prefix "$prefix/usr" >/dev/null
metainfo="$prefix/usr/share/metainfo/$app_id.metainfo.xml"
entry="$prefix/usr/share/applications/$app_id.desktop"
[ -f "$metainfo" ] || fail "no $metainfo"
[ -f "$entry" ] || fail "no $entry"

# --strict fails on warnings too (a launchable entry that is not installed is
# one); only pedantic hints pass.
appstreamcli validate-tree --no-net --strict "$prefix" || fail "the installed metainfo does not validate"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"

grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
for program in morvaleth morvaleth-compose; do
    grep -q "<binary>$program</binary>" "$metainfo" || fail "the metainfo does not provide $program"
    [ -x "$prefix/usr/bin/$program" ] || fail "$program is provided but not installed"
done
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$prefix/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
grep -q '<summary>' "$metainfo" || fail "no summary in English"
grep -q '<summary xml:lang="ja">' "$metainfo" || fail "no summary in Japanese"
echo "metadata test: $app_id validates"
