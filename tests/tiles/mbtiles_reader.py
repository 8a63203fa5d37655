#!/usr/bin/env python3
"""An MBTiles and KMZ reader of its own, using only sqlite3, zipfile and Pillow.

check FILE.mbtiles [--zoom MIN-MAX]
    Reads the metadata and every tile and checks them against Web Mercator arithmetic written
    here: the zoom levels and tile rows (TMS) lie on the world's grid, every tile meets the
    bounds and the bounds are the union of the tiles, every image decodes as a 256 x 256
    picture of the format the metadata names. Prints a JSON summary; exits 1 on any fault.
mosaic FILE.mbtiles ZOOM OUT.png [--max-width N]
    Lays the tiles of one zoom level side by side by their column and row.
kmz FILE.kmz OUT.png
    Lays the JPEG images of a custom map side by side by the LatLonBoxes of its doc.kml.
"""
import io
import json
import math
import re
import sqlite3
import sys
import zipfile

from PIL import Image, ImageDraw


def tile_lon(x, z):
    return x / (1 << z) * 360.0 - 180.0


def tile_lat(y, z):
    return math.degrees(math.atan(math.sinh(math.pi * (1.0 - 2.0 * y / (1 << z)))))


def read_mbtiles(path):
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    meta = dict(db.execute("SELECT name, value FROM metadata").fetchall())
    rows = db.execute("SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles").fetchall()
    db.close()
    # The file holds TMS rows, counted from the south.
    return meta, [(z, x, (1 << z) - 1 - tms, bytes(data)) for z, x, tms, data in rows]


def check(path, zooms=None):
    errors = []
    meta, tiles = read_mbtiles(path)
    for key in ("name", "format", "minzoom", "maxzoom", "bounds"):
        if key not in meta:
            errors.append("metadata has no %s" % key)
    if errors:
        return {"errors": errors}
    fmt = meta["format"]
    if fmt not in ("png", "jpg"):
        errors.append("format %r" % fmt)
    minzoom, maxzoom = int(meta["minzoom"]), int(meta["maxzoom"])
    if zooms and (minzoom, maxzoom) != zooms:
        errors.append("zoom levels %d-%d, asked for %d-%d" % (minzoom, maxzoom, zooms[0], zooms[1]))
    west, south, east, north = (float(v) for v in meta["bounds"].split(","))
    if not (west < east and south < north):
        errors.append("bounds %s" % meta["bounds"])
    union = [180.0, 90.0, -180.0, -90.0]
    per_zoom = {}
    seen = set()
    for z, x, y, data in tiles:
        if not (minzoom <= z <= maxzoom and 0 <= x < (1 << z) and 0 <= y < (1 << z)):
            errors.append("tile %d/%d/%d off the grid" % (z, x, y))
            continue
        if (z, x, y) in seen:
            errors.append("tile %d/%d/%d twice" % (z, x, y))
        seen.add((z, x, y))
        w, e, n, s = tile_lon(x, z), tile_lon(x + 1, z), tile_lat(y, z), tile_lat(y + 1, z)
        if not (w < east and e > west and s < north and n > south):
            errors.append("tile %d/%d/%d outside the bounds" % (z, x, y))
        union = [min(union[0], w), min(union[1], s), max(union[2], e), max(union[3], n)]
        per_zoom[z] = per_zoom.get(z, 0) + 1
        try:
            image = Image.open(io.BytesIO(data))
            image.load()
        except Exception as err:  # any undecodable tile is a fault
            errors.append("tile %d/%d/%d: %s" % (z, x, y, err))
            continue
        if image.size != (256, 256):
            errors.append("tile %d/%d/%d is %dx%d" % (z, x, y, image.size[0], image.size[1]))
        if image.format != {"png": "PNG", "jpg": "JPEG"}.get(fmt):
            errors.append("tile %d/%d/%d is %s in a %s file" % (z, x, y, image.format, fmt))
    if tiles and max(abs(a - b) for a, b in zip(union, (west, south, east, north))) > 1e-6:
        errors.append("bounds %s are not the tiles' %s" % (meta["bounds"], union))
    return {"tiles": len(tiles), "format": fmt, "zoom": {str(k): v for k, v in sorted(per_zoom.items())},
            "bounds": [west, south, east, north], "errors": errors}


