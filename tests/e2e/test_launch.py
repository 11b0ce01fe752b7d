"""Without a display, or with one nothing answers on, the launch script and the program each
say so in one line and exit 1, and the script builds nothing first; its --help needs none. A
platform the toolkit cannot start gets one line too: exit 2 when -platform named it. A window
larger than the screen opens with its frame at the top-left corner, shrunk to the screen. On a
server that resets when its last client leaves every start reaches a window (by hand:
test_launch.py --voxel V --tools T --starts 20), and the toolkit's warnings while it starts
still reach stderr. Through a relay that forwards TCP to the
server's socket, as ssh -X does, both views draw, a stroke lands and SIGTERM saves. In a
Wayland session with an X display too (weston's headless backend with Xwayland), the program
runs on X unless told otherwise, draws and saves on SIGTERM; -platform wayland still gets the
toolkit's Wayland platform."""

import argparse
import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402


def options():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--starts", type=int, default=3)
    own, rest = parser.parse_known_args()
    sys.argv = [sys.argv[0]] + rest  # the rest is the harness's
    return own


OPTIONS = options()

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def no_display_env(display=None):
    """The environment without a display, or with DISPLAY set to one given."""
    env = dict(os.environ)
    for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(key, None)
    if display:
        env["DISPLAY"] = display
    return env


UNREACHABLE = ":87"  # no X server there


def expect_one_line_failure(result, what, code=1, word="display"):
    if result.returncode != code:
        raise h.E2eFailure(f"{what} exited {result.returncode}, want {code}")
    lines = [line for line in (result.stdout + result.stderr).decode(errors="replace")
             .splitlines() if line.strip()]
    if len(lines) != 1:
        raise h.E2eFailure(f"{what} printed {len(lines)} lines, want 1: {lines}")
    if word not in lines[0].lower():
        raise h.E2eFailure(f"{what} does not mention {word!r}: {lines[0]!r}")
    print(f"     {lines[0]}", flush=True)


class ClientWatch:
    """A connection of the test's own, through which the server's windows are listed, so none
    other need be opened. The server numbers each new client with the lowest number free and
    puts that number in the top bits of every id the client makes."""

    def __init__(self, name):
        xcb = self.xcb = ctypes.CDLL("libxcb.so.1")
        xcb.xcb_connect.restype = ctypes.c_void_p
        xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
        xcb.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
        xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
        xcb.xcb_get_setup.restype = ctypes.c_void_p
        xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
        xcb.xcb_setup_roots_iterator.restype = _Iterator
        xcb.xcb_setup_roots_iterator.argtypes = [ctypes.c_void_p]
        xcb.xcb_query_tree.restype = ctypes.c_uint
        xcb.xcb_query_tree.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
        xcb.xcb_query_tree_reply.restype = ctypes.c_void_p
        xcb.xcb_query_tree_reply.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_void_p]
        xcb.xcb_query_tree_children.restype = ctypes.POINTER(ctypes.c_uint32)
        xcb.xcb_query_tree_children.argtypes = [ctypes.c_void_p]
        xcb.xcb_query_tree_children_length.argtypes = [ctypes.c_void_p]
        self.free = ctypes.CDLL(None).free
        self.free.argtypes = [ctypes.c_void_p]
        self.connection = xcb.xcb_connect(name.encode(), None)
        if xcb.xcb_connection_has_error(self.connection):
            raise h.E2eFailure(f"cannot connect to {name}")
        setup = xcb.xcb_get_setup(self.connection)
        base, mask = struct.unpack("<II", ctypes.string_at(setup + 12, 8))
        self.span = mask + 1  # ids per client
        self.number = base // self.span
        self.root = ctypes.c_uint32.from_address(xcb.xcb_setup_roots_iterator(setup).data).value

    def client_numbers(self):
        """The numbers of the clients that made the root window's children."""
        reply = self.xcb.xcb_query_tree_reply(
            self.connection, self.xcb.xcb_query_tree(self.connection, self.root), None)
        if not reply:
            raise h.E2eFailure("the server did not list its windows")
        children = self.xcb.xcb_query_tree_children(reply)
        numbers = {children[i] // self.span
                   for i in range(self.xcb.xcb_query_tree_children_length(reply))}
        self.free(reply)
        return numbers

    def close(self):
        self.xcb.xcb_disconnect(self.connection)


