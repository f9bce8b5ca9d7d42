#!/usr/bin/env python3
"""rastiv-printer as a private instance (its own port and spool folder) prints to the receipt emulator (rastiv-cli
serve) through PAPPL's socket:// device: the same picture as PNG, JPEG and PWG raster, each receipt compared dot for
dot with Pixmill's separation of the pixels the printer was given, starting at the picture's first line.  With
`load`: 50 jobs from 5 clients at once, each printed once and each client's in the order sent, the server's peak
memory bounded.
Exit 77: skipped."""
import os, shutil, socket, struct, subprocess, sys, tempfile, threading, time

from support import finish, W, check, failures, free_port, page, receipt_rows, records, separation, wait_for, \
    write_png

build, load = os.path.abspath(sys.argv[1]), sys.argv[2:] == ["load"]
app, cli = os.path.join(build, "bin", "rastiv-printer"), os.path.join(build, "bin", "rastiv-cli")
if not os.path.exists(app):
    print("skipped: rastiv-printer is not built (it needs libpappl-dev)")
    sys.exit(77)

# ---- The page: white above and below, bands of black, red and white, then a tone from white through red to black
PHOTO = 1
white = b"\xff" * (3 * W)
picture = [white] * 30 + page + [white] * 30


def write_jpeg(path, rows):
    """Lossy: the pixels the printer gets are the decoder's, read back with the same libjpeg PAPPL uses."""
    ppm = b"P6 %d %d 255\n" % (W, len(rows)) + b"".join(rows)
    subprocess.run(["cjpeg", "-quality", "90", "-outfile", path], input=ppm, check=True)
    data = subprocess.run(["djpeg", "-ppm", path], capture_output=True, check=True).stdout
    pixels = data[len(data) - 3 * W * len(rows):]
    return [pixels[y * 3 * W:(y + 1) * 3 * W] for y in range(len(rows))]


