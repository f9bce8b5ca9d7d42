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

    def start_x(self):
        """The private X server alone; DISPLAY names it in self.env."""
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


class Ui:
    """The program as the accessibility bus shows it: things found, waited for and pressed by their names."""

    def __init__(self, program, pyatspi):
        self.program, self.at, self.app = program, pyatspi, None

    def wait_for(self, what, probe, timeout=STEP_TIMEOUT_S):
        return wait_until(what, probe, timeout, alive=[self.program])

    def find_app(self):
        # Ask the registry afresh each time instead of trusting a list
        # remembered from an earlier look, and know the program by its
        # process rather than by a caption it might share.
        desktop = self.at.Registry.getDesktop(0)
        desktop.clearCache()
        for app in desktop:
            if app is None:
                continue
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
        """The accessible whose name is or starts with start."""
        return self.find(lambda a: a.name.startswith(start))

    def named(self, root, role, name):
        return self.find(lambda a: a.getRoleName() == role and a.name == name, root)

    def button(self, caption, root=None):
        """Waits for the push button captioned caption in root(), a window that may not be up yet (without root:
        anywhere in the program)."""
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
        """The message box saying start, once it is up."""
        box = self.wait_for("the box saying " + start, lambda: self.saying(start))
        while box is not None and box.getRoleName() not in ("dialog", "alert", "frame", "window"):
            box = box.parent
        return box

    def close_box(self, start, button="OK"):
        self.press(self.named(self.box(start), "push button", button))
        self.gone("the box saying " + start, lambda: self.saying(start))

    def answer(self, question, button):
        """Answers the question (the box holding its text holds its buttons) and waits for it to go."""
        asked = lambda: self.find(lambda a: a.name == question)  # noqa: E731
        self.press(self.named(self.wait_for("the question " + question, asked).parent, "push button", button))
        self.gone("the question", asked)

    def choose_file(self, title, path, button):
        """Types a path into the file dialog titled `title` and presses `button`."""
        chooser = self.wait_for("the %s dialog" % title, lambda: self.dialog(title))
        box = self.wait_for("its file name box", lambda: self.find(
            lambda a: a.getRoleName() == "text" and "name" in a.name.lower(), chooser))
        box.queryEditableText().setTextContents(path)
        self.press(self.button(button, lambda: chooser))
        self.gone("the " + title + " dialog", lambda: self.dialog(title))

    def working_colours(self, home):
        """The colours the working bitmap uses, or None when there is none."""
        working = [os.path.join(d, f) for d, _, fs in os.walk(home) for f in fs if f == "tmpfile.bmp"]
        return bmp_colours(working[0]) if working else None

    def leave_print_dialog(self):
        """Exit of the print dialog, once its buttons are back after a send."""
        def usable_exit():
            d = self.dialog("Print a Graphic")
            b = self.named(d, "push button", "Exit") if d is not None else None
            return b if b is not None and b.getState().contains(self.at.STATE_SENSITIVE) else None
        self.press(self.wait_for("the print dialog's Exit to be usable", usable_exit))
        self.gone("the print dialog", lambda: self.dialog("Print a Graphic"))


def step_buttons_and_boxes(ui, check):
    """After the splash the main window shows its five steps; Re-size without a picture explains itself in a box
    with OK and Help; Print connects to the virtual printer and says that nothing is loaded."""
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
    try:
        box = ui.box(expected)
        title = box.name if box is not None else ""
        ok_button = ui.named(box, "push button", "OK") if box is not None else None
        help_button = ui.named(box, "push button", "Help") if box is not None else None
        good = title == "Re-size Error" and ok_button is not None and help_button is not None
        check("Re-size without a picture explains itself", good,
              "title %r, OK %s, Help %s" % (title, ok_button is not None, help_button is not None))
        if ok_button is not None:
            ui.press(ok_button)
        ui.gone("the box", lambda: ui.saying(expected))
    except TimeoutError as e:
        check("Re-size without a picture explains itself", False, str(e))

    name = "Print connects to the virtual printer and explains that nothing is loaded"
    try:
        ui.press(ui.button("Print..."))
        ui.press(ui.button("Connect", lambda: ui.dialog("Communication Configuration")))
        ui.press(ui.button("Send Graphic to the Printer", lambda: ui.dialog("Print a Graphic")))
        expected = "You must load a BMP file before you can print anything."
        box = ui.box(expected)
        check(name, box is not None and box.name == "Parameter Error", "box %r" % (box.name if box else None))
        ui.close_box(expected)
        ui.press(ui.button("Exit", lambda: ui.dialog("Print a Graphic")))
        ui.gone("the print dialog", lambda: ui.dialog("Print a Graphic"))
    except TimeoutError as e:
        check(name, False, str(e))


