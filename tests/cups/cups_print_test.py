#!/usr/bin/env python3
"""A private CUPS scheduler with this build's driver prints to the receipt emulator (rastiv-cli serve): a PNG
and a PDF through CUPS's socket backend and through the tintarex backend on a pseudo-terminal, each receipt
compared dot for dot with Pixmill's separation of the page; a job cancelled mid-page; a device that does not
answer.  Exit 77: skipped."""
import json, os, pty, shutil, signal, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1])
tools = ("cupsd", "lp", "lpadmin", "lpinfo", "/usr/lib/cups/filter/imagetoraster", "/usr/lib/cups/filter/imagetopdf")
missing = [t + " is missing: scripts/setup.sh installs cups, cups-client, cups-bsd and cups-filters" for t in tools
           if not shutil.which(t)]
if os.geteuid() != 0 or missing:
    print("skipped: " + (missing[0] if missing else "the scheduler runs its backends as root: run as root, as CI does"))
    sys.exit(77)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "printerapp"))
from support import W, check, failures, free_port, page, receipt_rows, separation, wait_for, write_png  # noqa: E402

# ---- The page: bands of black, red and white, then a tone from white through red to black ----
H, PHOTO, NEAREST = len(page), 1, 3
long_page = page * 25  # inked on every line, far more than the pipes between the programs hold
inked = lambda rows: [y for y, r in enumerate(rows) if any(r)] or [0, -1]  # noqa: E731

# ---- The scheduler, with the system's programs and this build's driver ----
work = tempfile.mkdtemp(prefix="cups-test-")
d = {k: os.path.join(work, k) for k in ("root", "spool", "log", "cache", "state", "data")}
for path in [work] + list(d.values()):
    os.makedirs(path, exist_ok=True)
    os.chmod(path, 0o755)  # whatever the umask: the filters run as lp
d["bin"] = shutil.copytree("/usr/lib/cups", os.path.join(work, "bin"), symlinks=True)
for sub, ours, mode in (("filter", "rastertotintarex", 0o755), ("backend", "tintarex", 0o700)):
    os.chmod(shutil.copy(os.path.join(build, "cups", sub, ours), os.path.join(d["bin"], sub)), mode)
for name in os.listdir("/usr/share/cups"):
    if name != "model":  # ours, with the system's models beside our PPD
        os.symlink("/usr/share/cups/" + name, os.path.join(d["data"], name))
