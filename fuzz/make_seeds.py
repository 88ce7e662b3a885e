#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpus: realistic groups, fragments, noise and an unwritable traffic.txt,
in the fuzz target's chunk encoding (control byte: bits 0-5 length, 6 block/free traffic.txt,
7 pause after the chunk)."""
import os
import random
import struct
import sys

PAUSE, TOGGLE = 0x80, 0x40


def packet(a, b, c, d, lead=0):
    return bytes([lead]) + struct.pack(">HHHH", a, b, c, d)


def group0(pi, tp, ta, segment, pair, pty=10, ms=1, di=0):
    b = (tp << 10) | (pty << 5) | (ta << 4) | (ms << 3) | (di << 2) | segment
    return packet(pi, b, 0xE0CD, (pair[0] << 8) | pair[1])


def group2a(pi, text_b, segment, four):
    b = 0x2000 | (text_b << 4) | segment
    return packet(pi, b, (four[0] << 8) | four[1], (four[2] << 8) | four[3])


def chunk(data, pause=False, toggle=False):
    assert len(data) < 64
    return bytes([len(data) | (PAUSE if pause else 0) | (TOGGLE if toggle else 0)]) + data


def stream(packets, pause_each=True):
    return b"".join(chunk(p, pause=pause_each) for p in packets)


def station(ps, text_a, text_b, pi=0xD3C2, tp=1, ta=0):
    groups = []
    for i in range(80):
        n = i // 2
        if i % 2 == 0:
            s = n % 4
            groups.append(group0(pi, tp, ta, s, ps[2 * s:2 * s + 2]))
        else:
            text, flag = (text_b, 1) if i >= 40 else (text_a, 0)
            s = n % 16
            groups.append(group2a(pi, flag, s, text[4 * s:4 * s + 4]))
    return groups


def main(directory):
    rng = random.Random(8)
    os.makedirs(directory, exist_ok=True)
    text_a = b"Tonight from eight: the rock hour with listeners' requests.     "
    text_b = b"Traffic: the ring road is clear again. Drive safely!\r           "
    seeds = {}
    seeds["station"] = stream(station(b"Ve\xdb Rock", text_a, text_b))
    seeds["station-back-to-back"] = b"".join(
        chunk(b"".join(group), pause=True)
        for group in zip(*[iter(station(b"RADIO 1 ", text_b, text_a))] * 7))
    markup = b"<img src=\"logo.png\"> &lt;b&gt; <b>bold</b> <i>x</i>".ljust(64)
    seeds["markup-texts"] = stream(station(b"<b>X</b>", markup, b"&amp;" * 12 + b"    "))
    announcement = [group0(0x1234, tp, ta, s, b"TA") for tp, ta in
                    [(0, 0), (1, 0), (1, 1), (1, 1), (0, 1), (1, 1), (0, 0)] for s in range(2)]
    seeds["traffic-announcement"] = stream(announcement)
    blocked = [chunk(announcement[0], pause=True), chunk(announcement[4], pause=True, toggle=True),
               chunk(announcement[5], pause=True), chunk(announcement[6], pause=True, toggle=True),
               chunk(announcement[7], pause=True)]
    seeds["traffic-file-unwritable"] = b"".join(blocked)
    split = announcement[4] + group2a(0x1234, 0, 3, b"abcd")
    seeds["packet-split-across-chunks"] = (chunk(split[:4]) + chunk(split[4:13]) +
                                           chunk(split[13:], pause=True))
    seeds["fragment-then-aligned"] = (chunk(announcement[4][:5], pause=True) +
                                      stream(announcement[4:8]))
    seeds["trailing-fragment"] = stream(announcement[:3]) + chunk(b"\x00\x12")
    noise = bytes(rng.randrange(256) for _ in range(60))
    seeds["noise-burst"] = (stream(announcement[:2]) + chunk(noise[:31], pause=True) +
                            chunk(noise[31:], pause=True) + stream(announcement[2:6]))
    other_groups = [packet(0xD3C2, (group << 12) | (version << 11) | rng.randrange(2048),
                           rng.randrange(65536), rng.randrange(65536), lead=rng.randrange(256))
                    for group in range(16) for version in range(2)]
    seeds["every-group-type"] = stream(other_groups)
    seeds["radiotext-flag-flips"] = stream(
        [group2a(0x5555, flag, s % 16, bytes([0x80 + s % 16] * 4)) for flag in (0, 1, 0)
         for s in range(40)])
    counted = [group2a(0x5555, 1, s % 16, b"1000") for s in range(1005)]
    seeds["radiotext-count-limit"] = b"".join(
        chunk(b"".join(counted[i:i + 7]), pause=True) for i in range(0, len(counted), 7))
    for name, data in seeds.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus"))
