#!/bin/sh
# Rebuilds the images of the resource bundle.
#
#   tools/render-images.sh             write resources/image-src/*.svg, then render them
#   tools/render-images.sh --png-only  render the SVGs as they are (keeps hand edits)
#   tools/render-images.sh --svg-only  only write the SVGs
#
# The SVGs are written by the python program below so that the three states of
# every button share one glyph; edit the glyph here, not in the SVG, unless you
# render with --png-only. The PNGs are committed: the build never runs this.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/resources/image-src"
out="$root/resources/image"

mode=all
case "${1:-}" in
    "") ;;
    --png-only) mode=png ;;
    --svg-only) mode=svg ;;
    *) echo "usage: $0 [--png-only|--svg-only]" >&2; exit 2 ;;
esac

need() {
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "render-images: '$1' not found; install $2" >&2
        exit 1
    fi
}

if [ "$mode" != png ]; then
    need python3 "python3 (no extra modules needed)"
    mkdir -p "$src"
    python3 - "$src" <<'PYEOF'
import math
import os
import sys

DEST = sys.argv[1]

WHITE = "#ffffff"
ACCENT = "#0096ff"          # the accent of the window's style sheets
RED = "#e5393b"
FONT = "DejaVu Sans, Liberation Sans, sans-serif"

written = []


def write(name, w, h, body, view=None):
    view = view or "0 0 %g %g" % (w, h)
    text = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!-- written by tools/render-images.sh; edit the glyph there -->\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
            'viewBox="%s">\n%s</svg>\n' % (w, h, view, body))
    with open(os.path.join(DEST, name + ".svg"), "w") as f:
        f.write(text)
    written.append(name)


def pt(cx, cy, r, deg):
    """Point at deg clockwise from twelve o'clock (screen y grows down)."""
    a = math.radians(deg)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def f(v):
    return ("%.2f" % v).rstrip("0").rstrip(".")


# ---------------------------------------------------------------- buttons
# Glyphs live on a 64x64 grid, centred, inside roughly 16..48 so that the
# hover disc (r 30) frames them. Buttons are stretched to their rectangle by
# border-image, so strokes are kept heavy enough for ~25 px on screen.

def stroke(d, w=4.5, extra=""):
    return ('<path d="%s" fill="none" stroke="{c}" stroke-width="%g" '
            'stroke-linecap="round" stroke-linejoin="round"%s/>' % (d, w, extra))


def solid(d):
    # The same-colour round stroke softens the corners of filled shapes.
    return ('<path d="%s" fill="{c}" stroke="{c}" stroke-width="2.5" '
            'stroke-linejoin="round"/>' % d)


def speaker():
    return solid("M13,25 H21 L31,16.5 V47.5 L21,39 H13 Z")


GLYPHS = {
    "Play": solid("M24,17.5 L48,32 L24,46.5 Z"),
    "Pause": solid("M20.5,18 H28 V46 H20.5 Z") + solid("M36,18 H43.5 V46 H36 Z"),
    "Stop": '<rect x="18" y="18" width="28" height="28" rx="3.5" fill="{c}"/>',
    "Previous": solid("M17,18.5 H22.5 V45.5 H17 Z") + solid("M47,18.5 V45.5 L25,32 Z"),
    "Next": solid("M47,18.5 H41.5 V45.5 H47 Z") + solid("M17,18.5 V45.5 L39,32 Z"),
    "Backward": solid("M32.5,19 V45 L14,32 Z") + solid("M50,19 V45 L31.5,32 Z"),
    "Forward": solid("M31.5,19 V45 L50,32 Z") + solid("M14,19 V45 L32.5,32 Z"),
    "FileList": (stroke("M27,20 H48 M27,32 H48 M27,44 H48")
                 + '<circle cx="18" cy="20" r="3.2" fill="{c}"/>'
                   '<circle cx="18" cy="32" r="3.2" fill="{c}"/>'
                   '<circle cx="18" cy="44" r="3.2" fill="{c}"/>'),
    "Sound": (speaker()
              + stroke("M37,25.5 A9,9 0 0 1 37,38.5", 4)
              + stroke("M42,19 A17,17 0 0 1 42,45", 4)),
    "SoundClose": speaker() + stroke("M38,25 L51,38 M51,25 L38,38", 4.5),
    # Left-right flip: a solid shape, its outlined mirror image, dashed axis.
    "Imagemirror": (solid("M27.5,19 V45 H12.5 Z")
                    + stroke("M36.5,19 V45 H51.5 Z", 3)
                    + stroke("M32,13 V51", 2.5, ' stroke-dasharray="3.5 4.5"')),
    # Enter full screen: corners pointing outwards.
    "ZoomOut": stroke("M16,27 V16 H27 M37,16 H48 V27 M48,37 V48 H37 M27,48 H16 V37"),
    # Leave full screen: corners pointing inwards.
    "ZoomIn": stroke("M16,26 H26 V16 M38,16 V26 H48 M48,38 H38 V48 M26,48 V38 H16"),
    "minimize": stroke("M19,42 H45", 4.5),
    "maximize": '<rect x="19" y="19" width="26" height="26" rx="2" fill="none" '
                'stroke="{c}" stroke-width="4"/>',
    "restore": ('<rect x="17" y="25" width="22" height="22" rx="2" fill="none" '
                'stroke="{c}" stroke-width="4"/>'
                + stroke("M25,19 A2,2 0 0 1 27,17 H45 A2,2 0 0 1 47,19 V37 "
                         "A2,2 0 0 1 45,39 H43", 4)),
    "quit": stroke("M20,20 L44,44 M44,20 L20,44", 4.5),
    "quit2": stroke("M20,20 L44,44 M44,20 L20,44", 4.5),
    "Add": stroke("M32,17 V47 M17,32 H47", 5),
    # A bin rather than a minus sign: next to "+" a "-" reads as "zoom".
    "Delete": (stroke("M16,21 H48", 4)
               + stroke("M26.5,20 V15.5 H37.5 V20", 3.5)
               + stroke("M20.5,26 L23,48 H41 L43.5,26", 4)
               + stroke("M28.5,30 V43 M35.5,30 V43", 3)),
}

