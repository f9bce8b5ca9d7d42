#include "cli/cli.hpp"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>

#include "link/clock.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "core/workfolder.hpp"
#include "cli/convert.hpp"
#include "cli/interrupts.hpp"
#include "cli/printerjobs.hpp"
#include "link/batch.hpp"
#include "link/commands.hpp"
#include "link/filestream.hpp"
#include "link/sequences.hpp"
#include "cli/streammessages.hpp"
#include "cli/subcommand.hpp"
#include "core/printerfiles.hpp"
#include "link/commlink.hpp"
#include "link/linkstate.hpp"
#include "link/connectiontest.hpp"
#include "core/portdevices.hpp"
#include "core/portname.hpp"
#include "link/regularfile.hpp"
#include "link/serialport.hpp"

namespace rastiv::cli {

namespace {


// ---- ports ----

QString owningGroup(const QString& device) {
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0) return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
}

int cmdPorts(const QStringList& args, Streams io) {
    SubCommand c("ports", QStringLiteral("[--json]"),
                 QStringLiteral("Lists the serial devices present, with their stable names under /dev/serial/by-id,\n"
                                "whether you may open them, and the port entries (COM1 to COM8) of Rastiv that\n"
                                "stand for them."));
    const QCommandLineOption json = option("json", "Writes the list as JSON.");
    c.p.addOption(json);
    int rc = 0;
    if (!c.parse(args, io, rc)) return rc;
    if (!c.p.positionalArguments().isEmpty()) return c.usage(io, QStringLiteral("ports takes no arguments"));

    const std::vector<PortInfo> ports = describePorts(presentSerialDevices(), SettingsStore());
    if (c.p.isSet(json)) {
        QJsonArray list;
        for (const PortInfo& p : ports) {
            QJsonObject o;
            o[QStringLiteral("device")] = p.device;
            o[QStringLiteral("byId")] = QJsonArray::fromStringList(p.byId);
            o[QStringLiteral("mayOpen")] = p.mayOpen;
            o[QStringLiteral("entries")] = QJsonArray::fromStringList(p.entries);
            list.append(o);
        }
        io.out << QJsonDocument(list).toJson(QJsonDocument::Indented);
        return kExitOk;
    }
    for (const PortInfo& p : ports) {
        io.out << p.device << "  " << (p.mayOpen ? QStringLiteral("may open") : p.whyNot);
        if (!p.entries.isEmpty()) io.out << "  " << p.entries.join(QLatin1Char(' '));
        io.out << '\n';
        for (const QString& n : p.byId) io.out << "    " << n << '\n';
    }
    if (ports.empty()) io.err << "No serial devices found.\n";
    return kExitOk;
}

// ---- convert ----

// The same file under two names (a link of either kind, or the same path).
bool sameFile(const QString& a, const QString& b) {
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int cmdConvert(const QStringList& args, Streams io) {
    SubCommand c(
        "convert", QStringLiteral("[options] IN (--bmp OUT | --gfx OUT | --logo OUT)"),
        QStringLiteral("Turns a picture (BMP, PNG, JPEG, GIF, TIFF, WebP: any format Qt reads) into a file for the\n"
                       "printer, by the same steps as Rastiv: the conversion to 8 bits per pixel, the turn, the\n"
                       "new width, the automatic colour translation, a printer colour for every colour left, and\n"
                       "the save.  Transparent parts become white; a photograph's orientation note is obeyed.\n"
                       "The picture is turned before it is resized, so --width is the width of the result.\n"
                       "With --photo the picture is turned and scaled smoothly in full colour and its tones\n"
                       "become dots of paper, black and the highlight, as Rastiv's Photo does."));
    const QCommandLineOption width =
        option("width", "New width in pixels, 10 to 576; the height keeps the proportions.", "W");
    const QCommandLineOption rotate = option("rotate", "A quarter turn: +90 clockwise, -90 anticlockwise.", "+90|-90");
    const QCommandLineOption colours =
        option("colors", "Most colours to keep besides black and white, 1 to 9 (default 5).", "N", QStringLiteral("5"));
    const QCommandLineOption speed =
        option("speed", "Conversion speed, the threshold step of the translation, 1 to 10000 (default 500). A "
                        "smaller step folds colours more finely and costs more: each step that folds something "
                        "takes a look at every colour, so speed 1 can take seconds where 500 takes a fraction "
                        "of one; the picture's pixels are read and written once whatever the speed.",
               "S", QStringLiteral("500"));
    const QCommandLineOption highlight = option("highlight", kHighlightHelp, "red|blue");
    const QCommandLineOption bmp = option("bmp", "Writes the printable picture as a BMP file.", "OUT");
    const QCommandLineOption gfx = option("gfx", "Writes a graphics file (.gfx): prints as it is sent.", "OUT");
    const QCommandLineOption logo = option("logo", "Writes a logo file (.lgo): a logo definition to store.", "OUT");
    const QCommandLineOption map =
        option("map", "Printer colours chosen by hand: one line per colour, \"RRGGBB code\".", "FILE");
    const QCommandLineOption printMap =
        option("print-map", "Writes the printer colour of every colour, as a map file, to standard output.");
    const QCommandLineOption photo =
        option("photo", "Keeps a photograph's tones in dots of paper, black and the highlight instead of a few flat "
                        "colours (not with --colors, --speed, --map or --print-map).");
    const QCommandLineOption method =
        option("method", "With --photo: diffusion (photographs, the default), ordered (line art; the same dots on "
                         "every run) or nearest (no dither: text and graphics).",
               "M");
    const QCommandLineOption brightness =
        option("brightness", "With --photo: lighter (up to 100) or darker (down to -100); 0 keeps it.", "N");
    const QCommandLineOption contrast =
        option("contrast", "With --photo: more (up to 100) or less (down to -100) contrast; 0 keeps it.", "N");
    const QCommandLineOption gamma =
        option("gamma", "With --photo: above 1 lightens the middle tones, below 1 darkens them, 0.1 to 10 "
                        "(default 1).",
               "G");
    const QCommandLineOption sharpen =
        option("sharpen", "With --photo: sharpens fine detail before the dots are made, 0 to 100 (default 0).", "N");
    for (const auto* o : {&width, &rotate, &colours, &speed, &highlight, &bmp, &gfx, &logo, &map, &printMap, &photo,
                          &method, &brightness, &contrast, &gamma, &sharpen})
        c.p.addOption(*o);
    QString codes = QStringLiteral("Printer colour codes (for --map):\n");
    for (const PrinterColour& r : kPrinterColours)
        codes += QStringLiteral("  %1  %2\n").arg(r.code, 2).arg(QString::fromLatin1(r.tooltip).trimmed());
    c.setEpilogue(
        codes + QStringLiteral(
                    "Without --map every colour gets the printer colour that looks nearest to it (CIELAB): a dithered\n"
                    "one as its dots and the paper average out.  The files are written whole or not at all."));
    int rc = 0;
    if (!c.parse(args, io, rc)) return rc;

    const QStringList in = c.p.positionalArguments();
    if (in.size() != 1) return c.usage(io, QStringLiteral("give one picture to convert"));
    ConvertOptions o;
    o.input = in[0];
    int outputs = 0;
    for (const auto& [option, kind] :
         {std::pair{&bmp, OutputKind::Bmp}, {&gfx, OutputKind::Gfx}, {&logo, OutputKind::Logo}})
        if (c.p.isSet(*option)) {
            ++outputs;
            o.kind = kind;
            o.output = c.p.value(*option);
        }
    if (outputs != 1) return c.usage(io, QStringLiteral("give exactly one of --bmp, --gfx and --logo"));
    if (sameFile(o.input, o.output))
        return c.usage(io, QStringLiteral("the output %1 is the picture itself: give another file to write").arg(o.output));
    if (c.p.isSet(width)) {
        bool ok = false;
        o.width = c.p.value(width).toInt(&ok);
        if (!ok) return c.usage(io, QStringLiteral("--width takes a whole number of pixels"));
    }
    if (c.p.isSet(rotate)) {
        const QString r = c.p.value(rotate);
        if (r == QLatin1String("+90") || r == QLatin1String("90"))
            o.rotate = 90;
        else if (r == QLatin1String("-90"))
            o.rotate = -90;
        else
            return c.usage(io, QStringLiteral("--rotate takes +90 or -90"));
    }
    if (c.p.isSet(photo)) {
        // A photograph keeps its tones; the few-colours choices have nothing to work on.
        for (const QCommandLineOption* few : {&colours, &speed, &map, &printMap})
            if (c.p.isSet(*few))
                return c.usage(io, QStringLiteral("--photo and --%1 exclude each other: --photo keeps the tones, "
                                                  "--%1 is for a few flat colours")
                                       .arg(few->names().constFirst()));
        PhotoOptions f;
        if (c.p.isSet(method)) {
            const QString m = c.p.value(method).toLower();
            const QStringList names{QStringLiteral("diffusion"), QStringLiteral("ordered"), QStringLiteral("nearest")};
            f.method = int32_t(names.indexOf(m)) + 1;
            if (f.method == 0) return c.usage(io, QStringLiteral("--method takes diffusion, ordered or nearest"));
        }
        const auto whole = [&](const QCommandLineOption& opt, int lowest, int highest, int32_t& into) {
            if (!c.p.isSet(opt)) return true;
            bool ok = false;
            const int v = c.p.value(opt).toInt(&ok);
            if (!ok || v < lowest || v > highest) return false;
            into = v;
            return true;
        };
        if (!whole(brightness, -100, 100, f.brightness))
            return c.usage(io, QStringLiteral("--brightness takes a whole number from -100 to 100"));
        if (!whole(contrast, -100, 100, f.contrast))
            return c.usage(io, QStringLiteral("--contrast takes a whole number from -100 to 100"));
        if (!whole(sharpen, 0, 100, f.sharpen))
            return c.usage(io, QStringLiteral("--sharpen takes a whole number from 0 to 100"));
        if (c.p.isSet(gamma)) {
            bool ok = false;
            const double g = c.p.value(gamma).toDouble(&ok);
            // In hundredths, as the library takes it.
            if (!ok || !(g >= 0.1 && g <= 10))
                return c.usage(io, QStringLiteral("--gamma takes a number from 0.1 to 10"));
            f.gamma = int32_t(std::lround(g * 100));
        }
        o.photo = f;
    } else {
        for (const QCommandLineOption* tone : {&method, &brightness, &contrast, &gamma, &sharpen})
            if (c.p.isSet(*tone))
                return c.usage(io, QStringLiteral("--%1 goes with --photo").arg(tone->names().constFirst()));
    }
    // Whole numbers in range only: the program's boxes read "2.9" as 2 and
    // "abc" as too small, which on a command line hides a typing mistake.
    for (const auto& [opt, highest] : {std::pair{&colours, 9}, std::pair{&speed, 10000}}) {
        bool ok = false;
        const int v = c.p.value(*opt).toInt(&ok);
        if (!ok || v < 1 || v > highest)
            return c.usage(io, QStringLiteral("--%1 takes a whole number from 1 to %2, not \"%3\"")
                                   .arg(opt->names().constFirst())
                                   .arg(highest)
                                   .arg(c.p.value(*opt)));
    }
    o.colours = c.p.value(colours);
    o.speed = c.p.value(speed);
    const SettingsStore settings;
    o.highlight = programHighlight(settings);
    if (c.p.isSet(highlight) && !readHighlight(c.p.value(highlight), o.highlight))
        return c.usage(io, QStringLiteral("--highlight takes red or blue"));
    for (const QString& read : {o.input, c.p.value(map)})
        if (const QString why = notRegularFileProblem(read); !why.isEmpty()) return c.refuse(io, why);
    if (c.p.isSet(map)) {
        QFile f(c.p.value(map));
        if (!f.open(QIODevice::ReadOnly))
            return c.refuse(io,
                            QStringLiteral("The map file %1 cannot be read: %2").arg(f.fileName(), f.errorString()));
        std::vector<MapLine> lines;
        QString problem;
        if (!parseMapFile(f.readAll(), lines, problem))
            return c.refuse(io, QStringLiteral("The map file %1 is not usable: %2").arg(f.fileName(), problem));
        o.map = std::move(lines);
    }

    // The working bitmaps live in a private folder of their own (mkdtemp),
    // gone again when the command ends, and locked meanwhile as Rastiv locks
    // its own, so that a starting Rastiv leaves it alone.  A signal ends the
    // conversion at once, taking the folder and any output half written.
    WorkFolder::removeAbandonedOutputs(QFileInfo(o.output).absolutePath());
    WorkFolder work({QDir::tempPath()}, QStringLiteral("rastiv-cli-"));
    if (!work.ok()) return c.refuse(io, QStringLiteral("No working folder can be made: %1").arg(work.problem()));
    const QString workPath = work.path(), output = o.output;
    const Interrupts interrupts([workPath, output](int signo) {
        QDir(workPath).removeRecursively();
        removeOwnPartialOutput(output);
        const QByteArray said = "\nrastiv-cli convert: stopped by " + Interrupts::name(signo).toLatin1() +
                                "; nothing was written\n";
        (void)!::write(STDERR_FILENO, said.constData(), size_t(said.size()));
        ::_exit(kExitFailed);
    });

    PixmillBinding pm;
    pm.setProblemReporter([io](const QString& text) { io.err << text << '\n'; });
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    // Progress only for someone watching: a log file gets the outcome alone.
    ConvertWatch watch;
    int shown = -1;
    if (terminal)
        watch.progress = [&](int percent) {
            if (percent == shown) return;
            shown = percent;
            io.err << "\rconverting: " << percent << " %";
            io.err.flush();
        };
    const ConvertOutcome result = convertPicture(pm, o, work.path(), watch);
    if (terminal && shown >= 0) io.err << "\r" << QString(20, u' ') << "\r";
    if (!result.ok) return c.refuse(io, result.problem);
    if (c.p.isSet(printMap))
        for (const auto& [colour, code] : result.mapping) io.out << mapFileLine(colour, code) << '\n';
    return kExitOk;
}

// The line settings: Rastiv's own, unless --baud or --parity say otherwise.
// False with rc set when one of them is not understood.
bool readLine(SubCommand& c, Streams io, const QCommandLineOption& baud, const QCommandLineOption& parity,
              const SettingsStore& settings, PortSettings& line, int& rc) {
    line.baud =
        QString::fromLatin1(kBaudRates[size_t(storedListIndex(settings, Key::BaudRate, int(kBaudRates.size())))])
            .toInt();
    line.parity = kParities[size_t(storedListIndex(settings, Key::Parity, int(kParities.size())))][0];
    if (c.p.isSet(baud)) {
        const QString b = c.p.value(baud);
        if (std::find_if(kBaudRates.begin(), kBaudRates.end(), [&](const char* r) { return b == QLatin1String(r); }) ==
            kBaudRates.end())
            return rc = c.usage(
                       io, QStringLiteral("--baud takes one of 115200, 57600, 38400, 19200, 9600, 4800, 2400 and 1200")),
                   false;
        line.baud = b.toInt();
    }
    if (c.p.isSet(parity)) {
        const QString p = c.p.value(parity).toLower();
        if (p == QLatin1String("none") || p == QLatin1String("n"))
            line.parity = 'N';
        else if (p == QLatin1String("even") || p == QLatin1String("e"))
            line.parity = 'E';
        else if (p == QLatin1String("odd") || p == QLatin1String("o"))
            line.parity = 'O';
        else
            return rc = c.usage(io, QStringLiteral("--parity takes none, even or odd")), false;
    }
    return true;
}

constexpr const char* kPortHelp =
    "COM1 to COM8 (the devices Rastiv keeps for them), a device path, \"virtual\" for the built-in virtual "
    "printer, or tcp://HOST:PORT for a serial device server";
constexpr const char* kBaudHelp =
    "Baud rate: 115200, 57600, 38400, 19200, 9600, 4800, 2400 or 1200 (default: Rastiv's).";
constexpr const char* kParityHelp = "none, even or odd (default: Rastiv's).";

// ---- status ----

int cmdStatus(const QStringList& args, Streams io) {
    SubCommand c("status", QStringLiteral("[options]"),
                 QStringLiteral("Sends the printer the status query that Rastiv's connection test sends (ESC v)\n"
                                "and reports whether any answer came back in time."));
    const QCommandLineOption port =
        option("port",
               "COM1 to COM8 (the devices Rastiv keeps for them), a device path, \"virtual\" for the built-in virtual "
               "printer, or tcp://HOST:PORT for a serial device server (default: Rastiv's port).",
               "P");
    const QCommandLineOption baud =
        option("baud", "Baud rate: 115200, 57600, 38400, 19200, 9600, 4800, 2400 or 1200 (default: Rastiv's).", "B");
    const QCommandLineOption parity = option("parity", "none, even or odd (default: Rastiv's).", "parity");
    const QCommandLineOption wait = option("wait", "How long to wait for the answer, in milliseconds (default 5000).",
                                           "MS", QString::number(kConnectWaitMs));
    const QCommandLineOption query =
        option("query",
               "Which request: esc-v, this family's status query (default), or dle-eot, the standard real-time "
               "status (DLE EOT 1) of printers that answer only that.",
               "esc-v|dle-eot", QStringLiteral("esc-v"));
    for (const auto* o : {&port, &baud, &parity, &wait, &query}) c.p.addOption(*o);
    c.setEpilogue(
        QStringLiteral("Exit status: 0 when the printer answered, 1 when it did not or the port cannot be opened."));
    int rc = 0;
    if (!c.parse(args, io, rc)) return rc;
    if (!c.p.positionalArguments().isEmpty())
        return c.usage(io, QStringLiteral("status takes no arguments; name the port with --port"));

    if (c.p.isSet(port) && c.p.value(port).trimmed().isEmpty())
        return c.usage(io, QStringLiteral("--port names no port"));
    const SettingsStore settings;
    const QString name =
        c.p.isSet(port)
            ? c.p.value(port)
            : QString::fromLatin1(kPortEntryNames[size_t(storedListIndex(settings, Key::Port, kPortEntries))]);
    PortSettings line;
    if (!readLine(c, io, baud, parity, settings, line, rc)) return rc;
    bool ok = false;
    const int waitMs = c.p.value(wait).toInt(&ok);
    if (!ok || waitMs < 1) return c.usage(io, QStringLiteral("--wait takes a number of milliseconds above 0"));
    const QString asked = c.p.value(query).toLower();
    if (asked != QLatin1String("esc-v") && asked != QLatin1String("dle-eot"))
        return c.usage(io, QStringLiteral("--query takes esc-v or dle-eot"));
    const QByteArray request = asked == QLatin1String("dle-eot") ? cmd::kRealTimeStatus : cmd::kStatusQuery;

    PortChoice choice;
    QString problem;
    if (!resolvePortName(name, settings, choice, problem))
        return c.refuse(io, QStringLiteral("The port is not usable: %1").arg(problem));
    line.device = choice.device;
    RealClock clock;
    const QString shown =
        choice.entry.isEmpty() ? choice.device : QStringLiteral("%1 (%2)").arg(choice.entry, choice.device);
    return checkStatus(shown, line, waitMs, clock, io, request);
}

// ---- The printer commands: print, download-logo, erase-logos, paper-type, replay ----

ClockFactory& workerClock() {
    static ClockFactory f;
    return f;
}

constexpr const char* kPrinterEpilogue =
    "Each --port gets a worker of its own, all at once; a port that fails does not stop the others.\n"
    "Each port's printer is first asked for its status, as the program's connection test does; a\n"
    "port where nothing answers within 5 seconds fails and gets nothing (--no-status-check skips it).\n"
    "A printer that is not ready is waited for 5 seconds, then --retries times 5 seconds more (the\n"
    "program's \"keep trying\" box), then that port fails with the reason on standard error.\n"
    "Progress goes to standard error when it is a terminal; the summary (port, result, bytes,\n"
    "seconds, reason) to standard output, as JSON with --json.\n"
    "\"bytes\" counts what was handed to the line.  \"ok\" means the line confirmed every byte within\n"
    "5 seconds of the last, as far as it can tell: a serial driver's queue and transmitter emptied,\n"
    "or a TCP device server acknowledged every byte (received, not necessarily passed on to the\n"
    "printer).  A pseudo-terminal cannot tell whether its reader took the bytes: there \"ok\" means\n"
    "only that they were written.  A lost line is named: connection reset by the printer, the\n"
    "printer hung up, the printer is not reading.\n"
    "Exit status: 0 only when every port did all of it; 1 when any port failed; 2 for a command\n"
    "line that is not understood.";

// The options every printer command shares, and running its job on the ports.
class PrinterCommand {
public:
    PrinterCommand(const char* name, const QString& synopsis, const QString& description, bool records)
        : c(name, synopsis, description), records_(records) {
        for (const auto* o : {&port_, &baud_, &parity_, &retries_, &noStatusCheck_, &json_}) c.p.addOption(*o);
        if (records_) c.p.addOption(record_);
        c.setEpilogue(QString::fromUtf8(kPrinterEpilogue));
    }

    // False when the command is over (help, or a command line not understood).
    bool parse(const QStringList& args, Streams io, int& rc) {
        if (!c.parse(args, io, rc)) return false;
        const SettingsStore settings;
        PortSettings line;
        if (!readLine(c, io, baud_, parity_, settings, line, rc)) return false;
        bool ok = false;
        options.retries = c.p.value(retries_).toInt(&ok);
        if (!ok || options.retries < 0) return rc = c.usage(io, QStringLiteral("--retries takes a number from 0")), false;
        const QStringList names = c.p.values(port_);
        if (names.isEmpty()) return rc = c.usage(io, QStringLiteral("name the printer's port with --port")), false;
        for (const QString& name : names) {
            if (name.trimmed().isEmpty()) return rc = c.usage(io, QStringLiteral("--port names no port")), false;
            PortTarget t;
            t.name = name;
            t.shown = name;
            t.line = line;
            PortChoice choice;
            if (resolvePortName(name, settings, choice, t.problem)) {
                t.line.device = choice.device;
                if (!choice.entry.isEmpty()) t.shown = QStringLiteral("%1 (%2)").arg(choice.entry, choice.device);
            } else {
                t.problem = QStringLiteral("not usable: %1").arg(t.problem);
            }
            ports.push_back(t);
        }
        if (records_ && c.p.isSet(record_)) options.record = c.p.value(record_);
        options.askStatusFirst = !c.p.isSet(noStatusCheck_);
        return true;
    }

    // Runs the job on every port, says the outcome, and gives the exit status.
    int run(Streams io, const Job& job) {
        options.clock = workerClock();
        options.log = &io.err;
        const bool terminal = ::isatty(STDERR_FILENO) == 1;
        if (terminal) options.progress = &io.err;
        const Interrupts interrupts;
        std::vector<PortResult> results = runOnPorts(ports, job, options);
        // Stopped by a signal: the summary says so, and the exit status is 1
        // even where the last bytes had gone out already.
        const int signo = Interrupts::received();
        if (signo != 0)
            for (PortResult& r : results)
                if (!r.ok) r.reason = QStringLiteral("stopped by %1: %2").arg(Interrupts::name(signo), r.reason);
        if (c.p.isSet(json_))
            io.out << QString::fromUtf8(summaryJson(results));
        else
            io.out << summaryTable(results);
        io.out.flush();
        return signo == 0 && std::all_of(results.begin(), results.end(), [](const PortResult& r) { return r.ok; })
                   ? kExitOk
                   : kExitFailed;
    }

    SubCommand c;
    std::vector<PortTarget> ports;
    JobOptions options;

private:
    bool records_;
    QCommandLineOption port_ = option("port", kPortHelp, "P");
    QCommandLineOption baud_ = option("baud", kBaudHelp, "B");
    QCommandLineOption parity_ = option("parity", kParityHelp, "parity");
    QCommandLineOption retries_ =
        option("retries", "How many times a port that is not ready is given 5 seconds more (default 2).", "N",
               QStringLiteral("2"));
    QCommandLineOption noStatusCheck_ =
        option("no-status-check",
               "Sends without first asking the printer for its status (by default a port where nothing answers "
               "within 5 seconds gets nothing).");
    QCommandLineOption json_ = option("json", "Writes the summary as JSON.");
    QCommandLineOption record_ =
        option("record",
               "Also records what is sent, as Rastiv's batch recording does (print-sample data left out), into "
               "this file, replacing it; with several ports, what goes to the first.  Not the file being sent.",
               "FILE.cpb");
};

// The file's bytes, or empty with `problem` set; `identity`, when given,
// receives the device and inode of the file that was read.
QByteArray readWhole(const QString& path, QString& problem, struct stat* identity = nullptr) {
    if (problem = notRegularFileProblem(path); !problem.isEmpty()) return {};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1 cannot be read: %2").arg(path, f.errorString());
        return {};
    }
    if (identity && ::fstat(f.handle(), identity) != 0) {
        problem = QStringLiteral("%1 cannot be read: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    return f.readAll();
}

// A recording opened for writing replaces its file: refused when that file
// is the one being sent, by whatever name or link (a name that does not
// exist yet is no file at all).  False with rc set then.
bool recordIsNotInput(PrinterCommand& pc, Streams io, const QString& input, const struct stat& read, int& rc) {
    const QString& record = pc.options.record;
    struct stat st {};
    if (record.isEmpty() || ::stat(QFile::encodeName(record).constData(), &st) != 0) return true;
    if (st.st_dev != read.st_dev || st.st_ino != read.st_ino) return true;
    rc = pc.c.usage(io, QStringLiteral("--record %1 is the file to be sent, %2: the recording would replace it. "
                                       "Name another file for the recording.")
                            .arg(record, input));
    return false;
}

QString endReason(TransferEnd end) {
    return end == TransferEnd::Complete ? QString() : QStringLiteral("the printer did not take all of it");
}

int cmdPrint(const QStringList& args, Streams io) {
    PrinterCommand pc("print", QStringLiteral("FILE.gfx --port P [--port P ...] [options]"),
                      QStringLiteral("Prints a graphics file (.gfx, made by \"convert --gfx\" or by Rastiv) as Rastiv's Print\n"
                                     "dialog does: the file in pieces of 50 bytes, then the paper feed.  The file is\n"
                                     "checked whole first: a broken raster line would print the rest as picture.\n"
                                     "A printed graphic is print-sample data, which a recording leaves out."),
                      true);
    int rc = 0;
    if (!pc.parse(args, io, rc)) return rc;
    const QStringList in = pc.c.p.positionalArguments();
    if (in.size() != 1) return pc.c.usage(io, QStringLiteral("give one graphics file to print"));
    const QString path = in[0];
    QString problem;
    struct stat identity {};
    // Read once: what is checked is what is sent, whatever happens to the file meanwhile.
    const QByteArray bytes = readWhole(path, problem, &identity);
    if (problem.isEmpty()) problem = graphicsFileProblem(bytes);
    if (!problem.isEmpty())
        return pc.c.refuse(io, QStringLiteral("%1 cannot be sent to the printer: %2").arg(path, problem));
    if (!recordIsNotInput(pc, io, path, identity, rc)) return rc;
    return pc.run(io, [bytes](PortSession& j) {
        SendingPrintSample sample(j.link.state());
        Transfer transfer(j.link);
        return endReason(sendGraphic(j.link, bytes, j.link.state().gSendChunk, j.progress));
    });
}

int cmdDownloadLogo(const QStringList& args, Streams io) {
    PrinterCommand pc("download-logo", QStringLiteral("FILE.lgo --number N --port P [--port P ...] [options]"),
                      QStringLiteral("Stores a logo file (.lgo) in the printer as logo N, as Rastiv's Download Logo dialog\n"
                                     "does: the download header, the number, the file in pieces of 50 bytes, the\n"
                                     "pause while the printer writes its flash, and the end of the download.  The\n"
                                     "file is checked whole first."),
                      true);
    const QCommandLineOption number = option("number", "The logo's number, 0 to 255.", "N");
    pc.c.p.addOption(number);
    int rc = 0;
    if (!pc.parse(args, io, rc)) return rc;
    const QStringList in = pc.c.p.positionalArguments();
    if (in.size() != 1) return pc.c.usage(io, QStringLiteral("give one logo file to download"));
    bool ok = false;
    const int n = pc.c.p.value(number).toInt(&ok);
    if (!pc.c.p.isSet(number) || !ok || n < 0 || n > 255)
        return pc.c.usage(io, QStringLiteral("--number takes the logo's number, 0 to 255"));
    const QString path = in[0];
    QString problem;
    struct stat identity {};
    // Read once: what is checked is what is sent, whatever happens to the file meanwhile.
    const QByteArray bytes = readWhole(path, problem, &identity);
    if (problem.isEmpty()) problem = logoFileProblem(bytes);
    if (!problem.isEmpty())
        return pc.c.refuse(io, QStringLiteral("%1 cannot be sent to the printer: %2").arg(path, problem));
    if (!recordIsNotInput(pc, io, path, identity, rc)) return rc;
    return pc.run(io, [bytes, n](PortSession& j) {
        Transfer transfer(j.link);
        j.progress.start(bytes.size());
        return endReason(sendLogo(j.link, j.batch, bytes, uint8_t(n), j.link.state().gSendChunk, j.progress));
    });
}

int cmdEraseLogos(const QStringList& args, Streams io) {
    PrinterCommand pc("erase-logos", QStringLiteral("--port P [--port P ...] [options]"),
                      QStringLiteral("Erases every logo and user character set in the printer's flash, as Rastiv's Logo\n"
                                     "Management does: the erase, the pause for the flash, up to 10 seconds for the\n"
                                     "printer's acknowledgement, then legacy colorization switched off and stored."),
                      true);
    int rc = 0;
    if (!pc.parse(args, io, rc)) return rc;
    if (!pc.c.p.positionalArguments().isEmpty())
        return pc.c.usage(io, QStringLiteral("erase-logos takes no arguments; name the port with --port"));
    return pc.run(io, [](PortSession& j) {
        Transfer transfer(j.link);
        const std::unique_ptr<Timer> reply = j.clock.createTimer();
        switch (eraseFlash(j.link, j.batch, *reply)) {
        case EraseEnd::Erased: return QString();
        case EraseEnd::NotAnswered:
            return QStringLiteral("the printer did not acknowledge the erase within %1 s").arg(kEraseReplyMs / 1000);
        case EraseEnd::Abandoned: break;
        }
        return QStringLiteral("the erase did not go out");
    });
}

int cmdPaperType(const QStringList& args, Streams io) {
    PrinterCommand pc("paper-type", QStringLiteral("T --port P [--port P ...] [options]"),
                      QStringLiteral("Sets the printer's paper type T (0, 1, 4 or 5, the Paper menu's types) and has it\n"
                                     "stored, as Rastiv's menu does, with the pause for the flash write."),
                      true);
    int rc = 0;
    if (!pc.parse(args, io, rc)) return rc;
    const QStringList in = pc.c.p.positionalArguments();
    bool ok = false;
    const int type = in.value(0).toInt(&ok);
    if (in.size() != 1 || !ok || std::find(std::begin(kPaperTypes), std::end(kPaperTypes), type) == std::end(kPaperTypes))
        return pc.c.usage(io, QStringLiteral("give the paper type: 0, 1, 4 or 5"));
    return pc.run(io, [type](PortSession& j) {
        Transfer transfer(j.link);
        return sendPaperType(j.link, j.batch, uint8_t(type)) ? QString()
                                                             : QStringLiteral("the paper type did not go out");
    });
}

int cmdReplay(const QStringList& args, Streams io) {
    PrinterCommand pc("replay", QStringLiteral("FILE.cpb --port P [--port P ...] [options]"),
                      QStringLiteral("Plays a batch recording (.cpb) to every port at once, as Rastiv's Batch File Play\n"
                                     "does: the recorded bytes in pieces of at most 100, and at each pause the wait\n"
                                     "for the printer's flash write.  The pause marks themselves are never sent."),
                      false);
    int rc = 0;
    if (!pc.parse(args, io, rc)) return rc;
    const QStringList in = pc.c.p.positionalArguments();
    if (in.size() != 1) return pc.c.usage(io, QStringLiteral("give one recording to play"));
    const QString path = in[0];
    if (const QString why = notRegularFileProblem(path); !why.isEmpty()) return pc.c.refuse(io, why);
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable())
        return pc.c.refuse(io, QStringLiteral("%1 cannot be read").arg(path));
    if (looksLikeBitmap(path))
        return pc.c.refuse(io, QStringLiteral("%1 is a bitmap, not a recording").arg(path));
    pc.options.playback = path;
    return pc.run(io, [path](PortSession& j) {
        Transfer transfer(j.link);
        return endReason(playBatchFile(j.link, j.batch, path, j.progress, j.waiting).end);
    });
}

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args, Streams io);
};

