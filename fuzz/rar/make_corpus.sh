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
