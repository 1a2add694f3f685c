#!/usr/bin/env bash
# Ctrl+C (SIGINT), SIGTERM and SIGHUP in a terminal run: the first during an update
# lets it end (a half-written image is worse than a wait), a second stops it at once;
# outside an update they end the program at once. A closed stdout ends nothing.
#
#   interrupt-e2e.sh BUILD_DIR
set -u
build=$1
updater=$build/quorix-updater
source "$(dirname "$0")/lib.sh"
e2e_begin interrupts
fail_shows=(out)

packer --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 7 \
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

# One interrupt at 30 % (Ctrl-C, a termination request, or the hang-up of a dropped
# SSH session): the update ends, whole, and the exit code is its own.
for sig in INT TERM HUP; do
    start "$work/one-$sig.bin"
    kill -$sig "$app"
    finish 30
    [ $code = 0 ] || fail "one SIG$sig during the run: exit $code, not 0"
    grep -q '^Closing when the update has finished\.$' "$work/out" || fail "the run did not say it goes on (SIG$sig)"
    grep -q '^Update successful\.$' "$work/out" || fail "no result after one SIG$sig"
    cmp -s "$work/one-$sig.bin" "$work/image" || fail "the device did not receive the whole image after SIG$sig"
done

# Two of them, in any mix: the run stops at once, exit 1, and no image is complete.
for pair in "INT INT" "HUP HUP" "HUP TERM"; do
    set -- $pair
    start "$work/two.bin"
    kill -$1 "$app"
    sleep 0.2
    kill -$2 "$app"
    finish 5
    [ $code = 1 ] || fail "SIG$1 then SIG$2: exit $code, not 1"
    [ ! -e "$work/two.bin" ] || fail "a stopped run saved an image (SIG$1 then SIG$2)"
done

# A reader that goes away (`| head -n 3`) does not cut the flash: the writes fail
# quietly, the run goes on, and the exit code is the result's.
rm -f "$work/piped.bin"
"$updater" --json --simulate="block=256,latency=2,save=$work/piped.bin" -path:"$work/fw.qfu" -id:"$id" \
    2>"$work/out" | head -n 3 >"$work/head"
code=${PIPESTATUS[0]}
[ $code = 0 ] || fail "a run piped into head: exit $code, not 0"
[ "$(wc -l <"$work/head")" = 3 ] || fail "head did not get its three lines"
cmp -s "$work/piped.bin" "$work/image" || fail "the device did not receive the whole image through a closed pipe"

# Outside a run (waiting for a device that is not there) an interrupt ends it at once.
"$updater" --terminal --simulate=pid=0002 -path:"$work/fw.qfu" -id:"$id" >"$work/out" 2>&1 &
app=$!
sleep 0.5
kill -INT "$app"
finish 2
[ $code = 130 ] || fail "SIGINT while waiting for the device: exit $code, not 130"
echo "interrupt end-to-end: passed"
