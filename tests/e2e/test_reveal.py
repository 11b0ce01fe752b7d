"""The map view starts black; the cursor resting over it with no button uncovers the stored
heights inside the brush disc, and what was uncovered stays."""

import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

RADIUS = 50


def expected_map(field, map_pixel, centres):
    """The map view after the footprints round the centres have been painted."""
    out = [0] * (320 * 240)
    for cx, cy in centres:
        for y in range(max(0, cy - RADIUS), min(240, cy + RADIUS + 1)):
            for x in range(max(0, cx - RADIUS), min(320, cx + RADIUS + 1)):
                if (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS * RADIUS:
                    out[y * 320 + x] = map_pixel[field[x * 240 + y]]
    return out


def main():
    suite = h.Suite("reveal")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    map_pixel, _ = oracle.ramps()
    field = h.sample_map(suite.args.tools, suite.tmp)

    def reveal():
        with h.session(suite, "reveal", field) as (display, voxel):
            voxel.wait_map([0] * (320 * 240), "a black map view after start-up")
            centres = []
            # Inside, then near an edge, then on the inclusive corner one past the last cell.
            for centre in ((100, 120), (260, 40), (320, 240)):
                display.move(*voxel.map_point(*centre))
                centres.append(centre)
                voxel.wait_map(expected_map(field, map_pixel, centres),
                               f"the discs round {centres}")
            display.move(*voxel.root(*h.PARK))
            voxel.exit_by_button()
            if voxel.saved_map() != field:
                raise h.E2eFailure("uncovering the map changed the saved field")

    suite.check("resting cursor uncovers the stored heights in the brush disc", reveal)
    suite.finish()


if __name__ == "__main__":
    main()
