#!/bin/sh
# The window program on a Wayland compositor (weston without a screen): it
# shows its window, paints it, and names itself by the desktop entry's name,
# so that the compositor finds its icon and name.
set -eu
program=$1
app_id=$2

skip() {
    echo "wayland test: skipped: $*"
    exit 77
}
command -v weston >/dev/null || skip "no weston"

runtime=$(mktemp -d)
chmod 700 "$runtime"
weston_pid=
program_pid=
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    [ -z "$weston_pid" ] || kill "$weston_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT

fail() {
    echo "wayland test: $*" >&2
    sed 's/^/  /' "$runtime/program.log" >&2 2>/dev/null || true
    exit 1
}

# Waits up to 30 s for a command to succeed.
await() {
    tries=300
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

export XDG_RUNTIME_DIR="$runtime"
weston --backend=headless-backend.so --shell=kiosk-shell.so --socket=morvaleth-test --idle-time=0 \
    >"$runtime/weston.log" 2>&1 &
weston_pid=$!
await test -S "$runtime/morvaleth-test" || { cat "$runtime/weston.log" >&2; fail "weston did not start"; }

# The client's side of the protocol, as WAYLAND_DEBUG logs it.
: >"$runtime/program.log"
WAYLAND_DISPLAY=morvaleth-test QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
    "$program" >"$runtime/program.log" 2>&1 &
program_pid=$!
painted() {
    grep -q 'wl_surface@[0-9]*\.attach(wl_buffer@' "$runtime/program.log" ||
        ! kill -0 "$program_pid" 2>/dev/null
}
await painted || fail "no window painted within 30 s"
if grep -q 'Could not find the Qt platform plugin "wayland"' "$runtime/program.log"; then
    skip "no Qt platform plugin for Wayland (qt6-wayland)"
fi
kill -0 "$program_pid" 2>/dev/null || fail "the program ended"
grep -q "xdg_toplevel@[0-9]*\.set_app_id(\"$app_id\")" "$runtime/program.log" ||
    fail "the window's app id is not $app_id"
grep -q 'xdg_toplevel@[0-9]*\.set_title("Morvaleth")' "$runtime/program.log" ||
    fail "the window's title is not Morvaleth"
echo "wayland test: the window painted as $app_id"
