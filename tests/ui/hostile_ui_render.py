#!/usr/bin/env python3
"""Runs generated hostile markups and skin images through ui-render, all in
one process (its --batch mode): nesting hidden behind multibyte characters
and character references, huge numbers, translucency, round corners, long
texts, attribute floods, tooltips due at once, a markup cut at every length
and every skin image format cut at every length; and int-edge sizes in every
layout and fill at four window sizes. Each case must end as a clean failure or
the right picture: a crash, a hang or an exception (from ui-render.exe, or a
fault in its process) fails the test and names it; the run goes on past it.
Usage: hostile_ui_render.py <ui-render.exe> <wine-run>"""
import concurrent.futures
import io
import itertools
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_ui_fixtures import png, psd  # noqa: E402

WHITE = (255, 255, 255)
GREEN = (0, 255, 0)
COLOUR = (200, 40, 90)  # of every generated image
EDGE = (20, 140, 250)  # the first column of the Photoshop images, packed as literals
# Far beyond what the whole run needs: only a hang reaches it.
BATCH_SECONDS = 45
NUMBERS = ["2147483647", "-2147483648", "2147483596", "4294967296", "1000000000", "400000000",
           "99999999999999999999", "-1"]


class Case:
    def __init__(self, name, markup, size=(64, 32), expect=None, pixels=(), changed=None):
        self.name, self.markup, self.size = name, markup, size
        self.expect = expect  # exit status the run must end with; None: either
        self.pixels = pixels  # ((x, y), allowed colours, tolerance) of a built window
        self.changed = changed  # a region (x0, y0, x1, y1) that must hold a pixel other than white


def image_formats():
    """One 4 x 4 image of COLOUR in every format: name -> (bytes, tolerance,
    whole), where whole is the length from which the cut image draws (shorter
    ones draw nothing), or None when a cut one may draw the whole image."""
    picture = Image.new("RGB", (4, 4), COLOUR)

    def saved(**options):
        out = io.BytesIO()
        picture.save(out, **options)
        return out.getvalue()
    bmp = saved(format="BMP")
    offset, stride = struct.unpack_from("<I", bmp, 10)[0], 12
    rows = [bmp[offset + i * stride:offset + (i + 1) * stride] for i in range(4)]
    top_down = bmp[:22] + struct.pack("<i", -4) + bmp[26:offset] + b"".join(reversed(rows))
    jpeg = saved(format="JPEG", quality=95, optimize=True)
    progressive = saved(format="JPEG", quality=95, progressive=True)
    edged = [EDGE if x == 0 else COLOUR for y in range(4) for x in range(4)]
    photoshop = {name: psd(4, 4, lambda x, y: edged[y * 4 + x], run_length, depth)
                 for name, run_length, depth in (("psd", False, 8), ("psd-rle", True, 8), ("psd-16", False, 16))}
    # Another reader takes the 8-bit ones for the same picture.
    for name in ("psd", "psd-rle"):
        assert list(Image.open(io.BytesIO(photoshop[name])).getdata()) == edged, name
    return {
        "png": (png(4, 4, list(COLOUR + (255,)) * 16), 0, None),
        "bmp": (bmp, 0, None),
        "bmp-top-down": (top_down, 0, None),
        "tga": (saved(format="TGA"), 0, None),
        "tga-rle": (saved(format="TGA", compression="tga_rle"), 0, None),
        "jpeg-padded": (jpeg + bytes(16), 8, len(jpeg)),  # whole from its end marker on
        "jpeg-progressive": (progressive, 8, len(progressive)),
        **{name: (data, 0, len(data)) for name, data in photoshop.items()},
    }


