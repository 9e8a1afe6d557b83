#!/usr/bin/env python3
"""Draws Quillmere's four window pictures and writes them as RGBA PNG files.

    python3 tools/pictures/make_pictures.py assets/

Everything is procedural and deterministic: the same bytes on every run.
The backdrop is laid out in window pixels of the 626 x 626 window (origin
bottom-left, y up), the space the backdrop shader, the buttons and the text
use, and rasterised onto the 1024 x 1024 picture.
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# PNG output


def png_chunk(tag, data):
    body = tag + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(row, prev):
    """Picks the PNG filter with the smallest absolute sum, the usual heuristic."""
    n = len(row)
    left = bytes(4) + row[:-4]
    upleft = bytes(4) + prev[:-4]
    candidates = [
        bytes(row),
        bytes((row[i] - left[i]) & 255 for i in range(n)),
        bytes((row[i] - prev[i]) & 255 for i in range(n)),
        bytes((row[i] - ((left[i] + prev[i]) >> 1)) & 255 for i in range(n)),
        bytes((row[i] - paeth(left[i], prev[i], upleft[i])) & 255 for i in range(n)),
    ]
    costs = [sum(v if v < 128 else 256 - v for v in c) for c in candidates]
    kind = costs.index(min(costs))
    return bytes([kind]) + candidates[kind]


def write_png(path, width, height, rows):
    """rows: top row first, each a bytes-like of width * 4 RGBA values."""
    raw = bytearray()
    prev = bytes(width * 4)
    for row in rows:
        row = bytes(row)
        raw += filter_row(row, prev)
        prev = row
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    data = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


# ---------------------------------------------------------------------------
# Small maths


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def ramp(e0, e1, x):
    s = clamp((x - e0) / (e1 - e0))
    return s * s * (3.0 - 2.0 * s)


def mix(a, b, k):
    return (a[0] + (b[0] - a[0]) * k, a[1] + (b[1] - a[1]) * k, a[2] + (b[2] - a[2]) * k)


def add(a, b, k=1.0):
    return (a[0] + b[0] * k, a[1] + b[1] * k, a[2] + b[2] * k)


def scale(a, k):
    return (a[0] * k, a[1] * k, a[2] * k)


def cover(d, aa):
    """Analytic coverage of a shape whose signed distance is d, over a pixel aa wide."""
    return clamp(0.5 - d / aa)


def to_bytes(c):
    return [int(clamp(v) * 255.0 + 0.5) for v in c]


# ---------------------------------------------------------------------------
# Signed distances (negative inside)


def sd_round_box(px, py, hx, hy, r):
    qx = abs(px) - hx + r
    qy = abs(py) - hy + r
    ox, oy = max(qx, 0.0), max(qy, 0.0)
    return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r


def sd_chamfer_box(px, py, hx, hy, c_top, c_bottom):
    """Box with its corners cut at 45 degrees; the cut may differ top and bottom."""
    qx = abs(px) - hx
    qy = abs(py) - hy
    box = math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0)
    c = c_top if py > 0.0 else c_bottom
    return max(box, (qx + qy + c) * 0.70710678)


def sd_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    h = clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(px - ax - dx * h, py - ay - dy * h)


def sd_arc(px, py, radius, a0, a1):
    """Distance to the part of a circle (centre at the origin) between angles a0 and a1."""
    a = a0 + (math.atan2(py, px) - a0) % (2.0 * math.pi)
    if a <= a1:
        return abs(math.hypot(px, py) - radius)
    return min(math.hypot(px - radius * math.cos(a0), py - radius * math.sin(a0)),
               math.hypot(px - radius * math.cos(a1), py - radius * math.sin(a1)))


def gradient(f, x, y, e=0.35):
    """Unit outward normal of the distance field f at (x, y)."""
    gx = f(x + e, y) - f(x - e, y)
    gy = f(x, y + e) - f(x, y - e)
    n = math.hypot(gx, gy) or 1.0
    return gx / n, gy / n


# ---------------------------------------------------------------------------
# Noise with a fixed seed


def hash2(ix, iy, seed):
    h = (ix * 374761393 + iy * 668265263 + seed * 1442695041) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    h ^= h >> 16
    return (h & 0xFFFFFF) / 16777216.0


def value_noise(x, y, seed):
    ix, iy = math.floor(x), math.floor(y)
    fx, fy = x - ix, y - iy
    ux, uy = fx * fx * (3.0 - 2.0 * fx), fy * fy * (3.0 - 2.0 * fy)
    a = hash2(ix, iy, seed)
    b = hash2(ix + 1, iy, seed)
    c = hash2(ix, iy + 1, seed)
    d = hash2(ix + 1, iy + 1, seed)
    return a + (b - a) * ux + (c - a) * uy + (a - b - c + d) * ux * uy


def brushed(x, y, seed):
    """Long horizontal streaks, like brushed metal, in -0.5..0.5."""
    return (0.6 * value_noise(x * 0.015, y * 1.3, seed)
            + 0.4 * value_noise(x * 0.06, y * 2.9, seed + 1) - 0.5)


# ---------------------------------------------------------------------------
# Backdrop layout, in window pixels (626 x 626, y up)

WIN = 626.0
BACK = 1024
TEXEL = WIN / BACK  # window pixels per picture pixel, the anti-aliasing width
LIGHT = (-0.45, 0.89)  # light comes from the top, a little from the left

# The window's outline: the colour key cuts away everything outside it.
OUTLINE = (313.0, 313.0, 302.5, 306.0, 33.0)  # centre, half-size, chamfer
# Marquee at the top: the title, the warning and the two icons sit on it.
HEADER = (313.0, 578.0, 292.0, 31.0, 20.0, 4.0)
# Control strip at the bottom: the two buttons and the status lines.
FOOTER = (313.0, 62.0, 292.0, 47.0, 4.0, 20.0)
# The screen opening: the CRT scene fills uv 0.06..0.94 x 0.20..0.80.
SCREEN = (313.0, 313.0, 275.5, 188.0, 16.0)
# Icon sockets around the 32 x 28 icon boxes centred (49, 583) and (577, 583).
SOCKETS = ((49.0, 583.0), (577.0, 583.0))
SOCKET_HALF = (19.5, 17.5, 5.0)
# Sockets behind the buttons, a little larger than the drawn buttons.
BUTTON_SOCKETS = ((92.0, 68.0, 49.5, 23.5), (268.0, 68.0, 125.5, 23.5))
# Status window, to the right of the help button; the text starts at x 400.
STATUS = (496.0, 62.0, 102.5, 39.0, 4.0)

METAL = (0.082, 0.078, 0.090)
PLATE = (0.040, 0.037, 0.045)
GLASS = (0.012, 0.011, 0.015)
EDGE = (0.62, 0.58, 0.60)
RED = (0.95, 0.11, 0.09)
SOCKET_FLOOR = (0.018, 0.016, 0.020)
HOT = (1.0, 0.62, 0.56)


def sd_outline(x, y):
    cx, cy, hx, hy, c = OUTLINE
    return sd_chamfer_box(x - cx, y - cy, hx, hy, c, c)


def sd_header(x, y):
    cx, cy, hx, hy, ct, cb = HEADER
    return sd_chamfer_box(x - cx, y - cy, hx, hy, ct, cb)


def sd_footer(x, y):
    cx, cy, hx, hy, ct, cb = FOOTER
    return sd_chamfer_box(x - cx, y - cy, hx, hy, ct, cb)


def sd_screen(x, y):
    cx, cy, hx, hy, r = SCREEN
    return sd_round_box(x - cx, y - cy, hx, hy, r)


def raised_edge(col, d, f, x, y, width, strength):
    """Bevel of a raised plate: lit where its edge faces the light."""
    if -width < d < 0.0:
        nx, ny = gradient(f, x, y)
        k = (1.0 + d / width) ** 2
        col = add(col, (1.0, 0.97, 1.0), strength * k * (nx * LIGHT[0] + ny * LIGHT[1]))
    return col


def recess(col, d, f, x, y, floor, wall=2.6):
    """A recessed area: floor colour inside, walls lit or shadowed by their slope,
    and a fine lip around the rim that catches the light."""
    if d > 2.5:
        return col
    nx, ny = gradient(f, x, y) if d > -wall - 1.0 else (0.0, 0.0)
    facing = nx * LIGHT[0] + ny * LIGHT[1]
    inside = cover(d, TEXEL)
    # Walls: the inward normal is -n, so the upper wall (facing down) is in shadow.
    wall_k = ramp(-wall, 0.0, d)
    inner = add(floor, (1.0, 0.98, 1.0), -0.09 * facing * wall_k)
    inner = scale(inner, 1.0 - 0.35 * wall_k * max(facing, 0.0))
    col = mix(col, inner, inside)
    lip = clamp(1.0 - abs(d - 0.9) / 0.9)
    return add(col, (1.0, 0.96, 0.98), lip * (0.035 + 0.05 * max(-facing, 0.0)))


def frame_surface(x, y):
    base = add(METAL, (1.0, 1.0, 1.0), 0.03 * (y / WIN - 0.5))
    n = brushed(x, y, 11)
    return add(base, (1.0, 0.98, 1.02), 0.05 * n)


def frame_rim(col, d):
    """Outer edge: a dark lip at the keyed cut, then the thin bright edge line."""
    k = -d  # depth inside the outline
    edge_line = clamp(1.0 - abs(k - 1.9) / 0.75)
    col = mix(col, (0.02, 0.02, 0.025), clamp(1.0 - (k - 0.6) / 0.7))
    return mix(col, EDGE, 0.85 * edge_line)


def accent_line(col, x, y, y0, x_half, strength):
    """A thin red light tube along y0, brightest in the middle, with a soft glow."""
    dx = abs(x - 313.0) / x_half
    if dx >= 1.0:
        return col
    fade = (1.0 - dx * dx) ** 1.5
    dy = abs(y - y0)
    core = cover(dy - 0.7, TEXEL)
    glow = 0.30 * math.exp(-dy / 1.6) + 0.12 * math.exp(-dy / 6.0)
    col = add(col, RED, strength * fade * glow)
    return mix(col, mix(RED, HOT, 0.35 * fade), strength * fade * core)


def corner_brackets(col, x, y):
    """Red L marks just outside the four corners of the screen opening."""
    cx, cy, hx, hy, _ = SCREEN
    px, py = abs(x - cx), abs(y - cy)
    ex, ey = hx + 7.0, hy + 7.0
    if px < ex - 26.0 or py < ey - 26.0:
        return col
    d = min(sd_segment(px, py, ex - 24.0, ey, ex, ey), sd_segment(px, py, ex, ey - 24.0, ex, ey))
    line = cover(d - 0.8, TEXEL)
    glow = 0.22 * math.exp(-d / 2.5)
    col = add(col, RED, glow)
    return mix(col, mix(RED, HOT, 0.2), 0.9 * line)


def header_art(col, x, y):
    cx, cy = HEADER[0], HEADER[1]
    d = sd_header(x, y)
    if d > 3.0:
        return col
    floor = add(PLATE, (1.0, 1.0, 1.0), 0.012 * brushed(x * 0.5, y, 23))
    # A faint warm backlight behind the title, like a lit marquee.
    bx, by = (x - cx) / 230.0, (y - 590.0) / 26.0
    floor = add(floor, (0.085, 0.012, 0.018), math.exp(-(bx * bx + by * by)))
    col = recess(col, d, sd_header, x, y, floor)
    return accent_line(col, x, y, cy - HEADER[3] + 3.0, 250.0, 0.9)


def footer_art(col, x, y):
    d = sd_footer(x, y)
    if d > 3.0:
        return col
    floor = add(PLATE, (1.0, 1.0, 1.0), 0.012 * brushed(x * 0.5, y, 29))
    col = recess(col, d, sd_footer, x, y, floor)
    col = accent_line(col, x, y, FOOTER[1] + FOOTER[3] - 3.0, 250.0, 0.55)
    for bx, by, hx, hy in BUTTON_SOCKETS:
        f = lambda u, v, bx=bx, by=by, hx=hx, hy=hy: sd_round_box(u - bx, v - by, hx, hy, 8.0)
        col = recess(col, f(x, y), f, x, y, (0.022, 0.021, 0.028), wall=2.0)
    sx, sy, hx, hy, r = STATUS
    f = lambda u, v: sd_round_box(u - sx, v - sy, hx, hy, r)
    ds = f(x, y)
    if ds < 3.0:
        # A dark readout window with very fine scan rows behind the status lines.
        rows = 0.005 * math.sin(y * 2.0 * math.pi / 3.0)
        glass = (0.016 + rows, 0.018 + rows, 0.024 + rows)
        col = recess(col, ds, f, x, y, glass, wall=2.2)
        # Small red pilot lamp in the readout's top right corner.
        lamp = math.hypot(x - (sx + hx - 8.0), y - (sy + hy - 8.0))
        col = add(col, RED, 0.35 * math.exp(-lamp / 2.5))
        col = mix(col, HOT, 0.8 * cover(lamp - 1.4, TEXEL))
    return col


def socket_art(col, x, y):
    hx, hy, r = SOCKET_HALF
    for sx, sy in SOCKETS:
        if abs(x - sx) < hx + 4.0 and abs(y - sy) < hy + 4.0:
            f = lambda u, v, sx=sx, sy=sy: sd_round_box(u - sx, v - sy, hx, hy, r)
            col = recess(col, f(x, y), f, x, y, SOCKET_FLOOR, wall=2.2)
    return col


# ---------------------------------------------------------------------------
# The emblem: a wireframe icosahedron inside a ring whose tail makes a Q


def icosahedron(radius, yaw, pitch, roll):
    """Projected edges as (ax, ay, bx, by, front), centred on the origin."""
    phi = (1.0 + math.sqrt(5.0)) / 2.0
    verts = []
    for a in (-1.0, 1.0):
        for b in (-phi, phi):
            verts += [(0.0, a, b), (a, b, 0.0), (b, 0.0, a)]
    norm = math.sqrt(1.0 + phi * phi)

    def rotate(v):
        x, y, z = v
        c, s = math.cos(yaw), math.sin(yaw)
        x, z = c * x + s * z, -s * x + c * z
        c, s = math.cos(pitch), math.sin(pitch)
        y, z = c * y - s * z, s * y + c * z
        c, s = math.cos(roll), math.sin(roll)
        x, y = c * x - s * y, s * x + c * y
        return (x * radius / norm, y * radius / norm, z * radius / norm)

    pts = [rotate(v) for v in verts]
    n = len(pts)
    near = lambda i, j: abs(math.dist(verts[i], verts[j]) - 2.0) < 1e-6
    edges = [(i, j) for i in range(n) for j in range(i + 1, n) if near(i, j)]
    front = set()
    for i, j in edges:
        for k in range(j + 1, n):
            if near(i, k) and near(j, k):
                # On a convex solid a face looks at the viewer (+z) when its
                # centre lies on the near side; its edges are drawn bright.
                if pts[i][2] + pts[j][2] + pts[k][2] > 0.0:
                    front |= {(i, j), (i, k), (j, k)}
    segs = [(pts[i][0], pts[i][1], pts[j][0], pts[j][1], (i, j) in front) for i, j in edges]
    nodes = [(p[0], p[1]) for p in pts if p[2] > 0.0]
    return segs, nodes


EMBLEM_CENTRE = (313.0, 316.0)
EMBLEM_RING = 84.0
EMBLEM_SEGS, EMBLEM_NODES = icosahedron(66.0, 0.38, 0.52, 0.12)
EMBLEM_REACH = 150.0


def emblem_distances(px, py):
    """Distances to the bright strokes, the dimmed back edges and the faint inner ring."""
    front, back = 1e9, 1e9
    for ax, ay, bx, by, is_front in EMBLEM_SEGS:
        d = sd_segment(px, py, ax, ay, bx, by)
        if is_front:
            front = min(front, d)
        else:
            back = min(back, d)
    r = EMBLEM_RING
    tail = -math.pi / 4.0
    # Outer ring with a gap where the Q's tail crosses it.
    ring = sd_arc(px, py, r, tail + 0.16, tail + 2.0 * math.pi - 0.16)
    inner = sd_arc(px, py, r - 7.0, tail + 0.30, tail + 2.0 * math.pi - 0.30)
    ct, st = math.cos(tail), math.sin(tail)
    q_tail = sd_segment(px, py, ct * (r - 16.0), st * (r - 16.0), ct * (r + 24.0), st * (r + 24.0))
    # Wings reaching out left and right, ending in small diamonds.
    wing = min(sd_segment(px, py, r + 10.0, 0.0, r + 52.0, 0.0),
               sd_segment(px, py, -r - 10.0, 0.0, -r - 52.0, 0.0))
    ax = abs(px) - (r + 60.0)
    diamond = abs(abs(ax) + abs(py) - 5.0) * 0.70710678
    # Short ticks above and below the ring; the wings take the sides.
    ticks = min(sd_segment(px, py, 0.0, r + 4.0, 0.0, r + 11.0),
                sd_segment(px, py, 0.0, -r - 4.0, 0.0, -r - 11.0))
    strokes = min(front, ring, q_tail, wing, diamond, ticks)
    return strokes, back, inner


def emblem_art(col, x, y):
    px, py = x - EMBLEM_CENTRE[0], y - EMBLEM_CENTRE[1]
    if abs(px) > EMBLEM_REACH or abs(py) > EMBLEM_RING + 40.0:
        return col
    strokes, back, inner = emblem_distances(px, py)
    node = min(math.hypot(px - nx, py - ny) for nx, ny in EMBLEM_NODES)
    # Light adds up: a wide soft glow, a tight glow, the red stroke and a hot core.
    glow = (0.20 * math.exp(-strokes / 7.0) + 0.45 * math.exp(-strokes / 1.8)
            + 0.18 * math.exp(-back / 2.0) + 0.12 * math.exp(-inner / 1.6))
    col = add(col, RED, glow)
    col = mix(col, scale(RED, 0.55), 0.75 * cover(back - 0.55, TEXEL))
    col = mix(col, scale(RED, 0.42), 0.80 * cover(inner - 0.45, TEXEL))
    col = mix(col, RED, cover(strokes - 1.2, TEXEL))
    col = mix(col, HOT, 0.75 * cover(strokes - 0.45, TEXEL))
    col = add(col, RED, 0.5 * math.exp(-node / 2.2))
    return mix(col, (1.0, 0.85, 0.80), cover(node - 1.7, TEXEL))


def screen_art(col, x, y):
    d = sd_screen(x, y)
    if d > 10.0:
        return col
    # The glass stays dark enough for the scene behind it to show in full.
    col = recess(col, d, sd_screen, x, y, GLASS, wall=3.2)
    if d < 0.0:
        col = emblem_art(col, x, y)
    return col


def backdrop_texel(i, r):
    x = (i + 0.5) * TEXEL
    y = WIN - (r + 0.5) * TEXEL
    d = sd_outline(x, y)
    alpha = cover(d, TEXEL)
    # Outside the outline the rim colour carries on, so that filtering at the
    # keyed edge does not pull in black.
    dc = min(d, -0.05)
    col = frame_surface(x, y)
    col = raised_edge(col, dc, sd_outline, x, y, 5.0, 0.06)
    col = frame_rim(col, dc)
    if y > 450.0:
        col = header_art(col, x, y)
        col = socket_art(col, x, y)
    if y < 130.0:
        col = footer_art(col, x, y)
    col = screen_art(col, x, y)
    col = corner_brackets(col, x, y)
    # Fine grain so that the dark areas do not look flat.
    col = add(col, (1.0, 1.0, 1.0), 0.010 * (hash2(i, r, 7) - 0.5))
    return to_bytes(col) + [int(alpha * 255.0 + 0.5)]


def make_backdrop():
    rows = []
    for r in range(BACK):
        row = bytearray()
        for i in range(BACK):
            row += bytes(backdrop_texel(i, r))
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------
# Icons. Each picture is stretched over a 32 x 28 box in the window, so the
# shapes are drawn in that box's units to come out round and square there.

ICON_BOX = (32.0, 28.0)
TILE_FRAME = SOCKET_FLOOR  # shows in the tile's rounded corners, so they melt into the socket


def icon_tile(u, v, aa, top, bottom):
    """The dark red rounded tile, with a lit top edge and a darker rim."""
    w, h = ICON_BOX
    d = sd_round_box(u - w / 2.0, v - h / 2.0, w / 2.0 - 0.6, h / 2.0 - 0.6, 4.0)
    t = v / h
    col = mix(bottom, top, t)
    col = add(col, (1.0, 0.4, 0.4), 0.05 * math.exp(-((u - w / 2) ** 2 + (v - h * 0.7) ** 2) / 90.0))
    rim = clamp(1.0 + d / 1.6)
    col = add(col, (1.0, 0.55, 0.55), 0.20 * rim * t * t)
    col = scale(col, 1.0 - 0.35 * rim * (1.0 - t))
    return mix(TILE_FRAME, col, cover(d, aa))


def glyph(col, d, aa, colour, glow):
    col = add(col, colour, glow * math.exp(-max(d, 0.0) / 1.3))
    return mix(col, colour, cover(d, aa))


def close_colour(u, v, aa):
    col = icon_tile(u, v, aa, (0.34, 0.05, 0.06), (0.17, 0.02, 0.03))
    cx, cy = ICON_BOX[0] / 2.0, ICON_BOX[1] / 2.0
    k = 6.3
    d = min(sd_segment(u, v, cx - k, cy - k, cx + k, cy + k),
            sd_segment(u, v, cx - k, cy + k, cx + k, cy - k)) - 1.45
    col = glyph(col, d, aa, (1.0, 0.20, 0.17), 0.30)
    return mix(col, (1.0, 0.66, 0.60), 0.55 * cover(d + 0.8, aa))


def sd_speaker(u, v):
    """The speaker: a small box and a cone opening to the right."""
    cy = ICON_BOX[1] / 2.0
    body = sd_round_box(u - 8.6, v - cy, 2.2, 2.9, 0.6)
    # Cone: a trapezoid between x 10.8 and 15.6, from half-height 2.9 to 7.
    t = clamp((u - 10.8) / 4.8)
    half = 2.9 + 4.1 * t
    cone = max(abs(v - cy) - half, 10.8 - u, u - 15.6) * 0.8
    return min(body, cone)


def sd_waves(u, v, count):
    cx, cy = 13.0, ICON_BOX[1] / 2.0
    d = 1e9
    for k in range(count):
        radius = 6.0 + 3.8 * k
        d = min(d, sd_arc(u - cx, v - cy, radius, -0.72, 0.72) - 0.95)
    return d


def sound_colour(u, v, aa, muted):
    if muted:
        col = icon_tile(u, v, aa, (0.17, 0.025, 0.035), (0.085, 0.012, 0.018))
        col = glyph(col, sd_waves(u, v, 2), aa, (0.40, 0.10, 0.11), 0.0)
        col = glyph(col, sd_speaker(u, v), aa, (0.72, 0.25, 0.24), 0.10)
        # A slash across the speaker says it is silent.
        d = sd_segment(u, v, 7.2, 5.6, 24.6, 22.4) - 1.15
        # A dark gap around the slash keeps it apart from the speaker behind it.
        col = mix(col, TILE_FRAME, 0.9 * cover(d - 0.9, aa))
        return glyph(col, d, aa, (1.0, 0.26, 0.23), 0.18)
    col = icon_tile(u, v, aa, (0.34, 0.05, 0.06), (0.17, 0.02, 0.03))
    col = glyph(col, sd_waves(u, v, 3), aa, (1.0, 0.30, 0.26), 0.28)
    col = glyph(col, sd_speaker(u, v), aa, (1.0, 0.42, 0.36), 0.28)
    return mix(col, (1.0, 0.72, 0.66), 0.5 * cover(sd_speaker(u, v) + 0.8, aa))


def make_icon(width, height, colour_fn, clear_rows):
    """Rasterises colour_fn(u, v, aa) over the icon box, 4 x 4 samples a pixel."""
    sx, sy = ICON_BOX[0] / width, ICON_BOX[1] / height
    aa = max(sx, sy)
    rows = []
    for r in range(height):
        row = bytearray()
        for i in range(width):
            acc = [0.0, 0.0, 0.0]
            for a in range(4):
                for b in range(4):
                    u = (i + (a + 0.5) / 4.0) * sx
                    v = ICON_BOX[1] - (r + (b + 0.5) / 4.0) * sy
                    acc = add(acc, colour_fn(u, v, aa / 4.0), 1.0 / 16.0)
            alpha = 0 if clear_rows and r in (0, height - 1) else 255
            row += bytes(to_bytes(acc) + [alpha])
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------


def main(argv):
    if len(argv) != 2:
        print("usage: make_pictures.py OUTPUT_DIR", file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    jobs = [
        ("close_icon.png", 59, 57, lambda: make_icon(59, 57, close_colour, False)),
        ("sound_muted.png", 60, 59,
         lambda: make_icon(60, 59, lambda u, v, aa: sound_colour(u, v, aa, True), True)),
        ("sound_on.png", 60, 59,
         lambda: make_icon(60, 59, lambda u, v, aa: sound_colour(u, v, aa, False), True)),
        ("backdrop.png", BACK, BACK, make_backdrop),
    ]
    for name, w, h, make in jobs:
        size = write_png(os.path.join(out, name), w, h, make())
        print(f"{name}: {w} x {h}, {size} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
