#!/usr/bin/env bash
# Open File through the desktop portal: the real program in Xvfb on a private session
# bus, where our stub portal answers. A chosen file loads (its URI escaped, the
# dialog owned by the window, our filter); the window keeps painting while the
# dialog is open; a cancel changes nothing; a portal that leaves the bus unanswered ends the
# dialog; without a portal the stub zenity answers; with a portal and no dialog
# program Open File still asks the portal; with neither the page says so, though
# the machine may have a real portal installed.
#
#   portal-e2e.sh BUILD_DIR GOLDEN_DIR
set -u
build=$1
golden=$2
updater=$build/quorix-updater
stub=$build/tests/support/portal-stub
class=Quorix-Firmware-Main-C7WK0-3HYR7
source "$(dirname "$0")/lib.sh"
e2e_begin e2e-portal
fail_shows=(portal.log)
portal=
at_exit 'kill $portal'
start_xvfb
quiet_desktop
"$shot" --paint-root $desktop
start_session_bus "$work/services"

mkdir -p "$work/bin" "$work/my files"
printf '#!/bin/sh\necho asked >>"%s"\necho "%s"\n' "$work/zenity.log" "$work/my files/fw.qfu" >"$work/bin/zenity"
chmod +x "$work/bin/zenity"
export PATH=$work/bin:$PATH
"$build/tools/qfu-pack" --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 \
    --seed 7 --out "$work/my files/fw.qfu" >/dev/null || fail "qfu-pack"

answer() { echo "$1" >"$work/answer"; }
start_portal() {
    : >"$work/portal.log"
    "$stub" "$work/answer" "$work/portal.log" >"$work/portal.out" &
    portal=$!
    for _ in $(seq 100); do grep -q ready "$work/portal.out" && return; sleep 0.05; done
    fail "the stub portal did not start"
}
expect() { expect_x11 $class "$@"; }
start() { # [PATH for the program]
    PATH=${1:-$PATH} "$updater" --simulate=latency=0,restart=0 &
    app=$!
    expect window_start
    find_window $class
}
open_file() { xdotool mousemove --window "$window" 380 88 click 1; }
calls() { grep -c . "$work/portal.log"; }
wait_calls() { # N
    for _ in $(seq 100); do [ "$(calls)" = "$1" ] && return; sleep 0.05; done
    fail "the portal was asked $(calls) times, not $1"
}

# Chosen: the file loads; the call names our window, title and filter.
start_portal
answer "file://$work/my%20files/fw.qfu"
start
open_file
expect window_device 10000
printf -v parent 'x11:%x' "$window"
grep -qxF "parent=$parent title=Open File filter=qfu (*.qfu):0 *.qfu modal=1" "$work/portal.log" ||
    fail "the portal was not asked for our window, title and filter"
end_app

# Held open: the window still paints (a window laid over it and taken away leaves
# no trace); the cancel changes nothing, and the next Open File asks again.
start
answer hold
open_file
wait_calls 2
eval "$(xdotool getwindowgeometry --shell "$window")"
xev -geometry 300x150+$((X + 100))+$((Y + 60)) >/dev/null 2>&1 &
cover=$!
sleep 0.5
kill $cover
wait $cover 2>/dev/null
expect window_start
answer cancel
sleep 0.5
expect window_start
answer "file://$work/my%20files/fw.qfu"
open_file
wait_calls 3
expect window_device 10000
end_app

# A portal that leaves the bus without answering ends its dialog: the next Open
# File finds no portal and the stub zenity answers.
start
answer vanish
open_file
wait "$portal" || fail "the stub portal failed"
portal=
sleep 0.3
expect window_start
[ -e "$work/zenity.log" ] && fail "zenity was asked while the portal was there"
open_file
expect window_device 10000
[ "$(grep -c asked "$work/zenity.log")" = 1 ] || fail "zenity was not asked once"
end_app

# Only a portal, no dialog program (a sandboxed or minimal desktop): Open File
# asks the portal.
rm "$work/bin/zenity"
start_portal
answer "file://$work/my%20files/fw.qfu"
start "$work/bin"
open_file
expect window_device 10000
wait_calls 1
end_app
kill "$portal"
wait "$portal" 2>/dev/null
portal=

# Neither a portal nor a dialog program: the page's own line. The bus starts none
# of the machine's services, so an installed portal does not count.
start "$work/bin"
open_file
expect window_no_dialog
end_app
echo "portal end to end: passed"
