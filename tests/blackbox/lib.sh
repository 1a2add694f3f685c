# The end-to-end tests' kit, sourced by every script here: a work folder and a
# cleanup that always runs, failures that keep what they saw, a private X server,
# the Wine prefix, windows found by class and compared with golden images, and the
# programs run natively or under Wine with a time limit. A script keeps only its
# scenario.
#
# Sourced after `build` (the build folder) is set; `source` (the source tree) is
# found from here. Functions and variables:
#   e2e_begin LABEL [DIR [MODE]]
#                          $work: a fresh temporary folder; or DIR, emptied first, as
#                          a path relative to the build folder, which becomes the
#                          current one; LABEL prefixes the failure line and the
#                          screenshots kept in the build folder; no trusted keys
#                          installed on the machine take part
#   at_exit CMD            a cleanup step, run after $app ends and before the
#                          tracked processes do (last added, first run)
#   track [-9] PID         a process the cleanup ends (last tracked, first ended);
#                          -9 for an updater, which lets a run end after SIGTERM
#   fail TEXT              says what failed, shows the files of $fail_shows (globs in
#                          $work) and $fail_hook's output, keeps $work/*.png, exit 1
#   start_xvfb             a private Xvfb on a free display ($xvfb); exports DISPLAY
#   quiet_desktop          HOME and XDG_CONFIG_HOME in $work, no desktop scale, no
#                          session bus: nothing of the user's desktop takes part
#   start_session_bus SERVICE_DIR  a session bus of the test's own ($bus): it starts
#                          only the services whose files are in SERVICE_DIR (a real
#                          desktop portal installed on the machine would otherwise be
#                          started beside a test's own and answer in its place);
#                          services get the caller's environment at this point
#   wine_ready             $wine; the prefix's left-over server is waited for
#   expect_x11 CLASS NAME [WAIT_MS]   the window of CLASS shows golden NAME, with the
#                          desktop colour $desktop in its keyed-out holes
#   find_window CLASS      $window: the window id of CLASS (xdotool), or fail
#   $app                   the program a scenario started in the background: the
#                          cleanup ends it
#   end_app                ends $app and waits for it
#   await_app SECONDS      waits at most SECONDS for $app to end (then ends it);
#                          $code is its exit code
#   $mode                  native or wine (MODE): how `packer` and `updater` run
#   $id                    the IDs of the demo device and its files
#   packer ARGS...         qfu-pack
#   updater ARGS...        the updater in the terminal; under Wine from one raw
#                          command line with each argument quoted
#   updater_command ARGS...  the same command in the array e2e_command (for a start
#                          in the background whose $! is the program's)

source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
shot=$build/tests/support/x11-window-shot
id="vid_1209&pid_0001"
desktop=336699
work=
app=
xvfb=
e2e_label=e2e
e2e_steps=()
e2e_pids=()
fail_shows=()
fail_hook=

e2e_cleanup() {
    local i pid
    # The updater lets a run end after a first SIGTERM: the cleanup does not wait.
    [ -n "${app:-}" ] && kill -9 "$app" 2>/dev/null
    for ((i = ${#e2e_steps[@]} - 1; i >= 0; i--)); do eval "${e2e_steps[i]}" >/dev/null 2>&1; done
    for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do kill ${e2e_pids[i]} 2>/dev/null; done
    # Gone before their folder goes: a program still writing there would leave files.
    for pid in ${app:-} "${e2e_pids[@]}"; do
        for _ in $(seq 40); do kill -0 "${pid##* }" 2>/dev/null || break; sleep 0.05; done
    done
    [ -n "$work" ] && rm -rf "$work"
}

e2e_begin() { # LABEL [DIR [MODE]]
    e2e_label=$1
    mode=${3:-native}
    if [ -n "${2:-}" ]; then
        # Relative, from the build folder: Windows programs under Wine take it as it is.
        cd "$build" || exit 1
        work=$2
        rm -rf "$work"
        mkdir -p "$work"
    else
        work=$(mktemp -d "${TMPDIR:-/tmp}/quorix-test-$1.XXXXXX")
    fi
    trap e2e_cleanup EXIT
    # Keys a maker installed on this machine must not change what the scenarios see.
    export QUORIX_TRUSTED_KEY_DIRS=
}

at_exit() { e2e_steps+=("$*"); }
track() { e2e_pids+=("$*"); }

fail() {
    echo "FAILED ($e2e_label): $*"
    local pattern f
    for pattern in "${fail_shows[@]}"; do
        for f in "$work"/$pattern; do [ -e "$f" ] && { echo "== $f"; tr -d '\r' <"$f" | cat -v; }; done
    done
    [ -n "$fail_hook" ] && $fail_hook
    for f in "$work"/*.png; do [ -e "$f" ] && cp "$f" "$build/$e2e_label-$(basename "$f")"; done
    exit 1
}

start_xvfb() {
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    track $xvfb
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    exec 3>&-
    export DISPLAY=":$(head -n1 "$work/display")"
}

quiet_desktop() {
    export HOME=$work XDG_CONFIG_HOME=$work/config
    unset GDK_SCALE # a desktop's own scale would enlarge the window past its golden images
    # No session bus: a desktop portal would answer Open File in place of a test's own.
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
}

xml_text() {
    local text=${1//&/&amp;}
    text=${text//</&lt;}
    printf '%s' "${text//>/&gt;}"
}

start_session_bus() { # SERVICE_DIR
    local dir=$work services=$1
    mkdir -p "$services"
    cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$(xml_text "$dir/bus")</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$(xml_text "$services")</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus
    dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile >"$dir/bus.log" 2>&1 &
    bus=$!
    track $bus
    for _ in $(seq 100); do [ -S "$dir/bus" ] && return 0; sleep 0.05; done
    fail "dbus-daemon did not start"
}

wine_ready() {
    wine=$source/scripts/wine-run
    # A Wine server left by an earlier test still holds that test's display (or none):
    # windows would open there, on a screen of another size. It is ended here (these
    # tests run alone); the next Wine program starts one for this test's display.
    WINEPREFIX="$source/build/windows/wineprefix" wineserver -k 2>/dev/null
    WINEPREFIX="$source/build/windows/wineprefix" wineserver -w
}

expect_x11() { # CLASS NAME [WAIT_MS]
    "$shot" --class "$1" --golden "$golden/$2.png" --behind $desktop --wait "${3:-5000}" \
        --out "$work/$2.png" || fail "the window does not show $2"
}

find_window() { # CLASS
    window=$(xdotool search --class "^$1\$" | head -n1)
    [ -n "$window" ] || fail "xdotool finds no window of class $1"
}

end_app() {
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null
    app=
}

await_app() { # SECONDS
    timeout "$1" tail --pid="$app" -f /dev/null || kill "$app" 2>/dev/null
    wait "$app"
    code=$?
    app=
}

mode=native

packer() {
    if [ "$mode" = wine ]; then
        "$source/scripts/wine-run" "$build/tools/qfu-pack.exe" "$@"
    else
        "$build/tools/qfu-pack" "$@"
    fi
}

updater_command() { # ARGS...: sets e2e_command, to start in the background as it is
    if [ "$mode" = wine ]; then
        local line="quorix-updater.exe" arg
        for arg in "$@"; do line+=" \"$arg\""; done
        e2e_command=("$source/scripts/wine-run" "$build/tests/support/raw-launch.exe" "$line")
    else
        e2e_command=("$build/quorix-updater" --terminal "$@")
    fi
}

updater() {
    updater_command "$@"
    "${e2e_command[@]}"
}
