#!/usr/bin/python3
"""An independent reckoning of a track's checksums, for the tests.

usage: checksum_oracle.py PCM_FILE
PCM_FILE holds 16-bit little-endian stereo samples. Prints one line per
place on the disc: "first last v1 v2", then "crc crc_skip_zero frame450 peak",
all in hex but the peak.
"""
import array
import sys
import zlib

pcm = open(sys.argv[1], "rb").read()
words = array.array("I", pcm)
halves = array.array("h", pcm)
if sys.byteorder != "little":
    words.byteswap()
    halves.byteswap()
n = len(words)


def sums(first, last):
    lo = 2940 if first else 1
    hi = n - 2940 if last else n
    low = high = 0
    for m in range(lo, hi + 1):
        p = words[m - 1] * m
        low += p & 0xFFFFFFFF
        high += p >> 32
    return low & 0xFFFFFFFF, (low + high) & 0xFFFFFFFF


for first in (0, 1):
    for last in (0, 1):
        v1, v2 = sums(first, last)
        print(first, last, "%08x" % v1, "%08x" % v2)

base = 450 * 588
frame450 = sum(words[base + j] * (j + 1) for j in range(588)) & 0xFFFFFFFF if n >= base + 588 else 0
non_zero = array.array("h", (h for h in halves if h != 0))
if sys.byteorder != "little":
    non_zero.byteswap()
peak = max((abs(h) for h in halves), default=0)
print("%08x" % zlib.crc32(pcm), "%08x" % zlib.crc32(non_zero.tobytes()), "%08x" % frame450, peak)
