"""Nothing a user or the system does loses a map: two copies on one file, a reset saved over the
map, files of the wrong length, special files, a folder the user may not write, a map the user
may not write, and the temporaries of saves that were killed."""

import fcntl
import os
import stat
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402


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
                voxel.click_client(*h.EXIT_BTN)
                h.expect_save_error(voxel, oracle)
                mode = os.stat(voxel.map_path).st_mode
                if not (stat.S_ISFIFO(mode) if kind == "fifo" else stat.S_ISCHR(mode)):
                    raise h.E2eFailure(f"the {kind} was replaced")
                os.remove(voxel.map_path)
                voxel.exit_by_button()
                expect_file(voxel.map_path, zeros, "Map.Dat once the special file was gone")
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
