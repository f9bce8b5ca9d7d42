#!/usr/bin/python3
"""The real Rastiv program driven by accessible names alone, under Xvfb, D-Bus and the AT-SPI bus.

Usage: tests/smoke/smoke_test.py [--skip-code N] [path/to/rastiv]   (default: build/bin/rastiv or $RASTIV_BIN)
One line per check, then "N passed, M failed" (exit 1 on a failure, with the last lines of the services' log);
when a package is missing it says SKIP and exits 0, or N with --skip-code N."""

import contextlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

OVERALL_TIMEOUT_S = 120
STEP_TIMEOUT_S = 20

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
    source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    return os.path.abspath(ARGS[0] if ARGS else os.environ.get("RASTIV_BIN") or source + "/build/bin/rastiv")


class Session:
    """Xvfb, a D-Bus session and the accessibility bus, torn down in reverse."""

    def __init__(self, home):
        self.procs, self.home = [], home
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_DATA_HOME=home + "/.local/share",
                        XDG_RUNTIME_DIR=home + "/run", NO_AT_BRIDGE="0")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        # An inherited bus address would send the program and pyatspi to another session's bus.
        for key in ("WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_PID", "DBUS_STARTER_ADDRESS",
                    "DBUS_STARTER_BUS_TYPE"):
            self.env.pop(key, None)
            os.environ.pop(key, None)

    def start_x(self):
        """The private X server alone; DISPLAY names it in self.env."""
        read_fd, write_fd = os.pipe()
        # -noreset: a reset when a brief client (dbus-launch, the bus launcher) leaves cuts off whoever is
        # connecting just then, the registry or the program, and wipes AT_SPI_BUS from the root window.
        self.procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                                            "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_fd)
        with os.fdopen(read_fd, "rb") as pipe:  # the display's number once it is up; nothing when it ended
            display = pipe.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display.decode()

    def start(self):
        """The X server, the session bus and the accessibility bus with its registry."""
        self.start_x()
        out = subprocess.run(["dbus-launch", "--sh-syntax"], env=self.env, capture_output=True, text=True,
                             timeout=STEP_TIMEOUT_S, check=True).stdout
        for line in out.splitlines():
            if line.startswith("DBUS_SESSION_BUS_ADDRESS="):
                self.env["DBUS_SESSION_BUS_ADDRESS"] = line.split("=", 1)[1].strip().rstrip(";").strip("'")
            if line.startswith("DBUS_SESSION_BUS_PID="):
                self.dbus_pid = int(line.split("=", 1)[1].strip().rstrip(";"))

        self.log = open(os.path.join(self.home, "services.log"), "w")
        launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"],
                                    env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        self.procs.append(launcher)
        # A program started before the accessibility bus is up never shows on it.  Ask whether the name has
        # an owner: a call to it would make the session bus start a second launcher, racing this one.
        wait_until("the accessibility bus launcher on the session bus",
                   lambda: self.dbus(["--session", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"]).endswith("true"),
                   alive=[launcher])
        reply = self.dbus(["--session", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"])
        if not reply.startswith("unix:"):
            raise RuntimeError("the accessibility bus has no address: %r" % reply)
        # The program announces itself to the registry once, at its start: a call starts the registry first.
        wait_until("the accessibility registry",
                   lambda: self.dbus(["--bus=" + reply, "--dest=org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
                                      "org.a11y.atspi.Accessible.GetChildren"]).startswith("array"), alive=[launcher])
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
            with contextlib.suppress(ProcessLookupError):
                os.kill(self.dbus_pid, signal.SIGTERM)
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()


def write_png(path, rows):
    """A 24-bit PNG of rows of (r, g, b) bytes, which the program converts on loading."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", len(rows[0]) // 3, len(rows), 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(
            b"\0" + row for row in rows))) + chunk(b"IEND", b""))


def write_photo_png(path, width=800, height=120):
    """A grey ramp from black to white, a pure red stripe below."""
    ramp = b"".join(bytes((g, g, g)) for g in (x * 255 // (width - 1) for x in range(width)))
    write_png(path, [bytes((255, 0, 0)) * width if y >= height * 3 // 4 else ramp for y in range(height)])


def working_colours(home):
    """The set of (r, g, b) colours the pixels of the 8-bit working bitmap use, or None."""
    working = [os.path.join(d, f) for d, _, fs in os.walk(home) for f in fs if f == "tmpfile.bmp"]
    if not working:
        return None
    data = open(working[0], "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    stride = (width + 3) // 4 * 4
    used = {data[offset + y * stride + x] for y in range(abs(height)) for x in range(width)} if bits == 8 else ()
    return {(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in used} if bits == 8 else None


class ProcessDied(RuntimeError):
    pass


def wait_until(what, probe, timeout=STEP_TIMEOUT_S, alive=()):
    """Polls probe until it returns something true; gives up at once when a process in alive has ended."""
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


class Ui:
    """The program as the accessibility bus shows it: things found, waited for and pressed by their names."""

    def __init__(self, program, pyatspi):
        self.program, self.at, self.app = program, pyatspi, None

    def wait_for(self, what, probe, timeout=STEP_TIMEOUT_S):
        return wait_until(what, probe, timeout, alive=[self.program])

    def find_app(self):
        # Asked afresh each time, the program known by its process rather than by a caption it may share.
        desktop = self.at.Registry.getDesktop(0)
        desktop.clearCache()
        for app in filter(None, desktop):
            try:
                pid = app.get_process_id()
            except Exception:
                pid = None
            if pid == self.program.pid or (pid is None and app.name == "Rastiv"):
                return app
        return None

    def find(self, test, root=None):
        """The first accessible under root (the whole program) that passes test."""
        return self.at.findDescendant(self.app if root is None else root, lambda a: a is not None and test(a))

    def saying(self, start):
        return self.find(lambda a: a.name.startswith(start))

    def named(self, root, role, name):
        return self.find(lambda a: a.getRoleName() == role and a.name == name, root)

    def button(self, caption, root=None):
        """Waits for the push button captioned caption in root() (a window that may not be up yet), or anywhere."""
        def probe():
            where = root() if root else self.app
            return self.named(where, "push button", caption) if where is not None else None
        return self.wait_for(caption, probe)

    def press(self, button):
        action = button.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("press", "Press", "click"):
                action.doAction(i)
                return
        action.doAction(0)

    def dialog(self, title):
        return self.find(lambda a: a.getRoleName() == "dialog" and a.name == title)

    def gone(self, what, probe):
        self.wait_for(what + " to close", lambda: probe() is None)

    def box(self, start):
        box = self.wait_for("the box saying " + start, lambda: self.saying(start))
        while box is not None and box.getRoleName() not in ("dialog", "alert", "frame", "window"):
            box = box.parent
        return box

    def close_box(self, start, button="OK"):
        self.press(self.named(self.box(start), "push button", button))
        self.gone("the box saying " + start, lambda: self.saying(start))

    def answer(self, question, button):
        asked = lambda: self.find(lambda a: a.name == question)  # noqa: E731
        self.press(self.named(self.wait_for("the question " + question, asked).parent, "push button", button))
        self.gone("the question", asked)

    def choose_file(self, title, path, button):
        chooser = self.wait_for("the %s dialog" % title, lambda: self.dialog(title))
        box = self.wait_for("its file name box", lambda: self.find(
            lambda a: a.getRoleName() == "text" and "name" in a.name.lower(), chooser))
        box.queryEditableText().setTextContents(path)
        self.press(self.button(button, lambda: chooser))
        self.gone("the " + title + " dialog", lambda: self.dialog(title))

    def leave_print_dialog(self):
        def usable_exit():
            d = self.dialog("Print a Graphic")
            b = self.named(d, "push button", "Exit") if d is not None else None
            return b if b is not None and b.getState().contains(self.at.STATE_SENSITIVE) else None
        self.press(self.wait_for("the print dialog's Exit to be usable", usable_exit))
        self.gone("the print dialog", lambda: self.dialog("Print a Graphic"))

    def load(self, picture, discard=False):
        self.press(self.button("Load Bitmap"))
        if discard:  # the picture on screen is in no file
            self.answer("Save the changes to the picture before loading another picture?", "Discard")
        self.choose_file("Open a Bitmap File", picture, "Open")
        self.close_box("This bitmap has 24 bits/pixel.")  # a PNG holds true colour: converted first

    def sent(self, printing):
        """The print dialog's status line once the graphic went out."""
        return self.wait_for("the status line", lambda: self.find(
            lambda a: a.getRoleName() == "label" and a.name.startswith("Done: "), printing))


@contextlib.contextmanager
def step(check, name):
    """Runs a step; a wait that times out in it fails the check called name."""
    try:
        yield name
    except TimeoutError as e:
        check(name, False, str(e))


def step_buttons_and_boxes(ui, check):
    """The five step buttons; Re-size and Print (on the virtual printer) without a picture explain themselves."""
    captions = ["Load Bitmap", "Re-size", "Modify Colors", "Save Options...", "Exit"]
    try:
        ui.app = ui.wait_for("the Rastiv application on the accessibility bus", ui.find_app)
        buttons = ui.wait_for("the main window's step buttons", lambda: [ui.named(ui.app, "push button", c)
                              for c in captions] if all(ui.named(ui.app, "push button", c) for c in captions) else None)
        check("main window shows the five step buttons", len(buttons) == 5)
    except (TimeoutError, ProcessDied) as e:
        check("main window shows the five step buttons", False, str(e))
        raise

    expected = "You have not loaded a BMP file into this utility yet."
    ui.press(buttons[1])
    with step(check, "Re-size without a picture explains itself") as name:
        box = ui.box(expected)
        buttons = [ui.named(box, "push button", b) is not None for b in ("OK", "Help")]
        check(name, box.name == "Re-size Error" and all(buttons), "title %r, OK and Help %r" % (box.name, buttons))
        ui.close_box(expected)

    with step(check, "Print connects to the virtual printer and explains that nothing is loaded") as name:
        ui.press(ui.button("Print..."))
        ui.press(ui.button("Connect", lambda: ui.dialog("Communication Configuration")))
        ui.press(ui.button("Send Graphic to the Printer", lambda: ui.dialog("Print a Graphic")))
        expected = "You must load a BMP file before you can print anything."
        box = ui.box(expected)
        check(name, box is not None and box.name == "Parameter Error", "box %r" % (box.name if box else None))
        ui.close_box(expected)
        ui.press(ui.button("Exit", lambda: ui.dialog("Print a Graphic")))
        ui.gone("the print dialog", lambda: ui.dialog("Print a Graphic"))


def colours_mapped(ui, home, check):
    """A picture's colours translated, each image colour given a printer colour, re-mapped."""
    picture = os.path.join(home, "bands.png")
    colours = [(0, 0, 0), (255, 255, 255), (200, 30, 40), (30, 160, 60), (90, 90, 200)]
    write_png(picture, [b"".join(bytes(colours[x * len(colours) // 60]) for x in range(60))] * 20)
    with step(check, "colours translated and mapped to printable ones over the accessibility bus") as name:
        ui.load(picture)
        ui.press(ui.button("Modify Colors"))
        ui.press(ui.button("OK", lambda: ui.dialog("Color Translation")))
        mapping = ui.wait_for("the Manual Color Translation dialog", lambda: ui.dialog("Manual Color Translation"))
        # Named with the colour in words and its share: "Image color 1, olive green, 73 %".
        boxes = ui.wait_for("the image colours", lambda: [b for b in (ui.find(
            lambda a, k=k: a.name.startswith("Image color %d, " % k), mapping) for k in range(1, 10)) if b])
        printer = ["Black", "White", "Color", "50% Black (2x2 Dithered)", "75% Color (2x2 Dithered)"]
        for k, image_colour in enumerate(boxes):
            wanted = printer[k % len(printer)]
            ui.press(image_colour)
            ui.press(ui.button(wanted, lambda: mapping))
            # The box tells what it was given once the swatch has let go.
            ui.wait_for("image color %d to be %s" % (k + 1, wanted),
                        lambda: image_colour.description.endswith("printer color: " + wanted.strip()))
        ui.press(ui.named(mapping, "push button", "Re-Map!"))
        ui.gone("the mapping", lambda: ui.dialog("Manual Color Translation"))
        colours = working_colours(home)
        black_white = {(0, 0, 0), (255, 255, 255)}
        printable = colours is not None and (colours <= black_white | {(255, 0, 0)}
                                             or colours <= black_white | {(0, 0, 255)})
        check(name, len(boxes) == 5 and printable, "%d image colours, now %r" % (len(boxes), colours))


def printed_and_saved(ui, home, check):
    """The status line, not a box, says it went out; the receipt is saved as a PNG one dot per pixel, 576 wide."""
    receipt = os.path.join(home, "receipt.png")
    with step(check, "the picture printed on the virtual printer and its receipt saved as a PNG") as name:
        ui.press(ui.button("Print..."))
        printing = ui.wait_for("the Print a Graphic dialog", lambda: ui.dialog("Print a Graphic"))
        cancel = ui.named(printing, "push button", "Cancel")
        check("the print dialog shows no Cancel while it is not sending",
              cancel is None or not cancel.getState().contains(ui.at.STATE_SHOWING))
        ui.press(ui.button("Send Graphic to the Printer", lambda: printing))
        done = ui.sent(printing)
        check("a print says in the dialog's status line that the graphic went out",
              done.name.endswith("bytes of the graphic were sent, then the paper feed."), done.name)
        # A plain top-level widget: Qt 6.4 gives it the role "filler".
        window = ui.wait_for("the Virtual Printer window", lambda: ui.find(lambda a: a.name == "Virtual Printer"))
        ui.leave_print_dialog()
        ui.press(ui.button("Save Image...", lambda: window))
        ui.choose_file("Save Receipt Image", receipt, "Save")
        head = ui.wait_for("the receipt file", lambda: os.path.exists(receipt) and open(receipt, "rb").read(24))
        size = struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None
        check(name, size is not None and size[0] == 576, "size %r" % (size,))


def photo_path(ui, home, check):
    """An 800-pixel photograph through Photo, previewed and applied in one step, then printed: 8 actions in all."""
    picture = os.path.join(home, "photo.png")
    write_photo_png(picture)
    actions = ["Load Bitmap", "the file", "OK to the 24-bit notice", "Photo", "Apply", "Print...", "Send"]
    with step(check, "a photograph becomes dots of paper, black and highlight through Photo") as name:
        ui.load(picture, discard=True)  # the mapped picture printed before is in no file
        ui.press(ui.button("Photo"))
        photo = ui.wait_for("the Photo dialog", lambda: ui.dialog("Photo"))
        ui.wait_for("its preview", lambda: ui.find(lambda a: a.name == "Preview of the printed dots", photo))
        ui.press(ui.button("Apply", lambda: photo))
        ui.gone("the Photo dialog", lambda: ui.dialog("Photo"))
        colours = working_colours(home)
        check(name, colours == {(0, 0, 0), (255, 255, 255), (255, 0, 0)}, "now %r" % (colours,))
    with step(check, "an 800-pixel photograph printed through Photo in at most 8 actions") as name:
        ui.press(ui.button("Print..."))
        ui.press(ui.button("Send Graphic to the Printer", lambda: ui.dialog("Print a Graphic")))
        ui.sent(ui.wait_for("the print dialog", lambda: ui.dialog("Print a Graphic")))
        check(name, len(actions) <= 8, ", ".join(actions))
        ui.leave_print_dialog()


def file_menu_habits(ui, check):
    """The File menu's items and keys, the unsaved mark in the title and Quit's question."""
    keys = {"Open...": "o", "Open Recent": "", "Save": "s", "Save As...": "s", "Export as PNG...": "e",
            "Print...": "p", "Exit": "", "Quit": "q"}
    item = lambda n: ui.named(ui.app, "menu", n) or ui.named(ui.app, "menu item", n)  # noqa: E731
    # "Ctrl+O" as Qt writes it, or "<Control>o" as the bus may.
    binding = lambda n: item(n).queryAction().getKeyBinding(0).lower() if keys[n] else "ctrl"  # noqa: E731
    with step(check, "the File menu, the unsaved mark and Quit"):
        ui.wait_for("the File menu's items", lambda: all(item(n) for n in keys))
        wrong = [n for n in keys if "ctrl" not in binding(n) and "control" not in binding(n)
                 or not binding(n).endswith(keys[n])]
        check("the File menu's items are there with their keys", not wrong, "wrong: %r" % wrong)
        frame = ui.wait_for("the main window", lambda: ui.find(
            lambda a: a.getRoleName() == "frame" and a.name.endswith("Rastiv")))
        with contextlib.suppress(Exception):  # a menu item acts before it answers, and the question waits
            ui.press(item("Quit"))
        ui.answer("Save the changes to the picture before quitting?", "Cancel")
        check("the title marks the unsaved picture and Quit asks first", "*" in frame.name, frame.name)


def paper_type_and_exit(ui, program, check):
    """The paper type is marked in the menu and reported; Exit asks first: Cancel stays, Discard ends cleanly."""
    with step(check, "the paper type sent is marked in the menu and reported as done") as name:
        item = ui.wait_for("Color > Media > Type 1", lambda: ui.find(
            lambda a: a.name == "Type 1 (Kanzaki P-310RB Red/Black)"))
        with contextlib.suppress(Exception):  # a menu item acts before it answers, and waits for the printer
            ui.press(item)
        done = ui.wait_for("the status line", lambda: ui.saying("Done: the printer was told Type 1"))
        check(name, item.getState().contains(ui.at.STATE_CHECKED), done.name)

    question = "Save the changes to the picture before quitting?"
    ui.press(ui.button("Exit"))
    ui.answer(question, "Cancel")
    ui.press(ui.button("Exit"))
    # The program ends: nothing is left to wait for.
    ui.press(ui.named(ui.wait_for("the quit question", lambda: ui.find(lambda a: a.name == question)).parent,
                      "push button", "Discard"))
    name = "Exit asks about the unsaved picture; Cancel stays, Discard ends"
    try:
        code = program.wait(STEP_TIMEOUT_S)
        check(name, code == 0, "exit code %d" % code)
    except subprocess.TimeoutExpired:
        check(name, False, "still running")


class Results(list):
    def check(self, name, ok, detail=""):
        self.append(ok)
        print("%s: %s%s" % ("PASS" if ok else "FAIL", name, (" (" + detail + ")") if detail and not ok else ""))

    def report(self):
        print("%d passed, %d failed" % (self.count(True), self.count(False)))
        return 0 if self and all(self) else 1


def main():
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(TimeoutError("smoke test took too long")))
    signal.alarm(OVERALL_TIMEOUT_S)
    for tool in ("Xvfb", "dbus-launch"):
        if shutil.which(tool) is None:
            skip("%s is not installed (packages xvfb, dbus-x11)" % tool)
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        skip("the accessibility bus is not installed (package at-spi2-core)")
    rastiv, results = find_rastiv(), Results()
    if not os.access(rastiv, os.X_OK):
        results.check("no program at %s: build it first or pass its path" % rastiv, False)
        return results.report()
    check = results.check
    home = tempfile.mkdtemp(prefix="rastiv-smoke-")
    session, program = Session(home), None
    try:
        session.start()
        try:
            import pyatspi  # noqa: imported late: it binds to the buses started above
        except ImportError:
            skip("pyatspi is missing (package python3-pyatspi)")
        # COM1 is the built-in virtual printer: the printer path without hardware.
        os.makedirs(os.path.join(home, ".config", "Vru"))
        with open(os.path.join(home, ".config", "Vru", "Rastiv.conf"), "w") as f:
            f.write("[Printer]\nCOM1=virtual\n")
        env = dict(session.env, QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
        program = subprocess.Popen([rastiv], env=env, stdout=session.log, stderr=subprocess.STDOUT)
        ui = Ui(program, pyatspi)
        step_buttons_and_boxes(ui, check)
        colours_mapped(ui, home, check)
        printed_and_saved(ui, home, check)
        photo_path(ui, home, check)
        file_menu_habits(ui, check)
        paper_type_and_exit(ui, program, check)
    except Exception as e:  # a broken session is a failure, reported as one line
        check("smoke session", False, "%s: %s" % (type(e).__name__, e))
    finally:
        signal.alarm(0)
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        session.stop()
        if not all(results) and os.path.exists(os.path.join(home, "services.log")):  # the first clue
            with open(os.path.join(home, "services.log"), errors="replace") as f:
                for line in f.read().splitlines()[-40:]:
                    print("  log: " + line)
        shutil.rmtree(home, ignore_errors=True)
    return results.report()


if __name__ == "__main__":
    sys.exit(main())
