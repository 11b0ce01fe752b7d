"""Without a display, or with one nothing answers on, the launch script and the program each
say so in one line and exit 1, and the script builds nothing first; its --help needs none. A
window larger than the screen opens with its frame at the top-left corner, shrunk to the screen."""

import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def no_display_env(display=None):
    """The environment without a display, or with DISPLAY set to one given."""
    env = dict(os.environ)
    for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(key, None)
    if display:
        env["DISPLAY"] = display
    return env


UNREACHABLE = ":87"  # no X server there


def expect_one_line_failure(result, what):
    if result.returncode != 1:
        raise h.E2eFailure(f"{what} exited {result.returncode}, want 1")
    lines = [line for line in (result.stdout + result.stderr).decode(errors="replace")
             .splitlines() if line.strip()]
    if len(lines) != 1:
        raise h.E2eFailure(f"{what} printed {len(lines)} lines, want 1: {lines}")
    if "display" not in lines[0].lower():
        raise h.E2eFailure(f"{what} does not mention the display: {lines[0]!r}")


def main():
    suite = h.Suite("launch")

    def tree(label, build_fails=False):
        # A copy of the script in a tree whose set-up and build steps only leave a mark and say
        # a line on each stream, as the build tool does (the build also puts the program in
        # place, or fails).
        root = suite.folder(label)
        os.makedirs(os.path.join(root, "tools"))
        shutil.copy2(os.path.join(SOURCE, "tools", "launch.sh"), os.path.join(root, "tools"))
        for step in ("setup.sh", "build.sh"):
            with open(os.path.join(root, "tools", step), "w") as f:
                f.write(f'#!/usr/bin/env bash\ntouch "$(dirname "$0")/../ran-{step}"\n'
                        f'echo "{step}: no work to do."; echo "{step}: done" >&2\n')
                if step == "build.sh":
                    f.write("exit 3\n" if build_fails else
                            f'mkdir -p "$1" && cp "{os.path.abspath(suite.args.voxel)}" "$1"\n')
        return root

    def launch(root, display, *args):
        return subprocess.run(["bash", os.path.join(root, "tools", "launch.sh"), *args],
                              env=no_display_env(display), capture_output=True, timeout=60,
                              stdin=subprocess.DEVNULL)

    def script(display):
        root = tree(f"tree{display or ''}")
        before = sorted(os.listdir(root))
        result = launch(root, display)
        expect_one_line_failure(result, "tools/launch.sh")
        after = sorted(os.listdir(root))
        if after != before:
            raise h.E2eFailure(f"launch.sh did work before checking the display: {after}")

    def program(display):
        folder = suite.folder(f"app{display or ''}")
        exe = os.path.join(folder, "voxel")
        shutil.copy2(suite.args.voxel, exe)
        result = subprocess.run([exe], cwd=folder, env=no_display_env(display),
                                capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
        expect_one_line_failure(result, "voxel")
        if os.path.exists(os.path.join(folder, "Map.Dat")):
            raise h.E2eFailure("voxel wrote Map.Dat although it could not start")

    def too_large():
        # Twice 688 x 553 and a title bar do not fit 1280 x 1024.
        with h.session(suite, "toolarge", window_manager=True, start=False, scale=2,
                       screen=(1280, 1024)) as (display, voxel):
            voxel.launch()
            window = h.poll(voxel._find_main, 60, "the main window")
            frame = None

            def on_screen():  # every edge of the frame within 2 pixels inside the screen's
                nonlocal frame
                left, right, top, bottom = display.frame_extents(window) or (0, 0, 0, 0)
                x, y, width, height = display.geometry(window)
                frame = (x - left, y - top, x + width + right, y + height + bottom)
                return all(0 <= d <= 2 for d in (*frame[:2], 1280 - frame[2], 1024 - frame[3]))
            try:
                h.poll(on_screen, 20, "the frame")
            except h.E2eFailure:
                raise h.E2eFailure(f"frame from {frame[:2]} to {frame[2:]}, want the screen's "
                                   "(0, 0) to (1280, 1024)") from None
            voxel.origin = display.geometry(window)[:2]
            voxel.exit_by_button()

    suite.check("a window larger than the screen: frame at the top-left, shrunk to fit",
                too_large)

    def script_help():
        root = tree("treehelp")
        for args in (["--help"], ["--version"]):
            result = launch(root, None, *args)
            alone = subprocess.run([os.path.join(root, "build", "voxel"), *args],
                                   env=no_display_env(None), capture_output=True, timeout=60)
            if (result.returncode != 0 or result.stdout != alone.stdout or
                    not result.stdout.startswith(b"Usage: voxel" if args == ["--help"]
                                                 else b"voxel ")):
                raise h.E2eFailure(f"launch.sh {args[0]}: exit {result.returncode}, "
                                   f"{(result.stdout + result.stderr)[:300]!r}")
            if b"no work to do" in result.stderr or b"done" in result.stderr:
                raise h.E2eFailure(f"launch.sh {args[0]} let the build speak: {result.stderr!r}")
        if os.path.exists(os.path.join(root, "build", "Map.Dat")):
            raise h.E2eFailure("launch.sh --help made a map")
        failing = tree("treehelpfails", build_fails=True)
        result = launch(failing, None, "--help")
        if result.returncode == 0 or b"build.sh: done" not in result.stderr or result.stdout:
            raise h.E2eFailure(f"a failed build under --help: exit {result.returncode}, "
                               f"{(result.stdout + result.stderr)[:300]!r}")

    suite.check("tools/launch.sh --help and --version without a display: only the program's "
                "output, exit 0; a failed build is shown", script_help)
    def sample_map_options():
        tool = os.path.abspath(h.tool_path(suite.args.tools, "voxel-sample-map"))
        folder = suite.folder("samplemap")
        for args, code in ((["--help"], 0), (["-x"], 2), (["--", "a"], 2), ([], 2)):
            result = subprocess.run([tool, *args], cwd=folder, capture_output=True, timeout=60)
            if result.returncode != code or b"usage:" not in result.stdout + result.stderr:
                raise h.E2eFailure(f"voxel-sample-map {args}: exit {result.returncode}")
        if os.listdir(folder):
            raise h.E2eFailure(f"voxel-sample-map made {os.listdir(folder)}")

    suite.check("voxel-sample-map refuses options and writes nothing", sample_map_options)
    for display, what in ((None, "without a display"), (UNREACHABLE, f"on {UNREACHABLE}")):
        suite.check(f"tools/launch.sh {what}: one line, exit 1, nothing built",
                    lambda: script(display))
        suite.check(f"voxel {what}: one line, exit 1", lambda: program(display))
    suite.finish()


if __name__ == "__main__":
    main()