class Weston:
    """weston's headless backend with Xwayland: a Wayland session whose X display is set too,
    as a desktop's. It has no seat: no input reaches either server (fake input would end
    Xwayland), but key events can be sent to a window."""

    def __init__(self, folder):
        runtime = os.path.join(folder, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        log_path = os.path.join(folder, "weston.log")
        self.log = open(log_path, "wb")
        self.proc = h.spawn(["weston", "--backend=headless-backend.so", "--xwayland",
                             "--no-config", "--socket=voxel-e2e", "--width=1280",
                             "--height=1024", "--idle-time=0"],
                            env=dict(os.environ, XDG_RUNTIME_DIR=runtime),
                            stdout=self.log, stderr=self.log)

        def x_display():
            if self.proc.poll() is not None:
                raise h.E2eFailure(f"weston ended with code {self.proc.returncode}")
            with open(log_path, "rb") as f:
                found = re.search(rb"xserver listening on display (:\d+)", f.read())
            return found and found.group(1).decode()

        display = h.poll(x_display, 30, "weston's X display")
        self.env = dict(os.environ)
        for key in ("QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                    "QT_AUTO_SCREEN_SCALE_FACTOR", "XAUTHORITY"):
            self.env.pop(key, None)
        self.env.update(DISPLAY=display, WAYLAND_DISPLAY="voxel-e2e", XDG_RUNTIME_DIR=runtime,
                        XDG_SESSION_TYPE="wayland", LC_ALL="C.UTF-8")

    def run(self, *argv):
        return subprocess.run(argv, env=self.env, capture_output=True, timeout=30).stdout.decode()

    def window_of(self, pid):
        """The program's main window on the X display, or None."""
        for window in self.run("xdotool", "search", "--onlyvisible", "--pid", str(pid)).split():
            if h.TITLE in self.run("xprop", "-id", window, "-notype", "_NET_WM_NAME"):
                return window
        return None

    def screen_view(self, window):
        """The screen view's pixels (read from the window: Xwayland's root has none)."""
        data = subprocess.run(["import", "-silent", "-window", window, "-crop",
                               f"{h.VIEW_SIZE[0]}x{h.VIEW_SIZE[1]}+{h.SCREEN_VIEW[0]}+"
                               f"{h.SCREEN_VIEW[1]}", "+repage", "-depth", "8", "rgb:-"],
                              env=self.env, capture_output=True, timeout=30).stdout
        return h.Image(*h.VIEW_SIZE, data) if len(data) == h.MAP_BYTES * 3 else None


def toolkit_platform(pid):
    """The toolkit platform plugins the process has loaded, by file name."""
    with open(f"/proc/{pid}/maps") as f:
        maps = f.read()
    return {name for name in ("libqxcb.so", "libqwayland-generic.so") if name in maps}


class _Iterator(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("rem", ctypes.c_int), ("index", ctypes.c_int)]


def main():
    suite = h.Suite("launch")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.noise_map(0, 60, seed=5)

    def tree(label, build_fails=False):
        # A copy of the script in a tree whose set-up and build steps only leave a mark and say
        # a line on each stream, as the build tool does (the build also puts the program in
        # place, or fails).
        root = suite.folder(label)
        os.makedirs(os.path.join(root, "tools"))
        shutil.copy2(os.path.join(SOURCE, "tools", "launch.sh"), os.path.join(root, "tools"))
        for step in ("setup.sh", "build.sh"):
            with open(os.path.join(root, "tools", step), "w") as f:
                f.write(f'#!/usr/bin/env bash\ntouch "$(dirname "$0")/../ran-{step}"\n'
                        f'echo "{step}: no work to do."; echo "{step}: done" >&2\n')
                if step == "build.sh":
                    f.write("exit 3\n" if build_fails else
                            f'mkdir -p "$1" && cp "{os.path.abspath(suite.args.voxel)}" "$1"\n')
        return root

    def launch(root, display, *args):
        return subprocess.run(["bash", os.path.join(root, "tools", "launch.sh"), *args],
                              env=no_display_env(display), capture_output=True, timeout=60,
                              stdin=subprocess.DEVNULL)

    def script(display):
        root = tree(f"tree{display or ''}")
        before = sorted(os.listdir(root))
        result = launch(root, display)
        expect_one_line_failure(result, "tools/launch.sh")
        after = sorted(os.listdir(root))
        if after != before:
            raise h.E2eFailure(f"launch.sh did work before checking the display: {after}")

    def program(display, args=(), more_env=None, code=1, word="display"):
        folder = suite.folder(f"app{display or ''}{'_'.join(args)}{len(more_env or {})}")
        exe = os.path.join(folder, "voxel")
        shutil.copy2(suite.args.voxel, exe)
        result = subprocess.run([exe, *args], cwd=folder,
                                env={**no_display_env(display), **(more_env or {})},
                                capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
        expect_one_line_failure(result, f"voxel {' '.join(args)}", code, word)
        if os.path.exists(os.path.join(folder, "Map.Dat")):
            raise h.E2eFailure("voxel wrote Map.Dat although it could not start")

    def resetting_server():
        # Each start on a server of its own, which resets when its last client leaves: the
        # display check's trial connection must not be that client while the application is
        # connecting.
        for start in range(OPTIONS.starts):
            display = h.Display(workdir=suite.folder(f"reset{start}/x"), noreset=False)
            try:
                voxel = h.Voxel(display, suite.args.voxel, field,
                                suite.folder(f"reset{start}/app"))
                if start == 0:
                    # The first client here is the test's own (number n): the trial connection
                    # gets n + 1, and the application's windows n + 2 only if it was still open.
                    # A style the toolkit warns about while it starts: held, then passed on.
                    voxel.args = ["-style", "nosuch"]
                    watch = ClientWatch(display.name)
                    try:
                        voxel.launch()
                        numbers = h.poll(lambda: voxel.check_running() or
                                         watch.client_numbers() - {0, watch.number}, 60,
                                         "the program's windows")
                    finally:
                        watch.close()
                    if numbers != {watch.number + 2}:
                        raise h.E2eFailure(f"the program's windows come from client "
                                           f"{sorted(numbers)}, want {watch.number + 2}: the "
                                           "trial connection was closed before the program's "
                                           "own connection was made")
                else:
                    voxel.launch()
                    # Nothing of ours connects while it starts, so only its own clients are
                    # there to keep the server from resetting.
                    time.sleep(1.5)
                voxel.attach()
                voxel.exit_by_button()
                if start == 0 and "nosuch" not in voxel.read_log():
                    raise h.E2eFailure(f"the toolkit's warning was lost: {voxel.read_log()!r}")
            finally:
                display.close()
        print(f"     {OPTIONS.starts} starts", flush=True)

    suite.check("a server that resets when its last client leaves: the trial connection is "
                "open while the program connects, and every start reaches a window",
                resetting_server)

    def relayed():
        with h.session(suite, "relay", field, start=False) as (display, voxel):
            voxel.env = dict(display.env, DISPLAY=display.relay())
            print(f"     DISPLAY={voxel.env['DISPLAY']}", flush=True)
            voxel.start()  # the screen view draws: its counter shows
            # The map view draws: the stroke shows. The press is held a moment before the cursor
            # reaches the map: through the relay its event can come after the pointer's reply.
            voxel.stroke((150, 90), [1], press_at=voxel.root(*h.PARK))
            os.kill(voxel.proc.pid, signal.SIGTERM)
            voxel.expect_exit()
            expect_strokes(oracle, field, voxel.saved_map(), (150, 90), RAISE)

    suite.check("DISPLAY=localhost:N through a relay: both views draw, a stroke lands, SIGTERM "
                "saves", relayed)

    def wayland_session():
        if not (shutil.which("weston") and shutil.which("Xwayland")):
            raise h.Skip("weston or Xwayland is not installed (tools/setup.sh installs them)")
        weston = Weston(suite.folder("weston"))
        # No platform named: X, where the frames never wait. The first key event goes to
        # 초기화, which has the focus: the field becomes flat ground, drawn as a black view.
        voxel = h.Voxel(None, suite.args.voxel, field, suite.folder("weston/x11"))
        voxel.env = weston.env
        voxel.launch()
        window = h.poll(lambda: voxel.check_running() or weston.window_of(voxel.proc.pid), 60,
                        "the main window on Xwayland")
        if toolkit_platform(voxel.proc.pid) != {"libqxcb.so"}:
            raise h.E2eFailure(f"the toolkit runs {toolkit_platform(voxel.proc.pid)}, want X's")

        def black(image):
            return all(image.rgb(x, y) == (0, 0, 0) for y in range(0, 240, 4)
                       for x in range(0, 320, 4) if h.outside_counter(x, y))

        h.poll(lambda: voxel.check_running() or (lambda i: i and not black(i))(
            weston.screen_view(window)), 30, "the landscape on the screen view")
        weston.run("xdotool", "key", "--window", window, "space")
        h.poll(lambda: voxel.check_running() or (lambda i: i and black(i))(
            weston.screen_view(window)), 30, "flat ground on the screen view")
        os.kill(voxel.proc.pid, signal.SIGTERM)
        voxel.expect_exit()
        if voxel.saved_map() != bytes(h.MAP_BYTES):
            raise h.E2eFailure("SIGTERM did not save the flat ground")
        # Named: the toolkit's Wayland platform, as asked.
        native = h.Voxel(None, suite.args.voxel, field, suite.folder("weston/wayland"),
                         args=["-platform", "wayland"])
        native.env = weston.env
        native.launch()
        h.poll(lambda: native.check_running() or toolkit_platform(native.proc.pid), 60,
               "a toolkit platform loaded")
        time.sleep(1)  # under way, not only loaded
        native.check_running()
        if toolkit_platform(native.proc.pid) != {"libqwayland-generic.so"}:
            raise h.E2eFailure(f"-platform wayland runs {toolkit_platform(native.proc.pid)}")
        os.kill(native.proc.pid, signal.SIGTERM)
        native.expect_exit()

    suite.check("a Wayland session with an X display: the program runs on X, draws, and saves "
                "on SIGTERM; -platform wayland runs on Wayland", wayland_session)

    def too_large():
        # Twice 688 x 553 and a title bar do not fit 1280 x 1024.
        with h.session(suite, "toolarge", window_manager=True, start=False, scale=2,
                       screen=(1280, 1024)) as (display, voxel):
            voxel.launch()
            window = h.poll(voxel._find_main, 60, "the main window")
            frame = None

            def on_screen():  # every edge of the frame within 2 pixels inside the screen's
                nonlocal frame
                left, right, top, bottom = display.frame_extents(window) or (0, 0, 0, 0)
                x, y, width, height = display.geometry(window)
                frame = (x - left, y - top, x + width + right, y + height + bottom)
                return all(0 <= d <= 2 for d in (*frame[:2], 1280 - frame[2], 1024 - frame[3]))
            try:
                h.poll(on_screen, 20, "the frame")
            except h.E2eFailure:
                raise h.E2eFailure(f"frame from {frame[:2]} to {frame[2:]}, want the screen's "
                                   "(0, 0) to (1280, 1024)") from None
            voxel.origin = display.geometry(window)[:2]
            voxel.exit_by_button()

    suite.check("a window larger than the screen: frame at the top-left, shrunk to fit",
                too_large)

    def script_help():
        root = tree("treehelp")
        for args in (["--help"], ["--version"]):
            result = launch(root, None, *args)
            alone = subprocess.run([os.path.join(root, "build", "voxel"), *args],
                                   env=no_display_env(None), capture_output=True, timeout=60)
            if (result.returncode != 0 or result.stdout != alone.stdout or
                    not result.stdout.startswith(b"Usage: voxel" if args == ["--help"]
                                                 else b"voxel ")):
                raise h.E2eFailure(f"launch.sh {args[0]}: exit {result.returncode}, "
                                   f"{(result.stdout + result.stderr)[:300]!r}")
            if b"no work to do" in result.stderr or b"done" in result.stderr:
                raise h.E2eFailure(f"launch.sh {args[0]} let the build speak: {result.stderr!r}")
        if os.path.exists(os.path.join(root, "build", "Map.Dat")):
            raise h.E2eFailure("launch.sh --help made a map")
        failing = tree("treehelpfails", build_fails=True)
        result = launch(failing, None, "--help")
        if result.returncode == 0 or b"build.sh: done" not in result.stderr or result.stdout:
            raise h.E2eFailure(f"a failed build under --help: exit {result.returncode}, "
                               f"{(result.stdout + result.stderr)[:300]!r}")

    suite.check("tools/launch.sh --help and --version without a display: only the program's "
                "output, exit 0; a failed build is shown", script_help)
    def sample_map_options():
        tool = os.path.abspath(h.tool_path(suite.args.tools, "voxel-sample-map"))
        folder = suite.folder("samplemap")
        for args, code in ((["--help"], 0), (["-x"], 2), (["--", "a"], 2), ([], 2)):
            result = subprocess.run([tool, *args], cwd=folder, capture_output=True, timeout=60)
            if result.returncode != code or b"usage:" not in result.stdout + result.stderr:
                raise h.E2eFailure(f"voxel-sample-map {args}: exit {result.returncode}")
        if os.listdir(folder):
            raise h.E2eFailure(f"voxel-sample-map made {os.listdir(folder)}")

    suite.check("voxel-sample-map refuses options and writes nothing", sample_map_options)
    for display, what in ((None, "without a display"), (UNREACHABLE, f"on {UNREACHABLE}")):
        suite.check(f"tools/launch.sh {what}: one line, exit 1, nothing built",
                    lambda: script(display))
        suite.check(f"voxel {what}: one line, exit 1", lambda: program(display))
    for args, more_env, code, word, what in (
            (["-platform", "nosuch"], {}, 2, "nosuch", "a platform the toolkit has not"),
            ([], {"WAYLAND_DISPLAY": "nonexist"}, 1, "display", "a stale WAYLAND_DISPLAY")):
        suite.check(f"{' '.join(['voxel', *args])} without DISPLAY, {what}: one line, exit {code}",
                    lambda: program(None, args, more_env, code, word))
    suite.finish()


if __name__ == "__main__":
    main()
