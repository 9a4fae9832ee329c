#!/usr/bin/env python3
"""Writes tib's artwork: the boards, twelve piece sprites and two markers for
each theme of themes.json, into artwork/ (the default theme) and
artwork/themes/<name>/; the sprites of the other piece sets into
artwork/pieces/<set>/; and a picture of all sets, doc/pieces.png.

The default pieces come from the cburnett set shipped by the npm package
cm-chessboard (installed here at a pinned version), the other sets from the
SVG pieces of the Debian package pychess (downloaded at a pinned version
into tools/artwork/sources/); rsvg-convert rasterises them all. Each
folder of pieces also gets them as vectors, pieces.svg, each piece placed in
its sprite's box (see pieces_svg). Running it again gives byte-identical
files.

    generate.py                            # rewrites artwork/, doc/pieces.png
    generate.py --diagram-svg FEN OUT.svg [--no-labels] [--theme NAME]

The second form writes a whole diagram as one SVG instead, drawn from the
same board, pieces and marker at the places tib draws them (bench/compare
rasterises it with rsvg-convert, for comparison).
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from xml.sax.saxutils import quoteattr

import pngio

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PIECES_SVG = os.path.join(HERE, "node_modules", "cm-chessboard", "assets",
                          "pieces", "standard.svg")
SVG_NS = "http://www.w3.org/2000/svg"
XLINK_NS = "http://www.w3.org/1999/xlink"
SOURCES = os.path.join(HERE, "sources")
# The Debian package with the other piece sets: name, version, SHA-256.
PYCHESS = ("pychess", "1.0.3-1",
           "63bd95b5445365566eade8122d64ba3d28e38b167bb791db479654b3291698a5")
# The other sets, by the names lichess-style URLs use: the folder of
# pychess's pieces/ with one file per piece (wk.svg ...), or the one sheet
# that draws a set as two rows of 200-unit cells, black over white, each in
# the order king, queen, rook, bishop, knight, pawn.
# Every set of standard chess there, cburnett being the default set; the
# variants' sets (makruk, sittuyin) draw other pieces and are left out.
PIECE_SETS = {
    "ada": "ada",
    "alfonso": "alfonso",
    "alpha": "alpha",
    "celtic": "celtic/celtic.svg",
    "chessicons": "chessicons",
    "chessmonk": "chessmonk",
    "eyes": "eyes/eyes.svg",
    "fantasy": "fantasy/fantasy.svg",
    "fantasy_alt": "fantasy_alt/fantasy_alt.svg",
    "freak": "freak/freak.svg",
    "freestaunton": "freestaunton",
    "kilfiger": "kilfiger",
    "kosal": "kosal",
    "leipzig": "leipzig",
    "magnetic": "magnetic",
    "maya": "maya",
    "merida": "merida",
    "merida_new": "merida_new",
    "metaltops": "metaltops",
    "pirat": "pirat",
    "prmi": "prmi/prmi.svg",
    "regular": "regular",
    "skulls": "skulls/skulls.svg",
    "spatial": "spatial/spatial.svg",
}
SHEET_ORDER = "kqrbnp"
# Every source square is drawn as this many units, the size of a cburnett
# square, so that one scale probe suits every set.
UNITS = 45

ET.register_namespace("", SVG_NS)
ET.register_namespace("xlink", XLINK_NS)

CANVAS = 1024
# The 8 x 8 grid: top-left corner and square size, matching the offsets at
# which tib draws the pieces (columns 115 px apart, rows 112 px apart).
GRID_X, GRID_Y, SQUARE_W, SQUARE_H = 51, 64, 115, 112
BORDER = 4
# Boxes (x, y, w, h) tib draws each sprite into on the top-left square at the
# default scale. Each sprite is exactly its box, so it maps 1:1.
BOXES = {
    "wp": (70, 67, 77, 108), "wb": (66, 55, 83, 129),
    "wn": (56, 55, 105, 126), "wr": (62, 66, 89, 113),
    "wq": (56, 52, 101, 131), "wk": (44, 45, 130, 144),
    "bp": (59, 67, 97, 108), "bb": (61, 54, 95, 130),
    "bn": (62, 57, 93, 125), "br": (58, 59, 103, 124),
    "bq": (46, 54, 129, 132), "bk": (54, 49, 111, 140),
}
# Markers are drawn into a fixed 56 x 50 box.
MARKER_W, MARKER_H = 56, 50
# Lowest visible row of every piece on the top-left square, and the least
# distance between a piece and the edges of its square and its box.
BASELINE = GRID_Y + SQUARE_H - 5
MARGIN = 3
# Outlines at least this wide, in canvas pixels, stay unbroken when a
# diagram is shrunk to 300 px by dropping rows and columns.
STROKE = 4.5
# The coordinates' bold lettering, which tib outlines the same way for its
# SVG: the font, its size, the files' baseline below the squares' border and
# the ranks' below the middle of their row.
with open(os.path.join(HERE, "labels.json"), encoding="utf-8") as f:
    LABELS = json.load(f)
LABEL_FONT = LABELS["font"]
LABEL_SIZE = LABELS["size"]


def render(svg_body, width, height):
    """Rasterises an SVG fragment into width x height RGBA pixels."""
    document = ('<svg xmlns="%s" width="%d" height="%d" viewBox="0 0 %d %d">'
                '%s</svg>' % (SVG_NS, width, height, width, height, svg_body))
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "in.svg")
        target = os.path.join(folder, "out.png")
        with open(source, "w", encoding="utf-8") as f:
            f.write(document)
        subprocess.run(["rsvg-convert", "-o", target, source], check=True)
        w, h, pixels = pngio.read_png(target)
    assert (w, h) == (width, height)
    return pixels


def piece_groups():
    if not os.path.exists(PIECES_SVG):
        subprocess.run(["npm", "ci", "--ignore-scripts", "--no-audit",
                        "--no-fund"], cwd=HERE, check=True)
    root = ET.parse(PIECES_SVG).getroot()
    groups = {}
    for group in root.findall("{%s}g" % SVG_NS):
        if group.get("id") in BOXES:
            groups[group.get("id")] = ET.tostring(group, encoding="unicode")
    assert sorted(groups) == sorted(BOXES), sorted(groups)
    return groups


def pychess_pieces():
    """The folder of pychess's SVG pieces."""
    return os.path.join(pychess_share(), "pieces")


