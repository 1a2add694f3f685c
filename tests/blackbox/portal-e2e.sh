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
shot=$build/tests/support/x11-window-shot
stub=$build/tests/support/portal-stub
class=Quorix-Firmware-Main-C7WK0-3HYR7
desktop=336699

work=$(mktemp -d)
xvfb= bus= portal= app=
source "$(dirname "$0")/session-bus.sh"
cleanup() {
    for pid in $app $portal $bus $xvfb; do kill "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    [ -s "$work/portal.log" ] && echo "the portal was asked:" && cat "$work/portal.log"
    for f in "$work"/*.png; do [ -e "$f" ] && cp "$f" "$build/e2e-portal-$(basename "$f")"; done
    exit 1
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
export HOME=$work XDG_CONFIG_HOME=$work/config
unset GDK_SCALE # a desktop's own scale would enlarge the window past its golden images
"$shot" --paint-root $desktop

start_session_bus "$work" "$work/services" || fail "dbus-daemon did not start"

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
expect() { # NAME [WAIT_MS]
    "$shot" --class $class --golden "$golden/$1.png" --behind $desktop --wait "${2:-5000}" \
        --out "$work/$1.png" || fail "the window does not show $1"
}
start() { # [PATH for the program]
    PATH=${1:-$PATH} "$updater" --simulate=latency=0,restart=0 &
    app=$!
    expect window_start
    window=$(xdotool search --class "^$class\$" | head -n1)
    [ -n "$window" ] || fail "xdotool finds no window"
}
finish() {
    kill "$app"
    wait "$app" 2>/dev/null
    app=
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
    fail "the portal was asked: $(cat "$work/portal.log")"
finish

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
finish

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
finish

# Only a portal, no dialog program (a sandboxed or minimal desktop): Open File
# asks the portal.
rm "$work/bin/zenity"
start_portal
answer "file://$work/my%20files/fw.qfu"
start "$work/bin"
open_file
expect window_device 10000
wait_calls 1
finish
kill "$portal"
wait "$portal" 2>/dev/null
portal=

# Neither a portal nor a dialog program: the page's own line. The bus starts none
# of the machine's services, so an installed portal does not count.
start "$work/bin"
open_file
expect window_no_dialog
finish
echo "portal end to end: passed"
