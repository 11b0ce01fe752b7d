"""An X server of its own for each check: Xvfb on a free display, openbox when a window manager
is wanted, the X clients run on it, the windows it shows, and a TCP relay to it."""

import os
import select
import subprocess
import sys
import tempfile

from images import Screenshots
from inputs import Inputs
from processes import end_process, forget, spawn
from waits import Deadline, E2eFailure, poll
from xcalls import XCalls


class Display(Inputs, Screenshots, XCalls):
    """An Xvfb server on a free display, optionally with openbox managing the windows; input,
    screenshots and the Xlib calls come from the classes mixed in."""

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

    # ---- Windows ----

    def windows_of(self, pid):
        """Visible top-level windows of a process, as (id, title). A window that goes while
        xdotool walks the tree ends the walk with an X error and nothing listed: walked again."""
        for _ in range(20):
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                                   env=self.env, capture_output=True, timeout=30)
            if b"X Error" not in found.stderr:
                break
        out = found.stdout.decode(errors="replace")
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
                end_process(proc)
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
