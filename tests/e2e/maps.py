"""Height fields to load: the sample landscape and generated hills and noise, in Map.Dat's order
(column by column)."""

import math
import os
import subprocess
import tempfile

MAP_BYTES = 320 * 240


def sample_map(tools, folder):
    """The sample landscape written by voxel-sample-map, or a generated one if it is not built."""
    path = os.path.join(tools, "voxel-sample-map")
    if os.access(path, os.X_OK):
        out = tempfile.mkdtemp(prefix="voxel-e2e-sample-", dir=folder)
        subprocess.run([path, out], check=True, capture_output=True, timeout=60)
        with open(os.path.join(out, "Map.Dat"), "rb") as f:
            data = f.read()
        if len(data) == MAP_BYTES:
            return data
    return hills_map()


def hills_map(seed=7, low=0, high=200):
    """A deterministic field of smooth hills with heights low ... high."""
    cells = bytearray(MAP_BYTES)
    bumps = []
    state = seed
    for _ in range(12):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        bx = state % 320
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        by = state % 240
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        bumps.append((bx, by, 20 + state % 40))
    for x in range(320):
        for y in range(240):
            h = 0.0
            for bx, by, r in bumps:
                d2 = (x - bx) ** 2 + (y - by) ** 2
                h += math.exp(-d2 / (2.0 * r * r))
            cells[x * 240 + y] = low + min(high - low, int((high - low) * h / 1.5))
    return bytes(cells)


def noise_map(low, high, seed=1):
    """A deterministic field of pseudo-random heights low ... high."""
    cells = bytearray(MAP_BYTES)
    state = seed
    span = high - low + 1
    for i in range(MAP_BYTES):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        cells[i] = low + (state >> 8) % span
    return bytes(cells)