def mosaic(path, zoom, out, max_width=0):
    _, tiles = read_mbtiles(path)
    tiles = [t for t in tiles if t[0] == zoom]
    if not tiles:
        raise SystemExit("no tiles at zoom %d" % zoom)
    x0, x1 = min(t[1] for t in tiles), max(t[1] for t in tiles)
    y0, y1 = min(t[2] for t in tiles), max(t[2] for t in tiles)
    canvas = Image.new("RGBA", ((x1 - x0 + 1) * 256, (y1 - y0 + 1) * 256), (255, 255, 255, 255))
    for _, x, y, data in tiles:
        tile = Image.open(io.BytesIO(data)).convert("RGBA")
        canvas.alpha_composite(tile, ((x - x0) * 256, (y - y0) * 256))
    if max_width and canvas.width > max_width:
        canvas = canvas.resize((max_width, round(canvas.height * max_width / canvas.width)), Image.LANCZOS)
    canvas.convert("RGB").save(out, optimize=True)
    return len(tiles)


def kmz_side_by_side(path, out, max_width=0):
    with zipfile.ZipFile(path) as z:
        kml = z.read("doc.kml").decode("utf-8")
        overlays = []
        for block in re.findall(r"<GroundOverlay>(.*?)</GroundOverlay>", kml, re.S):
            href = re.search(r"<href>(.*?)</href>", block).group(1)
            box = {k: float(re.search(r"<%s>(.*?)</%s>" % (k, k), block).group(1)) for k in ("north", "south", "east", "west")}
            overlays.append((Image.open(io.BytesIO(z.read(href))).convert("RGB"), box))
    if not overlays:
        raise SystemExit("no images in the custom map")
    # Pixels per degree of the first image place every image on one canvas.
    first, fb = overlays[0]
    ppx = first.width / (fb["east"] - fb["west"])
    ppy = first.height / (fb["north"] - fb["south"])
    west = min(b["west"] for _, b in overlays)
    north = max(b["north"] for _, b in overlays)
    east = max(b["east"] for _, b in overlays)
    south = min(b["south"] for _, b in overlays)
    canvas = Image.new("RGB", (round((east - west) * ppx), round((north - south) * ppy)), (255, 255, 255))
    draw = ImageDraw.Draw(canvas)
    for image, b in overlays:
        at = (round((b["west"] - west) * ppx), round((north - b["north"]) * ppy))
        canvas.paste(image, at)
    for image, b in overlays:
        at = (round((b["west"] - west) * ppx), round((north - b["north"]) * ppy))
        # The images' corners marked, so that the seams can be found.
        for cx, cy in ((0, 0), (image.width, 0), (0, image.height), (image.width, image.height)):
            draw.line([(at[0] + cx - 12, at[1] + cy), (at[0] + cx + 12, at[1] + cy)], fill=(255, 0, 0), width=3)
            draw.line([(at[0] + cx, at[1] + cy - 12), (at[0] + cx, at[1] + cy + 12)], fill=(255, 0, 0), width=3)
    if max_width and canvas.width > max_width:
        canvas = canvas.resize((max_width, round(canvas.height * max_width / canvas.width)), Image.LANCZOS)
    canvas.save(out, optimize=True)
    return len(overlays)


def main(argv):
    if len(argv) >= 2 and argv[0] == "check":
        zooms = None
        if "--zoom" in argv:
            lo, hi = argv[argv.index("--zoom") + 1].split("-")
            zooms = (int(lo), int(hi))
        result = check(argv[1], zooms)
        print(json.dumps(result))
        return 1 if result["errors"] else 0
    if len(argv) >= 4 and argv[0] == "mosaic":
        width = int(argv[argv.index("--max-width") + 1]) if "--max-width" in argv else 0
        print(mosaic(argv[1], int(argv[2]), argv[3], width))
        return 0
    if len(argv) >= 3 and argv[0] == "kmz":
        width = int(argv[argv.index("--max-width") + 1]) if "--max-width" in argv else 0
        print(kmz_side_by_side(argv[1], argv[2], width))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
