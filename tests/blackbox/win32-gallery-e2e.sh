#!/usr/bin/env bash
# The Windows gallery under Wine in a private X server, played by our Win32 driver:
# the same golden images as the Linux runs, a click on a button and its linked
# display, the preset kept in the registry at the close and shown at the next start.
#
#   win32-gallery-e2e.sh BUILD_DIR GOLDEN_DIR SOURCE_DIR
set -u
build=$1
golden=$2
gallery=$build/quorix-gallery.exe
driver=$build/tests/support/window-driver.exe
export QUORIX_DRIVER_CLASS=Quorix-Gallery-Main
export QUORIX_DRIVER_KEY='SOFTWARE\Quorix\Gallery\1.00'
source "$(dirname "$0")/lib.sh"
wine_ready
e2e_begin wine-e2e-gallery
at_exit 'drv registry delete GalleryPreset'
at_exit 'drv registry delete GalleryOption'
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
    await_app 60
    [ "$code" = 0 ] || fail "the gallery exited with $code"
}

start_xvfb
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
