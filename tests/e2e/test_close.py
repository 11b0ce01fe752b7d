"""Closing saves the field and exits with code 0, by the close box and by "끝내기"; a save that
fails shows its box and keeps the program open and running (Cancel), with working views also
after the close box, and the next close saves; the box's other ways out, Quit without saving and
Save As..., do what they say; with nothing changed, a failed save still ends the program.
Ctrl+S saves the same way without closing."""

import os
import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402


def expect_clean_exit(voxel, field):
    voxel.expect_exit()
    saved = voxel.saved_map()
    if saved != field:
        changed = sum(a != b for a, b in zip(saved, field)) + abs(len(saved) - len(field))
        raise h.E2eFailure(f"saved file differs from the loaded one ({len(saved)} bytes, "
                           f"{changed} differ) although nothing was edited")


def expect_two_strokes(oracle, field, saved, first, second):
    """saved is field with the default brush's raises at first and at second, which lie more
    than two radii apart: each disc is checked on its own."""
    def near(index, point):
        x, y = divmod(index, 240)
        return (x - point[0]) ** 2 + (y - point[1]) ** 2 <= 52 ** 2
    between = bytes(s if near(i, first) else f for i, (f, s) in enumerate(zip(field, saved)))
    expect_strokes(oracle, field, between, first, RAISE)
    expect_strokes(oracle, between, saved, second, RAISE)


