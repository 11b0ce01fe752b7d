"""A divisor of 0 typed while the cursor rests over the map brings exactly one error box; after
OK the program runs on without further boxes, and strokes work with the divisor back at 1."""

import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

POINT = (160, 120)


def main():
    suite = h.Suite("nostorm")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.noise_map(0, 60, seed=9)

    def no_storm():
        with h.session(suite, "nostorm", field, window_manager=True) as (display, voxel):
            voxel.click_client(*h.DIVISOR_SPIN)
            display.key("ctrl+a")
            display.move(*voxel.map_point(*POINT))
            display.type_text("0")
            box = voxel.wait_error_box()
            count = len(voxel.error_boxes())
            if count != 1:
                raise h.E2eFailure(f"{count} error boxes, want 1")
            voxel.box_text(box, oracle, ["Division by zero."])
            voxel.dismiss_error_box(box)
            # The cursor stays over the map: a divisor still 0 would fault on every tick.
            display.move(*voxel.map_point(*POINT))
            end = time.monotonic() + 3.0
            while time.monotonic() < end:
                if voxel.error_boxes():
                    raise h.E2eFailure("another error box appeared after OK")
                time.sleep(0.1)
            voxel.frames_pass()
            voxel.stroke(POINT, [1])
            voxel.exit_by_button()
            k, text = oracle.match(field, voxel.saved_map(), POINT[0], POINT[1], 50, 1, 1, 1)
            if k is None:
                raise h.E2eFailure(f"the saved field is not k raises with divisor 1: {text}")
            print(f"     explained by k = {text}", flush=True)

    suite.check("divisor 0: one error box, then the program runs on and edits", no_storm)
    suite.finish()


if __name__ == "__main__":
    main()