def colours_mapped(ui, home, check):
    """A picture through the colour workflow by accessible names alone, as a screen-reader user would: open it,
    translate its colours, give each image colour a printer colour, re-map."""
    picture = os.path.join(home, "bands.png")
    write_banded_png(picture, [(200, 30, 40), (30, 160, 60), (90, 90, 200)])
    name = "colours translated and mapped to printable ones over the accessibility bus"
    try:
        ui.press(ui.button("Load Bitmap"))
        ui.choose_file("Open a Bitmap File", picture, "Open")
        # A PNG holds true colour: the program says it converts it first.
        ui.close_box("This bitmap has 24 bits/pixel.")
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
        colours = ui.working_colours(home)
        black_white = {(0, 0, 0), (255, 255, 255)}
        printable = colours is not None and (colours <= black_white | {(255, 0, 0)}
                                             or colours <= black_white | {(0, 0, 255)})
        check(name, len(boxes) == 5 and printable, "%d image colours, now %r" % (len(boxes), colours))
    except TimeoutError as e:
        check(name, False, str(e))


def printed_and_saved(ui, home, check):
    """The mapped picture printed on the virtual printer: the print dialog says in its status line, not in a box,
    that it went out; the virtual printer shows the receipt in a window of its own, and the receipt is saved as a
    PNG one dot per pixel, 576 wide."""
    receipt = os.path.join(home, "receipt.png")
    name = "the picture printed on the virtual printer and its receipt saved as a PNG"
    try:
        ui.press(ui.button("Print..."))
        printing = ui.wait_for("the Print a Graphic dialog", lambda: ui.dialog("Print a Graphic"))
        cancel = ui.named(printing, "push button", "Cancel")
        check("the print dialog shows no Cancel while it is not sending",
              cancel is None or not cancel.getState().contains(ui.at.STATE_SHOWING))
        ui.press(ui.button("Send Graphic to the Printer", lambda: printing))
        done = ui.wait_for("the status line", lambda: ui.find(
            lambda a: a.getRoleName() == "label" and a.name.startswith("Done: "), printing))
        check("a print says in the dialog's status line that the graphic went out",
              done.name.endswith("bytes of the graphic were sent, then the paper feed."), done.name)
        # A plain top-level widget: Qt 6.4 gives it the role "filler".
        window = ui.wait_for("the Virtual Printer window", lambda: ui.find(lambda a: a.name == "Virtual Printer"))
        ui.leave_print_dialog()
        ui.press(ui.button("Save Image...", lambda: window))
        ui.choose_file("Save Receipt Image", receipt, "Save")
        size = ui.wait_for("the receipt file", lambda: os.path.exists(receipt) and png_size(receipt))
        check(name, size is not None and size[0] == 576, "size %r" % (size,))
    except TimeoutError as e:
        check(name, False, str(e))


def photo_path(ui, home, check):
    """A photograph through Photo by accessible names: loaded, previewed and applied in one step."""
    picture = os.path.join(home, "photo.png")
    write_photo_png(picture)
    name = "a photograph becomes dots of paper, black and highlight through Photo"
    try:
        ui.press(ui.button("Load Bitmap"))
        # The mapped picture printed before is in no file, so loading another asks first.
        ui.answer("Save the changes to the picture before loading another picture?", "Discard")
        ui.choose_file("Open a Bitmap File", picture, "Open")
        ui.close_box("This bitmap has 24 bits/pixel.")
        ui.press(ui.button("Photo"))
        photo = ui.wait_for("the Photo dialog", lambda: ui.dialog("Photo"))
        ui.wait_for("its preview", lambda: ui.find(lambda a: a.name == "Preview of the printed dots", photo))
        ui.press(ui.button("Apply", lambda: photo))
        ui.gone("the Photo dialog", lambda: ui.dialog("Photo"))
        colours = ui.working_colours(home)
        inks = {(0, 0, 0), (255, 255, 255), (255, 0, 0)}
        check(name, colours is not None and colours == inks, "now %r" % (colours,))
    except TimeoutError as e:
        check(name, False, str(e))


