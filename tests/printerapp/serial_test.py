#!/usr/bin/env python3
"""rastiv-printer's serial scheme on the receipt emulator's pseudo-terminal (rastiv-cli serve --no-tcp --link): a job
prints whole; the printer going away mid-job shows it off line and the job prints whole once it is back; a printer
that is away when a job comes stops, and a restart of the server (after a crash) keeps the printer and the job, which prints when the
printer returns.  Exit 77: skipped."""
import os, shutil, socket, subprocess, sys, tempfile, time

from support import finish, W, check, failures, records, receipt_rows, wait_for, write_png

build = os.path.abspath(sys.argv[1])
app, cli = os.path.join(build, "bin", "rastiv-printer"), os.path.join(build, "bin", "rastiv-cli")
if not os.path.exists(app) or not shutil.which("ipptool"):
    print("skipped: needs rastiv-printer (libpappl-dev) and ipptool (cups-ipp-utils)")
    sys.exit(77)
work = tempfile.mkdtemp(prefix="printerapp-serial-")
procs = []
port = socket.create_server(("127.0.0.1", 0)).getsockname()[1]
printer = "ipp://localhost:%d/ipp/print/sx" % port
env = dict({k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}, LC_ALL="C", TMPDIR=work)
run = lambda *a: subprocess.run([app, *a], capture_output=True, text=True, env=env, timeout=60)  # noqa: E731


def red_png(name, rows):
    """A solid red picture: every dot of each of its rows prints in the highlight ink."""
    path = os.path.join(work, name)
    write_png(path, [b"\xff\0\0" * W] * rows)
    return path


def printed(out, rows, what):
    """The first receipt in OUT is the whole job: `rows` rows, every dot highlight, then the cut."""
    if not wait_for(what, lambda: os.path.exists(out + "/receipts.jsonl") and open(out + "/receipts.jsonl").read()):
        return
    record = records(out)[0]
    got = receipt_rows(out, record)
    whole = all(r == b"\x02" * W for r in got)
    check(len(got) == rows and whole and record["ended"] == "cut", "%s: %s" % (what, record))


def emulator(out):
    p = subprocess.Popen([cli, "serve", "--no-tcp", "--link", work + "/lp", "--out", out, "--idle-timeout", "0"],
                         stdout=subprocess.PIPE, text=True)
    procs.append(p)
    p.stdout.readline()  # its pseudo-terminal is there
    return p


def server():
    p = subprocess.Popen([app, "server", "-o", "server-port=%d" % port, "-o", "spool-directory=" + work + "/spool",
                          "-o", "log-file=" + work + "/log", "-o", "log-level=debug"], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, env=dict(env, TINTAREX_ALLOW_PSEUDO_TERMINAL="1"))
    procs.append(p)
    wait_for("the server", lambda: p.poll() is None and not socket.socket().connect_ex(("127.0.0.1", port)))
    return p


def state():
    with open(work + "/state.test", "w") as f:
        f.write("{\nOPERATION Get-Printer-Attributes\nGROUP operation-attributes-tag\nATTR charset attributes-charset "
                "utf-8\nATTR naturalLanguage attributes-natural-language en\nATTR uri printer-uri $uri\n"
                "DISPLAY printer-state\nDISPLAY printer-state-reasons\n}\n")
    lines = subprocess.run(["ipptool", "-T", "5", printer, work + "/state.test"], capture_output=True, text=True)
    return lines.stdout.strip().split("\n")[-1]


def log_has(text):
    return os.path.exists(work + "/log") and text in open(work + "/log", errors="replace").read()


try:
    s = server()
    a = emulator(work + "/a")
    added = run("add", "-u", "ipp://localhost:%d/ipp/system" % port, "-d", "sx", "-m", "tintarex_red", "-v",
                "tintarex:" + work + "/lp?baud=115200&parity=none")
    check(added.returncode == 0, "add: " + added.stderr)
    run("submit", "-u", printer, red_png("small.png", 40))
    printed(work + "/a", 40, "a job through the serial scheme")

    # Gone mid-job: the device is open and the job's lines are going out when the printer disappears.
    run("submit", "-u", printer, red_png("long.png", 2000))
    wait_for("the long job to start", lambda: log_has("[Job 2] PNG image dimensions"))
    a.kill()
    wait_for("the printer off line", lambda: "offline" in state())
    emulator(work + "/b")
    printed(work + "/b", 2000, "the job after the printer came back")

    # Away when the job comes: the printer stops; a restart keeps printer and job.
    procs[-1].terminate()
    procs[-1].wait(10)
    run("submit", "-u", printer, red_png("late.png", 30))
    wait_for("the printer stopped", lambda: state().startswith("stopped"))
    s.kill()  # PAPPL waits for a job whose printer is away before it shuts down; a crash must keep the queue too
    s.wait(10)
    os.unlink(work + "/log")
    s = server()
    jobs = run("jobs", "-u", printer)
    check("late.png" in jobs.stdout, "the queued job after a restart: " + jobs.stdout + jobs.stderr)
    emulator(work + "/c")
    printed(work + "/c", 30, "the queued job after a restart")
finally:
    finish(reversed(procs), work)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
