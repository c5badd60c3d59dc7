#!/usr/bin/env python3
"""Generates the layers of the launcher window background (2160 x 1320).

A night skyline under an amber haze. The city is generated from a fixed seed
so every run produces byte-identical output (and therefore identical PNGs).

    background.py city   > city.svg    buildings, moon, beams (transparent SVG)
    background.py sky    > sky.ppm     sky, haze and ground gradients, 16-bit
    background.py shade  > shade.pgm   sidebar darkening + vignette, 16-bit

The large, very dark gradients are computed here in 16 bits instead of in the
SVG: rendered straight to 8 bits they band into visible stripes (and the
stripes change hue, because R, G and B step at different places). The render
script composites the layers at 16 bits and ordered-dithers once to 8 bits,
which stays smooth and still compresses well.

Layout constraints of the launcher window (drawn at 2x):
  * x 40..450 is covered by the semi-transparent sidebar, so the left edge is
    kept low and dark;
  * news cards and the server text sit on the centre/lower part, so the
    skyline stays low-contrast and the ground below it is almost flat black.
Everything is built from gradients and flat shapes: random per-pixel noise
would blow up the PNG size and fight the text laid over it.
"""
import math
import random
import sys
from array import array

W, H = 2160, 1320
HORIZON = 905          # where the buildings stand
SIDEBAR_END = 470      # keep the city low and quiet left of this
MOON_X, MOON_Y = 1780, 215

rng = random.Random(20240611)


def f(v):
    """Compact, stable number formatting for the SVG."""
    s = f"{v:.1f}"
    return s[:-2] if s.endswith(".0") else s


def skyline(min_h, max_h, min_w, max_w, gap_chance, peak_x, spread):
    """Returns a list of (x, w, h, spire) buildings covering the full width.

    Heights follow a soft bell around peak_x so the city has a "downtown" on
    the right half instead of a uniform comb.
    """
    out = []
    x = -20
    while x < W + 20:
        w = rng.randint(min_w, max_w)
        d = (x + w / 2 - peak_x) / spread
        bell = 1.0 / (1.0 + d * d)
        h = min_h + (max_h - min_h) * bell * rng.uniform(0.55, 1.0)
        if x + w < SIDEBAR_END:
            h *= 0.55
        spire = rng.random() < 0.12 and h > (min_h + max_h) / 2
        out.append((x, w, h, spire))
        x += w + (rng.randint(4, 18) if rng.random() < gap_chance else 0)
    return out


def building_path(blds, base):
    parts = []
    for x, w, h, spire in blds:
        top = base - h
        parts.append(f"M{f(x)} {base}V{f(top)}H{f(x + w)}V{base}Z")
        # Set-back crowns on some of the taller blocks break up the flat tops.
        if h > 160 and w > 70 and (int(x) * 7 + int(h)) % 3 == 0:
            inset = w * 0.18
            step = min(60, h * 0.12)
            parts.append(f"M{f(x + inset)} {f(top)}V{f(top - step)}H{f(x + w - inset)}V{f(top)}Z")
            top -= step
        if spire:
            cx = x + w / 2
            parts.append(f"M{f(cx - 3)} {f(top)}V{f(top - h * 0.22)}H{f(cx + 3)}V{f(top)}Z")
            parts.append(f"M{f(cx - w * 0.22)} {f(top)}V{f(top - 14)}H{f(cx + w * 0.22)}V{f(top)}Z")
    return "".join(parts)


