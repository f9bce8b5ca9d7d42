#!/usr/bin/python3
"""Smoke test of the real Rastiv program through the accessibility bus.

Starts a private X server (Xvfb), a D-Bus session and the AT-SPI bus, runs
the program with accessibility on, finds the main window's buttons by their
captions, presses one that needs a picture first, reads and answers the
message box, connects to the built-in virtual printer through the print
tool, maps and prints a picture, sets the paper type from the menu, and
leaves through Exit, which asks first about the unsaved picture.

Usage: tests/smoke/smoke_test.py [--skip-code N] [path/to/rastiv]
       (default: build/bin/rastiv beside this source tree, or $RASTIV_BIN)
Prints one line per check and a closing line "N passed, M failed"; exits 1
on any failure, 0 when everything passed.  After a failure it also prints the
last messages of the program and the bus services.  When it cannot run (a missing
package is named in the SKIP line) it exits 0, or N with --skip-code N so
that ctest can show it as skipped.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import types

OVERALL_TIMEOUT_S = 120
STEP_TIMEOUT_S = 20

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))


SKIP_CODE = 0
ARGS = sys.argv[1:]
if len(ARGS) >= 2 and ARGS[0] == "--skip-code":
    SKIP_CODE = int(ARGS[1])
    ARGS = ARGS[2:]


def skip(why):
    print("SKIP: " + why)
    print("0 passed, 0 failed (skipped)")
    sys.exit(SKIP_CODE)


def find_rastiv():
    if ARGS:
        return os.path.abspath(ARGS[0])
    if os.environ.get("RASTIV_BIN"):
        return os.path.abspath(os.environ["RASTIV_BIN"])
    return os.path.join(SOURCE, "build", "bin", "rastiv")


class Session:
    """Xvfb, a D-Bus session and the accessibility bus, torn down in reverse."""

    def __init__(self, home):
        self.procs = []
        self.home = home
        self.env = dict(os.environ)
        self.env.update({
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_RUNTIME_DIR": os.path.join(home, "run"),
            "NO_AT_BRIDGE": "0",
        })
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        # Nothing of the caller's desktop: an inherited bus address would send
        # the program and pyatspi to a bus that is not this session's.
        for key in ("WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_PID", "DBUS_STARTER_ADDRESS",
                    "DBUS_STARTER_BUS_TYPE"):
            self.env.pop(key, None)
            os.environ.pop(key, None)

    def start(self):
        read_fd, write_fd = os.pipe()
        # -noreset: by default the X server resets whenever its last client
        # leaves, and a client that connects just then is cut off.  dbus-launch
        # and the bus launcher (which publishes the bus address on the root
        # window) connect only briefly, so resets came while the registry and
        # the program were connecting: now and then the registry died in its
        # first call, or the program exited at once with "could not connect to
        # display".  A reset also wipes AT_SPI_BUS from the root window.
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                 "-noreset"],
                                pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write_fd)
        display = b""
        deadline = time.time() + STEP_TIMEOUT_S
        while not display.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            display += chunk
        os.close(read_fd)
        if not display.strip():
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display.decode().strip()

        out = subprocess.run(["dbus-launch", "--sh-syntax"], env=self.env, capture_output=True, text=True,
                             timeout=STEP_TIMEOUT_S, check=True).stdout
        for line in out.splitlines():
            if line.startswith("DBUS_SESSION_BUS_ADDRESS="):
                self.env["DBUS_SESSION_BUS_ADDRESS"] = line.split("=", 1)[1].strip().rstrip(";").strip("'")
            if line.startswith("DBUS_SESSION_BUS_PID="):
                self.dbus_pid = int(line.split("=", 1)[1].strip().rstrip(";"))

        # The services' messages go to a log that is shown when something fails.
        self.log = open(os.path.join(self.home, "services.log"), "w")
        launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"],
                                    env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        self.procs.append(launcher)
        # A program started before the accessibility bus is on the session bus
        # decides that nobody is listening and never shows up on it.  Ask the bus
        # daemon whether the name has an owner rather than calling org.a11y.Bus:
        # a call to a name nobody owns yet makes the session bus start a second
        # launcher of its own, and the two race for the name and the socket.
        wait_until("the accessibility bus launcher on the session bus",
                   lambda: self.dbus(["--session", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"]).endswith("true"),
                   alive=[launcher])
        reply = self.dbus(["--session", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"])
        if not reply.startswith("unix:"):
            raise RuntimeError("the accessibility bus has no address: %r" % reply)
        self.a11y_address = reply
        # The program announces itself to the registry once, when it starts; the
        # registry has to be up and answering by then.  Asking it for the list
        # of applications starts it on the accessibility bus and waits for it.
        wait_until("the accessibility registry",
                   lambda: self.dbus(["--bus=" + self.a11y_address, "--dest=org.a11y.atspi.Registry",
                                                 "/org/a11y/atspi/accessible/root",
                                                 "org.a11y.atspi.Accessible.GetChildren"]).startswith("array"),
                   alive=[launcher])
        # pyatspi talks to the buses named in this process's environment.
        for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME"):
            os.environ[key] = self.env[key]

    def dbus(self, args):
        """The reply of one D-Bus call through dbus-send, or "" when it failed."""
        try:
            probe = subprocess.run(["dbus-send", "--print-reply=literal", "--reply-timeout=%d" % (STEP_TIMEOUT_S * 1000)]
                                   + args, env=self.env, capture_output=True, text=True, timeout=STEP_TIMEOUT_S + 5)
        except subprocess.TimeoutExpired:
            return ""
        return probe.stdout.strip() if probe.returncode == 0 else ""

    def stop(self):
        if getattr(self, "log", None):
            self.log.close()
        if getattr(self, "dbus_pid", None):
            try:
                os.kill(self.dbus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()


def write_banded_bmp(path, shades, width=60, height=20):
    """An 8-bit picture of vertical bands: black, white, then one band per shade (r, g, b)."""
    import struct
    palette = [(0, 0, 0), (255, 255, 255)] + list(shades)
    palette += [(255, 255, 255)] * (256 - len(palette))
    stride = (width + 3) // 4 * 4
    bands = len(shades) + 2
    rows = b"".join(bytes(x * bands // width for x in range(width)) + b"\0" * (stride - width)
                    for _ in range(height))
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pal + rows)


def write_png(path, rows):
    """A 24-bit PNG of rows of (r, g, b) bytes, which the program converts on loading."""
    import struct
    import zlib

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", len(rows[0]) // 3, len(rows), 8, 2, 0, 0, 0)  # 8-bit RGB
    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
                + chunk(b"IEND", b""))


def write_banded_png(path, shades, width=60, height=20):
    """The same bands as a 24-bit PNG."""
    colours = [(0, 0, 0), (255, 255, 255)] + list(shades)
    write_png(path, [b"".join(bytes(colours[x * len(colours) // width]) for x in range(width))] * height)


def png_size(path):
    """(width, height) of a PNG file, or None when it is not one."""
    import struct
    data = open(path, "rb").read(24)
    if len(data) < 24 or data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", data[16:24])


def bmp_colours(path):
    """The set of (r, g, b) colours the pixels of an 8-bit BMP use."""
    import struct
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 8:
        return None
    stride = (width + 3) // 4 * 4
    used = {data[offset + y * stride + x] for y in range(abs(height)) for x in range(width)}
    return {(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in used}


def write_photo_png(path, width=96, height=48):
    """A photograph-like 24-bit PNG: a grey ramp from black to white, a pure red stripe below."""
    ramp = b"".join(bytes((g, g, g)) for g in (x * 255 // (width - 1) for x in range(width)))
    write_png(path, [bytes((255, 0, 0)) * width if y >= height * 3 // 4 else ramp for y in range(height)])


def photo_path(app, home, ui, check):
    import pyatspi
    """A photograph through Photo by accessible names: loaded, previewed and applied in one step.
    ui holds the session's helpers: wait_for, named, press, dialog, choose_file, close_box."""
    picture = os.path.join(home, "photo.png")
    write_photo_png(picture)
    name = "a photograph becomes dots of paper, black and highlight through Photo"
    try:
        ui.press(ui.wait_for("Load Bitmap", lambda: ui.named(app, "push button", "Load Bitmap")))
        # The mapped picture printed before is in no file, so loading another asks first.
        question = "Save the changes to the picture before loading another picture?"
        asked = lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == question)  # noqa: E731
        ui.press(ui.named(ui.wait_for("the replace question", asked).parent, "push button", "Discard"))
        ui.choose_file("Open a Bitmap File", picture, "Open")
        ui.close_box("This bitmap has 24 bits/pixel.")
        ui.press(ui.wait_for("Photo", lambda: ui.named(app, "push button", "Photo")))
        photo = ui.wait_for("the Photo dialog", lambda: ui.dialog("Photo"))
        ui.wait_for("its preview", lambda: pyatspi.findDescendant(
            photo, lambda a: a is not None and a.name == "Preview of the printed dots"))
        ui.press(ui.wait_for("its Apply", lambda: ui.named(photo, "push button", "Apply")))
        ui.wait_for("the Photo dialog to close", lambda: ui.dialog("Photo") is None)
        working = [os.path.join(d, f) for d, _, fs in os.walk(home) for f in fs if f == "tmpfile.bmp"]
        colours = bmp_colours(working[0]) if working else None
        inks = {(0, 0, 0), (255, 255, 255), (255, 0, 0)}
        check(name, colours is not None and colours == inks, "now %r" % (colours,))
    except TimeoutError as e:
        check(name, False, str(e))


