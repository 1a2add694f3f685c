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
shot=$build/tests/support/x11-window-shot
class=Quorix-Firmware-Main-C7WK0-3HYR7
desktop=336699

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

work=$(mktemp -d)
xvfb= bus= app= portals=
source "$(dirname "$0")/session-bus.sh"
cleanup() {
    # The portal's programs end with their bus; those still there are ended here.
    for pid in $app $bus $portals $xvfb; do kill "$pid" 2>/dev/null; done
    for pid in $app $bus $portals $xvfb; do
        for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    for log in bus.log updater.log; do
        [ -s "$work/$log" ] && echo "--- $log" && tail -n 30 "$work/$log"
    done
    for f in "$work"/*.png; do [ -e "$f" ] && cp "$f" "$build/e2e-portal-real-$(basename "$f")"; done
    exit 1
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
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
start_session_bus "$work" "$work/services" || fail "dbus-daemon did not start"

"$build/tools/qfu-pack" --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 \
    --seed 7 --out "$work/my files/fw.qfu" >/dev/null || fail "qfu-pack"

expect() { # NAME [WAIT_MS]
    "$shot" --class $class --golden "$golden/$1.png" --behind $desktop --wait "${2:-5000}" \
        --out "$work/$1.png" || fail "the window does not show $1"
}
# The pid of a name's owner on the bus; empty when none owns it.
owner_pid() {
    dbus-send --print-reply=literal --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" 2>/dev/null | awk '{print $2}'
}

# Only the empty $work/bin on the path: no dialog program at all.
PATH=$work/bin "$updater" --simulate=latency=0,restart=0 >"$work/updater.log" 2>&1 &
app=$!
expect window_start
window=$(xdotool search --class "^$class\$" | head -n1)
[ -n "$window" ] || fail "xdotool finds no window"
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
