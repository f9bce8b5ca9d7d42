#!/usr/bin/env python3
"""A private rastiv-printer whose printer is the receipt emulator (rastiv-cli serve), checked as a driverless
printer.  everywhere_test.py BUILD ipptool: CUPS's IPP Everywhere tests (ipptool) pass, all of them.
everywhere_test.py BUILD cups: a private cupsd adds it with `lpadmin -m everywhere` and prints a PDF and a text file
with `lp` behind another client's job; the receipts come out upright, in order, at full width, without blank paper before them.
everywhere_test.py BUILD web: the web page in headless chromium.  Exit 77: skipped."""
import os, shutil, socket, subprocess, sys, tempfile, time

from support import finish, check, failures, free_port, receipt_rows, records, wait_for, write_png

build, mode = os.path.abspath(sys.argv[1]), sys.argv[2]
app, cli = os.path.join(build, "bin", "rastiv-printer"), os.path.join(build, "bin", "rastiv-cli")
tools = {"ipptool": ["ipptool"], "cups": ["cupsd", "lpadmin", "lp", "/usr/lib/cups/filter/texttopdf"],
         "web": ["chromium", "chromedriver"]}[mode]
try:
    import selenium.webdriver  # python3-selenium
except ImportError:
    tools += ["python3-selenium"] if mode == "web" else []
if not os.path.exists(app) or not all(map(shutil.which, tools)) or mode == "cups" and os.geteuid():
    print("skipped: needs rastiv-printer (libpappl-dev), %s (scripts/setup.sh), cupsd as root" % " ".join(tools))
    sys.exit(77)
def receipts():
    """The emulator's receipts: for each, its rows (a byte a dot: 0 paper, 1 black, 2 highlight)."""
    return [receipt_rows(out, r) for r in records(out)]


def print_through_cups():
    root = os.path.join(work, "cups")
    os.makedirs(root + "/spool")
    cups_port = free_port()
    with open(root + "/cupsd.conf", "w") as f:
        f.write("Listen 127.0.0.1:%d\nLogLevel debug\nBrowsing Off\nDefaultAuthType None\n"
                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n" % cups_port)
    with open(root + "/cups-files.conf", "w") as f:
        f.write("ServerRoot %(r)s\nRequestRoot %(r)s/spool\nCacheDir %(r)s\nStateDir %(r)s\nErrorLog %(r)s/log\n"
                "AccessLog %(r)s/access_log\nPageLog %(r)s/page_log\nPrintcap %(r)s/printcap\nSystemGroup root\n"
                % {"r": root})
    os.chmod(work, 0o755)  # the filters run as lp
    for d in (root, root + "/spool"):
        os.chmod(d, 0o755)
    cenv = dict({k: v for k, v in env.items() if k != "TMPDIR"}, CUPS_SERVER="127.0.0.1:%d" % cups_port)
    run = lambda *a: subprocess.run(a, capture_output=True, text=True, env=cenv, timeout=120)  # noqa: E731
    cupsd = subprocess.Popen(["cupsd", "-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"], env=cenv,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for("the scheduler", lambda: "is running" in run("lpstat", "-r").stdout, 15):
            return 1
        added = run("lpadmin", "-p", "rx", "-E", "-v", uri, "-m", "everywhere")
        check(added.returncode == 0, "lpadmin -m everywhere: " + added.stderr)
        # The scheduler may still be making the queue's PPD when lpadmin returns; a job sent before it is done takes
        # the raw queue's defaults (monochrome).
        wait_for("the queue's PPD", lambda: "IPP Everywhere" in run("lpoptions", "-p", "rx").stdout)
        # The PDF: a receipt 72 mm by 100 mm, black on the top left, the highlight across the whole bottom.
        page = b"0 g 0 233 102 50 re f 1 0 0 rg 0 0 204 40 re f"
        objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                   b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 204 283] /Contents 4 0 R >>",
                   b"<< /Length %d >>\nstream\n%s\nendstream" % (len(page), page)]
        pdf, offsets = b"%PDF-1.4\n", []
        for n, o in enumerate(objects):
            offsets.append(len(pdf))
            pdf += b"%d 0 obj\n%s\nendobj\n" % (n + 1, o)
        trailer = b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, len(pdf))
        pdf += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1) + b"".join(
            b"%010d 00000 n \n" % o for o in offsets) + trailer
        with open(work + "/page.pdf", "wb") as f:
            f.write(pdf)
        with open(work + "/note.txt", "w") as f:
            f.write("Table 7: two coffees, one cake\n")
        # Another client's job waits on the paused printer when the scheduler's come: they wait for it, in order.
        subprocess.run([app, "pause", "-u", uri], env=env, timeout=60)
        wait_for("the printer to pause", lambda: "spool-area-full" in subprocess.run(
            [app, "status", "-u", uri], capture_output=True, text=True, env=env, timeout=60).stdout)
        subprocess.run([app, "submit", "-u", uri, work + "/photo.png"], env=env, timeout=60)
        for name in ("page.pdf", "note.txt"):
            check(run("lp", "-d", "rx", work + "/" + name).returncode == 0, "lp " + name)
        wait_for("the scheduler to wait", lambda: "[Job 1] The printer is in use." in open(root + "/log").read())
        subprocess.run([app, "resume", "-u", uri], env=env, timeout=60)
        wait_for("the jobs to print", lambda: not run("lpstat", "-o", "rx").stdout.strip(), 120)
        wait_for("three receipts", lambda: len(receipts()) == 3, 30)
        got = receipts() + [[], [], []]
        check(len(got[0]) == 200, "the other client's photo is not first: %d rows" % len(got[0]))
        pdf_rows, text_rows = got[1], got[2]
        black = [(y, x) for y, r in enumerate(pdf_rows) for x, v in enumerate(r) if v == 1]
        red = [(y, x) for y, r in enumerate(pdf_rows) for x, v in enumerate(r) if v == 2]
        check(black and red and max(y for y, _ in black) < min(y for y, _ in red) and
              max(x for _, x in black) < 320 and pdf_rows[0].count(1) > 200,
              "pdf: not upright, or blank paper first (black rows %s, red rows %s)" %
              (black[:1] + black[-1:], red[:1] + red[-1:]))
        red_cols = {x for _, x in red}
        check(len(red_cols) >= 560, "pdf: the full width is %d of 576 dots" % len(red_cols))
        inked = [y for y, r in enumerate(text_rows) if any(r)]
        cols = [x for r in text_rows for x, v in enumerate(r) if v]
        check(inked and inked[0] == 0 and max(cols) - min(cols) > 2 * len(inked),
              "text: %d rows, ink from row %s, %s dots wide" % (len(text_rows), inked[:1],
                                                                cols and max(cols) - min(cols)))
        if failures:
            print("".join(l for l in open(root + "/log") if l[:2] in ("E ", "W ") or "Started" in l or "argv" in l))
            print("".join(l for l in open(root + "/log", errors="replace") if l[:2] in ("E ", "W "))[-3000:])
    finally:
        cupsd.terminate()
        cupsd.wait(20)
    return 1 if failures else 0


