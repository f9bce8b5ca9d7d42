#!/usr/bin/env python3
"""A private CUPS scheduler with this build's driver prints to the receipt emulator (rastiv-cli serve): a PNG
and a PDF through CUPS's socket backend and through the tintarex backend on a pseudo-terminal, each receipt
compared dot for dot with Pixmill's separation of the page; a job cancelled mid-page; a device that does not
answer.  Exit 77: skipped."""
import ctypes, json, os, pty, shutil, signal, socket, struct, subprocess, sys, tempfile, time, zlib

build = os.path.abspath(sys.argv[1])
if os.geteuid() != 0:
    print("skipped: the scheduler runs its backends as root: run as root, as CI does")
    sys.exit(77)
for tool in ("cupsd", "lp", "lpadmin", "lpstat", "lpinfo", "cancel", "/usr/lib/cups/filter/imagetoraster"):
    if not shutil.which(tool):
        print("skipped: %s is missing: scripts/setup.sh installs cups, cups-client, cups-bsd and cups-filters" % tool)
        sys.exit(77)

# ---- The page: bands of black, red and white, then a tone from white through red to black ----
W, H = 576, 120


def colour(x, y):
    if y < 40:
        return (0, 0, 0) if (x // 48) % 2 == 0 else (255, 255, 255)
    if y < 80:
        return (255, 0, 0) if x < 288 else (0, 0, 0)
    t = x * 510 // (W - 1)
    return (255, 255 - t, 255 - t) if t <= 255 else (510 - t, 0, 0)


page = [bytes(c for x in range(W) for c in colour(x, y)) for y in range(H)]
# A long page inked on every line, far more than the pipes between the programs hold.
stripes = [(b"\0\0\0" * 8 + b"\xff\xff\xff" * 8) * 36 if y % 16 < 8 else
           (b"\xff\xff\xff" * 8 + b"\0\0\0" * 8) * 36 for y in range(3000)]
PHOTO, NEAREST = 1, 3
pixmill = ctypes.CDLL(os.path.join(build, "bin", "libpixmill.so"))


def separation(rows, method):
    """The filter's separation of these rows on red paper as the printer takes it, through the graphics
    encoder (which rewrites a byte pair the printer would take for a command): one byte a dot, 0 paper,
    1 black, 2 highlight."""
    sep, inks, ready, out = ctypes.c_void_p(), ctypes.create_string_buffer(W), ctypes.c_int32(), []
    record, length = ctypes.create_string_buffer(146), ctypes.c_int32()
    bit = lambda plane, x: record.raw[2 + 72 * plane + x // 8] >> (7 - x % 8) & 1
    assert pixmill.SeparatorOpen(ctypes.byref(sep), W, 1, method, 0, 0, 100, 0) == 0
    for row in rows + [None]:
        assert (pixmill.SeparatorPushRow(sep, row, inks, ctypes.byref(ready)) if row else
                pixmill.SeparatorFlush(sep, inks, ctypes.byref(ready))) == 0
        if ready.value:
            assert pixmill.EncodeGfxRow(inks, W, 1, record, ctypes.byref(length)) == 0
            out.append(bytes(1 if bit(1, x) else 2 * bit(0, x) for x in range(W)))
    pixmill.SeparatorClose(sep)
    return out


def png(path, rows):
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    # pHYs: 203 dots an inch (7992 a metre), so the picture prints dot for dot.
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]) // 3, len(rows), 8, 2,
                                                                    0, 0, 0)) +
                chunk(b"pHYs", struct.pack(">IIB", 7992, 7992, 1)) +
                chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in rows))) + chunk(b"IEND", b""))


def pdf(path):
    # One page of the PPD's 80 x 100 mm, so that nothing scales or moves it,
    # the picture at 203 dpi at its top, in the middle, without interpolation.
    pw, ph, iw, ih = 226.771667, 283.464569, W * 72 / 203, H * 72 / 203
    content = b"q %.4f 0 0 %.4f %.4f %.4f cm /I Do Q" % (iw, ih, (pw - iw) / 2, ph - ih)
    data = b"".join(page)
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.6f %.6f] /Resources << /XObject << /I 5 0 R >> >> "
               b"/Contents 4 0 R >>" % (pw, ph), b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content),
               b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 "
               b"/Interpolate false /Length %d >>\nstream\n%s\nendstream" % (W, H, len(data), data)]
    out, offsets = bytearray(b"%PDF-1.4\n"), []
    for i, o in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (i, o)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1) + b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    with open(path, "wb") as f:
        f.write(out)


