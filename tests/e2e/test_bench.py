"""The bench proving itself: recording servers, fmdriver and the namespace,
against fmprobe (tests/driver/fmprobe.cpp) rather than the real program."""

import http.client
import os
import socket
import unittest

from fmbench import BUILD_ROOT, Bench, gbk, hexs, update_host

PROBE_NAME = gbk("探针")
PROBE_COLOUR = (0x22, 0x88, 0xCC)
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}


def probe_exe(arch=64):
    return os.path.join(BUILD_ROOT, "win%d" % arch, "tests", "driver", "fmprobe.exe")


def caption(bench, hwnd):
    return bytes.fromhex(bench.window(hwnd)["title_hex"])


def wait_caption_ends(bench, hwnd, tail, what):
    return bench.wait_for(lambda: caption(bench, hwnd).endswith(tail), what=what)


def fetch(address, method, path, body=None, headers=None):
    conn = http.client.HTTPConnection(address, 80, timeout=10)
    try:
        conn.request(method, path, body=body, headers=headers or {})
        response = conn.getresponse()
        return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
    finally:
        conn.close()


class RecordingServerTest(unittest.TestCase):
    """The servers alone (no Wine): what tests of the program rely on."""

    def test_routes_record_and_answer(self):
        with Bench(self, exe=probe_exe()) as bench:
            bench.update.route("/a.html", body=b"<p>a</p>")
            bench.update.route("/teapot", body="tea", status=418, headers={"X-Kind": "pot"})
            bench.portal.route("/p", body=lambda r: b"echo " + r.body)
            bench.update.route("/chunked", chunks=[b"one,", (0.05, b"two,"), "three"])

            cases = [
                # (what, server, method, path, request body, status, body, header checks)
                ("html route", bench.update, "GET", "/a.html?x=1", None, 200, b"<p>a</p>",
                 {"content-type": "text/html", "content-length": "8"}),
                ("status and extra header", bench.update, "GET", "/teapot", None, 418, b"tea",
                 {"x-kind": "pot"}),
                ("unknown path", bench.update, "GET", "/nope", None, 404, b"not found\n", {}),
                ("posted body reaches a callable route", bench.portal, "POST", "/p", b"\x00\xff", 200,
                 b"echo \x00\xff", {}),
                ("chunked route", bench.update, "GET", "/chunked", None, 200, b"one,two,three",
                 {"transfer-encoding": "chunked"}),
            ]
            for what, server, method, path, body, status, want_body, want_headers in cases:
                with self.subTest(what):
                    got_status, got_headers, got_body = fetch(server.address, method, path, body)
                    self.assertEqual((got_status, got_body), (status, want_body), what)
                    self.assertEqual(got_headers.get("cache-control"), "no-store", what)
                    for name, value in want_headers.items():
                        self.assertEqual(got_headers.get(name), value, "%s: header %s" % (what, name))

            update = bench.update.wait_requests(4)
            portal = bench.portal.wait_requests(1)
            self.assertEqual([r.path for r in update], ["/a.html?x=1", "/teapot", "/nope", "/chunked"])
            self.assertEqual(update[0].route, "/a.html")
            self.assertEqual(update[0].query, "x=1")
            self.assertEqual(update[0].headers["host"], "127.0.0.2")
            self.assertEqual((portal[0].method, portal[0].body), ("POST", b"\x00\xff"))
            # One counter across both servers gives the order of arrival.
            self.assertEqual([r.seq for r in update[:3]] + [portal[0].seq, update[3].seq], [1, 2, 3, 4, 5])

    def test_reset_and_down(self):
        with Bench(self, exe=probe_exe()) as bench:
            bench.update.route("/cut", body=b"x" * 1000, reset_after=10)
            conn = http.client.HTTPConnection(bench.update.address, 80, timeout=10)
            conn.request("GET", "/cut")
            response = conn.getresponse()
            self.assertEqual(response.getheader("Content-Length"), "1000")
            with self.assertRaises((http.client.IncompleteRead, ConnectionResetError)):
                response.read()
            conn.close()

            bench.portal.down()
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection((bench.portal.address, 80), timeout=5).close()
            bench.portal.up()
            bench.portal.route("/back", body=b"up again")
            self.assertEqual(fetch(bench.portal.address, "GET", "/back")[2], b"up again")


