#!/bin/sh
# Makes the fuzzers' seed corpora in tests/fuzz/corpus/ again, from the project's own writers
# (tolbex-cli) and the real files in tests/fixtures/real/. The seeds are committed, so that the
# fuzzing tree needs no command-line tool and the test suite replays the same files everywhere;
# run this after a file format changes and commit the result.
#
#   tests/fuzz/make-seeds.sh TOLBEX_CLI
#
# Where tolbex-cli has no command that makes a file from nothing (a world, a material list), a
# small hand-made file goes through the command that loads and writes it again, so that the
# seed is what the writer produces.
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 TOLBEX_CLI" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
corpus="$here/corpus"
real="$root/tests/fixtures/real"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

rm -rf "$corpus"
for name in shp_prepare shp_takein wle runtime mat pal lbm bmp spr fnt resfile ini asc script; do
    mkdir -p "$corpus/$name"
done

# ---- hand-made inputs for the writers ------------------------------------------------------
python3 - "$root" <<'EOF'
import re, struct, sys
root = sys.argv[1]

def u16(v): return struct.pack('<H', v & 0xFFFF)
def u32(v): return struct.pack('<I', v & 0xFFFFFFFF)
def i32(v): return struct.pack('<i', v)

# A world of version 19: 2 x 1 x 2 cells at exponent 6, two worldshapes of BALL.SHP (one
# named) and a net of three nodes.
def world(version=19):
    shapes = b''
    for sid, name, x in ((1, 0, 20000), (2, 0x43415241, 1100000)):   # "CARA"
        p = bytearray(88)
        p[0:2] = u16(0x1008); p[4:6] = u16(sid); p[8:12] = u32(name)
        p[12:24] = i32(x) + i32(6000) + i32(30000)
        p[24:32] = b'BALL\0\0\0\0'
        p[60:62] = u16(0xFFFF)
        shapes += bytes(p)
    nodes = b''
    for nid, prev, nxt, x in ((1, 0, 2, 5000), (2, 1, 3, 60000), (3, 2, 0, 120000)):
        p = bytearray(56)
        p[0:2] = u16(0x1007)
        p[4:16] = i32(x) + i32(0) + i32(40000)
        p[16:22] = u16(nid) + u16(prev) + u16(nxt)
        p[52:56] = u32(0x4E455431)   # "NET1"
        nodes += bytes(p)
    body = shapes + nodes
    h = bytearray(168)
    edge = 16384 << 6
    h[0:4] = u32(168 + len(body)); h[4:8] = u32(6); h[8:12] = u32(edge)
    h[16:20] = u32(version)
    h[24:36] = u32(2) + u32(1) + u32(2)
    h[40:44] = u32(int((3 * edge * edge) ** 0.5))
    return bytes(h) + body
open('IN.WLE', 'wb').write(world())

# Materials of version 2 (46-byte records after a 4-byte header), upgraded by the writer.
def mat2(names):
    out = u16(len(names)) + u16(2)
    for i, n in enumerate(names):
        r = bytearray(46)
        r[0:len(n)] = n.encode()
        r[0x10] = 10 + i
        r[0x16:0x1E] = u16(100 * i) + u16(8000) + u16(12000) + u16(3000)
        r[0x21] = 40 if n == 'Glass' else 0
        if n == 'Rock':
            r[0x22:0x2A] = b'ROCK.SPR'
        out += bytes(r)
    return out
open('OLD.MAT', 'wb').write(mat2(['Dummy', 'Rock', 'Rail_Track', 'Glass']))

# The built-in font image, as the program carries it.
text = open(root + '/src/toolkit/font_builtin.cpp').read()
body = text[text.index('kBuiltInFont[FONT_BUILTIN_SIZE] = {'):]
data = bytes(int(v, 16) for v in re.findall(r'0x([0-9A-Fa-f]{2})', body))
assert len(data) == 8544, len(data)
open('builtin.fnt', 'wb').write(data)

# A small version-2 font: 3 x 4 cells, characters 32 to 40, the mark at 24.
w, h, first, last = 3, 4, 32, 40
count = last - first + 1
table = 40
bitmaps = table + 8 * count
f = b'FONT' + u32(w) + u32(h) + bytes([first, last]) + u16(0) + u32(table) + u32(0)
f += b'VERSION2' + bytes(8)
for i in range(count):
    f += u32(bitmaps + i * w * h) + u32(4)
for i in range(count):
    f += bytes((255 if (x + y + i) % 3 == 0 else 0) for y in range(h) for x in range(w))
open('small.fnt', 'wb').write(f)

