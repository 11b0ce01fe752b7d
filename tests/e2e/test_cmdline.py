"""The command line: --help, --version and mistakes need no display; MAP is the file edited and
saved (any bytes for a name, created when missing by a save that has a change to keep) while Map.Dat beside the program stays as it
was; the toolkit's own options still reach it; --fps 60 shows about 60 on the counter and uses
little of a processor. Installed (cmake --install into a DESTDIR) and started by its desktop
entry's Exec line, the program keeps its map in the user's data folder, where its first start
puts the sample landscape, and nothing beside itself."""

import os
import re
import signal
import stat
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_launch import no_display_env  # noqa: E402
from test_render import expect_angles  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402

OPTIONS = ("MAP", "--fps N", "--tools", "--seed N", "--help", "--version", "--")
MISTAKES = (["--bogus"], ["-x"], ["--fps", "0"], ["--fps", "1001"], ["--fps", "6x"],
            ["--fps=-5"], ["--fps"], ["one.dat", "two.dat"], [""], ["--seed", "7"],
            ["--tools", "--seed", "4294967296"], ["-visual", "-platform"])


def run_bare(exe, args, folder):
    return subprocess.run([exe, *args], cwd=folder, env=no_display_env(), capture_output=True,
                          timeout=30, stdin=subprocess.DEVNULL)


