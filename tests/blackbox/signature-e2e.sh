#!/usr/bin/env bash
# Signed update files, signed by the real minisign tool: a file signed by a trusted
# key is written byte for byte; a changed image, header, signature or trusted
# comment, another key's signature, a malformed signature and none at all are
# refused with their causes before any device is written; with no trusted key a
# signature is only told. Keys come from --trusted-key and from an installed key
# folder; factory mode checks the file once, at its start.
#
#   signature-e2e.sh BUILD_DIR [wine]
set -u
build=$1
source "$(dirname "$0")/lib.sh"
e2e_begin signature blackbox-signature "${2:-native}"
fail_shows=("*.out" "*.err")
unix_lines() { for f in "$@"; do tr -d '\r' <"$f" >"$f.tmp" && mv "$f.tmp" "$f"; done; }
events() { python3 "$source/tests/blackbox/check-events.py" "$@"; }

minisign -G -W -p "$work/maker.pub" -s "$work/maker.key" >/dev/null || fail "minisign -G"
minisign -G -W -p "$work/other.pub" -s "$work/other.key" >/dev/null || fail "minisign -G"
key_id=$(sed -n 's/^untrusted comment: minisign public key //p' "$work/maker.pub")
sign() { # FILE [MINISIGN OPTIONS...]: signed by the maker's key
    local file=$1
    shift
    minisign -S -s "$work/maker.key" -m "$file" "$@" >/dev/null || fail "minisign -S $file"
}
pack() { # OUT VERSION IMAGE
    packer --vid 1209 --pid 0001 --name "Quorix Demo Device" --version "$2" --image "$3" \
        --out "$1" >/dev/null || fail "qfu-pack $1"
}

packer --vid 1209 --pid 0001 --name "Quorix Demo Device" --version 1.1.0 --random 4096 --seed 5 \
    --out "$work/fw.qfu" >/dev/null || fail "qfu-pack"
tail -c +57 "$work/fw.qfu" >"$work/image"
sign "$work/fw.qfu" -t "line 3 release"

# The same signature beside files that differ from the signed one in a single byte,
# each a well-formed update file (its checksum mended by packing it again).
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[100] ^= 1; open(sys.argv[2], "wb").write(b)' \
    "$work/image" "$work/image-flipped"
pack "$work/image.qfu" 1.1.0 "$work/image-flipped"
pack "$work/header.qfu" 1.1.1 "$work/image"
for f in image header; do cp "$work/fw.qfu.minisig" "$work/$f.qfu.minisig"; done
# Signatures changed: a character of the signature, of the trusted comment; another
# key's; a legacy one; one cut short.
for f in sig comment other legacy malformed unsigned; do cp "$work/fw.qfu" "$work/$f.qfu"; done
python3 - "$work/fw.qfu.minisig" "$work/sig.qfu.minisig" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("\n")
lines[1] = lines[1][:30] + ("B" if lines[1][30] == "A" else "A") + lines[1][31:]
open(sys.argv[2], "w").write("\n".join(lines))
PY
sed 's/^trusted comment: line 3/trusted comment: line 4/' "$work/fw.qfu.minisig" >"$work/comment.qfu.minisig"
minisign -S -s "$work/other.key" -m "$work/other.qfu" >/dev/null || fail "minisign -S other"
sign "$work/legacy.qfu" -l -t "legacy"
head -n 2 "$work/fw.qfu.minisig" >"$work/malformed.qfu.minisig"
cmp -s "$work/sig.qfu.minisig" "$work/fw.qfu.minisig" && fail "the signature was not changed"

# Runs FILE with --json against a device saving to $work/NAME.bin; then the stream is
# checked with the rest of the arguments.
n=0
run() { # NAME FILE EXPECT_CODE UPDATER_OPTIONS... -- CHECK_OPTIONS...
    local name=$1 file=$2 want=$3 options=() code
    shift 3
    while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    updater --simulate="block=256,save=$work/$name.bin" -path:"$file" -id:"$id" --json "${options[@]}" \
        >"$work/$name.out" 2>"$work/$name.err"
    code=$?
    unix_lines "$work/$name.out" "$work/$name.err"
    [ $code = "$want" ] || fail "$name: exit $code, not $want"
    events "$work/$name.out" "$@" >"$work/$name.check" || { cat "$work/$name.check"; fail "$name: events"; }
    if [ "$want" = 0 ]; then
        cmp -s "$work/$name.bin" "$work/image" || fail "$name: the device did not get the image"
    else
        [ ! -e "$work/$name.bin" ] || fail "$name: a refused file reached the device"
    fi
    n=$((n + 1))
}
trust=(--trusted-key "$work/maker.pub")
refused=(--failed --signature refused --cause)
cause() { echo "^update file refused \\(signature\\): $1"; }

