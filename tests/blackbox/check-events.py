#!/usr/bin/env python3
"""Checks the --json stream of one command-line run: every line of stdout is one
JSON object with a known event, the run starts with "waiting" and ends with one
"result", and the events carry what they promise.

  check-events.py STDOUT [--ok | --failed] [--cause REGEX] [--attempt-cause REGEX]
                  [--device PATH_REGEX] [--retry] [--progress]
                  [--signature STATUS [--key-id ID] [--comment TEXT]]
"""
import argparse
import json
import re
import sys

KNOWN = {"waiting", "device", "progress", "attempt-failed", "retrying", "result"}


def fail(message, lines):
    print("check-events: " + message)
    print("".join(lines))
    sys.exit(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("stdout")
    parser.add_argument("--ok", action="store_true")
    parser.add_argument("--failed", action="store_true")
    parser.add_argument("--cause")
    parser.add_argument("--attempt-cause")
    parser.add_argument("--device")
    parser.add_argument("--retry", action="store_true")
    parser.add_argument("--progress", action="store_true")
    parser.add_argument("--signature", choices=["none", "trusted", "unknown", "refused"])
    parser.add_argument("--key-id")
    parser.add_argument("--comment")
    args = parser.parse_args()

    with open(args.stdout, encoding="utf-8", newline="") as stream:
        lines = stream.readlines()
    events = []
    for number, line in enumerate(lines, 1):
        text = line.rstrip("\r\n")
        try:
            event = json.loads(text)
        except ValueError as error:
            fail(f"line {number} is not JSON ({error}): {text!r}", lines)
        if not isinstance(event, dict) or event.get("event") not in KNOWN:
            fail(f"line {number} is no known event: {text!r}", lines)
        events.append(event)
    if not events:
        fail("no events", lines)
    kinds = [event["event"] for event in events]
    if kinds[0] != "waiting" or not isinstance(events[0].get("identity"), str):
        fail("the stream does not start with waiting", lines)
    if kinds.count("result") != 1 or kinds[-1] != "result":
        fail("the stream does not end with exactly one result", lines)

    result = events[-1]
    if not isinstance(result.get("ok"), bool) or not isinstance(result.get("attempts"), int):
        fail("result without ok and attempts", lines)
    if not isinstance(result.get("seconds"), (int, float)) or result["seconds"] < 0:
        fail("result without seconds", lines)
    if args.ok and not result["ok"]:
        fail("the result is not ok", lines)
    if args.failed and result["ok"]:
        fail("the result is ok", lines)
    if args.cause and not re.search(args.cause, result.get("cause") or ""):
        fail(f"result cause {result.get('cause')!r} does not match {args.cause!r}", lines)

    attempts = [event for event in events if event["event"] == "attempt-failed"]
    for index, event in enumerate(attempts, 1):
        if event.get("attempt") != index or not isinstance(event.get("cause"), str):
            fail(f"attempt-failed {index} malformed: {event}", lines)
        if not (event.get("block") is None or isinstance(event["block"], int)):
            fail(f"attempt-failed block malformed: {event}", lines)
    if args.attempt_cause:
        if not attempts or not re.search(args.attempt_cause, attempts[0]["cause"]):
            fail(f"no first attempt failing with {args.attempt_cause!r}", lines)
        if result["attempts"] < len(attempts):
            fail("the result counts fewer attempts than failed", lines)
    elif attempts:
        fail("attempts failed where none should", lines)
    retries = [event for event in events if event["event"] == "retrying"]
    for event in retries:
        left = event.get("seconds_left")
        if not isinstance(left, (int, float)) or not 0 <= left <= 15:
            fail(f"retrying malformed: {event}", lines)
    if args.retry and not retries:
        fail("no retry", lines)

    devices = [event for event in events if event["event"] == "device"]
    if args.device:
        if len(devices) != 1 or not re.search(args.device, devices[0].get("path", "")):
            fail(f"not one device event for {args.device!r}", lines)
        device = devices[0]
        if not re.fullmatch("[0-9a-f]{4}", device.get("vendor_id", "")) or not isinstance(
                device.get("block_size"), int):
            fail(f"device event malformed: {device}", lines)

    progress = [event for event in events if event["event"] == "progress"]
    for event in progress:
        if not 0 <= event.get("percent", -1) <= 100 or not 0 <= event.get("block", -1) <= event.get("blocks", -1):
            fail(f"progress malformed: {event}", lines)
    if args.progress and (not progress or progress[-1]["percent"] != 100):
        fail("progress does not reach 100", lines)

    # The file's signature, the same in every device and result event.
    signed = [event for event in events if event["event"] in ("device", "result")]
    for event in signed:
        signature = event.get("signature")
        if args.signature is None:
            if signature is not None and signature != {"status": "none"}:
                fail(f"a signature where none was asked for: {event}", lines)
            continue
        if not isinstance(signature, dict) or signature.get("status") != args.signature:
            fail(f"signature is not {args.signature}: {event}", lines)
        if args.key_id and signature.get("key_id") != args.key_id:
            fail(f"key id is not {args.key_id}: {event}", lines)
        if args.comment is not None and signature.get("trusted_comment") != args.comment:
            fail(f"trusted comment is not {args.comment!r}: {event}", lines)
        if (signature["status"] in ("unknown", "refused")) != ("cause" in signature):
            fail(f"a cause comes with a signature unknown or refused, and only then: {event}", lines)


if __name__ == "__main__":
    main()