def pychess_share():
    """pychess's usr/share/pychess, downloaded and unpacked once."""
    name, version, digest = PYCHESS
    folder = os.path.join(SOURCES, "%s_%s" % (name, version))
    share = os.path.join(folder, "usr", "share", "pychess")
    if os.path.isdir(share):
        return share
    os.makedirs(SOURCES, exist_ok=True)
    deb = os.path.join(SOURCES, "%s_%s_all.deb" % (name, version))
    if not os.path.exists(deb):
        subprocess.run(["apt-get", "download", "%s=%s" % (name, version)],
                       cwd=SOURCES, check=True)
    with open(deb, "rb") as f:
        if hashlib.sha256(f.read()).hexdigest() != digest:
            sys.exit("%s is not the expected %s %s" % (deb, name, version))
    # Unpacked beside, then renamed: an interrupted run leaves no half folder.
    partial = folder + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    subprocess.run(["dpkg-deb", "-x", deb, partial], check=True)
    os.rename(partial, folder)
    return share


def view_box(root):
    """The drawing's box: its viewBox, else its width and height."""
    if root.get("viewBox") is not None:
        return [float(v) for v in root.get("viewBox").replace(",", " ").split()]
    return [0, 0] + [float(re.sub("[a-z]+$", "", root.get(key)))
                     for key in ("width", "height")]


