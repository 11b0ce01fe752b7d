"""A held button over the map edits the field: the file saved on closing is exactly k brush
applications at the cursor's point, for some k >= 1, whether the buttons went down on the map
itself, on the panel or on the screen view. Left raises, right lowers, both raise; the radius,
divisor and shape set on the panel are the brush's; a click shorter than a frame acts once."""

import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

RAISE, LOWER = 1, 2
GAUSSIAN, SQUARE = 1, 3
SQUARE_ITEM = h.panel_point(72, 168, 97, 81, dx=30, dy=65)  # "사각" in the brush group
PANEL_GAP = h.panel_point(192, 129, 75, 55)  # the panel's ground between two buttons


def expect_strokes(oracle, before, after, point, mode, radius=50, divisor=1,
                   shape=GAUSSIAN):
    k, text = oracle.match(before, after, point[0], point[1], radius, divisor, mode, shape)
    if k is None:
        changed = sum(a != b for a, b in zip(before, after))
        raise h.E2eFailure(f"{changed} cells changed, not as brush applications at {point}: {text}")
    print(f"     explained by k = {text}", flush=True)


def stroke_case(suite, oracle, label, field, point, buttons, mode, press_at=None):
    """press_at: a client point where the buttons go down, or the map point itself ("map")."""
    def body():
        with h.session(suite, label, field) as (_, voxel):
            at = voxel.map_point(*point) if press_at == "map" else press_at and voxel.root(
                *press_at)
            voxel.stroke(point, buttons, press_at=at)
            voxel.exit_by_button()
            expect_strokes(oracle, field, voxel.saved_map(), point, mode)
    return body


def panel_settings_case(suite, oracle, field):
    """Radius, divisor and shape set on the panel reach the brush."""
    def body():
        with h.session(suite, "square", field) as (_, voxel):
            voxel.set_spin(h.BRUSH_RANGE_SPIN, "30")
            voxel.set_spin(h.DIVISOR_SPIN, "2")
            voxel.click_client(*SQUARE_ITEM)
            voxel.stroke((300, 20), [1])
            voxel.exit_by_button()
            expect_strokes(oracle, field, voxel.saved_map(), (300, 20), RAISE,
                           radius=30, divisor=2, shape=SQUARE)
    return body


WHEEL_UP, WHEEL_DOWN = 4, 5
MEAN_BTN = h.panel_point(192, 40, 75, 25)
TIPS = {h.BRUSH_RANGE_SPIN: "Brush radius in cells, 1 to 200 (mouse wheel over the map: 1 per "
                            "notch, 10 with Shift)",
        h.CAMROT_AUTO_CHECK: "Automatic camera rotation: one degree per frame",
        h.INIT_BTN: "Reset: clear the whole field to the lowest ground (Ctrl+Z undoes it)",
        MEAN_BTN: "Level out: available with --tools"}


def cursor_ring(display, radius):
    """Waits until the cursor is a circle of radius device pixels, light on its hot spot."""
    def ring():
        width, height, hot, pixels = display.cursor_image()
        radii, centre = h.ring_radii(width, height, hot, pixels)
        return radii == [radius] and centre
    h.poll(ring, 10, f"a circle cursor of radius {radius}")


def wheel_case(suite, oracle, field):
    """Wheel notches over the map step the radius (Shift: 10 a notch) with the cursor following
    at once, at scale 2; the next stroke reaches that far."""
    def body():
        with h.session(suite, "wheel", field, scale=2) as (display, voxel):
            voxel.set_spin(h.BRUSH_RANGE_SPIN, "20")
            display.move(*voxel.map_point(300, 20))
            cursor_ring(display, 40)
            display.xdotool("click", WHEEL_UP)
            cursor_ring(display, 42)
            for keys in ("up", "up", "down"):
                display.xdotool("keydown", "shift", "click",
                                WHEEL_UP if keys == "up" else WHEEL_DOWN, "keyup", "shift")
            cursor_ring(display, 62)
            voxel.stroke((300, 20), [1])
            voxel.exit_by_button()
            expect_strokes(oracle, field, voxel.saved_map(), (300, 20), RAISE, radius=31)
    return body


