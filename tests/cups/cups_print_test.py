#!/usr/bin/env python3
"""A private CUPS scheduler with this build's driver: a PNG and a PDF through socket:// and the tintarex
backend (on a pseudo-terminal), compared dot for dot; a cancelled job; a silent device.  Exit 77: skipped."""
import os, pty, shutil, socket, subprocess, sys, tempfile, threading, time, zlib, struct, termios, tty

build = os.path.abspath(sys.argv[1])
SKIP = 77


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


if os.geteuid() != 0:
    skip("the scheduler runs its backends as root: run as root, as CI does")
for tool in ("cupsd", "lp", "lpadmin", "lpstat", "lpinfo", "cancel", "/usr/lib/cups/filter/imagetoraster"):
    if not shutil.which(tool):
        skip(tool + " is missing: scripts/setup.sh installs cups, cups-client, cups-bsd and cups-filters")

# ---- The page printed: bands of black, red and white, 576 dots wide ------
W, H = 576, 120


def colour(x, y):
    if y < 40:
        return (0, 0, 0) if (x // 48) % 2 == 0 else (255, 255, 255)
    if y < 80:
        return (255, 0, 0) if x < 288 else (0, 0, 0)
    return (255, 255, 255) if (x + y) % 16 < 8 else (255, 0, 0)


pixels = [[colour(x, y) for x in range(W)] for y in range(H)]
expected = [[{(0, 0, 0): 1, (255, 0, 0): 2}.get(p, 0) for p in row] for row in pixels]


def png(path, rows=None):
    rows = rows or [bytes(c for p in row for c in p) for row in pixels]
    w, h = len(rows[0]) // 3, len(rows)
    raw = b"".join(b"\0" + row for row in rows)
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    # pHYs: 203 dots an inch (7992 a metre), so the picture prints dot for dot.
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
                chunk(b"pHYs", struct.pack(">IIB", 7992, 7992, 1)) + chunk(b"IDAT", zlib.compress(raw)) +
                chunk(b"IEND", b""))


def pdf(path):
    # One page of the PPD's 80 x 100 mm, so that nothing scales or moves it,
    # the picture at 203 dpi at its top, in the middle, without interpolation.
    pw, ph = 226.771667, 283.464569
    iw, ih = W * 72 / 203, H * 72 / 203
    data = bytes(c for row in pixels for p in row for c in p)
    content = b"q %.4f 0 0 %.4f %.4f %.4f cm /I Do Q" % (iw, ih, (pw - iw) / 2, ph - ih)
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.6f %.6f] /Resources << /XObject << /I 5 0 R >> >> "
               b"/Contents 4 0 R >>" % (pw, ph),
               b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content),
               b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 "
               b"/Interpolate false /Length %d >>\nstream\n%s\nendstream" % (W, H, len(data), data)]
    out, offsets = bytearray(b"%PDF-1.4\n"), []
    for i, o in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (i, o)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    with open(path, "wb") as f:
        f.write(out)


