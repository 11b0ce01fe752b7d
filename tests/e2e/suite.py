"""Running the checks of one script: each isolated, with its own display and program, and the
summary line."""

import argparse
import atexit
import os
import shutil
import sys
import tempfile
import time
import traceback

from display import Display
from processes import end_all_processes
from program import Voxel
from waits import E2eFailure, Skip

# VOXEL_E2E_FULL=1 runs every case at every display depth; otherwise the tests run the cases a
# second depth adds nothing to at the first depth only.
FULL_MATRIX = os.environ.get("VOXEL_E2E_FULL") == "1"


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--voxel", required=True, help="the built program")
    parser.add_argument("--tools", required=True, help="the build folder with the helper tools")
    return parser.parse_args()


class Suite:
    """Runs named checks, each isolated, and prints the summary line."""

    def __init__(self, name):
        self.name = name
        self.passed = 0
        self.failed = 0
        self.args = parse_args()
        self.tmp = tempfile.mkdtemp(prefix=f"voxel-e2e-{name}-")
        atexit.register(shutil.rmtree, self.tmp, True)

    def folder(self, label):
        path = os.path.join(self.tmp, label)
        os.makedirs(path, exist_ok=True)
        return path

    def check(self, label, body):
        only = os.environ.get("VOXEL_E2E_ONLY")  # runs only the checks whose label holds it
        if only and only not in label:
            return
        start = time.monotonic()
        try:
            body()
        except Skip as why:
            print(f"skip {label}: {why}", flush=True)
        except Exception as error:  # every failure is reported, the next check still runs
            self.failed += 1
            print(f"FAIL {label} ({time.monotonic() - start:.1f} s): {error}", flush=True)
            if not isinstance(error, E2eFailure):
                traceback.print_exc()
        else:
            self.passed += 1
            print(f"ok   {label} ({time.monotonic() - start:.1f} s)", flush=True)
        finally:
            end_all_processes()

    def finish(self):
        end_all_processes()
        print(f"{self.passed} passed, {self.failed} failed", flush=True)
        sys.exit(0 if self.failed == 0 else 1)


class session:
    """with session(suite, label, ...) as (display, voxel): a display and a started program,
    both ended on leaving."""

    def __init__(self, suite, label, map_bytes=None, depth=24, window_manager=False,
                 start=True, scale=1, screen=None, args=()):
        self.suite, self.label, self.map_bytes = suite, label, map_bytes
        self.args = args
        self.depth, self.window_manager, self.start = depth, window_manager, start
        self.scale = scale  # the program's QT_SCALE_FACTOR
        # By default a screen that holds the window and its frame at the scale.
        self.screen = screen or ((1280, 1024) if scale == 1 else (2048, 1536))

    def __enter__(self):
        folder = self.suite.folder(self.label)
        self.display = Display(self.depth, self.window_manager, size=self.screen,
                               workdir=os.path.join(folder, "x"))
        if self.scale != 1:
            self.display.env["QT_SCALE_FACTOR"] = str(self.scale)
        # The pointer starts away from the window, where nothing happens.
        self.display.move(5, 5)
        self.voxel = Voxel(self.display, self.suite.args.voxel, self.map_bytes,
                           os.path.join(folder, "app"), scale=self.scale, args=self.args)
        if self.start:
            self.voxel.start()
        return self.display, self.voxel

    def __exit__(self, *exc):
        self.voxel.stop()
        self.display.close()
        return False
