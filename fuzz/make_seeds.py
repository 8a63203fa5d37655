#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small valid input (or one that gets deep into its reader), built here byte by
byte so that the corpora are the same on every machine. Run it again after changing a format;
the files it writes are committed.
"""
import os
import struct
import sys
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- receiver link: frames and records -------------------------------------------------------

DLE, ETX = 0x10, 0x03


def frame(pid, data):
    body = bytes([pid, len(data)]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    out = bytearray([DLE])
    for b in body + bytes([checksum]):
        out.append(b)
        if b == DLE:
            out.append(DLE)
    out += bytes([DLE, ETX])
    return bytes(out)


def waypoint(symbol, lat, lon, alt, ident):
    fixed = bytes([0, 255, 0, 0x60]) + struct.pack("<H", symbol) + bytes(6) + b"\xff" * 12
    fixed += struct.pack("<iiff f", lat, lon, alt, 0.0, 0.0) + b"    "
    return fixed + ident + b"\0"


def track_header(display, color, ident):
    return bytes([display, color]) + ident + b"\0"


def track_point(lat, lon, time, alt, new):
    return struct.pack("<iiIff", lat, lon, time, alt, 0.0) + bytes([1 if new else 0])


def gps_seeds():
    t = "fuzz_gps_link"
    product = struct.pack("<Hh", 0x0123, 300) + b"eTrex Summit Software Version 3.00\0VERBMAP\0"
    caps = b""
    for tag, number in [("P", 0), ("L", 1), ("A", 10), ("T", 1), ("A", 100), ("D", 108),
                        ("A", 301), ("D", 310), ("D", 301)]:
        caps += tag.encode() + struct.pack("<H", number)
    start = frame(6, [254, 0]) + frame(255, product) + frame(253, caps)
    write(t, "product", start)
    waypoints = frame(27, [2, 0])
    waypoints += frame(35, waypoint(18, 0x19101010, 0x63101010, 123.5, b"SUMMIT"))
    waypoints += frame(35, waypoint(8, -0x10, 0x10101010, -4.0, b"\x8e\x52\x8f\xac"))
    waypoints += frame(12, [7, 0])
    write(t, "waypoints", start + waypoints)
    tracks = frame(27, [4, 0]) + frame(99, track_header(1, 255, b"ACTIVE LOG"))
    tracks += frame(34, track_point(0x19000000, 0x63000000, 0x10101010, 812.0, True))
    tracks += frame(34, track_point(0x19000010, 0x63000010, 0xFFFFFFFF, 0.0, False))
    tracks += frame(99, track_header(0, 3, b"\x10" * 8))
    tracks += frame(12, [6, 0])
    write(t, "tracks", start + tracks)
    # Stuffed id and size, the longest data, a lone DLE inside the data.
    write(t, "stuffing", frame(0x10, bytes([0x10] * 16)) + frame(0xFE, bytes(range(255))) +
          bytes([DLE, 0x22, 2, 0x10, 0x41, 0x9B, DLE, ETX]))
    write(t, "record", waypoint(0x1234, 1, 2, 3.0, b"\x81"))


# ---- map catalogue: one split byte, index.csv, kanri.csv -------------------------------------

# Header and three sheets of each series, as the sample map generator writes them.
KANRI_25000 = [
    '２次メッシュコード,図名,図名よみ,地形図コード,号数,基本測量,改測,修正,部分修正,空中写真,現地測量,発行年月日,左上緯度度,左上緯度分,左上緯度秒,左上'
    '経度度,左上経度分,左上経度秒,左下緯度度,左下緯度分,左下緯度秒,左下経度度,左下経度分,左下経度秒,右下緯度度,右下緯度分,右下緯度秒,右下経度度,右下経度'
    '分,右下経度秒,右上緯度度,右上緯度分,右上緯度秒,右上経度度,右上経度分,右上経度秒,図郭北辺長,図郭南辺長,図郭東西辺長,図郭南北辺長,図郭幅画素,図郭高画'
    '素,縮尺,解像度,左上X,左上Y,左下X,左下Y,右下X,右下Y,右上X,右上Y,画像幅,画像高,ビット数,色数,圧縮,ストリップ行数,予備',
    '543836,柚ノ木,ゆのき,NJ-54-31-12-1,12号-1,昭和48年,昭和61年,平成5年,平成7年,平成4年撮影,平成5年調査,平成8年2月1日,'
    '36,20,0,138,45,0,36,15,0,138,45,0,36,15,0,138,52,30,36,20,0,138,52,30,11221,1123'
    '3,11227,9246,4491,3698,25000,254,48,24,48,3722,4539,3722,4539,24,4587,3746,8,256'
    ',5,16,0',
    '543837,下河原,しもがわら,NJ-54-31-12-2,12号-2,昭和46年,昭和57年,平成5年,平成7年,平成4年撮影,平成5年調査,平成8年4月1'
    '日,36,20,0,138,52,30,36,15,0,138,52,30,36,15,0,139,0,0,36,20,0,139,0,0,11221,1123'
    '3,11227,9246,4491,3698,25000,254,48,24,48,3722,4539,3722,4539,24,4587,3746,8,256'
    ',5,16,0',
    '543846,大日向,おおひなた,NJ-54-31-8-3,8号-3,昭和46年,昭和60年,平成7年,平成9年,平成6年撮影,平成7年調査,平成10年12月1'
    '日,36,25,0,138,45,0,36,20,0,138,45,0,36,20,0,138,52,30,36,25,0,138,52,30,11210,11'
    '221,11216,9246,4486,3698,25000,254,48,24,48,3722,4534,3722,4534,24,4582,3746,8,2'
    '56,5,16,0',
]

KANRI_50000 = [
    '２次メッシュコード,図名,図名よみ,地形図コード,号数,整理番号,測量,編集,修正,要部修正,発行年月日,左上緯度度,左上緯度分,左上緯度秒,左上経度度,左上経'
    '度分,左上経度秒,左下緯度度,左下緯度分,左下緯度秒,左下経度度,左下経度分,左下経度秒,右下緯度度,右下緯度分,右下緯度秒,右下経度度,右下経度分,右下経度秒'
    ',右上緯度度,右上緯度分,右上緯度秒,右上経度度,右上経度分,右上経度秒,図郭北辺長,図郭南辺長,図郭東西辺長,図郭南北辺長,図郭幅画素,図郭高画素,縮尺,解像'
    '度,左上X,左上Y,左下X,左下Y,右下X,右下Y,右上X,右上Y,画像幅,画像高,ビット数,色数,圧縮,ストリップ行数,予備',
    '543824,柚木,ゆのき,NJ-54-31-11,11号,125,昭和45年,昭和59年,平成5年,平成6年,平成8年11月1日,36,20,0,138,30'
    ',0,36,10,0,138,30,0,36,10,0,138,45,0,36,20,0,138,45,0,22443,22491,22467,18492,44'
    '93,3698,50000,254,48,24,48,3722,4541,3722,4541,24,4589,3746,8,256,5,16,0',
    '543826,河原田,かわらだ,NJ-54-31-12,12号,148,昭和50年,昭和56年,平成6年,平成7年,平成9年4月1日,36,20,0,138,4'
    '5,0,36,10,0,138,45,0,36,10,0,139,0,0,36,20,0,139,0,0,22443,22491,22467,18492,449'
    '3,3698,50000,254,48,24,48,3722,4541,3722,4541,24,4589,3746,8,256,5,16,0',
    '543844,大日向,おおひなた,NJ-54-31-7,7号,141,昭和50年,昭和57年,平成6年,平成7年,平成9年8月1日,36,30,0,138,30'
    ',0,36,20,0,138,30,0,36,20,0,138,45,0,36,30,0,138,45,0,22395,22443,22419,18492,44'
    '84,3698,50000,254,48,24,48,3722,4532,3722,4532,24,4580,3746,8,256,5,16,0',
]


def catalogue_seeds():
    t = "fuzz_catalogue"
    index = "5438,朝霧\r\n5439,白鷺\r\n".encode("cp932")
    for series, lines in [("25000", KANRI_25000), ("50000", KANRI_50000)]:
        kanri = ("\r\n".join(lines) + "\r\n").encode("cp932")
        write(t, "sheets" + series, bytes([len(index)]) + index + kanri)
    write(t, "index_only", bytes([255]) + "5438,朝霧\r\n".encode("cp932"))


# ---- sheet images: small TIFFs ---------------------------------------------------------------

def tiff(width, height, photometric, samples, strips, compression=1, colormap=None, rows_per_strip=None):
    """A little-endian TIFF with one IFD; `strips` are the stored bytes of each strip."""
    entries = []
    data = bytearray()
    header_size = 8
    offsets = []
    for s in strips:
        offsets.append(header_size + len(data))
        data += s
        if len(data) % 2:
            data.append(0)
    extra = bytearray()  # arrays that do not fit an entry, placed after the IFD

    def entry(tag, kind, values):
        size = {3: 2, 4: 4}[kind]
        fmt = {3: "H", 4: "I"}[kind]
        raw = struct.pack("<%d%s" % (len(values), fmt), *values)
        entries.append((tag, kind, len(values), raw))

    entry(256, 4, [width])
    entry(257, 4, [height])
    entry(258, 3, [8] * samples)
    entry(259, 3, [compression])
    entry(262, 3, [photometric])
    entry(273, 4, offsets)
    entry(277, 3, [samples])
    entry(278, 4, [rows_per_strip or height])
    entry(279, 4, [len(s) for s in strips])
    if colormap:
        entry(320, 3, colormap)
    entries.sort()
    ifd_offset = header_size + len(data)
    ifd_size = 2 + 12 * len(entries) + 4
    out_entries = bytearray(struct.pack("<H", len(entries)))
    for tag, kind, count, raw in entries:
        if len(raw) <= 4:
            out_entries += struct.pack("<HHI", tag, kind, count) + raw.ljust(4, b"\0")
        else:
            at = ifd_offset + ifd_size + len(extra)
            out_entries += struct.pack("<HHII", tag, kind, count, at)
            extra += raw
            if len(extra) % 2:
                extra.append(0)
    out_entries += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", ifd_offset) + bytes(data) + bytes(out_entries) + bytes(extra)


def packbits(row):
    out = bytearray()
    for i in range(0, len(row), 128):
        chunk = row[i:i + 128]
        out.append(len(chunk) - 1)
        out += chunk
    return bytes(out)


def sheet_seeds():
    t = "fuzz_sheet_image"
    colormap = [(i * 257) for i in range(256)] + [((255 - i) * 257) for i in range(256)] + [0x8080] * 256
    pixels = bytes((x * 7 + y * 13) & 0xFF for y in range(6) for x in range(5))
    write(t, "palette", tiff(5, 6, 3, 1, [pixels], colormap=colormap))
    rows = [pixels[y * 5:(y + 1) * 5] for y in range(6)]
    write(t, "palette_packbits", tiff(5, 6, 3, 1, [b"".join(packbits(r) for r in rows[:4]),
                                                    b"".join(packbits(r) for r in rows[4:])],
                                      compression=32773, colormap=colormap, rows_per_strip=4))
    grey = bytes(range(0, 256, 16))
    write(t, "grey_strips", tiff(4, 4, 1, 1, [grey[:8], grey[8:]], rows_per_strip=2))
    rgb = bytes((i * 40) & 0xFF for i in range(3 * 3 * 2))
    write(t, "rgb_deflate", tiff(3, 2, 2, 3, [zlib.compress(rgb)], compression=8))


# ---- reduced copies of a sheet: the key of fuzz_reduced_copy.cpp -----------------------------

def reduced_copy(w8, h8, pixels, version=1, path=b"/maps/sheet.tif", size=123456,
                 modified=1700000000000000000, colours=0x0123456789abcdef):
    w64, h64 = (w8 + 7) // 8, (h8 + 7) // 8
    packed = zlib.compress(pixels, 1)
    b = b"VantoriaReducedCopy" + struct.pack("<II", version, len(path)) + path
    b += struct.pack("<QqQ", size, modified, colours) + struct.pack("<IIIII", w8, h8, w64, h64, len(packed))
    b += packed
    return b + struct.pack("<I", zlib.crc32(b))


def reduced_seeds():
    t = "fuzz_reduced_copy"
    w8, h8 = 9, 3
    pixels = bytes((i * 37) & 0xFF for i in range(3 * (w8 * h8 + 2 * 1)))
    write(t, "copy", reduced_copy(w8, h8, pixels))
    write(t, "one_pixel", reduced_copy(1, 1, bytes([10, 20, 30, 40, 50, 60])))
    write(t, "other_sheet", reduced_copy(1, 1, bytes(6), path=b"/maps/other.tif"))
    write(t, "other_version", reduced_copy(1, 1, bytes(6), version=2))


# ---- trek files: a waypoint group and a track log group --------------------------------------

class Bytes:
    def __init__(self):
        self.b = bytearray()

    def byte(self, v): self.b += bytes([v & 0xFF]); return self
    def word(self, v): self.b += struct.pack("<H", v); return self
    def i32(self, v): self.b += struct.pack("<i", v); return self
    def f64(self, v): self.b += struct.pack("<d", v); return self
    def raw(self, s): self.b += s; return self

    def str(self, s):
        assert len(s) < 0xFF
        return self.byte(len(s)).raw(s)

    def new_class(self, name, schema):
        return self.word(0xFFFF).word(schema).word(len(name)).raw(name)


SIGNATURE = b"Vantoria25000 PointDataFile"


def trek_seeds():
    t = "fuzz_trek_file"
    w = Bytes().str(SIGNATURE).i32(3).str("山".encode("cp932")).str(b"").word(2).new_class(b"CMarkerPoint", 3)
    for i in range(2):
        w.i32(139).i32(44).f64(48.25 + i).i32(35).i32(40).f64(0.5).i32(533946 + i)
        w.str("東京".encode("cp932")).str(b"sheet50").str(b"area").str(b"PEAK%d" % i).str(b"C:\\MAP")
        w.str(b"line1\r\nline2").str(b"d1").str(b"d2").i32(-18 - i).i32(0).f64(1234.5).str(b"PEAK%d" % i)
        if i == 0:
            w.word(0x8001)
    w.word(0).i32(1)
    write(t, "waypoints.pmd", bytes(w.b))

    k = Bytes().str(SIGNATURE).i32(3).str(b"T").str(b"").word(0).word(2)

    def log_data(name):
        k.i32(1).byte(7).i32(0).str(name).str(b"GPS" + name).i32(0).str(b"a").str(b"b")

    def point(n):
        k.i32(139).i32(1).f64(n / 7.0).i32(35).i32(2).f64(59.5 - n / 11.0).i32(n).i32(0).f64(n / 3.0)
        k.i32(-1 if n == 1 else 1057363500 + n)

    k.new_class(b"CTrackLog", 1)
    log_data(b"one")
    k.word(3).new_class(b"CTrackPoint", 1)
    point(0)
    for n in (1, 2):
        k.word(0x8003)
        point(n)
    k.word(0x8001)
    log_data(b"two")
    k.word(1).word(0x8003)
    point(0)
    k.i32(3)
    write(t, "tracks.ptd", bytes(k.b))
    empty = Bytes().str(SIGNATURE).i32(3).str(b"A").str(b"").word(0).word(0).i32(3)
    write(t, "empty.ptd", bytes(empty.b))


def main():
    gps_seeds()
    catalogue_seeds()
    sheet_seeds()
    reduced_seeds()
    trek_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
