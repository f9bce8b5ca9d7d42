"""What the printer application's tests share: failures collected rather than raised (a test goes on to stop its
processes), waits with a bound, free ports, PNG pictures written by hand, the page the print paths are given and
Pixmill's separation of it, and the emulator's receipts read back."""
import ctypes, json, os, shutil, socket, struct, subprocess, time, zlib

W = 576  # dots in one printer line
failures = []

# The page both print paths are given: bands of black, red and white, then a tone from white through red to black.
tone = lambda x: x * 510 // (W - 1)  # noqa: E731
page = [b"".join(bytes((0, 0, 0) if (x // 48) % 2 == 0 else (255, 255, 255)) if y < 40 else
                 bytes((255, 0, 0) if x < 288 else (0, 0, 0)) if y < 80 else
                 bytes((255, 255 - tone(x), 255 - tone(x)) if tone(x) <= 255 else (510 - tone(x), 0, 0))
                 for x in range(W)) for y in range(120)]


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)
    return ok


def free_port():
    return socket.create_server(("127.0.0.1", 0)).getsockname()[1]


def wait_for(what, test, seconds=60):
    end = time.time() + seconds
    while not test():
        if time.time() > end:
            return check(False, "timed out waiting for " + what)
        time.sleep(0.1)
    return True


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(path, rows):
    """An 8-bit RGB PNG of `rows` (3 bytes a pixel, all of one width); returns the rows."""
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]) // 3, len(rows), 8, 2, 0,
                                                                     0, 0)) +
                _chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in rows))) + _chunk(b"IEND", b""))
    return rows


def separation(build, rows, method, paper=1):
    """Pixmill's streaming separation of these rows, as the printer takes them from the graphics encoder: a byte a
    dot, 0 paper, 1 black, 2 highlight."""
    pixmill = ctypes.CDLL(os.path.join(build, "bin", "libpixmill.so"))
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


def records(out):
    """The emulator's records in OUT/receipts.jsonl, oldest first."""
    path = os.path.join(out, "receipts.jsonl")
    return [json.loads(line) for line in open(path)] if os.path.exists(path) else []


def receipt_rows(out, record):
    """The rows of a receipt the emulator wrote: a byte a dot, 0 paper, 1 black, 2 highlight (its PNG has 2 bits a
    dot, the palette's index being the ink)."""
    data, idat, i = open(os.path.join(out, record["png"]), "rb").read(), b"", 8
    while i < len(data):
        n, kind = struct.unpack(">I4s", data[i:i + 8])
        idat, i = idat + (data[i + 8:i + 8 + n] if kind == b"IDAT" else b""), i + 12 + n
    raw, stride = zlib.decompress(idat), 1 + W // 4
    return [bytes(b >> s & 3 for b in raw[y * stride + 1:(y + 1) * stride] for s in (6, 4, 2, 0))
            for y in range(len(raw) // stride)]


def finish(processes, work, log_filter=lambda line: line[:1] in "EW" or "[Job" in line):
    """Ends the processes still running (asked first, killed after 10 s: a failure), shows the server's log when
    something failed, and removes the work folder."""
    for p in processes:
        if p and p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                check(False, "%s did not end when asked" % p.args[0])
                p.kill()
    if failures and os.path.exists(work + "/log"):
        print("".join(line for line in open(work + "/log", errors="replace") if log_filter(line))[-6000:])
    shutil.rmtree(work, ignore_errors=True)