constexpr std::array<Command, 10> kCommands{{
    {"ports", "Lists the serial devices present and whether you may open them", cmdPorts},
    {"convert", "Turns a picture into a BMP, graphics (.gfx) or logo (.lgo) file for the printer", cmdConvert},
    {"render", "Draws what the printer would print from a byte stream, a .gfx or a .lgo file", cmdRender},
    {"serve", "Acts as a printer a till can talk to, over TCP or a pseudo-terminal", cmdServe},
    {"status", "Asks the printer for its status and says whether it answers", cmdStatus},
    {"print", "Prints a graphics file (.gfx) on one or more printers", cmdPrint},
    {"download-logo", "Stores a logo file (.lgo) in one or more printers", cmdDownloadLogo},
    {"erase-logos", "Erases the logos stored in one or more printers", cmdEraseLogos},
    {"paper-type", "Sets and stores the paper type of one or more printers", cmdPaperType},
    {"replay", "Plays a batch recording (.cpb) to one or more printers at once", cmdReplay},
}};

void usage(QTextStream& s) {
    s << "Usage: " << kTool << " COMMAND [options] [arguments]\n"
      << "       " << kTool << " COMMAND --help\n\n"
      << "Prepares pictures for two-colour receipt printers and talks to the printer, without a screen.\n\n"
      << "Commands:\n";
    for (const Command& c : kCommands) s << "  " << QString::fromLatin1(c.name).leftJustified(14) << c.summary << '\n';
    s << "\nOptions:\n"
      << "  -h, --help     Shows this help.\n"
      << "  -v, --version  Shows the version.\n\n"
      << "Exit status: 0 on success; 1 when the work was refused or failed, with the reason on\n"
      << "standard error; 2 for a command line that is not understood.\n"
      << "For the printer commands, \"ok\" means the line confirmed every byte as far as it can tell\n"
      << "(see a printer command's --help): a pseudo-terminal cannot tell whether its reader took them.\n";
}

}  // namespace

