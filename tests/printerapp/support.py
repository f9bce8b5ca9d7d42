"""What the printer application's tests share: failures collected rather than raised (a test goes on to stop its
processes), waits with a bound, free ports, PNG pictures written by hand and the emulator's receipts read back."""
import json, os, shutil, socket, struct, subprocess, time, zlib

W = 576  # dots in one printer line
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)
    return ok


def free_port():
    return socket.create_server(("127.0.0.1", 0)).getsockname()[1]


def wait_for(what, test, seconds=30):
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
