#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/streammessages.hpp"
#include "cli/subcommand.hpp"
#include "core/portdevices.hpp"
#include "core/portname.hpp"
#include "core/settings.hpp"
#include "link/clock.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/serialport.hpp"

namespace rastiv::cli {

namespace {

QString owningGroup(const QString& device) {
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0) return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
}

}  // namespace

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
    StreamMessages messages(io.err);
    const QString noHelp;  // the tool's boxes are lines on standard error
    CommLink link(clock, messages, noHelp);
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

}  // namespace rastiv::cli