def file_menu_habits(app, ui, check):
    import pyatspi
    """The File menu's items and keys, the unsaved mark in the title and Quit's question (the picture unsaved)."""
    keys = {"Open...": "o", "Open Recent": "", "Save": "s", "Save As...": "s", "Export as PNG...": "e",
            "Print...": "p", "Exit": "", "Quit": "q"}
    item = lambda n: ui.named(app, "menu", n) or ui.named(app, "menu item", n)  # noqa: E731
    # "Ctrl+O" as Qt writes it, or "<Control>o" as the bus may.
    binding = lambda n: item(n).queryAction().getKeyBinding(0).lower() if keys[n] else "ctrl"  # noqa: E731
    question = "Save the changes to the picture before quitting?"
    asked = lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == question)  # noqa: E731
    try:
        ui.wait_for("the File menu's items", lambda: all(item(n) for n in keys))
        wrong = [n for n in keys if "ctrl" not in binding(n) and "control" not in binding(n)
                 or not binding(n).endswith(keys[n])]
        check("the File menu's items are there with their keys", not wrong, "wrong: %r" % wrong)
        frame = ui.wait_for("the main window", lambda: pyatspi.findDescendant(
            app, lambda a: a is not None and a.getRoleName() == "frame" and a.name.endswith("Rastiv")))
        try:
            ui.press(item("Quit"))
        except Exception:  # a menu item acts before it answers, and the question waits
            pass
        ui.press(ui.named(ui.wait_for("the quit question", asked).parent, "push button", "Cancel"))
        ui.wait_for("the question to go, the program staying", lambda: asked() is None)
        check("the title marks the unsaved picture and Quit asks first", "*" in frame.name, frame.name)
    except TimeoutError as e:
        check("the File menu, the unsaved mark and Quit", False, str(e))


