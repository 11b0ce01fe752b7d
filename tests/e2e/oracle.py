"""The expected pictures and brush results, from E2eOracle (the reference arithmetic)."""

import os
import subprocess

from images import dark_mask
from waits import E2eFailure


def tool_path(tools, name):
    path = os.path.join(tools, name)
    if not os.access(path, os.X_OK):
        raise E2eFailure(f"{path} is missing: build it first (ninja {name})")
    return path


class Oracle:
    """The expected pictures and brush results, computed by the reference arithmetic."""

    def __init__(self, tools, folder):
        self.exe = tool_path(tools, "E2eOracle")
        self.folder = folder
        self._ramps = None

    def _run(self, *args):
        result = subprocess.run([self.exe, *[str(a) for a in args]], capture_output=True,
                                timeout=120)
        return result

    def screen(self, map_bytes, angle, camera_z=240):
        """The expected screen view as 320 x 240 5-6-5 values, row-major."""
        map_file = os.path.join(self.folder, f"oracle-map-{os.getpid()}.dat")
        out = os.path.join(self.folder, f"oracle-screen-{angle}-{camera_z}.raw")
        with open(map_file, "wb") as f:
            f.write(map_bytes)
        result = self._run("screen", map_file, angle, camera_z, out)
        if result.returncode != 0:
            raise E2eFailure(f"oracle screen failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            raw = f.read()
        return [raw[i] | (raw[i + 1] << 8) for i in range(0, len(raw), 2)]

    def ramps(self):
        """(MapPixel, ShadePixel) as lists of 256 5-6-5 values."""
        if self._ramps is None:
            result = self._run("ramps")
            if result.returncode != 0:
                raise E2eFailure(f"oracle ramps failed: {result.stderr.decode(errors='replace')}")
            rows = [line.split() for line in result.stdout.decode().splitlines() if line.strip()]
            self._ramps = ([int(r[0]) for r in rows], [int(r[1]) for r in rows])
        return self._ramps

    def counter_masks(self, env):
        """text_mask of "F/S : n" for n = 0 ... 1000, made once."""
        if getattr(self, "_counter_masks", None) is None:
            self._counter_masks = self.text_masks([f"F/S : {n}" for n in range(1001)], env)
        return self._counter_masks

    def text_mask(self, text, env):
        """The dark pixels of text drawn in the display's default font (see dark_mask)."""
        return self.text_masks([text], env)[0]

    def text_masks(self, texts, env):
        """text_mask of each of texts, from one run of the oracle."""
        result = subprocess.run([self.exe, "text", *texts], capture_output=True, timeout=60,
                                env=env)
        if result.returncode != 0:
            raise E2eFailure(f"oracle text failed: {result.stderr.decode(errors='replace')}")
        masks, rest = [], result.stdout
        for _ in texts:
            _, size, _, rest = rest.split(b"\n", 3)
            width, height = map(int, size.split())
            pixels, rest = rest[:width * height], rest[width * height:]
            masks.append(dark_mask(lambda px, py: pixels[py * width + px], range(width),
                                   range(height)))
        return masks

    def brush(self, map_bytes, cx, cy, radius, divisor, mode, shape, k):
        map_file = os.path.join(self.folder, "oracle-brush-in.dat")
        out = os.path.join(self.folder, "oracle-brush-out.dat")
        with open(map_file, "wb") as f:
            f.write(map_bytes)
        result = self._run("brush", map_file, out, cx, cy, radius, divisor, mode, shape, k)
        if result.returncode != 0:
            raise E2eFailure(f"oracle brush failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            return f.read()

    def gray(self, image_path):
        """The field Qt makes of an image file (grayscale, smoothly scaled to 320 x 240 when
        its size differs), in Map.Dat's order."""
        out = os.path.join(self.folder, "oracle-gray.dat")
        result = self._run("gray", image_path, out)
        if result.returncode != 0:
            raise E2eFailure(f"oracle gray failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            return f.read()

    def tool(self, command, *args):
        """The field a tool click makes (see E2eOracle's usage): generate SEED K, level MAP,
        noise MAP DAMPING SEED K; a MAP is given as bytes."""
        args = list(args)
        if command != "generate":
            map_file = os.path.join(self.folder, "oracle-tool-in.dat")
            with open(map_file, "wb") as f:
                f.write(args[0])
            args[0] = map_file
        out = os.path.join(self.folder, "oracle-tool-out.dat")
        args.insert(1 if command != "generate" else 2, out)
        result = self._run(command, *args)
        if result.returncode != 0:
            raise E2eFailure(f"oracle {command} failed: {result.stderr.decode(errors='replace')}")
        with open(out, "rb") as f:
            return f.read()

    def match(self, before, after, cx, cy, radius, divisor, mode, shape, kmax=3000):
        """The least k >= 1 for which k brush applications turn before into after, or None
        and a description of the nearest miss."""
        before_file = os.path.join(self.folder, "oracle-match-before.dat")
        after_file = os.path.join(self.folder, "oracle-match-after.dat")
        with open(before_file, "wb") as f:
            f.write(before)
        with open(after_file, "wb") as f:
            f.write(after)
        result = self._run("match", before_file, after_file, cx, cy, radius, divisor, mode,
                           shape, kmax)
        text = result.stdout.decode().strip()
        if result.returncode == 0:
            return int(text.split()[0]), text
        if result.returncode == 1:
            return None, text
        raise E2eFailure(f"oracle match failed: {result.stderr.decode(errors='replace')}")