def write_pwg(path, rows):
    """One page of 8-bit sRGB PWG raster at 203 dpi, each line written as literal runs of 64 pixels."""
    header = bytearray(1796)
    put = lambda offset, *values: struct.pack_into(">%dI" % len(values), header, offset, *values)  # noqa: E731
    header[0:9] = b"PwgRaster"
    put(276, 203, 203)  # HWResolution
    put(340, 1)  # NumCopies
    put(352, W * 72 // 203, len(rows) * 72 // 203)  # PageSize, points
    put(372, W, len(rows), 0, 8, 24, 3 * W, 0, 19)  # width, height, media type, bits, bytes a line, chunky, sRGB
    put(420, 3)  # colours
    put(452, 1, 1, 1)  # TotalPageCount, CrossFeedTransform, FeedTransform
    lines = (b"\0" + b"".join(bytes([257 - 64]) + r[i:i + 192] for i in range(0, 3 * W, 192)) for r in rows)
    with open(path, "wb") as f:
        f.write(b"RaS2" + header + b"".join(lines))
    return rows


FORMATS = [("png", write_png), ("jpeg", write_jpeg), ("pwg", write_pwg)]
if not load and not shutil.which("cjpeg"):
    print("skipped: cjpeg and djpeg (libjpeg-turbo-progs) are not installed")
    sys.exit(77)

work = tempfile.mkdtemp(prefix="printerapp-test-")
port, device = free_port(), free_port()
system = "ipp://localhost:%d/ipp/system" % port
env = dict({k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}, LC_ALL="C", TMPDIR=work)
run = lambda *args: subprocess.run([app, *args], capture_output=True, text=True, env=env, timeout=60)  # noqa: E731
server = subprocess.Popen([app, "server", "-o", "server-port=%d" % port, "-o", "spool-directory=" + work + "/spool",
                           "-o", "log-file=" + work + "/log", "-o", "log-level=debug"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
out = os.path.join(work, "out")
emulator = subprocess.Popen([cli, "serve", "--highlight", "red", "--port", str(device), "--out", out],
                            stdout=subprocess.PIPE, text=True)
receipts = []  # the emulator's lines, one a receipt written
try:
    if not wait_for("the server", lambda: server.poll() is None and not socket.socket().connect_ex(("127.0.0.1", port)), 15):
        sys.exit(1)
    emulator.stdout.readline()  # it listens
    threading.Thread(target=lambda: receipts.extend(emulator.stdout), daemon=True).start()
    added = run("add", "-u", system, "-d", "rx", "-m", "tintarex_red", "-v", "socket://127.0.0.1:%d" % device)
    check(added.returncode == 0, "add: " + added.stderr)
    submit = lambda path: run("submit", "-u", "ipp://localhost:%d/ipp/print/rx" % port, path)  # noqa: E731

    for n, (name, write) in enumerate([] if load else FORMATS):
        given = write(os.path.join(work, "page." + name), picture)
        submitted = submit(os.path.join(work, "page." + name))
        check(submitted.returncode == 0, name + ": submit: " + submitted.stderr)
        if not wait_for(name + "'s receipt", lambda: len(receipts) > n, 60):
            break
        record = records(out)[n]
        rows = receipt_rows(out, record)
        expected = separation(build, given, PHOTO)
        inked = [y for y, r in enumerate(expected) if any(r)]
        expected = expected[inked[0]:inked[-1] + 1]
        diff = sum(a != b for got, want in zip(rows, expected) for a, b in zip(got, want))
        # The roll prints as long as its content: no blank paper before it, none after it.
        check(len(rows) == len(expected) and diff == 0,
              "%s: %d rows printed, %d expected; %d dots differ" % (name, len(rows), len(expected), diff))
        check(record.get("ended") == "cut" and not record.get("warnings"), "%s: %s" % (name, record))

    if load:
        # Job j of client c is a black band 10 + 10 c + j lines high: its receipt's length says whose it is.
        CLIENTS, JOBS = 5, 10
        for c in range(CLIENTS):
            for j in range(JOBS):
                write_png(os.path.join(work, "c%dj%d.png" % (c, j)), [b"\0" * (3 * W)] * (10 + 10 * c + j))

        def client(c):
            for j in range(JOBS):
                submitted = submit(os.path.join(work, "c%dj%d.png" % (c, j)))
                check(submitted.returncode == 0, "client %d job %d: submit: %s" % (c, j, submitted.stderr))
        # The clients send at once while the printer prints: each job prints once, each client's in its order.
        clients = [threading.Thread(target=client, args=(c,)) for c in range(CLIENTS)]
        began = time.time()
        for t in clients:
            t.start()
        for t in clients:
            t.join()
        printer = "ipp://localhost:%d/ipp/print/rx" % port
        done = lambda: run("jobs", "-u", printer).stdout.count(" completed ") == CLIENTS * JOBS  # noqa: E731
        wait_for("every job completed", done, 300) and wait_for("the last receipt", lambda: len(receipts) >= CLIENTS * JOBS, 30)
        seconds = time.time() - began
        lengths = [len(receipt_rows(out, r)) for r in records(out)]
        check(len(lengths) == CLIENTS * JOBS, "%d receipts for %d jobs" % (len(lengths), CLIENTS * JOBS))
        for c in range(CLIENTS):
            mine = [h - 10 - 10 * c for h in lengths if 0 <= h - 10 - 10 * c < JOBS]
            check(mine == list(range(JOBS)), "client %d's jobs printed as %s" % (c, mine))
        # The writer holds a line, not a page; PAPPL keeps a job's file and a few threads: 12 MB in a Debug build,
        # a bound with room for the sanitizers' shadow memory.
        peak = int(next(l.split()[1] for l in open("/proc/%d/status" % server.pid) if l.startswith("VmHWM:")))
        print("load: %d jobs in %.1f s, peak RSS of rastiv-printer %d MB" % (len(receipts), seconds, peak // 1024))
        check(peak < 256 * 1024, "rastiv-printer's peak RSS is %d kB" % peak)
finally:
    finish((emulator, server), work)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
