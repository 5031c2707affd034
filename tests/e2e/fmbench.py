"""The end-to-end test bench: runs the Windows program under Wine against two
recording HTTP servers and looks at its windows through fmdriver.

Meant to run inside the namespace set up by scripts/e2e (scripts/lib/in-namespace),
where the update server host name maps to 127.0.0.2 and the game portal host
name to 127.0.0.3. See README.md beside this file.
"""

import http.server
import json
import mimetypes
import os
import re
import shutil
import socket
import socketserver
import struct
import subprocess
import tempfile
import threading
import time

SOURCE_DIR = os.environ.get(
    "FM_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD_ROOT = os.environ.get("FM_BUILD_ROOT", "/work/main/build")
WINE64 = "/usr/lib/wine/wine64"
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

UPDATE_ADDRESS = "127.0.0.2"
PORTAL_ADDRESS = "127.0.0.3"

# A 32-bit Wine process starts through qemu here: about a minute each.
DEFAULT_TIMEOUT = {64: 60, 32: 300}

# Environment variables that decide how Wine converts ANSI text; the driver
# must share them with the program so window texts keep their bytes.
LOCALE_VARIABLES = ("LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE")

POLL_INTERVAL = 0.05


def gbk(s):
    """Bytes of s in code page 936."""
    return s.encode("cp936")


def hexs(b):
    """Lower-case hex of bytes (the form fmdriver gives texts in)."""
    return bytes(b).hex()


def unhex(h):
    return bytes.fromhex(h)


def build_host(name, default):
    """A host name setting of the win64 build (host part only)."""
    try:
        with open(os.path.join(BUILD_ROOT, "win64", "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                if line.startswith(name + ":"):
                    return line.split("=", 1)[1].strip().split(":")[0] or default
    except OSError:
        pass
    return default


def update_host():
    return build_host("FM_UPDATE_SERVER_HOST", "update.fenlow.test")


def portal_host():
    return build_host("FM_GAME_PORTAL_HOST", "game.fenlow.test")


def driver_exe():
    return os.path.join(BUILD_ROOT, "win64", "tests", "driver", "fmdriver.exe")


def poll(fn, timeout, what):
    """Calls fn until it returns something truthy; AssertionError after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = fn()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(POLL_INTERVAL)


# ---------------------------------------------------------------------------
# Recording HTTP servers


class Request:
    """One request as a server received it."""

    def __init__(self, seq, method, path, headers, body, server=""):
        self.seq = seq            # shared by both servers: orders requests across them
        self.method = method
        self.path = path          # as sent, with the query string
        self.headers = headers    # dict, lower-case names
        self.body = body          # bytes
        self.server = server      # "update" or "portal"

    @property
    def route(self):
        return self.path.split("?", 1)[0]

    @property
    def query(self):
        return self.path.split("?", 1)[1] if "?" in self.path else ""

    def __repr__(self):
        return "Request(seq=%d, server=%s, %s %s, headers=%r, body=%r)" % (
            self.seq, self.server, self.method, self.path, self.headers, self.body[:200])


class SequenceCounter:
    def __init__(self):
        self._lock = threading.Lock()
        self._next = 1

    def take(self):
        with self._lock:
            n = self._next
            self._next += 1
            return n


class Route:
    def __init__(self, body, status, headers, delay, reset_after, chunks):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.body = body
        self.status = status
        self.headers = dict(headers or {})
        self.delay = delay
        self.reset_after = reset_after
        self.chunks = chunks


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fmbench"
    sys_version = ""

    def log_message(self, format, *args):  # keep test output clean
        pass

    def _read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            data = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _handle(self):
        owner = self.server.owner
        body = self._read_body()
        headers = {}
        for name, value in self.headers.items():
            key = name.lower()
            headers[key] = headers[key] + ", " + value if key in headers else value
        request = Request(owner.counter.take(), self.command, self.path, headers, body, owner.name)
        with owner.lock:
            owner.requests.append(request)
            route = owner.routes.get(request.route)
        if route is None:
            route = Route(b"not found\n", 404, {"Content-Type": "text/plain"}, 0.0, None, None)
        if route.delay:
            time.sleep(route.delay)  # the route's own behaviour: a slow server
        payload = route.body(request) if callable(route.body) else route.body
        if isinstance(payload, str):
            payload = payload.encode("utf-8")
        self._respond(request, route, payload)

    def _respond(self, request, route, payload):
        self.send_response(route.status)
        names = {k.lower() for k in route.headers}
        if "content-type" not in names:
            guessed = mimetypes.guess_type(request.route)[0]
            self.send_header("Content-Type", guessed or "application/octet-stream")
        self.send_header("Cache-Control", "no-store")
        for name, value in route.headers.items():
            self.send_header(name, value)
        head_only = self.command == "HEAD"
        if route.chunks is not None:
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            self.wfile.flush()
            if head_only:
                return
            for chunk in route.chunks:
                pause = 0.0
                if isinstance(chunk, tuple):
                    pause, chunk = chunk
                if isinstance(chunk, str):
                    chunk = chunk.encode("utf-8")
                if pause:
                    time.sleep(pause)
                if chunk:
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                    self.wfile.flush()
            self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
            return
        if "content-length" not in names:
            self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        if head_only:
            self.wfile.flush()
            return
        if route.reset_after is not None:
            self.wfile.write(payload[:route.reset_after])
            self.wfile.flush()
            # An abortive close: the client sees a reset, not a clean end.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
            return
        self.wfile.write(payload)
        self.wfile.flush()

    do_GET = do_POST = do_HEAD = do_PUT = do_DELETE = do_OPTIONS = _handle

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):  # resets are part of the tests
        pass


class HttpServer:
    """A recording HTTP server on address:80."""

    def __init__(self, name, address, counter, port=80):
        self.name = name
        self.address = address
        self.port = port
        self.counter = counter
        self.lock = threading.Lock()
        self.routes = {}
        self.requests = []
        self._server = None
        self._thread = None

    def route(self, path, body=b"", status=200, headers=None, delay=0.0, reset_after=None, chunks=None):
        """Serves path (query ignored when matching). body may be bytes, str
        (UTF-8) or a callable(Request) -> bytes. reset_after=N sends the headers
        and N body bytes, then resets the connection. chunks: a list of bytes (or
        (pause_seconds, bytes)) sent with Transfer-Encoding: chunked instead of body."""
        with self.lock:
            self.routes[path] = Route(body, status, headers, delay, reset_after, chunks)

    def up(self):
        if self._server:
            return
        self._server = _Server((self.address, self.port), _Handler)
        self._server.owner = self
        self._thread = threading.Thread(
            target=self._server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()

    def down(self):
        """Stops listening: later connections are refused."""
        if not self._server:
            return
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()
        self._server = None
        self._thread = None

    @property
    def url(self):
        return "http://%s/" % self.address

    def wait_requests(self, n, timeout=30):
        """Waits until at least n requests arrived; returns all of them."""
        def enough():
            with self.lock:
                return list(self.requests) if len(self.requests) >= n else None
        try:
            return poll(enough, timeout, "%d request(s) at the %s server" % (n, self.name))
        except AssertionError as e:
            raise AssertionError("%s; got %r" % (e, self.requests)) from None

    def requests_to(self, route):
        with self.lock:
            return [r for r in self.requests if r.route == route]


# ---------------------------------------------------------------------------
# Driver and programs


def run_driver(args, env=None, timeout=60):
    """Runs fmdriver once; returns (exit status, parsed JSON or None, raw text).

    Output goes through a file, not a pipe: Wine's helper processes may
    inherit the standard handles and keep a pipe open after the driver ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(
            [WINE64, driver_exe()] + [str(a) for a in args], stdin=subprocess.DEVNULL,
            stdout=out, stderr=err, env=env, timeout=timeout).returncode
        out.seek(0)
        text = out.read().decode("utf-8", "replace").strip()
    try:
        value = json.loads(text.splitlines()[-1]) if text else None
    except ValueError:
        value = None
    return status, value, text


class Program:
    """A program started through `fmdriver run`."""

    def __init__(self, bench, output_path, popen, timeout):
        self.bench = bench
        self._output_path = output_path
        self._popen = popen
        self._timeout = timeout
        self._pid = None
        self._exit = None

    def _read(self):
        try:
            with open(self._output_path, "rb") as f:
                lines = f.read().decode("utf-8", "replace").splitlines()
        except OSError:
            return
        for line in lines:
            try:
                value = json.loads(line)
            except ValueError:
                continue  # a line still being written
            if "pid" in value:
                self._pid = value["pid"]
            elif "exit" in value:
                self._exit = value["exit"]
            elif "error" in value:
                raise AssertionError("fmdriver run failed: " + value["error"])

    @property
    def pid(self):
        if self._pid is None:
            def started():
                self._read()
                if self._pid is None and self._popen.poll() is not None:
                    self._read()
                    if self._pid is None:
                        raise AssertionError("fmdriver run ended without starting the program")
                return self._pid
            poll(started, self._timeout, "the program to start")
        return self._pid

    def running(self):
        self._read()
        return self._exit is None and self._popen.poll() is None

    @property
    def exit_code(self):
        """The signed exit code, or None while the program runs."""
        self._read()
        return self._exit

    def wait_exit(self, timeout=None):
        """Waits for the program to end; returns its signed exit code."""
        def ended():
            self._read()
            if self._exit is None and self._popen.poll() is not None:
                self._read()
                if self._exit is None:
                    raise AssertionError("fmdriver run ended without reporting an exit code")
            return self._exit is not None
        poll(ended, timeout or self._timeout, "the program to exit")
        return self._exit

    def kill(self):
        if self.running() and self._pid is not None:
            run_driver(["kill", self._pid], env=self.bench.driver_environment())
        try:
            self._popen.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self._popen.kill()
            self._popen.wait()


class Bench:
    """One test's bench: a fresh program directory, two recording servers,
    and the programs it started (ended on exit)."""

    def __init__(self, testcase, arch=64, exe="FenlowMarrowick2.exe"):
        if arch not in (32, 64):
            raise ValueError("arch must be 32 or 64")
        self.testcase = testcase
        self.arch = arch
        self.exe_name = os.path.basename(exe)
        self.build_dir = os.path.join(BUILD_ROOT, "win%d" % arch)
        self.exe_source = exe if os.path.isabs(exe) else os.path.join(self.build_dir, exe)
        self.timeout = DEFAULT_TIMEOUT[arch]
        self.counter = SequenceCounter()
        self.update = HttpServer("update", UPDATE_ADDRESS, self.counter)
        self.portal = HttpServer("portal", PORTAL_ADDRESS, self.counter)
        self.programs = []
        self._locale = {}
        self._runs = 0

    def __enter__(self):
        test_id = re.sub(r"[^A-Za-z0-9_.-]", "_", self.testcase.id())
        run_root = os.path.join(BUILD_ROOT, "e2e-run")
        self.program_dir = os.path.join(run_root, test_id)
        self.work_dir = os.path.join(run_root, test_id + ".bench")  # the bench's own files
        for d in (self.program_dir, self.work_dir):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        if not os.path.exists(self.exe_source):
            raise AssertionError("not built: " + self.exe_source)
        if not os.path.exists(driver_exe()):
            raise AssertionError("not built: " + driver_exe())
        self.exe_path = os.path.join(self.program_dir, self.exe_name)
        shutil.copy2(self.exe_source, self.exe_path)
        try:
            self.update.up()
            self.portal.up()
        except BaseException:
            self.update.down()
            raise
        return self

    def __exit__(self, *exc):
        try:
            for program in self.programs:
                program.kill()
        finally:
            self.update.down()
            self.portal.down()
        return False

    # --- paths

    @staticmethod
    def win_path(linux_path):
        return "Z:" + os.path.abspath(linux_path).replace("/", "\\")

    # --- programs

    def driver_environment(self):
        env = dict(os.environ)
        env.update(self._locale)
        return env

    def start(self, env=None, args=None, exe=None):
        """Starts the program (or another exe in the program directory) through
        `fmdriver run`; env adds variables, args are its command line arguments."""
        env_all = dict(os.environ)
        env_all.update(env or {})
        for name in LOCALE_VARIABLES:
            if env and name in env:
                self._locale[name] = env[name]
        self._runs += 1
        output_path = os.path.join(self.work_dir, "run-%d.out" % self._runs)
        exe_path = self.exe_path if exe is None else os.path.join(self.program_dir, exe)
        command = [WINE64, driver_exe(), "run", self.win_path(exe_path), self.win_path(self.program_dir)]
        if args:
            command += ["--"] + [str(a) for a in args]
        with open(output_path, "wb") as out, open(output_path + ".err", "wb") as err:
            popen = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env_all)
        program = Program(self, output_path, popen, self.timeout)
        self.programs.append(program)
        return program

    def driver(self, *args, check=True):
        """Runs one fmdriver command; returns its JSON. With check (the default)
        an {"error": ...} answer fails the test."""
        # A driver call that reads another process's windows waits on that
        # process; a 32-bit program starting under emulation can keep it
        # waiting far longer than a 64-bit one, so the bench's own time-out
        # bounds the call.
        status, value, text = run_driver(args, env=self.driver_environment(),
                                         timeout=max(60, self.timeout))
        if value is None:
            raise AssertionError("fmdriver %s printed no JSON (status %d): %r" % (
                " ".join(map(str, args)), status, text))
        if check and (status != 0 or (isinstance(value, dict) and "error" in value)):
            raise AssertionError("fmdriver %s: %s" % (" ".join(map(str, args)), value))
        return value

    # --- waiting

    def wait_for(self, fn, timeout=30, what="the condition"):
        return poll(fn, timeout, what)

    def main_window(self, pid, visible=True, timeout=None):
        """The program's top-level window (not a message box unless that is all)."""
        def found():
            windows = [w for w in self.driver("find", pid, check=False) or []
                       if isinstance(w, dict) and w.get("class") not in ("IME", "MSCTFIME UI")
                       and (w["visible"] or not visible)]
            own = [w for w in windows if w["class"] != "#32770"]
            return (own or windows or [None])[0]
        return poll(found, timeout or self.timeout, "a top-level window of process %s" % pid)

    def message_box(self, pid, timeout=None):
        """The first #32770 window of the process (as `fmdriver msgboxes` gives it)."""
        def found():
            boxes = [b for b in self.driver("msgboxes", pid, check=False) or []
                     if isinstance(b, dict) and b.get("visible")]
            return boxes[0] if boxes else None
        return poll(found, timeout or self.timeout, "a message box of process %s" % pid)

    def window(self, hwnd):
        return self.driver("window", hwnd)

    def key(self, hwnd, key, *modifiers):
        return self.driver("key", hwnd, key, *modifiers)

    # --- pictures

    def screenshot(self, path=None):
        """A PNG of the whole X screen; returns its path."""
        if path is None:
            path = os.path.join(self.work_dir, "screen-%d.png" % time.monotonic_ns())
        subprocess.run(["import", "-window", "root", path], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        return path

    def pixel(self, png, x, y):
        """(r, g, b) of one pixel of a screenshot."""
        return Image.load(png).pixel(x, y)


class Image:
    """An RGB picture read through ImageMagick as PPM."""

    _cache = {}

    def __init__(self, width, height, data):
        self.width = width
        self.height = height
        self.data = data

    @classmethod
    def load(cls, path):
        key = (os.path.abspath(path), os.stat(path).st_mtime_ns)
        if key not in cls._cache:
            raw = subprocess.run([CONVERT, path, "-depth", "8", "ppm:-"], check=True,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE).stdout
            cls._cache[key] = cls.parse_ppm(raw)
        return cls._cache[key]

    @classmethod
    def parse_ppm(cls, raw):
        fields = []
        pos = 0
        while len(fields) < 4:
            while raw[pos:pos + 1].isspace():
                pos += 1
            if raw[pos:pos + 1] == b"#":
                pos = raw.index(b"\n", pos) + 1
                continue
            end = pos
            while not raw[end:end + 1].isspace():
                end += 1
            fields.append(raw[pos:end])
            pos = end
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit PPM")
        width, height = int(fields[1]), int(fields[2])
        data = raw[pos + 1:pos + 1 + width * height * 3]
        if len(data) != width * height * 3:
            raise ValueError("short PPM")
        return cls(width, height, data)

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise ValueError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])
