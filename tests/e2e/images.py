"""Screenshots of the root window and the arithmetic on their pixels: 5-6-5 values, comparisons,
the counter's box left out, and text found by its dark pixels."""

from layout import COUNTER_BOX
from waits import E2eFailure
from xcalls import root_pixels


class Screenshots:
    """Mixed into Display, whose run_bytes reaches its server."""

    def grab(self, x, y, width, height):
        """The root window's pixels in a rectangle as an Image of 8-bit RGB: through Xlib, whose
        speed lets a check see the frames a loaded machine still shows; through import for a
        pixel format that reads no faster."""
        data = root_pixels(self.name, x, y, width, height)
        if data is None:
            data = self.run_bytes(["import", "-silent", "-window", "root", "-crop",
                                   f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8",
                                   "rgb:-"])
        if len(data) != width * height * 3:
            raise E2eFailure(f"screenshot of {width}x{height} gave {len(data)} bytes")
        return Image(width, height, data)

    def save_png(self, x, y, width, height, path):
        self.run_bytes(["import", "-silent", "-window", "root", "-crop",
                        f"{width}x{height}+{x}+{y}", "+repage", path])


class Image:
    """8-bit RGB pixels, row-major."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def rgb565(self, x, y):
        """The 5-6-5 value the 8-bit channels came from."""
        r, g, b = self.rgb(x, y)
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)

    def values565(self):
        """All pixels as 5-6-5 values, row-major."""
        d = self.data
        return [((d[i] >> 3) << 11) | ((d[i + 1] >> 2) << 5) | (d[i + 2] >> 3)
                for i in range(0, len(d), 3)]

    def crop(self, x, y, width, height):
        rows = []
        for row in range(y, y + height):
            start = (row * self.width + x) * 3
            rows.append(self.data[start:start + width * 3])
        return Image(width, height, b"".join(rows))


def map_look(field, map_pixel):
    """The map view showing every cell of the field, as 5-6-5 values, row-major."""
    return [map_pixel[field[x * 240 + y]] for y in range(240) for x in range(320)]


def outside_counter(x, y):
    left, top, right, bottom = COUNTER_BOX
    return not (left <= x < right and top <= y < bottom)


def masked(image):
    """A screen view's pixels with the counter box blanked, for comparisons of the picture."""
    values = image.values565()
    left, top, right, bottom = COUNTER_BOX
    for y in range(top, min(bottom, image.height)):
        for x in range(left, min(right, image.width)):
            values[y * image.width + x] = -1
    return values


def compare_565(actual, expected, width, height, skip=None, limit=8):
    """Differences between two lists of 5-6-5 values; returns (count, first few as text)."""
    count = 0
    samples = []
    for y in range(height):
        base = y * width
        for x in range(width):
            if skip is not None and skip(x, y):
                continue
            a, e = actual[base + x], expected[base + x]
            if a != e:
                count += 1
                if len(samples) < limit:
                    samples.append(f"({x},{y}) got {a:#06x} want {e:#06x}")
    return count, samples


def dark_mask(gray, columns, rows):
    """The set of dark pixels (text on a light ground), relative to their top-left corner."""
    points = [(px, py) for py in rows for px in columns if gray(px, py) < 128]
    if not points:
        return frozenset()
    left = min(p[0] for p in points)
    top = min(p[1] for p in points)
    return frozenset((px - left, py - top) for px, py in points)


def is_aqua(rgb):
    r, g, b = rgb
    return r < 40 and g > 90 and b > 90 and abs(g - b) < 40