# ---- The printer's side: commands read back into rows of dots ----------
def receipt(data):
    """Rows of dots (0 paper, 1 black, 2 highlight), feeds as blank rows; the
    list of commands; and whether the stream ends inside a command."""
    rows, commands, i = [], [], 0
    while i < len(data):
        if data[i:i + 2] == b"\x1d\x83" and len(data) - i >= 146:
            ink, black = data[i + 2:i + 74], data[i + 74:i + 146]
            bit = lambda plane, x: plane[x // 8] >> (7 - x % 8) & 1
            rows.append([1 if bit(black, x) else 2 if bit(ink, x) else 0 for x in range(576)])
            commands.append("row")
            i += 146
        elif data[i:i + 4] == b"\x1b\x4a\xff\x19":
            commands.append("cancel feed")
            i += 4
        elif data[i:i + 2] == b"\x1b\x4a" and len(data) - i >= 3:
            rows += [[0] * 576 for _ in range(data[i + 2])]
            commands.append("feed")
            i += 3
        elif data[i:i + 2] == b"\x1b\x6d":
            commands.append("cut")
            i += 2
        else:
            return rows, commands, True
    return rows, commands, False


def same_dots(name, data):
    """The receipt holds the picture dot for dot.  A PDF page goes through
    ghostscript at whole points, so its picture may sit a dot or two off and
    lose an edge row or column to the page's edge: every dot that is on the
    page must still be the picture's."""
    rows, commands, broken = receipt(data)
    check(not broken, name + ": the stream ends inside a command")
    check(commands[-1:] == ["cut"], name + ": the job does not end with the cut")
    inked = [y for y, r in enumerate(rows) if any(r)]
    if not inked:
        return check(False, name + ": nothing printed")
    got = rows[inked[0]:inked[-1] + 1]
    best = None
    for dy in range(-2, 3):
        for dx in range(-3, 4):
            pairs = [(got[y][x], expected[y + dy][x + dx]) for y in range(len(got)) for x in range(576)
                     if 0 <= y + dy < H and 0 <= x + dx < W]
            differ = sum(a != b for a, b in pairs)
            if best is None or differ < best[0]:
                best = (differ, len(pairs), dy, dx)
    differ, compared, dy, dx = best
    check(differ == 0 and compared >= (H - 2) * (W - 2),
          "%s: %d of %d dots differ from the picture (best at %+d rows, %+d dots)" % (name, differ, compared, dy, dx))


failures = []
check = lambda ok, what: ok or failures.append(what) or print("FAIL: " + what)


# ---- Devices: a TCP listener and pseudo-terminals -----------------------
class NetworkPrinter(threading.Thread):
    """socket://: takes one connection at a time and keeps each job's bytes."""

    def __init__(self):
        super().__init__(daemon=True)
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.jobs = []

    def run(self):
        while True:
            conn, _ = self.server.accept()
            data = bytearray()
            while chunk := conn.recv(65536):
                data += chunk
            conn.close()
            self.jobs.append(bytes(data))


class SerialPrinter(threading.Thread):
    """A printer on a pseudo-terminal: answers the status query with a status
    byte (paper present) and keeps the bytes that follow.  Reads only while
    `reading` is set; never answers when `mute`."""

    def __init__(self, mute=False):
        super().__init__(daemon=True)
        self.master, slave = pty.openpty()
        tty.setraw(slave)
        self.path = os.ttyname(slave)
        self.slave = slave  # held open, so the line is not hung up between jobs
        self.mute, self.data = mute, bytearray()
        self.reading = threading.Event()
        self.reading.set()

    def run(self):
        while True:
            self.reading.wait()
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                time.sleep(0.05)
                continue
            self.data += chunk
            if not self.mute and b"\x1bv\n" in self.data:
                self.data = self.data.replace(b"\x1bv\n", b"", 1)
                os.write(self.master, b"\x00")


# ---- The scheduler ------------------------------------------------------
work = tempfile.mkdtemp(prefix="cups-test-")
os.chmod(work, 0o755)  # the filters run as lp
cupsd = None


def run(*args, check_ok=True):
    r = subprocess.run(args, capture_output=True, text=True, env=env, timeout=60)
    if check_ok and r.returncode != 0:
        raise RuntimeError("%s: %s%s" % (" ".join(args), r.stdout, r.stderr))
    return r.stdout


def wait_for(what, test, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        if test():
            return True
        time.sleep(0.1)
    check(False, "timed out waiting for " + what)
    return False


try:
    d = {k: os.path.join(work, k) for k in ("root", "spool", "log", "cache", "state", "bin", "data")}
    for path in d.values():
        os.makedirs(path)
        os.chmod(path, 0o755)
    os.makedirs(d["spool"] + "/tmp")
    os.chmod(d["spool"] + "/tmp", 0o1777)
    # The system's programs, with the filter, the backend and the PPD of this build.
    for sub in os.listdir("/usr/lib/cups"):
        if sub not in ("filter", "backend"):
            os.symlink("/usr/lib/cups/" + sub, os.path.join(d["bin"], sub))
    for sub, ours in (("filter", "cups/filter/rastertotintarex"), ("backend", "cups/backend/tintarex")):
        os.makedirs(os.path.join(d["bin"], sub))
        for name in os.listdir("/usr/lib/cups/" + sub):
            os.symlink("/usr/lib/cups/%s/%s" % (sub, name), os.path.join(d["bin"], sub, name))
        target = os.path.join(d["bin"], sub, os.path.basename(ours))
        shutil.copy(os.path.join(build, ours), target)
        os.chmod(target, 0o700 if sub == "backend" else 0o755)
    for name in os.listdir("/usr/share/cups"):
        if name != "model":  # ours, with the system's models beside our PPD
            os.symlink("/usr/share/cups/" + name, os.path.join(d["data"], name))
    os.makedirs(os.path.join(d["data"], "model", "rastiv"))
    shutil.copy(os.path.join(build, "ppd/tintarex.ppd"), os.path.join(d["data"], "model", "rastiv"))

    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    with open(os.path.join(d["root"], "cupsd.conf"), "w") as f:
        f.write("Listen 127.0.0.1:%d\nLogLevel debug\nBrowsing Off\nJobKillDelay 10\nDefaultAuthType None\n"
                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n" % port)
    with open(os.path.join(d["root"], "cups-files.conf"), "w") as f:
        f.write("ServerRoot %(root)s\nRequestRoot %(spool)s\nTempDir %(spool)s/tmp\nCacheDir %(cache)s\n"
                "StateDir %(state)s\nServerBin %(bin)s\nDataDir %(data)s\nErrorLog %(log)s/error_log\n"
                "AccessLog %(log)s/access_log\nPageLog %(log)s/page_log\nPrintcap %(cache)s/printcap\nFileDevice No\n"
                "SystemGroup root\n" % d)
    env = dict(os.environ, CUPS_SERVER="127.0.0.1:%d" % port, LANG="C", LC_ALL="C")
    cupsd = subprocess.Popen(["cupsd", "-f", "-c", d["root"] + "/cupsd.conf", "-s", d["root"] + "/cups-files.conf"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if not wait_for("the scheduler", lambda: cupsd.poll() is None and
                    "is running" in run("lpstat", "-r", check_ok=False), 15):
        skip("cupsd does not run here: " + (cupsd.stderr.read().decode() if cupsd.poll() is not None else "no answer"))

    # ---- The driver is found where lpinfo looks ----
    check("tintarex" in run("lpinfo", "-v"), "lpinfo -v does not list the tintarex backend")
    models = run("lpinfo", "-m")
    check("rastiv/tintarex.ppd" in models, "lpinfo -m does not list rastiv/tintarex.ppd")

    png(os.path.join(work, "page.png"))
    # A long picture inked on every line, far more than the pipes hold.
    stripes = [(b"\0\0\0" * 8 + b"\xff\xff\xff" * 8) * 36 if y % 16 < 8 else
               (b"\xff\xff\xff" * 8 + b"\0\0\0" * 8) * 36 for y in range(3000)]
    png(os.path.join(work, "long.png"), stripes)
    pdf(os.path.join(work, "page.pdf"))
    options = ["-o", "TintHighlight=Graphics", "-o", "media=80x100mm"]

    def print_and_wait(queue, path, extra=()):
        out = run("lp", "-d", queue, *options, *extra, path)
        job = out.split()[3]
        wait_for(job + " to finish", lambda: job not in run("lpstat", "-o", queue, check_ok=False), 60)
        return job

    # ---- A network printer, through CUPS's own socket backend ----
    net = NetworkPrinter()
    net.start()
    run("lpadmin", "-p", "net", "-E", "-v", "socket://127.0.0.1:%d" % net.port, "-m", "rastiv/tintarex.ppd")
    for name in ("page.png", "page.pdf"):
        print_and_wait("net", os.path.join(work, name), ["-o", "ppi=203", "-o", "position=top"])
        wait_for("the network printer's bytes", lambda: len(net.jobs) > 0, 10)
        if net.jobs:
            same_dots("socket:// " + name, net.jobs.pop(0))

    # ---- A serial printer on a pseudo-terminal, through our backend ----
    serial = SerialPrinter()
    serial.start()
    run("lpadmin", "-p", "serial", "-E", "-v", "tintarex:%s?baud=115200&parity=none" % serial.path,
        "-m", "rastiv/tintarex.ppd")
    for name in ("page.png", "page.pdf"):
        serial.data = bytearray()
        print_and_wait("serial", os.path.join(work, name), ["-o", "ppi=203", "-o", "position=top"])
        same_dots("tintarex: " + name, bytes(serial.data))

    # ---- Cancelled mid-page: a whole line, then the feed ----
    serial.data = bytearray()
    serial.reading.clear()
    job = run("lp", "-d", "serial", "-o", "media=Custom.80x400mm", "-o", "ppi=203",
              os.path.join(work, "long.png")).split()[3]
    wait_for("the job to start", lambda: "processing" in run("lpstat", "-p", "serial", check_ok=False)
             or "now printing" in run("lpstat", "-p", "serial", check_ok=False), 20)
    time.sleep(1.0)  # the pipes between the filters fill
    run("cancel", job)
    serial.reading.set()
    wait_for("the cancelled job to end", lambda: "now printing" not in run("lpstat", "-p", "serial", check_ok=False))
    time.sleep(0.5)
    rows, commands, broken = receipt(bytes(serial.data))
    check(not broken, "cancelled: the stream ends inside a command")
    check(commands[-1:] == ["cancel feed"], "cancelled: the stream does not end with the feed: %s" % commands[-3:])

    # ---- A device that does not answer stops its queue, saying why ----
    mute = SerialPrinter(mute=True)
    mute.start()
    run("lpadmin", "-p", "dead", "-E", "-v", "tintarex:" + mute.path, "-m", "rastiv/tintarex.ppd")
    run("lp", "-d", "dead", os.path.join(work, "page.png"))
    stopped = lambda: "disabled" in run("lpstat", "-p", "dead", check_ok=False)
    wait_for("the queue to stop", stopped, 30)
    state = run("lpstat", "-p", "dead", "-l", check_ok=False)
    check("does not answer" in state, "lpstat does not say why the queue stopped: " + state)
finally:
    if cupsd and cupsd.poll() is None:
        cupsd.terminate()
        cupsd.wait(10)
    if failures and cupsd:
        log = os.path.join(work, "log", "error_log")
        if os.path.exists(log):
            print("".join(l for l in open(log, errors="replace") if " E " in l or "[Job" in l)[-6000:])
    shutil.rmtree(work, ignore_errors=True)

print("%d passed, %d failed" % (0 if failures else 1, len(failures)))
sys.exit(1 if failures else 0)