# name -> (state drawn as "Press", state drawn as "Release")
#   control bar and file list panel: Press is the resting look
#   title bar and the mirror button: Release is the resting look
FAMILIES = {
    "rest-press": ["Play", "Pause", "Stop", "Previous", "Next", "Backward",
                   "Forward", "FileList", "Sound", "SoundClose", "ZoomIn",
                   "ZoomOut", "Add", "Delete", "quit2"],
    "rest-release": ["minimize", "maximize", "restore", "quit", "Imagemirror"],
}

HOVER_DISC = '<circle cx="32" cy="32" r="30" fill="#ffffff" fill-opacity="0.22"/>\n'
# A darker disc keeps the accent glyph readable on the blue control bar.
DOWN_DISC = '<circle cx="32" cy="32" r="30" fill="#000000" fill-opacity="0.28"/>\n'


def button(glyph, state):
    if state == "rest":
        return glyph.format(c=WHITE) + "\n"
    if state == "hover":
        return HOVER_DISC + glyph.format(c=WHITE) + "\n"
    return DOWN_DISC + glyph.format(c=ACCENT) + "\n"


for family, names in FAMILIES.items():
    for n in names:
        g = GLYPHS[n]
        write(n + "Hover", 64, 64, button(g, "hover"))
        if family == "rest-press":
            write(n + "Press", 64, 64, button(g, "rest"))
            write(n + "Release", 64, 64, button(g, "down"))
        else:
            write(n + "Release", 64, 64, button(g, "rest"))
            write(n + "Press", 64, 64, button(g, "down"))


# ------------------------------------------------------- padlock (GPS fix)
def keyhole_body():
    # Body with the keyhole cut out (even-odd), so the bar shows through.
    cx, cy, r, y0 = 32.0, 38.0, 3.3, 40.8
    dx = math.sqrt(r * r - (y0 - cy) ** 2)
    return ('<path fill-rule="evenodd" fill="{c}" d="M22,30 H42 A4,4 0 0 1 46,34 '
            'V47 A4,4 0 0 1 42,51 H22 A4,4 0 0 1 18,47 V34 A4,4 0 0 1 22,30 Z '
            'M%s,%s A%s,%s 0 1 1 %s,%s L34,46 H30 Z"/>'
            % (f(cx - dx), f(y0), f(r), f(r), f(cx + dx), f(y0)))


write("decryption", 64, 64,
      (stroke("M24,30 V19.5 A8,8 0 0 1 40,19.5 V23", 4.5)
       + keyhole_body()).format(c=WHITE) + "\n")
write("decryption_on", 64, 64,
      DOWN_DISC + (stroke("M24,31 V24 A8,8 0 0 1 40,24 V31", 4.5)
                   + keyhole_body()).format(c=ACCENT) + "\n")


# ------------------------------------------------------------ menu icons
def gear():
    teeth, r_out, r_in, hole = 8, 28.0, 20.5, 8.0
    d = []
    step = 360.0 / teeth
    for i in range(teeth):
        c = i * step
        pts = [pt(32, 32, r_in, c - 15), pt(32, 32, r_out, c - 8),
               pt(32, 32, r_out, c + 8), pt(32, 32, r_in, c + 15)]
        if i == 0:
            d.append("M%s,%s" % (f(pts[0][0]), f(pts[0][1])))
        else:
            d.append("A%s,%s 0 0 1 %s,%s" % (f(r_in), f(r_in), f(pts[0][0]), f(pts[0][1])))
        d += ["L%s,%s" % (f(x), f(y)) for x, y in pts[1:]]
    first = pt(32, 32, r_in, -15)
    d.append("A%s,%s 0 0 1 %s,%s Z" % (f(r_in), f(r_in), f(first[0]), f(first[1])))
    d.append("M%s,32 A%s,%s 0 1 0 %s,32 A%s,%s 0 1 0 %s,32 Z"
             % (f(32 - hole), f(hole), f(hole), f(32 + hole), f(hole), f(hole), f(32 - hole)))
    return '<path fill-rule="evenodd" fill="%s" d="%s"/>\n' % (WHITE, " ".join(d))


