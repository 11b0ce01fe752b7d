"""Undo and redo on the real program: Ctrl+Z takes back a reset or a stroke (also with the focus
in a spin edit), Ctrl+Shift+Z and Ctrl+Y bring it back; closing saves the field as it then is."""

import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402

POINT = (120, 100)


def main():
    suite = h.Suite("undo")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.noise_map(0, 60, seed=5)

    def run(label, before_undo, redo=None):
        with h.session(suite, label, field, window_manager=True) as (display, voxel):
            before_undo(display, voxel)
            stroked = voxel.map_view().values565()
            display.key("ctrl+z")
            if redo:  # the undone stroke shows, then the redone one
                h.poll(lambda: voxel.map_view().values565() != stroked, 10, "the undo")
                display.key(redo)
                h.poll(lambda: voxel.map_view().values565() == stroked, 10, "the redo")
            voxel.exit_by_button()
            if redo:
                expect_strokes(oracle, field, voxel.saved_map(), POINT, RAISE)
            elif voxel.saved_map() != field:
                raise h.E2eFailure("the saved map is not the loaded one")

    def space(display, voxel):  # the focus starts on 초기화: the whole field cleared
        display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)], check=False)
        display.key("space")

    def stroke(_, voxel):
        voxel.stroke(POINT, [1])

    def stroke_then_spin(display, voxel):
        stroke(display, voxel)
        voxel.click_client(*h.BRUSH_RANGE_SPIN)

    suite.check("Space right after start, then Ctrl+Z: the loaded map is saved",
                lambda: run("space", space))
    suite.check("a stroke, a click into a spin edit, Ctrl+Z: the loaded map is saved",
                lambda: run("spin", stroke_then_spin))
    for keys in ("ctrl+shift+z", "ctrl+y"):
        suite.check(f"a stroke, Ctrl+Z, {keys}: the stroke is back",
                    lambda keys=keys: run(keys.replace("+", ""), stroke, keys))
    suite.finish()


if __name__ == "__main__":
    main()