def image_grids(folder):
    """Per format, a grid of 8 x 8 controls showing the image cut at every
    length: each shows nothing or the whole image, never a damaged one."""
    cases = []
    for name, (data, tolerance, whole) in image_formats().items():
        columns, cells, pixels = 32, [], []
        for n in range(len(data) + 1):
            path = os.path.join(folder, f"{name}-{n}.img")
            with open(path, "wb") as f:
                f.write(data[:n])
            cells.append(f'<Control width="8" bknormalimage="file=\'{windows_path(path)}\'"/>')
            drawn = [COLOUR] if n >= (whole or len(data)) else [WHITE] if whole else [WHITE, COLOUR]
            pixels.append((((n % columns) * 8 + 4, (n // columns) * 8 + 4), drawn, tolerance))
        rows = "".join('<HorizontalLayout height="8">' + "".join(cells[i:i + columns]) + "</HorizontalLayout>"
                       for i in range(0, len(cells), columns))
        markup = f'<Window><VerticalLayout normalbkcolor="#FFFFFFFF">{rows}</VerticalLayout></Window>'
        cases.append(Case(f"{name} cut at every length", markup, (columns * 8, (len(cells) + 31) // 32 * 8), 0,
                          pixels))
    return cases


def nesting_cases():
    cases = []
    for lead in (b"\xC3", b"\xE4", b"\xF0"):
        for prefix in (b"\xEF\xBB\xBF", b'<?xml version="1.0" encoding="UTF-8"?>'):
            for depth in (129, 1000, 5000, 20000):
                markup = prefix + b"<Window>" + (b"<Container>" + lead + b"</a>") * depth
                cases.append(Case(f"UTF-8 lead {lead!r} hides {depth} end tags", markup, expect=1))
        for depth in (129, 5000):  # read in the ANSI code page, the same bytes close
            markup = b"<Window>" + (b"<Container>" + lead + b"</Container>") * depth + b"<Control/></Window>"
            cases.append(Case(f"ANSI lead {lead!r} beside {depth} end tags", markup, expect=0))
    for reference in (b"&#</a>#1;", b"&#x</a>x1;"):
        cases.append(Case(f"reference {reference!r} hides end tags",
                          b"<Window>" + (b"<Container>" + reference) * 5000, expect=1))
    cases.append(Case("a Root's first window", '<Root><Window name="a"><Control normalbkcolor="#FF00FF00"/></Window>'
                      '<Window/></Root>', expect=0, pixels=[((5, 5), [GREEN], 0)]))
    for depth, status in ((127, 0), (128, 1)):
        cases.append(Case(f"{depth} containers", b"<Window>" + b"<Container>" * depth, expect=status))
    return cases


def number_cases(image):
    templates = [
        '<Control width="{n}" height="{n}" normalbkcolor="#FFFF0000"/>',
        '<VerticalLayout><Control height="{n}" bknormalimage="file=\'{img}\'"/></VerticalLayout>',
        '<Control bknormalimage="file=\'{img}\' dest=\'{n},{n},{n},{n}\' source=\'0,0,{n},{n}\' '
        'corner=\'{n},{n},{n},{n}\' fade=\'{n}\'"/>',
        '<Control bknormalimage="file=\'{img}\' corner=\'{n},{n},{n},{n}\' round=\'{n},1\'"/>',
        '<Font name="Tahoma" size="{n}" default="true"/><Control text="Hg"/>',
        '<HorizontalLayout childpadding="{n}" inset="{n},{n},{n},{n}"><Control width="{n}"/>'
        '<Control padding="{n},{n},{n},{n}"/></HorizontalLayout>',
        '<Control width="{n}" height="40" roundcorner="{n},{n}" normalbkcolor="#FF00FF00" bordersize="{n}" '
        'bordercolor="#FFFF0000"/>',
        '<Control width="{n}" height="{n}" roundcorner="{n},{n}" bordersize="3" bordercolor="#FFFF0000"/>',
        '<Control text="huge" normaltextpadding="{n},{n},{n},{n}" textspecialstyle="{n},{n}" rowheight="{n}" '
        'align="wordbreak"/>',
        '<VerticalLayout><Progress value="{n}" min="{n}" max="2" width="{n}"/><Slide value="{n}" width="{n}"/>'
        '</VerticalLayout>',
        '<Control pos="{n},{n},{n},{n}" float="true" normalbkcolor="#FF0000FF"/>',
        '<Control width="{n}" height="{n}" text="translucent" normaltextcolor="#800000FF" '
        'normalbkcolor="#80FF0000" bordersize="2" bordercolor="#80000000"/>',
    ]
    cases = []
    for n in NUMBERS:
        for k, template in enumerate(templates):
            body = template.format(n=n, img=image)
            # An image stretched over a control taller than any screen still
            # shows in the part that is seen.
            seen = [((5, 5), [COLOUR], 0)] if k == 1 and n in ("2147483596", "1000000000") else []
            cases.append(Case(f"number {n} in {body[:40]}", f"<Window>{body}</Window>", pixels=seen))
        window = (f'<Window roundcorner="{n},{n}" sizebox="{n},{n},{n},{n},{n}" caption="{n},{n},{n},{n}" '
                  f'mininfo="{n},{n}" maxinfo="{n},{n}" layeredwindowalpha="{n}"><Control/></Window>')
        cases.append(Case(f"number {n} in the window's attributes", window))
    return cases


def translucency_cases():
    cases = []
    for alpha in (0x01, 0x40, 0x7F, 0x80, 0xC0, 0xFE):
        blended = (255, 255 - alpha, 255 - alpha)
        cases.append(Case(f"background alpha {alpha:#x}",
                          f'<Window><VerticalLayout normalbkcolor="#FFFFFFFF"><Control normalbkcolor="#{alpha:02X}FF0000"/>'
                          f'</VerticalLayout></Window>', expect=0, pixels=[((10, 10), [blended], 2)]))
        cases.append(Case(f"layered window, alpha {alpha:#x}",
                          f'<Window layeredwindow="true" layeredwindowalpha="{alpha * 100 // 255}">'
                          f'<VerticalLayout normalbkcolor="#{alpha:02X}FF0000"><Slide/><Progress/>'
                          f'<Control text="x" normaltextcolor="#{alpha:02X}000000"/></VerticalLayout></Window>',
                          expect=0))
        cases.append(Case(f"translucent text alpha {alpha:#x} on a 16000 x 16000 control",
                          f'<Window><VerticalLayout normalbkcolor="#FFFFFFFF"><Control width="16000" height="16000" '
                          f'text="HHHH" normaltextcolor="#{max(alpha, 0x80):02X}0000FF"/></VerticalLayout></Window>',
                          expect=0, changed=(0, 0, 40, 20)))
    return cases


def round_corner_cases(folder):
    cases = []
    for r in (2, 8, 50, 1000, 200000000):
        for width in (40, 400000000):
            corner = [((0, 0), [WHITE], 0)] if r in (8, 50) else []
            centre = (20, 15) if width == 40 else (32, 15)
            cases.append(Case(f"roundcorner {r} on a control {width} wide",
                              f'<Window><VerticalLayout normalbkcolor="#FFFFFFFF"><Control width="{width}" height="30" '
                              f'roundcorner="{r},{r}" normalbkcolor="#FF00FF00"/></VerticalLayout></Window>',
                              expect=0, pixels=[(centre, [GREEN], 0)] + corner))
        cases.append(Case(f"window roundcorner {r}",
                          f'<Window roundcorner="{r},{r}"><Control normalbkcolor="#FF00FF00"/></Window>',
                          expect=0, pixels=[((32, 16), [GREEN], 0)]))
    board = os.path.join(folder, "board.png")
    with open(board, "wb") as f:
        f.write(png(256, 256, [c for i in range(256 * 256) for c in (0, 0, 255, 255 * ((i % 256 + i // 256) % 2))]))
    for corner in ("128,128,128,128", "99999999,99999999,99999999,99999999", "0,0,0,0"):
        cases.append(Case(f"checkerboard roundcornerimage, corner {corner}",
                          f'<Window roundcornerimage="file=\'{windows_path(board)}\' corner=\'{corner}\'">'
                          f'<Control normalbkcolor="#FF00FF00"/></Window>', (256, 256), expect=0))
    return cases


def text_cases():
    words = "ab cd \u4e2d " * 100000
    attributes = "".join(f' a{i}=""' for i in range(256))
    return [
        Case("100,000 characters, autocenter", f'<Window><Control text="{"W" * 100000}" align="autocenter"/></Window>',
             expect=0),
        Case("100,000 characters, wordbreak", f'<Window><Control text="{words[:100000]}" align="wordbreak"/></Window>',
             expect=0),
        Case("600,000 characters of centred rich text",
             f'<Window><Control htmltext="true" align="center wordbreak" text="{words[:600000]}"/></Window>', expect=0),
        Case("256 attributes", f"<Window><Control{attributes}/></Window>", expect=0),
        Case("100,000 attributes", "<Window><Control" + ' a=""' * 100000 + "/></Window>", expect=1),
    ]


def tooltip_cases():
    # Xvfb starts the pointer at the screen's centre, inside an 800 x 600
    # window at 0,0: the hover comes at once, and mouse tracking goes on.
    return [Case(f"tooltip after {delay} ms under the pointer",
                 f'<Window><Control tooltip="tip" tooltipdelaytime="{delay}"/></Window>', (800, 600), expect=0)
            for delay in (1, 5, 10)]


def edge_cases(image):
    """Three sizes once seen to break, then every layout holding every kind of
    fill, an edge number n in one slot of attributes at a time; each fill leads
    the row for some n, as items after a huge one lie far away."""
    edges = ["0", "1", "2147483646", "2147483647", "2147483648", "-1", "-2147483648", "1073741824"]
    translucent = 'normalbkcolor="#80FF0000"'
    cases = [Case(name, f"<Window>{body}</Window>", size) for name, body, size in (
        ("an option 2147483647 wide after a translucent one, then a label 962990 wide", '<HorizontalLayout><Option '
         f'{translucent}/><Option width="2147483647"/><Label width="962990"/></HorizontalLayout>', (2048, 8)),
        ("three translucent buttons 2147483646 x 1073741824", "<HorizontalLayout>" +
         f'<Button width="2147483646" height="1073741824" {translucent}/>' * 3 + "</HorizontalLayout>", (1500, 600)),
        ("a scrolled layout with a huge inset and bar after two options",
         '<VerticalLayout><Option height="10"/><Option height="10"/><VerticalLayout vscrollbar="true" '
         'inset="255, 2147483648, 240" vscrollbarstyle="width=&quot;16777216&quot;"/></VerticalLayout>', (800, 600)))]
    layouts = {"horizontal": "HorizontalLayout", "vertical": "VerticalLayout",
               "tile": 'GridLayout column="2" gridwidth="{n}" gridheight="{n}"', "tab": "TabCtrl",
               "plain container": "Container", "scrolled": 'VerticalLayout vscrollbar="true" hscrollbar="true" '
               'vscrollbarstyle="width=&quot;{n}&quot;" hscrollbarstyle="height=&quot;{n}&quot; range=&quot;{n}&quot;"'}
    slots = {"size": ("", ' width="{n}" height="{n}"'),
             "room": (' inset="{n},{n},{n},{n}" childpadding="{n}"', ' padding="{n},{n},{n},{n}"'),
             "bounds": ("", ' minwidth="{n}" minheight="{n}" maxwidth="{n}" maxheight="{n}"')}
    fills = ['normalbkcolor="#FFFF0000" bordersize="3" bordercolor="#FF0000FF"',
             f'{translucent} bordersize="2" bordercolor="#8000FF00" roundcorner="6,6"',
             f'bknormalimage="file=\'{image}\' reverse=\'true\'"',
             f'bknormalimage="file=\'{image}\' corner=\'1,1,1,1\' fade=\'128\'"',
             'text="edge of int" align="center wordbreak" textpadding="{n},{n},{n},{n}"',
             'text="edge" align="right vcen singleline" normaltextcolor="#800000FF" textspecialstyle="1,1"',
             'htmltext="true" text="{c #FF0000}edge{/c} of int" align="center vcen"']
    for (layout, element), (slot, (room, sizes)), (k, n), (w, h) in itertools.product(
            layouts.items(), slots.items(), enumerate(edges), ((800, 600), (1500, 600), (2048, 8), (4096, 100))):
        item = "TabItem" if layout == "tab" else "Option"
        items = "".join(f"<{item} {fill}{sizes}/>" for fill in fills[k % len(fills):] + fills[:k % len(fills)])
        items += '<Control float="true" pos="{n},{n},{n},{n}" normalbkcolor="#80FF00FF"/>' * (slot == "bounds")
        markup = f"<Window><{element}{room}>{items}</{element.split()[0]}></Window>".replace("{n}", n)
        cases.append(Case(f"{n} as {slot} in a {layout} layout at {w} x {h}", markup, (w, h)))
    return cases


def cut_markups():
    markup = ('\ufeff<Window caption="0,0,0,30" roundcorner="4,4"><Font name="\u5b8b\u4f53" size="12" default="true"/>'
              '<VerticalLayout normalbkcolor="#FFFFFFFF"><Control text="\u68c0\u6d4b &amp; &#x4e2d;" '
              'normalbkcolor="#80FF0000"/><!-- note --><Slide value="3"/></VerticalLayout></Window>').encode("utf-8")
    return [Case(f"markup cut at {n}", markup[:n]) for n in range(len(markup) + 1)]


def windows_path(path):
    return "Z:" + path


def pixel(bmp, x, y):
    offset = struct.unpack_from("<I", bmp, 10)[0]
    width, height = struct.unpack_from("<ii", bmp, 18)
    b, g, r = bmp[offset + ((height - 1 - y) * width + x) * 4:][:3]
    return r, g, b


def run(tool, wine_run, cases, first, folder, tag):
    """Runs the cases from first on in one process; the statuses of those that
    ended, the case that started without ending (or None), exceptions by case."""
    listing = os.path.join(folder, f"list-{tag}-{first}.txt")
    with open(listing, "w", encoding="utf-8") as f:
        for i in range(first, len(cases)):
            w, h = cases[i].size
            f.write(f"{windows_path(cases[i].markup_path)}\t{w}\t{h}\t{windows_path(cases[i].bmp_path)}\n")
    env = dict(os.environ, VL_NEEDS_DISPLAY="1", VL_WINE_DEBUG="+pid,+seh,+loaddll", VL_WINE_PREFIX=f"hostile-{tag}")
    process = subprocess.Popen([wine_run, tool, "--batch", windows_path(listing)], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env,
                               start_new_session=True)
    try:
        out, _ = process.communicate(timeout=BATCH_SECONDS)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, _ = process.communicate()
    with open(tool, "rb") as f:
        pe = f.read(4096)
    span = struct.unpack_from("<I", pe, struct.unpack_from("<I", pe, 0x3C)[0] + 24 + 56)[0]  # its loaded size
    statuses, started, raised, ours, current = {}, None, {}, None, first
    for line in out.decode("utf-8", "replace").splitlines():
        words = line.split()
        if len(words) == 2 and words[0] == "case":
            started = current = first + int(words[1]) - 1
        elif len(words) == 3 and words[0] == "end":
            statuses[first + int(words[1]) - 1] = int(words[2])
            started = None
        elif loaded := re.match(r'(\w+):\w+:trace:loaddll:.*\\ui-render\.exe" at (\w+)', line):
            ours = loaded[1], range(int(loaded[2], 16), int(loaded[2], 16) + span)
        elif (seen := re.match(r"(\w+):\w+:trace:seh:dispatch_exception code=(\w+) .*addr=(\w+)", line)) and \
                ours and seen[1] == ours[0] and (int(seen[3], 16) in ours[1] or int(seen[2], 16) >> 28 == 0xC):
            raised.setdefault(current, f"exception {seen[2]} at {seen[3]}")
    return statuses, started, raised


def check(case, status):
    if status not in (0, 1) or (case.expect is not None and status != case.expect):
        return f"ended with {status}, expected {case.expect}"
    if status == 1:
        return None
    with open(case.bmp_path, "rb") as f:
        bmp = f.read()
    for (x, y), allowed, tolerance in case.pixels:
        seen = pixel(bmp, x, y)
        if not any(all(abs(a - b) <= tolerance for a, b in zip(seen, colour)) for colour in allowed):
            return f"pixel {x},{y} is {seen}, expected one of {allowed}"
    if case.changed:
        x0, y0, x1, y1 = case.changed
        if all(pixel(bmp, x, y) == WHITE for x in range(x0, x1) for y in range(y0, y1)):
            return f"nothing drawn in {case.changed}"
    return None


def run_all(tool, wine_run, cases, folder, tag):
    """The failures of the cases, run in a new process after each that crashed or hung."""
    failures, first = [], 0
    while first < len(cases):
        statuses, started, raised = run(tool, wine_run, cases, first, folder, tag)
        failures += [f"{cases[i].name}: {problem}" for i, status in sorted(statuses.items())
                     if (problem := raised.get(i) or check(cases[i], status))]
        if started is None and first + len(statuses) < len(cases):
            started = first + len(statuses)  # the process ended before starting it
        if started is None:
            break
        failures.append(f"{cases[started].name}: the run crashed or hung here")
        first = started + 1
    return failures


def main():
    tool, wine_run = sys.argv[1], sys.argv[2]
    folder = tempfile.mkdtemp(prefix="vl-hostile-ui.")
    image = os.path.join(folder, "solid.png")
    with open(image, "wb") as f:
        f.write(png(4, 4, list(COLOUR + (255,)) * 16))
    edges = edge_cases(windows_path(image))
    cases = (nesting_cases() + number_cases(windows_path(image)) + translucency_cases() + round_corner_cases(folder) +
             text_cases() + tooltip_cases() + cut_markups() + image_grids(folder) + edges)
    for i, case in enumerate(cases):
        case.markup_path, case.bmp_path = os.path.join(folder, f"{i}.xml"), os.path.join(folder, f"{i}.bmp")
        with open(case.markup_path, "wb") as f:
            f.write(case.markup if isinstance(case.markup, bytes) else case.markup.encode("utf-8"))
    images = sum(len(data) + 1 for data, _, _ in image_formats().values())
    print(f"{len(cases) - len(image_formats())} markups and {images} images in {folder}")
    # The edge table's windows wait out their idle times side by side, each in a Wine prefix of its own.
    groups = [cases[:-len(edges)]] + [edges[k::3] for k in range(3)]
    with concurrent.futures.ThreadPoolExecutor(len(groups)) as pool:
        failures = sum(pool.map(lambda k: run_all(tool, wine_run, groups[k], folder, k), range(len(groups))), [])
    for failure in failures:
        print("FAIL", failure)
    if failures:
        print(f"{len(failures)} of {len(cases)} cases failed; files kept in {folder}")
        return 1
    shutil.rmtree(folder)
    print(f"all {len(cases)} cases ended as clean failures or the right picture")
    return 0


if __name__ == "__main__":
    sys.exit(main())
