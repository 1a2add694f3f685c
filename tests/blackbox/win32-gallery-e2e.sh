#!/usr/bin/env bash
# The Windows gallery under Wine in a private X server, played by our Win32 driver:
# the same golden images as the Linux runs, a click on a button and its linked
# display, the preset kept in the registry at the close and shown at the next start.
#
#   win32-gallery-e2e.sh BUILD_DIR GOLDEN_DIR SOURCE_DIR
set -u
build=$1
golden=$2
source=$3
wine=$source/scripts/wine-run
gallery=$build/quorix-gallery.exe
driver=$build/tests/support/window-driver.exe
export QUORIX_DRIVER_CLASS=Quorix-Gallery-Main
export QUORIX_DRIVER_KEY='SOFTWARE\Quorix\Gallery\1.00'

work=$(mktemp -d)
xvfb=
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    drv registry delete GalleryPreset >/dev/null 2>&1
    drv registry delete GalleryOption >/dev/null 2>&1
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    for f in "$work"/*.png; do [ -e "$f" ] && cp "$f" "$build/wine-e2e-gallery-$(basename "$f")"; done
    exit 1
}
drv() { "$wine" "$driver" "$@"; }
expect() { # NAME
    drv expect "$golden/$1.png" 10000 "$work/$1.png" || fail "the gallery does not show $1"
}
start() {
    "$wine" "$gallery" &
    app=$!
    drv wait 30000 || fail "no gallery window"
}
finish() { # HOW: x (its close button) or close (WM_CLOSE, which leaves the pointer where it was)
    if [ "$1" = x ]; then drv click 454 22 || fail "click on X"; else drv close || fail "WM_CLOSE"; fi
    timeout 60 tail --pid="$app" -f /dev/null
    wait "$app" || fail "the gallery exited with $?"
    app=
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
# A Wine server left by an earlier test still holds that test's display (or none):
# windows would open there, on a screen of another size.
WINEPREFIX="$source/build/windows/wineprefix" wineserver -w
drv registry delete GalleryPreset
drv registry delete GalleryOption

start
expect gallery_values
drv click 125 141 || fail "click on the power button"
expect gallery_power_on
drv click 130 68 || fail "click on the level field"
drv type " 0.8 " || fail "typing the level"
expect gallery_level_on
drv click 260 22 || fail "click on the second tab"
drv click 200 68 || fail "click on the note field"
drv type "Hello gallery" || fail "typing the note"
drv click 305 141 || fail "click on the preference's button"
expect gallery_text
drv click 330 22 || fail "click on the table's tab"
drv click 29 97 || fail "click on row 1's button"
drv click 120 115 || fail "click on row 2's text"
expect gallery_lists_rows
drv click 396 22 || fail "click on the panels' tab"
drv click 100 174 || fail "click on the splash screen's button"
expect gallery_panels
drv click 450 220 || fail "click closing the splash screen"
finish close # the pointer stays off the next window's buttons
preset=$(drv registry get GalleryPreset | tr -d "\r") || fail "no preset in the registry"
[ "$preset" = 01ccccffffcccc ] || fail "the preset is $preset" # level 0.8, power on, meter 0.8
start
expect gallery_level_on # as it was left
finish x
echo "gallery under Wine: passed"