class DriverTest(unittest.TestCase):
    """fmdriver and Program against fmprobe under Wine, in the namespace."""

    def test_probe_fetches_through_mapped_host_and_shows_its_window(self):
        with Bench(self, exe=probe_exe()) as bench:
            bench.update.route("/probe", body=b"hello-bench")
            program = bench.start(env=CHINESE, args=[0])
            request = bench.update.wait_requests(1)[0]
            self.assertEqual((request.method, request.route, request.query), ("GET", "/probe", "from=fmprobe"))
            self.assertEqual(request.headers["host"], update_host())
            self.assertEqual(bench.portal.requests, [])

            top = bench.main_window(program.pid)
            self.assertEqual(top["class"], "FmProbe")
            self.assertEqual(top["title_hex"], hexs(PROBE_NAME + b" hello-bench"))
            self.assertEqual(bench.driver("find", program.pid, "--class", "fmprobe")[0]["hwnd"], top["hwnd"])
            self.assertEqual(bench.driver("find", program.pid, "--class", "Nothing"), [])

            info = bench.window(top["hwnd"])
            self.assertTrue(info["visible"])
            self.assertEqual(len(info["children"]), 1, info["children"])
            button = info["children"][0]
            self.assertEqual((button["class"], button["id"], button["text_hex"], button["rect"]),
                             ("Button", 101, hexs(b"OK"), [10, 10, 90, 38]))
            tree = bench.driver("tree", top["hwnd"])
            self.assertEqual([(t["hwnd"], t["parent"]) for t in tree], [(button["hwnd"], top["hwnd"])])
            ox, oy = info["client_origin"]
            self.assertEqual(tree[0]["rect"], [ox + 10, oy + 10, ox + 90, oy + 38])

            # The probe's client area is one solid colour; the screen around it is not.
            w, h = info["client_size"]
            inside, outside = (ox + w // 2, oy + h // 2), (info["rect"][2] + 20, info["rect"][3] + 20)
            bench.wait_for(lambda: bench.pixel(bench.screenshot(), *inside) == PROBE_COLOUR,
                           what="the probe's colour at %s" % (inside,))
            self.assertNotEqual(bench.pixel(bench.screenshot(), *outside), PROBE_COLOUR)

            bench.key(top["hwnd"], "ESCAPE")
            self.assertEqual(program.wait_exit(), 0)
            self.assertFalse(program.running())

    def test_keys_mouse_and_message_boxes(self):
        with Bench(self, exe=probe_exe()) as bench:
            program = bench.start(env=CHINESE)
            hwnd = bench.main_window(program.pid)["hwnd"]
            self.assertEqual(caption(bench, hwnd), PROBE_NAME + b" -")  # no route: the 404 is not shown

            info = bench.window(hwnd)
            button = info["children"][0]
            # A key aimed at a child window brings its top-level window forward.
            for target, modifiers, tail in [(hwnd, (), b" key:K"), (hwnd, ("shift", "ctrl"), b" key:K+shift+ctrl"),
                                            (button["hwnd"], ("alt",), b" key:K+alt")]:
                with self.subTest(target=target, modifiers=modifiers):
                    answer = bench.key(target, "k", *modifiers)
                    self.assertEqual(answer["foreground"], hwnd)
                    wait_caption_ends(bench, hwnd, tail, "caption ending %r" % tail)

            bx = info["client_origin"][0] + (button["rect"][0] + button["rect"][2]) // 2
            by = info["client_origin"][1] + (button["rect"][1] + button["rect"][3]) // 2
            self.assertEqual(bench.driver("mouse", bx, by, "click")["cursor"], [bx, by])
            wait_caption_ends(bench, hwnd, b" clicked", "the button to be clicked")

            cases = [
                # (key, text, has icon, button ids, button to click, caption tail)
                ("N", gbk("请确认"), False, [1, 2], 2, b" box:2"),
                ("M", gbk("出错了"), True, [1], 1, b" box:1"),
            ]
            for key, text, has_icon, ids, click, tail in cases:
                with self.subTest(key=key):
                    bench.key(hwnd, key)
                    box = bench.message_box(program.pid)
                    self.assertEqual((box["title_hex"], box["text_hex"], box["has_icon"], box["owner"]),
                                     (hexs(PROBE_NAME), hexs(text), has_icon, hwnd))
                    self.assertEqual([b["id"] for b in box["buttons"]], ids)
                    self.assertFalse(bench.window(hwnd)["enabled"], "owner disabled while the box is up")
                    target = [b for b in box["buttons"] if b["id"] == click][0]
                    bench.driver("click", target["hwnd"])
                    bench.wait_for(lambda: bench.driver("msgboxes", program.pid) == [], what="the box to close")
                    wait_caption_ends(bench, hwnd, tail, "caption ending %r" % tail)

            bench.driver("post", hwnd, "WM_CLOSE", 0, 0)
            self.assertEqual(program.wait_exit(), 0)

    def test_exit_codes_are_signed_and_exact(self):
        for code in [7, -1, 2147483647, -2147483648, 256]:
            with self.subTest(code=code), Bench(self, exe=probe_exe()) as bench:
                program = bench.start(args=[code])
                bench.key(bench.main_window(program.pid)["hwnd"], "ESCAPE")
                self.assertEqual(program.wait_exit(), code)

    def test_driver_errors_and_cleanup(self):
        with Bench(self, exe=probe_exe()) as bench:
            for args in [("window", 1), ("key", 1, "ESCAPE"), ("find", "x"), ("nonsense",)]:
                with self.subTest(args=args):
                    self.assertIn("error", bench.driver(*args, check=False))
                    with self.assertRaises(AssertionError):
                        bench.driver(*args)
            program = bench.start()
            hwnd = bench.main_window(program.pid)["hwnd"]
            with self.assertRaisesRegex(AssertionError, "unknown key"):
                bench.key(hwnd, "NOSUCHKEY")
            self.assertTrue(program.running())
        # Leaving the bench ends what it started.
        self.assertFalse(program.running())
        self.assertIsNotNone(program.exit_code)


@unittest.skipUnless(os.path.exists(probe_exe(32)), "no win32 build of fmprobe")
class Driver32Test(unittest.TestCase):
    """The 32-bit path: a 32-bit program driven by the 64-bit driver (slow: ~1 min a process)."""

    def test_32bit_probe(self):
        with Bench(self, arch=32, exe=probe_exe(32)) as bench:
            bench.update.route("/probe", body=b"thirty-two")
            program = bench.start(env=CHINESE, args=[-3])
            self.assertEqual(bench.update.wait_requests(1, timeout=300)[0].headers["host"], update_host())
            top = bench.main_window(program.pid)
            self.assertEqual(top["title_hex"], hexs(PROBE_NAME + b" thirty-two"))
            bench.key(top["hwnd"], "ESCAPE")
            self.assertEqual(program.wait_exit(), -3)


if __name__ == "__main__":
    unittest.main()