# Sprites: an 8-bit "TRPS" with a palette and a row table, a 32-bit "BGRS", a "BGRZ".
sw, sh = 6, 4
pixels = bytes((x * 7 + y * 3) & 0xFF for y in range(sh) for x in range(sw))
pal_off = 48 + len(pixels)
rows_off = pal_off + 4 + 3 * 4
trps = bytearray(48)
trps[0:4] = b'TRPS'; trps[4:8] = u32(sw); trps[8:12] = u32(sh)
trps[20:24] = i32(0); trps[32:36] = u32(48); trps[36:40] = u32(pal_off); trps[40:44] = u32(rows_off)
trps = bytes(trps) + pixels + u16(0) + u16(4) + bytes(range(12)) + bytes(8 * sh)
open('pic8.spr', 'wb').write(trps)
bgrs = bytearray(32)
bgrs[0:4] = b'BGRS'; bgrs[4:8] = u32(3); bgrs[8:12] = u32(2); bgrs[12:15] = bytes([10, 20, 30])
bgrs = bytes(bgrs) + b''.join(u32(0x00102030 * (i + 1)) for i in range(6)) + bytes(4)
open('pic32.spr', 'wb').write(bgrs)
bgrz = bytearray(52)
bgrz[0:4] = b'BGRZ'; bgrz[4:8] = u32(4); bgrz[8:12] = u32(2); bgrz[12:15] = bytes([10, 20, 30])
rows = bytes([0x01, 0x40, 0x80, 0x00, 0xF8, 0xC0, 0xC4, 0x20, 0x04,
              0x83, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0x00, 0x00])
open('picz.spr', 'wb').write(bytes(bgrz) + rows)

# Settings as tolbex.ini holds them, and a few lines the reader must take in its stride.
open('tolbex.ini', 'w').write('scale=1024\npalsupport=1\nsecondres=640x400\nmaterials=GUIDE.MAT\n'
                              'palette=GAME.PAL\npolylightmode=2\n')
open('odd.ini', 'w').write('; comment\n[section]\n  Scale = 12 \nnovalue\n=empty\n'
                           'averyveryverylongkeyname=1\nthirdres=' + 'x' * 100 + '\r\n')
EOF

# ---- shapes --------------------------------------------------------------------------------
"$cli" shape sphere 4000 5000 4000 BALL.SHP >/dev/null
"$cli" shape sphere 300 300 300 --random SMALL.SHP >/dev/null
"$cli" shape import-asc "$real/TESTI.ASC" TESTI.SHP >/dev/null
for s in BALL.SHP SMALL.SHP TESTI.SHP; do
    cp "$s" "$corpus/shp_prepare/"
    cp "$s" "$corpus/shp_takein/"
done

# ---- worlds --------------------------------------------------------------------------------
"$cli" world upgrade IN.WLE TOWN.WLE >/dev/null
cp TOWN.WLE "$corpus/wle/"
"$cli" world runtime TOWN.WLE >/dev/null
# The runtime input is both files: the runtime world's length, the world, then the archive.
python3 - TOWN.WLD TOWN.wxp "$corpus/runtime/TOWN.bin" <<'EOF'
import struct, sys
world = open(sys.argv[1], 'rb').read()
archive = open(sys.argv[2], 'rb').read()
open(sys.argv[3], 'wb').write(struct.pack('<I', len(world)) + world + archive)
EOF

# ---- materials, palettes, pictures -----------------------------------------------------------
"$cli" mat upgrade OLD.MAT GAME.MAT >/dev/null
cp OLD.MAT GAME.MAT "$corpus/mat/"
"$cli" pal import-lbm "$real/PIC18.LBM" PIC18.PAL >/dev/null
cp PIC18.PAL "$corpus/pal/"
cp "$real/FC.LBM" "$real/PIC18.LBM" "$corpus/lbm/"
"$cli" shape render SMALL.SHP SMALL.BMP --size 16x16 >/dev/null
"$cli" shape render TESTI.SHP TESTI.BMP --size 21x17 --wireframe >/dev/null
cp SMALL.BMP TESTI.BMP "$corpus/bmp/"
cp pic8.spr pic32.spr picz.spr "$corpus/spr/"
cp builtin.fnt small.fnt "$corpus/fnt/"

# ---- resource files, settings, listings, scripts -----------------------------------------------
"$cli" res pack PACK.RES SMALL.SHP PIC18.PAL pic8.spr >/dev/null
"$cli" res pack SCRAMBLE.RES --scramble SMALL.SHP small.fnt >/dev/null
cp PACK.RES SCRAMBLE.RES "$corpus/resfile/"
cp tolbex.ini odd.ini "$corpus/ini/"
cp "$real/TESTI.ASC" "$corpus/asc/"
"$cli" shape export-asc SMALL.SHP SMALL.ASC >/dev/null
cp SMALL.ASC "$corpus/asc/"
cp "$root/docs/scripts/01-launcher.txt" "$root/docs/scripts/03-object.txt" "$corpus/script/"

"$here/make-asset-seeds.sh" "$cli" "$corpus"

du -sh "$corpus"/* | sed "s|$corpus/||"
