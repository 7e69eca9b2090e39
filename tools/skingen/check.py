#!/usr/bin/env python3
"""Checks the generated skin: sizes and slice layout of every picture, the
transparent outline and black page area of the launcher background, the
application icon file and the desktop icon's sizes. Standard library only.

    check.py RESDIR LAYOUT (RESDIR holds png/<id>.png, app.ico and icons/<size>.png; LAYOUT is the
                           launcher's layout as launcher_layout.json, which the build
                           writes from shared/launcher_layout.h)

Prints one line per failed check and a summary; exits 1 when anything failed.
"""
import json
import struct
import sys
import zlib
from pathlib import Path

# id: (width, height, slices, vertical) -- slices 1 means a single picture.
TABLE = {
    131: (155, 110, 2, True), 132: (355, 169, 1, True), 133: (155, 110, 2, True),
    134: (75, 44, 2, True), 135: (75, 44, 2, True), 136: (75, 25, 3, False),
    137: (11, 33, 3, True), 138: (35, 102, 3, True), 139: (155, 110, 2, True),
    140: (65, 44, 2, True), 142: (136, 198, 9, True), 143: (800, 500, 1, True),
    144: (39, 47, 1, True), 145: (818, 47, 1, True), 146: (40, 60, 3, True),
    147: (48, 29, 1, True), 149: (1290, 704, 1, True), 150: (75, 25, 3, False),
    151: (75, 25, 3, False), 152: (27, 84, 3, True), 153: (155, 110, 2, True),
    154: (65, 44, 2, True), 155: (75, 44, 2, True), 156: (60, 42, 2, True),
    157: (75, 25, 3, False), 158: (128, 16, 8, False), 159: (75, 22, 1, True),
    160: (75, 22, 1, True),
}
ICON_SIZES = [16, 32, 48, 256]
THEME_ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]  # icons/<size>.png, for the hicolor theme
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Image:
    """A decoded 8-bit RGBA or RGB PNG (non-interlaced)."""

    def __init__(self, data):
        if not data.startswith(PNG_SIGNATURE):
            raise ValueError("not a PNG file")
        pos, idat, header = 8, [], None
        while pos + 8 <= len(data):
            length, kind = struct.unpack(">I4s", data[pos:pos + 8])
            body = data[pos + 8:pos + 8 + length]
            if len(body) != length:
                raise ValueError("truncated chunk")
            if kind == b"IHDR":
                header = struct.unpack(">IIBBBBB", body)
            elif kind == b"IDAT":
                idat.append(body)
            elif kind == b"IEND":
                break
            pos += 12 + length
        if header is None:
            raise ValueError("no IHDR chunk")
        self.width, self.height, depth, colour, _, _, interlace = header
        if depth != 8 or colour not in (2, 6) or interlace != 0:
            raise ValueError(f"unsupported PNG (depth {depth}, colour type {colour})")
        self.channels = 4 if colour == 6 else 3
        raw = zlib.decompress(b"".join(idat))
        self.rows = self._unfilter(raw)

    def _unfilter(self, raw):
        bpp, stride = self.channels, self.width * self.channels
        rows, prev = [], bytearray(stride)
        for y in range(self.height):
            start = y * (stride + 1)
            kind = raw[start]
            line = bytearray(raw[start + 1:start + 1 + stride])
            if kind == 1:
                for i in range(bpp, stride):
                    line[i] = (line[i] + line[i - bpp]) & 0xFF
            elif kind == 2:
                line = bytearray((a + b) & 0xFF for a, b in zip(line, prev))
            elif kind == 3:
                for i in range(stride):
                    left = line[i - bpp] if i >= bpp else 0
                    line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
            elif kind == 4:
                for i in range(stride):
                    a = line[i - bpp] if i >= bpp else 0
                    b = prev[i]
                    c = prev[i - bpp] if i >= bpp else 0
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                    line[i] = (line[i] + pred) & 0xFF
            elif kind != 0:
                raise ValueError(f"bad filter type {kind}")
            rows.append(line)
            prev = line
        return rows

    def pixel(self, x, y):
        o = x * self.channels
        px = self.rows[y][o:o + self.channels]
        return tuple(px) if self.channels == 4 else tuple(px) + (255,)

    def alpha(self, x, y):
        return self.pixel(x, y)[3]

    def region(self, x0, y0, x1, y1):
        """The raw bytes of a rectangle, row by row (for comparing slices)."""
        c = self.channels
        return b"".join(bytes(self.rows[y][x0 * c:x1 * c]) for y in range(y0, y1))


class Checker:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def expect(self, condition, message):
        if condition:
            self.passed += 1
        else:
            self.failures.append(message)
        return condition