def receipt_rows(path):
    """The emulator's receipt: 2 bits a dot, the palette's index being the ink code."""
    data, idat, i = open(path, "rb").read(), b"", 8
    height = struct.unpack(">I", data[20:24])[0]
    while i < len(data):
        n, kind = struct.unpack(">I4s", data[i:i + 8])
        idat += data[i + 8:i + 8 + n] if kind == b"IDAT" else b""
        i += 12 + n
    raw, stride = zlib.decompress(idat), 1 + W // 4
    return [bytes(b >> s & 3 for b in raw[y * stride + 1:(y + 1) * stride] for s in (6, 4, 2, 0)) for y in range(height)]


failures = []
check = lambda ok, what: ok or failures.append(what) or print("FAIL: " + what)


def same_dots(name, rows, expected, shift):
    """The receipt's inked rows are the expected ones.  A PDF page goes through ghostscript at whole points, so
    its picture may sit `shift` dots off and lose an edge row or column to the page's edge."""
    inked = [y for y, r in enumerate(rows) if any(r)]
    got = rows[inked[0]:inked[-1] + 1] if inked else []
    best = (W * H, 0, 0, 0)
    for dy in range(-shift, shift + 1):
        for dx in range(-shift, shift + 1):
            pairs = [(got[y][x], expected[y + dy][x + dx]) for y in range(len(got)) for x in range(W)
                     if 0 <= y + dy < len(expected) and 0 <= x + dx < W]
            best = min(best, (sum(a != b for a, b in pairs), -len(pairs), dy, dx))
    check(best[0] == 0 and -best[1] >= (len(expected) - 2 * shift) * (W - 2 * shift) and
          (shift or len(got) == len(expected)),
          "%s: %d of %d dots differ from the separation (best at %+d rows, %+d dots)" %
          (name, best[0], -best[1], best[2], best[3]))


# ---- The scheduler, with the system's programs and this build's driver ----
work = tempfile.mkdtemp(prefix="cups-test-")
os.chmod(work, 0o755)  # the filters run as lp
d = {k: os.path.join(work, k) for k in ("root", "spool", "log", "cache", "state", "bin", "data", "spool/tmp")}
for path in d.values():
    os.makedirs(path)
    os.chmod(path, 0o1777 if path.endswith("tmp") else 0o755)
for sub in os.listdir("/usr/lib/cups"):
    if sub not in ("filter", "backend"):
        os.symlink("/usr/lib/cups/" + sub, os.path.join(d["bin"], sub))
for sub, ours, mode in (("filter", "rastertotintarex", 0o755), ("backend", "tintarex", 0o700)):
    shutil.copytree("/usr/lib/cups/" + sub, os.path.join(d["bin"], sub), symlinks=True)
    shutil.copy(os.path.join(build, "cups", sub, ours), os.path.join(d["bin"], sub, ours))
    os.chmod(os.path.join(d["bin"], sub, ours), mode)
for name in os.listdir("/usr/share/cups"):
    if name != "model":  # ours, with the system's models beside our PPD
        os.symlink("/usr/share/cups/" + name, os.path.join(d["data"], name))
