"""A held button over the map edits the field: the file saved on closing is exactly k brush
applications at the cursor's point, for some k >= 1, whether the buttons went down on the map
itself, on the panel or on the screen view. Left raises, right lowers, both raise; the radius,
divisor and shape set on the panel are the brush's."""

import sys

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
    suite.finish()


if __name__ == "__main__":
    main()
