"""The shipped program in its skin, as the X screen shows it: the caption,
the client background, a push button and a check box carry skin 4's colours,
and hovering over and pressing a button change its pixels.

The colours are read from the build's own skin04.fms (the file the program
carries as skin 4), so the test follows the skin table rather than restating
it. Geometry follows the engine's drawing: the caption gradient spans the
frame's inside from the top border down to the client area; a push button's
face is a vertical gradient over its height (sampled at three quarters down,
below the gloss band and away from the label); the check box square sits at
the left, centred vertically.
"""
import os
import struct
import unittest

from fmbench import BUILD_ROOT, Bench, Image

DOWNLOAD = "/wz/marrowick.txt"
FLAG = "/bb/22.txt"
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}
TOLERANCE = 3

# Palette and metric positions in the skin file (skinengine/skin_format.h).
CAPTION_TOP, CAPTION_BOTTOM = 0, 1
BACKGROUND = 13
BUTTON_TOP, BUTTON_BOTTOM, BUTTON_HOT_TOP, BUTTON_HOT_BOTTOM = 15, 16, 17, 18
BUTTON_PRESSED_TOP, BUTTON_PRESSED_BOTTOM = 19, 20
CHECK_FACE = 27
METRIC_CHECK_SIZE = 3

BS_TYPEMASK, BS_PUSHBUTTON, BS_AUTOCHECKBOX = 0xF, 0x0, 0x3