std::vector<PortInfo> describePorts(const QStringList& present, const SettingsStore& settings) {
    QStringList devices, byId;
    for (const QString& d : present) (d.contains(QLatin1String("/serial/by-id/")) ? byId : devices) << d;
    // A stable name whose device the list left out still names a device.
    for (const QString& link : byId) {
        const QString target = QFileInfo(link).canonicalFilePath();
        if (!target.isEmpty() && !devices.contains(target)) devices << target;
    }
    std::vector<PortInfo> ports;
    for (const QString& device : devices) {
        PortInfo p;
        p.device = device;
        const QString real = QFileInfo(device).canonicalFilePath();
        for (const QString& link : byId)
            if (QFileInfo(link).canonicalFilePath() == real) p.byId << link;
        for (int i = 0; i < kPortEntries; ++i) {
            const QString kept = portDevice(settings, i);
            if (kept == device || (!real.isEmpty() && QFileInfo(kept).canonicalFilePath() == real))
                p.entries << QString::fromLatin1(kPortEntryNames[size_t(i)]);
        }
        p.mayOpen = ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
        if (!p.mayOpen) {
            const int why = errno;
            p.whyNot = why == EACCES ? QStringLiteral("not yours to open (group %1)").arg(owningGroup(device))
                                     : QStringLiteral("cannot be opened: %1")
                                           .arg(QString::fromLocal8Bit(std::strerror(why)));
        }
        ports.push_back(std::move(p));
    }
    return ports;
}

