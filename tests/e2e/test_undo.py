"""Undo and redo on the real program: Ctrl+Z takes back a reset or a stroke (also with the focus
in a spin edit), Ctrl+Shift+Z and Ctrl+Y bring it back; closing saves the field as it then is.
100 whole-field pastes are all kept, in under 48 MB of resident memory, and 100 Ctrl+Z bring
back the loaded field."""

import os
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_pictures import keys as press, memory, offer, write_png  # noqa: E402
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

    def hundred_pastes():
        map_pixel, _ = oracle.ramps()
        pictures = []
        for seed in (21, 22):
            heights = h.noise_map(1, 255, seed=seed)
            path = write_png(os.path.join(suite.folder("pictures"), f"{seed}.png"), 320, 240,
                             lambda y, heights=heights: heights[y::240])
            with open(path, "rb") as f:
                pictures.append((f.read(), heights))
        with h.session(suite, "hundred", field, window_manager=True) as (display, voxel):
            owner = None
            for i in range(100):
                png, heights = pictures[i % 2]
                previous, owner = owner, offer(display, png)
                if previous is not None:
                    previous.wait(10)  # it ends once the next one took the clipboard
                press(display, voxel, "ctrl+v")
                voxel.wait_map(h.map_look(heights, map_pixel), f"paste {i + 1}")
            rss, peak = memory(voxel)
            print(f"     100 pastes: {rss} MB resident, {peak} MB at the peak", flush=True)
            if rss >= 48:
                raise h.E2eFailure(f"{rss} MB resident after 100 whole-field steps, want < 48")
            press(display, voxel, *["ctrl+z"] * 100)
            voxel.wait_map(h.map_look(field, map_pixel), "100 Ctrl+Z: the loaded field")
            written = os.stat(voxel.map_path)
            voxel.exit_by_button()
            after = os.stat(voxel.map_path)
            if voxel.saved_map() != field or after.st_mtime_ns != written.st_mtime_ns:
                raise h.E2eFailure("the close wrote the map although the field is the loaded one")

    suite.check("100 whole-field pastes are kept in < 48 MB; 100 Ctrl+Z give the loaded field "
                "back", hundred_pastes)
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
