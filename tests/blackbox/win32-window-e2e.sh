#!/usr/bin/env bash
# The real Windows program under Wine in a private X server, played by our Win32
# driver with window messages: its window as the system sees it, a drop of two
# files, a click on Update, the states of the page against the same golden images
# as the Linux runs, the close button and the saved position, a second start that
# restores the first, the saved positions made safe, command-line runs, and a
# 192 dpi screen.
#
#   win32-window-e2e.sh BUILD_DIR GOLDEN_DIR SOURCE_DIR
set -u
build=$1
golden=$2
updater=$build/quorix-updater.exe
driver=$build/tests/support/window-driver.exe
launch=$build/tests/support/raw-launch.exe
source "$(dirname "$0")/lib.sh"
wine_ready
pack="$wine $build/tools/qfu-pack.exe"
e2e_begin wine-e2e
at_exit 'drv registry delete MainWindow_p'
at_exit 'set_dpi 96'
drv() { "$wine" "$driver" "$@"; }
# Wine takes the screen's dpi from the prefix's registry when a program starts.
set_dpi() {
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    "$wine" reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
expect() { # NAME [WAIT_MS]
    drv expect "$golden/$1.png" "${2:-10000}" "$work/$1.png" || fail "the window does not show $1"
}
start() { # ARGUMENTS...: the program in the background
    "$wine" "$updater" "$@" &
    app=$!
    drv wait 30000 || fail "no window after starting with $*"
}
finish() { # EXPECTED_CODE WHAT
    await_app 60
    [ "$code" = "$1" ] || fail "$2 exited with $code, not $1"
}

start_xvfb
set_dpi 96
drv registry delete MainWindow_p

cd "$work"
$pack --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 7 \
    --out fw.qfu >/dev/null || fail "qfu-pack"
tail -c +57 fw.qfu >fw.image
file=$(winepath -w "$work/fw.qfu" 2>/dev/null)

# 100 blocks of 256 bytes; silent once at block 36, so the bar rests at 37 % for 2 s.
start --simulate="block=256,silent-at=36,once,latency=0,restart=0,save=$work/a.bin"
drv check 480 240 || fail "the window is not what the system should see"
expect window_start
[ "$(drv position | tr -d '\r')" = "400 280" ] || fail "the window is not centred: $(drv position)"

# A second start without arguments only raises the first, restored if minimised.
drv minimise
drv iconic 500 || fail "the window could not be minimised"
timeout 30 "$wine" "$updater"
[ $? = 1 ] || fail "a second start did not exit with 1"
drv iconic 500 && fail "a second start left the first window minimised"
expect window_start

drv drop "$file" 'Z:\second-is-ignored.qfu' || fail "the drop was not posted"
expect window_device
drv click 380 118 # Update
expect window_progress
expect window_result 20000
cmp -s a.bin fw.image || fail "the device did not receive the whole image"
drv click 440 30 # the close button
finish 1 "an interactive run"
drv gone 5000 || fail "the window is still there"
[ "$(drv registry get MainWindow_p | tr -d '\r')" = $(((280 << 16) | 400)) ] || fail "the position was not saved"

# Saved positions are made safe: a negative x becomes 0; a right edge at or past the
# maximised width moves the window to end one pixel inside.
read -r maxWidth _ < <(drv metrics | tr -d '\r')
for case in "$(((100 << 16) | 0xFFF0)) 0 100" "$(((50 << 16) | (maxWidth - 480))) $((maxWidth - 481)) 50"; do
    set -- $case
    drv registry set MainWindow_p "$1"
    start --simulate
    [ "$(drv position | tr -d '\r')" = "$2 $3" ] || fail "saved $1 placed the window at $(drv position), not $2 $3"
    drv close
    finish 1 "a run closed by the system menu"
done
drv registry delete MainWindow_p

# Command-line runs: the window closes itself, the exit code is the update's, and
# the unit it started on (not its twin) has the image.
rm -f cl-a.bin cl-b.bin
timeout 90 "$wine" "$launch" "$updater --simulate=save=cl-a.bin;save=cl-b.bin -path:\"fw.qfu\" -id:\"vid_1209&pid_0001\""
code=$?
[ $code = 0 ] || fail "a command-line update exited with $code, not 0"
cmp -s cl-a.bin fw.image || fail "the command-line update did not write the whole image"
[ ! -e cl-b.bin ] || fail "the command-line update wrote the twin"
# With no device it waits 10 s, shows "Device not found" for 2 s and exits with 1;
# the window answers the system within 100 ms all along, never "Not Responding".
"$wine" "$launch" "$updater --simulate=pid=0002 -path:\"fw.qfu\" -id:\"vid_1209&pid_0001\"" &
app=$!
drv wait 30000 || fail "no window for a command-line start"
probe=$(drv answers 30000 100 | tr -d '\r') || fail "a command-line start stopped answering: $probe"
echo "a command-line start with no device answered: $probe"
read -r _ _ _ lasted _ <<<"$probe"
[ "$lasted" -ge 11800 ] || fail "the probes ended after $lasted ms, before the wait and the pause were over"
finish 1 "a failing command-line update"

# File names in any language reach the file from the command line (the program
# reads the wide command line; its manifest makes the code page UTF-8 as well).
for name in прошивка 固件 fw–1; do
    cp fw.qfu "$name.qfu"
    rm -f named.bin
    timeout 90 "$wine" "$launch" "$updater --simulate=latency=0,save=named.bin -path:\"$name.qfu\" -id:\"vid_1209&pid_0001\""
    code=$?
    [ $code = 0 ] || fail "a command-line update of $name.qfu exited with $code, not 0"
    cmp -s named.bin fw.image || fail "the command-line update of $name.qfu did not write the whole image"
done

# At 192 dpi the window is 960 x 480, each page pixel a 2 x 2 block, and a click at
# the doubled place reaches the same button. At 144 dpi it stays 480 x 240. Each run
# starts centred (a place saved by a smaller window could leave its edge off screen,
# where a window's pixels cannot be read back).
drv registry delete MainWindow_p
set_dpi 144
start --simulate=latency=0 "$file"
drv check 480 240 || fail "at 144 dpi the window is not 480 x 240"
drv close
finish 1 "the 144 dpi run"
set_dpi 192
drv registry delete MainWindow_p
start --simulate="latency=0,restart=0,save=$work/b.bin" "$file"
drv check 960 480 || fail "at 192 dpi the window is not 960 x 480"
expect window_device
drv click 760 236 # Update
expect window_result 20000
cmp -s b.bin fw.image || fail "the device did not receive the whole image at 192 dpi"
drv close
finish 1 "the 192 dpi run"
set_dpi 96
echo "windows window end-to-end: passed"
