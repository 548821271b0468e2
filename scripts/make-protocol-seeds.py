#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_protocol (tests/fuzz/corpus/protocol): replies of the camera
process as the window gets them.

Each seed is one byte saying what rides along (0 nothing, 1 shared memory, 2 an ordinary file,
3 a pipe; 4 << i: seal i of shrink, grow, write, seal), the descriptor's size as four bytes
little-endian, then the message's CBOR map. Run from anywhere:
    scripts/make-protocol-seeds.py
"""
import os
import struct

SHRINK, GROW = 4, 8


def cbor(value):
    def head(major, n):
        if n < 24:
            return bytes([major << 5 | n])
        for extra, fmt in ((24, ">B"), (25, ">H"), (26, ">I"), (27, ">Q")):
            if n < 1 << (8 * struct.calcsize(fmt)):
                return bytes([major << 5 | extra]) + struct.pack(fmt, n)
        raise ValueError(n)

    if isinstance(value, bool):
        return bytes([0xF5 if value else 0xF4])
    if isinstance(value, int):
        return head(0, value) if value >= 0 else head(1, -1 - value)
    if isinstance(value, str):
        data = value.encode()
        return head(3, len(data)) + data
    if isinstance(value, list):
        return head(4, len(value)) + b"".join(cbor(item) for item in value)
    if isinstance(value, dict):
        return head(5, len(value)) + b"".join(cbor(k) + cbor(v) for k, v in value.items())
    raise TypeError(value)


def fmt(pixels, width, height, n, d):
    return {"pixels": pixels, "width": width, "height": height, "fpsN": n, "fpsD": d}


control = {"id": 9963776, "kind": 0, "name": "Brightness", "key": "brightness",
           "class": 9961472, "min": 0, "max": 255, "step": 1, "default": 128, "value": 128,
           "text": "", "inactive": False, "readOnly": False, "menu": []}
menu = dict(control, id=9963800, kind=2, name="Power Line Frequency",
            key="power_line_frequency", min=0, max=2, menu=[[0, "Disabled"], [1, "50 Hz"]])

seeds = {
    "formats": (0, 0, {"do": "formats", "formats": [fmt("YUY2", 640, 480, 30, 1),
                                                    fmt("MJPG", 1280, 720, 30000, 1001)],
                       "chosen": 0}),
    "found": (0, 0, {"do": "found", "label": "HD Webcam (/dev/video0)", "draws": True,
                     "camera": {"name": "HD Webcam", "path": "/dev/video0",
                                "bus": "usb-0000:00:14.0-1"}}),
    "controls": (0, 0, {"do": "controls", "controls": [control, menu]}),
    "control-set": (0, 0, {"do": "control-set", "id": 9963776, "error": "",
                           "controls": [control]}),
    "held": (0, 0, {"do": "held", "restore": {"white_balance_automatic": 1},
                    "held": {"white_balance_automatic": 0, "white_balance_temperature": 4600}}),
    "status": (0, 0, {"do": "status", "frames": 12, "arrived": 123456789}),
    "failed": (0, 0, {"do": "failed", "error": "The camera was unplugged", "frozen": -5}),
    "frame-memfd": (1 | SHRINK | GROW, 2 * 4 * 64 * 48,
                    {"do": "frame", "slot": 1, "memory": 1, "bytes": 2 * 4 * 64 * 48,
                     "width": 64, "height": 48}),
    "grabbed-memfd": (1 | SHRINK, 4 * 64 * 48,
                      {"do": "grabbed", "id": 1, "block": 1, "bytes": 4 * 64 * 48, "width": 64,
                       "height": 48, "captured": 1700000000000}),
    "grabbed-file": (2, 4 * 64 * 48,
                     {"do": "grabbed", "id": 2, "bytes": 4 * 64 * 48, "width": 64,
                      "height": 48}),
    "grabbed-pipe": (3, 0, {"do": "grabbed", "id": 3, "bytes": 4 * 8 * 8, "width": 8,
                            "height": 8}),
}

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
out = os.path.join(root, "tests", "fuzz", "corpus", "protocol")
os.makedirs(out, exist_ok=True)
for name, (what, size, message) in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(bytes([what]) + struct.pack("<I", size) + cbor(message))
