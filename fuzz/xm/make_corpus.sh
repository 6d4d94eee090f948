#!/usr/bin/env bash
# Rebuilds the small seed corpus of the XM scan fuzz target from the show's music.
# usage: make_corpus.sh PATH/TO/kavlo-data
# Only the header and the pattern data matter to the scan, so every seed stops where the
# instruments begin; the variants cover what the show's own module never has.
set -euo pipefail
kavlo_data=${1:?usage: make_corpus.sh PATH/TO/kavlo-data}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$kavlo_data" build "$work" >/dev/null 2>&1
rm -f "$here"/corpus/*
mkdir -p "$here/corpus"
python3 - "$work/musik.xm" "$here/corpus" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
out = sys.argv[2]
header_size, = struct.unpack_from("<I", data, 60)
song, restart, channels, patterns = struct.unpack_from("<HHHH", data, 64)

def patterns_at(buf, count):
    pos, spans = 60 + struct.unpack_from("<I", buf, 60)[0], []
    for _ in range(count):
        length, _, rows, packed = struct.unpack_from("<IBHH", buf, pos)
        spans.append((pos, length, rows, packed))
        pos += length + packed
    return spans, pos

spans, end = patterns_at(data, patterns)
head = bytearray(data[:end])

def save(name, buf):
    open(f"{out}/{name}", "wb").write(bytes(buf))

def with_patterns(n):
    buf = bytearray(head[:spans[n - 1][0] + spans[n - 1][1] + spans[n - 1][3]])
    struct.pack_into("<H", buf, 70, n)
    struct.pack_into("<H", buf, 64, min(song, n))
    return buf

def unpack(buf, span, chans):
    # Rewrites one pattern's cells as plain five-byte cells (first byte < 0x80).
    pos, length, rows, packed = span
    cells, i = bytearray(), pos + length
    while i < pos + length + packed:
        b = buf[i]; i += 1
        cell = [0] * 5
        if b & 0x80:
            for bit in range(5):
                if b & (1 << bit):
                    cell[bit] = buf[i]; i += 1
        else:
            cell = list(buf[i - 1:i + 4]); i += 4
        cells += bytes(cell)
    return cells

save("show-head.xm", head)                    # the whole pattern part of the show's music
small = with_patterns(2)
save("two-patterns.xm", small)
save("cut-in-pattern.xm", small[:spans[1][0] + spans[1][1] + spans[1][3] // 2])
save("cut-in-header.xm", head[:100])
lower = bytearray(small); lower[0:17] = b"extended module: "
save("lower-case.xm", lower)
# First pattern as plain cells, with a sync mark put in its last cell.
plain = unpack(small, spans[0], channels)
plain[-5:] = bytes([0, 0, 0, 0x23, 0x42])
buf = bytearray(head[:spans[0][0]]) + struct.pack("<IBHH", 9, 0, spans[0][2], len(plain)) + plain
struct.pack_into("<H", buf, 70, 1)
struct.pack_into("<H", buf, 64, 1)
save("plain-cells.xm", buf)
# A pattern header longer than nine bytes, and a zero row count (read as 64).
pos, length, rows, packed = spans[0]
long_header = bytearray(head[:pos]) + struct.pack("<IBHH", 13, 0, 0, packed) + b"\0" * 4 + \
    head[pos + length:pos + length + packed]
struct.pack_into("<H", long_header, 70, 1)
save("long-pattern-header.xm", long_header)
# Two channels and a short order table in a header of the smallest size.
tiny = bytearray(head[:60]) + struct.pack("<IHHHHHHHH", 20, 0, 0, 2, 1, 0, 0, 3, 125) + \
    struct.pack("<IBHH", 9, 0, 2, 6) + bytes([0x98, 0x23, 0x01, 0x88, 0x23, 0x80])
save("tiny.xm", tiny)
PY
ls -l "$here/corpus"