write("setup", 32, 32, gear(), "0 0 64 64")

p0 = pt(32, 34, 18, 38)
p1 = pt(32, 34, 18, -38)
write("PowerRelease", 32, 32,
      stroke("M%s,%s A18,18 0 1 1 %s,%s" % (f(p0[0]), f(p0[1]), f(p1[0]), f(p1[1])), 6)
      .format(c=WHITE)
      + "\n" + stroke("M32,10 V31", 6).format(c=WHITE) + "\n", "0 0 64 64")

# Tool button menu indicator and arrow, and the submenu arrow: white at rest,
# accent when hovered or pressed.
for state, col in (("Press", WHITE), ("Hover", ACCENT)):
    write("Down" + state, 24, 24,
          stroke("M7,9.5 L12,14.5 L17,9.5", 2.4).format(c=col) + "\n")
    write("DownArrow" + state, 12, 12,
          stroke("M3,4.5 L6,7.5 L9,4.5", 1.6).format(c=col) + "\n")
for state, col in (("Press", WHITE), ("Hover", ACCENT)):
    write("RightArrow" + state, 16, 16,
          stroke("M6,3.5 L10.5,8 L6,12.5", 2.2).format(c=col) + "\n")


# -------------------------------------------------------- logo, word mark
write("LogoQZ", 64, 64,
      '<rect x="2" y="2" width="60" height="60" rx="14" fill="%s"/>\n'
      # Lens ring with the road running into it: a camera watching the road.
      '<circle cx="32" cy="32" r="20" fill="none" stroke="%s" stroke-width="6"/>\n'
      '<path d="M25,50 L30.2,20 H33.8 L39,50 Z" fill="%s"/>\n'
      '<path d="M32,24 V28 M32,33 V38 M32,43 V48" stroke="%s" stroke-width="2.2"/>\n'
      % (ACCENT, WHITE, WHITE, ACCENT))

# Shown unscaled as a background image, so it is exactly 220x40.
write("KESTRA", 220, 40,
      '<text x="110" y="32" text-anchor="middle" font-family="%s" '
      'font-weight="bold" font-size="33" letter-spacing="5" fill="%s">'
      'KESTR<tspan letter-spacing="0">A</tspan></text>\n' % (FONT, ACCENT))

# Map position marker; the page should anchor it at its centre (16,16).
write("map_move", 32, 32,
      '<circle cx="16" cy="16" r="15" fill="%s" fill-opacity="0.25"/>\n'
      '<circle cx="16" cy="16" r="9.5" fill="%s" stroke="%s" stroke-width="3"/>\n'
      % (ACCENT, ACCENT, WHITE))


# --------------------------------------------------------- gauge, compass
C = 250.0
FACE = ('<circle cx="250" cy="250" r="246" fill="#1b1e25"/>\n'
        '<circle cx="250" cy="250" r="241" fill="none" stroke="#4a505e" stroke-width="6"/>\n'
        '<circle cx="250" cy="250" r="232" fill="#23272f"/>\n')


def tick(deg, r0, r1, w, col):
    x0, y0 = pt(C, C, r0, deg)
    x1, y1 = pt(C, C, r1, deg)
    return ('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" stroke-width="%g" '
            'stroke-linecap="butt"/>\n' % (f(x0), f(y0), f(x1), f(y1), col, w))


def label(deg, r, text, size, col, weight="bold"):
    x, y = pt(C, C, r, deg)
    # Optical centring: move the baseline down by ~0.36 em.
    return ('<text x="%s" y="%s" text-anchor="middle" font-family="%s" '
            'font-weight="%s" font-size="%g" fill="%s">%s</text>\n'
            % (f(x), f(y + 0.36 * size), FONT, weight, size, col, text))


def arc(r, a0, a1, w, col):
    x0, y0 = pt(C, C, r, a0)
    x1, y1 = pt(C, C, r, a1)
    large = 1 if (a1 - a0) % 360 > 180 else 0
    return ('<path d="M%s,%s A%g,%g 0 %d 1 %s,%s" fill="none" stroke="%s" '
            'stroke-width="%g"/>\n' % (f(x0), f(y0), r, r, large, f(x1), f(y1), col, w))


