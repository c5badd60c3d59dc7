#!/usr/bin/env python3
"""Writes the demo news pictures as SVG files (1.svg .. N.svg) into a folder.

    news_art.py OUT_DIR

Each picture is an 800 x 450 promo banner in the launcher's dark/amber style:
a glowing line icon for the topic, a short headline and a small city skyline.
The icons are Lucide glyphs (ISC, copied into icons/ next to this file); the
text uses DejaVu Sans, which tools/render_assets.sh installs before rendering.
Everything is seeded, so the output is the same on every run.
"""
import math
import os
import random
import re
import sys

W, H = 800, 450
ROAD_HORIZON = 352
HERE = os.path.dirname(os.path.abspath(__file__))

# (tag, headline lines, lucide icon, extra decoration). The order matches the
# picture numbers the demo backend hands out in /news.
TOPICS = [
    ("СОБЫТИЕ", ["ЗИМНИЙ", "ФЕСТИВАЛЬ"], "snowflake", "snow"),
    ("ОБНОВЛЕНИЕ", ["ВЕРСИЯ", "2.4"], "wrench", "grid"),
    ("АВТОСАЛОН", ["НОВЫЕ", "АВТО"], "car-front", "road"),
    ("НЕДВИЖИМОСТЬ", ["НОВЫЕ", "ДОМА"], "house", "city"),
    ("ФРАКЦИИ", ["НАБОР", "В ПОЛИЦИЮ"], "shield", "siren"),
    ("СОБЫТИЕ", ["УЛИЧНЫЕ", "ГОНКИ"], "flag", "road"),
    ("БОНУС", ["ДВОЙНОЙ", "ОПЫТ X2"], "zap", "rays"),
    ("ТУРНИР", ["КУБОК", "СЕРВЕРА"], "trophy", "rays"),
]


def f(v):
    s = f"{v:.1f}"
    return s[:-2] if s.endswith(".0") else s


def icon_body(name):
    """Inner elements of a Lucide SVG (they inherit stroke styling)."""
    with open(os.path.join(HERE, "icons", name + ".svg"), encoding="utf-8") as fh:
        text = fh.read()
    m = re.search(r"<svg[^>]*>(.*)</svg>", text, re.S)
    if not m:
        raise SystemExit(f"unexpected icon file: {name}.svg")
    return m.group(1).strip()


def skyline(rng, base, max_h, lit):
    parts, wins = [], []
    x = -10
    while x < W + 10:
        w = rng.randint(22, 64)
        h = rng.uniform(0.25, 1.0) * max_h
        parts.append(f"M{x} {base}V{f(base - h)}H{x + w}V{base}Z")
        if lit and h > 50:
            for _ in range(rng.randint(0, 4)):
                wx = x + rng.randint(4, max(4, w - 8))
                wy = base - h + rng.randint(8, max(8, int(h) - 14))
                wins.append(f'<rect x="{wx}" y="{wy}" width="3" height="5" '
                            f'opacity="{rng.choice((0.35, 0.55, 0.8))}"/>')
        x += w
    return "".join(parts), "".join(wins)


def decoration(kind, rng):
    if kind == "snow":
        dots = []
        for _ in range(70):
            dots.append(f'<circle cx="{f(rng.uniform(0, W))}" cy="{f(rng.uniform(0, H - 60))}" '
                        f'r="{rng.choice((1.2, 1.8, 2.5))}" opacity="{rng.choice((0.25, 0.4, 0.6))}"/>')
        return f'<g fill="#FFF6D0">{"".join(dots)}</g>'
    if kind == "grid":
        lines = []
        for i in range(0, W, 40):
            lines.append(f'<path d="M{i} 0V{H}"/>')
        for j in range(0, H, 40):
            lines.append(f'<path d="M0 {j}H{W}"/>')
        return (f'<g stroke="#FFCC00" stroke-width="1" opacity="0.06">{"".join(lines)}</g>'
                f'<g stroke="#FFCC00" stroke-width="2" fill="none" opacity="0.25">'
                f'<path d="M380 60H470L500 90H640"/><path d="M420 380H520L550 350H760"/>'
                f'<circle cx="640" cy="90" r="5"/><circle cx="760" cy="350" r="5"/></g>')
    if kind == "road":
        # Drawn in front of the skyline: a road running to the horizon.
        hy, vx = ROAD_HORIZON, 560
        dashes = []
        for k in range(7):
            t0, t1 = (k + 0.15) / 7, (k + 0.6) / 7
            y0, y1 = hy + (H - hy) * t0 * t0, hy + (H - hy) * t1 * t1
            dashes.append(f'<path d="M{vx} {f(y0)}V{f(y1)}" stroke-width="{f(1.5 + 9 * t1)}"/>')
        return (f'<rect y="{hy}" width="{W}" height="{H - hy}" fill="#0b0b0b"/>'
                f'<path d="M{vx - 14} {hy}H{vx + 14}L{W + 160} {H}H-160Z" fill="#161514"/>'
                f'<g stroke="#FFCC00" stroke-width="3" opacity="0.55">'
                f'<path d="M{vx - 14} {hy}L-160 {H}"/><path d="M{vx + 14} {hy}L{W + 160} {H}"/></g>'
                f'<g stroke="#FEDD2C" opacity="0.7">{"".join(dashes)}</g>')
    if kind == "siren":
        return ('<circle cx="760" cy="40" r="220" fill="url(#red)"/>'
                '<circle cx="420" cy="30" r="220" fill="url(#blue)"/>')
    if kind == "rays":
        rays = []
        for k in range(18):
            a0 = math.radians(k * 20)
            a1 = a0 + math.radians(8)
            r = 700
            rays.append(f'<path d="M560 210L{f(560 + r * math.cos(a0))} {f(210 + r * math.sin(a0))}'
                        f'L{f(560 + r * math.cos(a1))} {f(210 + r * math.sin(a1))}Z"/>')
        return f'<g fill="url(#ray)">{"".join(rays)}</g>'
    return ""


