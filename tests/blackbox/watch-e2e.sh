#!/usr/bin/env bash
# Factory mode: six simulated devices plugged at different times. Four are updated,
# each exactly once although every one restarts at its path after its update; one
# refuses a block and fails; one already has the file's version and is skipped.
# Ctrl-C ends the watch with the summary; the log has one line per device. Run in
# text and with --json side by side. Then Ctrl-C during an update: it finishes.
#
#   watch-e2e.sh BUILD_DIR [wine]
set -u
build=$1
source "$(dirname "$0")/lib.sh"
e2e_begin watch blackbox-watch "${2:-native}"
fail_shows=("*.out" "*.err" "*.log")
launch() { # OUT ERR ARGS...: the watch in the background
    local out=$1 err=$2
    shift 2
    updater_command "$@"
    "${e2e_command[@]}" >"$out" 2>"$err" &
}
interrupt() { # PID MARKER: Ctrl-C to the program (under Wine the process whose command line has MARKER)
    if [ "$mode" = wine ]; then
        pkill -INT -f "^quorix-updater.exe.*$2"
    else
        kill -INT "$1"
    fi
}
unix_lines() { for f in "$@"; do tr -d '\r' <"$f" >"$f.tmp" && mv "$f.tmp" "$f"; done; }

packer --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 9 \
    --out "$work/fw.qfu" >/dev/null || fail "qfu-pack"
tail -c +57 "$work/fw.qfu" >"$work/image"

bench() { # RUN: the six devices, saving under $work/RUN-N.bin
    local s="latency=1,block=256"
    echo "--simulate=$s,save=$work/$1-0.bin;$s,appear=1500,save=$work/$1-1.bin;$s,appear=2500,nak-at=2,save=$work/$1-2.bin;$s,appear=3000,save=$work/$1-3.bin;$s,appear=1000,fw=1.1.00,save=$work/$1-4.bin;$s,appear=4500,save=$work/$1-5.bin"
}
launch "$work/text.out" "$work/text.err" --watch "$(bench text)" -path:"$work/fw.qfu" -id:"$id" --log "$work/text.log"
text=$!
launch "$work/json.out" "$work/json.err" --watch "$(bench json)" -path:"$work/fw.qfu" -id:"$id" --log "$work/json.log" --json
json=$!
track -9 $text
track -9 $json

# Every device has its outcome and its log line (an updated device's once it is
# back with its new version); then 3 s more, in which no restarted device may be
# taken again.
for _ in $(seq 400); do
    [ "$(wc -l <"$work/text.log" 2>/dev/null || echo 0)" -ge 6 ] &&
        [ "$(wc -l <"$work/json.log" 2>/dev/null || echo 0)" -ge 6 ] && break
    sleep 0.1
done
sleep 3
interrupt $text text.log
interrupt $json json.log
for pid in $text $json; do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "the watch did not end after Ctrl-C"
done
wait $text; text_code=$?
wait $json; json_code=$?
[ $text_code = 1 ] || fail "text run: exit $text_code, not 1 (one device failed)"
[ $json_code = 1 ] || fail "json run: exit $json_code, not 1 (one device failed)"
unix_lines "$work"/text.out "$work"/text.err "$work"/json.out "$work"/json.err

for run in text json; do
    for n in 0 1 3 5; do
        cmp -s "$work/$run-$n.bin" "$work/image" || fail "$run: device $n did not get the image"
    done
    for n in 2 4; do [ ! -e "$work/$run-$n.bin" ] || fail "$run: device $n got an image"; done
done

path() { echo "sim://hid$1?vid_1209&pid_0001"; }
out=$work/text.out
[ "$(tail -n 1 "$out")" = "updated 4, failed 1, skipped 1" ] || fail "no summary"
for n in 0 1 3 5; do
    [ "$(grep -cF "[$(path $n)] updated in " "$out")" = 1 ] || fail "device $n not updated exactly once"
    [ "$(grep -cF "[$(path $n)] found" "$out")" = 1 ] || fail "device $n taken more than once"
done
grep -qF "[$(path 2)] update failed after " "$out" || fail "device 2 did not fail"
grep -qF "device answered status 2 at block 2" <(grep -F "[$(path 2)] update failed" "$out") || fail "device 2's cause"
grep -qxF "[$(path 4)] already up to date (firmware 1.1.00): skipped" "$out" || fail "device 4 not skipped"
grep -qF "quorix-updater: [$(path 2)] attempt 1 failed: device answered status 2 at block 2" "$work/text.err" ||
    fail "device 2's attempts were not told on stderr"

python3 - "$work" <<'PY' || fail "log or JSON stream"
import json, sys
work = sys.argv[1]
path = lambda n: f"sim://hid{n}?vid_1209&pid_0001"
for run in ("text", "json"):
    entries = {}
    for line in open(f"{work}/{run}.log"):
        entry = json.loads(line)
        assert entry["path"] not in entries, f"two log lines for {entry['path']}"
        entries[entry["path"]] = entry
        assert entry["time"].endswith("Z") and isinstance(entry["seconds"], (int, float)), entry
    assert len(entries) == 6, entries
    for n in (0, 1, 3, 5):
        e = entries[path(n)]
        assert (e["result"], e["before"], e["after"], e["cause"]) == ("updated", "1.0.00", "1.1.00", None), e
    e = entries[path(2)]
    assert e["result"] == "failed" and e["after"] is None and "device answered status 2 at block 2" in e["cause"], e
    e = entries[path(4)]
    assert (e["result"], e["before"], e["after"], e["cause"]) == ("skipped", "1.1.00", "1.1.00", "already up to date"), e

