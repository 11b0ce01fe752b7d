"""A failed check, a check that cannot run here, and bounded waits: what every part of the
end-to-end harness raises and polls with."""

import time


class E2eFailure(Exception):
    """A check of the program failed."""


class Skip(Exception):
    """A check that cannot run here; the reason is printed and nothing fails."""


class Deadline:
    """A bounded wait: poll while not expired."""

    def __init__(self, seconds):
        self.end = time.monotonic() + seconds

    def expired(self):
        return time.monotonic() >= self.end

    def left(self):
        return max(0.0, self.end - time.monotonic())


def poll(predicate, timeout, what, interval=0.05):
    """Calls predicate until it returns a true value; raises E2eFailure after timeout seconds."""
    deadline = Deadline(timeout)
    while True:
        value = predicate()
        if value:
            return value
        if deadline.expired():
            raise E2eFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)
