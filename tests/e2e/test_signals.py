"""SIGTERM, SIGHUP and SIGINT close the program as "끝내기" does: the edited field is saved and
the exit code is 0. An open error box is closed first. When the save fails its box shows and
a second signal ends the program with 128 + its number, writing nothing. A lost display saves
the edited field and says so in one line."""

import os
import signal
import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

POINT = (120, 100)  # map pixel of every stroke
RAISE, GAUSSIAN, RADIUS, DIVISOR = 1, 1, 50, 1  # the left button's brush at start-up


def expect_edited(oracle, field, voxel):
    """Map.Dat holds the loaded field with the stroke applied, not the loaded field."""
    saved = voxel.saved_map()
    if saved == field:
        raise h.E2eFailure("Map.Dat holds the loaded field: the edit was lost")
    k, text = oracle.match(field, saved, *POINT, RADIUS, DIVISOR, RAISE, GAUSSIAN)
    if k is None:
        raise h.E2eFailure(f"Map.Dat is not the edited field: {text}")


def expect_exit(voxel, want):
    code = voxel.wait_exit()
    if code != want:
        raise h.E2eFailure(f"exit code {code}, want {want}; log: {voxel.read_log()}")
    if "display connection was lost" in voxel.read_log():
        raise h.E2eFailure("the exit handler of a lost display ran on an ordinary exit")


def make_map_a_folder(voxel):
    """A folder in the file's place: every save fails and leaves it alone."""
    os.remove(voxel.map_path)
    os.mkdir(voxel.map_path)


def main():
    suite = h.Suite("signals")
    field = h.noise_map(0, 60, seed=3)
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))

    def close_by(signo):
        def body():
            label = signal.Signals(signo).name.lower()
            with h.session(suite, label, field, window_manager=True) as (_, voxel):
                voxel.stroke(POINT, [1])
                os.kill(voxel.proc.pid, signo)
                expect_exit(voxel, 0)
                expect_edited(oracle, field, voxel)
        return body

    def failed_then_second():
        with h.session(suite, "failed", field, window_manager=True) as (_, voxel):
            voxel.stroke(POINT, [1])
            make_map_a_folder(voxel)
            os.kill(voxel.proc.pid, signal.SIGTERM)
            h.expect_save_error(voxel, oracle, dismiss=False)
            time.sleep(0.5)
            voxel.check_running()
            os.kill(voxel.proc.pid, signal.SIGHUP)
            expect_exit(voxel, 128 + signal.SIGHUP)
            leftovers = sorted(set(os.listdir(voxel.folder)) - {"voxel", "voxel.log", "Map.Dat"})
            if leftovers or os.listdir(voxel.map_path):
                raise h.E2eFailure(f"the ended program left files behind: {leftovers}")

    def box_open():
        with h.session(suite, "boxopen", field, window_manager=True) as (_, voxel):
            voxel.stroke(POINT, [1])
            make_map_a_folder(voxel)
            voxel.click_client(*h.EXIT_BTN)
            h.expect_save_error(voxel, oracle, dismiss=False)
            os.rmdir(voxel.map_path)
            os.kill(voxel.proc.pid, signal.SIGINT)
            expect_exit(voxel, 0)
            expect_edited(oracle, field, voxel)

    def display_lost():
        with h.session(suite, "lost", field) as (display, voxel):
            voxel.stroke(POINT, [1])
            display.server.kill()
            code = voxel.wait_exit()
            if code == 0 or code < 0:
                raise h.E2eFailure(f"exit code {code} after the display went away")
            expect_edited(oracle, field, voxel)
            want = (f"voxel: the display connection was lost; the map was saved to "
                    f"{os.path.realpath(voxel.map_path)}.")
            lines = voxel.read_log().splitlines()
            if lines.count(want) != 1 or any(line.startswith("voxel:") and line != want
                                             for line in lines):
                raise h.E2eFailure(f"want the one line {want!r} in the log: {lines}")

    for signo in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        suite.check(f"{signal.Signals(signo).name} saves the edited field and exits 0",
                    close_by(signo))
    suite.check("a failed save shows its box; a second signal ends it with 128 + its number",
                failed_then_second)
    suite.check("a signal closes an open error box, then saves and exits 0", box_open)
    suite.check("a lost display saves the edited field and says so in one line", display_lost)
    suite.finish()


if __name__ == "__main__":
    main()
