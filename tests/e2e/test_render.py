"""The screen view, with the rotation stopped at typed angles, equals the reference picture
pixel for pixel outside the counter text, at display depths 24 and 16, and at a display scale
of 2 each view pixel fills its two by two device pixels; and so with every kernel of the frame
forced to each level the processor runs."""

import os
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402


def expect_angles(oracle, voxel, field, angles, camera_z=240, scale=1):
    """At an integer display scale each view pixel fills its scale x scale device pixels."""
    # Stops the rotation; the angle spin becomes editable.
    voxel.click_client(*h.CAMROT_AUTO_CHECK)
    if camera_z != 240:
        voxel.set_spin(h.CAMERA_Z_SPIN, str(camera_z))
    width, height = 320 * scale, 240 * scale
    for angle in angles:
        view = oracle.screen(field, angle, camera_z)
        expected = [view[(y // scale) * 320 + x // scale] for y in range(height)
                    for x in range(width)]
        voxel.set_spin(h.CAMROT_SPIN, str(angle))
        last = {}

        def matches():
            image = voxel.settled_screen() if scale == 1 else voxel.display.grab(
                *voxel.root(*h.SCREEN_VIEW), width, height)
            count, samples = h.compare_565(
                image.values565(), expected, width, height,
                skip=lambda x, y: not h.outside_counter(x // scale, y // scale))
            last["diff"] = (count, samples)
            return count == 0

        try:
            h.poll(matches, 20, f"the picture at angle {angle}", interval=0.1)
        except h.E2eFailure:
            count, samples = last.get("diff", (-1, []))
            raise h.E2eFailure(f"angle {angle}, camera height {camera_z}, scale {scale}: {count} "
                               f"pixels differ, e.g. {'; '.join(samples)}")


def reveal_map(display, voxel, field):
    """Passes the cursor with no button over a grid of map points so the map shows the field."""
    for my in (20, 80, 140, 200, 235):
        for mx in (20, 80, 140, 200, 260, 310):
            display.move(*voxel.map_point(mx, my))
            if field[mx * 240 + my] >= 8:
                h.poll(lambda: voxel.display.grab(*voxel.map_point(mx, my), 1, 1).rgb(0, 0)
                       != (0, 0, 0), 10, f"the map to show ({mx},{my})")
    display.move(*voxel.root(*h.PARK))


def kernel_levels():
    """The levels of kernels this processor runs, as --kernel names them."""
    flags = set()
    with open("/proc/cpuinfo", encoding="utf-8") as info:
        for line in info:
            if line.startswith("flags"):
                flags = set(line.split(":", 1)[1].split())
                break
    levels = ["portable"]
    if {"avx2", "fma"} <= flags:
        levels.append("avx2")
        if {"avx512f", "avx512bw", "avx512vl"} <= flags:
            levels.append("avx512")
    return levels


def main():
    suite = h.Suite("render")
    oracle = h.Oracle(suite.args.tools, suite.folder("oracle"))
    field = h.sample_map(suite.args.tools, suite.tmp)

    def depth24():
        with h.session(suite, "d24", field) as (display, voxel):
            expect_angles(oracle, voxel, field, [0, 90, 200, 359])
            # The picture a person sees: the landscape, the uncovered map and the panel.
            reveal_map(display, voxel, field)
            expect_angles_after = oracle.screen(field, 359)
            image = voxel.settled_screen()
            count, _ = h.compare_565(image.values565(), expect_angles_after, 320, 240,
                                     skip=lambda x, y: not h.outside_counter(x, y))
            if count:
                raise h.E2eFailure(f"passing over the map changed the picture ({count} pixels)")
            # Covered and uncovered, both views show again what they showed.
            map_before = voxel.map_view()
            left, top = voxel.root(*h.MAP_VIEW)
            display.cover(left - 60, top + 30, 420, 150)
            display.run(["xdotool", "search", "--name", f"^cover-{left - 60}-{top + 30}$",
                         "windowkill"], check=False)
            h.poll(lambda: voxel.map_view().data == map_before.data, 10,
                   "the uncovered map view to show its picture again")
            expect_angles_after = oracle.screen(field, 359)

            def both_views_again(what):
                h.poll(lambda: voxel.map_view().data == map_before.data, 10,
                       f"the map view {what} to show its picture again")
                h.poll(lambda: h.compare_565(voxel.settled_screen().values565(),
                                             expect_angles_after, 320, 240,
                                             skip=lambda x, y: not h.outside_counter(x, y)
                                             )[0] == 0, 10, f"the landscape {what}")

            both_views_again("uncovered")
            # Moved, then hidden and shown again as a minimised window is: the views' own
            # windows go with their parent and are put again on exposure.
            placed = voxel.origin
            display.xdotool("windowmove", str(voxel.window), "200", "150")
            voxel.origin = h.poll(lambda: display.geometry(voxel.window)[:2] != placed and
                                  display.geometry(voxel.window)[:2], 10, "the window to move")
            both_views_again("moved")
            display.xdotool("windowunmap", "--sync", str(voxel.window))
            display.xdotool("windowmap", "--sync", str(voxel.window))
            both_views_again("shown again")
            display.save_png(*voxel.origin, *h.CLIENT_SIZE,
                             os.path.join(suite.args.tools, "e2e-screenshot.png"))
            voxel.exit_by_button()

    def camera_height():
        with h.session(suite, "height", field) as (_, voxel):
            expect_angles(oracle, voxel, field, [45], camera_z=400)

    def depth16():
        with h.session(suite, "d16", field, depth=16) as (_, voxel):
            expect_angles(oracle, voxel, field, [0, 200])

    def doubled(depth):
        def body():
            with h.session(suite, f"x2-{depth}", field, depth=depth, scale=2) as (_, voxel):
                expect_angles(oracle, voxel, field, [90], scale=2)
        return body

    def forced(level):
        def body():
            with h.session(suite, f"k-{level}", field, args=("--kernel", level)) as (_, voxel):
                expect_angles(oracle, voxel, field, [0, 200])
        return body

    suite.check("angles 0, 90, 200, 359 at depth 24", depth24)
    suite.check("camera height 400 at angle 45", camera_height)
    suite.check("angles 0, 200 at depth 16", depth16)
    for depth in (24, 16) if h.FULL_MATRIX else (24,):
        suite.check(f"angle 90 at display scale 2, depth {depth}", doubled(depth))
    # Every kernel of the frame at each level this processor runs, the present's included.
    for level in kernel_levels():
        suite.check(f"angles 0, 200 at depth 24 with --kernel {level}", forced(level))
    suite.finish()


if __name__ == "__main__":
    main()
