"""Undo and redo on the real program: Ctrl+Z takes back a reset or a stroke (also with the focus
in a spin edit), Ctrl+Shift+Z and Ctrl+Y bring it back; closing saves the field as it then is."""

import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402

POINT = (120, 100)


def close_and_read(voxel):
    code = voxel.exit_by_button()
    if code != 0:
        raise h.E2eFailure(f"exit code {code}, want 0")
    return voxel.saved_map()


def expect_loaded(saved, field, what):
    if saved != field:
        changed = sum(a != b for a, b in zip(saved, field))
        raise h.E2eFailure(f"{what}: {changed} cells differ from the loaded map")


def main():
    suite = h.Suite("undo")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.noise_map(0, 60, seed=5)

    def space_then_undo():
        with h.session(suite, "space", field, window_manager=True) as (display, voxel):
            display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)], check=False)
            display.key("space")  # the focus starts on 초기화: the whole field cleared
            display.key("ctrl+z")
            expect_loaded(close_and_read(voxel), field, "after Space and Ctrl+Z")

    def stroke_spin_undo():
        with h.session(suite, "spin", field, window_manager=True) as (display, voxel):
            voxel.stroke(POINT, [1])
            voxel.click_client(*h.BRUSH_RANGE_SPIN)
            display.key("ctrl+z")
            expect_loaded(close_and_read(voxel), field, "after a stroke and Ctrl+Z in a spin")

    def redo_with(keys):
        def body():
            with h.session(suite, keys.replace("+", ""), field, window_manager=True) as (
                    display, voxel):
                voxel.stroke(POINT, [1])
                stroked = voxel.map_view().values565()
                display.key("ctrl+z")
                h.poll(lambda: voxel.map_view().values565() != stroked, 10,
                       "the undone stroke on the map view")
                display.key(keys)
                h.poll(lambda: voxel.map_view().values565() == stroked, 10,
                       "the map view as it was before the undo")
                expect_strokes(oracle, field, close_and_read(voxel), POINT, RAISE)
        return body

    suite.check("Space right after start, then Ctrl+Z: the saved map is the loaded one",
                space_then_undo)
    suite.check("a stroke, a click into a spin edit, Ctrl+Z: the saved map is the loaded one",
                stroke_spin_undo)
    suite.check("a stroke, Ctrl+Z, Ctrl+Shift+Z: the stroke is back", redo_with("ctrl+shift+z"))
    suite.check("a stroke, Ctrl+Z, Ctrl+Y: the stroke is back", redo_with("ctrl+y"))
    suite.finish()


if __name__ == "__main__":
    main()
