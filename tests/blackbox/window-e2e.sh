#!/usr/bin/env bash
# The real program in a real X server (Xvfb), driven with xdotool as a user would:
# open a file through the file dialog (a stub zenity answers), update the simulated
# device, close; a second start; a dropped file; a file named alone; a command-line
# run in the window. Each state of the
# window must match the same golden image the in-memory tests use, with the keyed-out
# corners showing the desktop colour behind the window.
#
#   window-e2e.sh BUILD_DIR GOLDEN_DIR
set -u
build=$1
golden=$2
updater=$build/quorix-updater
pack=$build/tools/qfu-pack
class=Quorix-Firmware-Main-C7WK0-3HYR7
source "$(dirname "$0")/lib.sh"
e2e_begin e2e
start_xvfb
quiet_desktop
mkdir -p "$work/bin"
# The stub dialog answers with what the test wrote into $work/answer.
printf '#!/bin/sh\ncat "%s"\n' "$work/answer" >"$work/bin/zenity"
echo "$work/fw.qfu" >"$work/answer"
chmod +x "$work/bin/zenity"
export PATH=$work/bin:$PATH
"$shot" --paint-root $desktop

"$pack" --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 7 \
    --out "$work/fw.qfu" >/dev/null || fail "qfu-pack"

expect() { expect_x11 $class "$@"; }