def main():
    suite = h.Suite("cmdline")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.noise_map(0, 60, seed=8)
    other = h.noise_map(0, 60, seed=9)

    def no_display():
        folder = suite.folder("bare")
        exe = os.path.join(folder, "voxel")
        subprocess.run(["cp", suite.args.voxel, exe], check=True)
        usage = run_bare(exe, ["--help"], folder)
        text = usage.stdout.decode()
        if usage.returncode != 0 or usage.stderr:
            raise h.E2eFailure(f"--help exited {usage.returncode}, stderr {usage.stderr!r}")
        lines = text.splitlines()
        firsts = [line.split()[0].rstrip(",") for line in lines[1:] if line.strip()]
        missing = [o for o in OPTIONS if firsts.count(o.split()[0]) != 1]
        if missing:
            raise h.E2eFailure(f"--help has no line of its own for {missing}: {text}")
        version = run_bare(exe, ["--version"], folder)
        if version.returncode != 0 or not re.fullmatch(rb"voxel \d+\.\d+\.\d+\n", version.stdout):
            raise h.E2eFailure(f"--version gave {version.returncode}, {version.stdout!r}")
        for args in MISTAKES:
            result = run_bare(exe, args, folder)
            err = result.stderr.decode()
            first, _, rest = err.partition("\n")
            if (result.returncode != 2 or result.stdout or not first.startswith("voxel: ")
                    or rest != text):
                raise h.E2eFailure(f"{args}: exit {result.returncode}, stdout "
                                   f"{result.stdout!r}, stderr {err!r}")
            print(f"     {args}: {first}", flush=True)
        if sorted(os.listdir(folder)) != ["voxel"]:
            raise h.E2eFailure(f"files made: {os.listdir(folder)}")

    def map_argument():
        elsewhere = suite.folder("elsewhere")
        # Not UTF-8, and given after the toolkit's own option and the end of the options.
        name = os.path.join(os.fsencode(elsewhere), b"-terrain-\xff.dat")
        with open(name, "wb") as f:
            f.write(other)
        with h.session(suite, "mapfile", field, start=False) as (display, voxel):
            # The display named by the toolkit's option alone.
            voxel.env = {k: v for k, v in display.env.items() if k != "DISPLAY"}
            voxel.args = ["-display", display.name, "--", name]
            voxel.start()
            beside = os.stat(voxel.map_path)
            voxel.stroke((150, 90), [1])
            voxel.exit_by_button()
            with open(name, "rb") as f:
                expect_strokes(oracle, other, f.read(), (150, 90), RAISE)
            with open(name + b".bak", "rb") as f:
                if f.read() != other:
                    raise h.E2eFailure("the file's .bak is not the map it replaced")
            after = os.stat(voxel.map_path)
            if voxel.saved_map() != field or (after.st_ino, after.st_mtime_ns) != (
                    beside.st_ino, beside.st_mtime_ns):
                raise h.E2eFailure("Map.Dat beside the program was written")
            if any(n.startswith("Map.Dat.") for n in os.listdir(voxel.folder)):
                raise h.E2eFailure(f"files beside Map.Dat: {os.listdir(voxel.folder)}")

    def missing_map():
        # A name without a folder: in the folder the program was started from, its own. Closed
        # unchanged, it is not made: a mistyped name leaves no file behind.
        with h.session(suite, "typo", field, args=["new.dat"]) as (_, voxel):
            voxel.exit_by_button()
            if os.path.exists(os.path.join(voxel.folder, "new.dat")):
                raise h.E2eFailure("a close with nothing changed made the missing map")
        with h.session(suite, "newmap", field, args=["new.dat"]) as (_, voxel):
            name = os.path.join(voxel.folder, "new.dat")
            if os.path.exists(name):
                raise h.E2eFailure("the missing map was made before any save")
            voxel.stroke((40, 200), [1])
            voxel.exit_by_button()
            with open(name, "rb") as f:
                expect_strokes(oracle, bytes(h.MAP_BYTES), f.read(), (40, 200), RAISE)
            if voxel.saved_map() != field:
                raise h.E2eFailure("Map.Dat beside the program was written")

    def frame_cap():
        # A flat lowest field leaves the counter on a dark ground, where it can be read.
        with h.session(suite, "fps", bytes(h.MAP_BYTES), args=["--fps", "60"]) as (_, voxel):
            oracle.counter_masks(voxel.display.env)
            # A loaded machine's other work must not pass for the pacing's fault.
            if not (h.favour(voxel.proc.pid) and h.favour(voxel.display.server.pid)):
                print("     the program and its X server run at the usual priority", flush=True)
            h.poll(lambda: time.monotonic() - voxel.spawned_at >= 2.5, 10, "2.5 s")
            readings = []
            cpu, start = voxel.cpu_seconds(), time.monotonic()
            while time.monotonic() - start < 3:
                readings.append(voxel.counter_reading(oracle))
                time.sleep(0.4)
            share = (voxel.cpu_seconds() - cpu) / (time.monotonic() - start)
            print(f"     counter {readings}, {share:.1%} of a core", flush=True)
            read = [r for r in readings if r is not None]
            if len(read) < 3 or not all(50 <= r <= 62 for r in read):
                raise h.E2eFailure(f"counter read {readings}, want 50 ... 62")
            if share > 0.2:
                raise h.E2eFailure(f"{share:.1%} of a core, want at most a fifth")
            # Input and signals are served while the loop sleeps between ticks.
            voxel.stroke((160, 120), [1])
            stopped = time.monotonic()
            os.kill(voxel.proc.pid, signal.SIGTERM)
            voxel.expect_exit()
            if time.monotonic() - stopped > 1:
                raise h.E2eFailure(f"SIGTERM took {time.monotonic() - stopped:.1f} s")
            expect_strokes(oracle, bytes(h.MAP_BYTES), voxel.saved_map(), (160, 120), RAISE)

    def installed():
        dest, prefix = suite.folder("dest"), "/opt/voxel e2e"  # a space the entry must quote
        subprocess.run(["cmake", "--install", suite.args.tools, "--prefix", prefix],
                       env={**os.environ, "DESTDIR": dest}, check=True, capture_output=True,
                       timeout=120)
        root = dest + prefix
        with open(os.path.join(root, "share", "applications", "org.voxelauthors.Voxel.desktop"),
                  encoding="utf-8") as f:
            exec_line = re.search(r"^Exec=(.*)$", f.read(), re.M).group(1)
        if exec_line != f'"{prefix}/bin/voxel" --fps 60':
            raise h.E2eFailure(f"the entry's Exec line is {exec_line!r}")
        installed_files = sorted(os.path.join(d, n) for d, _, ns in os.walk(dest) for n in ns)
        home = suite.folder("home")
        env = {k: v for k, v in os.environ.items() if k != "XDG_DATA_HOME"}
        usage = subprocess.run([root + "/bin/voxel", "--help"], env={**env, "HOME": home},
                               capture_output=True, timeout=30)
        data = os.path.join(home, ".local", "share", "voxel")
        if f"map is {data}/Map.Dat".encode() not in usage.stdout or os.listdir(home):
            raise h.E2eFailure(f"--help of the installed program: {usage.stdout[-200:]!r}, "
                               f"files made: {os.listdir(home)}")
        sample = h.sample_map(suite.args.tools, suite.tmp)
        stroked = None
        for run in ("first", "second"):
            with h.session(suite, f"installed-{run}", start=False) as (display, voxel):
                voxel.exe, voxel.args = root + "/bin/voxel", ["--fps", "60"]
                voxel.env = {**{k: v for k, v in display.env.items() if k != "XDG_DATA_HOME"},
                             "HOME": home}
                voxel.map_path = os.path.join(data, "Map.Dat")
                voxel.start()
                expect_angles(oracle, voxel, stroked or sample, [30])
                if stroked is None:
                    voxel.stroke((200, 60), [1])
                voxel.exit_by_button()
                if stroked is None:
                    stroked = voxel.saved_map()
                    expect_strokes(oracle, sample, stroked, (200, 60), RAISE)
        with open(os.path.join(data, "Map.Dat.bak"), "rb") as f:
            if f.read() != sample:
                raise h.E2eFailure("Map.Dat.bak is not the sample landscape the stroke replaced")
        if sorted(os.path.join(d, n) for d, _, ns in os.walk(dest) for n in ns) != \
                installed_files:
            raise h.E2eFailure("the program wrote into its installed folders")
        if stat.S_IMODE(os.stat(data).st_mode) != 0o700:
            raise h.E2eFailure(f"the data folder has mode {os.stat(data).st_mode:o}")

    suite.check("--help, --version and mistakes (exit 2, one line and the usage) without a "
                "display", no_display)
    suite.check("MAP (not UTF-8, after -display NAME and --) is edited with its .bak; Map.Dat "
                "beside the program untouched", map_argument)
    suite.check("a missing MAP, named without a folder: an unchanged close leaves no file, a "
                "stroke's close makes it", missing_map)
    suite.check("installed under a DESTDIR, started by its entry's Exec line: the sample "
                "landscape, a stroke kept in the user's data folder and shown at the next start; "
                "nothing written beside the program", installed)
    suite.check("--fps 60: the counter reads 50 ... 62, at most a fifth of a core; a stroke and "
                "SIGTERM served at once", frame_cap)
    suite.finish()


if __name__ == "__main__":
    main()
