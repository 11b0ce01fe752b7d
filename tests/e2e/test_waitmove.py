"""With "마우스 이동 기다림" checked, a held button edits only on ticks in which both screen
coordinates of the cursor changed: still, horizontal or vertical moves leave the field alone,
diagonal moves raise it. A pause within the stroke does not end it: one Ctrl+Z takes it back."""

import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

POINT = (150, 120)


def enter_holding(display, voxel, button=1):
    """Presses the button on the screen view in the map point's row, then moves straight
    across to the point: only the x coordinate changes, so no edit may happen."""
    park = voxel.root(h.PARK[0], h.MAP_VIEW[1] + POINT[1])
    display.move(*park)
    display.button_down(button)
    display.move(*voxel.map_point(*POINT))
    return park


def main():
    suite = h.Suite("waitmove")
    field = h.hills_map(seed=11, low=0, high=120)

    def still():
        with h.session(suite, "still", field) as (display, voxel):
            voxel.click_client(*h.WAIT_MOVE_CHECK)
            park = enter_holding(display, voxel)
            try:
                voxel.frames_pass()
                x, y = voxel.map_point(*POINT)
                display.move(x + 6, y)  # horizontal only
                voxel.frames_pass()
                display.move(x + 6, y + 6)  # vertical only
                voxel.frames_pass()
                display.move(park[0], y + 6)  # back out, horizontal only
            finally:
                display.button_up(1)
            image = voxel.map_view()
            if any(image.values565()):
                raise h.E2eFailure("the map view was drawn although the cursor never moved "
                                   "diagonally")
            voxel.exit_by_button()
            if voxel.saved_map() != field:
                raise h.E2eFailure("the field changed without diagonal movement")

    def diagonal(undo=False):
        """Each move is followed by ticks that see the cursor still."""
        with h.session(suite, f"diagonal{undo * '-undo'}", field, window_manager=undo) as (
                display, voxel):
            voxel.click_client(*h.WAIT_MOVE_CHECK)
            park = enter_holding(display, voxel)
            try:
                x, y = voxel.map_point(*POINT)
                for step in range(1, 6):
                    display.move(x + 2 * step, y + 2 * step)
                    voxel.frames_pass(count=2)
                display.move(park[0], y + 10)
            finally:
                display.button_up(1)
            if undo:  # the whole stroke undone: the loaded map is saved
                stroked = voxel.map_view().values565()
                display.run(["xdotool", "windowactivate", "--sync", str(voxel.window)])
                display.key("ctrl+z")
                h.poll(lambda: voxel.map_view().values565() != stroked, 10, "the undo")
            voxel.exit_by_button()
            saved = voxel.saved_map()
            raised = sum(a > b for a, b in zip(saved, field))
            lowered = sum(a < b for a, b in zip(saved, field))
            if (raised == 0) != undo or lowered != 0:
                raise h.E2eFailure(f"diagonal moves raised {raised} and lowered {lowered} cells")

    suite.check("still, horizontal and vertical moves leave the field alone", still)
    suite.check("diagonal moves raise the field", diagonal)
    suite.check("pauses in a stroke: one Ctrl+Z takes back all of it",
                lambda: diagonal(undo=True))
    suite.finish()


if __name__ == "__main__":
    main()
