"""The allocation test of the frame tick (test_app_allocation) on a real X server: the views
present through their own connection and the tick sends its pointer query ahead, and still the
program's own code allocates nothing per tick; what libxcb allocates for the events and replies
it hands over is counted apart and named."""

import re
import subprocess
import sys

sys.dont_write_bytecode = True  # no byte-code cache in the source tree

import harness as h  # noqa: E402


def main():
    suite = h.Suite("allocation")
    test = h.tool_path(suite.args.tools, "test_app_allocation")

    def under_x(depth):
        def body():
            display = h.Display(depth, workdir=suite.folder(f"x{depth}"))
            result = subprocess.run([test], env=display.env, capture_output=True, timeout=120)
            out = result.stdout.decode(errors="replace")
            if result.returncode != 0:
                raise h.E2eFailure(f"test_app_allocation failed ({result.returncode}):\n{out}")
            line = re.search(r"libxcb: (\d+) allocations for the (\d+) events and (\d+) replies",
                             out)
            # Without events the views did not present through X: the X path was not measured.
            if line is None or int(line.group(2)) == 0:
                raise h.E2eFailure(f"no libxcb events counted, so not the X path:\n{out}")
            print(f"     {line.group(0)} in 1000 ticks", flush=True)
        return body

    for depth in (24, 16):
        suite.check(f"depth {depth}: no allocation of the program's own per tick under X",
                    under_x(depth))
    suite.finish()


if __name__ == "__main__":
    main()
