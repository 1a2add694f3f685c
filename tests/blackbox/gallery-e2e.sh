#!/usr/bin/env bash
# The gallery in a real X server (Xvfb), driven with xdotool: a click on a button
# shows in its linked display, the value is kept in the settings file at the close
# and comes back at the next start. The same golden images as the in-memory test.
#
#   gallery-e2e.sh BUILD_DIR GOLDEN_DIR
set -u
build=$1
golden=$2
gallery=$build/quorix-gallery
class=Quorix-Gallery-Main
source "$(dirname "$0")/lib.sh"
e2e_begin e2e-gallery
start_xvfb
quiet_desktop
"$shot" --paint-root $desktop

expect() { expect_x11 $class "$1"; }
start() {
    "$gallery" &
    app=$!
    track $app
    expect "$1"
    find_window $class
}
finish() {
    xdotool mousemove --window "$window" 454 22 click 1 # X
    wait "$app" || fail "the gallery exited with $?"
    app=
}

"$gallery" --version | grep -q "^quorix-gallery 1.3.00$" || fail "--version"
start gallery_values
identity=$(xprop -id "$window" WM_CLASS WM_CLIENT_MACHINE _NET_WM_PID)
[ "$identity" = "WM_CLASS(STRING) = \"quorix-gallery\", \"$class\"
WM_CLIENT_MACHINE(STRING) = \"$(uname -n)\"
_NET_WM_PID(CARDINAL) = $app" ] || fail "the gallery names another program or process: $identity"
xdotool mousemove --window "$window" 125 141 click 1 # the power button
expect gallery_power_on
xdotool mousemove --window "$window" 130 68 click 1 # the level field: its edit popup
sleep 0.3
xdotool type --delay 20 " 0.8 "
xdotool key Return
expect gallery_level_on
xdotool mousemove --window "$window" 260 22 click 1 # the second tab
xdotool mousemove --window "$window" 200 68 click 1 # the note field
sleep 0.3
xdotool type --delay 20 "Hello gallery"
xdotool key Return
xdotool mousemove --window "$window" 305 141 click 1 # the preference's button
expect gallery_text
xdotool mousemove --window "$window" 330 22 click 1 # the table
xdotool mousemove --window "$window" 29 97 click 1 # row 1's button
xdotool mousemove --window "$window" 120 115 click 1 # row 2's text
expect gallery_lists_rows
xdotool mousemove --window "$window" 396 22 click 1 # panels
xdotool mousemove --window "$window" 100 174 click 1 # the splash screen
expect gallery_panels
xdotool mousemove --window "$window" 450 220 click 1 # closes it
finish
grep -q '^GalleryOption=text:1$' "$work/config/quorix/settings-gallery" || fail "no option in the settings file"
grep -q '^GalleryPreset=binary:01' "$work/config/quorix/settings-gallery" || fail "no preset in the settings file"
start gallery_level_on # as it was left
finish
echo "gallery end to end: passed"
