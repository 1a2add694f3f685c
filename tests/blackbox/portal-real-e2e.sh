#!/usr/bin/env bash
# Open File through the real desktop portal (xdg-desktop-portal with its GTK
# backend) on a private session bus, in Xvfb, with neither zenity nor kdialog on the
# path: the page still offers Open File, the bus starts the portal, the GTK chooser
# opens for our window; Escape changes nothing; a file with a space in its path,
# typed into the chooser, loads.
# Skipped (77) where the portal is not installed; scripts/setup-deps installs it.
#
#   portal-real-e2e.sh BUILD_DIR GOLDEN_DIR
set -u
build=$1
golden=$2
updater=$build/quorix-updater
class=Quorix-Firmware-Main-C7WK0-3HYR7

# The installed portal: its bus services and the GTK backend's description, each
# where the desktop would find it first.
IFS=: read -ra datadirs <<<"${XDG_DATA_DIRS:-/usr/local/share}:/usr/share"
installed() { # RELATIVE_PATH
    for data in "${datadirs[@]}"; do
        [ -f "$data/$1" ] && echo "$data/$1" && return
    done
}
services=()
for name in org.freedesktop.portal.Desktop org.freedesktop.impl.portal.desktop.gtk \
    org.freedesktop.impl.portal.PermissionStore; do
    file=$(installed "dbus-1/services/$name.service")
    [ -n "$file" ] && services+=("$file")
done
backend=$(installed xdg-desktop-portal/portals/gtk.portal)
if [ ${#services[@]} -lt 3 ] || [ -z "$backend" ]; then
    echo "SKIPPED: xdg-desktop-portal and xdg-desktop-portal-gtk are not installed (scripts/setup-deps)"
    exit 77
fi

source "$(dirname "$0")/lib.sh"
e2e_begin e2e-portal-real
fail_shows=(bus.log updater.log)
start_xvfb
"$shot" --paint-root $desktop

# Everything the portal and GTK read or write stays in $work: no settings daemon,
# accessibility bus, virtual file systems or other backends of the machine's own.
mkdir -p "$work/run" "$work/portals" "$work/services" "$work/bin" "$work/my files"
chmod 700 "$work/run"
cp "$backend" "$work/portals/"
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/run XDG_DESKTOP_PORTAL_DIR=$work/portals XDG_CURRENT_DESKTOP=GNOME
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GIO_USE_VFS=local GDK_BACKEND=x11 LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY GTK_USE_PORTAL GTK_MODULES GTK_IM_MODULE XMODIFIERS GDK_SCALE GDK_DPI_SCALE
cp "${services[@]}" "$work/services/"
start_session_bus "$work/services"

"$build/tools/qfu-pack" --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 \
    --seed 7 --out "$work/my files/fw.qfu" >/dev/null || fail "qfu-pack"

expect() { expect_x11 $class "$@"; }
# The pid of a name's owner on the bus; empty when none owns it.
owner_pid() {
    dbus-send --print-reply=literal --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" 2>/dev/null | awk '{print $2}'
}

# Only the empty $work/bin on the path: no dialog program at all.
PATH=$work/bin "$updater" --simulate=latency=0,restart=0 >"$work/updater.log" 2>&1 &
app=$!
expect window_start
find_window $class
open_chooser() {
    xdotool mousemove --window "$window" 380 88 click 1 # Open File
    chooser=
    for _ in $(seq 300); do
        chooser=$(xdotool search --onlyvisible --class xdg-desktop-portal-gtk 2>/dev/null | head -n1)
        [ -n "$chooser" ] && break
        sleep 0.05
    done
    [ -n "$chooser" ] || fail "no file chooser opened (the page found no dialog, or the portal did not answer)"
    xdotool windowfocus --sync "$chooser"
    sleep 0.5 # GTK takes its keys once the dialog has settled
}
chooser_closed() {
    for _ in $(seq 100); do
        [ -z "$(xdotool search --onlyvisible --class xdg-desktop-portal-gtk)" ] && return
        sleep 0.05
    done
    fail "the chooser is still open"
}

# The bus starts the portal and its GTK backend when asked: a chooser for our
# window, with our title. Escape cancels and changes nothing.
open_chooser
portals="$(owner_pid org.freedesktop.portal.Desktop) $(owner_pid org.freedesktop.impl.portal.desktop.gtk)"
portals="$portals $(owner_pid org.freedesktop.impl.portal.PermissionStore)"
for pid in $portals; do track "$pid"; done # they end with their bus; those still there, here
[ "$(xdotool getwindowname "$chooser")" = "Open File" ] || fail "the chooser is titled $(xdotool getwindowname "$chooser")"
transient=$(xprop -id "$chooser" WM_TRANSIENT_FOR)
[ "${transient##* }" = "$(printf '0x%x' "$window")" ] || fail "the chooser does not belong to the window: $transient"
xdotool key Escape
chooser_closed
expect window_start

# Asked again, a path typed as a user would: the location field, the whole path,
# Return. The file loads.
open_chooser
xdotool key --clearmodifiers ctrl+l
sleep 0.3
xdotool type --delay 10 "$work/my files/fw.qfu"
sleep 0.3
xdotool key Return
chooser_closed
expect window_device 15000
echo "portal real end to end: passed"
