#!/usr/bin/env bash
# Seeing and choosing devices: --list with two simulated devices of different IDs
# (asked for their versions through -id:, in text and JSON), --device choosing
# the second of two identical devices, and --udev-rule.
#
#   devices-e2e.sh BUILD_DIR [wine]
set -u
build=$1
source "$(dirname "$0")/lib.sh"
e2e_begin devices blackbox-devices "${2:-native}"
fail_shows=("*.out" "*.err")
run() { # NAME ARGS...: stdout and stderr to $work/NAME.out/.err (CR dropped); returns the exit code
    local name=$1 code
    shift
    updater "$@" >"$work/$name.raw" 2>"$work/$name.rawerr"
    code=$?
    tr -d '\r' <"$work/$name.raw" >"$work/$name.out"
    tr -d '\r' <"$work/$name.rawerr" >"$work/$name.err"
    return $code
}

two="--simulate=pid=0001,hw=1.0.01,fw=1.0.05,serial=SN-1;pid=0002,hw=2.0.02,fw=none,block=64"
run list "$two" --list || fail "--list: exit $?"
printf 'sim://hid0?vid_1209&pid_0001  vid_1209&pid_0001  serial SN-1  port sim-0\nsim://hid1?vid_1209&pid_0002  vid_1209&pid_0002  port sim-1\n' >"$work/want"
cmp -s "$work/want" "$work/list.out" || fail "--list printed something else"

run asked "$two" --list -id:"vid_1209&pid_0002" || fail "--list -id:: exit $?"
grep -qxF 'sim://hid0?vid_1209&pid_0001  vid_1209&pid_0001  serial SN-1  port sim-0' "$work/asked.out" ||
    fail "the other device"
grep -qxF 'sim://hid1?vid_1209&pid_0002  vid_1209&pid_0002  port sim-1  hardware 2.0.02  firmware none  block size 64' \
    "$work/asked.out" || fail "the asked device"

run json "$two" --list -id:"vid_1209&pid_0001" --json || fail "--list --json: exit $?"
python3 - "$work/json.out" <<'PY' || fail "--list --json stream"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
assert [e["event"] for e in events] == ["interface", "interface"], events
first, second = events
assert first == {"event": "interface", "path": "sim://hid0?vid_1209&pid_0001", "vendor_id": "1209",
                 "product_id": "0001", "serial": "SN-1", "location": "sim-0", "hardware": "1.0.01",
                 "firmware": "1.0.05", "block_size": 256}, first
assert second == {"event": "interface", "path": "sim://hid1?vid_1209&pid_0002", "vendor_id": "1209",
                  "product_id": "0002", "serial": None, "location": "sim-1"}, second
PY
run none "$two" --list -id:"vid_1209&pid_0003" && fail "--list for an absent ID exits 0"
grep -qF "no interface matches vid_1209&pid_0003" "$work/none.err" || fail "no word on the absent ID"

# Two identical devices: --device takes the second; its save file gets the image.
packer --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 4096 --seed 5 \
    --out "$work/fw.qfu" >/dev/null || fail "qfu-pack"
tail -c +57 "$work/fw.qfu" >"$work/image"
same="--simulate=save=$work/first.bin;save=$work/second.bin"
run chosen "$same" -path:"$work/fw.qfu" -id:"vid_1209&pid_0001" --device "sim://hid1?vid_1209&pid_0001" ||
    fail "--device: exit $?"
cmp -s "$work/second.bin" "$work/image" || fail "the chosen device did not get the image"
[ ! -e "$work/first.bin" ] || fail "the other device got an image"
grep -q "devices match" "$work/chosen.err" && fail "--device still warned of several devices"

rm -f "$work"/*.bin
run first "$same" -path:"$work/fw.qfu" -id:"vid_1209&pid_0001" || fail "two devices: exit $?"
grep -qxF "quorix-updater: 2 devices match: sim://hid0?vid_1209&pid_0001, sim://hid1?vid_1209&pid_0001; using sim://hid0?vid_1209&pid_0001 (choose one with --device PATH)" \
    "$work/first.err" || fail "two matching devices were not named"
cmp -s "$work/first.bin" "$work/image" || fail "without --device the first did not get the image"
[ ! -e "$work/second.bin" ] || fail "without --device the second got an image"

# Twins: the unit the run started on is unplugged at block 2. Never back: the run
# fails and neither unit is written (told apart by serial, or by port alone). Back
# within the retry window: only it gets the image.
for units in "serial=A;serial=B" "port=1-1;port=1-2"; do
    a=${units%;*} b=${units#*;}
    rm -f "$work"/*.bin
    run gone "--simulate=unplug-at=2,$a,save=$work/a.bin;$b,save=$work/b.bin" -path:"$work/fw.qfu" \
        -id:"vid_1209&pid_0001" --json && fail "$units: a unit gone for good was reported updated"
    grep -qF '"cause":"device gone at block 2' "$work/gone.out" || fail "$units: not gone at block 2"
    [ ! -e "$work/a.bin" ] && [ ! -e "$work/b.bin" ] || fail "$units: a unit was written"
    python3 - "$work/gone.out" "${a#*=}" <<'PY' || fail "$units: the result does not name the unit"
import json, sys
result = [json.loads(line) for line in open(sys.argv[1])][-1]
assert result["event"] == "result" and not result["ok"], result
assert result["path"] == "sim://hid0?vid_1209&pid_0001", result
assert sys.argv[2] in (result["serial"], result["location"]), result
PY
    run back "--simulate=unplug-at=2,replug-after=500,$a,save=$work/a.bin;$b,save=$work/b.bin" \
        -path:"$work/fw.qfu" -id:"vid_1209&pid_0001" || fail "$units: replugged: exit $?"
    cmp -s "$work/a.bin" "$work/image" || fail "$units: the replugged unit did not get the image"
    [ ! -e "$work/b.bin" ] || fail "$units: the twin was written"
done

run rule --udev-rule "vid_1209&pid_abcd" || fail "--udev-rule: exit $?"
printf 'SUBSYSTEM=="hidraw", ATTRS{idVendor}=="1209", ATTRS{idProduct}=="abcd", TAG+="uaccess"\n' >"$work/want"
cmp -s "$work/want" "$work/rule.out" || fail "--udev-rule printed something else"
run badrule --udev-rule "1209:abcd" && fail "--udev-rule with a bad identity exits 0"
echo "devices end-to-end: passed"