def svg_fragment(path, cell=None):
    """One source square of an SVG file as an SVG element UNITS wide: the
    whole drawing, or the cell (x, y, w, h) of a sheet. Editor metadata goes;
    the drawing is kept as it is."""
    root = ET.parse(path).getroot()

    def clean(element):
        for child in list(element):
            if not child.tag.startswith("{"):
                # A file without the SVG namespace declared.
                child.tag = "{%s}%s" % (SVG_NS, child.tag)
            if (not child.tag.startswith("{%s}" % SVG_NS)
                    or child.tag == "{%s}metadata" % SVG_NS):
                element.remove(child)
            else:
                clean(child)
        for key in list(element.attrib):
            if key.startswith("{") and not key.startswith("{%s}" % XLINK_NS):
                del element.attrib[key]
        if "style" in element.attrib:
            # The editor's own properties draw nothing.
            element.set("style", ";".join(
                part for part in element.get("style").split(";")
                if not part.strip().startswith("-inkscape-")))
    clean(root)
    x, y, w, h = cell or view_box(root)
    # Presentation attributes of the root (fill-rule, style, ...) still apply.
    kept = "".join(" %s=%s" % (key, quoteattr(value))
                   for key, value in sorted(root.attrib.items())
                   if key not in ("width", "height", "viewBox", "x", "y", "id",
                                  "version"))
    inner = "".join(ET.tostring(child, encoding="unicode") for child in root)
    return ('<svg x="0" y="0" width="%d" height="%d" viewBox="%g %g %g %g"%s>'
            '%s</svg>' % (UNITS, UNITS, x, y, w, h, kept, inner))


def set_groups(source):
    """The twelve pieces of one pychess set as SVG fragments."""
    path = os.path.join(pychess_pieces(), source)
    groups = {}
    for name in BOXES:
        if path.endswith(".svg"):
            row = 0 if name[0] == "b" else 1
            col = SHEET_ORDER.index(name[1])
            groups[name] = svg_fragment(path, (200 * col, 200 * row, 200, 200))
        else:
            groups[name] = svg_fragment(os.path.join(path, name + ".svg"))
    return groups


def visible_bounds(pixels, width, height):
    """(left, top, right, bottom) of the pixels with any alpha, inclusive."""
    xs, ys = [], []
    for y in range(height):
        row = pixels[(y * width) * 4 + 3:((y + 1) * width) * 4:4]
        if any(row):
            ys.append(y)
            xs.append(next(i for i, a in enumerate(row) if a))
            xs.append(width - 1 - next(i for i, a in enumerate(reversed(row)) if a))
    return min(xs), min(ys), max(xs), max(ys)


def with_stroke(groups, factor):
    """The pieces with every outline widened by factor."""
    def widen(match):
        return 'stroke-width="%.4f"' % (float(match.group(1)) * factor)
    return {name: re.sub(r'stroke-width="([0-9.]+)"', widen, group)
            for name, group in groups.items()}


def piece_scale(groups):
    """The largest scale (pixels per unit of the set's drawing), common to
    the whole set, at which every piece fits inside its box and inside its
    square with a margin, centred and standing on the baseline."""
    probe, offset = 10.0, 50
    centre = GRID_X + SQUARE_W / 2
    limits = []
    for name, group in groups.items():
        pixels = render('<g transform="translate(%d,%d) scale(%g)">%s</g>'
                        % (offset, offset, probe, group), 500, 500)
        left, top, right, bottom = visible_bounds(pixels, 500, 500)
        width = (right - left + 1) / probe
        height = (bottom - top + 1) / probe
        bx, by, bw, _ = BOXES[name]
        # One fully transparent pixel stays around the piece in its sprite.
        half = min(centre - bx - 1, bx + bw - 1 - centre,
                   centre - GRID_X - MARGIN, GRID_X + SQUARE_W - MARGIN - centre)
        limits.append(2 * half / width)
        limits.append((BASELINE + 1 - max(by + 1, GRID_Y + MARGIN)) / height)
    # Leave room for anti-aliased edges the probe did not reach.
    return round(min(limits) - 0.02, 2)


def fitted_pieces(groups):
    """Scale and outline width settle together: wider outlines make the
    pieces larger, which lowers the scale."""
    factor = 1.0
    for _ in range(4):
        scale = piece_scale(with_stroke(groups, factor))
        factor = max(factor, STROKE / (1.5 * scale))
    return scale, with_stroke(groups, factor)


PAD = 400


