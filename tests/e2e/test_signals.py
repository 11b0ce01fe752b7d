"""SIGTERM, SIGHUP and SIGINT close the program as "끝내기" does (the edited field saved, exit
0), an open error box first; after a failed save (its plain box) a second signal ends it with
128 + its number and says the changes were not saved.
A lost display saves the edited field and says so in one line."""

import os
import signal
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

POINT = (120, 100)  # map pixel of the stroke: the left button's Gaussian, radius 50, divisor 1


def main():
    suite = h.Suite("signals")
    field = h.noise_map(0, 60, seed=3)
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))

    def expect_edited(voxel, exit_code=0):
        voxel.wait_exit() if exit_code is None else voxel.expect_exit(exit_code)
        k, text = oracle.match(field, voxel.saved_map(), *POINT, 50, 1, 1, 1)
        if k is None:
            raise h.E2eFailure(f"Map.Dat is not the edited field: {text}; exit "
                               f"{voxel.proc.returncode}, log: {voxel.read_log()!r}")

    def edit(voxel, failing=False):
        """A stroke; with failing, Map.Dat becomes a folder, which no save replaces."""
        voxel.stroke(POINT, [1])
        if failing:
            os.remove(voxel.map_path)
            os.mkdir(voxel.map_path)

    def close_by(signo):
        with h.session(suite, signal.Signals(signo).name, field, window_manager=True) as (_, voxel):
            edit(voxel)
            os.kill(voxel.proc.pid, signo)
            expect_edited(voxel)
            if "voxel:" in voxel.read_log():
                raise h.E2eFailure(f"an ordinary exit said more: {voxel.read_log()}")

    def failed_then_second():
        with h.session(suite, "failed", field, window_manager=True) as (_, voxel):
            edit(voxel, failing=True)
            os.kill(voxel.proc.pid, signal.SIGTERM)
            h.expect_save_error(voxel, oracle, dismiss=False)
            os.kill(voxel.proc.pid, signal.SIGHUP)
            voxel.expect_exit(128 + signal.SIGHUP)
            left = sorted(set(os.listdir(voxel.folder)) - {"voxel", "voxel.log", "Map.Dat"})
            if left or os.listdir(voxel.map_path):
                raise h.E2eFailure(f"the ended program wrote files: {left}")
            want = ("voxel: ended by a second signal; the changes were not saved to "
                    f"{voxel.map_path}.")
            if want not in voxel.read_log().splitlines():
                raise h.E2eFailure(f"want {want!r} on standard error: {voxel.read_log()!r}")

    def box_open():
        with h.session(suite, "boxopen", field, window_manager=True) as (_, voxel):
            edit(voxel, failing=True)
            voxel.click_client(*h.EXIT_BTN)
            h.expect_save_error(voxel, oracle, dismiss=False)
            os.rmdir(voxel.map_path)
            os.kill(voxel.proc.pid, signal.SIGINT)
            expect_edited(voxel)

    def display_lost():
        with h.session(suite, "lost", field) as (display, voxel):
            edit(voxel)
            display.server.kill()
            expect_edited(voxel, exit_code=None)
            want = ("voxel: the display connection was lost; the map was saved to "
                    f"{os.path.realpath(voxel.map_path)}.")
            said = [line for line in voxel.read_log().splitlines() if line.startswith("voxel:")]
            if said != [want] or voxel.proc.returncode <= 0:
                raise h.E2eFailure(f"exit {voxel.proc.returncode}, said {said}, want {want!r}")

    def killed():
        with h.session(suite, "killed", field) as (_, voxel):
            # The views' shared segments are the program's (two per view) while it runs, and
            # go with it even when it cannot clean up.
            def segments():
                with open("/proc/sysvipc/shm") as f:
                    return sum(1 for line in f.readlines()[1:]
                               if int(line.split()[4]) == voxel.proc.pid)
            if segments() < 4:
                raise h.E2eFailure(f"{segments()} shared segments made by the running program")
            os.kill(voxel.proc.pid, signal.SIGKILL)
            voxel.proc.wait(10)
            h.poll(lambda: segments() == 0, 10, "the killed program's segments to go")

    for signo in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        suite.check(f"{signal.Signals(signo).name} saves the edited field and exits 0",
                    lambda signo=signo: close_by(signo))
    suite.check("a failed save shows its box; a second signal ends it with 128 + its number",
                failed_then_second)
    suite.check("a signal closes an open error box, then saves and exits 0", box_open)
    suite.check("a lost display saves the edited field and says so in one line", display_lost)
    suite.check("a killed program leaves no shared memory behind", killed)
    suite.finish()


if __name__ == "__main__":
    main()
