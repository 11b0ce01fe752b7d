"""The program's window as the tests see it: titles, sizes, and where its views and controls sit
in the client area."""

TITLE = "Voxel 기초 - by Tessmir"
BOX_TITLE = "voxel"  # the program file's name, as the error box's caption
CLIENT_SIZE = (688, 553)
VIEW_SIZE = (320, 240)
SCREEN_VIEW = (16, 16)  # client position of the screen view
MAP_VIEW = (352, 16)  # client position of the map view
PANEL = (16, 272)  # client position of the command panel
# The panel's free room right of its buttons, where notices show: client left, top, width, height.
NOTICE_AREA = (PANEL[0] + 280, PANEL[1] + 8, 368, 249)
# The counter text "F/S : n" sits at (8, 8) of the screen view; this box holds it.
COUNTER_BOX = (0, 0, 150, 34)  # left, top, right (exclusive), bottom (exclusive)


def panel_point(left, top, width, height, dx=None, dy=None):
    """Client point inside a panel control given its panel rectangle (centre by default)."""
    x = PANEL[0] + left + (width // 2 if dx is None else dx)
    y = PANEL[1] + top + (height // 2 if dy is None else dy)
    return x, y


# Controls by their panel rectangles.
EXIT_BTN = panel_point(192, 184, 75, 25)
INIT_BTN = panel_point(192, 8, 75, 25)
CAMROT_AUTO_CHECK = panel_point(8, 144, 161, 17)
WAIT_MOVE_CHECK = panel_point(8, 120, 161, 17)
BRUSH_RANGE_SPIN = panel_point(96, 8, 73, 22, dx=20)
CAMERA_Z_SPIN = panel_point(96, 32, 73, 22, dx=20)
DIVISOR_SPIN = panel_point(96, 56, 73, 22, dx=20)
CAMROT_SPIN = panel_point(96, 80, 73, 22, dx=20)
# A spot on the screen view: nothing happens there, whatever the buttons do.
PARK = (SCREEN_VIEW[0] + 160, SCREEN_VIEW[1] + 120)
