"""The frame counter reads "F/S : 0" until the frame timer's first one-second window closes,
and a positive rate of at least two digits after that."""

import sys
import time

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402

ATTEMPTS = 3


def right_end(columns):
    return max((x for x, lit in enumerate(columns) if lit), default=-1)


def first_counter(voxel, origin, timeout=30):
    """Watches the place where the centred window's counter will be from the moment the
    program starts; returns the first counter seen and how long after the start it was seen."""
    deadline = h.Deadline(timeout)
    while not deadline.expired():
        voxel.check_running()
        columns = voxel.counter_columns(origin)
        if any(columns):
            return columns, time.monotonic() - voxel.spawned_at
        time.sleep(0.01)
    raise h.E2eFailure("no counter text within 30 s of the start")


def main():
    suite = h.Suite("counter")

    def counter():
        for attempt in range(1, ATTEMPTS + 1):
            with h.session(suite, f"counter{attempt}", start=False) as (display, voxel):
                # The window opens centred on the screen; no window manager moves it.
                origin = ((display.size[0] - h.CLIENT_SIZE[0]) // 2,
                          (display.size[1] - h.CLIENT_SIZE[1]) // 2)
                voxel.launch()
                first, seen_after = first_counter(voxel, origin)
                voxel.attach()
                if voxel.origin != origin:
                    raise h.E2eFailure(f"window at {voxel.origin}, not centred at {origin}")
                # Seen within the first second after the program started, before the timer
                # (started later) can have closed a one-second window: the rate reads 0.
                if seen_after >= 0.95:
                    print(f"     attempt {attempt}: first counter seen {seen_after:.2f} s after "
                          "the start, too late to know it reads 0", flush=True)
                    continue
                h.poll(lambda: time.monotonic() - voxel.spawned_at >= 2.5, 10, "2.5 s")
                later = voxel.counter_columns()
                zero_end, rate_end = right_end(first), right_end(later)
                # Same prefix "F/S : "; a rate of two digits or more ends a glyph further right.
                if rate_end < zero_end + 3:
                    raise h.E2eFailure(f"counter text ends at column {rate_end} after 2.5 s, "
                                       f"at {zero_end} when it read 0: no positive rate of "
                                       "two or more digits")
                print(f"     counter text ends at column {zero_end} for 0 ({seen_after:.2f} s "
                      f"after the start), at {rate_end} later", flush=True)
                return
        raise h.E2eFailure(f"the program took over a second to show its window {ATTEMPTS} times")

    suite.check("counter shows 0 first, then a positive frame rate", counter)
    suite.finish()


if __name__ == "__main__":
    main()
