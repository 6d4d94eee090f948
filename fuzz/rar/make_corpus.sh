#!/usr/bin/env bash
# Rebuilds the small seed corpus of the RAR fuzz targets with rarpack.
# usage: make_corpus.sh PATH/TO/rarpack
set -euo pipefail
rarpack=${1:?usage: make_corpus.sh PATH/TO/rarpack}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 - <<'PY'
import math
text = b"the quick brown fox jumps over the lazy dog; " * 20
open("a", "wb").write(text[:700])
open("b", "wb").write(bytes((i * 7 + (i >> 3)) & 255 for i in range(600)))
open("c", "wb").write(bytes(int(90 * math.sin(i / 9.0)) & 255 for i in range(900)))
PY
mkdir -p DIR && cp a DIR/A
n=0
add() {  # add PREFIX-BYTE RARPACK-ARGS...
  local prefix=$1; shift
  rm -f t.rar
  "$rarpack" a "$@" t.rar a b c >/dev/null
  n=$((n + 1))
  { printf "\\x$prefix"; cat t.rar; } > "$here/corpus/archive/seed$n"
}
add 00 -m0
add 00 -m1
add 04 -m5
add 04 -s -m3
add 04 -s -m5 -mm
add 05 -m3 -p pw
add 05 -m0 -p pw
add 05 -s -m2 -mm -p pw
rm -f t.rar && "$rarpack" a -m3 t.rar DIR/A >/dev/null && { printf '\x06'; cat t.rar; } > "$here/corpus/archive/seed_dir"
# Bytes after the end block (download padding, a signature): not the archive's.
rm -f t.rar && "$rarpack" a -m1 t.rar a b >/dev/null && { printf '\x02'; cat t.rar; printf -- '-- signature --\0\0'; } > "$here/corpus/archive/seed_trailing"
# A forged solid archive: its first entry claims 2^31 bytes from ten packed bytes, and
# the name asked for (bit 3 of the first byte) is in no archive.
python3 - "$here/corpus/archive/seed_forged_huge" <<'PY'
import struct, sys, zlib
def main(flags):
    body = bytes([0x73]) + struct.pack('<HHHI', flags, 13, 0, 0)
    return struct.pack("<H", zlib.crc32(body) & 0xFFFF) + body
def block(name, packed, unp, crc, method, flags=0x8000):
    body = bytes([0x74]) + struct.pack('<HHII', flags, 32 + len(name), len(packed), unp) + bytes([2]) + \
        struct.pack('<II', crc, 0x21000000) + bytes([20, method]) + struct.pack('<HI', len(name), 0x20) + name
    return struct.pack("<H", zlib.crc32(body) & 0xFFFF) + body + packed
a = b'Rar!\x1a\x07\x00' + main(0x0008) + block(b'a', b'\x5a' * 10, 0x80000000, 0, 0x33) + \
    block(b'b', b'tail', 4, zlib.crc32(b'tail'), 0x30)
open(sys.argv[1], 'wb').write(b'\x08' + a)
PY
# Blocks the walk steps over: a Unix owner sub-block after each file of a solid archive,
# and a recovery record running to the end in place of the end block.
rm -f t.rar && "$rarpack" a -s -m3 t.rar a b c >/dev/null
python3 - t.rar "$here/corpus/archive/seed_subblocks" <<'PY'
import struct, sys, zlib
def other(kind, fields, added):  # a sub-block's CRC covers its data too
    h = bytes([kind]) + struct.pack('<HHI', 0x8000, 11 + len(fields), len(added)) + fields
    return struct.pack('<H', zlib.crc32(h + (added if kind == 0x77 else b'')) & 0xFFFF) + h + added
raw = open(sys.argv[1], 'rb').read()
pos, out = 20, raw[:20]
owner = other(0x77, struct.pack('<HB', 0x0101, 0), struct.pack('<HH', 5, 5) + b'kavlousers')
while raw[pos + 2] == 0x74:
    hsize, = struct.unpack_from('<H', raw, pos + 5)
    packed, = struct.unpack_from('<I', raw, pos + 7)
    out += raw[pos:pos + hsize + packed] + owner
    pos += hsize + packed
out += other(0x78, struct.pack('<BHI', 1, 1, 2) + b'Protect!', b'\xa5' * 516)
open(sys.argv[2], 'wb').write(b'\x04' + out)
PY
# What the RAR 2.0x archivers write beyond rarpack, each header CRC over its own range:
# a main header with an archive comment (over its first 13 bytes), a file header with a
# file comment (flag 0x08: over the fixed part and the name), an old-style sub-block
# (0x77: over its header and data), a recovery record (0x78: over its header), and no
# end block.
python3 - "$here/corpus/archive/seed_crc_ranges" <<'PY'
import struct, sys, zlib
def crc(b): return struct.pack('<H', zlib.crc32(b) & 0xFFFF)
comment = bytes([0x75]) + struct.pack('<HHHBBH', 0, 13 + 9, 9, 15, 0x30, zlib.crc32(b'a comment') & 0xFFFF) + b'a comment'
comment = crc(comment) + comment
main = bytes([0x73]) + struct.pack('<HHHI', 0x0002, 13 + len(comment), 0, 0)
def block(name, data, flags=0x8000, after=b''):
    body = bytes([0x74]) + struct.pack('<HHII', flags, 32 + len(name) + len(after), len(data), len(data)) + \
        bytes([0]) + struct.pack('<II', zlib.crc32(data), 0x21000000) + bytes([20, 0x30]) + \
        struct.pack('<HI', len(name), 0x20) + name
    return crc(body) + body + after + data
def other(kind, fields, added, covered):
    h = bytes([kind]) + struct.pack('<HHI', 0x8000, 11 + len(fields), len(added)) + fields
    return crc(h + added if covered else h) + h + added
a = b'Rar!\x1a\x07\x00' + crc(main) + main + comment + block(b'a', b'first entry', 0x8008, comment) + \
    other(0x77, struct.pack('<HB', 0x0101, 0), struct.pack('<HH', 5, 5) + b'kavlousers', True) + \
    block(b'b', b'second entry') + other(0x78, struct.pack('<BHI', 1, 1, 2) + b'Protect!', b'\xa5' * 516, False)
open(sys.argv[1], 'wb').write(b'\x00' + a)
PY
# Unpacker seeds: the packed data of single compressed entries, behind the 3-byte size.
python3 - "$rarpack" "$here/corpus/unpack" <<'PY'
import subprocess, sys, struct
rarpack, outdir = sys.argv[1], sys.argv[2]
for i, (name, opts) in enumerate([("a", ["-m1"]), ("a", ["-m5"]), ("b", ["-m3", "-mm"]), ("c", ["-m5", "-mm"])]):
    subprocess.run([rarpack, "a"] + opts + ["u.rar", name], check=True, stdout=subprocess.DEVNULL)
    raw = open("u.rar", "rb").read()
    pos = 7 + 13
    hsize, = struct.unpack_from("<H", raw, pos + 5)
    packed, unpacked = struct.unpack_from("<II", raw, pos + 7)
    data = raw[pos + hsize: pos + hsize + packed]
    open(f"{outdir}/seed{i}", "wb").write(struct.pack("<I", unpacked)[:3] + data)
PY
echo "corpus: $(ls "$here/corpus/archive" | wc -l) archive seeds, $(ls "$here/corpus/unpack" | wc -l) unpack seeds" >&2
