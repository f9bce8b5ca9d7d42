#!/usr/bin/env python3
"""rastiv-printer as a private instance (its own port and spool folder) prints to the receipt emulator (rastiv-cli
serve) through PAPPL's socket:// device: a PNG, its receipt compared dot for dot with Pixmill's separation of the
picture, starting at the picture's first line.  Exit 77: skipped."""
import ctypes, json, os, shutil, socket, struct, subprocess, sys, tempfile, time, zlib

build = os.path.abspath(sys.argv[1])
app, cli = os.path.join(build, "bin", "rastiv-printer"), os.path.join(build, "bin", "rastiv-cli")
if not os.path.exists(app):
    print("skipped: rastiv-printer is not built (it needs libpappl-dev)")
    sys.exit(77)

# ---- The page: white above and below, bands of black, red and white, then a tone from white through red to black
W, H, PHOTO = 576, 120, 1
tone = lambda x: x * 510 // (W - 1)  # noqa: E731
white = b"\xff" * (3 * W)
page = [b"".join(bytes((0, 0, 0) if (x // 48) % 2 == 0 else (255, 255, 255)) if y < 40 else
                 bytes((255, 0, 0) if x < 288 else (0, 0, 0)) if y < 80 else
                 bytes((255, 255 - tone(x), 255 - tone(x)) if tone(x) <= 255 else (510 - tone(x), 0, 0))
                 for x in range(W)) for y in range(H)]
picture = [white] * 30 + page + [white] * 30
pixmill = ctypes.CDLL(os.path.join(build, "bin", "libpixmill.so"))


def separation(rows, method, paper=1):
    """Pixmill's streaming separation of these rows, as the printer takes them from the graphics encoder: a byte a
    dot, 0 paper, 1 black, 2 highlight."""
    sep, inks, ready, out = ctypes.c_void_p(), ctypes.create_string_buffer(W), ctypes.c_int32(), []
    record, length = ctypes.create_string_buffer(146), ctypes.c_int32()
    bit = lambda plane, x: record.raw[2 + 72 * plane + x // 8] >> (7 - x % 8) & 1  # noqa: E731
    assert pixmill.SeparatorOpen(ctypes.byref(sep), W, paper, method, 0, 0, 100, 0) == 0
    for row in rows + [None]:
        assert (pixmill.SeparatorPushRow(sep, row, inks, ctypes.byref(ready)) if row else
                pixmill.SeparatorFlush(sep, inks, ctypes.byref(ready))) == 0
        if ready.value:
            assert pixmill.EncodeGfxRow(inks, W, paper, record, ctypes.byref(length)) == 0
            out.append(bytes(1 if bit(1, x) else 2 * bit(0, x) for x in range(W)))
    pixmill.SeparatorClose(sep)
    return out


chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))  # noqa: E731
failures = []
check = lambda ok, what: ok or failures.append(what) or print("FAIL: " + what)  # noqa: E731
free_port = lambda: socket.create_server(("127.0.0.1", 0)).getsockname()[1]  # noqa: E731


def wait_for(what, test, seconds=30):
    end = time.time() + seconds
    while not test():
        if time.time() > end:
            return check(False, "timed out waiting for " + what)
        time.sleep(0.1)
    return True


def receipt(out):
    """The emulator's first receipt: its rows (2 bits a dot in the PNG, the palette's index being the ink) and its
    record."""
    record = json.loads(open(out + "/receipts.jsonl").readline())
    data, idat, i = open(os.path.join(out, record["png"]), "rb").read(), b"", 8
    while i < len(data):
        n, kind = struct.unpack(">I4s", data[i:i + 8])
        idat, i = idat + (data[i + 8:i + 8 + n] if kind == b"IDAT" else b""), i + 12 + n
    raw, stride = zlib.decompress(idat), 1 + W // 4
    return [bytes(b >> s & 3 for b in raw[y * stride + 1:(y + 1) * stride] for s in (6, 4, 2, 0))
            for y in range(len(raw) // stride)], record


work = tempfile.mkdtemp(prefix="printerapp-test-")
port, device = free_port(), free_port()
system = "ipp://localhost:%d/ipp/system" % port
env = dict({k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}, LC_ALL="C", TMPDIR=work)
run = lambda *args: subprocess.run([app, *args], capture_output=True, text=True, env=env, timeout=60)  # noqa: E731
server = subprocess.Popen([app, "server", "-o", "server-port=%d" % port, "-o", "spool-directory=" + work + "/spool",
                           "-o", "log-file=" + work + "/log", "-o", "log-level=debug"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
emulator = None
try:
    if not wait_for("the server", lambda: server.poll() is None and not socket.socket().connect_ex(("127.0.0.1", port)), 15):
        sys.exit(1)
    added = run("add", "-u", system, "-d", "rx", "-m", "tintarex_red", "-v", "socket://127.0.0.1:%d" % device)
    check(added.returncode == 0, "add: " + added.stderr)

    with open(os.path.join(work, "page.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, len(picture), 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in picture))) + chunk(b"IEND", b""))
    out = os.path.join(work, "out")
    emulator = subprocess.Popen([cli, "serve", "--once", "--highlight", "red", "--port", str(device), "--out", out],
                                stdout=subprocess.PIPE, text=True)
    emulator.stdout.readline()  # it listens
    submitted = run("submit", "-u", "ipp://localhost:%d/ipp/print/rx" % port, os.path.join(work, "page.png"))
    check(submitted.returncode == 0, "submit: " + submitted.stderr)
    if wait_for("the receipt", lambda: emulator.poll() is not None, 60) and os.path.exists(out + "/receipts.jsonl"):
        rows, record = receipt(out)
        expected = separation(picture, PHOTO)
        inked = [y for y, r in enumerate(expected) if any(r)]
        expected = expected[inked[0]:inked[-1] + 1]
        diff = sum(a != b for got, want in zip(rows, expected) for a, b in zip(got, want))
        # The roll prints as long as its content: no blank paper before it, none after it.
        check(len(rows) == len(expected) and diff == 0,
              "png: %d rows printed, %d expected; %d dots differ" % (len(rows), len(expected), diff))
        check(record.get("ended") == "cut" and not record.get("warnings"), "png: %s" % record)
finally:
    for p in (emulator, server):
        if p and p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
    if failures and os.path.exists(work + "/log"):
        print("".join(l for l in open(work + "/log", errors="replace") if l[:1] in "EW" or "[Job" in l)[-6000:])
    shutil.rmtree(work, ignore_errors=True)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