def piece_origin(name, group, scale):
    """Where the piece's drawing origin goes in its box, the piece centred
    on the square and standing on the common baseline; and its visible
    width and height less one."""
    bx, by, _, _ = BOXES[name]
    probe = render('<g transform="translate(%d,%d) scale(%g)">%s</g>'
                   % (PAD, PAD, scale, group), 2 * PAD, 2 * PAD)
    left, top, right, bottom = visible_bounds(probe, 2 * PAD, 2 * PAD)
    # Whole-pixel shifts keep the rasterised piece identical to the probe.
    shift_x = round(GRID_X + SQUARE_W / 2 - bx - (left + right + 1) / 2)
    shift_y = BASELINE - by - bottom
    return (PAD + shift_x, PAD + shift_y), (right - left, bottom - top)


def piece_sprite(name, group, scale):
    """The sprite of one piece: its box at the default scale."""
    return placed_piece(name, group, scale)[1]


def placed_piece(name, group, scale):
    """The origin of a piece's drawing in its box, and its sprite."""
    _, _, bw, bh = BOXES[name]
    (x, y), extent = piece_origin(name, group, scale)
    pixels = render('<g transform="translate(%d,%d) scale(%g)">%s</g>'
                    % (x, y, scale, group), bw, bh)
    l, t, r, b = visible_bounds(pixels, bw, bh)
    assert (r - l, b - t) == extent, name
    return (x, y), (bw, bh, pixels)


# The vectors of a set: one SVG file whose <defs> hold, one to a line, a
# group per piece with the id of its sprite (wp, ...), drawing the piece in
# its box as the sprite shows it, and the group "pieces-shared" that the
# pieces of a sheet set take their cells from. Ids inside are prefixed, so
# that a diagram can hold them beside its own; ids nothing refers to go.
SHARED_ID = "pieces-shared"
REFERENCE = re.compile(r"url\(#([^)]+)\)")
# Numbers of a drawing, kept to a hundredth of the source's unit: well
# within a fiftieth of a canvas pixel for every set.
DECIMALS = re.compile(r"-?\d+\.\d+")
CLASS_SELECTOR = re.compile(r"\.([A-Za-z_][\w-]*)")


def rounded(match):
    text = "%.2f" % float(match.group(0))
    text = text.rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def compact(fragment, prefix):
    """A fragment as one line of SVG, its ids renamed with prefix."""
    wrapper = ET.fromstring('<g xmlns="%s" xmlns:xlink="%s">%s</g>'
                            % (SVG_NS, XLINK_NS, fragment))
    href_keys = ("href", "{%s}href" % XLINK_NS)
    used = set()
    for element in wrapper.iter():
        for key, value in element.attrib.items():
            used.update(REFERENCE.findall(value))
            if key in href_keys and value.startswith("#"):
                used.add(value[1:])
    for element in wrapper.iter():
        if "id" in element.attrib:
            if element.get("id") in used:
                element.set("id", prefix + element.get("id"))
            else:
                del element.attrib["id"]
        for key, value in list(element.attrib.items()):
            value = REFERENCE.sub(
                lambda m: "url(#%s)" % (prefix + m.group(1))
                if m.group(1) in used else m.group(0), value)
            if key in href_keys and value[1:] in used:
                value = "#" + prefix + value[1:]
            if key not in ("id",) + href_keys:
                value = DECIMALS.sub(rounded, value)
            element.set(key, " ".join(value.split()))
        # Class names too: a style sheet's rules hold for the whole
        # document, so each piece's must name its own elements only.
        if "class" in element.attrib:
            element.set("class", " ".join(prefix + name for name in
                                          element.get("class").split()))
        if element.tag == "{%s}style" % SVG_NS and element.text:
            element.text = CLASS_SELECTOR.sub(
                lambda m: "." + prefix + m.group(1), element.text)
        for part in ("text", "tail"):
            text = getattr(element, part)
            if text is not None and not text.strip():
                setattr(element, part, None)
    line = "".join(ET.tostring(child, encoding="unicode") for child in wrapper)
    line = line.replace(' xmlns="%s"' % SVG_NS, "").replace(
        ' xmlns:xlink="%s"' % XLINK_NS, "")
    return line.replace("\n", " ").replace(" />", "/>")


