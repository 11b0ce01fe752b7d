"""Calls into Xlib through ctypes, for what no command-line client does: the cursor the server
shows (XFixes) and a window's WM_STATE written as a window manager writes it."""

import ctypes
import math

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
