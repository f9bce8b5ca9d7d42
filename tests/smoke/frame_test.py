#!/usr/bin/python3
"""Where the main window lands under a window manager.

Starts a private X server (Xvfb) with a plain reparenting window manager
(twm), runs the real program, and checks that the main window's frame, title
bar included, sits at the top-left corner of the screen, so that the window
can be grabbed and moved.

Usage: tests/smoke/frame_test.py [--skip-code N] [path/to/rastiv]
Prints one line per check and a closing line "N passed, M failed"; exits 1
on any failure.  When it cannot run (a missing program is named in the SKIP
line) it exits 0, or N with --skip-code N.
"""

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
    """(frame x, frame y, client y) of the main window from `xwininfo -root -tree`,
    or None while it is not up and framed.  The frame is the child of the root
    window that holds the client; each line ends with the absolute position."""
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
    rastiv = os.path.abspath(common.ARGS[0]) if common.ARGS else os.environ.get("RASTIV_BIN", "")
    if not rastiv or not os.access(rastiv, os.X_OK):
        print("FAIL: no program at %r: build it first or pass its path" % rastiv)
        return 1
    for tool in ("Xvfb", "twm", "xwininfo"):
        if not shutil.which(tool):
            common.skip("%s is not installed (scripts/setup.sh installs it)" % tool)

    home = tempfile.mkdtemp(prefix="rastiv-frame-")
    session = common.Session(home)
    procs = session.procs
    passed = failed = 0

    def check(name, ok, detail=""):
        nonlocal passed, failed
        print(("PASS: " if ok else "FAIL: ") + name + ("" if ok else " (" + detail + ")"))
        if ok:
            passed += 1
        else:
            failed += 1

    try:
        try:
            session.start_x()
        except RuntimeError as e:
            common.skip(str(e))
        env = dict(session.env, QT_QPA_PLATFORM="xcb")
        # twm's default fonts are not always installed; "fixed" always is.
        with open(os.path.join(home, ".twmrc"), "w") as f:
            for key in ("TitleFont", "MenuFont", "IconFont", "ResizeFont", "IconManagerFont"):
                f.write('%s "fixed"\n' % key)
            f.write("RandomPlacement\n")
        procs.append(subprocess.Popen(["twm"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        program = subprocess.Popen([rastiv], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(program)

        found = None
        deadline = time.monotonic() + TIMEOUT_S
        while time.monotonic() < deadline and program.poll() is None:
            tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True).stdout
            found = main_window_frame(tree)
            if found and found[2] > found[1]:
                time.sleep(0.5)  # let the placement settle, then read it again
                tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True,
                                      text=True).stdout
                found = main_window_frame(tree)
                break
            time.sleep(0.2)
        if not found:
            check("the main window comes up framed by the window manager", False, "not seen in time")
        else:
            fx, fy, cy = found
            check("the main window comes up framed by the window manager", cy > fy,
                  "client at y=%d, frame at y=%d" % (cy, fy))
            check("the frame, title bar included, is at the top-left corner", (fx, fy) == (0, 0),
                  "frame at %d,%d" % (fx, fy))
    finally:
        session.stop()
        shutil.rmtree(home, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