def read_skin(path):
    """(colours as (r, g, b) tuples, metrics) of a skin file."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b".FMS", path
    count, table = struct.unpack_from("<II", data, 16)
    sections = {}
    for i in range(count):
        tag, offset, size = struct.unpack_from("<4sII", data, table + 12 * i)
        sections[tag] = (offset, size)
    offset, _ = sections[b"PALT"]
    n = struct.unpack_from("<I", data, offset)[0]
    colours = [struct.unpack_from("<I", data, offset + 4 + 4 * i)[0] for i in range(n)]
    colours = [((c >> 16) & 255, (c >> 8) & 255, c & 255) for c in colours]
    offset, _ = sections[b"METR"]
    n = struct.unpack_from("<I", data, offset)[0]
    metrics = list(struct.unpack_from("<%dH" % n, data, offset + 4))
    return colours, metrics


def lerp(a, b, num, den):
    """The engine's gradient rounding (skinengine/skin_paint.cpp)."""
    out = []
    for ca, cb in zip(a, b):
        step = (cb - ca) * num + (den // 2 if cb > ca else -(den // 2))
        # C division truncates towards zero.
        q = abs(step) // den * (1 if step >= 0 else -1)
        out.append(max(0, min(255, ca + q)))
    return tuple(out)


def near(a, b, tolerance=TOLERANCE):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


class SkinPixelsTest(unittest.TestCase):
    def setUp(self):
        self.colours, self.metrics = read_skin(os.path.join(BUILD_ROOT, "win64", "skins", "skin04.fms"))

    def shot(self, bench):
        return Image.load(bench.screenshot())

    def face_at(self, image, rect, top, bottom):
        """(seen, wanted) face colour of a button at three quarters down."""
        left, t, right, b = rect
        h = b - t
        row = h * 3 // 4
        return image.pixel(left + 8, t + row), lerp(self.colours[top], self.colours[bottom], row, h - 1)

    def test_skin_4_colours_reach_the_screen_and_the_button_answers_the_mouse(self):
        with Bench(self) as bench:
            bench.update.route(DOWNLOAD, body=b"http://download.fenlow.test/\r\n")
            bench.update.route(FLAG, body=b"1")
            program = bench.start(env=CHINESE)
            top = bench.main_window(program.pid)
            info = bench.window(top["hwnd"])
            wl, wt, wr, wb = info["rect"]
            ox, oy = info["client_origin"]
            cw, ch = info["client_size"]
            children = info["children"]
            buttons = [c for c in children if c["class"].lower() == "button"]
            push = [c for c in buttons if c["style"] & BS_TYPEMASK == BS_PUSHBUTTON]
            checks = [c for c in buttons if c["style"] & BS_TYPEMASK == BS_AUTOCHECKBOX]
            self.assertTrue(push and checks, "the window's push buttons and check boxes")

            def screen_rect(child):
                l, t, r, b = child["rect"]
                return (ox + l, oy + t, ox + r, oy + b)

            # A point of the client area that no child covers.
            def free_point():
                for y in range(ch - 3, 0, -7):
                    for x in range(cw - 4, 3, -9):
                        if not any(c["rect"][0] - 2 <= x < c["rect"][2] + 2 and c["rect"][1] - 2 <= y < c["rect"][3] + 2
                                   for c in children if c["visible"]):
                            return (ox + x, oy + y)
                return None

            background = free_point()
            self.assertIsNotNone(background, "a bare spot of the client area")
            border = ox - wl
            caption = (wl + border, wt + border, wr - border, oy)
            button = screen_rect(push[-1])
            check = screen_rect(checks[0])
            side = self.metrics[METRIC_CHECK_SIZE]

            def skinned():
                image = self.shot(bench)
                problems = []
                seen = image.pixel(*background)
                if not near(seen, self.colours[BACKGROUND], 0):
                    problems.append("background %s at %s, want %s" % (seen, background, self.colours[BACKGROUND]))
                # Caption: most of the middle row between the centred title
                # and the close box has the gradient's colour for that row.
                height = caption[3] - caption[1]
                row = height // 2
                want = lerp(self.colours[CAPTION_TOP], self.colours[CAPTION_BOTTOM], row, height - 1)
                width = caption[2] - caption[0]
                xs = range(caption[0] + width * 72 // 100, caption[0] + width * 90 // 100)
                matched = sum(near(image.pixel(x, caption[1] + row), want) for x in xs)
                if matched * 2 < len(xs):
                    problems.append("caption row %d: %d of %d pixels are %s" % (row, matched, len(xs), want))
                seen, want = self.face_at(image, button, BUTTON_TOP, BUTTON_BOTTOM)
                if not near(seen, want):
                    problems.append("button face %s, want %s" % (seen, want))
                box_top = check[1] + ((check[3] - check[1]) - side) // 2
                face = sum(near(image.pixel(check[0] + x, box_top + y), self.colours[CHECK_FACE], 0)
                           for x in range(3, side - 3) for y in range(3, side - 3))
                if face < (side - 6) ** 2 * 9 // 10:
                    problems.append("check box square: %d face pixels" % face)
                return problems

            last = []

            def settled():
                last[:] = skinned()
                return not last

            try:
                bench.wait_for(settled, timeout=60, what="skin 4 on screen")
            except AssertionError:
                self.fail("skin 4 is not on screen: " + "; ".join(last))

            # Hover, then press: the face takes the hot, then the pressed gradient.
            cx, cy = (button[0] + button[2]) // 2, (button[1] + button[3]) // 2
            normal = [self.shot(bench).pixel(button[0] + x, cy) for x in range(4, button[2] - button[0] - 4)]
            bench.driver("mouse", str(cx), str(cy), "move")

            def face_is(top_role, bottom_role):
                seen, want = self.face_at(self.shot(bench), button, top_role, bottom_role)
                return near(seen, want)

            bench.wait_for(lambda: face_is(BUTTON_HOT_TOP, BUTTON_HOT_BOTTOM), what="the hot face under the mouse")
            hot = [self.shot(bench).pixel(button[0] + x, cy) for x in range(4, button[2] - button[0] - 4)]
            self.assertNotEqual(hot, normal)
            bench.driver("mouse", str(cx), str(cy), "down")
            bench.wait_for(lambda: face_is(BUTTON_PRESSED_TOP, BUTTON_PRESSED_BOTTOM), what="the pressed face")
            bench.driver("mouse", str(cx), str(cy), "up")
            bench.wait_for(lambda: face_is(BUTTON_HOT_TOP, BUTTON_HOT_BOTTOM), what="hot again after the release")

            bench.driver("post", str(top["hwnd"]), "WM_CLOSE", "0", "0")
            self.assertEqual(program.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
