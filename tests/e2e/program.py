"""The program driver: a copy of the program in a folder of its own, started on a display, its
window found, its views read and its controls worked with real input."""

import errno
import math
import os
import pwd
import shutil
import subprocess
import tempfile
import time

from images import compare_565, dark_mask, is_aqua, masked
from layout import (BOX_TITLE, CLIENT_SIZE, COUNTER_BOX, EXIT_BTN, MAP_VIEW, NOTICE_AREA,
                    PARK, SCREEN_VIEW, TITLE, VIEW_SIZE)
from processes import end_process, forget, spawn
from waits import Deadline, E2eFailure, poll


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
        self.stderr = None  # standard error: the log, or "null", or "closed"
        self.map_path = os.path.join(self.folder, "Map.Dat")
        if map_bytes is not None:
            with open(self.map_path, "wb") as f:
                f.write(map_bytes)
        self.proc = None
        self.window = None
        self.origin = None  # root position of the client area

    def start(self, timeout=120):
        """Launches the program and waits until its window shows frames (a bound on a hang,
        generous: a loaded machine can take a minute)."""
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
        argv = [self.exe, *self.args]
        stderr = {"null": subprocess.DEVNULL}.get(self.stderr, self.log)
        if self.stderr == "closed":  # the shell becomes the program, its descriptor 2 closed
            argv = ["/bin/sh", "-c", 'exec "$0" "$@" 2>&-', *argv]
        self.proc = spawn(argv, cwd=self.folder, env=self.env or self.display.env,
                          stdout=self.log, stderr=stderr, **ids)
        return self

    def attach(self, timeout=120):
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
        """The screen view once two screenshots in a row, a tenth of a second apart, agree
        outside the counter text."""
        previous = None
        deadline = Deadline(timeout)
        while True:
            self.check_running()
            if previous is not None:
                time.sleep(0.1)  # a screenshot takes milliseconds: two could catch one frame
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

        try:
            poll(enough, timeout, f"{count} different frames of the screen view", interval=0.05)
        except E2eFailure as failure:
            # What was on the screen then tells a stopped program from a covered view.
            raise E2eFailure(f"{failure} (saw {len(seen)}; error boxes open: "
                             f"{self.error_boxes()})") from None

    def notice_shown(self):
        """Whether text shows in the panel's free room, where the window's notices go."""
        left, top, width, height = NOTICE_AREA
        image = self.display.grab(*self.root(left, top), width, height)
        return any(sum(image.rgb(x, y)) < 240 for y in range(0, height, 2)
                   for x in range(width))

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
        """Whether the box's message, as drawn, starts with a line that is exactly text drawn in
        the default font (a file's name and a cause may follow on lines of their own)."""
        x, y, width, height = self.display.geometry(box)
        image = self.display.grab(x, y, width, height)
        # The message lies right of the stop icon (red) and above the button row (whose icons
        # may be red too).
        red = [px for py in range(height - 40) for px in range(width)
               if image.rgb(px, py)[0] > 150 and max(image.rgb(px, py)[1:]) < 100]
        left = max(red) + 1 if red else 0
        shown = dark_mask(lambda px, py: sum(image.rgb(px, py)) // 3,
                          range(left, width), range(0, height - 40))
        wanted = oracle.text_mask(text, self.display.env)
        if not wanted:
            return shown == wanted
        bottom = max(py for _, py in wanted)
        first = [(px, py) for px, py in shown if py <= bottom]
        if not first:
            return False
        left = min(px for px, _ in first)
        return frozenset((px - left, py) for px, py in first) == wanted

    def box_text(self, box, oracle, texts, timeout=10):
        """Which of texts the box shows, read until one does: a box is listed once mapped and
        painted on the expose that follows, which a loaded machine may delay."""
        return poll(lambda: next((t for t in texts if self.error_box_says(box, oracle, t)), None),
                    timeout, f"the error box to say one of {texts}", interval=0.1)

    def dismiss_error_box(self, box, timeout=20, key="Return"):
        """Presses the box's OK with Return (a failed close's box: Cancel), or another key (a
        button's letter: s Save As..., q Quit without saving), and waits until it is gone."""
        deadline = Deadline(timeout)
        while box in self.error_boxes():
            self.display.run(["xdotool", "windowfocus", "--sync", str(box)], check=False)
            self.display.key(key)
            inner = Deadline(2)
            while not inner.expired() and box in self.error_boxes():
                time.sleep(0.05)
            if deadline.expired():
                raise E2eFailure(f"the error box did not go away on {key}")

    def save_as(self, path, keys=("ctrl+shift+s",)):
        """Opens Save As with keys (none: it is opening already), types path into its dialog
        and confirms; waits until the file exists."""
        display = self.display
        if keys:
            display.run(["xdotool", "windowactivate", "--sync", str(self.window)], check=False)
            display.key(*keys)
        dialog = poll(lambda: next((w for w, t in display.windows_of(self.proc.pid)
                                    if t == "Save the map as"), None), 20, "the Save As dialog")
        display.run(["xdotool", "windowactivate", "--sync", str(dialog)], check=False)
        display.key("ctrl+a")
        display.type_text(path)
        display.key("Return")
        poll(lambda: os.path.exists(path if path.endswith(".dat") else path + ".dat"), 20,
             "Save As to write the chosen file")

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
            end_process(self.proc)
            forget(self.proc)
            if hasattr(self, "log"):
                self.log.close()


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