def cursor_case(suite):
    """Over the map the cursor is the brush's circle at the radius set; a typed radius beyond
    the spin's range gives a small plain cross."""
    def body():
        with h.session(suite, "cursor", bytes(h.MAP_BYTES)) as (display, voxel):
            display.move(*voxel.map_point(160, 120))
            cursor_ring(display, 50)
            before = voxel.map_view().values565()
            voxel.set_spin(h.BRUSH_RANGE_SPIN, "7")
            display.move(*voxel.map_point(100, 100))
            cursor_ring(display, 7)
            voxel.set_spin(h.BRUSH_RANGE_SPIN, "99999")
            display.move(*voxel.map_point(100, 100))
            h.poll(lambda: display.cursor_image()[0] < 64, 10, "a small cross for 99999")
            if voxel.map_view().values565() != before:
                raise h.E2eFailure("the map view changed under the cursor")
    return body


def tooltip_case(suite, oracle):
    def body():
        with h.session(suite, "tips", bytes(h.MAP_BYTES), window_manager=True) as (_, voxel):
            for point, tip in TIPS.items():
                shown = voxel.tooltip_text(point, oracle, list(TIPS.values()))
                if shown != tip:
                    raise h.E2eFailure(f"tooltip at {point} reads {shown!r}, want {tip!r}")
            # The map's tip lies below it: it covers neither the field nor the cursor's place.
            x, y = voxel.map_point(160, 120)
            voxel.display.move(x, y)
            voxel.display.move(x + 1, y + 1)
            tip = h.poll(voxel.tooltips, 10, "the map view's tooltip")[0]
            _, top, _, _ = voxel.display.geometry(tip)
            if top < voxel.root(*h.MAP_VIEW)[1] + h.VIEW_SIZE[1]:
                raise h.E2eFailure(f"the map's tooltip starts at y {top}, over the map")
            voxel.display.move(*voxel.root(*h.PARK))
            h.poll(lambda: not voxel.tooltips(), 10, "the map's tooltip to go")
    return body


def short_click_case(suite, oracle, field):
    """At one frame a second, a 50 ms click between two ticks raises the ground once."""
    def body():
        with h.session(suite, "shortclick", field, args=["--fps", "1"]) as (display, voxel):
            point = (160, 120)
            display.move(*voxel.map_point(*point))
            time.sleep(1.5)  # a tick with no button: the footprint shows, nothing changes
            display.button_down(1)
            time.sleep(0.05)
            display.button_up(1)
            time.sleep(2.5)  # two more ticks
            voxel.exit_by_button()
            k, text = oracle.match(field, voxel.saved_map(), *point, 50, 1, RAISE, GAUSSIAN)
            if k != 1:
                raise h.E2eFailure(f"the click raised the ground {k} times, want once: {text}")
    return body


def main():
    suite = h.Suite("stroke")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    low = h.noise_map(0, 60, seed=3)
    high = h.noise_map(150, 255, seed=4)
    suite.check("left button raises",
                stroke_case(suite, oracle, "left", low, (120, 100), [1], RAISE, "map"))
    suite.check("right button lowers",
                stroke_case(suite, oracle, "right", high, (200, 150), [3], LOWER, PANEL_GAP))
    suite.check("both buttons raise",
                stroke_case(suite, oracle, "both", low, (60, 200), [1, 3], RAISE))
    suite.check("square brush, radius 30, divisor 2 from the panel",
                panel_settings_case(suite, oracle, low))
    suite.check("wheel over the map: radius 20 -> 21 -> 31 (Shift) with the cursor, the stroke "
                "reaches 31", wheel_case(suite, oracle, low))
    suite.check("cursor over the map: circle of 50, of 7; a cross for 99999; map unchanged",
                cursor_case(suite))
    suite.check("a 50 ms click at --fps 1 raises the ground once",
                short_click_case(suite, oracle, low))
    suite.check("tooltips on a spin, a check box, a button and a greyed button; the map's below it",
                tooltip_case(suite, oracle))
    suite.finish()


if __name__ == "__main__":
    main()