int checkStatus(const QString& name, const PortSettings& settings, int waitMs, Clock& clock, Streams io,
                const QByteArray& query) {
    LinkState state;
    StreamMessages messages(io.err);
    CommLink link(state, clock, messages);
    std::unique_ptr<SerialPort> line = makeSerialPort(settings.device, clock);
    PortError error;
    if (!line->open(settings, error)) {
        io.err << kTool << " status: " << name << " cannot be opened: " << error.description << '\n';
        return kExitFailed;
    }
    link.setPort(std::move(line));
    const bool answered = printerAnswers(link, waitMs, query.isEmpty() ? cmd::kStatusQuery : query);
    const QByteArray reply = link.ReadPort();
    const int replies = int(reply.size());
    link.ClosePort();
    if (!answered) {
        io.err << kTool << " status: the printer on " << name << " did not answer within " << waitMs
               << " ms. Check the port settings, the cable, and that the printer is switched on.\n";
        return kExitFailed;
    }
    io.out << "The printer on " << name << " answered (" << replies << (replies == 1 ? " byte" : " bytes") << ").\n";
    return kExitOk;
}

void setWorkerClock(std::function<std::unique_ptr<Clock>()> make) { workerClock() = std::move(make); }

bool needsGui(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i)
        if (!args[i].startsWith(u'-')) return args[i] == QLatin1String("render") || args[i] == QLatin1String("serve");
    return false;
}

int run(const QStringList& args, Streams io) {
    const QString first = args.value(1);
    if (first.isEmpty()) {
        usage(io.err);
        return kExitUsage;
    }
    if (first == QLatin1String("-h") || first == QLatin1String("--help") || first == QLatin1String("help")) {
        usage(io.out);
        return kExitOk;
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        io.out << kTool << ' ' << RASTIV_VERSION << '\n';
        return kExitOk;
    }
    if (const QString why = SettingsStore().problem(); !why.isEmpty())
        io.err << kTool << ": " << why << "; Rastiv's settings are not used.\n";
    for (const Command& c : kCommands)
        if (first == QLatin1String(c.name)) return c.run(args.mid(1), io);
    io.err << kTool << ": '" << first << "' is not a command. See '" << kTool << " --help'.\n";
    return kExitUsage;
}

}  // namespace rastiv::cli