run trusted "$work/fw.qfu" 0 "${trust[@]}" -- --ok --signature trusted --key-id "$key_id" --comment "line 3 release"
run legacy "$work/legacy.qfu" 0 "${trust[@]}" -- --ok --signature trusted --comment "legacy"
run elsewhere "$work/unsigned.qfu" 0 "${trust[@]}" --signature "$work/fw.qfu.minisig" -- --ok --signature trusted
run image "$work/image.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "bad signature$")"
run header "$work/header.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "bad signature$")"
run sig "$work/sig.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "bad signature$")"
run comment "$work/comment.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "bad global signature")"
run other "$work/other.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "unknown key id")"
run malformed "$work/malformed.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "malformed signature file")"
run unsigned "$work/unsigned.qfu" 1 "${trust[@]}" -- "${refused[@]}" "$(cause "no signature")"
run required "$work/fw.qfu" 1 --require-signature -- "${refused[@]}" "$(cause "unknown key id")"
grep -qxF "Not loaded: its signature does not match the file." "$work/image.err" ||
    fail "the page's line for a changed file"
grep -qxF "Not loaded: the file is not signed by a trusted key." "$work/other.err" ||
    fail "the page's line for another key's file"
# No trusted key: the signature is told, the file loads as ever.
run untrusted "$work/fw.qfu" 0 -- --ok --signature unknown --key-id "$key_id"
grep -qF "signed by an unknown key $key_id" "$work/untrusted.err" || fail "no word of the unknown key"
run plain "$work/unsigned.qfu" 0 -- --ok --signature none

# Installed keys: a folder of them is the policy; a damaged key file there is told
# and still asks for signatures.
mkdir -p "$work/keys"
cp "$work/maker.pub" "$work/keys/maker.pub"
export QUORIX_TRUSTED_KEY_DIRS=$work/keys
run installed "$work/fw.qfu" 0 -- --ok --signature trusted
run installed_unsigned "$work/unsigned.qfu" 1 -- "${refused[@]}" "$(cause "no signature")"
rm "$work/keys/maker.pub"
echo "untrusted comment: damaged" >"$work/keys/damaged.pub"
run damaged "$work/fw.qfu" 1 -- "${refused[@]}" "$(cause "unknown key id")"
grep -qF "damaged.pub" "$work/damaged.err" || fail "the damaged key file is not told"
export QUORIX_TRUSTED_KEY_DIRS=

# Factory mode: an untrusted file stops the watch before it starts; a trusted one is
# written to the unit plugged.
updater --watch --simulate="block=256,save=$work/watch-refused.bin" -path:"$work/other.qfu" -id:"$id" \
    "${trust[@]}" >"$work/watch-refused.out" 2>"$work/watch-refused.err"
code=$?
[ $code = 1 ] || fail "watch with an untrusted file: exit $code, not 1"
cat "$work/watch-refused.out" "$work/watch-refused.err" | grep -qF "update file refused (signature): unknown key id" ||
    fail "watch: no cause for the untrusted file"
updater_command --watch --simulate="block=256,save=$work/watch.bin" -path:"$work/fw.qfu" -id:"$id" \
    "${trust[@]}" --log "$work/watch.log"
"${e2e_command[@]}" >"$work/watch.out" 2>"$work/watch.err" &
app=$!
for _ in $(seq 200); do [ -s "$work/watch.log" ] && break; sleep 0.1; done
if [ "$mode" = wine ]; then pkill -INT -f "^quorix-updater.exe.*watch.log"; else kill -INT $app; fi
await_app 20
[ "$code" = 0 ] || fail "watch: exit $code, not 0"
cmp -s "$work/watch.bin" "$work/image" || fail "watch: the unit did not get the image"
grep -qF "signed by trusted key $key_id" "$work/watch.err" || fail "watch: the signature is not told"
echo "signature-e2e ($mode): $n runs and two watches as expected"