def stays_alive(voxel, seconds=1.0):
    """The program keeps running for a while (a tick that faults would end or box it)."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        voxel.check_running()
        if voxel.error_boxes():
            raise h.E2eFailure("an error box appeared while the program was idle")
        time.sleep(0.1)


def main():
    suite = h.Suite("close")
    field = h.sample_map(suite.args.tools, suite.tmp)
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))

    def close_box():
        with h.session(suite, "closebox", field, window_manager=True) as (display, voxel):
            title = display.window_title(voxel.window)
            if title != h.TITLE:
                raise h.E2eFailure(f"window title {title!r}, want {h.TITLE!r}")
            voxel.click_close_box()
            expect_clean_exit(voxel, field)

    def exit_button():
        with h.session(suite, "exitbtn", field) as (_, voxel):
            voxel.click_client(*h.EXIT_BTN)
            expect_clean_exit(voxel, field)

    def failed_save():
        with h.session(suite, "failsave", field, window_manager=True) as (_, voxel):
            # A folder in the file's place: the save cannot replace it. A stroke, so the close
            # has something to lose.
            voxel.stroke((100, 60), [1])
            os.remove(voxel.map_path)
            os.mkdir(voxel.map_path)
            voxel.click_client(*h.EXIT_BTN)
            h.expect_save_error(voxel, oracle)
            # The views were not finalised: the rotating landscape keeps moving.
            voxel.frames_pass()
            voxel.click_close_box()
            h.expect_save_error(voxel, oracle)  # Return: Cancel
            # The close request finalised the views and its refusal brought them back: the
            # landscape turns, a second stroke lands, Save As keeps both.
            voxel.frames_pass()
            voxel.stroke((240, 180), [1])
            leftovers = sorted(set(os.listdir(voxel.folder)) - {"voxel", "voxel.log", "Map.Dat"})
            if leftovers or os.listdir(voxel.map_path):
                raise h.E2eFailure(f"failed saves left files behind: {leftovers}")
            chosen = os.path.join(voxel.folder, "kept.dat")
            voxel.save_as(chosen)
            with open(chosen, "rb") as f:
                expect_two_strokes(oracle, field, f.read(), (100, 60), (240, 180))
            voxel.click_client(*h.EXIT_BTN)
            voxel.expect_exit()

    def ways_out(way):
        """A changed map that cannot be saved, closed by the window manager's close box (s:
        Alt+F4): Quit without saving (q) ends with 0 and writes nothing; Save As... (s) keeps
        the field in the chosen file, then ends with 0."""
        def body():
            with h.session(suite, f"way-{way}", field, window_manager=True) as (display, voxel):
                voxel.stroke((100, 60), [1])
                os.remove(voxel.map_path)
                os.mkdir(voxel.map_path)
                if way == "q":
                    voxel.click_close_box()
                else:
                    display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)],
                                check=False)
                    display.key("alt+F4")
                box = h.expect_save_error(voxel, oracle, dismiss=False)
                if way == "q":  # the program ends with the box
                    display.run(["xdotool", "windowfocus", "--sync", str(box)], check=False)
                    display.key(way)
                else:
                    voxel.dismiss_error_box(box, key=way)
                chosen = os.path.join(voxel.folder, "kept.dat")
                if way == "s":
                    voxel.save_as(chosen, keys=())
                voxel.expect_exit()
                made = sorted(set(os.listdir(voxel.folder)) - {"voxel", "voxel.log", "Map.Dat"})
                if os.listdir(voxel.map_path) or made != ([] if way == "q" else ["kept.dat"]):
                    raise h.E2eFailure(f"files made: {made}, {os.listdir(voxel.map_path)}")
                if way == "s":
                    with open(chosen, "rb") as f:
                        expect_strokes(oracle, field, f.read(), (100, 60), RAISE)
        return body

    def failed_save_unchanged():
        """Nothing changed: a save that cannot be made does not keep the window."""
        with h.session(suite, "failunchanged", field, window_manager=True) as (_, voxel):
            os.remove(voxel.map_path)
            os.mkdir(voxel.map_path)
            voxel.click_close_box()
            voxel.expect_exit()
            said = [line for line in voxel.read_log().splitlines() if "nothing is lost" in line]
            if len(said) != 1 or os.listdir(voxel.map_path):
                raise h.E2eFailure(f"want one line saying nothing is lost: {voxel.read_log()}")

    def ctrl_s():
        low = h.noise_map(0, 60, seed=6)
        with h.session(suite, "ctrls", low, window_manager=True) as (display, voxel):
            voxel.stroke((100, 60), [1])
            voxel.click_client(*h.CAMERA_Z_SPIN)  # the focus in a spin edit
            display.key("ctrl+s")
            h.poll(lambda: voxel.saved_map() != low, 10, "Ctrl+S to write the map")
            first = voxel.saved_map()
            expect_strokes(oracle, low, first, (100, 60), RAISE)
            with open(voxel.map_path + ".bak", "rb") as f:
                if f.read() != low:
                    raise h.E2eFailure("Ctrl+S kept no .bak of the map it replaced")
            stays_alive(voxel)
            # Nothing changed since: Ctrl+S again writes nothing; then a stroke, which the close
            # saves.
            written = os.stat(voxel.map_path)
            display.key("ctrl+s")
            time.sleep(0.5)
            again = os.stat(voxel.map_path)
            if (again.st_ino, again.st_mtime_ns) != (written.st_ino, written.st_mtime_ns):
                raise h.E2eFailure("Ctrl+S with nothing changed wrote the map")
            voxel.stroke((220, 180), [1])
            voxel.exit_by_button()
            expect_strokes(oracle, first, voxel.saved_map(), (220, 180), RAISE)

    def ctrl_s_then_close():
        with h.session(suite, "ctrlsclose", h.noise_map(0, 60, seed=6),
                       window_manager=True) as (display, voxel):
            voxel.stroke((100, 60), [1])
            display.key("ctrl+s")
            h.poll(lambda: os.path.exists(voxel.map_path + ".bak"), 10, "Ctrl+S to save")
            written = os.stat(voxel.map_path)
            voxel.click_close_box()
            voxel.expect_exit()
            after = os.stat(voxel.map_path)
            if (after.st_ino, after.st_mtime_ns) != (written.st_ino, written.st_mtime_ns):
                raise h.E2eFailure("the close wrote the map although nothing changed after Ctrl+S")

    def ctrl_s_fails():
        with h.session(suite, "ctrlsfail", field, window_manager=True) as (display, voxel):
            os.remove(voxel.map_path)
            os.mkdir(voxel.map_path)
            voxel.stroke((100, 60), [1])
            display.key("ctrl+s")
            h.expect_save_error(voxel, oracle)
            voxel.frames_pass()
            os.rmdir(voxel.map_path)
            display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)], check=False)
            display.key("ctrl+s")
            h.poll(lambda: os.path.isfile(voxel.map_path), 10, "the retried Ctrl+S to save")
            if not voxel.main_window_shown():
                raise h.E2eFailure("the window closed on Ctrl+S")

    suite.check("close box saves the same bytes and exits 0; exact title", close_box)
    suite.check('"끝내기" saves the same bytes and exits 0', exit_button)
    suite.check("failed save keeps the window open and running; after the close box's the views "
                "work: frames, a second stroke, Save As keeps both", failed_save)
    suite.check("failed close, Quit without saving: exit 0, nothing written", ways_out("q"))
    suite.check("failed close by Alt+F4, Save As...: the field in the chosen file, exit 0",
                ways_out("s"))
    suite.check("a save that fails with nothing changed: the close box ends the program",
                failed_save_unchanged)
    suite.check("Ctrl+S (focus in a spin) writes the stroke with a .bak, the window stays; again "
                "writes nothing; the close saves the next stroke", ctrl_s)
    suite.check("Ctrl+S, then the close box: the close writes nothing", ctrl_s_then_close)
    suite.check("Ctrl+S that fails: the save's error box, the window stays; the next one saves",
                ctrl_s_fails)
    suite.finish()


if __name__ == "__main__":
    main()
