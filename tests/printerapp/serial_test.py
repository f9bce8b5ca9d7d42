#!/usr/bin/env python3
"""rastiv-printer's serial scheme on the receipt emulator's pseudo-terminal (rastiv-cli serve --no-tcp --link): a job
prints whole; the printer going away mid-job shows it off line and pausing, the job prints whole once it is back and
the printer resumes by itself; a printer that is away when jobs come stops, the server shuts down at once when asked,
and the next start prints the jobs in order when the printer returns.  `devices` lists the pseudo-terminal without a
DNS-SD daemon.  Exit 77: skipped."""
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
    """The receipts in OUT are whole jobs of these many rows, in this order: every dot highlight, then the cut."""
    if not wait_for(what, lambda: len(records(out)) >= len(rows)):
        return
    got = [(len(r), all(line == b"\x02" * W for line in r), rec["ended"])
           for rec in records(out) for r in [receipt_rows(out, rec)]]
    check(got == [(n, True, "cut") for n in rows], "%s: %s" % (what, got))


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
    listed = subprocess.run([app, "devices"], capture_output=True, text=True, timeout=60,
                            env=dict(env, TINTAREX_ALLOW_PSEUDO_TERMINAL="1"))
    check(listed.returncode == 0 and "tintarex:" + os.path.realpath(work + "/lp") in listed.stdout.split(),
          "devices: %d %s %s" % (listed.returncode, listed.stdout, listed.stderr))
    run("submit", "-u", printer, red_png("small.png", 40))
    printed(work + "/a", [40], "a job through the serial scheme")

    # Gone mid-job: the device is open and the job's lines are going out when the printer disappears.
    run("submit", "-u", printer, red_png("long.png", 2000))
    wait_for("the long job to start", lambda: log_has("[Job 2] PNG image dimensions"))
    a.kill()
    wait_for("the printer off line and pausing", lambda: "offline" in state() and "moving-to-paused" in state())
    emulator(work + "/b")
    printed(work + "/b", [2000], "the job after the printer came back")
    wait_for("the printer to resume by itself", lambda: state().startswith("idle"))

    # Away when jobs come: the printer stops; asked to shut down, the server ends at once and the next start keeps
    # the printer and prints its jobs in order.
    procs[-1].terminate()
    procs[-1].wait(10)
    run("submit", "-u", printer, red_png("late.png", 30))
    run("submit", "-u", printer, red_png("later.png", 20))
    wait_for("the printer stopped", lambda: state().startswith("stopped"))
    s.terminate()  # `rastiv-printer shutdown` would reach whichever server holds the local socket
    wait_for("the server to end", lambda: s.poll() is not None, 15)  # not PAPPL's minute
    os.unlink(work + "/log")
    s = server()
    emulator(work + "/c")
    printed(work + "/c", [30, 20], "the queued jobs after a restart")
finally:
    finish(reversed(procs), work)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
