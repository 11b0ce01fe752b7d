"""The frame counter reads "F/S : 0" until the frame timer's first one-second window closes,
and a positive rate of at least two digits after that."""

import time

import harness as h

ATTEMPTS = 3


def right_end(columns):
    return max((x for x, lit in enumerate(columns) if lit), default=-1)


def main():
    suite = h.Suite("counter")

    def counter():
        for attempt in range(1, ATTEMPTS + 1):
            with h.session(suite, f"counter{attempt}") as (_, voxel):
                # A picture taken within the first second after the program was started
                # shows the rate before any window closed, which is 0.
                first = voxel.counter_columns()
                early = time.monotonic() - voxel.spawned_at < 0.95
                if not early:
                    print(f"     attempt {attempt}: start-up too slow to see the first second",
                          flush=True)
                    continue
                h.poll(lambda: time.monotonic() - voxel.spawned_at >= 2.5, 10, "2.5 s")
                later = voxel.counter_columns()
                zero_end, rate_end = right_end(first), right_end(later)
                if zero_end < 0 or rate_end < 0:
                    raise h.E2eFailure("no counter text found")
                # Same prefix "F/S : "; the rate needs at least one glyph more than "0".
                if rate_end < zero_end + 3:
                    raise h.E2eFailure(f"counter text ends at column {rate_end} after 2.5 s, "
                                       f"at {zero_end} when it read 0: no positive rate of "
                                       "two or more digits")
                print(f"     counter text ends at column {zero_end} for 0, {rate_end} later",
                      flush=True)
                return
        raise h.E2eFailure(f"the program took over a second to show its window {ATTEMPTS} times")

    suite.check("counter shows 0 first, then a positive frame rate", counter)
    suite.finish()


if __name__ == "__main__":
    main()
