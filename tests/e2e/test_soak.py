"""Soak: minutes of random real X input over the window (moves, held buttons, clicks on every
control, good and bad typed values, window moves, resizes, minimise and restore), then 끝내기.
Passes when the program answered throughout, its resident memory grew by less than 9.3 MB after
the warm-up (2 MB beyond the 7.3 MB the undo history may keep), and it exited with code 0 leaving
a 76,800-byte Map.Dat equal to the field its map view showed last. One minute by default; the
test command's short form (--minutes 0.25) still clicks every control, takes a dozen random
actions, answers a probe at the start and at the end, and checks the memory from 5 s on, the
exit code and the saved field; by hand: test_soak.py --voxel V --tools T --minutes 30."""

import argparse
import random
import sys
import time

import harness as h


def own_args():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--minutes", type=float, default=1.0)
    parser.add_argument("--seed", type=int, default=20250611)
    own, rest = parser.parse_known_args()
    sys.argv = [sys.argv[0]] + rest  # the rest is the harness's
    return own


OPTIONS = own_args()
WARM_UP = 15.0  # seconds before the memory baseline: caches, fonts and the first boxes fill in
# Beyond the undo history, which keeps up to 100 whole fields (7,500 kB) by design.
MAX_GROWTH_KB = 2048 + 100 * 320 * 240 // 1024
PROBE_EVERY = 10.0
SPINS = [h.BRUSH_RANGE_SPIN, h.CAMERA_Z_SPIN, h.DIVISOR_SPIN, h.CAMROT_SPIN]
SPIN_RECTS = [(96, 8), (96, 32), (96, 56), (96, 80)]  # panel left, top of the spins (73 x 22)
# Every control but 끝내기, as client points: labels, buttons (the disabled ones too), check
# boxes, the three brush items, the group box, each spin's editor and both of its arrows.
CONTROLS = (
    [h.panel_point(8, t, 80, 16) for t in (8, 32, 56, 80)]
    + [h.INIT_BTN, h.panel_point(192, 40, 75, 25), h.panel_point(192, 72, 75, 25),
       h.panel_point(192, 104, 75, 25), h.CAMROT_AUTO_CHECK, h.WAIT_MOVE_CHECK]
    + [h.panel_point(72, 168, 97, 81, dx=25, dy=dy) for dy in (26, 45, 64)]
    + [h.panel_point(72, 168, 97, 81, dx=90, dy=10)]
    + SPINS
    + [h.panel_point(left, top, 73, 22, dx=65, dy=dy) for left, top in SPIN_RECTS for dy in (5, 16)]
)
GOOD = ["1", "5", "50", "120", "200", "240", "359", "600", "1000", "+17", "007"]
BAD = ["0", "-1", "-2147483648", "2147483647", "2147483648", "256", "360", "65535", "", "-",
       "abc", "1.5", "1e3", "--2", "99999999999"]


def rss_kb(pid):
    with open(f"/proc/{pid}/status", encoding="ascii") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise h.E2eFailure("no VmRSS in /proc status")