def file_menu_habits(ui, check):
    """The File menu's items and keys, the unsaved mark in the title and Quit's question (the picture unsaved)."""
    keys = {"Open...": "o", "Open Recent": "", "Save": "s", "Save As...": "s", "Export as PNG...": "e",
            "Print...": "p", "Exit": "", "Quit": "q"}
    item = lambda n: ui.named(ui.app, "menu", n) or ui.named(ui.app, "menu item", n)  # noqa: E731
    # "Ctrl+O" as Qt writes it, or "<Control>o" as the bus may.
    binding = lambda n: item(n).queryAction().getKeyBinding(0).lower() if keys[n] else "ctrl"  # noqa: E731
    try:
        ui.wait_for("the File menu's items", lambda: all(item(n) for n in keys))
        wrong = [n for n in keys if "ctrl" not in binding(n) and "control" not in binding(n)
                 or not binding(n).endswith(keys[n])]
        check("the File menu's items are there with their keys", not wrong, "wrong: %r" % wrong)
        frame = ui.wait_for("the main window", lambda: ui.find(
            lambda a: a.getRoleName() == "frame" and a.name.endswith("Rastiv")))
        try:
            ui.press(item("Quit"))
        except Exception:  # a menu item acts before it answers, and the question waits
            pass
        ui.answer("Save the changes to the picture before quitting?", "Cancel")
        check("the title marks the unsaved picture and Quit asks first", "*" in frame.name, frame.name)
    except TimeoutError as e:
        check("the File menu, the unsaved mark and Quit", False, str(e))


def wide_photo_printed(ui, home, check):
    """An 800-pixel photograph through Photo to the virtual printer in at most 8 actions (an error box stops it)."""
    picture, actions = os.path.join(home, "wide_photo.png"), []
    write_photo_png(picture, width=800, height=120)

    def act(what, root=None):
        actions.append(what)
        ui.press(ui.button(what, root))
    try:
        act("Load Bitmap")
        asked = lambda: ui.saying("Save the")  # noqa: E731
        if ui.wait_for("a question or the file", lambda: asked() or ui.dialog("Open a Bitmap File")).name[:4] == "Save":
            ui.press(ui.button("Discard", lambda: asked().parent))
        actions += ["the file", "OK to the 24-bit notice"]
        ui.choose_file("Open a Bitmap File", picture, "Open")
        ui.close_box("This bitmap has 24 bits/pixel.")
        act("Photo")
        act("Apply", lambda: ui.dialog("Photo"))
        ui.gone("the Photo dialog", lambda: ui.dialog("Photo"))
        act("Print...")
        act("Send Graphic to the Printer", lambda: ui.dialog("Print a Graphic"))
        printing = ui.wait_for("the print dialog", lambda: ui.dialog("Print a Graphic"))
        ui.wait_for("the status line", lambda: ui.find(
            lambda a: a.getRoleName() == "label" and a.name.startswith("Done: "), printing))
        check("an 800-pixel photograph printed through Photo in at most 8 actions", len(actions) <= 8, ", ".join(actions))
        ui.leave_print_dialog()
    except TimeoutError as e:
        check("an 800-pixel photograph printed through Photo", False, "%s after %s" % (e, ", ".join(actions)))


def paper_type_and_exit(ui, program, check):
    """The paper type chosen from the menu is marked there and reported in the status bar; Exit asks first, the
    mapped picture being in no file: Cancel stays, Discard ends cleanly."""
    name = "the paper type sent is marked in the menu and reported as done"
    try:
        item = ui.wait_for("Color > Media > Type 1", lambda: ui.find(
            lambda a: a.name == "Type 1 (Kanzaki P-310RB Red/Black)"))
        try:
            ui.press(item)
        except Exception:  # a menu item acts before it answers, and waits for the printer
            pass
        done = ui.wait_for("the status line", lambda: ui.saying("Done: the printer was told Type 1"))
        check(name, item.getState().contains(ui.at.STATE_CHECKED), done.name)
    except TimeoutError as e:
        check(name, False, str(e))

    for button in ("Cancel", "Discard"):
        ui.press(ui.button("Exit"))
        question = "Save the changes to the picture before quitting?"
        if button == "Cancel":
            ui.answer(question, button)
        else:  # the program ends: nothing is left to wait for
            asked = ui.wait_for("the quit question", lambda: ui.find(lambda a: a.name == question))
            ui.press(ui.named(asked.parent, "push button", button))
    name = "Exit asks about the unsaved picture; Cancel stays, Discard ends"
    try:
        code = program.wait(STEP_TIMEOUT_S)
        check(name, code == 0, "exit code %d" % code)
    except subprocess.TimeoutExpired:
        check(name, False, "still running")


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

        ui = Ui(program, pyatspi)
        step_buttons_and_boxes(ui, check)
        colours_mapped(ui, home, check)
        printed_and_saved(ui, home, check)
        photo_path(ui, home, check)
        file_menu_habits(ui, check)
        wide_photo_printed(ui, home, check)
        paper_type_and_exit(ui, program, check)
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