# 100 blocks of 256 bytes; the device is silent once at block 36 (the bar rests at
# 37 % for 2 s) and restarts without going away (the result stays).
"$updater" --simulate=block=256,silent-at=36,once,latency=0,restart=0 &
app=$!
expect window_start
find_window $class
# The desktop ties the window to this program and its process ("force quit").
identity=$(xprop -id "$window" WM_CLASS WM_CLIENT_MACHINE _NET_WM_PID)
[ "$identity" = "WM_CLASS(STRING) = \"quorix-updater\", \"$class\"
WM_CLIENT_MACHINE(STRING) = \"$(uname -n)\"
_NET_WM_PID(CARDINAL) = $app" ] || fail "the window names another program or process: $identity"

# A second start without arguments only brings the first to the front.
timeout 10 "$updater"
[ $? = 1 ] || fail "a second start did not exit with 1"

xdotool mousemove --window "$window" 380 88 click 1 # Open File
expect window_device 10000
xdotool mousemove --window "$window" 380 118 click 1 # Update
expect window_progress 10000
expect window_result 15000

xdotool mousemove --window "$window" 440 30 click 1 # close
wait "$app"
code=$?
app=
[ $code = 1 ] || fail "an interactive run exited with $code, not 1"
"$shot" --class $class --gone 3000 || fail "the window is still there"
grep -q '^MainWindow_p=dword:' "$XDG_CONFIG_HOME/quorix/settings" || fail "the position was not saved"

# A file dropped on the window from another program (XDND).
"$updater" --simulate=latency=0,restart=0 &
app=$!
expect window_start
find_window $class
eval "$(xdotool getwindowgeometry --shell "$window")"
"$build/tests/support/x11-drop-files" "$window" $((X + 150)) $((Y + 120)) "$work/fw.qfu" ||
    fail "the dropped file was not taken"
expect window_device 10000
end_app

# A file named alone ("Open with") is loaded as if it had been dropped.
"$updater" --simulate=latency=0,restart=0 "$work/fw.qfu" &
app=$!
expect window_device 10000
end_app

# Started with file A (device A present), file B (another device, also present)
# chosen through Open File, Update pressed: B's device gets B's image and A's
# device nothing.
"$pack" --vid 1209 --pid 0002 --name "Quorix Other Device" --version 2.0.0 --random 12800 --seed 9 \
    --out "$work/b.qfu" >/dev/null || fail "qfu-pack b"
tail -c +57 "$work/b.qfu" >"$work/b.image"
echo "$work/b.qfu" >"$work/answer"
"$updater" --simulate="latency=0,restart=0,save=$work/a.bin;pid=0002,latency=0,restart=0,save=$work/b.bin" \
    "$work/fw.qfu" &
app=$!
expect window_device 10000
find_window $class
xdotool mousemove --window "$window" 380 88 click 1 # Open File: b.qfu
sleep 1.5 # B's device found and asked for its versions
xdotool mousemove --window "$window" 380 118 click 1 # Update
for _ in $(seq 150); do [ -e "$work/b.bin" ] && break; sleep 0.1; done
cmp -s "$work/b.bin" "$work/b.image" || fail "B's device did not receive B's image"
[ ! -e "$work/a.bin" ] || fail "A's device received an image"
end_app

# A command-line run with a click on Open File right after its window appears
# still closes itself with exit 0, having written the unit it started on, not its twin.
"$updater" --simulate="latency=1,save=$work/cl-a.bin;latency=1,save=$work/cl-b.bin" \
    -path:"$work/fw.qfu" -id:"vid_1209&pid_0001" &
app=$!
"$shot" --class $class --wait 5000 || fail "the command-line run shows no window"
find_window $class
xdotool mousemove --window "$window" 380 88 click 1
xdotool mousemove --window "$window" 440 30 click 1
await_app 60
[ $code = 0 ] || fail "a command-line run clicked at its start exited with $code, not 0"
tail -c +57 "$work/fw.qfu" | cmp -s - "$work/cl-a.bin" || fail "the command-line run's image is not whole"
[ ! -e "$work/cl-b.bin" ] || fail "the command-line run wrote the twin"

# The window manager's close at 30 % of an interactive update: the update ends
# (the device is silent once at block 30, so the run rests there for 2 s), the
# image is whole and the window goes afterwards.
tail -c +57 "$work/fw.qfu" >"$work/fw.image"
"$updater" --simulate="block=256,silent-at=30,once,latency=0,restart=0,save=$work/c.bin" "$work/fw.qfu" &
app=$!
expect window_device 10000
find_window $class
xdotool mousemove --window "$window" 380 118 click 1 # Update
sleep 0.6
"$shot" --class $class --close || fail "could not send the close"
sleep 0.5
"$shot" --class $class --gone 0 && fail "the window closed in the middle of the update"
await_app 30
cmp -s "$work/c.bin" "$work/fw.image" || fail "a close during the update left the image incomplete"
"$shot" --class $class --gone 3000 || fail "the window is still there after the update"

# Two units with the same IDs: A is shown, then unplugged; B (other versions) is
# plugged in later. The page shows B's own versions, not A's left over, and Update
# writes B only.
"$updater" --simulate="fw=1.0.00,leave=4000,save=$work/twin-a.bin,latency=0,restart=0;\
hw=2.0.00,fw=1.0.05,appear=5000,save=$work/twin-b.bin,latency=0,restart=0" "$work/fw.qfu" &
app=$!
expect window_device 10000
expect window_twin_b 10000
find_window $class
xdotool mousemove --window "$window" 380 118 click 1 # Update
expect window_result 15000
for _ in $(seq 50); do cmp -s "$work/twin-b.bin" "$work/fw.image" && break; sleep 0.1; done
cmp -s "$work/twin-b.bin" "$work/fw.image" || fail "the unit plugged in later did not receive the image"
[ ! -e "$work/twin-a.bin" ] || fail "the unplugged unit received an image"
end_app

# A command-line run in the window closes it and exits 0.
timeout 60 "$updater" --simulate=latency=0 -path:"$work/fw.qfu" -id:"vid_1209&pid_0001"
code=$?
[ $code = 0 ] || fail "a command-line run exited with $code, not 0"
"$shot" --class $class --gone 3000 || fail "the window of the command-line run is still there"
# On a high-DPI screen (Xft.dpi 192, or GDK_SCALE=2) the window is twice the size and
# shows each page pixel as a 2 x 2 block; a click at the doubled place reaches the
# same button. At 144 dpi it stays 480 x 240.
for setting in "dpi 192" "gdk 2" "dpi 144"; do
    set -- $setting
    if [ "$1" = dpi ]; then
        xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$2"
        scaled=() size=$(( $2 >= 192 ? 960 : 480 ))
    else
        xprop -root -remove RESOURCE_MANAGER
        scaled=(env GDK_SCALE="$2") size=960
    fi
    "${scaled[@]}" "$updater" --simulate=latency=0,restart=0 "$work/fw.qfu" &
    app=$!
    expect window_device 10000
    find_window $class
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" = $size ] || fail "with $setting the window is $WIDTH wide, not $size"
    factor=$((size / 480))
    xdotool mousemove --window "$window" $((380 * factor)) $((118 * factor)) click 1 # Update
    expect window_result 15000
    end_app
done
xprop -root -remove RESOURCE_MANAGER

# The display goes away in the middle of a command-line run: the update still ends,
# and with its own exit code.
"$updater" --simulate=latency=4 -path:"$work/fw.qfu" -id:"vid_1209&pid_0001" &
app=$!
"$shot" --class $class --wait 5000 || fail "the command-line run shows no window"
sleep 1 # into the run
kill "$xvfb"
xvfb=
wait "$app"
code=$?
app=
[ $code = 0 ] || fail "a run that lost its display exited with $code, not 0"
echo "window end-to-end: passed"