class Soak:
    def __init__(self, display, voxel, oracle, seconds, rng):
        self.display, self.voxel, self.oracle = display, voxel, oracle
        self.seconds, self.rng = seconds, rng
        self.boxes = 0
        self.actions = {}
        self.typed = 0
        self.latencies = []
        self.samples = []  # (seconds since start, RSS in kB)
        self.baseline = None
        self.baseline_at = None
        self.start = time.monotonic()

    def elapsed(self):
        return time.monotonic() - self.start

    # ---- The window ----

    def refresh_origin(self):
        x, y, width, height = self.display.geometry(self.voxel.window)
        self.voxel.origin = (x, y)
        return width, height

    def restore_window(self):
        """Back to its size, shown and active, with the origin read anew."""
        win = str(self.voxel.window)
        self.display.xdotool("windowactivate", "--sync", win)
        self.display.xdotool("windowsize", win, *h.CLIENT_SIZE)
        h.poll(lambda: self.refresh_origin() == h.CLIENT_SIZE, 10, "the window's own size again")

    def dismiss_boxes(self):
        """Presses OK on every error box; each typed bad value may bring one."""
        while True:
            boxes = self.voxel.error_boxes()
            if not boxes:
                return
            self.boxes += 1
            self.voxel.dismiss_error_box(boxes[0])

    # ---- Random actions ----

    def client_point(self, area):
        left, top = area
        return left + self.rng.randrange(h.VIEW_SIZE[0]), top + self.rng.randrange(h.VIEW_SIZE[1])

    def hover(self):
        for _ in range(self.rng.randint(3, 12)):
            self.display.xdotool("mousemove", *self.voxel.root(*self.client_point(
                self.rng.choice([h.MAP_VIEW, h.MAP_VIEW, h.SCREEN_VIEW]))), "sleep", 0.01)

    def stroke(self):
        buttons = self.rng.choice([[1], [3], [1, 3]])
        self.display.move(*self.voxel.root(*self.client_point(h.MAP_VIEW)))
        pressed = []
        try:
            for button in buttons:
                self.display.button_down(button)
                pressed.append(button)
            for _ in range(self.rng.randint(2, 10)):
                self.display.xdotool("mousemove", *self.voxel.root(*self.client_point(h.MAP_VIEW)),
                                     "sleep", 0.02)
        finally:
            for button in reversed(pressed):
                self.display.button_up(button)

    def click_control(self, point=None):
        point = point or self.rng.choice(CONTROLS)
        if self.rng.random() < 0.2:  # held: an arrow repeats
            self.display.move(*self.voxel.root(*point))
            self.display.xdotool("mousedown", 1, "sleep", self.rng.choice([0.1, 0.6]), "mouseup", 1)
        else:
            self.voxel.click_client(*point)

    def set_spin(self, spin, text):
        """Clicks into the spin, clears it and types the text (which may start with "-")."""
        self.voxel.click_client(*spin)
        self.display.key("ctrl+a")
        self.display.key("BackSpace")
        if text:
            self.display.xdotool("type", "--delay", 30, "--", text)

    def type_value(self):
        text = self.rng.choice(GOOD if self.rng.random() < 0.5 else BAD)
        self.set_spin(self.rng.choice(SPINS), text)
        self.typed += 1
        if self.rng.random() < 0.5:  # a radius or divisor faults only over the map
            self.display.move(*self.voxel.root(*self.client_point(h.MAP_VIEW)))

    def window_op(self):
        win = str(self.voxel.window)
        op = self.rng.choice(["move", "resize", "minimise"])
        if op == "move":
            self.display.xdotool("windowmove", win, self.rng.randrange(0, 560),
                                 self.rng.randrange(30, 420))
        elif op == "resize":
            size = (self.rng.randrange(200, 1000), self.rng.randrange(150, 900))
            self.display.xdotool("windowsize", win, *size)
            try:
                h.poll(lambda: self.refresh_origin() == size, 5, f"the window at {size}")
            except h.E2eFailure:
                pass  # the window manager may keep the window to its size hints
            self.hover()
        else:
            self.display.xdotool("windowminimize", "--sync", win)
        self.restore_window()
        return op

    def act(self):
        kind = self.rng.choices(["hover", "stroke", "click", "type", "window"],
                                weights=[3, 3, 3, 3, 1])[0]
        if kind == "hover":
            self.hover()
        elif kind == "stroke":
            self.stroke()
        elif kind == "click":
            self.click_control()
        elif kind == "type":
            self.type_value()
        else:
            kind = self.window_op()
        self.actions[kind] = self.actions.get(kind, 0) + 1

    # ---- Checks along the way ----

    def sample_memory(self):
        self.samples.append((self.elapsed(), rss_kb(self.voxel.proc.pid)))
        if self.baseline is None and self.elapsed() >= min(WARM_UP, self.seconds / 3):
            self.baseline_at, self.baseline = self.samples[-1]

    def probe(self):
        """The program answers: a camera height of 0 typed now brings exactly one error box
        at the next frame; OK dismisses it and the height is back in range."""
        self.dismiss_boxes()
        started = time.monotonic()
        self.set_spin(h.CAMERA_Z_SPIN, "0")
        box = self.voxel.wait_error_box(timeout=20)
        self.latencies.append(time.monotonic() - started)
        count = len(self.voxel.error_boxes())
        if count != 1:
            raise h.E2eFailure(f"{count} error boxes for one typed camera height of 0")
        self.boxes += 1
        self.voxel.dismiss_error_box(box)
        # The box took the focus from the spin, which brought the height back into range:
        # no second box follows.
        deadline = h.Deadline(0.5)
        while not deadline.expired():
            if self.voxel.error_boxes():
                raise h.E2eFailure("a second error box followed a typed camera height of 0")
        self.set_spin(h.CAMERA_Z_SPIN, "240")

    def run(self):
        for point in CONTROLS:  # every control at least once
            self.click_control(point)
            self.dismiss_boxes()
        last_probe = last_sample = -PROBE_EVERY
        while self.elapsed() < self.seconds:
            self.act()
            self.dismiss_boxes()
            self.voxel.check_running()
            if self.elapsed() - last_sample >= 2.0:
                self.sample_memory()
                last_sample = self.elapsed()
            if self.elapsed() - last_probe >= PROBE_EVERY:
                self.probe()
                last_probe = self.elapsed()
        self.probe()
        self.sample_memory()

    # ---- The end ----

    def shown_field(self):
        """Shows every cell on the map view and returns its pixels as 5-6-5 values: with the
        radius at 200 the footprint centred on (160, 120) covers the whole map, and a diagonal
        approach draws even while waiting for movement is on. No button is held."""
        self.dismiss_boxes()
        self.restore_window()
        self.set_spin(h.BRUSH_RANGE_SPIN, "200")
        steps = []
        for d in range(-10, 1):
            steps += ["mousemove", *self.voxel.map_point(160 + d, 120 + d), "sleep", 0.03]
        self.display.xdotool(*steps)
        self.display.move(*self.voxel.root(*h.PARK))
        self.dismiss_boxes()
        return self.voxel.map_view().values565()

    def finish(self):
        shown = self.shown_field()
        self.voxel.exit_by_button()
        saved = self.voxel.saved_map()
        if len(saved) != h.MAP_BYTES:
            raise h.E2eFailure(f"saved file has {len(saved)} bytes, want {h.MAP_BYTES}")
        map_pixel, _ = self.oracle.ramps()
        expected = [map_pixel[saved[x * 240 + y]] for y in range(240) for x in range(320)]
        count, samples = h.compare_565(shown, expected, 320, 240)
        if count:
            raise h.E2eFailure(f"{count} map pixels differ from the saved file: {samples}")

    def report(self):
        growth = max(kb for t, kb in self.samples if t >= self.baseline_at) - self.baseline
        rss = [kb for _, kb in self.samples]
        print(f"     soak {self.elapsed():.0f} s, seed {OPTIONS.seed}: actions {self.actions}, "
              f"{self.typed} typed values, {self.boxes} error boxes dismissed", flush=True)
        print(f"     RSS first {rss[0]} kB, baseline {self.baseline} kB, last {rss[-1]} kB, "
              f"peak {max(rss)} kB, growth after warm-up {growth} kB; answer time "
              f"max {max(self.latencies):.2f} s over {len(self.latencies)} probes", flush=True)
        return growth


def main():
    suite = h.Suite("soak")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.sample_map(suite.args.tools, suite.tmp)

    def soak():
        with h.session(suite, "soak", field, window_manager=True) as (display, voxel):
            run = Soak(display, voxel, oracle, OPTIONS.minutes * 60, random.Random(OPTIONS.seed))
            run.run()
            growth = run.report()
            if growth >= MAX_GROWTH_KB:
                raise h.E2eFailure(f"resident memory grew by {growth} kB after the warm-up")
            run.finish()

    suite.check(f"soak of {OPTIONS.minutes:g} min, then 끝내기", soak)
    suite.finish()


if __name__ == "__main__":
    main()
