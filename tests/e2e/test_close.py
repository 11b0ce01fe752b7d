"""Closing saves the field and exits with code 0, by the close box and by "끝내기"; a save that
fails shows the error box and keeps the program open and running, and the next close saves."""

import os
import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402


def expect_clean_exit(voxel, field):
    voxel.expect_exit()
    saved = voxel.saved_map()
    if saved != field:
        changed = sum(a != b for a, b in zip(saved, field)) + abs(len(saved) - len(field))
        raise h.E2eFailure(f"saved file differs from the loaded one ({len(saved)} bytes, "
                           f"{changed} differ) although nothing was edited")


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
            # A folder in the file's place: the save cannot replace it.
            os.remove(voxel.map_path)
            os.mkdir(voxel.map_path)
            voxel.click_client(*h.EXIT_BTN)
            h.expect_save_error(voxel, oracle)
            # The views were not finalised: the rotating landscape keeps moving.
            voxel.frames_pass()
            voxel.click_close_box()
            h.expect_save_error(voxel, oracle)
            # The close request finalised the views; the program must go on without them.
            stays_alive(voxel)
            leftovers = sorted(set(os.listdir(voxel.folder)) - {"voxel", "voxel.log", "Map.Dat"})
            if leftovers or os.listdir(voxel.map_path):
                raise h.E2eFailure(f"failed saves left files behind: {leftovers}")
            os.rmdir(voxel.map_path)
            voxel.click_client(*h.EXIT_BTN)
            expect_clean_exit(voxel, field)

    suite.check("close box saves the same bytes and exits 0; exact title", close_box)
    suite.check('"끝내기" saves the same bytes and exits 0', exit_button)
    suite.check("failed save keeps the window open and running; the next close saves",
                failed_save)
    suite.finish()


if __name__ == "__main__":
    main()
