"""Runs the real program under Xvfb: real X input through xdotool, screenshots through import.

The work is done by one module per job; this one gathers their names, so a test needs only
`import harness as h`:
    waits       E2eFailure, Skip, Deadline, poll
    processes   spawn, forget, end_process, end_all_processes, favour, ordinary_user
    display     Display: Xvfb, openbox, X clients, windows, the relay
    inputs      the pointer and keyboard (mixed into Display)
    images      screenshots (mixed into Display), Image and pixel arithmetic
    xcalls      the XFixes cursor and WM_STATE through Xlib (mixed into Display), ring_radii
    layout      the window's titles, sizes and control positions
    program     Voxel, the program driver, and expect_save_error
    oracle      Oracle and tool_path
    maps        MAP_BYTES and the fields: sample_map, hills_map, noise_map
    suite       Suite, session, parse_args, FULL_MATRIX
"""

from display import Display  # noqa: F401
from images import (Image, Screenshots, compare_565, dark_mask, is_aqua, map_look,  # noqa: F401
                    masked, outside_counter)
from inputs import Inputs  # noqa: F401
from layout import (BOX_TITLE, BRUSH_RANGE_SPIN, CAMERA_Z_SPIN, CAMROT_AUTO_CHECK,  # noqa: F401
                    CAMROT_SPIN, CLIENT_SIZE, COUNTER_BOX, DIVISOR_SPIN, EXIT_BTN, INIT_BTN,
                    MAP_VIEW, PANEL, PARK, SCREEN_VIEW, TITLE, VIEW_SIZE, WAIT_MOVE_CHECK,
                    panel_point)
from maps import MAP_BYTES, hills_map, noise_map, sample_map  # noqa: F401
from oracle import Oracle, tool_path  # noqa: F401
from processes import (end_all_processes, end_process, favour, forget,  # noqa: F401
                       ordinary_user, spawn)
from program import SAVE_ERRORS, Voxel, expect_save_error  # noqa: F401
from suite import FULL_MATRIX, Suite, parse_args, session  # noqa: F401
from waits import Deadline, E2eFailure, Skip, poll  # noqa: F401
from xcalls import XCalls, ring_radii  # noqa: F401

_end_process = end_process  # its name before the split