def wide_photo_printed(app, home, ui, check):
    """An 800-pixel photograph through Photo to the virtual printer in at most 8 actions (an error box stops it)."""
    import pyatspi
    picture, actions = os.path.join(home, "wide_photo.png"), []
    write_photo_png(picture, width=800, height=120)

    def act(what, root):
        actions.append(what)
        ui.press(ui.wait_for(what, lambda: ui.named(root(), "push button", what)))
    try:
        act("Load Bitmap", lambda: app)
        asked = lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name.startswith("Save the"))  # noqa
        if ui.wait_for("a question or the file", lambda: asked() or ui.dialog("Open a Bitmap File")).name[:4] == "Save":
            ui.press(ui.wait_for("Discard", lambda: ui.named(asked().parent, "push button", "Discard")))
        actions += ["the file", "OK to the 24-bit notice"]
        ui.choose_file("Open a Bitmap File", picture, "Open")
        ui.close_box("This bitmap has 24 bits/pixel.")
        act("Photo", lambda: app)
        act("Apply", lambda: ui.dialog("Photo"))
        ui.wait_for("the Photo dialog to close", lambda: ui.dialog("Photo") is None)
        act("Print...", lambda: app)
        act("Send Graphic to the Printer", lambda: ui.dialog("Print a Graphic"))
        ui.wait_for("the status line", lambda: pyatspi.findDescendant(ui.dialog("Print a Graphic"), lambda a: (
            a is not None and a.getRoleName() == "label" and a.name.startswith("Done: "))))
        check("an 800-pixel photograph printed through Photo in at most 8 actions", len(actions) <= 8, ", ".join(actions))
        ui.press(ui.wait_for("the print dialog's Exit", lambda: [b for b in [ui.named(ui.dialog(
            "Print a Graphic"), "push button", "Exit")] if b.getState().contains(pyatspi.STATE_SENSITIVE)])[0])
        ui.wait_for("the print dialog to close", lambda: ui.dialog("Print a Graphic") is None)
    except TimeoutError as e:
        check("an 800-pixel photograph printed through Photo", False, "%s after %s" % (e, ", ".join(actions)))


