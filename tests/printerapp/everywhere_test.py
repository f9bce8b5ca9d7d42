#!/usr/bin/env python3
"""A private rastiv-printer whose printer is the receipt emulator (rastiv-cli serve), checked as a driverless
printer: `ipptool` with CUPS's IPP Everywhere tests passes all of them, and the printer's beep identifies it.
Exit 77: skipped."""
import json, os, shutil, socket, struct, subprocess, sys, tempfile, time, zlib

build = os.path.abspath(sys.argv[1])
app, cli = os.path.join(build, "bin", "rastiv-printer"), os.path.join(build, "bin", "rastiv-cli")
if not os.path.exists(app) or not shutil.which("ipptool"):
    print("skipped: needs rastiv-printer (libpappl-dev) and ipptool (cups-ipp-utils)")
    sys.exit(77)
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


work = tempfile.mkdtemp(prefix="everywhere-test-")
port, device, out = free_port(), free_port(), os.path.join(work, "out")
uri = "ipp://localhost:%d/ipp/print/rx" % port
env = dict({k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}, LC_ALL="C", TMPDIR=work)
ipp = lambda *args: subprocess.run(["ipptool", "-T", "20", *args], capture_output=True, text=True,  # noqa: E731
                                   env=env, timeout=600, cwd=work)
emulator = subprocess.Popen([cli, "serve", "--highlight", "red", "--port", str(device), "--out", out],
                            stdout=subprocess.PIPE, text=True)
# Without TLS: PAPPL 1.3.1 answers a client on the loopback with one printer-uri-supported (ipp://, no ipps://) but
# both uri-security-supported values, which RFC 8011's test rejects; a client on the network gets both URIs.
server = subprocess.Popen([app, "server", "-o", "server-options=no-tls", "-o", "server-port=%d" % port,
                           "-o", "spool-directory=" + work + "/spool", "-o", "log-file=" + work + "/log"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
try:
    emulator.stdout.readline()  # it listens
    listening = lambda: server.poll() is None and not socket.socket().connect_ex(("127.0.0.1", port))  # noqa: E731
    if not wait_for("the server", listening):
        sys.exit(1)
    added = subprocess.run([app, "add", "-u", "ipp://localhost:%d/ipp/system" % port, "-d", "rx", "-m",
                            "tintarex_red", "-v", "socket://127.0.0.1:%d" % device], capture_output=True, text=True,
                           env=env, timeout=60)
    check(added.returncode == 0, "add: " + added.stderr)
    # One test expects the printer to have been up a second: ask until it has.
    with open(os.path.join(work, "up.test"), "w") as f:
        f.write("{\nOPERATION Get-Printer-Attributes\nGROUP operation-attributes-tag\n"
                "ATTR charset attributes-charset utf-8\nATTR naturalLanguage attributes-natural-language en\n"
                "ATTR uri printer-uri $uri\nSTATUS successful-ok\nEXPECT printer-up-time WITH-VALUE >0\n}\n")
    wait_for("printer-up-time > 0", lambda: ipp(uri, "up.test").returncode == 0)
    # The photo: a tone from white through red to black, as a PNG.
    W, H = 576, 200
    rows = b"".join(b"\0" + bytes(v for x in range(W) for v in ((255, 255 - x * 255 // W, 255 - x * 255 // W)
                                                                if y < 100 else (255 - x * 255 // W, 0, 0)))
                    for y in range(H))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))  # noqa: E731
    with open(os.path.join(work, "photo.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
    result = ipp("-t", "-f", "photo.png", uri, "ipp-everywhere.test")
    print("ipp-everywhere.test: %d passed, %d failed" % (result.stdout.count("[PASS]"), result.stdout.count("[FAIL]")))
    check(result.returncode == 0 and "[FAIL]" not in result.stdout and "[PASS]" in result.stdout,
          "ipp-everywhere.test: " + "\n".join(l for l in result.stdout.splitlines()[-60:]))
finally:
    for p in (emulator, server):
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
    if failures and os.path.exists(work + "/log"):
        print("".join(l for l in open(work + "/log", errors="replace") if l[:1] in "EW")[-4000:])
    shutil.rmtree(work, ignore_errors=True)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
