#!/usr/bin/python3
"""The main window's frame, title bar included, at the screen's top-left corner under a reparenting window manager
(twm on Xvfb), so that the window can be grabbed and moved.

Usage: tests/smoke/frame_test.py [--skip-code N] [path/to/rastiv]; output and exit codes as the smoke test's."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no cache left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import smoke_test as common  # noqa: E402  the private X server and the arguments, as the smoke test has them

TIMEOUT_S = 30
MAIN_WIDTH = 583  # the main window's fixed client width


def main_window_frame(tree):
    """(frame x, frame y, client y) of the main window from `xwininfo -root -tree`, or None while it is not up and
    framed.  The frame is the child of the root window that holds the client."""
    frame = None
    for line in tree.splitlines():
        m = re.match(r"^( +)0x[0-9a-f]+ .*?(\d+)x(\d+)\+-?\d+\+-?\d+ +\+(-?\d+)\+(-?\d+)\s*$", line)
        if not m:
            continue
        depth = len(m.group(1))
        x, y = int(m.group(4)), int(m.group(5))
        if depth == 5:
            frame = (x, y)
        elif frame and '"Rastiv": ("rastiv"' in line and int(m.group(2)) == MAIN_WIDTH:
            return frame[0], frame[1], y
    return None


def main():
    rastiv = common.find_rastiv()
    if not os.access(rastiv, os.X_OK):
        print("FAIL: no program at %r: build it first or pass its path" % rastiv)
        return 1
    for tool in ("Xvfb", "twm", "xwininfo"):
        if not shutil.which(tool):
            common.skip("%s is not installed (scripts/setup.sh installs it)" % tool)

    home = tempfile.mkdtemp(prefix="rastiv-frame-")
    session = common.Session(home)
    procs, results = session.procs, common.Results()
    check = results.check
    try:
        try:
            session.start_x()
        except RuntimeError as e:
            common.skip(str(e))
        env = dict(session.env, QT_QPA_PLATFORM="xcb")
        # twm's default fonts are not always installed; "fixed" always is.
        with open(os.path.join(home, ".twmrc"), "w") as f:
            f.write("".join('%s "fixed"\n' % key for key in ("TitleFont", "MenuFont", "IconFont", "ResizeFont",
                                                             "IconManagerFont")) + "RandomPlacement\n")
        procs.append(subprocess.Popen(["twm"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        program = subprocess.Popen([rastiv], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(program)

        def seen():
            return main_window_frame(subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True,
                                                    text=True).stdout)
        try:
            first = common.wait_until("the main window framed by the window manager",
                                      lambda: (lambda f: f and f[2] > f[1] and f)(seen()), TIMEOUT_S, alive=[program])
            time.sleep(0.5)  # let the placement settle, then read it again
            fx, fy, cy = seen() or first
            check("the main window comes up framed by the window manager", cy > fy,
                  "client at y=%d, frame at y=%d" % (cy, fy))
            check("the frame, title bar included, is at the top-left corner", (fx, fy) == (0, 0),
                  "frame at %d,%d" % (fx, fy))
        except (TimeoutError, common.ProcessDied) as e:
            check("the main window comes up framed by the window manager", False, str(e))
    finally:
        session.stop()
        shutil.rmtree(home, ignore_errors=True)
    return results.report()


if __name__ == "__main__":
    sys.exit(main())