ppd = shutil.copytree(os.path.join(build, "ppd"), os.path.join(d["data"], "model", "rastiv")) + "/tintarex.ppd"
port = free_port()
with open(os.path.join(d["root"], "cupsd.conf"), "w") as f:
    # The whole log (no rotation): a failure shows the jobs' lines.
    f.write("Listen 127.0.0.1:%d\nLogLevel debug\nMaxLogSize 0\nBrowsing Off\nJobKillDelay 10\nDefaultAuthType None\n"
            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n" % port)
with open(os.path.join(d["root"], "cups-files.conf"), "w") as f:
    f.write("ServerRoot %(root)s\nRequestRoot %(spool)s\nCacheDir %(cache)s\nStateDir %(state)s\n"
            "ServerBin %(bin)s\nDataDir %(data)s\nErrorLog %(log)s/error_log\nAccessLog %(log)s/access_log\n"
            "PageLog %(log)s/page_log\nPrintcap %(cache)s/printcap\nFileDevice No\nSystemGroup root\n"
            # The emulator's link is a pseudo-terminal, which the tintarex backend opens only when so configured.
            "SetEnv TINTAREX_ALLOW_PSEUDO_TERMINAL 1\n" % d)
# A sanitizer's runtime preloaded for this script stays out of the scheduler.
env = dict({k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}, CUPS_SERVER="127.0.0.1:%d" % port, LC_ALL="C")
run = lambda *args: subprocess.run(args, capture_output=True, text=True, env=env, timeout=60).stdout  # noqa: E731


def printed(where, queue, path, *options, during=lambda emulator, job: None):
    """Prints with the receipt emulator listening at `where` for one receipt: its rows and its record."""
    out = tempfile.mkdtemp(dir=work)
    emulator = subprocess.Popen([os.path.join(build, "bin", "rastiv-cli"), "serve", "--once", "--highlight", "red",
                                 "--out", out, *where], stdout=subprocess.PIPE, text=True)
    emulator.stdout.readline()  # it listens
    job = run("lp", "-d", queue, *options, path).split()[3]
    during(emulator, job)
    wait_for(job + " to finish", lambda: job not in run("lpstat", "-o", queue))
    wait_for("the receipt", lambda: emulator.poll() is not None, 30) or emulator.kill()
    if not os.path.exists(out + "/receipts.jsonl"):
        return check(False, "%s %s: the emulator wrote no receipt" % (queue, path)) or [], {}
    record = json.loads(open(out + "/receipts.jsonl").readline())
    return receipt_rows(out, record), record


cupsd = subprocess.Popen(["cupsd", "-f", "-c", d["root"] + "/cupsd.conf", "-s", d["root"] + "/cups-files.conf"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
try:
    if not wait_for("the scheduler", lambda: cupsd.poll() is None and "is running" in run("lpstat", "-r"), 15):
        print("skipped: cupsd does not run here: " + (cupsd.stderr.read().decode() if cupsd.poll() else ""))
        sys.exit(77)
    check("tintarex" in run("lpinfo", "-v"), "lpinfo -v does not list the tintarex backend")
    check("rastiv/tintarex.ppd" in run("lpinfo", "-m"), "lpinfo -m does not list rastiv/tintarex.ppd")
    wide = [bytes((0, 0, 0)) * 576 + bytes((255, 0, 0)) * 576] * 288  # landscape: black, then red
    for name, rows in (("page.png", page), ("long.png", long_page), ("wide.png", wide)):
        write_png(os.path.join(work, name), rows)
    with open(os.path.join(work, "page.pdf"), "wb") as f:  # the same picture as a PDF page, by CUPS's converter
        subprocess.run(["/usr/lib/cups/filter/imagetopdf", "1", "u", "t", "1", "ppi=203 position=top PageSize=80x100mm",
                        os.path.join(work, "page.png")], env=dict(env, PPD=ppd), stdout=f, stderr=subprocess.DEVNULL)
    with open(os.path.join(work, "letter.pdf"), "wb") as f:  # the picture in the middle of a Letter page
        subprocess.run(["/usr/lib/cups/filter/imagetopdf", "1", "u", "t", "1", "PageSize=Letter",
                        os.path.join(work, "page.png")], env=env, stdout=f, stderr=subprocess.DEVNULL)
    link, net, mute = os.path.join(work, "printer"), free_port(), pty.openpty()  # mute: a line nobody answers on
    for queue, uri in (("net", "socket://127.0.0.1:%d" % net), ("serial", "tintarex:%s?baud=115200&parity=none" % link),
                       ("dead", "tintarex:" + os.ttyname(mute[1]))):
        run("lpadmin", "-p", queue, "-E", "-v", uri, "-m", "rastiv/tintarex.ppd")

    # ---- The page through each backend: a PNG at its own size in the Photo separation, and a PDF in Graphics.
    # Ghostscript places a PDF's picture at whole points: it may sit up to `shift` dots off and lose edge dots.
    at_size = ["-o", "ppi=203", "-o", "position=top"]
    for queue, where in (("net", ["--port", str(net)]), ("serial", ["--no-tcp", "--link", link])):
        for name, options, method, shift in (("page.png", at_size + ["-o", "media=80x100mm"], PHOTO, 0),
                                             ("page.pdf", ["-o", "TintHighlight=Graphics"], NEAREST, 2)):
            rows, record = printed(where, queue, os.path.join(work, name), *options)
            got, expected, best = rows[inked(rows)[0]:inked(rows)[-1] + 1], separation(build, page, method), (W * H, 0, 0, 0)
            for dy, dx in ((dy, dx) for dy in range(-shift, shift + 1) for dx in range(-shift, shift + 1)):
                pairs = [(got[y][x], expected[y + dy][x + dx]) for y in range(max(0, -dy), min(len(got), H - dy))
                         for x in range(max(0, -dx), min(W, W - dx))]
                best = min(best, (sum(a != b for a, b in pairs), -len(pairs), dy, dx))
            check(best[0] == 0 and -best[1] >= (H - 2 * shift) * (W - 2 * shift) and (shift or len(got) == H),
                  "%s %s: %d of %d dots differ from the separation (best at %+d rows, %+d dots)" %
                  (queue, name, best[0], -best[1], best[2], best[3]))
            check(record.get("ended") == "cut" and not record.get("warnings"), "%s %s: %s" % (queue, name, record))

    # ---- A roll: a landscape picture upright at full width and as long as it is, or turned when asked (its halves
    # then one after the other); a Letter page from its first inked line ----
    for options, lines in (([], 144), (["-o", "orientation-requested=4"], 2304)):
        rows, record = printed(["--port", str(net)], "net", os.path.join(work, "wide.png"), *options)
        got = rows[inked(rows)[0]:inked(rows)[-1] + 1] or [bytes(W)]
        dots = [(got[len(got) * q // 4][100], got[len(got) * q // 4][476]) for q in (1, 3)]
        upright = dots == [(1, 2)] * 2
        turned = dots[0][0] == dots[0][1] != dots[1][0] == dots[1][1]
        check(abs(len(got) - lines) <= 2 and (upright if lines == 144 else turned),
              "wide.png %s: %d lines, dots %s" % (options, len(got), dots))
    rows, record = printed(["--port", str(net)], "net", os.path.join(work, "letter.pdf"))
    check(inked(rows)[0] == 0 and len(rows) - inked(rows)[-1] < 100, "letter.pdf: inked rows %d to %d of %d" %
          (inked(rows)[0], inked(rows)[-1], len(rows)))

    # ---- Cancelled mid-page: the lines printed are the page's, whole, then the feed ----
    def cancel_mid_page(emulator, job):
        wait_for("the job to start", lambda: "now printing" in run("lpstat", "-p", "serial"))
        emulator.send_signal(signal.SIGSTOP)  # the printer stops taking data: the pipes fill
        time.sleep(1.0)
        run("cancel", job)
        emulator.send_signal(signal.SIGCONT)

    rows, record = printed(["--no-tcp", "--link", link], "serial", os.path.join(work, "long.png"), *at_size, "-o",
                           "PageSize=Custom.80x400mm", during=cancel_mid_page)
    lines = rows[inked(rows)[0]:inked(rows)[-1] + 1]
    check(0 < len(lines) < len(long_page) and lines == separation(build, long_page, PHOTO)[:len(lines)] and
          len(rows) - 1 - inked(rows)[-1] == 255 and record.get("commands", {}).get("19") == 1 and
          not record.get("warnings"), "cancelled: %d lines printed of %d; %s" % (len(lines), len(rows), record))

    # ---- A device that does not answer stops its queue, saying why ----
    run("lp", "-d", "dead", os.path.join(work, "page.png"))
    wait_for("the queue to stop", lambda: "disabled" in run("lpstat", "-p", "dead"), 30)
    state = run("lpstat", "-p", "dead", "-l")
    check("does not answer" in state, "lpstat does not say why the queue stopped: " + state)
finally:
    cupsd.terminate()
    wait_for("the scheduler to stop", lambda: cupsd.poll() is not None, 10) or cupsd.kill()
    if failures and os.path.exists(d["log"] + "/error_log"):
        print("".join(l for l in open(d["log"] + "/error_log", errors="replace") if " E " in l or "[Job" in l)[-6000:])
    shutil.rmtree(work, ignore_errors=True)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