def pieces_svg(symbols, shared=None):
    """The file of a set's vectors from its piece groups by name, with the
    side-to-move markers (w3, b3) drawn in their boxes."""
    lines = []
    if shared is not None:
        lines.append('<g id="%s">%s</g>' % (SHARED_ID, shared))
    for name in sorted(symbols):
        lines.append(symbols[name])
    lines.append('<g id="b3">%s</g>' % marker_svg(*MARKER_PAINT["b3"]))
    lines.append('<g id="w3">%s</g>' % marker_svg(*MARKER_PAINT["w3"]))
    return ('<svg xmlns="%s" xmlns:xlink="%s">\n<defs>\n%s\n</defs>\n'
            '</svg>\n' % (SVG_NS, XLINK_NS, "\n".join(lines)))


def piece_symbol(name, group, origin, scale):
    x, y = origin
    return '<g id="%s" transform="translate(%d,%d) scale(%g)">%s</g>' % (
        name, x, y, scale, compact(group, "%s-" % name))


def write_text(folder, name, text):
    with open(os.path.join(folder, name), "w", encoding="utf-8",
              newline="\n") as f:
        f.write(text)


# Each side's marker: fill and ring.
MARKER_PAINT = {"w3": ("#ffffff", "#000000"), "b3": ("#000000", "#ffffff")}


def marker_svg(fill, ring, x=0, y=0):
    return ('<circle cx="%g" cy="%g" r="19" fill="%s" stroke="%s" '
            'stroke-width="5"/>' % (x + MARKER_W / 2, y + MARKER_H / 2, fill,
                                    ring))


def marker(fill, ring):
    return MARKER_W, MARKER_H, render(marker_svg(fill, ring), MARKER_W,
                                      MARKER_H)


# The board pictures of a theme: file name, seen from black, with labels.
BOARDS = (("t_board.png", False, True), ("t_board_black.png", True, True),
          ("t_board_plain.png", False, False),
          ("t_board_black_plain.png", True, False))


def board(theme, black=False, labels=True):
    return CANVAS, CANVAS, render(board_svg(theme, labels, black), CANVAS,
                                  CANVAS)


def board_svg(theme, labels=True, black=False):
    parts = ['<rect width="%d" height="%d" fill="%s"/>'
             % (CANVAS, CANVAS, theme["frame"]),
             '<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
             % (GRID_X - BORDER, GRID_Y - BORDER, 8 * SQUARE_W + 2 * BORDER,
                8 * SQUARE_H + 2 * BORDER, theme["border"])]
    for row in range(8):
        for col in range(8):
            # a1, bottom left, is dark.
            colour = theme["light"] if (row + col) % 2 == 0 else theme["dark"]
            parts.append('<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
                         % (GRID_X + col * SQUARE_W, GRID_Y + row * SQUARE_H,
                            SQUARE_W, SQUARE_H, colour))
    if not labels:
        return "".join(parts)
    text = ('<text x="%g" y="%g" text-anchor="middle" font-family="%s" '
            'font-weight="bold" font-size="%d" fill="%s">%s</text>')
    # Baselines put the letters and digits in the middle of the frame.
    files_y = GRID_Y + 8 * SQUARE_H + BORDER + LABELS["filesBaselineBelowBorder"]
    # Seen from black, h is on the left and the first rank at the top; the
    # squares need no change, h1 and a8 both being light.
    files, ranks = ("hgfedcba", "12345678") if black else ("abcdefgh",
                                                           "87654321")
    for col, letter in enumerate(files):
        parts.append(text % (GRID_X + col * SQUARE_W + SQUARE_W / 2, files_y,
                             LABEL_FONT, LABEL_SIZE, theme["label"], letter))
    for row in range(8):
        parts.append(text % ((GRID_X - BORDER) / 2, GRID_Y + row * SQUARE_H +
                             SQUARE_H / 2 + LABELS["ranksBaselineBelowCentre"],
                             LABEL_FONT, LABEL_SIZE,
                             theme["label"], ranks[row]))
    return "".join(parts)


