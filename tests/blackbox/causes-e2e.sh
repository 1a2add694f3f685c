#!/usr/bin/env bash
# One fault of the simulated device (or of the file, or no device at all), run the
# way a script runs the program: once in text, where the page's lines stay on
# stdout and stderr says why, and once with --json, whose stdout is checked event
# by event by a JSON parser. Both runs go side by side.
#
#   causes-e2e.sh BUILD_DIR FAULT [wine]
set -u
build=$1
fault=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
e2e_begin "causes-$fault" "blackbox-causes-$fault" "${3:-native}"
fail_shows=("*.out" "*.err")
# Runs the updater with ARGS, stdout to $1, stderr to $2; returns its exit code.
run() {
    local out=$1 err=$2
    shift 2
    updater "$@" >"$out" 2>"$err"
}

good=$work/fw.qfu
packer --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 25600 --seed 3 \
    --out "$good" >/dev/null || fail "qfu-pack"
file=$good
settings=block=256
attempt=""   # the first attempt's cause; empty: no attempt may fail
retry=no
case $fault in
unplug)   settings=block=256,unplug-at=3; code_want=1; page="-- Update Error! --"
          cause="^device gone at block 3; not back within 15 s$"; attempt="^device gone at block 3$" ;;
nak)      settings=block=256,nak-at=3,once; code_want=0; page="Update successful."
          cause="^device answered status 2 at block 3$"; attempt=$cause; retry=yes ;;
checksum) settings=block=256,bad-checksum-at=3,once; code_want=0; page="Update successful."
          cause="^bad reply checksum at block 3$"; attempt=$cause; retry=yes ;;
silence)  settings=block=256,silent-at=3,once; code_want=0; page="Update successful."
          cause="^no reply within 2 s at block 3$"; attempt=$cause; retry=yes ;;
block0)   settings=block=0; code_want=1; page="-- Update Error! --"
          cause="^block size 0$"; attempt=$cause ;;
busy)     settings=busy; code_want=1; page="Device not found"
          cause="^device busy \(opened elsewhere\): sim://hid0" ;;
odd)      settings=block=256; code_want=1; page="-- Update Error! --"
          cause="^image not a whole number of the device's blocks \(1000 bytes, blocks of 256\)$"
          attempt=$cause; retry=yes
          file=$work/odd.qfu
          packer --vid 1209 --pid 0001 --name "Odd" --version 1.1.0 --random 1000 --out "$file" \
              >/dev/null || fail "qfu-pack" ;;
corrupt)  code_want=1; page="Update file not found, or corrupt"
          cause="^update file refused \(checksum\): the checksum does not match"
          file=$work/corrupt.qfu
          python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[100] ^= 1; open(sys.argv[2], "wb").write(b)' \
              "$good" "$file" || fail "python3" ;;
missing)  code_want=1; page="Update file not found, or corrupt"
          file=$work/nothing-here.qfu; cause="^update file not found: .*nothing-here\.qfu$" ;;
nodevice) settings=pid=0002; code_want=1; page="Device not found"
          cause="^no matching device within 10 s$" ;;
*) fail "unknown fault" ;;
esac

run "$work/text.out" "$work/text.err" --simulate="$settings,save=$work/text.bin" -path:"$file" -id:"$id" &
text=$!
run "$work/json.out" "$work/json.err" --simulate="$settings,save=$work/json.bin" -path:"$file" -id:"$id" --json &
json=$!
wait $text; text_code=$?
wait $json; json_code=$?

out=$(tr -d '\r' <"$work/text.out")
err=$(tr -d '\r' <"$work/text.err")
[ "$text_code" = "$code_want" ] || fail "text run: exit $text_code, not $code_want"
[ "$json_code" = "$code_want" ] || fail "json run: exit $json_code, not $code_want"
grep -qxF -- "$page" <<<"$out" || fail "the page line \"$page\" is not on stdout"
if grep -v '^quorix-updater: ' <<<"$err" | grep -q .; then
    fail "stderr has lines that are not the program's"
fi

final=$(grep -E '^quorix-updater: (updated in|update failed)' <<<"$err" | tail -n 1)
[ -n "$final" ] || fail "no final line"
[ "$(tail -n 1 <<<"$err")" = "$final" ] || fail "the final line is not the last one"
final_cause=$(sed -E 's/^quorix-updater: update failed( after [0-9.]+ s \([0-9]+ attempts?\))?: //; s/^quorix-updater: updated in [0-9.]+ s \([0-9]+ attempts?(; last failure: )?(.*)\)$/\2/' <<<"$final")
[ "$code_want" = 0 ] && { grep -q '^quorix-updater: updated in ' <<<"$final" || fail "final line not a success"; }
[ "$code_want" = 1 ] && { grep -q '^quorix-updater: update failed' <<<"$final" || fail "final line not a failure"; }
grep -qE -- "$cause" <<<"$final_cause" || fail "final cause \"$final_cause\" does not match $cause"
if [ -n "$attempt" ]; then
    first=$(grep '^quorix-updater: attempt 1 failed: ' <<<"$err" | head -n 1 | sed 's/^quorix-updater: attempt 1 failed: //')
    grep -qE -- "$attempt" <<<"$first" || fail "attempt 1 cause \"$first\" does not match $attempt"
else
    grep -q '^quorix-updater: attempt' <<<"$err" && fail "an attempt failed where none should"
fi
if [ $retry = yes ]; then
    grep -qE '^quorix-updater: retrying \(attempt 2, [0-9]+\.[0-9] s left of 15\)$' <<<"$err" ||
        fail "no retry line"
fi

flags=()
[ "$code_want" = 0 ] && flags+=(--ok --progress --device "^sim://hid0") || flags+=(--failed)
[ -n "$attempt" ] && flags+=(--attempt-cause "$attempt")
[ $retry = yes ] && flags+=(--retry)
python3 "$here/check-events.py" "$work/json.out" --cause "$cause" "${flags[@]}" || fail "json stream"
# With --json the page's lines move to stderr, unchanged.
tr -d '\r' <"$work/json.err" | grep -qxF -- "$page" || fail "the page line is not on stderr with --json"

if [ "$code_want" = 0 ]; then
    tail -c +57 "$good" >"$work/image"
    cmp -s "$work/text.bin" "$work/image" || fail "the device did not get the image"
else
    [ ! -e "$work/text.bin" ] || fail "a failed run left a complete image"
fi
echo "causes end-to-end ($fault): passed"