class ProcessDied(RuntimeError):
    pass


def wait_until(what, probe, timeout=STEP_TIMEOUT_S, alive=()):
    """Polls probe until it returns something true.  Gives up at once when one
    of the processes in alive has ended: nothing it should bring will come."""
    deadline = time.time() + timeout
    while True:
        try:
            found = probe()
        except Exception:  # the tree changes under us while windows come and go
            found = None
        if found:
            return found
        for p in alive:
            if p.poll() is not None:
                raise ProcessDied("%s ended with exit code %d while waiting for %s" % (p.args[0], p.returncode, what))
        if time.time() >= deadline:
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(0.2)


def main():
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(TimeoutError("smoke test took too long")))
    signal.alarm(OVERALL_TIMEOUT_S)

    for tool in ("Xvfb", "dbus-launch"):
        if shutil.which(tool) is None:
            skip("%s is not installed (packages xvfb, dbus-x11)" % tool)
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        skip("the accessibility bus is not installed (package at-spi2-core)")
    rastiv = find_rastiv()
    if not os.access(rastiv, os.X_OK):
        print("FAIL: no program at %s: build it first or pass its path" % rastiv)
        print("0 passed, 1 failed")
        return 1

    results = []

    def check(name, ok, detail=""):
        results.append(ok)
        print("%s: %s%s" % ("PASS" if ok else "FAIL", name, (" (" + detail + ")") if detail and not ok else ""))

    home = tempfile.mkdtemp(prefix="rastiv-smoke-")
    session = Session(home)
    program = None
    show_log = False
    try:
        session.start()
        try:
            import pyatspi  # noqa: imported late: it binds to the buses started above
        except ImportError:
            skip("pyatspi is missing (package python3-pyatspi)")

        # Port entry COM1 stands for the built-in virtual printer, so the
        # printer path can be driven without hardware.
        config = os.path.join(home, ".config", "Vru")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "Rastiv.conf"), "w") as f:
            f.write("[Printer]\nCOM1=virtual\n")

        env = dict(session.env)
        env.update({"QT_ACCESSIBILITY": "1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_QPA_PLATFORM": "xcb"})
        program = subprocess.Popen([rastiv], env=env, stdout=session.log, stderr=subprocess.STDOUT)

        def wait_for(what, probe, timeout=STEP_TIMEOUT_S):
            return wait_until(what, probe, timeout, alive=[program])

        def rastiv_app():
            # Ask the registry afresh each time instead of trusting a list
            # remembered from an earlier look, and know the program by its
            # process rather than by a caption it might share.
            desktop = pyatspi.Registry.getDesktop(0)
            desktop.clearCache()
            for app in desktop:
                if app is None:
                    continue
                try:
                    pid = app.get_process_id()
                except Exception:
                    pid = None
                if pid == program.pid or (pid is None and app.name == "Rastiv"):
                    return app
            return None

        def named(root, role, name):
            return pyatspi.findDescendant(root, lambda a: a is not None and a.getRoleName() == role
                                          and a.name == name)

        def press(button):
            action = button.queryAction()
            for i in range(action.nActions):
                if action.getName(i) in ("press", "Press", "click"):
                    action.doAction(i)
                    return
            action.doAction(0)

        # 1. After the splash, the main window shows its five steps.
        captions = ["Load Bitmap", "Re-size", "Modify Colors", "Save Options...", "Exit"]
        try:
            app = wait_for("the Rastiv application on the accessibility bus", rastiv_app)
            buttons = wait_for("the main window's step buttons",
                               lambda: [named(app, "push button", c) for c in captions]
                               if all(named(app, "push button", c) for c in captions) else None)
            check("main window shows the five step buttons", len(buttons) == 5)
        except (TimeoutError, ProcessDied) as e:
            check("main window shows the five step buttons", False, str(e))
            raise

        # 2. Re-size needs a picture: the program says so in a message box.
        expected = "You have not loaded a BMP file into this utility yet."
        press(buttons[1])
        try:
            label = wait_for("the Re-size Error box",
                             lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == expected))
            box = label
            while box is not None and box.getRoleName() not in ("dialog", "alert", "frame", "window"):
                box = box.parent
            title = box.name if box is not None else ""
            ok_button = named(box, "push button", "OK") if box is not None else None
            help_button = named(box, "push button", "Help") if box is not None else None
            good = title == "Re-size Error" and ok_button is not None and help_button is not None
            check("Re-size without a picture explains itself", good,
                  "title %r, OK %s, Help %s" % (title, ok_button is not None, help_button is not None))
            if ok_button is not None:
                press(ok_button)
            wait_for("the box to close",
                     lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == expected) is None)
        except TimeoutError as e:
            check("Re-size without a picture explains itself", False, str(e))

        # 3. Print connects to the printer first, then offers the print dialog,
        #    which explains that there is nothing to print yet.
        def dialog(title):
            return pyatspi.findDescendant(app, lambda a: a is not None and a.getRoleName() == "dialog"
                                          and a.name == title)

        def choose_file(title, path, button):
            """Types a path into the file dialog titled `title` and presses `button`."""
            chooser = wait_for("the %s dialog" % title, lambda: dialog(title))
            box = wait_for("its file name box", lambda: pyatspi.findDescendant(
                chooser, lambda a: a is not None and a.getRoleName() == "text" and "name" in a.name.lower()))
            box.queryEditableText().setTextContents(path)
            press(wait_for("its %s button" % button, lambda: named(chooser, "push button", button)))
            wait_for("the dialog to close", lambda: dialog(title) is None)

        try:
            press(wait_for("the Print button", lambda: named(app, "push button", "Print...")))
            comm = wait_for("the Communication Configuration dialog", lambda: dialog("Communication Configuration"))
            press(wait_for("its Connect button", lambda: named(comm, "push button", "Connect")))
            printing = wait_for("the Print a Graphic dialog", lambda: dialog("Print a Graphic"))
            press(wait_for("Send Graphic to the Printer",
                           lambda: named(printing, "push button", "Send Graphic to the Printer")))
            expected = "You must load a BMP file before you can print anything."
            label = wait_for("the Parameter Error box",
                             lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == expected))
            box = label
            while box is not None and box.getRoleName() not in ("dialog", "alert", "frame", "window"):
                box = box.parent
            check("Print connects to the virtual printer and explains that nothing is loaded",
                  box is not None and box.name == "Parameter Error", "box %r" % (box.name if box else None))
            press(named(box, "push button", "OK"))
            wait_for("the box to close",
                     lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == expected) is None)
            press(wait_for("the print dialog's Exit", lambda: named(dialog("Print a Graphic"), "push button", "Exit")))
            wait_for("the print dialog to close", lambda: dialog("Print a Graphic") is None)
        except TimeoutError as e:
            check("Print connects to the virtual printer and explains that nothing is loaded", False, str(e))

        # 4. A picture through the colour workflow by accessible names alone, as
        #    a screen-reader user would: open it, translate its colours, give
        #    each image colour a printer colour, re-map.
        picture = os.path.join(home, "bands.png")
        write_banded_png(picture, [(200, 30, 40), (30, 160, 60), (90, 90, 200)])
        name = "colours translated and mapped to printable ones over the accessibility bus"
        try:
            press(wait_for("Load Bitmap", lambda: named(app, "push button", "Load Bitmap")))
            choose_file("Open a Bitmap File", picture, "Open")
            # A PNG holds true colour: the program says it converts it first.
            notice = "This bitmap has 24 bits/pixel."
            label = wait_for("the Bitmap Translation Message", lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name.startswith(notice)))
            box = label
            while box is not None and box.getRoleName() not in ("dialog", "alert", "frame", "window"):
                box = box.parent
            press(named(box, "push button", "OK"))
            wait_for("the notice to close", lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name.startswith(notice)) is None)

            press(wait_for("Modify Colors", lambda: named(app, "push button", "Modify Colors")))
            translation = wait_for("the Color Translation dialog", lambda: dialog("Color Translation"))
            press(wait_for("its OK", lambda: named(translation, "push button", "OK")))
            mapping = wait_for("the Manual Color Translation dialog", lambda: dialog("Manual Color Translation"))
            # Named with the colour in words and its share: "Image color 1, olive green, 73 %".
            boxes = wait_for("the image colours", lambda: [b for b in (pyatspi.findDescendant(
                mapping, lambda a, k=k: a is not None and a.name.startswith("Image color %d, " % k))
                for k in range(1, 10)) if b])
            printer = ["Black", "White", "Color", "50% Black (2x2 Dithered)", "75% Color (2x2 Dithered)"]
            for k, image_colour in enumerate(boxes):
                wanted = printer[k % len(printer)]
                press(image_colour)
                press(wait_for(wanted, lambda: named(mapping, "push button", wanted)))
                # The box tells what it was given once the swatch has let go.
                wait_for("image color %d to be %s" % (k + 1, wanted),
                         lambda: image_colour.description.endswith("printer color: " + wanted.strip()))
            press(named(mapping, "push button", "Re-Map!"))
            wait_for("the mapping to finish", lambda: dialog("Manual Color Translation") is None)
            working = [os.path.join(d, f) for d, _, fs in os.walk(home) for f in fs if f == "tmpfile.bmp"]
            colours = bmp_colours(working[0]) if working else None
            black_white = {(0, 0, 0), (255, 255, 255)}
            printable = colours is not None and (colours <= black_white | {(255, 0, 0)}
                                                 or colours <= black_white | {(0, 0, 255)})
            check(name, len(boxes) == 5 and printable, "%d image colours, now %r" % (len(boxes), colours))
        except TimeoutError as e:
            check(name, False, str(e))

        # 5. The mapped picture printed on the virtual printer: the print
        #    dialog says in its status line, not in a box, that it went out;
        #    the virtual printer shows the receipt in a window of its own, and
        #    the receipt is saved as a PNG one dot per pixel, 576 wide.
        receipt = os.path.join(home, "receipt.png")
        name = "the picture printed on the virtual printer and its receipt saved as a PNG"
        try:
            press(wait_for("the Print button", lambda: named(app, "push button", "Print...")))
            printing = wait_for("the Print a Graphic dialog", lambda: dialog("Print a Graphic"))
            check("the print dialog shows no Cancel while it is not sending",
                  named(printing, "push button", "Cancel") is None
                  or not named(printing, "push button", "Cancel").getState().contains(pyatspi.STATE_SHOWING))
            press(wait_for("Send Graphic to the Printer",
                           lambda: named(printing, "push button", "Send Graphic to the Printer")))
            done = wait_for("the status line", lambda: pyatspi.findDescendant(
                printing, lambda a: a is not None and a.getRoleName() == "label" and a.name.startswith("Done: ")))
            check("a print says in the dialog's status line that the graphic went out",
                  done.name.endswith("bytes of the graphic were sent, then the paper feed."), done.name)
            # A plain top-level widget: Qt 6.4 gives it the role "filler".
            window = wait_for("the Virtual Printer window", lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name == "Virtual Printer"))

            # The dialog's buttons come back once the graphic has been sent.
            def usable_exit():
                d = dialog("Print a Graphic")
                b = named(d, "push button", "Exit") if d is not None else None
                return b if b is not None and b.getState().contains(pyatspi.STATE_SENSITIVE) else None
            press(wait_for("the print dialog's Exit to be usable", usable_exit))
            wait_for("the print dialog to close", lambda: dialog("Print a Graphic") is None)
            press(wait_for("its Save Image...", lambda: named(window, "push button", "Save Image...")))
            choose_file("Save Receipt Image", receipt, "Save")
            size = wait_for("the receipt file", lambda: os.path.exists(receipt) and png_size(receipt))
            check(name, size is not None and size[0] == 576, "size %r" % (size,))
        except TimeoutError as e:
            check(name, False, str(e))

        # 5b. A photograph through the Photo path.
        def close_box(starts):
            label = wait_for("the box saying " + starts, lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name.startswith(starts)))
            box = label
            while box is not None and box.getRoleName() not in ("dialog", "alert", "frame", "window"):
                box = box.parent
            press(named(box, "push button", "OK"))
            wait_for("the box to close", lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name.startswith(starts)) is None)
        ui = types.SimpleNamespace(wait_for=wait_for, named=named, press=press, dialog=dialog,
                                   choose_file=choose_file, close_box=close_box)
        photo_path(app, home, ui, check)
        file_menu_habits(app, ui, check)

        # 5c. A photograph wider than the paper, from the file to the receipt.
        wide_photo_printed(app, home, ui, check)

        # 6. The paper type, chosen from the menu, is marked there and reported in the status bar.
        name = "the paper type sent is marked in the menu and reported as done"
        try:
            item = wait_for("Color > Media > Type 1", lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name == "Type 1 (Kanzaki P-310RB Red/Black)"))
            try:
                press(item)
            except Exception:  # a menu item acts before it answers, and waits for the printer
                pass
            done = wait_for("the status line", lambda: pyatspi.findDescendant(
                app, lambda a: a is not None and a.name.startswith("Done: the printer was told Type 1")))
            check(name, item.getState().contains(pyatspi.STATE_CHECKED), done.name)
        except TimeoutError as e:
            check(name, False, str(e))

        # 7. Exit asks first, the mapped picture being in no file: Cancel stays, Discard ends cleanly.
        question = "Save the changes to the picture before quitting?"
        asked = lambda: pyatspi.findDescendant(app, lambda a: a is not None and a.name == question)  # noqa: E731
        for button in ("Cancel", "Discard"):
            press(wait_for("the Exit button", lambda: named(app, "push button", "Exit")))
            press(named(wait_for("the quit question", asked).parent, "push button", button))
            if button == "Cancel":
                wait_for("the question to go, the program staying", lambda: asked() is None)
        try:
            code = program.wait(STEP_TIMEOUT_S)
            check("Exit asks about the unsaved picture; Cancel stays, Discard ends", code == 0, "exit code %d" % code)
        except subprocess.TimeoutExpired:
            check("Exit asks about the unsaved picture; Cancel stays, Discard ends", False, "still running")
    except Exception as e:  # a broken session is a failure, reported as one line
        check("smoke session", False, "%s: %s" % (type(e).__name__, e))
        show_log = True
    finally:
        signal.alarm(0)
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        session.stop()
        if show_log or not all(results):
            # What the program and the bus services said is the first clue.
            try:
                with open(os.path.join(home, "services.log"), errors="replace") as f:
                    lines = f.read().splitlines()[-40:]
            except OSError:
                lines = []
            for line in lines:
                print("  log: " + line)
        shutil.rmtree(home, ignore_errors=True)

    passed = sum(1 for r in results if r)
    failed = len(results) - passed
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not results else 0


if __name__ == "__main__":
    sys.exit(main())
