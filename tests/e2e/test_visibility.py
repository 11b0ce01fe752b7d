"""A press aimed at another window never edits the map: with another client's window over the
map view, or with the program minimised, a held left button changes nothing on disk; nor does a
drag that begins over the other window, carried over the visible map. At a display scale
of 2 or 1.5 the brush centres on the cell drawn under the cursor's device pixel, also on the
right or lower part of a cell's block. All under openbox at depth 24; the covered and minimised
cases also at depth 16 (every case with VOXEL_E2E_FULL=1). A window manager or compositor may
keep a minimised window mapped under the pointer: without openbox, the window only marked
iconic, a held button edits nothing either. A window moved without a word to the program (its
window reparented into another client's, which is then moved, as a frame a window manager
moves without the synthetic notice) edits where the cursor is. A click on the OK of our own
error box standing over the map edits nothing."""

import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402
from test_stroke import RAISE, expect_strokes  # noqa: E402

COVERED = (80, 120)  # map pixel under the covering window
VISIBLE = (250, 120)  # map pixel beside it, more than two brush radii away
CELL = (120, 100)  # map pixel aimed at by its block's last device pixel when scaled


def cover_map(voxel):
    """Puts another client's window over the left part of the map view (not the panel)."""
    left, top = voxel.map_point(-30, -10)
    right, bottom = voxel.map_point(170, 230)
    x, y, width, height = voxel.display.cover(left, top, right - left, bottom - top)

    def covered(point):
        px, py = voxel.map_point(*point)
        return x <= px < x + width and y <= py < y + height

    if not covered(COVERED) or covered(VISIBLE):
        raise h.E2eFailure(f"the covering window at {x},{y} {width}x{height} missed its place")


def hold_left(voxel, point, seconds=0.5, carry_to=None):
    """Holds the left button at a root position for a while (carried to another one for a few
    frames when given), then parks the cursor."""
    display = voxel.display
    display.move(*point)
    display.button_down(1)
    try:
        time.sleep(seconds)
        voxel.check_running()
        if carry_to:
            display.move(*carry_to)
            voxel.frames_pass(count=3)
    finally:
        display.button_up(1)
    display.move(*voxel.root(*h.PARK))


def close_unchanged(voxel, field):
    voxel.exit_by_button()
    if voxel.saved_map() != field:
        changed = sum(a != b for a, b in zip(field, voxel.saved_map()))
        raise h.E2eFailure(f"{changed} cells changed by a press meant for no map")


def covered_case(suite, field, depth):
    def body():
        with h.session(suite, f"covered-{depth}", field, depth, window_manager=True) as (
                _, voxel):
            cover_map(voxel)
            hold_left(voxel, voxel.map_point(*COVERED))
            voxel.frames_pass(count=3)  # the program ticked on meanwhile
            close_unchanged(voxel, field)
    return body


def minimised_case(suite, field, depth):
    def body():
        with h.session(suite, f"minimised-{depth}", field, depth, window_manager=True) as (
                display, voxel):
            display.xdotool("windowminimize", "--sync", voxel.window)
            hold_left(voxel, voxel.map_point(*COVERED))
            display.xdotool("windowactivate", "--sync", voxel.window)
            h.poll(voxel.main_window_shown, 10, "the window shown again")
            voxel.frames_pass(count=3)
            close_unchanged(voxel, field)
    return body


def iconic_case(suite, field, depth):
    def body():
        with h.session(suite, f"iconic-{depth}", field, depth) as (display, voxel):
            display.set_wm_state(voxel.window, 3)
            voxel.frames_pass(count=2)  # the state change has reached the program
            hold_left(voxel, voxel.map_point(*COVERED))
            close_unchanged(voxel, field)
    return body


def drag_case(suite, field, depth):
    """Pressed over the other window, held, carried over the visible map: the press is the
    other program's, so the map only shows the footprint."""
    def body():
        with h.session(suite, f"drag-{depth}", field, depth, window_manager=True) as (
                _, voxel):
            cover_map(voxel)
            hold_left(voxel, voxel.map_point(*COVERED), 0.3, voxel.map_point(*VISIBLE))
            if not any(voxel.map_view().crop(VISIBLE[0] - 2, VISIBLE[1] - 2, 5, 5).values565()):
                raise h.E2eFailure("the cursor over the visible map was not seen")
            close_unchanged(voxel, field)
    return body


def scaled_case(suite, oracle, field, depth, scale):
    """Just left of and above the map, and just right of its extra column, nothing is edited;
    the last device pixel of a cell's block edits that cell."""
    def body():
        with h.session(suite, f"scale-{scale}-{depth}", field, depth, window_manager=True,
                       scale=scale) as (_, voxel):
            x, y = voxel.map_point(0, 0)
            hold_left(voxel, (x - 1, y - 1), 0.3)
            hold_left(voxel, voxel.map_point(321, 120), 0.3)
            voxel.stroke(CELL, [1], last=True)
            # The raised disc shows where its cells are drawn, 30 cells either side of its
            # centre too (a partial update put at its unscaled place would leave them black).
            for cell in ((CELL[0] - 30, CELL[1]), (CELL[0] + 30, CELL[1])):
                if not any(voxel.display.grab(*voxel.map_point(*cell), 1, 1).values565()):
                    raise h.E2eFailure(f"the raised cell {cell} is not drawn at its place")
            voxel.exit_by_button()
            expect_strokes(oracle, field, voxel.saved_map(), CELL, RAISE)
    return body


