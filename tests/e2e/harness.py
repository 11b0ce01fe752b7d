"""Runs the real program under Xvfb: real X input through xdotool, screenshots through import."""

import argparse
import atexit
import ctypes
import math
import errno
import os
import pwd
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

TITLE = "Voxel 기초 - by Tessmir"
BOX_TITLE = "voxel"  # the program file's name, as the error box's caption
CLIENT_SIZE = (688, 553)
VIEW_SIZE = (320, 240)
SCREEN_VIEW = (16, 16)  # client position of the screen view
MAP_VIEW = (352, 16)  # client position of the map view
PANEL = (16, 272)  # client position of the command panel
MAP_BYTES = 320 * 240
# The counter text "F/S : n" sits at (8, 8) of the screen view; this box holds it.
COUNTER_BOX = (0, 0, 150, 34)  # left, top, right (exclusive), bottom (exclusive)


def panel_point(left, top, width, height, dx=None, dy=None):
    """Client point inside a panel control given its panel rectangle (centre by default)."""
    x = PANEL[0] + left + (width // 2 if dx is None else dx)
    y = PANEL[1] + top + (height // 2 if dy is None else dy)
    return x, y


# Controls by their panel rectangles.
EXIT_BTN = panel_point(192, 184, 75, 25)
INIT_BTN = panel_point(192, 8, 75, 25)
CAMROT_AUTO_CHECK = panel_point(8, 144, 161, 17)
WAIT_MOVE_CHECK = panel_point(8, 120, 161, 17)
BRUSH_RANGE_SPIN = panel_point(96, 8, 73, 22, dx=20)
CAMERA_Z_SPIN = panel_point(96, 32, 73, 22, dx=20)
DIVISOR_SPIN = panel_point(96, 56, 73, 22, dx=20)
CAMROT_SPIN = panel_point(96, 80, 73, 22, dx=20)
# A spot on the screen view: nothing happens there, whatever the buttons do.
PARK = (SCREEN_VIEW[0] + 160, SCREEN_VIEW[1] + 120)


class E2eFailure(Exception):
    """A check of the program failed."""


class Skip(Exception):
    """A check that cannot run here; the reason is printed and nothing fails."""


class Deadline:
    """A bounded wait: poll while not expired."""

    def __init__(self, seconds):
        self.end = time.monotonic() + seconds

    def expired(self):
        return time.monotonic() >= self.end

    def left(self):
        return max(0.0, self.end - time.monotonic())


def poll(predicate, timeout, what, interval=0.05):
    """Calls predicate until it returns a true value; raises E2eFailure after timeout seconds."""
    deadline = Deadline(timeout)
    while True:
        value = predicate()
        if value:
            return value
        if deadline.expired():
            raise E2eFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


# VOXEL_E2E_FULL=1 runs every case at every display depth; otherwise the tests run the cases a
# second depth adds nothing to at the first depth only.
FULL_MATRIX = os.environ.get("VOXEL_E2E_FULL") == "1"


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--voxel", required=True, help="the built program")
    parser.add_argument("--tools", required=True, help="the build folder with the helper tools")
    return parser.parse_args()


# ---- Processes: every one started here is ended here, by its own process group. ----

_started = []  # Popen objects, oldest first


def _end_process(proc, grace=3.0):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            pass
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(5)
    else:
        # The leader is gone; end any child it left in its group.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass


def end_all_processes():
    while _started:
        _end_process(_started.pop())


atexit.register(end_all_processes)


def _on_signal(signum, _frame):
    end_all_processes()
    sys.exit(128 + signum)


signal.signal(signal.SIGTERM, _on_signal)
signal.signal(signal.SIGINT, _on_signal)


def _die_with_parent():
    # Should this script be killed outright (a test runner's timeout), its children go too.
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def spawn(argv, **kwargs):
    """Starts a process in its own group and records it for cleanup."""
    proc = subprocess.Popen(argv, start_new_session=True, preexec_fn=_die_with_parent, **kwargs)
    _started.append(proc)
    return proc


def forget(proc):
    if proc in _started:
        _started.remove(proc)


class Display:
    """An Xvfb server on a free display, optionally with openbox managing the windows."""

    def __init__(self, depth=24, window_manager=False, size=(1280, 1024), workdir=None,
                 noreset=True):
        """noreset=False: the server resets whenever its last client leaves, as a plain Xvfb
        or X server does."""
        self.depth = depth
        self.size = size
        self.workdir = workdir or tempfile.mkdtemp(prefix="voxel-e2e-x-")
        os.makedirs(self.workdir, exist_ok=True)
        self.log = open(os.path.join(self.workdir, "xvfb.log"), "wb")
        read_end, write_end = os.pipe()
        try:
            self.server = spawn(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                 f"{size[0]}x{size[1]}x{depth}", "-nolisten", "tcp"] + ["-noreset"] * noreset,
                pass_fds=(write_end,), stdout=self.log, stderr=self.log)
            os.close(write_end)
            write_end = -1
            number = b""
            deadline = Deadline(30)
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], deadline.left())
                if not ready:
                    raise E2eFailure("Xvfb did not report its display within 30 s")
                chunk = os.read(read_end, 64)
                if not chunk:
                    raise E2eFailure("Xvfb ended before reporting its display")
                number += chunk
        finally:
            if write_end >= 0:
                os.close(write_end)
            os.close(read_end)
        self.name = ":" + number.decode().strip()
        self.env = dict(os.environ)
        for key in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_SCALE_FACTOR",
                    "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR", "XAUTHORITY"):
            self.env.pop(key, None)
        self.env["DISPLAY"] = self.name
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env["LC_ALL"] = "C.UTF-8"
        runtime = os.path.join(self.workdir, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.wm = None
        if window_manager:
            self._start_openbox()

    def _start_openbox(self):
        config = os.path.join(self.workdir, "rc.xml")
        # A minimal configuration: Alt+F4 asks the focused window to close, as its close box does.
        with open(config, "w", encoding="utf-8") as f:
            f.write("""<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>
  <mouse><context name="Close">
    <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    <mousebind button="Left" action="Click"><action name="Close"/></mousebind>
  </context></mouse>
</openbox_config>
""")
        self.wm_log = open(os.path.join(self.workdir, "openbox.log"), "wb")
        self.wm = spawn(["openbox", "--sm-disable", "--config-file", config],
                        env=self.env, stdout=self.wm_log, stderr=self.wm_log)
        # Ready once it has claimed the screen and announced the EWMH support window.
        poll(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False),
            30, "openbox to manage the screen", interval=0.1)

    def run(self, argv, check=True, timeout=30, input_bytes=None):
        """Runs an X client on this display; returns its standard output as text."""
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout,
                                input=input_bytes)
        if check and result.returncode != 0:
            raise E2eFailure(f"{' '.join(argv)} failed ({result.returncode}): "
                             f"{result.stderr.decode(errors='replace').strip()}")
        return result.stdout.decode(errors="replace")

    def run_bytes(self, argv, timeout=30):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout)
        if result.returncode != 0:
            raise E2eFailure(f"{argv[0]} failed ({result.returncode}): "
                             f"{result.stderr.decode(errors='replace').strip()}")
        return result.stdout

    def xdotool(self, *args):
        return self.run(["xdotool", *[str(a) for a in args]])

    # ---- Input ----

    def move(self, x, y):
        """Moves the pointer to a root position and waits until the server reports it there."""
        self.xdotool("mousemove", x, y)
        poll(lambda: self.pointer() == (x, y), 10, f"the pointer to reach {x},{y}", 0.02)

    def pointer(self):
        values = dict(line.split("=", 1) for line in
                      self.xdotool("getmouselocation", "--shell").split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def button_down(self, button):
        self.xdotool("mousedown", button)

    def button_up(self, button):
        self.xdotool("mouseup", button)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", 30, text)

    def cursor_image(self):
        """The cursor the X server shows now, through XFixes: (width, height, hot spot, pixels
        as ARGB row-major)."""
        x11 = ctypes.CDLL("libX11.so.6")
        xfixes = ctypes.CDLL("libXfixes.so.3")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XFree.argtypes = [ctypes.c_void_p]
        xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                ctypes.POINTER(ctypes.c_int)]
        xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_XFixesCursorImage)
        xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        connection = x11.XOpenDisplay(self.name.encode())
        if not connection:
            raise E2eFailure(f"cannot open {self.name} to read the cursor")
        try:
            event_base, error_base = ctypes.c_int(), ctypes.c_int()
            if not xfixes.XFixesQueryExtension(connection, ctypes.byref(event_base),
                                               ctypes.byref(error_base)):
                raise E2eFailure("the X server has no XFixes extension")
            image = xfixes.XFixesGetCursorImage(connection)
            if not image:
                raise E2eFailure("XFixesGetCursorImage gave nothing")
            c = image.contents
            pixels = [c.pixels[i] & 0xFFFFFFFF for i in range(c.width * c.height)]
            result = (c.width, c.height, (c.xhot, c.yhot), pixels)
            x11.XFree(image)
            return result
        finally:
            x11.XCloseDisplay(connection)

    def set_wm_state(self, window, state):
        """Writes a window's WM_STATE (1 normal, 3 iconic) as a window manager would, typed
        WM_STATE, which xprop cannot do."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                        ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_void_p, ctypes.c_int]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        connection = x11.XOpenDisplay(self.name.encode())
        if not connection:
            raise E2eFailure(f"cannot open {self.name} to set a window's state")
        try:
            atom = x11.XInternAtom(connection, b"WM_STATE", 0)
            data = (ctypes.c_long * 2)(state, 0)  # no icon window
            x11.XChangeProperty(connection, int(window), atom, atom, 32, 0, data, 2)
            x11.XSync(connection, 0)
        finally:
            x11.XCloseDisplay(connection)

    # ---- Windows ----

    def windows_of(self, pid):
        """Visible top-level windows of a process, as (id, title)."""
        out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], check=False)
        result = []
        for line in out.split():
            if line.isdigit():
                result.append((int(line), self.window_title(int(line))))
        return result

    def window_title(self, window):
        out = self.run(["xprop", "-id", str(window), "-notype", "_NET_WM_NAME"], check=False)
        # _NET_WM_NAME = "title"
        if "=" not in out:
            return None
        value = out.split("=", 1)[1].strip()
        if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
            return value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
        return value

    def is_tooltip(self, window):
        out = self.run(["xprop", "-id", str(window), "_NET_WM_WINDOW_TYPE"], check=False)
        return "_NET_WM_WINDOW_TYPE_TOOLTIP" in out

    def geometry(self, window):
        """Root position and size of a window's area: (x, y, width, height)."""
        out = self.run(["xwininfo", "-id", str(window)])
        fields = {}
        for line in out.splitlines():
            if ":" in line:
                key, value = line.split(":", 1)
                fields[key.strip()] = value.strip()
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                int(fields["Width"]), int(fields["Height"]))

    def frame_extents(self, window):
        """Left, right, top, bottom widths of the window manager's frame."""
        out = self.run(["xprop", "-id", str(window), "-notype", "_NET_FRAME_EXTENTS"],
                       check=False)
        if "=" not in out:
            return None
        return tuple(int(v) for v in out.split("=", 1)[1].split(","))

    def cover(self, x, y, width, height):
        """Another X client's window (xmessage) of the given size, asked for at root position
        (x, y) and shown on top; a window manager may shift it by its frame. Returns its root
        rectangle as (x, y, width, height). Its process ends with the others."""
        title = f"cover-{x}-{y}"
        spawn(["xmessage", "-title", title, "-buttons", "", "-geometry",
               f"{width}x{height}+{x}+{y}", " "], env=self.env,
              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = int(self.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                               f"^{title}$"]).split()[0])
        return poll(lambda: (lambda g: g[2:] == (width, height) and g)(self.geometry(window)),
                    10, f"the covering window {width}x{height}")

    # ---- Screenshots ----

    def grab(self, x, y, width, height):
        """The root window's pixels in a rectangle as an Image of 8-bit RGB."""
        data = self.run_bytes(["import", "-silent", "-window", "root", "-crop",
                               f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"])
        if len(data) != width * height * 3:
            raise E2eFailure(f"screenshot of {width}x{height} gave {len(data)} bytes")
        return Image(width, height, data)

    def save_png(self, x, y, width, height, path):
        self.run_bytes(["import", "-silent", "-window", "root", "-crop",
                        f"{width}x{height}+{x}+{y}", "+repage", path])

    def relay(self):
        """A display name reaching this server over TCP (localhost:N) through a relay process
        that forwards the bytes to its local socket and nothing else, as ssh -X does: no
        descriptor crosses it."""
        proc = spawn([sys.executable, "-c", _RELAY, f"/tmp/.X11-unix/X{self.name[1:]}"],
                     stdout=subprocess.PIPE, stderr=self.log)
        ready, _, _ = select.select([proc.stdout], [], [], 30)
        line = proc.stdout.readline() if ready else b""
        if not line.strip().isdigit():
            raise E2eFailure(f"the relay did not start: {line!r}")
        return f"localhost:{int(line)}"

    def close(self):
        for proc in (self.wm, self.server):
            if proc is not None:
                _end_process(proc)
                forget(proc)
        self.log.close()


# The relay: listens on the first free X port from 6050 up, prints its display number, and
# forwards each connection to the socket named in its argument, a thread each way.
_RELAY = r"""
import socket, sys, threading
listener = socket.socket()
for number in range(50, 1000):
    try:
        listener.bind(("127.0.0.1", 6000 + number))
        break
    except OSError:
        pass
listener.listen(16)
print(number, flush=True)

def pump(source, target):
    try:
        while data := source.recv(65536):
            target.sendall(data)
    except OSError:
        pass
    for end in (source, target):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

while True:
    client, _ = listener.accept()
    server = socket.socket(socket.AF_UNIX)
    server.connect(sys.argv[1])
    for pair in ((client, server), (server, client)):
        threading.Thread(target=pump, args=pair, daemon=True).start()
"""


class _XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def ring_radii(width, height, hot, pixels):
    """The distances from the hot spot of the cursor's light opaque pixels outside its centre
    mark (a circle cursor gives one radius, to within a pixel), and whether a light pixel sits
    on the hot spot itself."""
    hx, hy = hot

    def light(x, y):
        p = pixels[y * width + x]
        return (p >> 24) > 200 and all(((p >> s) & 0xFF) > 200 for s in (0, 8, 16))

    radii = sorted({round(math.hypot(x - hx, y - hy)) for y in range(height)
                    for x in range(width) if light(x, y) and math.hypot(x - hx, y - hy) > 6})
    return radii, 0 <= hx < width and 0 <= hy < height and light(hx, hy)


class Image:
    """8-bit RGB pixels, row-major."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def rgb565(self, x, y):
        """The 5-6-5 value the 8-bit channels came from."""
        r, g, b = self.rgb(x, y)
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)

    def values565(self):
        """All pixels as 5-6-5 values, row-major."""
        d = self.data
        return [((d[i] >> 3) << 11) | ((d[i + 1] >> 2) << 5) | (d[i + 2] >> 3)
                for i in range(0, len(d), 3)]

    def crop(self, x, y, width, height):
        rows = []
        for row in range(y, y + height):
            start = (row * self.width + x) * 3
            rows.append(self.data[start:start + width * 3])
        return Image(width, height, b"".join(rows))


def map_look(field, map_pixel):
    """The map view showing every cell of the field, as 5-6-5 values, row-major."""
    return [map_pixel[field[x * 240 + y]] for y in range(240) for x in range(320)]


def outside_counter(x, y):
    left, top, right, bottom = COUNTER_BOX
    return not (left <= x < right and top <= y < bottom)


def masked(image):
    """A screen view's pixels with the counter box blanked, for comparisons of the picture."""
    values = image.values565()
    left, top, right, bottom = COUNTER_BOX
    for y in range(top, min(bottom, image.height)):
        for x in range(left, min(right, image.width)):
            values[y * image.width + x] = -1
    return values


def compare_565(actual, expected, width, height, skip=None, limit=8):
    """Differences between two lists of 5-6-5 values; returns (count, first few as text)."""
    count = 0
    samples = []
    for y in range(height):
        base = y * width
        for x in range(width):
            if skip is not None and skip(x, y):
                continue
            a, e = actual[base + x], expected[base + x]
            if a != e:
                count += 1
                if len(samples) < limit:
                    samples.append(f"({x},{y}) got {a:#06x} want {e:#06x}")
    return count, samples


class Voxel:
    """The program copied into its own folder with its own Map.Dat, running on a display."""

    def __init__(self, display, voxel_path, map_bytes=None, folder=None, scale=1, args=()):
        self.display = display
        self.args = list(args)  # the command line after the program's name (str or bytes)
        self.env = None  # the program's environment when not the display's
        self.scale = scale  # device pixels per client pixel (QT_SCALE_FACTOR)
        self.folder = folder or tempfile.mkdtemp(prefix="voxel-e2e-")
        os.makedirs(self.folder, exist_ok=True)
        self.exe = os.path.join(self.folder, "voxel")
        if not os.path.exists(self.exe):  # a second copy in the same folder runs the same file
            shutil.copy2(voxel_path, self.exe)
        self.user = None  # another user id to run as
        self.map_path = os.path.join(self.folder, "Map.Dat")
        if map_bytes is not None:
            with open(self.map_path, "wb") as f:
                f.write(map_bytes)
        self.proc = None
        self.window = None
        self.origin = None  # root position of the client area

    def start(self, timeout=60):
        """Launches the program and waits until its window shows frames."""
        self.launch()
        return self.attach(timeout)

    def launch(self):
        log = os.path.join(self.folder, "voxel.log")
        while os.path.exists(log):
            log = log[:-4] + "+.log"
        self.log = open(log, "wb")
        self.spawned_at = time.monotonic()
        ids = {} if self.user is None else {"user": self.user, "extra_groups": [],
                                            "group": pwd.getpwuid(self.user).pw_gid}
        self.proc = spawn([self.exe, *self.args], cwd=self.folder,
                          env=self.env or self.display.env,
                          stdout=self.log, stderr=self.log, **ids)
        return self

    def attach(self, timeout=60):
        """Finds the launched program's main window and waits until it shows frames."""
        self.window = poll(self._find_main, timeout, "the main window")
        x, y, width, height = self.display.geometry(self.window)
        want = tuple(round(side * self.scale) for side in CLIENT_SIZE)
        if abs(width - want[0]) > 1 or abs(height - want[1]) > 1:
            raise E2eFailure(f"client area is {width}x{height}, want {want}")
        self.origin = (x, y)
        self.wait_drawing()
        return self

    def _find_main(self):
        self.check_running()
        for window, title in self.display.windows_of(self.proc.pid):
            if title == TITLE:
                return window
        return None

    def check_running(self):
        if self.proc.poll() is not None:
            raise E2eFailure(f"the program ended unexpectedly with code {self.proc.returncode}; "
                             f"log: {self.read_log()}")

    def read_log(self):
        try:
            with open(self.log.name, "rb") as f:
                return f.read().decode(errors="replace")[-2000:]
        except OSError:
            return ""

    def root(self, client_x, client_y):
        return (self.origin[0] + math.floor(client_x * self.scale),
                self.origin[1] + math.floor(client_y * self.scale))

    def map_point(self, x, y, last=False):
        """Root position of the first (or last) device pixel of map pixel (x, y)'s block: with
        the cell under a device pixel being its offset divided by the scale, rounded down."""
        left, top = self.root(*MAP_VIEW)
        corner = 1 if last else 0
        return (left + math.ceil((x + corner) * self.scale) - corner,
                top + math.ceil((y + corner) * self.scale) - corner)

    # ---- Views ----

    def screen_view(self):
        return self.display.grab(*self.root(*SCREEN_VIEW), *VIEW_SIZE)

    def map_view(self):
        return self.display.grab(*self.root(*MAP_VIEW), *VIEW_SIZE)

    def wait_map(self, expected, what, timeout=20):
        """Waits until the map view shows expected (5-6-5 values, row-major)."""
        last = {}

        def matches():
            last["diff"] = compare_565(self.map_view().values565(), expected, 320, 240)
            return last["diff"][0] == 0

        try:
            poll(matches, timeout, what, interval=0.1)
        except E2eFailure:
            count, samples = last.get("diff", (-1, []))
            raise E2eFailure(f"{what}: {count} pixels differ, e.g. {'; '.join(samples)}")

    def counter_columns(self, origin=None):
        """Which columns of the counter box hold aqua text, as a list of booleans; origin
        replaces the client area's position when given."""
        left, top, right, bottom = (math.floor(side * self.scale) for side in COUNTER_BOX)
        ox, oy = origin or self.origin
        image = self.display.grab(ox + math.floor(SCREEN_VIEW[0] * self.scale) + left,
                                  oy + math.floor(SCREEN_VIEW[1] * self.scale) + top,
                                  right - left, bottom - top)
        return [any(is_aqua(image.rgb(x, y)) for y in range(image.height))
                for x in range(image.width)]

    def counter_reading(self, oracle):
        """The rate on the counter, or None when unreadable: its text (aqua at half strength or
        more) laid over "F/S : n" drawn in the same font for n = 0 ... 1000, the best overlap
        taken when it is clear. Needs a dark ground behind the counter (a flat, low field)."""
        left, top, right, bottom = COUNTER_BOX
        image = self.display.grab(*self.root(SCREEN_VIEW[0] + left, SCREEN_VIEW[1] + top),
                                  right - left, bottom - top)
        shown = dark_mask(lambda x, y: 0 if image.rgb(x, y)[1] >= 128 else 255,
                          range(image.width), range(image.height))
        masks = oracle.counter_masks(self.display.env)
        scores = sorted(((len(shown & m) / len(shown | m), n) for n, m in enumerate(masks)),
                        reverse=True)
        (best, n), (second, _) = scores[0], scores[1]
        return n if best >= 0.85 and best - second >= 0.04 else None

    def cpu_seconds(self):
        """Processor time the program has used so far (user and system), from /proc."""
        with open(f"/proc/{self.proc.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def counter_shown(self):
        """True when aqua counter text is on the screen view."""
        return any(self.counter_columns())

    def wait_drawing(self, timeout=30):
        """Waits until the screen view shows frames (its counter text is drawn)."""
        poll(lambda: self.check_running() or self.counter_shown(), timeout,
             "the screen view's first frames", interval=0.1)

    def settled_screen(self, timeout=20):
        """The screen view once two screenshots in a row agree outside the counter text."""
        previous = None
        deadline = Deadline(timeout)
        while True:
            self.check_running()
            image = self.screen_view()
            values = masked(image)
            if values == previous:
                return image
            previous = values
            if deadline.expired():
                raise E2eFailure(f"the screen view did not settle within {timeout} s")

    def frames_pass(self, count=4, timeout=20):
        """Waits until the screen view has shown count different pictures (outside the
        counter): the program is ticking, with a field that the rotation moves."""
        seen = []

        def enough():
            self.check_running()
            values = masked(self.screen_view())
            if not seen or seen[-1] != values:
                seen.append(values)
            return len(seen) >= count

        poll(enough, timeout, f"{count} different frames of the screen view", interval=0.05)

    # ---- Controls ----

    def click_client(self, x, y, button=1):
        self.display.click(*self.root(x, y), button)

    def set_spin(self, spin_point, text):
        """Clicks into a spin edit, selects its text and types a new one."""
        self.click_client(*spin_point)
        self.display.key("ctrl+a")
        self.display.type_text(text)

    def error_boxes(self):
        self.check_running()
        return [w for w, title in self.display.windows_of(self.proc.pid)
                if title == BOX_TITLE and not self.display.is_tooltip(w)]

    def tooltips(self):
        return [w for w, _ in self.display.windows_of(self.proc.pid) if self.display.is_tooltip(w)]

    def tooltip_text(self, point, oracle, texts, timeout=10):
        """Hovers over a client point (the window must be active) until a tooltip shows; returns
        which of texts it shows, by the best overlap of its dark pixels with each drawn in the
        default font."""
        x, y = self.root(*point)
        self.display.move(x, y)
        self.display.move(x + 1, y + 1)  # a movement inside, which starts the tooltip's wait
        tip = poll(self.tooltips, timeout, f"a tooltip at {point}")[0]
        left, top, width, height = self.display.geometry(tip)
        image = self.display.grab(left, top, width, height)
        # One pixel of frame left out on each side.
        shown = dark_mask(lambda px, py: sum(image.rgb(px, py)) // 3, range(1, width - 1),
                          range(1, height - 1))
        scores = sorted(((len(shown & m) / max(1, len(shown | m)), t)
                         for t, m in zip(texts, oracle.text_masks(texts, self.display.env))),
                        reverse=True)
        self.display.move(*self.root(*PARK))
        poll(lambda: not self.tooltips(), timeout, "the tooltip to go")
        return scores[0][1] if scores[0][0] >= 0.8 else None

    def wait_error_box(self, timeout=20):
        boxes = poll(self.error_boxes, timeout, "the error box")
        return boxes[0]

    def error_box_says(self, box, oracle, text):
        """Whether the box's message, as drawn, is exactly text drawn in the default font."""
        x, y, width, height = self.display.geometry(box)
        image = self.display.grab(x, y, width, height)
        # The message lies right of the stop icon (red) and above the button row.
        red = [px for py in range(height) for px in range(width)
               if image.rgb(px, py)[0] > 150 and max(image.rgb(px, py)[1:]) < 100]
        left = max(red) + 1 if red else 0
        shown = dark_mask(lambda px, py: sum(image.rgb(px, py)) // 3,
                          range(left, width), range(0, height - 40))
        wanted = oracle.text_mask(text, self.display.env)
        return shown == wanted

    def box_text(self, box, oracle, texts, timeout=10):
        """Which of texts the box shows, read until one does: a box is listed once mapped and
        painted on the expose that follows, which a loaded machine may delay."""
        return poll(lambda: next((t for t in texts if self.error_box_says(box, oracle, t)), None),
                    timeout, f"the error box to say one of {texts}", interval=0.1)

    def dismiss_error_box(self, box, timeout=20):
        """Presses the box's OK with Return and waits until it is gone."""
        deadline = Deadline(timeout)
        while box in self.error_boxes():
            self.display.run(["xdotool", "windowfocus", "--sync", str(box)], check=False)
            self.display.key("Return")
            inner = Deadline(2)
            while not inner.expired() and box in self.error_boxes():
                time.sleep(0.05)
            if deadline.expired():
                raise E2eFailure("the error box did not go away on Return")

    def stroke(self, point, buttons, timeout=30, last=False, press_at=None):
        """Holds the buttons while the cursor visits map pixel point until the map view shows
        a change there.

        The buttons go down and up on the screen view, where they do nothing, and the cursor
        jumps straight to the point and back, so every edit happens at exactly that point.
        Short visits, repeated until one was seen by a tick, keep the number of frames small.
        last: aim at the last device pixel of the point's block (see map_point); press_at: a
        root position where the buttons go down instead, held there for a moment."""
        park = self.root(*PARK)
        target = self.map_point(*point, last)
        self.display.move(*(press_at or park))
        before = self.display.grab(*target, 1, 1).rgb(0, 0)
        pressed = []
        dwell = 0.03
        try:
            for button in buttons:
                self.display.button_down(button)
                pressed.append(button)
            if press_at is not None:
                time.sleep(0.3)
            deadline = Deadline(timeout)
            while True:
                self.display.xdotool("mousemove", *target, "sleep", dwell, "mousemove", *park)
                self.check_running()
                if self.display.grab(*target, 1, 1).rgb(0, 0) != before:
                    break
                if deadline.expired():
                    raise E2eFailure(f"the stroke at {point} did not show on the map")
                dwell = min(0.3, dwell * 1.5)
            poll(lambda: self.display.pointer() == park, 10, "the pointer back off the map")
        finally:
            for button in reversed(pressed):
                self.display.button_up(button)

    def exit_by_button(self):
        """Clicks "끝내기"; the program must then exit with code 0."""
        self.click_client(*EXIT_BTN)
        self.expect_exit()

    def click_close_box(self):
        """Clicks the close box of the window manager's frame (top right of the title bar)."""
        extents = poll(lambda: self.display.frame_extents(self.window), 10,
                       "the window manager's frame round the window")
        _, right, top, _ = extents
        x, y = self.origin
        self.display.click(x + CLIENT_SIZE[0] + right - top // 2, y - top // 2)

    def main_window_shown(self):
        return any(w == self.window for w, _ in self.display.windows_of(self.proc.pid))

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise E2eFailure(f"the program did not exit within {timeout} s")

    def expect_exit(self, want=0, timeout=30):
        code = self.wait_exit(timeout)
        if code != want:
            raise E2eFailure(f"exit code {code}, want {want}; log: {self.read_log()}")

    def saved_map(self):
        with open(self.map_path, "rb") as f:
            return f.read()

    def stop(self):
        if self.proc is not None:
            _end_process(self.proc)
            forget(self.proc)
            if hasattr(self, "log"):
                self.log.close()


def ordinary_user():
    """Who to run the program as where file modes must hold: None (this user) unless this is
    root, which ignores them; then nobody, or a user made for the tests. Raises Skip if none."""
    if os.geteuid() != 0:
        return None
    for name in ("nobody", "voxel-e2e"):
        try:
            return pwd.getpwnam(name).pw_uid
        except KeyError:
            pass
    try:
        subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "voxel-e2e"],
                       capture_output=True, timeout=60, check=True)
        return pwd.getpwnam("voxel-e2e").pw_uid
    except (OSError, subprocess.SubprocessError, KeyError) as error:
        raise Skip(f"running as root, and no unprivileged user could be made: {error}") from None


# What a save that cannot replace a folder may report: access refused, or the platform's own
# error number for "is a directory".
SAVE_ERRORS = ("File access denied.", f"I/O error {errno.EISDIR}.")


def expect_save_error(voxel, oracle, dismiss=True):
    """One error box with an input/output error appears over the still open window; Return
    dismisses it unless dismiss is false. Returns the box."""
    box = voxel.wait_error_box()
    print(f"     error box: {voxel.box_text(box, oracle, SAVE_ERRORS)!r}", flush=True)
    boxes = voxel.error_boxes()
    if len(boxes) != 1:
        raise E2eFailure(f"{len(boxes)} error boxes, want 1")
    if not voxel.main_window_shown():
        raise E2eFailure("the main window went away although the save failed")
    if dismiss:
        voxel.dismiss_error_box(box)
    return box


def dark_mask(gray, columns, rows):
    """The set of dark pixels (text on a light ground), relative to their top-left corner."""
    points = [(px, py) for py in rows for px in columns if gray(px, py) < 128]
    if not points:
        return frozenset()
    left = min(p[0] for p in points)
    top = min(p[1] for p in points)
    return frozenset((px - left, py - top) for px, py in points)


def is_aqua(rgb):
    r, g, b = rgb
    return r < 40 and g > 90 and b > 90 and abs(g - b) < 40


# ---- Fixtures and the oracle tool ----


def tool_path(tools, name):
    path = os.path.join(tools, name)
    if not os.access(path, os.X_OK):
        raise E2eFailure(f"{path} is missing: build it first (ninja {name})")
    return path


def sample_map(tools, folder):
    """The sample landscape written by voxel-sample-map, or a generated one if it is not built."""
    path = os.path.join(tools, "voxel-sample-map")
    if os.access(path, os.X_OK):
        out = tempfile.mkdtemp(prefix="voxel-e2e-sample-", dir=folder)
        subprocess.run([path, out], check=True, capture_output=True, timeout=60)
        with open(os.path.join(out, "Map.Dat"), "rb") as f:
            data = f.read()
        if len(data) == MAP_BYTES:
            return data
    return hills_map()


def hills_map(seed=7, low=0, high=200):
    """A deterministic field of smooth hills with heights low ... high."""
    import math
    cells = bytearray(MAP_BYTES)
    bumps = []
    state = seed
    for _ in range(12):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        bx = state % 320
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        by = state % 240
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        bumps.append((bx, by, 20 + state % 40))
    for x in range(320):
        for y in range(240):
            h = 0.0
            for bx, by, r in bumps:
                d2 = (x - bx) ** 2 + (y - by) ** 2
                h += math.exp(-d2 / (2.0 * r * r))
            cells[x * 240 + y] = low + min(high - low, int((high - low) * h / 1.5))
    return bytes(cells)


def noise_map(low, high, seed=1):
    """A deterministic field of pseudo-random heights low ... high."""
    cells = bytearray(MAP_BYTES)
    state = seed
    span = high - low + 1
    for i in range(MAP_BYTES):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        cells[i] = low + (state >> 8) % span
    return bytes(cells)


class Oracle:
    """The expected pictures and brush results, computed by the reference arithmetic."""

    def __init__(self, tools, folder):
        self.exe = tool_path(tools, "E2eOracle")
        self.folder = folder
        self._ramps = None

    def _run(self, *args):
        result = subprocess.run([self.exe, *[str(a) for a in args]], capture_output=True,
                                timeout=120)
        return result

    def screen(self, map_bytes, angle, camera_z=240):
        """The expected screen view as 320 x 240 5-6-5 values, row-major."""
        map_file = os.path.join(self.folder, f"oracle-map-{os.getpid()}.dat")
        out = os.path.join(self.folder, f"oracle-screen-{angle}-{camera_z}.raw")
        with open(map_file, "wb") as f:
            f.write(map_bytes)
        result = self._run("screen", map_file, angle, camera_z, out)
        if result.returncode != 0:
            raise E2eFailure(f"oracle screen failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            raw = f.read()
        return [raw[i] | (raw[i + 1] << 8) for i in range(0, len(raw), 2)]

    def ramps(self):
        """(MapPixel, ShadePixel) as lists of 256 5-6-5 values."""
        if self._ramps is None:
            result = self._run("ramps")
            if result.returncode != 0:
                raise E2eFailure(f"oracle ramps failed: {result.stderr.decode(errors='replace')}")
            rows = [line.split() for line in result.stdout.decode().splitlines() if line.strip()]
            self._ramps = ([int(r[0]) for r in rows], [int(r[1]) for r in rows])
        return self._ramps

    def counter_masks(self, env):
        """text_mask of "F/S : n" for n = 0 ... 1000, made once."""
        if getattr(self, "_counter_masks", None) is None:
            self._counter_masks = self.text_masks([f"F/S : {n}" for n in range(1001)], env)
        return self._counter_masks

    def text_mask(self, text, env):
        """The dark pixels of text drawn in the display's default font (see dark_mask)."""
        return self.text_masks([text], env)[0]

    def text_masks(self, texts, env):
        """text_mask of each of texts, from one run of the oracle."""
        result = subprocess.run([self.exe, "text", *texts], capture_output=True, timeout=60,
                                env=env)
        if result.returncode != 0:
            raise E2eFailure(f"oracle text failed: {result.stderr.decode(errors='replace')}")
        masks, rest = [], result.stdout
        for _ in texts:
            _, size, _, rest = rest.split(b"\n", 3)
            width, height = map(int, size.split())
            pixels, rest = rest[:width * height], rest[width * height:]
            masks.append(dark_mask(lambda px, py: pixels[py * width + px], range(width),
                                   range(height)))
        return masks

    def brush(self, map_bytes, cx, cy, radius, divisor, mode, shape, k):
        map_file = os.path.join(self.folder, "oracle-brush-in.dat")
        out = os.path.join(self.folder, "oracle-brush-out.dat")
        with open(map_file, "wb") as f:
            f.write(map_bytes)
        result = self._run("brush", map_file, out, cx, cy, radius, divisor, mode, shape, k)
        if result.returncode != 0:
            raise E2eFailure(f"oracle brush failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            return f.read()

    def gray(self, image_path):
        """The field Qt makes of an image file (grayscale, smoothly scaled to 320 x 240 when
        its size differs), in Map.Dat's order."""
        out = os.path.join(self.folder, "oracle-gray.dat")
        result = self._run("gray", image_path, out)
        if result.returncode != 0:
            raise E2eFailure(f"oracle gray failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            return f.read()

    def tool(self, command, *args):
        """The field a tool click makes (see E2eOracle's usage): generate SEED K, level MAP,
        noise MAP DAMPING SEED K; a MAP is given as bytes."""
        args = list(args)
        if command != "generate":
            map_file = os.path.join(self.folder, "oracle-tool-in.dat")
            with open(map_file, "wb") as f:
                f.write(args[0])
            args[0] = map_file
        out = os.path.join(self.folder, "oracle-tool-out.dat")
        args.insert(1 if command != "generate" else 2, out)
        result = self._run(command, *args)
        if result.returncode != 0:
            raise E2eFailure(f"oracle {command} failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            return f.read()

    def match(self, before, after, cx, cy, radius, divisor, mode, shape, kmax=3000):
        """The least k >= 1 for which k brush applications turn before into after, or None
        and a description of the nearest miss."""
        before_file = os.path.join(self.folder, "oracle-match-before.dat")
        after_file = os.path.join(self.folder, "oracle-match-after.dat")
        with open(before_file, "wb") as f:
            f.write(before)
        with open(after_file, "wb") as f:
            f.write(after)
        result = self._run("match", before_file, after_file, cx, cy, radius, divisor, mode,
                           shape, kmax)
        text = result.stdout.decode().strip()
        if result.returncode == 0:
            return int(text.split()[0]), text
        if result.returncode == 1:
            return None, text
        raise E2eFailure(f"oracle match failed: {result.stderr.decode(errors='replace')}")


# ---- Running the checks of one script ----


class Suite:
    """Runs named checks, each isolated, and prints the summary line."""

    def __init__(self, name):
        self.name = name
        self.passed = 0
        self.failed = 0
        self.args = parse_args()
        self.tmp = tempfile.mkdtemp(prefix=f"voxel-e2e-{name}-")
        atexit.register(shutil.rmtree, self.tmp, True)

    def folder(self, label):
        path = os.path.join(self.tmp, label)
        os.makedirs(path, exist_ok=True)
        return path

    def check(self, label, body):
        start = time.monotonic()
        try:
            body()
        except Skip as why:
            print(f"skip {label}: {why}", flush=True)
        except Exception as error:  # every failure is reported, the next check still runs
            self.failed += 1
            print(f"FAIL {label} ({time.monotonic() - start:.1f} s): {error}", flush=True)
            if not isinstance(error, E2eFailure):
                traceback.print_exc()
        else:
            self.passed += 1
            print(f"ok   {label} ({time.monotonic() - start:.1f} s)", flush=True)
        finally:
            end_all_processes()

    def finish(self):
        end_all_processes()
        print(f"{self.passed} passed, {self.failed} failed", flush=True)
        sys.exit(0 if self.failed == 0 else 1)


class session:
    """with session(suite, label, ...) as (display, voxel): a display and a started program,
    both ended on leaving."""

    def __init__(self, suite, label, map_bytes=None, depth=24, window_manager=False,
                 start=True, scale=1, screen=None, args=()):
        self.suite, self.label, self.map_bytes = suite, label, map_bytes
        self.args = args
        self.depth, self.window_manager, self.start = depth, window_manager, start
        self.scale = scale  # the program's QT_SCALE_FACTOR
        # By default a screen that holds the window and its frame at the scale.
        self.screen = screen or ((1280, 1024) if scale == 1 else (2048, 1536))

    def __enter__(self):
        folder = self.suite.folder(self.label)
        self.display = Display(self.depth, self.window_manager, size=self.screen,
                               workdir=os.path.join(folder, "x"))
        if self.scale != 1:
            self.display.env["QT_SCALE_FACTOR"] = str(self.scale)
        # The pointer starts away from the window, where nothing happens.
        self.display.move(5, 5)
        self.voxel = Voxel(self.display, self.suite.args.voxel, self.map_bytes,
                           os.path.join(folder, "app"), scale=self.scale, args=self.args)
        if self.start:
            self.voxel.start()
        return self.display, self.voxel

    def __exit__(self, *exc):
        self.voxel.stop()
        self.display.close()
        return False