def through_the_web_page():
    """In headless chromium: the printer's page shows its state and its supplies, and its test page prints in both
    inks; the highlight treatment set to black-only on the printing defaults page makes the next job black only."""
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select
    options = selenium.webdriver.ChromeOptions()
    # The driver and the browser are reached by address and pipe, never by the name "localhost", which a system
    # without /etc/hosts cannot resolve.
    for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-sync",
                "--disable-background-networking", "--disable-component-update", "--remote-debugging-pipe",
                "--user-data-dir=" + work + "/web"):
        options.add_argument(arg)
    driver_port = free_port()
    driver = subprocess.Popen(["chromedriver", "--port=%d" % driver_port], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        wait_for("the browser's driver", lambda: not socket.socket().connect_ex(("127.0.0.1", driver_port)), 30)
        browser = selenium.webdriver.Remote(command_executor="http://127.0.0.1:%d" % driver_port, options=options)
    except Exception:
        driver.kill()
        raise


    def printed():
        """The inks on the paper for the photo, sent once more."""
        before = len(receipts())
        subprocess.run([app, "submit", "-u", uri, work + "/photo.png"], env=env, timeout=60)
        wait_for("a receipt", lambda: len(receipts()) > before, 60)
        return {v for receipt in receipts()[before:] for r in receipt for v in r}
    try:
        browser.set_page_load_timeout(30)
        page = lambda path: browser.get("http://localhost:%d/rx%s" % (port, path)) or \
            browser.find_element(By.TAG_NAME, "body").text  # noqa: E731
        text = page("")
        check("Idle" in text and "red paper" in text, "the printer's page: " + text[:300])
        check("Thermal paper roll" in page("/supplies"), "the supplies page has no paper roll")
        page("")
        before = len(receipts())
        browser.find_element(By.XPATH, "//*[@value='print-test-page']/ancestor::form").submit()
        wait_for("the test page", lambda: len(receipts()) > before, 60)
        inks = {v for receipt in receipts()[before:] for r in receipt for v in r}
        check(inks == {0, 1, 2}, "the test page has inks %s, not paper, black and red" % inks)
        inks = printed()
        check(inks == {0, 1, 2}, "the photo has inks %s, not paper, black and red" % inks)
        page("/printing")
        Select(browser.find_element(By.NAME, "highlight-treatment")).select_by_value("black-only")
        browser.find_element(By.CSS_SELECTOR, "input[type=submit]").click()
        page("/printing")
        check(browser.find_element(By.NAME, "highlight-treatment").get_attribute("value") == "black-only",
              "black-only was not saved")
        inks = printed()
        check(inks == {0, 1}, "after black-only, the photo has inks %s" % inks)
    finally:
        browser.quit()
        driver.terminate()
        driver.wait(10)
    return 1 if failures else 0


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
    # The photo: a tone from white through red to black, as a PNG.
    W, H = 576, 200
    write_png(os.path.join(work, "photo.png"),
              [bytes(v for x in range(W) for v in ((255, 255 - x * 255 // W, 255 - x * 255 // W) if y < 100 else
                                                   (255 - x * 255 // W, 0, 0))) for y in range(H)])
    if mode != "ipptool":
        sys.exit(print_through_cups() if mode == "cups" else through_the_web_page())
    # One test expects the printer to have been up a second: ask until it has.
    with open(os.path.join(work, "up.test"), "w") as f:
        f.write("{\nOPERATION Get-Printer-Attributes\nGROUP operation-attributes-tag\n"
                "ATTR charset attributes-charset utf-8\nATTR naturalLanguage attributes-natural-language en\n"
                "ATTR uri printer-uri $uri\nSTATUS successful-ok\nEXPECT printer-up-time WITH-VALUE >0\n}\n")
    wait_for("printer-up-time > 0", lambda: ipp(uri, "up.test").returncode == 0)
    result = ipp("-t", "-f", "photo.png", uri, "ipp-everywhere.test")
    print("ipp-everywhere.test: %d passed, %d failed" % (result.stdout.count("[PASS]"), result.stdout.count("[FAIL]")))
    check(result.returncode == 0 and "[FAIL]" not in result.stdout and "[PASS]" in result.stdout,
          "ipp-everywhere.test: " + "\n".join(l for l in result.stdout.splitlines()[-60:]))
finally:
    finish((emulator, server), work, lambda line: line[:1] in "EW")
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