def reparented_case(suite, oracle, field, args):
    """No window manager: the program's window becomes a child of another client's window,
    which then moves; the program hears nothing of it. A hold over a cell edits that cell, with
    the pointer read ahead (uncapped) and asked each frame (capped)."""
    def body():
        with h.session(suite, f"reparented{''.join(args)}", field, args=args) as (display, voxel):
            width, height = h.CLIENT_SIZE
            x, y, _, _ = display.cover(40, 30, width + 60, height + 60)
            holder = int(display.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                                      "^cover-40-30$"]).split()[0])
            display.xdotool("windowreparent", voxel.window, holder)
            display.xdotool("windowmove", voxel.window, 20, 20)
            voxel.frames_pass(count=2)  # the program has drawn at the new place
            before = display.geometry(voxel.window)[:2]
            display.xdotool("windowmove", "--sync", holder, x + 170, y + 110)
            voxel.origin = display.geometry(voxel.window)[:2]
            if (voxel.origin[0] - before[0], voxel.origin[1] - before[1]) != (170, 110):
                raise h.E2eFailure(f"the window did not move with its holder: {before} to "
                                   f"{voxel.origin}")
            voxel.frames_pass(count=2)
            voxel.stroke((160, 120), [1])
            voxel.exit_by_button()
            expect_strokes(oracle, field, voxel.saved_map(), (160, 120), RAISE)
    return body


def box_over_map_case(suite, args):
    """A typed camera height of 0 brings an error box, moved so its OK lies over the map; a
    mouse click on OK closes it, and neither the map view nor the file changes: the press was
    the box's. The field is flat, so the cursor's reveal shows nothing new. No window manager:
    its frame, unmapped after the box, would stand under the cursor for the first frames."""
    field = bytes(h.MAP_BYTES)

    def body():
        with h.session(suite, f"boxovermap{''.join(args)}", field,
                       args=args) as (display, voxel):
            voxel.set_spin(h.CAMERA_Z_SPIN, "0")
            box = voxel.wait_error_box()
            _, _, width, height = display.geometry(box)
            ok = (width - 52, height - 22)  # the middle of the box's one button, at its right
            x, y = voxel.map_point(200, 150)
            display.xdotool("windowmove", "--sync", box, x - ok[0], y - ok[1])
            h.poll(lambda: display.geometry(box)[:2] != (0, 0), 10, "the box to move")
            bx, by, _, _ = display.geometry(box)
            point = (bx + ok[0], by + ok[1])
            left, top = voxel.map_point(60, 60)
            right, bottom = voxel.map_point(319, 239)
            if not (left <= point[0] <= right and top <= point[1] <= bottom):
                raise h.E2eFailure(f"the box's OK at {point} is not over the map")
            display.click(*point)
            h.poll(lambda: not voxel.error_boxes(), 10, "the box to close on the click")
            time.sleep(1)  # many frames with the cursor over the map
            voxel.check_running()
            changed = sum(1 for v in voxel.map_view().values565() if v)
            if changed:
                raise h.E2eFailure(f"{changed} pixels of the map view lit after the click on "
                                   "the box's OK")
            close_unchanged(voxel, field)
    return body


def main():
    suite = h.Suite("visibility")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.noise_map(0, 60, seed=5)
    for args in ((), ("--fps", "60")):
        suite.check(f"a mouse click on the OK of a box over the map edits nothing"
                    f"{''.join(' ' + a for a in args)}", box_over_map_case(suite, args))
        suite.check(f"the window reparented into another client's, which moves: a hold over "
                    f"(160, 120) edits there{''.join(' ' + a for a in args)}",
                    reparented_case(suite, oracle, field, args))
    for depth in (24, 16):
        suite.check(f"held over another window covering the map, depth {depth}",
                    covered_case(suite, field, depth))
        suite.check(f"held where the minimised map would be, depth {depth}",
                    minimised_case(suite, field, depth))
        if depth != 24 and not h.FULL_MATRIX:
            continue  # the drag and the scales read the position, not the pixels' depth
        suite.check(f"held on the map of a window marked minimised but mapped, depth {depth}",
                    iconic_case(suite, field, depth))
        suite.check(f"drag from the covering window onto the visible map, depth {depth}",
                    drag_case(suite, field, depth))
        for scale in (2, 1.5):
            suite.check(f"scale {scale}: the cell drawn under the device pixel, depth {depth}",
                        scaled_case(suite, oracle, field, depth, scale))
    suite.finish()


if __name__ == "__main__":
    main()