def windows(blds, base, density, max_count):
    """Sparse lit windows, only right of the sidebar and on taller blocks."""
    rects = []
    for x, w, h, _ in blds:
        if x < SIDEBAR_END + 40 or h < 140 or w < 40:
            continue
        cols = int((w - 16) // 14)
        rows = int((h - 30) // 20)
        for r in range(rows):
            for c in range(cols):
                if rng.random() < density:
                    wx = x + 10 + c * 14
                    wy = base - h + 18 + r * 20
                    op = rng.choice((0.25, 0.35, 0.5, 0.7))
                    rects.append((wx, wy, op))
    rng.shuffle(rects)
    rects = sorted(rects[:max_count])
    return "".join(
        f'<rect x="{f(x)}" y="{f(y)}" width="6" height="9" opacity="{o}"/>' for x, y, o in rects
    )


far = skyline(140, 470, 34, 96, 0.25, 1550, 520)
mid = skyline(80, 360, 42, 124, 0.30, 1350, 560)
near = skyline(24, 140, 70, 200, 0.15, 1700, 700)


def shaded(blds, base, fills):
    """Splits one layer into a few slightly different tones for depth."""
    groups = [[] for _ in fills]
    for i, b in enumerate(blds):
        groups[(i * 5 + int(b[1])) % len(fills)].append(b)
    return "".join(
        f'<path d="{building_path(g, base)}" fill="{c}"/>' for g, c in zip(groups, fills) if g
    )


def stars(count):
    """A few faint stars in the open sky, away from the sidebar and the moon."""
    out = []
    while len(out) < count:
        x, y = rng.uniform(SIDEBAR_END + 150, W - 20), rng.uniform(20, 430)
        if math.hypot(x - MOON_X, y - MOON_Y) < 140:
            continue
        r = rng.choice((0.9, 1.1, 1.4))
        o = rng.choice((0.15, 0.22, 0.3, 0.4))
        out.append(f'<circle cx="{f(x)}" cy="{f(y)}" r="{r}" opacity="{o}"/>')
    return "".join(out)


STARS = stars(46)


def city_svg():
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" viewBox="0 0 {W} {H}">
<defs>
  <radialGradient id="moon" cx="{MOON_X - 12}" cy="{MOON_Y - 10}" r="64" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#FFF3B0"/>
    <stop offset="1" stop-color="#E8C65A"/>
  </radialGradient>
  <mask id="crescent" maskUnits="userSpaceOnUse" x="0" y="0" width="{W}" height="{H}">
    <circle cx="{MOON_X}" cy="{MOON_Y}" r="57" fill="#fff"/>
    <circle cx="{MOON_X - 26}" cy="{MOON_Y - 14}" r="52" fill="#000"/>
  </mask>
  <linearGradient id="fog" x1="0" y1="{HORIZON - 260}" x2="0" y2="{HORIZON + 30}" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#3a2f0c" stop-opacity="0"/>
    <stop offset="0.8" stop-color="#4a3b0c" stop-opacity="0.45"/>
    <stop offset="1" stop-color="#2a2208" stop-opacity="0.6"/>
  </linearGradient>
  <linearGradient id="beam" x1="0" y1="1" x2="0" y2="0">
    <stop offset="0" stop-color="#FFCC00" stop-opacity="0.16"/>
    <stop offset="1" stop-color="#FFCC00" stop-opacity="0"/>
  </linearGradient>
  <linearGradient id="glint" x1="0" y1="0" x2="1" y2="0">
    <stop offset="0" stop-color="#FFCC00" stop-opacity="0"/>
    <stop offset="0.55" stop-color="#FFCC00" stop-opacity="0.35"/>
    <stop offset="1" stop-color="#FFCC00" stop-opacity="0"/>
  </linearGradient>
  <filter id="soft" x="-5%" y="-5%" width="110%" height="110%"><feGaussianBlur stdDeviation="2.2"/></filter>
  <filter id="beamblur" x="-20%" y="-5%" width="140%" height="110%"><feGaussianBlur stdDeviation="14"/></filter>
</defs>
<g fill="#FFF3C4">{STARS}</g>
<circle cx="{MOON_X}" cy="{MOON_Y}" r="56" fill="url(#moon)" opacity="0.9" mask="url(#crescent)"/>
<g filter="url(#beamblur)">
  <path d="M1190 {HORIZON - 250}L930 0H1040Z" fill="url(#beam)"/>
  <path d="M1270 {HORIZON - 250}L1420 0H1510Z" fill="url(#beam)" opacity="0.7"/>
  <path d="M2010 {HORIZON - 230}L2150 0H2250Z" fill="url(#beam)" opacity="0.8"/>
</g>
<g filter="url(#soft)">
  <path d="{building_path(far, HORIZON)}" fill="#2b2413" opacity="0.9"/>
</g>
<rect x="0" y="{HORIZON - 260}" width="{W}" height="290" fill="url(#fog)"/>
{shaded(mid, HORIZON, ("#17140e", "#1b170f", "#14120d"))}
<g fill="#FFCC00">{windows(mid, HORIZON, 0.12, 340)}</g>
<path d="{building_path(near, HORIZON)}" fill="#0e0d0b"/>
<rect x="{SIDEBAR_END + 80}" y="{HORIZON + 2}" width="{W - SIDEBAR_END - 80}" height="3" fill="url(#glint)"/>
</svg>
"""


# --- 16-bit gradient layers -------------------------------------------------
# Computed at half resolution (the render script upsamples them in 16 bits;
# they are smooth, so nothing is lost) to keep pure-Python run time short.
SCALE = 2
GW, GH = W // SCALE, H // SCALE


def rgb(hexstr):
    return tuple(int(hexstr[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


def ramp(stops, t):
    """SVG-style gradient lookup: stops are (offset, (r, g, b), alpha)."""
    if t <= stops[0][0]:
        return stops[0][1], stops[0][2]
    for (o0, c0, a0), (o1, c1, a1) in zip(stops, stops[1:]):
        if t <= o1:
            k = (t - o0) / (o1 - o0) if o1 > o0 else 1.0
            return tuple(p + (q - p) * k for p, q in zip(c0, c1)), a0 + (a1 - a0) * k
    return stops[-1][1], stops[-1][2]


def over(dst, src, a):
    return tuple(d + (s - d) * a for d, s in zip(dst, src))


SKY = [(0.0, rgb("#0b0b0c"), 1), (0.42, rgb("#13110d"), 1),
       (0.66, rgb("#2a220c"), 1), (0.69, rgb("#1a1609"), 1)]
GROUND = [(0.0, rgb("#15130e"), 1), (0.25, rgb("#0f0f0f"), 1), (1.0, rgb("#0a0a0a"), 1)]
HAZE = [(0.0, rgb("#FFCC00"), 0.34), (0.35, rgb("#E0A800"), 0.14), (1.0, rgb("#A88E00"), 0.0)]
MOONGLOW = [(0.0, rgb("#FEDD2C"), 0.20), (0.25, rgb("#FEDD2C"), 0.07), (1.0, rgb("#FEDD2C"), 0.0)]
REFLECT = [(0.0, rgb("#FFCC00"), 0.10), (1.0, rgb("#FFCC00"), 0.0)]
HAZE_C, HAZE_R, HAZE_SY = (1480, HORIZON), 1050, 0.55
REFL_R, REFL_SY = 700, 0.28
MOONGLOW_R = 330


def sky_pixel(x, y):
    if y < HORIZON:
        c, _ = ramp(SKY, y / H)
        g, a = ramp(MOONGLOW, math.hypot(x - MOON_X, y - MOON_Y) / MOONGLOW_R)
        c = over(c, g, a)
        g, a = ramp(HAZE, math.hypot(x - HAZE_C[0], (y - HAZE_C[1]) / HAZE_SY) / HAZE_R)
        return over(c, g, a)
    c, _ = ramp(GROUND, (y - HORIZON) / (H - HORIZON))
    g, a = ramp(REFLECT, math.hypot(x - HAZE_C[0], (y - HAZE_C[1]) / REFL_SY) / REFL_R)
    return over(c, g, a)


SIDE = [(0.0, None, 0.85), (0.6, None, 0.45), (1.0, None, 0.0)]
SIDE_END = SIDEBAR_END + 160
VIG_C, VIG_R, VIG_SY = (W * 0.58, H * 0.52), W * 0.72, 0.72
VIGNETTE = [(0.45, None, 0.0), (1.0, None, 0.7)]


def alpha_only(stops, t):
    if t <= stops[0][0]:
        return stops[0][2]
    for (o0, _, a0), (o1, _, a1) in zip(stops, stops[1:]):
        if t <= o1:
            return a0 + (a1 - a0) * (t - o0) / (o1 - o0)
    return stops[-1][2]


def shade_pixel(x, y):
    """Brightness factor: black side panel fade times an elliptic vignette."""
    side = alpha_only(SIDE, x / SIDE_END)
    vig = alpha_only(VIGNETTE, math.hypot(x - VIG_C[0], (y - VIG_C[1]) / VIG_SY) / VIG_R)
    return (1.0 - side) * (1.0 - vig)


def write_pnm(kind, channels, fn):
    out = sys.stdout.buffer
    out.write(f"{kind}\n{GW} {GH}\n65535\n".encode())
    for gy in range(GH):
        y = (gy + 0.5) * SCALE
        row = array("H")
        for gx in range(GW):
            v = fn((gx + 0.5) * SCALE, y)
            if channels == 1:
                v = (v,)
            row.extend(max(0, min(65535, round(c * 65535))) for c in v)
        if sys.byteorder == "little":
            row.byteswap()   # PNM samples are big-endian
        out.write(row.tobytes())


if __name__ == "__main__":
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    if mode == "city":
        sys.stdout.write(city_svg())
    elif mode == "sky":
        write_pnm("P6", 3, sky_pixel)
    elif mode == "shade":
        write_pnm("P5", 1, shade_pixel)
    else:
        sys.exit("usage: background.py city|sky|shade")