def banner(index, tag, lines, icon, kind):
    rng = random.Random(1000 + index)
    if kind == "road":
        city, wins = skyline(rng, ROAD_HORIZON, 46, True)
        back, front = "", decoration(kind, rng)
    else:
        city, wins = skyline(rng, H - 6, 150 if kind == "city" else 90,
                             kind in ("city", "snow", "grid"))
        back, front = decoration(kind, rng), ""
    # The card shows the middle square of the picture, and the card's own title
    # says what the news is, so the art stays in the centre and carries no text.
    body = icon_body(icon)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" viewBox="0 0 {W} {H}">
<defs>
  <linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#1c1a14"/>
    <stop offset="1" stop-color="#0d0d0d"/>
  </linearGradient>
  <radialGradient id="glow" cx="400" cy="210" r="330" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#FFCC00" stop-opacity="0.42"/>
    <stop offset="0.45" stop-color="#A88E00" stop-opacity="0.14"/>
    <stop offset="1" stop-color="#A88E00" stop-opacity="0"/>
  </radialGradient>
  <radialGradient id="ray" cx="400" cy="210" r="520" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#FFCC00" stop-opacity="0.18"/>
    <stop offset="1" stop-color="#FFCC00" stop-opacity="0"/>
  </radialGradient>
  <radialGradient id="red"><stop offset="0" stop-color="#ff3b3b" stop-opacity="0.35"/><stop offset="1" stop-color="#ff3b3b" stop-opacity="0"/></radialGradient>
  <radialGradient id="blue"><stop offset="0" stop-color="#3b7bff" stop-opacity="0.30"/><stop offset="1" stop-color="#3b7bff" stop-opacity="0"/></radialGradient>
  <linearGradient id="shade" x1="0" y1="0" x2="1" y2="0">
    <stop offset="0" stop-color="#0a0a0a" stop-opacity="0.85"/>
    <stop offset="0.55" stop-color="#0a0a0a" stop-opacity="0.35"/>
    <stop offset="1" stop-color="#0a0a0a" stop-opacity="0"/>
  </linearGradient>
  <filter id="blur" x="-60%" y="-60%" width="220%" height="220%"><feGaussianBlur stdDeviation="1.1"/></filter>
</defs>
<rect width="{W}" height="{H}" fill="url(#bg)"/>
<rect width="{W}" height="{H}" fill="url(#glow)"/>
{back}
<circle cx="400" cy="210" r="150" fill="none" stroke="#FFCC00" stroke-width="2" opacity="0.18"/>
<circle cx="400" cy="210" r="185" fill="none" stroke="#FFCC00" stroke-width="1" opacity="0.10"/>
<g transform="translate(285 95) scale(9.6)" fill="none" stroke-linecap="round" stroke-linejoin="round">
  <g stroke="#FFCC00" stroke-width="2.6" opacity="0.7" filter="url(#blur)">{body}</g>
  <g stroke="#FEDD2C" stroke-width="1.7">{body}</g>
</g>
<path d="{city}" fill="#090909"/>
<g fill="#FFCC00">{wins}</g>
{front}
</svg>
"""


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: news_art.py OUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for i, (tag, lines, icon, kind) in enumerate(TOPICS, start=1):
        with open(os.path.join(out, f"{i}.svg"), "w", encoding="utf-8") as fh:
            fh.write(banner(i, tag, lines, icon, kind))


if __name__ == "__main__":
    main()
