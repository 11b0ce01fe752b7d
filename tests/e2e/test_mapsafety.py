"""Nothing a user or the system does loses a map: two copies on one file (one or both changed), a
reset saved over the map, files of the wrong length, a picture named as the map, special files,
a folder the user may not write, a map the user may not write, maps that cannot be saved (the
close ends when nothing changed; Save As keeps a change), and the temporaries of saves that
were killed."""

import fcntl
import os
import stat
import subprocess
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402


def read(path):
    with open(path, "rb") as f:
        return f.read()


def expect_file(path, want, what):
    got = read(path)
    if got != want:
        changed = sum(a != b for a, b in zip(got, want)) + abs(len(got) - len(want))
        raise h.E2eFailure(f"{what}: {len(got)} bytes, {changed} differ from what it should hold")


def press_reset(display, voxel):
    """One Space press: the focus starts on 초기화, so it clears the whole field."""
    display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)], check=False)
    display.key("space")


def main():
    suite = h.Suite("mapsafety")
    field = h.sample_map(suite.args.tools, suite.tmp)
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    zeros = bytes(h.MAP_BYTES)

    def two_copies():
        with h.session(suite, "twocopies", field, window_manager=True) as (display, a):
            b = h.Voxel(display, suite.args.voxel, folder=a.folder).start()
            # A on top, so its map shows and its button takes the click.
            display.run(["xdotool", "windowactivate", "--sync", str(a.window)], check=False)
            display.run(["xdotool", "windowraise", str(a.window)], check=False)
            a.stroke((160, 120), [1])
            a.exit_by_button()
            work_of_a = read(a.map_path)
            if work_of_a == field:
                raise h.E2eFailure("the stroke was not saved")
            b.exit_by_button()
            expect_file(a.map_path, work_of_a, "Map.Dat after the unchanged copy closed")

    def both_changed():
        """Both copies changed: the one closed last keeps the other's save as .other-1."""
        with h.session(suite, "bothchanged", field, window_manager=True) as (display, a):
            b = h.Voxel(display, suite.args.voxel, folder=a.folder).start()
            for voxel, point in ((a, (160, 120)), (b, (60, 60))):
                display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)],
                            check=False)
                display.run(["xdotool", "windowraise", str(voxel.window)], check=False)
                voxel.stroke(point, [1])
            display.run(["xdotool", "windowactivate", "--sync", str(a.window)], check=False)
            display.run(["xdotool", "windowraise", str(a.window)], check=False)
            a.exit_by_button()
            work_of_a = read(a.map_path)
            expect_strokes(oracle, field, work_of_a, (160, 120), RAISE)
            display.run(["xdotool", "windowactivate", "--sync", str(b.window)], check=False)
            b.exit_by_button()
            expect_strokes(oracle, field, read(b.map_path), (60, 60), RAISE)
            expect_file(a.map_path + ".other-1", work_of_a, "Map.Dat.other-1")
            said = [line for line in b.read_log().splitlines() if ".other-1" in line]
            if len(said) != 1:
                raise h.E2eFailure(f"want one line naming .other-1: {b.read_log()}")

    def not_a_map():
        """A picture, or any file that is not a map, named as MAP: refused at start, untouched."""
        folder = suite.folder("notamap")
        picture = os.path.join(folder, "hills.png")
        h.spawn(["convert", "-size", "64x48", "gradient:", picture]).wait(60)
        with open(picture, "rb") as f:
            before = f.read()
        result = subprocess.run([suite.args.voxel, picture], capture_output=True, timeout=30,
                                  stdin=subprocess.DEVNULL, env={"PATH": os.environ["PATH"]})
        lines = result.stderr.decode(errors="replace").splitlines()
        if (result.returncode != 2 or len(lines) != 1 or "not a map of 76,800 bytes" not in
                lines[0]):
            raise h.E2eFailure(f"exit {result.returncode}, stderr {lines}")
        expect_file(picture, before, "the picture")
        # A folder could never be saved: refused the same way.
        result = subprocess.run([suite.args.voxel, folder], capture_output=True, timeout=30,
                                stdin=subprocess.DEVNULL, env={"PATH": os.environ["PATH"]})
        lines = result.stderr.decode(errors="replace").splitlines()
        if result.returncode != 2 or len(lines) != 1 or "is a folder" not in lines[0]:
            raise h.E2eFailure(f"a folder: exit {result.returncode}, stderr {lines}")
        if sorted(os.listdir(folder)) != ["hills.png"]:
            raise h.E2eFailure(f"files made: {sorted(os.listdir(folder))}")

    def cannot_save(kind):
        """The map cannot be saved and nothing changed: one line at start, the close ends."""
        def body():
            with h.session(suite, f"cannot-{kind}", field, window_manager=True, start=False) as (
                    _, voxel):
                made = voxel.map_path
                if kind == "folder":
                    os.remove(voxel.map_path)
                    os.mkdir(voxel.map_path)
                elif kind == "missingfolder":
                    made = os.path.join(voxel.folder, "nowhere", "map.dat")
                    voxel.args = [made]
                elif kind in ("installed", "unreadable", "unseen"):
                    voxel.user = h.ordinary_user()
                    if voxel.user is None:
                        raise h.Skip("file modes hold for root only as another user")
                    for path in (suite.tmp, os.path.dirname(voxel.folder), voxel.folder):
                        os.chmod(path, 0o755)
                    if kind == "unreadable":
                        os.chmod(voxel.map_path, 0o600)  # root's: the user may not read it
                    else:
                        os.remove(voxel.map_path)
                if kind == "unseen":  # started from a menu: no terminal
                    voxel.stderr = "null"
                listing = sorted(os.listdir(voxel.folder))
                voxel.launch()
                if kind == "unreadable":  # the load's box comes first
                    voxel.dismiss_error_box(voxel.wait_error_box())
                voxel.attach()
                # Said in the window too, where it holds no frame.
                h.poll(voxel.notice_shown, 5, "a notice in the window")
                counted = voxel.screen_view().crop(0, 0, 150, 34).values565()
                h.poll(lambda: voxel.screen_view().crop(0, 0, 150, 34).values565() != counted,
                       10, "the frame counter to change after the notice")
                said = [line for line in voxel.read_log().splitlines()
                        if "cannot be written" in line]
                if len(said) != (kind != "unseen"):
                    raise h.E2eFailure(f"want one line that it cannot be written: "
                                       f"{voxel.read_log()}")
                voxel.click_client(*h.EXIT_BTN)
                voxel.expect_exit(timeout=10)
                now = sorted(set(os.listdir(voxel.folder)) - {"voxel.log"})
                if now != sorted(set(listing) - {"voxel.log"}) or kind == "missingfolder" and \
                        os.path.exists(os.path.dirname(made)):
                    raise h.E2eFailure(f"files made: {now}")
        return body

    def stderr_closed():
        """Started with standard error closed: a map that cannot be saved keeps its bytes and
        no warning lands in a file that took descriptor 2; a writable one saves a stroke."""
        with h.session(suite, "stderrclosed", field, window_manager=True, start=False) as (
                _, voxel):
            user = h.ordinary_user()
            if user is None:
                raise h.Skip("file modes hold for root only as another user")
            voxel.user = user
            for path in (suite.tmp, os.path.dirname(voxel.folder), voxel.folder):
                os.chmod(path, 0o755)
            os.chmod(voxel.map_path, 0o444)  # root's: the user may read it, not write it
            voxel.stderr = "closed"
            voxel.start()
            voxel.exit_by_button()
            expect_file(voxel.map_path, field, "the map that cannot be saved")
            if "voxel:" in voxel.read_log() or sorted(os.listdir(voxel.folder)) != [
                    "Map.Dat", "voxel", "voxel.log"]:
                raise h.E2eFailure(f"files: {sorted(os.listdir(voxel.folder))}, "
                                   f"log: {voxel.read_log()}")
            os.chown(voxel.map_path, user, -1)
            os.chmod(voxel.map_path, 0o644)
            os.chown(voxel.folder, user, -1)
            voxel.start()
            voxel.stroke((160, 120), [1])
            voxel.exit_by_button()
            saved = read(voxel.map_path)
            if len(saved) != h.MAP_BYTES:
                raise h.E2eFailure(f"the map holds {len(saved)} bytes")
            expect_strokes(oracle, field, saved, (160, 120), RAISE)

    def save_as():
        """A map in a folder that does not exist, stroked: the close fails, Save As keeps the
        field elsewhere, and 끝내기 then saves there and exits."""
        with h.session(suite, "saveas", window_manager=True, start=False) as (display, voxel):
            voxel.args = [os.path.join(voxel.folder, "nowhere", "map.dat")]
            voxel.start()
            voxel.stroke((160, 120), [1])
            voxel.click_client(*h.EXIT_BTN)
            box = voxel.wait_error_box()
            voxel.box_text(box, oracle, ("File not found.",))
            voxel.dismiss_error_box(box)
            chosen = os.path.join(suite.folder("saveas-chosen"), "kept.dat")
            voxel.save_as(chosen[:-len(".dat")])  # typed without a suffix: .dat is added
            saved = read(chosen)
            expect_strokes(oracle, zeros, saved, (160, 120), RAISE)
            voxel.stroke((60, 60), [1])
            voxel.exit_by_button()
            expect_strokes(oracle, saved, read(chosen), (60, 60), RAISE)
            expect_file(chosen + ".bak", saved, "the chosen file's .bak")

    def reset_then_close():
        """One Space clears the field and the close saves it; the map is in .bak. The
        same close clears a killed save's temporary but not one a live save holds."""
        with h.session(suite, "reset", field, window_manager=True, start=False) as (display, voxel):
            dead = os.path.join(voxel.folder, "Map.Dat.saving-dead01")
            live = os.path.join(voxel.folder, "Map.Dat.saving-live01")
            for path in (dead, live):
                with open(path, "wb") as f:
                    f.write(b"partial")
            holder = open(live, "rb")
            fcntl.flock(holder, fcntl.LOCK_EX)
            voxel.start()
            press_reset(display, voxel)
            voxel.exit_by_button()  # taken after the key: X keeps their order
            holder.close()
            expect_file(voxel.map_path, zeros, "Map.Dat after the reset")
            expect_file(voxel.map_path + ".bak", field, "Map.Dat.bak")
            if os.path.exists(dead) or not os.path.exists(live):
                raise h.E2eFailure("the stale temporary should go and the locked one stay")

    def wrong_length(length, through_link):
        def body():
            label = f"length{length}{'link' if through_link else ''}"
            with h.session(suite, label, start=False) as (_, voxel):
                target = voxel.map_path
                if through_link:
                    data = os.path.join(voxel.folder, "data")
                    os.mkdir(data)
                    target = os.path.join(data, "terrain.bin")
                    os.symlink("data/terrain.bin", voxel.map_path)
                with open(target, "wb") as f:
                    f.write(field[:min(length, len(field))])
                os.truncate(target, length)  # a large one stays sparse
                voxel.start()
                voxel.exit_by_button()
                kept = os.stat(target + ".unread")
                if kept.st_size != length:
                    raise h.E2eFailure(f".unread holds {kept.st_size} bytes, want {length}")
                expect_file(target, zeros, "the map file after the close")
        return body

    def special_file(kind):
        def body():
            with h.session(suite, f"special-{kind}", window_manager=True, start=False) as (
                    _, voxel):
                if kind == "fifo":
                    os.mkfifo(voxel.map_path)
                elif os.geteuid() == 0:
                    # A node of our own like /dev/null: a program that replaced it must not
                    # damage the machine's.
                    device = os.path.join(voxel.folder, "null")
                    os.mknod(device, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
                    os.symlink(device, voxel.map_path)
                else:
                    os.symlink("/dev/null", voxel.map_path)
                voxel.start()
                voxel.stroke((160, 120), [1])  # something to lose: the close must not end
                voxel.click_client(*h.EXIT_BTN)
                h.expect_save_error(voxel, oracle)
                mode = os.stat(voxel.map_path).st_mode
                if not (stat.S_ISFIFO(mode) if kind == "fifo" else stat.S_ISCHR(mode)):
                    raise h.E2eFailure(f"the {kind} was replaced")
                os.remove(voxel.map_path)
                voxel.exit_by_button()
                expect_strokes(oracle, zeros, voxel.saved_map(), (160, 120), RAISE)
        return body

    def locked_folder():
        """A folder the user may not write, holding a map the user may: saved in place."""
        nobody = 65534
        with h.session(suite, "lockedfolder", field, window_manager=True, start=False) as (
                display, voxel):
            voxel.user = nobody
            for path in (suite.tmp, os.path.dirname(voxel.folder), voxel.folder):
                os.chmod(path, 0o755)  # root's: the user may enter but not add files
            os.chown(voxel.map_path, nobody, nobody)
            inode = os.stat(voxel.map_path).st_ino
            voxel.start()
            press_reset(display, voxel)
            voxel.exit_by_button()
            expect_file(voxel.map_path, zeros, "Map.Dat saved in place")
            if os.stat(voxel.map_path).st_ino != inode:
                raise h.E2eFailure("the file was replaced, not written in place")
            if "Map.Dat.bak" not in voxel.read_log():
                raise h.E2eFailure(f"no line about the .bak it could not keep: {voxel.read_log()}")

    def read_only():
        """A map the user may read but not write loads with one line saying so; a changed field
        fails to save and the window stays; undone, the close writes nothing and exits."""
        with h.session(suite, "readonly", field, window_manager=True, start=False) as (
                display, voxel):
            voxel.user = h.ordinary_user()
            for path in (suite.tmp, os.path.dirname(voxel.folder), voxel.folder):
                os.chmod(path, 0o755)
            if voxel.user is not None:
                os.chown(voxel.map_path, voxel.user, -1)
            os.chmod(voxel.map_path, 0o444)
            voxel.launch()
            h.poll(lambda: voxel.error_boxes() or voxel._find_main(), 60, "a window")
            if voxel.error_boxes():
                raise h.E2eFailure("an error box at start: the map did not load")
            voxel.attach()
            said = [line for line in voxel.read_log().splitlines() if "cannot be saved" in line]
            if len(said) != 1:
                raise h.E2eFailure(f"{len(said)} lines say changes cannot be saved, want 1")
            voxel.stroke((160, 120), [1])
            stroked = voxel.map_view().values565()
            voxel.click_client(*h.EXIT_BTN)
            box = h.expect_save_error(voxel, oracle, dismiss=False)
            if voxel.box_text(box, oracle, h.SAVE_ERRORS) != "File access denied.":
                raise h.E2eFailure("the box does not say File access denied.")
            voxel.dismiss_error_box(box)
            display.key("ctrl+z")
            h.poll(lambda: voxel.map_view().values565() != stroked, 10, "the undo")
            voxel.exit_by_button()
            expect_file(voxel.map_path, field, "the read-only map")
            if sorted(os.listdir(voxel.folder)) != ["Map.Dat", "voxel", "voxel.log"]:
                raise h.E2eFailure(f"files beside the map: {sorted(os.listdir(voxel.folder))}")

    suite.check("two copies: the unchanged one leaves the other's saved work", two_copies)
    suite.check("both copies changed: the last close keeps the other's save as .other-1",
                both_changed)
    suite.check("a picture or a folder named as MAP: exit 2 with one line, nothing touched",
                not_a_map)
    for kind in ("folder", "missingfolder", "installed", "unreadable", "unseen"):
        suite.check(f"cannot be saved ({kind}), nothing changed: one line at start, the close "
                    "ends", cannot_save(kind))
    suite.check("a map in a missing folder, stroked: Save As keeps it, then the close saves "
                "there", save_as)
    suite.check("standard error closed: no warning lands in a file; a stroke is saved",
                stderr_closed)
    suite.check("a reset saved over the map leaves it in .bak; stale temporaries go",
                reset_then_close)
    suite.check("76,799 bytes: kept as .unread", wrong_length(h.MAP_BYTES - 1, False))
    suite.check("20 MB: kept as .unread", wrong_length(20 * 1024 * 1024, False))
    suite.check("4 GB sparse through a link: kept beside the target",
                wrong_length(4 * 1024 * 1024 * 1024, True))
    suite.check("a FIFO in the map's place is never replaced", special_file("fifo"))
    suite.check("a link to a device is never replaced", special_file("device"))
    suite.check("a map the user may not write loads; only a change fails to save", read_only)
    if os.geteuid() == 0:
        suite.check("a folder the user may not write: the map is saved in place", locked_folder)
    suite.finish()


if __name__ == "__main__":
    main()
