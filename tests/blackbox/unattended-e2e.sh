#!/usr/bin/env bash
# Runs nobody watches: a hang-up during factory mode lets every running unit finish;
# texts from a file reach the terminal escaped and JSON whole; a log that cannot be
# kept, an unknown option and an update file with no image stop the start, with
# nothing sent to a device.
#
#   unattended-e2e.sh BUILD_DIR
set -u
build=$1
updater=$build/quorix-updater
source "$(dirname "$0")/lib.sh"
e2e_begin unattended
fail_shows=(*.out *.err)
packed() { # OUT NAME BYTES
    packer --vid 1209 --pid 0001 --name "$2" --version 1.1.0 --random "$3" --seed 5 --out "$1" \
        >/dev/null || fail "qfu-pack $2"
}
packed "$work/fw.qfu" "Quorix Demo Device" 25600
tail -c +57 "$work/fw.qfu" >"$work/image"

# Factory mode, two units resting at 30 %: one hang-up ends the watch after both
# updates, each image whole, exit 0.
s="block=256,latency=1,silent-at=30,once"
"$updater" --watch --simulate="$s,save=$work/a.bin;$s,save=$work/b.bin" -path:"$work/fw.qfu" -id:"$id" \
    >"$work/watch.out" 2>"$work/watch.err" &
app=$!
for _ in $(seq 300); do [ "$(grep -c '\] 3[0-9]%$' "$work/watch.out")" = 2 ] && break; sleep 0.05; done
[ "$(grep -c '\] 3[0-9]%$' "$work/watch.out")" = 2 ] || fail "the two units never reached 30 %"
kill -HUP "$app"
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
wait "$app"
code=$?
app=
[ $code = 0 ] || fail "a hang-up during the watch: exit $code, not 0"
grep -qx 'updated 2, failed 0, skipped 0' "$work/watch.out" || fail "no summary of two updates"
for unit in a b; do cmp -s "$work/$unit.bin" "$work/image" || fail "unit $unit's image is not whole"; done

# A device name and a path with escape sequences: \xNN in the terminal, the exact
# bytes in JSON.
esc=$'X\e]2;pwned\a\e[2J'
packed "$work/esc.qfu" "$esc" 25600
"$updater" --terminal --simulate=block=256,latency=1 -path:"$work/esc.qfu" -id:"$id" >"$work/esc.out" 2>&1 ||
    fail "the escape-named file did not update"
grep -qxF 'Updating X\x1b]2;pwned\x07\x1b[2J' "$work/esc.out" || fail "the device name is not shown escaped"
missing="$work/gone$esc.qfu"
"$updater" --terminal --json --simulate -path:"$missing" -id:"$id" >"$work/json.out" 2>"$work/json.err"
[ $? = 1 ] || fail "a missing file did not fail"
grep -qF 'goneX\x1b]2;pwned\x07\x1b[2J.qfu' "$work/json.err" || fail "the path is not shown escaped"
if LC_ALL=C grep -q $'\e' "$work/esc.out" "$work/json.err"; then fail "an ESC byte reached the terminal"; fi
python3 - "$work/json.out" "$missing" <<'PY' || fail "the JSON result does not carry the path's own bytes"
import json, sys
result = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")][-1]
assert result["event"] == "result" and result["cause"] == "update file not found: " + sys.argv[2], result
PY

# Start refusals: exit code, a line naming the fault, within 1 s, no image written.
mkfifo "$work/fifo"
mkdir "$work/dir"
packed "$work/empty.qfu" "Empty" 0
refused() { # CODE TEXT ARGS...
    local want=$1 text=$2
    shift 2
    rm -f "$work/r.bin"
    local began=$(date +%s%N)
    timeout 10 "$updater" "$@" >"$work/r.out" 2>"$work/r.err"
    local code=$? ms=$((($(date +%s%N) - began) / 1000000))
    [ $code = "$want" ] || fail "$* : exit $code, not $want"
    cat "$work/r.out" "$work/r.err" | grep -qF -- "$text" || fail "$* : no line \"$text\""
    [ $ms -lt 1000 ] || fail "$* : refused only after $ms ms"
    [ ! -e "$work/r.bin" ] || fail "$* : the device got an image"
}
sim="--simulate=block=256,save=$work/r.bin"
refused 2 "the log $work/fifo is not a regular file" --watch --log "$work/fifo" $sim -path:"$work/fw.qfu" -id:"$id"
refused 2 "the log $work/dir is not a regular file" --watch --log "$work/dir" $sim -path:"$work/fw.qfu" -id:"$id"
refused 2 "the log /nonexistent/x.log cannot be opened" --watch --log /nonexistent/x.log $sim -path:"$work/fw.qfu" -id:"$id"
refused 2 "unknown option --no-such-option" --terminal --no-such-option $sim -path:"$work/fw.qfu" -id:"$id"
refused 1 "update file refused (empty): the update file holds no image" --terminal $sim -path:"$work/empty.qfu" -id:"$id"
refused 1 "update file refused (empty): the update file holds no image" --watch $sim -path:"$work/empty.qfu" -id:"$id"
echo "unattended end-to-end: passed"
