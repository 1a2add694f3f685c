#!/usr/bin/env bash
# Ctrl+C (SIGINT) and SIGTERM in a terminal run: the first during an update lets it
# end (a half-written image is worse than a wait), a second stops it at once;
# outside an update they end the program at once.
#
#   interrupt-e2e.sh BUILD_DIR
set -u
build=$1
updater=$build/quorix-updater
pack=$build/tools/qfu-pack
id="vid_1209&pid_0001"
work=$(mktemp -d)
app=
cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    cat "$work/out" 2>/dev/null
    exit 1
}

"$pack" --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 7 \
    --out "$work/fw.qfu" >/dev/null || fail "qfu-pack"
tail -c +57 "$work/fw.qfu" >"$work/image"

# 100 blocks; the device is silent once at block 30, so the run rests at 30 % for 2 s.
start() { # SAVE
    "$updater" --terminal --simulate="block=256,silent-at=30,once,latency=0,save=$1" \
        -path:"$work/fw.qfu" -id:"$id" >"$work/out" 2>&1 &
    app=$!
    for _ in $(seq 200); do grep -q '^3[0-9]%$' "$work/out" && return 0; sleep 0.05; done
    fail "the run never reached 30 %"
}
finish() { # TIMEOUT_S: sets code
    local waited=0
    while kill -0 "$app" 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
        [ $waited -gt $(($1 * 10)) ] && fail "the program did not end within $1 s"
    done
    wait "$app"
    code=$?
    app=
}

# One interrupt at 30 %: the update ends, whole, and the exit code is its own.
start "$work/one.bin"
kill -INT "$app"
finish 30
[ $code = 0 ] || fail "one SIGINT during the run: exit $code, not 0"
grep -q '^Closing when the update has finished\.$' "$work/out" || fail "the run did not say it goes on"
grep -q '^Update successful\.$' "$work/out" || fail "no result after one SIGINT"
cmp -s "$work/one.bin" "$work/image" || fail "the device did not receive the whole image"

# SIGTERM is the same.
start "$work/term.bin"
kill -TERM "$app"
finish 30
[ $code = 0 ] || fail "one SIGTERM during the run: exit $code, not 0"
cmp -s "$work/term.bin" "$work/image" || fail "the device did not receive the whole image after SIGTERM"

# Two interrupts: the run stops at once, exit 1, and no image is complete.
start "$work/two.bin"
kill -INT "$app"
sleep 0.2
kill -INT "$app"
finish 5
[ $code = 1 ] || fail "two SIGINTs: exit $code, not 1"
[ ! -e "$work/two.bin" ] || fail "a stopped run saved an image"

# Outside a run (waiting for a device that is not there) an interrupt ends it at once.
"$updater" --terminal --simulate=pid=0002 -path:"$work/fw.qfu" -id:"$id" >"$work/out" 2>&1 &
app=$!
sleep 0.5
kill -INT "$app"
finish 2
[ $code = 130 ] || fail "SIGINT while waiting for the device: exit $code, not 130"
echo "interrupt end-to-end: passed"
