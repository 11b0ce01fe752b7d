"""The three greyed buttons: without --tools they stay greyed, change nothing and Tab passes them;
with --tools --seed 7, 자동생성 writes the seeded landscape, 평준화 its mean and 잡음 its noise,
each one step that Ctrl+Z takes back whole; at 변화 억제 128 잡음 changes nothing and the close
writes nothing. The README's picture is taken here, of a generated landscape."""

import os
import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

MEAN_BTN = h.panel_point(192, 40, 75, 25)
NOISE_BTN = h.panel_point(192, 72, 75, 25)
AUTO_BTN = h.panel_point(192, 104, 75, 25)
SEED = 7
TOOLS = ["--tools", "--seed", str(SEED)]
PICTURE_ANGLE = 240  # where the generated landscape shows its peaks and a lake


def activate(display, voxel):
    display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)], check=False)


def unchanged_file(voxel, field, before):
    """The map file still holds field, and the close wrote nothing at all."""
    after = os.stat(voxel.map_path)
    if voxel.saved_map() != field or (after.st_ino, after.st_mtime_ns) != (
            before.st_ino, before.st_mtime_ns):
        raise h.E2eFailure("the map file was written")
    if sorted(os.listdir(voxel.folder)) != ["Map.Dat", "voxel", "voxel.log"]:
        raise h.E2eFailure(f"files beside the map: {sorted(os.listdir(voxel.folder))}")


def main():
    suite = h.Suite("tools")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.hills_map(seed=3, low=20, high=180)
    map_pixel, _ = oracle.ramps()

    def look(f):
        return h.map_look(f, map_pixel)

    def greyed():
        with h.session(suite, "greyed", field, window_manager=True) as (display, voxel):
            before = os.stat(voxel.map_path)
            blank = voxel.map_view().values565()
            for point in (MEAN_BTN, NOISE_BTN, AUTO_BTN):
                voxel.click_client(*point)
            voxel.frames_pass()
            if voxel.map_view().values565() != blank:
                raise h.E2eFailure("a greyed button drew on the map")
            # 초기화 has the focus; Tab passes the greyed 자동생성 to 끝내기, which Space presses.
            activate(display, voxel)
            display.key("Tab", "space")
            voxel.expect_exit()
            unchanged_file(voxel, field, before)

    def generated():
        with h.session(suite, "generate", field, window_manager=True, args=TOOLS) as (
                display, voxel):
            expected = oracle.tool("generate", SEED, 1)
            # With the tools, Tab goes from 초기화 to 자동생성.
            activate(display, voxel)
            display.key("Tab", "space")
            voxel.wait_map(look(expected), "the seeded landscape, whole")
            # The picture for the README: the rotation stopped where the landscape shows well.
            voxel.click_client(*h.CAMROT_AUTO_CHECK)
            voxel.set_spin(h.CAMROT_SPIN, str(PICTURE_ANGLE))
            display.move(*voxel.root(*h.PARK))
            view = oracle.screen(expected, PICTURE_ANGLE)
            h.poll(lambda: h.compare_565(voxel.settled_screen().values565(), view, 320, 240,
                                         skip=lambda x, y: not h.outside_counter(x, y))[0] == 0,
                   20, "the landscape at the picture's angle")
            # The counter shows a rate once a whole second of frames has passed.
            h.poll(lambda: time.monotonic() - voxel.spawned_at >= 2.5, 10, "2.5 s of frames")
            display.save_png(*voxel.origin, *h.CLIENT_SIZE,
                             os.path.join(suite.args.tools, "e2e-screenshot-tools.png"))
            voxel.exit_by_button()
            if voxel.saved_map() != expected:
                raise h.E2eFailure("the saved map is not the seeded landscape")

    def steps():
        with h.session(suite, "steps", field, window_manager=True, args=TOOLS) as (
                display, voxel):
            made = oracle.tool("generate", SEED, 1)
            mean = oracle.tool("level", made)
            noisy = oracle.tool("noise", mean, 1, SEED, 2)
            for point, result, what in ((AUTO_BTN, made, "자동생성"), (MEAN_BTN, mean, "평준화"),
                                        (NOISE_BTN, noisy, "잡음")):
                voxel.click_client(*point)
                voxel.wait_map(look(result), f"the field after {what}")
            for result, what in ((mean, "잡음"), (made, "평준화"), (field, "자동생성")):
                display.key("ctrl+z")
                voxel.wait_map(look(result), f"{what} undone")
            for result, what in ((made, "자동생성"), (mean, "평준화")):
                display.key("ctrl+shift+z")
                voxel.wait_map(look(result), f"{what} redone")
            voxel.exit_by_button()
            if voxel.saved_map() != mean:
                raise h.E2eFailure("the saved map is not the mean of the seeded landscape")

    def damped():
        with h.session(suite, "damped", field, window_manager=True, args=TOOLS) as (_, voxel):
            before = os.stat(voxel.map_path)
            voxel.set_spin(h.DIVISOR_SPIN, "128")
            voxel.click_client(*NOISE_BTN)
            voxel.wait_map(look(field), "the unchanged field, whole")
            voxel.exit_by_button()
            unchanged_file(voxel, field, before)

    suite.check("without --tools: clicks on the greyed buttons do nothing, Tab passes them, "
                "nothing written", greyed)
    suite.check("--tools --seed 7: Tab reaches 자동생성, the saved map is the seeded landscape",
                generated)
    suite.check("자동생성, 평준화, 잡음 each shown whole; Ctrl+Z back through each, Ctrl+Shift+Z; "
                "the close writes the mean", steps)
    suite.check("변화 억제 128: 잡음 leaves the field as it was and the close writes nothing",
                damped)
    suite.finish()


if __name__ == "__main__":
    main()
