#!/usr/bin/env python3
"""A benchmark, never a test: one 576 x 3000 photo-like PNG job through a private rastiv-printer to the receipt
emulator (rastiv-cli serve), timed from the submission to the receipt written, with the server's peak memory.

    bench/printerapp/photo_job_bench.py [BUILD_DIR] [RUNS]     (a Release build; RUNS defaults to 5)

Each run is a job of its own on the same server; the median time is reported, and the server's peak resident
memory (VmHWM) after all of them.  The emulator's own time is in it: it draws the receipt as a PNG."""
import math, os, random, shutil, socket, statistics, struct, subprocess, sys, tempfile, time, zlib

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-release")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
app, cli = os.path.join(build, "bin", "rastiv-printer"), os.path.join(build, "bin", "rastiv-cli")
W, H = 576, 3000


def photo():
    """Smooth colour fields with grain, so that every ink and the diffusion's error are busy, as in a photograph;
    the same bytes on every run."""
    rnd, rows = random.Random(7), []
    for y in range(H):
        row = bytearray(3 * W)
        for x in range(W):
            for c in range(3):
                v = 128 + 90 * math.sin(x / (40 + 17 * c) + y / (90 - 13 * c)) + rnd.randint(-25, 25)
                row[3 * x + c] = max(0, min(255, int(v)))
        rows.append(b"\0" + bytes(row))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))  # noqa: E731
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


free_port = lambda: socket.create_server(("127.0.0.1", 0)).getsockname()[1]  # noqa: E731
work = tempfile.mkdtemp(prefix="photo-job-bench-")
port, device = free_port(), free_port()
with open(os.path.join(work, "photo.png"), "wb") as f:
    f.write(photo())
env = dict(os.environ, LC_ALL="C", TMPDIR=work)
server = subprocess.Popen([app, "server", "-o", "server-port=%d" % port, "-o", "spool-directory=" + work + "/spool",
                           "-o", "log-file=" + work + "/log", "-o", "log-level=warn"], env=env)
emulator = subprocess.Popen([cli, "serve", "--highlight", "red", "--port", str(device), "--out", work + "/out"],
                            stdout=subprocess.PIPE, text=True)
try:
    deadline = time.time() + 15
    while socket.socket().connect_ex(("127.0.0.1", port)):
        if time.time() > deadline or server.poll() is not None:
            sys.exit("rastiv-printer did not start")
        time.sleep(0.05)
    emulator.stdout.readline()  # it listens
    run = lambda *a: subprocess.run([app, *a], env=env, check=True, capture_output=True, timeout=120)  # noqa: E731
    run("add", "-u", "ipp://localhost:%d/ipp/system" % port, "-d", "rx", "-m", "tintarex_red", "-v",
        "socket://127.0.0.1:%d" % device)
    times = []
    for _ in range(runs):
        began = time.perf_counter()
        run("submit", "-u", "ipp://localhost:%d/ipp/print/rx" % port, os.path.join(work, "photo.png"))
        emulator.stdout.readline()  # "receipt OUT/NNNN.png"
        times.append(time.perf_counter() - began)
    peak = next(int(l.split()[1]) for l in open("/proc/%d/status" % server.pid) if l.startswith("VmHWM:"))
    print("576 x 3000 photo job: median %.0f ms (of %s), rastiv-printer peak RSS %.1f MiB" %
          (1000 * statistics.median(times), ", ".join("%.0f" % (1000 * t) for t in times), peak / 1024))
finally:
    for p in (emulator, server):
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
    shutil.rmtree(work, ignore_errors=True)