def check_strip(ck, pid, img, w, h, n, vertical):
    sw, sh = (w, h // n) if vertical else (w // n, h)
    slices = []
    for i in range(n):
        x0, y0 = (0, i * sh) if vertical else (i * sw, 0)
        slices.append(img.region(x0, y0, x0 + sw, y0 + sh))
        visible = any(img.alpha(x, y) > 0 for y in range(y0, y0 + sh) for x in range(x0, x0 + sw))
        ck.expect(visible, f"{pid}: slice {i} is empty")
    if n == 1:
        return
    distinct = len(set(slices))
    # The binding animation rests on identical first and last frames.
    needed = n - 1 if pid == 142 else n
    ck.expect(distinct >= needed, f"{pid}: only {distinct} of {n} slices differ")


def check_launcher(ck, img, layout):
    """layout: launcher_layout.json, with the web area and the buttons' rectangles as left,
    top, right, bottom (exclusive)."""
    for x, y in [(0, 0), (img.width - 1, 0), (0, img.height - 1), (img.width - 1, img.height - 1)]:
        ck.expect(img.alpha(x, y) == 0, f"149: corner ({x},{y}) is not transparent")
    l, t, r, b = layout["web_area"]
    for x, y in [(l, t), (r - 1, b - 1), (r - 1, t), (l, b - 1)]:
        ck.expect(img.pixel(x, y) == (0, 0, 0, 255), f"149: page corner ({x},{y}) is {img.pixel(x, y)}")
    black = bytes((0, 0, 0, 255)) * (r - l)
    bad_rows = [y for y in range(t, b) if bytes(img.rows[y][l * 4:r * 4]) != black]
    ck.expect(not bad_rows, f"149: page area not opaque black on rows {bad_rows[:5]}")
    # Just outside the page the artwork is opaque too (the frame surrounds it).
    for x, y in [(l - 1, t + 100), (r, t + 100), (l + 100, b), (l + 100, t - 1)]:
        ck.expect(img.alpha(x, y) == 255, f"149: frame next to the page at ({x},{y}) is not opaque")
    for name, (x0, y0, x1, y1) in layout["buttons"].items():
        low = min(img.alpha(x, y) for y in range(y0, y1) for x in range(x0, x1))
        ck.expect(low >= 200, f"149: {name} button area has alpha down to {low}")
    counts = [0, 0, 0]  # transparent, partial, opaque
    for y in range(img.height):
        row = img.rows[y]
        for x in range(3, len(row), 4):
            a = row[x]
            counts[0 if a == 0 else (2 if a == 255 else 1)] += 1
    total = img.width * img.height
    ck.expect(counts[0] > total * 0.15, f"149: only {counts[0]} transparent pixels")
    ck.expect(counts[2] > total * 0.45, f"149: only {counts[2]} opaque pixels")
    ck.expect(counts[1] > 2000, f"149: outline has no soft edge ({counts[1]} partial pixels)")
    # The outline is not a rectangle: rows differ in their opaque extent.
    spans = set()
    for y in range(0, img.height, 16):
        xs = [x for x in range(img.width) if img.alpha(x, y) > 128]
        spans.add((xs[0], xs[-1]) if xs else None)
    ck.expect(len(spans) > 6, "149: outline looks rectangular")


def check_icon(ck, data):
    if not ck.expect(len(data) >= 6, "app.ico: too short"):
        return
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    ck.expect(reserved == 0 and kind == 1, "app.ico: not an icon file")
    ck.expect(count == len(ICON_SIZES), f"app.ico: {count} images, expected {len(ICON_SIZES)}")
    sizes = []
    for i in range(count):
        entry = data[6 + 16 * i:22 + 16 * i]
        if not ck.expect(len(entry) == 16, "app.ico: truncated directory"):
            return
        w, h, _, _, planes, bits, size, offset = struct.unpack("<BBBBHHII", entry)
        w, h = w or 256, h or 256
        png = data[offset:offset + size]
        ck.expect(len(png) == size, f"app.ico: image {i} truncated")
        ck.expect(planes == 1 and bits == 32, f"app.ico: image {i} is not 32-bit")
        try:
            img = Image(png)
        except (ValueError, zlib.error) as e:
            ck.expect(False, f"app.ico: image {i} is not a valid PNG ({e})")
            continue
        ck.expect((img.width, img.height) == (w, h), f"app.ico: image {i} directory says {w}x{h}, PNG is {img.width}x{img.height}")
        ck.expect(img.alpha(0, 0) == 0, f"app.ico: {w}px image has an opaque corner")
        sizes.append(w)
    ck.expect(sorted(sizes) == ICON_SIZES, f"app.ico: sizes {sorted(sizes)}, expected {ICON_SIZES}")


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    res = Path(argv[1])
    layout = json.loads(Path(argv[2]).read_text(encoding="utf-8"))
    ck = Checker()
    for pid, (w, h, n, vertical) in sorted(TABLE.items()):
        path = res / "png" / f"{pid}.png"
        if not ck.expect(path.is_file(), f"{pid}: {path} missing"):
            continue
        try:
            img = Image(path.read_bytes())
        except (ValueError, zlib.error) as e:
            ck.expect(False, f"{pid}: cannot decode ({e})")
            continue
        if not ck.expect((img.width, img.height) == (w, h), f"{pid}: size {img.width}x{img.height}, expected {w}x{h}"):
            continue
        check_strip(ck, pid, img, w, h, n, vertical)
        if pid == 149:
            check_launcher(ck, img, layout)
    for pid in (141,):
        ck.expect(not (res / "png" / f"{pid}.png").exists(), f"{pid}: must not exist")
    icon = res / "png" / "148.png"
    if ck.expect(icon.is_file(), "148: missing"):
        img = Image(icon.read_bytes())
        ck.expect((img.width, img.height) in ((256, 256), (64, 64)), f"148: size {img.width}x{img.height}")
    ico = res / "app.ico"
    if ck.expect(ico.is_file(), "app.ico: missing"):
        check_icon(ck, ico.read_bytes())
    for s in THEME_ICON_SIZES:
        p = res / "icons" / f"{s}.png"
        img = Image(p.read_bytes()) if ck.expect(p.is_file(), f"icons/{s}.png: missing") else None
        ck.expect(not img or ((img.width, img.height) == (s, s) and img.alpha(0, 0) == 0), f"icons/{s}.png: no {s}px icon")
    for f in ck.failures:
        print("FAIL", f)
    print(f"{ck.passed} passed, {len(ck.failures)} failed")
    return 1 if ck.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