events = [json.loads(line) for line in open(f"{work}/json.out")]
assert events[0]["event"] == "waiting" and events[-1] == {"event": "summary", "updated": 4, "failed": 1, "skipped": 1}, events[-1]
for e in events[1:-1]:
    assert e["event"] in ("device", "progress", "attempt-failed", "retrying", "result", "skipped"), e
    assert e["path"].startswith("sim://hid"), e
results = {e["path"]: e for e in events if e["event"] == "result"}
assert sorted(results) == sorted(path(n) for n in (0, 1, 2, 3, 5)), results
assert all(results[path(n)]["ok"] for n in (0, 1, 3, 5)) and not results[path(2)]["ok"], results
assert [e["path"] for e in events if e["event"] == "skipped"] == [path(4)]
assert len([e for e in events if e["event"] == "device"]) == 6
PY

# Units, not paths, all with the file as it was at the start (it is replaced by one
# for another device right away). 0 leaves and 1 comes to its port: a new unit.
# 2 shows two interfaces: one unit. 3 takes 12 s to restart: with --force it is
# still flashed once. 4 is gone at block 2 longer than the retry window and fails,
# then comes back: tried again, counted once by its last outcome.
packer --vid 1209 --pid 0002 --name "Other Device" --version 1.2.0 --random 25600 --seed 3 \
    --out "$work/other.qfu" >/dev/null || fail "qfu-pack"
cp "$work/fw.qfu" "$work/units.qfu"
s="latency=1,block=256"
units="--simulate=$s,port=P1,leave=6000,save=$work/u-0.bin;$s,port=P1,appear=8000,save=$work/u-1.bin"
units+=";$s,interfaces=2,save=$work/u-2.bin;$s,restart=12000,save=$work/u-3.bin"
units+=";$s,unplug-at=2,replug-after=17000,save=$work/u-4.bin;$s,appear=1500,save=$work/u-5.bin"
launch "$work/units.out" "$work/units.err" --watch "$units" -path:"$work/units.qfu" -id:"$id" \
    --log "$work/units.log" --force --json
unitrun=$!
track -9 $unitrun
# Replaced once the watch has read it (it says so with its waiting event): a fixed
# pause is too short for a cold Wine start.
for _ in $(seq 300); do
    grep -qF '"event":"waiting"' "$work/units.out" 2>/dev/null && break
    sleep 0.1
done
cp "$work/other.qfu" "$work/units.qfu"
for _ in $(seq 600); do
    [ "$(wc -l <"$work/units.log" 2>/dev/null || echo 0)" -ge 7 ] && break
    sleep 0.1
done
sleep 2
interrupt $unitrun units.log
for _ in $(seq 100); do kill -0 $unitrun 2>/dev/null || break; sleep 0.1; done
wait $unitrun; code=$?
unix_lines "$work"/units.out "$work"/units.err
[ $code = 0 ] || fail "units: exit $code, not 0 (every unit's last outcome is an update)"
for n in 0 1 2 3 4 5; do
    cmp -s "$work/u-$n.bin" "$work/image" || fail "units: unit $n did not get the image of the start"
done
python3 - "$work" <<'PY' || fail "units: summary, log or events"
import json, sys
work = sys.argv[1]
path = lambda n: f"sim://hid{n}?vid_1209&pid_0001"
events = [json.loads(line) for line in open(f"{work}/units.out")]
assert events[-1] == {"event": "summary", "updated": 6, "failed": 0, "skipped": 0}, events[-1]
results = [(e["path"], e["ok"]) for e in events if e["event"] == "result"]
# unit 2's second interface is hid3; unit 4 is hid5, failed once and then updated
want = sorted([(path(n), True) for n in (0, 1, 2, 4, 5, 6)] + [(path(5), False)])
assert sorted(results) == want, results
located = {e["path"]: e["location"] for e in events if e["event"] == "result"}
assert located[path(0)] == located[path(1)] == "P1", located
log = [json.loads(line) for line in open(f"{work}/units.log")]
assert sorted((e["path"], e["result"]) for e in log) == sorted(
    [(p, "updated" if ok else "failed") for p, ok in want]), log
assert all(e["after"] == "1.1.00" for e in log if e["path"] == path(4)), log
PY

# Ctrl-C during an update: it runs to its end, and a unit plugged after the Ctrl-C
# is not started; nothing failed, so exit 0.
launch "$work/slow.out" "$work/slow.err" --watch \
    --simulate="latency=8,block=256,save=$work/slow.bin;latency=0,appear=4500,save=$work/late.bin" \
    -path:"$work/fw.qfu" -id:"$id"
slow=$!
track -9 $slow
for _ in $(seq 300); do grep -qE '\] [1-9]0%' "$work/slow.out" && break; sleep 0.05; done
interrupt $slow slow.bin
for _ in $(seq 200); do kill -0 $slow 2>/dev/null || break; sleep 0.1; done
wait $slow; code=$?
unix_lines "$work"/slow.out "$work"/slow.err
[ $code = 0 ] || fail "Ctrl-C during an update: exit $code, not 0"
cmp -s "$work/slow.bin" "$work/image" || fail "the interrupted watch did not finish its update"
[ ! -e "$work/late.bin" ] || fail "a unit plugged after Ctrl-C was updated"
[ "$(tail -n 1 "$work/slow.out")" = "updated 1, failed 0, skipped 0" ] || fail "no summary after Ctrl-C"
grep -qF "ending after the running updates" "$work/slow.err" || fail "Ctrl-C was not acknowledged"
echo "watch end-to-end: passed"
