"""Processes: every one started here is ended here, by its own process group, whether the script
ends normally, by a signal or by a test runner's timeout."""

import atexit
import ctypes
import os
import pwd
import signal
import subprocess
import sys

from waits import Skip

_started = []  # Popen objects, oldest first


def end_process(proc, grace=3.0):
    """Ends proc and anything left in its process group: politely, then after grace seconds
    outright."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            pass
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(5)
    else:
        # The leader is gone; end any child it left in its group.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass


def end_all_processes():
    while _started:
        end_process(_started.pop())


atexit.register(end_all_processes)


def _on_signal(signum, _frame):
    end_all_processes()
    sys.exit(128 + signum)


signal.signal(signal.SIGTERM, _on_signal)
signal.signal(signal.SIGINT, _on_signal)


def _die_with_parent():
    # Should this script be killed outright (a test runner's timeout), its children go too.
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def spawn(argv, **kwargs):
    """Starts a process in its own group and records it for cleanup."""
    proc = subprocess.Popen(argv, start_new_session=True, preexec_fn=_die_with_parent, **kwargs)
    _started.append(proc)
    return proc


def forget(proc):
    if proc in _started:
        _started.remove(proc)


def favour(pid):
    """Runs every thread of a process at nice -10 where this user may (root may): a check of
    the program's own pacing then measures the pacing, not what a loaded machine leaves over.
    Returns whether it could."""
    try:
        for thread in os.listdir(f"/proc/{pid}/task"):
            os.setpriority(os.PRIO_PROCESS, int(thread), -10)
    except (PermissionError, FileNotFoundError, ProcessLookupError):
        return False
    return True


def ordinary_user():
    """Who to run the program as where file modes must hold: None (this user) unless this is
    root, which ignores them; then nobody, or a user made for the tests. Raises Skip if none."""
    if os.geteuid() != 0:
        return None
    for name in ("nobody", "voxel-e2e"):
        try:
            return pwd.getpwnam(name).pw_uid
        except KeyError:
            pass
    try:
        subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "voxel-e2e"],
                       capture_output=True, timeout=60, check=True)
        return pwd.getpwnam("voxel-e2e").pw_uid
    except (OSError, subprocess.SubprocessError, KeyError) as error:
        raise Skip(f"running as root, and no unprivileged user could be made: {error}") from None
