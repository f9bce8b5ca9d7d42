#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "cli/interrupts.hpp"
#include "cli/printerjobs.hpp"
#include "cli/subcommand.hpp"
#include "core/portname.hpp"
#include "core/printerfiles.hpp"
#include "core/settings.hpp"
#include "link/batch.hpp"
#include "link/clock.hpp"
#include "link/commlink.hpp"
#include "link/filestream.hpp"
#include "link/regularfile.hpp"
#include "link/sequences.hpp"

namespace rastiv::cli {

namespace {

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

}  // namespace

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
        SendingPrintSample sample(j.batch);
        return endReason(sendGraphic(j.link, bytes, j.link.sendChunk(), j.progress));
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
        j.progress.start(bytes.size());
        return endReason(sendLogo(j.link, j.batch, bytes, uint8_t(n), j.link.sendChunk(), j.progress));
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
        return endReason(playBatchFile(j.link, j.batch, path, j.progress, j.waiting).end);
    });
}

void setWorkerClock(std::function<std::unique_ptr<Clock>()> make) { workerClock() = std::move(make); }

}  // namespace rastiv::cli