def speed_deg(v):
    # 0 at 225 deg clockwise from twelve, 1.5 deg per unit, 180 at 135 deg.
    return 225.0 + 1.5 * v


dial = [FACE,
        arc(224, speed_deg(0), speed_deg(140), 5, ACCENT),
        arc(224, speed_deg(140), speed_deg(180), 5, RED)]
for v in range(0, 181, 10):
    if v % 20 == 0:
        dial.append(tick(speed_deg(v), 194, 226, 6, WHITE))
        dial.append(label(speed_deg(v), 166, str(v), 30, WHITE))
    else:
        dial.append(tick(speed_deg(v), 208, 226, 3.5, "#c9ced8"))
for v in range(5, 180, 10):
    dial.append(tick(speed_deg(v), 216, 226, 2, "#8a919e"))
write("Dashboard", 500, 500, "".join(dial))

rose = [FACE]
# Faint eight-point star under the needle; kept dim so the needle reads first.
star = []
for i in range(16):
    r = 120 if i % 4 == 0 else (70 if i % 2 == 0 else 22)
    x, y = pt(C, C, r, i * 22.5)
    star.append("%s,%s" % (f(x), f(y)))
rose.append('<polygon points="%s" fill="#2e333d" stroke="#3a404c" stroke-width="2"/>\n'
            % " ".join(star))
for d in range(0, 360, 5):
    if d % 90 == 0:
        continue
    if d % 45 == 0:
        rose.append(tick(d, 198, 226, 5, WHITE))
    elif d % 15 == 0:
        rose.append(tick(d, 208, 226, 3.5, "#c9ced8"))
    else:
        rose.append(tick(d, 216, 226, 2, "#8a919e"))
for d, t in ((0, "N"), (90, "E"), (180, "S"), (270, "W")):
    x, y = pt(C, C, 226, d)
    tip = pt(C, C, 200, d)
    l = pt(C, C, 226, d - 3.2)
    r_ = pt(C, C, 226, d + 3.2)
    col = RED if t == "N" else WHITE
    rose.append('<polygon points="%s,%s %s,%s %s,%s" fill="%s"/>\n'
                % (f(l[0]), f(l[1]), f(tip[0]), f(tip[1]), f(r_[0]), f(r_[1]), col))
    rose.append(label(d, 170, t, 46, col))
for d, t in ((45, "NE"), (135, "SE"), (225, "SW"), (315, "NW")):
    rose.append(label(d, 172, t, 24, "#aab1bd"))
write("compass", 500, 500, "".join(rose))

# Needles: drawn pointing up, then turned about the image centre, which is
# the pivot the window rotates them about.
gauge_needle = (
    '<g transform="rotate(225 250 250)">\n'
    '<path d="M250,48 L257,250 L254,282 H246 L243,250 Z" fill="%s" '
    'stroke="#8e1416" stroke-width="2" stroke-linejoin="round"/>\n'
    '<path d="M250,48 L257,250 H250 Z" fill="#ff6b6b" fill-opacity="0.45"/>\n'
    '</g>\n'
    '<circle cx="250" cy="250" r="18" fill="#2b2f38" stroke="%s" stroke-width="4"/>\n'
    '<circle cx="250" cy="250" r="5" fill="#d0d4dc"/>\n' % (RED, RED))
write("RedArrow", 500, 500, gauge_needle)

compass_needle = (
    '<g transform="rotate(45 250 250)">\n'
    '<path d="M250,88 L250,250 L230,250 Z" fill="#ff5252"/>\n'
    '<path d="M250,88 L270,250 L250,250 Z" fill="#c62828"/>\n'
    '<path d="M250,412 L250,250 L230,250 Z" fill="#eceff1"/>\n'
    '<path d="M250,412 L270,250 L250,250 Z" fill="#aab4bf"/>\n'
    '</g>\n'
    '<circle cx="250" cy="250" r="13" fill="#2b2f38" stroke="#d0d4dc" stroke-width="4"/>\n')
write("CompassPointer", 500, 500, compass_needle)

print("render-images: wrote %d SVGs" % len(written))
PYEOF
fi

[ "$mode" = svg ] && exit 0

need rsvg-convert "librsvg2-bin (Debian/Ubuntu) or librsvg2-tools (Fedora)"
# The dial, rose and word mark use text; without DejaVu or Liberation the
# fallback font changes their metrics.
if command -v fc-list >/dev/null 2>&1 &&
   ! fc-list | grep -q -i -e 'DejaVu Sans' -e 'Liberation Sans'; then
    echo "render-images: warning: neither DejaVu Sans nor Liberation Sans is installed" >&2
fi

mkdir -p "$out"
n=0
for svg in "$src"/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert --format=png --output="$out/$name.png" "$svg"
    n=$((n + 1))
done
echo "render-images: rendered $n PNGs into resources/image"
