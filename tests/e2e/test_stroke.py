"""A held button over the map edits the field: the file saved on closing is exactly k brush
applications at the cursor's point, for some k >= 1. Left raises, right lowers, both raise."""

import harness as h

RAISE, LOWER = 1, 2
GAUSSIAN = 1


def expect_strokes(suite, oracle, before, after, point, mode):
    k, text = oracle.match(before, after, point[0], point[1], 50, 1, mode, GAUSSIAN)
    if k is None:
        changed = sum(a != b for a, b in zip(before, after))
        raise h.E2eFailure(f"{changed} cells changed, not as brush applications at {point}: {text}")
    print(f"     explained by k = {text}", flush=True)


def stroke_case(suite, oracle, label, field, point, buttons, mode):
    def body():
        with h.session(suite, label, field) as (_, voxel):
            voxel.stroke(point, buttons)
            if voxel.exit_by_button() != 0:
                raise h.E2eFailure("exit code not 0")
            expect_strokes(suite, oracle, field, voxel.saved_map(), point, mode)
    return body


def main():
    suite = h.Suite("stroke")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    low = h.noise_map(0, 60, seed=3)
    high = h.noise_map(150, 255, seed=4)
    suite.check("left button raises",
                stroke_case(suite, oracle, "left", low, (120, 100), [1], RAISE))
    suite.check("right button lowers",
                stroke_case(suite, oracle, "right", high, (200, 150), [3], LOWER))
    suite.check("both buttons raise",
                stroke_case(suite, oracle, "both", low, (60, 200), [1, 3], RAISE))
    suite.finish()


if __name__ == "__main__":
    main()
