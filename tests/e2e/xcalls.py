"""Calls into Xlib through ctypes, for what no command-line client does, or not fast enough: the
cursor the server shows (XFixes), a window's WM_STATE written as a window manager writes it, and
the root window's pixels."""

import array
import ctypes
import math
import sys

from waits import E2eFailure


class XCalls:
    """Mixed into Display, whose name is the server's."""

    def cursor_image(self):
        """The cursor the X server shows now, through XFixes: (width, height, hot spot, pixels
        as ARGB row-major)."""
        x11 = ctypes.CDLL("libX11.so.6")
        xfixes = ctypes.CDLL("libXfixes.so.3")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XFree.argtypes = [ctypes.c_void_p]
        xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                ctypes.POINTER(ctypes.c_int)]
        xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_XFixesCursorImage)
        xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        connection = x11.XOpenDisplay(self.name.encode())
        if not connection:
            raise E2eFailure(f"cannot open {self.name} to read the cursor")
        try:
            event_base, error_base = ctypes.c_int(), ctypes.c_int()
            if not xfixes.XFixesQueryExtension(connection, ctypes.byref(event_base),
                                               ctypes.byref(error_base)):
                raise E2eFailure("the X server has no XFixes extension")
            image = xfixes.XFixesGetCursorImage(connection)
            if not image:
                raise E2eFailure("XFixesGetCursorImage gave nothing")
            c = image.contents
            pixels = [c.pixels[i] & 0xFFFFFFFF for i in range(c.width * c.height)]
            result = (c.width, c.height, (c.xhot, c.yhot), pixels)
            x11.XFree(image)
            return result
        finally:
            x11.XCloseDisplay(connection)

    def set_wm_state(self, window, state):
        """Writes a window's WM_STATE (1 normal, 3 iconic) as a window manager would, typed
        WM_STATE, which xprop cannot do."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                        ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_void_p, ctypes.c_int]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        connection = x11.XOpenDisplay(self.name.encode())
        if not connection:
            raise E2eFailure(f"cannot open {self.name} to set a window's state")
        try:
            atom = x11.XInternAtom(connection, b"WM_STATE", 0)
            data = (ctypes.c_long * 2)(state, 0)  # no icon window
            x11.XChangeProperty(connection, int(window), atom, atom, 32, 0, data, 2)
            x11.XSync(connection, 0)
        finally:
            x11.XCloseDisplay(connection)


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


_xlib = None
_x_errors = []  # X errors since the last call that looks, as error codes


@ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
def _on_x_error(_connection, event):
    # An XErrorEvent: type, display, resource id, serial, then the error code.
    _x_errors.append(ctypes.cast(event, ctypes.POINTER(ctypes.c_ubyte))[
        ctypes.sizeof(ctypes.c_int) * 2 + ctypes.sizeof(ctypes.c_void_p) * 3])
    return 0  # the default handler would end this script


def _x11():
    """libX11 with the calls root_pixels makes, its error handler set once."""
    global _xlib
    if _xlib is None:
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(_XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XFree.argtypes = [ctypes.c_void_p]
        x11.XSetErrorHandler(_on_x_error)
        _xlib = x11
    return _xlib


def _scale(mask):
    """The shift of a channel's mask and its values scaled to 8 bits, rounded down as
    ImageMagick's import rounds them."""
    shift = (mask & -mask).bit_length() - 1
    top = mask >> shift
    return shift, bytes(v * 255 // top for v in range(top + 1))


_rgb_of_16 = {}  # masks: the 8-bit RGB of each 16-bit pixel


def _rgb16(masks):
    if masks not in _rgb_of_16:
        scales = [_scale(mask) for mask in masks]
        _rgb_of_16[masks] = [bytes(scale[(p & mask) >> shift] for mask, (shift, scale)
                                   in zip(masks, scales)) for p in range(65536)]
    return _rgb_of_16[masks]


def root_pixels(name, x, y, width, height):
    """The root window's pixels in a rectangle as 8-bit RGB bytes, row-major, read with one
    XGetImage over a connection of its own (as import opens one): a few milliseconds where
    import takes a tenth of a second idle and far more on a loaded machine. None for a pixel
    format other than 16 or 32 bits of true colour."""
    x11 = _x11()
    connection = x11.XOpenDisplay(name.encode())
    if not connection:
        raise E2eFailure(f"cannot open {name} to read its pixels")
    try:
        del _x_errors[:]
        image = x11.XGetImage(connection, x11.XDefaultRootWindow(connection), x, y, width,
                              height, 0xFFFFFFFF, 2)  # all planes, ZPixmap
        if not image:
            raise E2eFailure(f"XGetImage of {width}x{height}+{x}+{y} failed: X error "
                             f"{_x_errors}")
        try:
            i = image.contents
            bpp = i.bits_per_pixel
            if bpp not in (16, 32) or i.byte_order != (sys.byteorder == "big"):
                return None
            raw = ctypes.string_at(i.data, i.bytes_per_line * height)
            row = width * bpp // 8
            if i.bytes_per_line != row:
                raw = b"".join(raw[r * i.bytes_per_line:r * i.bytes_per_line + row]
                               for r in range(height))
            masks = (i.red_mask, i.green_mask, i.blue_mask)
            if bpp == 32 and masks == (0xFF0000, 0xFF00, 0xFF):
                rgb = bytearray(width * height * 3)
                for channel, offset in enumerate((2, 1, 0)):  # B, G, R, pad in memory
                    rgb[channel::3] = raw[offset::4]
                return bytes(rgb)
            if bpp == 16:
                return b"".join(map(_rgb16(masks).__getitem__, array.array("H", raw)))
            pixels = array.array("I", raw)
            rgb = bytearray(width * height * 3)
            for channel, mask in enumerate(masks):
                shift, scale = _scale(mask)
                rgb[channel::3] = bytes(scale[(p & mask) >> shift] for p in pixels)
            return bytes(rgb)
        finally:
            x11.XFree(image.contents.data)
            x11.XFree(image)
    finally:
        x11.XCloseDisplay(connection)


class _XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def ring_radii(width, height, hot, pixels):
    """The distances from the hot spot of the cursor's light opaque pixels outside its centre
    mark (a circle cursor gives one radius, to within a pixel), and whether a light pixel sits
    on the hot spot itself."""
    hx, hy = hot

    def light(x, y):
        p = pixels[y * width + x]
        return (p >> 24) > 200 and all(((p >> s) & 0xFF) > 200 for s in (0, 8, 16))

    radii = sorted({round(math.hypot(x - hx, y - hy)) for y in range(height)
                    for x in range(width) if light(x, y) and math.hypot(x - hx, y - hy) > 6})
    return radii, 0 <= hx < width and 0 <= hy < height and light(hx, hy)