# A theme with "tiles" draws its squares from two of pychess's board tiles,
# boards/<tiles>_l.png and _d.png, written beside its boards as these files;
# tib paints each square from its tile at an offset of its own. Its board
# pictures have flat squares of the tiles' mean colours, and it draws the
# default pieces and markers, linked.
TILE_FILES = (("t_tile_light.png", "l"), ("t_tile_dark.png", "d"))


def tile(name, shade):
    return pngio.read_png(os.path.join(pychess_share(), "boards",
                                       "%s_%s.png" % (name, shade)))


def mean_colour(image):
    width, height, pixels = image
    count = width * height
    return "#%02x%02x%02x" % tuple((sum(pixels[k::4]) + count // 2) // count
                                   for k in range(3))


def tiled(theme):
    """The theme with the flat colours of its tiles."""
    shades = {shade: tile(theme["tiles"], shade) for _, shade in TILE_FILES}
    return dict(theme, light=mean_colour(shades["l"]),
                dark=mean_colour(shades["d"])), shades


def write(folder, name, image):
    width, height, pixels = image
    with open(os.path.join(folder, name), "wb") as f:
        f.write(pngio.encode_png(width, height, pixels))


def load_themes():
    with open(os.path.join(HERE, "themes.json"), encoding="utf-8") as f:
        return json.load(f)


def diagram_svg(fen, theme, labels):
    """The diagram of a FEN as one SVG: the board, each piece at its square
    and the side-to-move marker, as tib places them at the default scale."""
    scale, groups = fitted_pieces(piece_groups())
    origins = {name: piece_origin(name, groups[name], scale)[0]
               for name in BOXES}
    parts = [board_svg(theme, labels)]
    placement, _, rest = fen.partition(" ")
    row = col = 0
    for letter in placement:
        if letter == "/":
            row, col = row + 1, 0
        elif letter.isdigit():
            col += int(letter)
        elif letter.lower() in "pnbrqk":
            name = ("w" if letter.isupper() else "b") + letter.lower()
            bx, by, _, _ = BOXES[name]
            x, y = origins[name]
            parts.append('<use href="#%s" transform="translate(%d,%d) '
                         'scale(%g)"/>' % (name, bx + SQUARE_W * col + x,
                                           by + SQUARE_H * row + y, scale))
            col += 1
    if rest.startswith("b"):
        parts.append(marker_svg(*MARKER_PAINT["b3"], 964, 10))
    else:
        parts.append(marker_svg(*MARKER_PAINT["w3"], 964, 964))
    return ('<svg xmlns="%s" width="%d" height="%d" viewBox="0 0 %d %d">'
            '<defs>%s</defs>%s</svg>\n'
            % (SVG_NS, CANVAS, CANVAS, CANVAS, CANVAS,
               "".join(groups[name] for name in sorted(BOXES)),
               "".join(parts)))


def link(folder, name, target):
    """folder/name as a relative symbolic link to target."""
    path = os.path.join(folder, name)
    if os.path.lexists(path):
        os.remove(path)
    os.symlink(target, path)


def fits(name, sprite):
    """Whether a sprite keeps a transparent pixel at every edge of its box
    and its visible pixels MARGIN away from the edges of its square."""
    bx, by, _, _ = BOXES[name]
    width, height, pixels = sprite
    left, top, right, bottom = visible_bounds(pixels, width, height)
    return (left >= 1 and top >= 1 and right <= width - 2 and
            bottom <= height - 2 and bx + left >= GRID_X + MARGIN and
            bx + right <= GRID_X + SQUARE_W - 1 - MARGIN and
            by + top >= GRID_Y + MARGIN)


def set_sprites(source):
    """The sprites of one pychess set, at the largest common scale that
    fits its pieces in the default set's boxes and squares, and its
    vectors."""
    groups = set_groups(source)
    scale = piece_scale(groups)
    while True:
        placed = {name: placed_piece(name, groups[name], scale)
                  for name in BOXES}
        sprites = {name: sprite for name, (_, sprite) in placed.items()}
        # At this size anti-aliasing widens a piece by about a pixel on
        # each side, which the probe at a large scale does not see.
        if all(fits(name, sprite) for name, sprite in sprites.items()):
            return scale, sprites, set_vectors(source, placed, scale)
        scale = round(scale - 0.01, 2)


def set_vectors(source, placed, scale):
    """The pieces.svg of a pychess set: a sheet set draws its sheet once,
    each piece a cell of it."""
    path = os.path.join(pychess_pieces(), source)
    if not path.endswith(".svg"):
        return pieces_svg({name: piece_symbol(name, set_groups(source)[name],
                                              origin, scale)
                           for name, (origin, _) in placed.items()})
    sheet = svg_fragment(path, (0, 0, 200 * len(SHEET_ORDER), 400))
    # The sheet's own root, its drawing kept whole, then each cell of it.
    root_open = sheet[:sheet.index(">") + 1]
    shared = compact(sheet[len(root_open):-len("</svg>")], "s-")
    kept = re.sub(r'^<svg x="0" y="0" width="\d+" height="\d+" '
                  r'viewBox="[^"]*"', "", root_open)[:-1]
    symbols = {}
    for name, ((x, y), _) in placed.items():
        row = 0 if name[0] == "b" else 1
        col = SHEET_ORDER.index(name[1])
        symbols[name] = (
            '<g id="%s" transform="translate(%d,%d) scale(%g)"><svg x="0" '
            'y="0" width="%d" height="%d" viewBox="%d %d 200 200"%s>'
            '<use href="#%s"/></svg></g>'
            % (name, x, y, scale, UNITS, UNITS, 200 * col, 200 * row, kept,
               SHARED_ID))
    return pieces_svg(symbols, shared)


# The picture of all sets: a column for the name, then a strip of twelve
# squares per set, drawn on the canvas's squares and shrunk by SHEET_SHRINK.
SHEET_NAME_W = 400
SHEET_SHRINK = 2
SHEET_PIECES = ["w" + p for p in SHEET_ORDER] + ["b" + p for p in SHEET_ORDER]


def contact_sheet(all_sprites, theme):
    names = sorted(all_sprites)
    width = SHEET_NAME_W + len(SHEET_PIECES) * SQUARE_W
    height = len(names) * SQUARE_H
    parts = ['<rect width="%d" height="%d" fill="%s"/>'
             % (width, height, theme["frame"])]
    for row, set_name in enumerate(names):
        parts.append('<text x="%d" y="%g" font-family="%s" font-weight="bold" '
                     'font-size="%d" fill="%s">%s</text>'
                     % (24, row * SQUARE_H + SQUARE_H / 2 + 14, LABEL_FONT,
                        LABEL_SIZE + 8, theme["label"], set_name))
        for col in range(len(SHEET_PIECES)):
            colour = theme["light"] if (row + col) % 2 == 0 else theme["dark"]
            parts.append('<rect x="%d" y="%d" width="%d" height="%d" '
                         'fill="%s"/>' % (SHEET_NAME_W + col * SQUARE_W,
                                          row * SQUARE_H, SQUARE_W, SQUARE_H,
                                          colour))
    canvas = render("".join(parts), width, height)
    for row, set_name in enumerate(names):
        for col, name in enumerate(SHEET_PIECES):
            bx, by, _, _ = BOXES[name]
            blend(canvas, width, all_sprites[set_name][name],
                  SHEET_NAME_W + col * SQUARE_W + bx - GRID_X,
                  row * SQUARE_H + by - GRID_Y)
    return shrink(canvas, width, height, SHEET_SHRINK)


def blend(canvas, canvas_w, sprite, x0, y0):
    """Draws an RGBA sprite over an opaque canvas at (x0, y0)."""
    w, h, pixels = sprite
    for y in range(h):
        for x in range(w):
            s = (y * w + x) * 4
            a = pixels[s + 3]
            if a:
                d = ((y0 + y) * canvas_w + x0 + x) * 4
                for k in range(3):
                    canvas[d + k] = (pixels[s + k] * a + canvas[d + k] *
                                     (255 - a) + 127) // 255


def shrink(pixels, width, height, factor):
    """The picture shrunk by an integer factor, each pixel the mean of its
    factor x factor block (the picture is opaque)."""
    w, h = width // factor, height // factor
    out = bytearray(w * h * 4)
    n = factor * factor
    for y in range(h):
        for x in range(w):
            for k in range(4):
                total = sum(pixels[((y * factor + j) * width + x * factor + i)
                                   * 4 + k]
                            for j in range(factor) for i in range(factor))
                out[(y * w + x) * 4 + k] = (total + n // 2) // n
    return w, h, out


def main():
    themes = load_themes()
    scale, groups = fitted_pieces(piece_groups())
    placed = {name: placed_piece(name, groups[name], scale) for name in BOXES}
    sprites = {name: sprite for name, (_, sprite) in placed.items()}
    vectors = pieces_svg({name: piece_symbol(name, groups[name], origin, scale)
                          for name, (origin, _) in placed.items()})
    markers = {"t_%s.png" % name: marker(*paint)
               for name, paint in sorted(MARKER_PAINT.items())}
    artwork = os.path.join(ROOT, "artwork")
    for theme_name, theme in themes.items():
        folder = artwork if theme_name == "default" else os.path.join(
            artwork, "themes", theme_name)
        os.makedirs(folder, exist_ok=True)
        if "tiles" in theme:
            theme, shades = tiled(theme)
            for file_name, shade in TILE_FILES:
                with open(os.path.join(folder, file_name), "wb") as f:
                    f.write(pngio.encode_photo(*shades[shade]))
        for file_name, black, labels in BOARDS:
            write(folder, file_name, board(theme, black, labels))
        if "tiles" in theme:
            for name in (["t_%s.png" % name for name in BOXES] +
                         sorted(markers) + ["pieces.svg"]):
                link(folder, name, os.path.join("..", "..", name))
            print("wrote %s" % os.path.relpath(folder, ROOT))
            continue
        for name, image in sprites.items():
            write(folder, "t_%s.png" % name, image)
        for name, image in markers.items():
            write(folder, name, image)
        write_text(folder, "pieces.svg", vectors)
        print("wrote %s" % os.path.relpath(folder, ROOT))
    print("piece scale: %.2f pixels per unit" % scale)

    # Each set's folder draws with the default board and markers, linked;
    # cburnett is the default set under its own name.
    all_sprites = {"cburnett": sprites}
    set_names = ["cburnett"] + sorted(PIECE_SETS)
    pieces = os.path.join(artwork, "pieces")
    # A set no longer generated goes, so that the check sees it missing.
    for old in os.listdir(pieces) if os.path.isdir(pieces) else []:
        if old not in set_names:
            shutil.rmtree(os.path.join(pieces, old))
    for set_name in set_names:
        folder = os.path.join(artwork, "pieces", set_name)
        os.makedirs(folder, exist_ok=True)
        for name in ["t_board.png"] + sorted(markers):
            link(folder, name, os.path.join("..", "..", name))
        if set_name == "cburnett":
            for name in BOXES:
                link(folder, "t_%s.png" % name,
                     os.path.join("..", "..", "t_%s.png" % name))
            link(folder, "pieces.svg", os.path.join("..", "..", "pieces.svg"))
            continue
        scale, all_sprites[set_name], set_svg = set_sprites(
            PIECE_SETS[set_name])
        write_text(folder, "pieces.svg", set_svg)
        for name, image in all_sprites[set_name].items():
            write(folder, "t_%s.png" % name, image)
        print("wrote %s, %.2f pixels per unit"
              % (os.path.relpath(folder, ROOT), scale))
    doc = os.path.join(ROOT, "doc")
    os.makedirs(doc, exist_ok=True)
    write(doc, "pieces.png", contact_sheet(all_sprites, themes["default"]))
    print("wrote doc/pieces.png")


if __name__ == "__main__":
    if shutil.which("rsvg-convert") is None:
        sys.exit("generate.py needs rsvg-convert (Debian package librsvg2-bin)")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--diagram-svg", nargs=2, metavar=("FEN", "OUT"))
    parser.add_argument("--no-labels", action="store_true")
    parser.add_argument("--theme", default="default")
    options = parser.parse_args()
    if options.diagram_svg:
        fen, out = options.diagram_svg
        with open(out, "w", encoding="utf-8") as f:
            f.write(diagram_svg(fen, load_themes()[options.theme],
                                not options.no_labels))
    else:
        main()