os.makedirs(os.path.join(d["data"], "model", "rastiv"))
shutil.copy(os.path.join(build, "ppd", "tintarex.ppd"), os.path.join(d["data"], "model", "rastiv"))
free_port = lambda: socket.create_server(("127.0.0.1", 0)).getsockname()[1]
port = free_port()
with open(os.path.join(d["root"], "cupsd.conf"), "w") as f:
    f.write("Listen 127.0.0.1:%d\nLogLevel debug\nBrowsing Off\nJobKillDelay 10\nDefaultAuthType None\n"
            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n" % port)
with open(os.path.join(d["root"], "cups-files.conf"), "w") as f:
    f.write("ServerRoot %(root)s\nRequestRoot %(spool)s\nTempDir %(spool)s/tmp\nCacheDir %(cache)s\nStateDir %(state)s\n"
            "ServerBin %(bin)s\nDataDir %(data)s\nErrorLog %(log)s/error_log\nAccessLog %(log)s/access_log\n"
            "PageLog %(log)s/page_log\nPrintcap %(cache)s/printcap\nFileDevice No\nSystemGroup root\n" % d)
env = dict(os.environ, CUPS_SERVER="127.0.0.1:%d" % port, LANG="C", LC_ALL="C")
run = lambda *args: subprocess.run(args, capture_output=True, text=True, env=env, timeout=60).stdout


def wait_for(what, test, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        if test():
            return True
        time.sleep(0.1)
    return check(False, "timed out waiting for " + what)


def serve(*where):
    """The receipt emulator for one receipt, listening once it has said where."""
    out = tempfile.mkdtemp(dir=work)
    p = subprocess.Popen([os.path.join(build, "bin", "rastiv-cli"), "serve", "--once", "--highlight", "red",
                          "--out", out, *where], stdout=subprocess.PIPE, text=True)
    p.stdout.readline()
    return p, out


def receipt(p, out):
    """The receipt's rows and its record, once the emulator has written it."""
    try:
        p.wait(30)
    except subprocess.TimeoutExpired:
        p.kill()
    if not os.path.exists(out + "/receipts.jsonl"):
        return check(False, "the emulator wrote no receipt") or [], {}
    record = json.loads(open(out + "/receipts.jsonl").readline())
    return receipt_rows(os.path.join(out, record["png"])), record


def print_and_wait(queue, path, *options):
    job = run("lp", "-d", queue, *options, path).split()[3]
    wait_for(job + " to finish", lambda: job not in run("lpstat", "-o", queue))
    return job


cupsd = subprocess.Popen(["cupsd", "-f", "-c", d["root"] + "/cupsd.conf", "-s", d["root"] + "/cups-files.conf"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
try:
    if not wait_for("the scheduler", lambda: cupsd.poll() is None and "is running" in run("lpstat", "-r"), 15):
        print("skipped: cupsd does not run here: " + (cupsd.stderr.read().decode() if cupsd.poll() else ""))
        sys.exit(77)
    check("tintarex" in run("lpinfo", "-v"), "lpinfo -v does not list the tintarex backend")
    check("rastiv/tintarex.ppd" in run("lpinfo", "-m"), "lpinfo -m does not list rastiv/tintarex.ppd")
    png(os.path.join(work, "page.png"), page)
    png(os.path.join(work, "long.png"), stripes)
    pdf(os.path.join(work, "page.pdf"))
    link, net = os.path.join(work, "printer"), free_port()
    run("lpadmin", "-p", "net", "-E", "-v", "socket://127.0.0.1:%d" % net, "-m", "rastiv/tintarex.ppd")
    run("lpadmin", "-p", "serial", "-E", "-v", "tintarex:%s?baud=115200&parity=none" % link, "-m",
        "rastiv/tintarex.ppd")

    # ---- The page through each backend: a PNG at its own size in the Photo separation, and a PDF in Graphics ----
    png_options = ["-o", "ppi=203", "-o", "position=top", "-o", "media=80x100mm"]
    for queue, where in (("net", ["--port", str(net)]), ("serial", ["--no-tcp", "--link", link])):
        for name, options, method, shift in (("page.png", png_options, PHOTO, 0),
                                             ("page.pdf", ["-o", "TintHighlight=Graphics"], NEAREST, 3)):
            p, out = serve(*where)
            print_and_wait(queue, os.path.join(work, name), *options)
            rows, record = receipt(p, out)
            same_dots("%s %s" % (queue, name), rows, separation(page, method), shift)
            check(record.get("ended") == "cut" and not record.get("warnings"), "%s %s: %s" % (queue, name, record))

    # ---- Cancelled mid-page: the lines printed are the page's, whole, then the feed ----
    p, out = serve("--no-tcp", "--link", link)
    job = run("lp", "-d", "serial", "-o", "PageSize=Custom.80x400mm", "-o", "ppi=203", os.path.join(work, "long.png"))
    wait_for("the job to start", lambda: "now printing" in run("lpstat", "-p", "serial"))
    p.send_signal(signal.SIGSTOP)  # the printer stops taking data: the pipes fill
    time.sleep(1.0)
    run("cancel", job.split()[3])
    p.send_signal(signal.SIGCONT)
    rows, record = receipt(p, out)
    inked = [y for y, r in enumerate(rows) if any(r)]
    printed = rows[inked[0]:inked[-1] + 1] if inked else []
    check(0 < len(printed) < 3000 and printed == separation(stripes, PHOTO)[:len(printed)] and
          len(rows) - 1 - inked[-1] == 255 and record.get("commands", {}).get("19") == 1 and not record.get("warnings"),
          "cancelled: %d lines printed of %d; %s" % (len(printed), len(rows), record))

    # ---- A device that does not answer stops its queue, saying why ----
    mute, silent = pty.openpty()
    run("lpadmin", "-p", "dead", "-E", "-v", "tintarex:" + os.ttyname(silent), "-m", "rastiv/tintarex.ppd")
    run("lp", "-d", "dead", os.path.join(work, "page.png"))
    wait_for("the queue to stop", lambda: "disabled" in run("lpstat", "-p", "dead"), 30)
    state = run("lpstat", "-p", "dead", "-l")
    check("does not answer" in state, "lpstat does not say why the queue stopped: " + state)
finally:
    cupsd.terminate()
    cupsd.wait(10)
    if failures and os.path.exists(d["log"] + "/error_log"):
        print("".join(l for l in open(d["log"] + "/error_log", errors="replace") if " E " in l or "[Job" in l)[-6000:])
    shutil.rmtree(work, ignore_errors=True)

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
