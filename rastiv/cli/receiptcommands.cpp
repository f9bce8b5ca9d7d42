// rastiv-cli render and serve: the printer's output drawn from a file, and
// the emulated printer a till can connect to.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSocketNotifier>
#include <memory>

#include "cli/subcommand.hpp"
#include "core/printerfiles.hpp"
#include "link/clock.hpp"
#include "link/commands.hpp"
#include "link/regularfile.hpp"
#include "receipt/emulator.hpp"
#include "receipt/listeners.hpp"
#include "receipt/pngstream.hpp"
#include "receipt/receiptengine.hpp"

namespace rastiv::cli {

namespace {

QColor highlightColour(Highlight h) { return h == Highlight::Red ? QColor(255, 0, 0) : QColor(0, 0, 255); }

// The kind of picture file the bytes start as, or empty: such a file is
// for convert, not for the printer.
QString pictureKind(const QByteArray& start) {
    if (start.startsWith("\x89PNG")) return QStringLiteral("PNG");
    if (start.startsWith("BM")) return QStringLiteral("BMP");
    if (start.startsWith("\xFF\xD8\xFF")) return QStringLiteral("JPEG");
    if (start.startsWith("GIF8")) return QStringLiteral("GIF");
    if (start.startsWith(QByteArray("II*\0", 4)) || start.startsWith(QByteArray("MM\0*", 4))) return QStringLiteral("TIFF");
    if (start.startsWith("RIFF") && start.mid(8, 4) == "WEBP") return QStringLiteral("WebP");
    return {};
}

// What render prints onto: the PNG row by row, the text line by line.
class RenderSink final : public PaperSink {
public:
    std::unique_ptr<PngStream> png;
    std::unique_ptr<QSaveFile> text;
    qint64 height = 0;
    void rows(const uint8_t* dots, int count) override {
        if (png) png->rows(dots, count);
        height += count;
    }
    void textLine(const QString& line) override {
        if (text) text->write(line.toUtf8() + '\n');
    }
    // Receipts are told apart in the text by a form feed on a line of its own.
    void cut() override {
        if (text) text->write("\f\n");
    }
};

}  // namespace

int cmdRender(const QStringList& args, Streams io) {
    SubCommand c("render", QStringLiteral("[options] IN -o OUT.png [--text OUT.txt]"),
                 QStringLiteral("Draws the receipt the printer would print, one pixel per dot, 576 dots wide:\n"
                                "from bytes captured on the way to the printer (ESC/POS and this printer family's\n"
                                "own commands), a graphics file (.gfx) as it prints while it is sent, or a logo\n"
                                "file (.lgo) as if it were stored and then printed."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The PNG file to write."), QStringLiteral("OUT.png"));
    const QCommandLineOption text = option("text", "Also writes the printed text, one line per printed line, in UTF-8.",
                                           "OUT.txt");
    const QCommandLineOption as = option("as", "What IN is, when its name does not say: stream, gfx or lgo.", "kind");
    const QCommandLineOption highlight = option("highlight", kHighlightHelp, "red|blue");
    const QCommandLineOption strict =
        option("strict", "Fails (exit status 1) on any warning: an unknown command, a command cut off...");
    for (const auto* o : {&output, &text, &as, &highlight, &strict}) c.p.addOption(*o);
    c.setEpilogue(QStringLiteral(
        "A file named *.gfx or *.lgo is taken as that kind and checked whole first; anything else as\n"
        "bytes captured on the way to the printer.  A picture file (PNG, BMP, JPEG...) is refused:\n"
        "make it printable with convert first.\n"
        "Commands the printer does not know are skipped (ESC, FS or GS and the byte after it; four bytes\n"
        "of an unknown 1F 03 setting) and reported on standard error with their byte offset, as is a\n"
        "command that the end of the file cuts off.  A receipt is drawn up to 20 m of paper (160000\n"
        "dots); a longer one stops there with exit status 1.  In the text, a line holding only a form\n"
        "feed stands for each cut.  The second colour is the paper type's when the stream sets one\n"
        "(red for type 1, blue for 4, black on monochrome type 0), else --highlight's."));
    int rc = 0;
    if (!c.parse(args, io, rc)) return rc;
    const QStringList in = c.p.positionalArguments();
    if (in.size() != 1) return c.usage(io, QStringLiteral("give one file to render"));
    if (!c.p.isSet(output) && !c.p.isSet(text)) return c.usage(io, QStringLiteral("give the PNG file to write with -o"));
    QString kind = c.p.value(as).toLower();
    if (kind.isEmpty()) {
        const QString suffix = QFileInfo(in[0]).suffix().toLower();
        kind = suffix == QLatin1String("gfx") || suffix == QLatin1String("lgo") ? suffix : QStringLiteral("stream");
    }
    if (kind != QLatin1String("stream") && kind != QLatin1String("gfx") && kind != QLatin1String("lgo"))
        return c.usage(io, QStringLiteral("--as takes stream, gfx or lgo"));
    Highlight h = programHighlight(SettingsStore());
    if (c.p.isSet(highlight) && !readHighlight(c.p.value(highlight), h))
        return c.usage(io, QStringLiteral("--highlight takes red or blue"));

    QFile f(in[0]);
    if (const QString why = notRegularFileProblem(in[0]); !why.isEmpty()) return c.refuse(io, why);
    if (!f.open(QIODevice::ReadOnly))
        return c.refuse(io, QStringLiteral("%1 cannot be read: %2").arg(in[0], f.errorString()));
    if (const QString picture = pictureKind(f.peek(16)); !picture.isEmpty())
        return c.refuse(io, QStringLiteral("%1 is a %2 picture, not bytes for the printer; make it printable first: "
                                           "%3 convert %1 --gfx OUT.gfx")
                                .arg(in[0], picture, QLatin1String(kTool)));
    QByteArray whole;
    if (kind != QLatin1String("stream")) {
        whole = f.readAll();
        if (kind == QLatin1String("lgo")) {
            if (const QString why = logoFileProblem(whole); !why.isEmpty())
                return c.refuse(io, QStringLiteral("%1 is not a logo file: %2").arg(in[0], why));
            whole += cmd::kPrintSelected;
        } else if (const QString why = graphicsFileProblem(whole); !why.isEmpty()) {
            return c.refuse(io, QStringLiteral("%1 is not a graphics file: %2").arg(in[0], why));
        }
    }

    RenderSink sink;
    if (c.p.isSet(output)) {
        sink.png = std::make_unique<PngStream>(c.p.value(output));
        if (!sink.png->open())
            return c.refuse(io, QStringLiteral("%1 cannot be written: %2").arg(c.p.value(output), sink.png->errorString()));
    }
    if (c.p.isSet(text)) {
        sink.text = std::make_unique<QSaveFile>(c.p.value(text));
        if (!sink.text->open(QIODevice::WriteOnly))
            return c.refuse(io, QStringLiteral("%1 cannot be written: %2").arg(c.p.value(text), sink.text->errorString()));
    }
    PrinterMemory memory;
    ReceiptEngine engine(sink, memory);
    int warnings = 0;
    engine.warning = [&](qint64 at, const QString& what) {
        ++warnings;
        io.err << kTool << " render: " << in[0] << ": byte " << at << ": " << what << '\n';
    };
    // Read in pieces: the file may be large; what it prints is capped.
    if (!whole.isEmpty()) {
        engine.feed(whole);
    } else {
        QByteArray piece;
        while (!engine.overLength() && !(piece = f.read(1 << 16)).isEmpty()) engine.feed(piece);
    }
    if (!engine.overLength()) engine.finish();
    io.err.flush();

    if (sink.height == 0) {
        if (sink.png) sink.png->cancel();
        if (sink.text) sink.text->cancelWriting();
        return c.refuse(io, QStringLiteral("Nothing in %1 would be printed").arg(in[0]));
    }
    if (sink.png && !sink.png->commit(paperHighlight(memory.paperType, highlightColour(h))))
        return c.refuse(io, QStringLiteral("%1 cannot be written: %2").arg(c.p.value(output), sink.png->errorString()));
    if (sink.text && !sink.text->commit())
        return c.refuse(io, QStringLiteral("%1 cannot be written: %2").arg(c.p.value(text), sink.text->errorString()));
    if (engine.overLength())
        return c.refuse(io, QStringLiteral("%1 prints more than %2 m of paper; the first %2 m are drawn")
                                .arg(in[0])
                                .arg(kMaxReceiptDots / 8000));
    if (c.p.isSet(strict) && warnings > 0)
        return c.refuse(io, QStringLiteral("%1 warning%2 (--strict)").arg(warnings).arg(warnings == 1 ? "" : "s"));
    return kExitOk;
}

// ---- serve ----

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int signo) {
    const char c = char(signo);
    (void)!::write(signalPipe[1], &c, 1);
}

}  // namespace

int cmdServe(const QStringList& args, Streams io) {
    SubCommand c("serve", QStringLiteral("[--listen HOST:PORT | --port PORT] [--pty [--link PATH]] [--out DIR] [options]"),
                 QStringLiteral(
                     "Acts as a printer of the family that a till or a print system can talk to: on a TCP port\n"
                     "(the raw port of device servers) and/or on a pseudo-terminal, one client at a time, many\n"
                     "in turn.  It answers the status requests (ESC v, DLE EOT n, GS r n, GS a, GS I) as the\n"
                     "printer does and writes each receipt, up to a cut or the end of its client's connection,\n"
                     "as OUT/NNNN.png and OUT/NNNN.txt with one JSON line in OUT/receipts.jsonl (time, client,\n"
                     "bytes, dots, commands seen, notes such as drawer kicks, warnings)."));
    const QCommandLineOption listen =
        option("listen", "Where to listen for TCP clients (default 127.0.0.1:9100; port 0: any free port).",
               "HOST:PORT");
    const QCommandLineOption port = option("port", "The TCP port on 127.0.0.1 (0: any free port).", "PORT");
    const QCommandLineOption noTcp = option("no-tcp", "No TCP listener (with --pty).");
    const QCommandLineOption pty = option("pty", "Also opens a pseudo-terminal and prints its path.");
    const QCommandLineOption link =
        option("link", "Opens the pseudo-terminal with a stable name: a symbolic link PATH to it.", "PATH");
    const QCommandLineOption out = option("out", "The folder for the receipts (default: the current one).", "DIR",
                                          QStringLiteral("."));
    const QCommandLineOption state =
        option("state", "Keeps what the printer stores (logos, watermarks, settings, paper type) in FILE across runs.",
               "FILE");
    const QCommandLineOption once = option("once", "Exits after the first receipt is written.");
    const QCommandLineOption idle = option(
        "idle-timeout", "Drops a client that sends nothing for SECONDS (default 30; 0: never).", "SECONDS",
        QStringLiteral("30"));
    const QCommandLineOption highlight = option("highlight", kHighlightHelp, "red|blue");
    for (const auto* o : {&listen, &port, &noTcp, &pty, &link, &out, &state, &once, &idle, &highlight})
        c.p.addOption(*o);
    c.setEpilogue(QStringLiteral(
        "When ready it prints one line per listener on standard output, \"tcp HOST:PORT\" and\n"
        "\"pty PATH\", and then one line per receipt written, \"receipt OUT/NNNN.png\".  SIGINT and\n"
        "SIGTERM stop it after writing the receipt under way.  A receipt is drawn up to 20 m of paper;\n"
        "one with no ink and no text (a line feed after a cut) is not kept, and no receipt already in\n"
        "OUT is written over.  Clients that connect together are served one after another, in order.\n"
        "A client that goes away, does not take its answers or stays silent too long is dropped, with\n"
        "a note on standard error and in its receipt's notes; the others are served on.  --link\n"
        "replaces only a link to a pseudo-terminal.  --state takes a regular file, written at most\n"
        "once a second and at the end.\n"
        "Exit status: 0 when stopped or done (--once); 1 when it cannot listen, or cannot write a\n"
        "receipt, its record or the state (it stops then); 2 for a command line that is not understood."));
    int rc = 0;
    if (!c.parse(args, io, rc)) return rc;
    if (!c.p.positionalArguments().isEmpty()) return c.usage(io, QStringLiteral("serve takes no arguments"));
    QString host = QStringLiteral("127.0.0.1");
    quint16 tcpPort = 9100;
    QString problem;
    if (c.p.isSet(listen) && c.p.isSet(port)) return c.usage(io, QStringLiteral("give --listen or --port, not both"));
    if (c.p.isSet(listen) && !parseListenAddress(c.p.value(listen), host, tcpPort, problem))
        return c.usage(io, QStringLiteral("--listen: %1").arg(problem));
    if (c.p.isSet(port)) {
        bool ok = false;
        const uint p = c.p.value(port).toUInt(&ok);
        if (!ok || p > 65535) return c.usage(io, QStringLiteral("--port takes a number from 0 to 65535"));
        tcpPort = quint16(p);
    }
    const bool usePty = c.p.isSet(pty) || c.p.isSet(link);
    const bool useTcp = !c.p.isSet(noTcp);
    if (!useTcp && !usePty) return c.usage(io, QStringLiteral("--no-tcp needs --pty or --link"));
    Highlight h = programHighlight(SettingsStore());
    if (c.p.isSet(highlight) && !readHighlight(c.p.value(highlight), h))
        return c.usage(io, QStringLiteral("--highlight takes red or blue"));
    bool idleOk = false;
    const int idleSeconds = c.p.value(idle).toInt(&idleOk);
    if (!idleOk || idleSeconds < 0 || idleSeconds > 86400)
        return c.usage(io, QStringLiteral("--idle-timeout takes a number of seconds from 0 to 86400"));

    EmulatorOptions options;
    options.outDir = c.p.value(out);
    options.statePath = c.p.value(state);
    options.highlight = highlightColour(h);
    RealClock clock;
    Emulator printer(options, clock);
    const auto say = [&](const QString& what) { io.err << kTool << " serve: " << what << '\n' << Qt::flush; };
    printer.remark = say;
    if (!printer.start(problem)) return c.refuse(io, problem);

    TcpPrinterListener tcp;
    PtyPrinterListener terminal(clock);
    tcp.setIdleTimeout(clock, idleSeconds);
    terminal.setIdleTimeout(clock, idleSeconds);
    std::vector<PrinterListener*> listeners;
    if (useTcp) {
        if (!tcp.listen(host, tcpPort, problem)) return c.refuse(io, problem);
        listeners.push_back(&tcp);
    }
    if (usePty) {
        if (!terminal.open(c.p.value(link), problem)) return c.refuse(io, problem);
        listeners.push_back(&terminal);
    }
    // One client at a time across both: the other listener's client waits.
    PrinterListener* active = nullptr;
    QString activeClient;
    bool done = false;
    int exitCode = kExitOk;
    const auto quit = [&] {
        done = true;
        QCoreApplication::exit(0);
    };
    // A receipt that cannot be written is lost, and so would every one after
    // it be: stop and say so rather than serve on.
    printer.failed = [&](const QString& why) {
        say(why);
        exitCode = 1;
        quit();
    };
    printer.receiptWritten = [&](const QByteArray& json) {
        const QString png = QString::fromUtf8(json).section(QStringLiteral("\"png\":\""), 1).section(u'"', 0, 0);
        io.out << "receipt " << options.outDir << '/' << png << '\n' << Qt::flush;
        if (c.p.isSet(once)) quit();
    };
    for (PrinterListener* l : listeners) {
        l->mayServe = [&] { return active == nullptr && !done; };
        l->connected = [&, l](const QString& client) {
            active = l;
            activeClient = client;
            printer.connect(client, [l](QByteArrayView answer) { l->send(answer); });
        };
        l->received = [&](QByteArrayView bytes) {
            if (!done) printer.receive(bytes);
        };
        l->disconnected = [&, l](const QString& why) {
            if (!done && why != QLatin1String("closed")) say(QStringLiteral("%1 dropped: %2").arg(activeClient, why));
            if (active == l && !done) printer.disconnect(why);
            active = nullptr;
            // The other listener's client may have been waiting for this one.
            for (PrinterListener* other : listeners)
                if (other != l) QMetaObject::invokeMethod(other, [other] { other->serveNext(); }, Qt::QueuedConnection);
        };
    }

    // SIGINT and SIGTERM end the run through the event loop, so that the
    // receipt under way is written first.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return c.refuse(io, QStringLiteral("no signal pipe"));
    struct sigaction stop {}, oldInt {}, oldTerm {};
    stop.sa_handler = onStopSignal;
    ::sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, &oldInt);
    ::sigaction(SIGTERM, &stop, &oldTerm);
    // A till that hangs up before its answer is read must not end the
    // printer: a write to it fails instead, and drops that client alone.
    struct sigaction ignore {}, oldPipe {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &oldPipe);
    QSocketNotifier stopSignals(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopSignals, &QSocketNotifier::activated, [&] {
        char signo = 0;
        (void)!::read(signalPipe[0], &signo, 1);
        // What is still waiting on the line belongs to the receipt too.
        if (active) active->drain();
        done = true;
        printer.stop(signo == SIGINT ? QStringLiteral("interrupted") : QStringLiteral("terminated"));
        QCoreApplication::exit(0);
    });

    if (useTcp) io.out << "tcp " << tcp.address() << '\n';
    if (usePty) io.out << "pty " << (c.p.isSet(link) ? c.p.value(link) : terminal.path()) << '\n';
    io.out.flush();
    QCoreApplication::exec();

    done = true;
    tcp.close();
    terminal.close();
    printer.flushState();
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    return exitCode;
}

}  // namespace rastiv::cli
