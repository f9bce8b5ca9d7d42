#include "printerapp/serialscheme.hpp"

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <memory>

#include "link/clock.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/serialdevices.hpp"
#include "link/serialline.hpp"
#include "link/termiosport.hpp"
#include "printerapp/jobqueue.hpp"

namespace rastiv::printerapp {

namespace {

// A job's bytes kept for sending again after the printer went away: a 3 m
// two-colour receipt is about 4 MB.  A longer job goes on from where it was.
constexpr qsizetype kReplayMax = qsizetype(16) << 20;
// How long a printer may take to answer when a job starts, and when its
// status is asked for (a page of the web interface waits for it).
constexpr int kConnectMs = 3000;
constexpr int kStatusMs = 1000;
// How often a printer that went away mid-job is looked for.
constexpr int kLookAgainMs = 2000;
// How long the last bytes may take to leave the line when the job ends.
constexpr int kDrainMs = 60000;
constexpr pappl_preason_t kOurReasons =
    pappl_preason_t(PAPPL_PREASON_OFFLINE | PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_MEDIA_EMPTY |
                    PAPPL_PREASON_MEDIA_LOW | PAPPL_PREASON_OTHER);

struct SerialDevice;

// The link's waits answered for a job: keep waiting for a printer that is
// not ready and say so on the printer; give up once the job is cancelled or
// the line is gone.
class JobOperator final : public Operator {
public:
    explicit JobOperator(SerialDevice& d) : d_(d) {}
    RetryAnswer sendFailed(SendProblem) override;
    void printerOffLine() override {}

private:
    SerialDevice& d_;
};

// One open device.  The link's objects are Qt objects driven by socket
// notifiers, which run only in a thread Qt started: they live, work and die
// on a thread of their own, and PAPPL's threads hand them work and wait.
struct SerialDevice {
    PortSettings line;
    QThread thread;
    QObject* home = nullptr;  // lives on `thread`
    // On `thread` only:
    std::unique_ptr<RealClock> clock;
    std::unique_ptr<JobOperator> op;
    std::unique_ptr<CommLink> link;
    // The job under way (PAPPL's job thread sets it; the link reads it).
    pappl_job_t* job = nullptr;
    QByteArray replay;
    bool replayable = true;

    template <class F>
    void run(F&& f) {
        QMetaObject::invokeMethod(home, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }
    bool cancelled() const { return job && papplJobIsCanceled(job); }
    void setReasons(pappl_preason_t add, pappl_preason_t remove) const {
        if (job) papplPrinterSetReasons(papplJobGetPrinter(job), add, remove);
    }

    // On `thread`: the connection test on a freshly checked line.
    bool connect(int waitMs, QString& problem) {
        int error = 0;
        const int fd = openSerialLine(line.device, "rastiv-printer", 3, problem, error);
        if (fd < 0) return false;
        PortSettings opened = line;
        opened.device = QStringLiteral("/proc/self/fd/%1").arg(fd);
        PortError e;
        const Connection c = connectPrinter(*link, std::make_unique<TermiosPort>(*clock), opened, e, waitMs);
        ::close(fd);  // the port opened its own
        if (c == Connection::Answered) {
            link->ReadPort();  // the answer proved the printer is there; nothing more
            return true;
        }
        problem = c == Connection::NoAnswer ? QStringLiteral("The printer on %1 does not answer.").arg(line.device)
                                            : e.description.replace(opened.device, line.device);
        link->ClosePort();
        return false;
    }
    bool lineOpen() const { return link->port() && link->port()->portOpen(); }
    // On `thread`: handed to the line, and the line still there.
    bool send(const QByteArray& bytes) { return lineOpen() && link->SendData(bytes) && lineOpen(); }
    // On `thread`: lets what was handed over leave; false when it did not in time.
    bool drain(int ms) {
        link->startWatchdog(ms);
        while (lineOpen() && link->port()->outBufferCount() > 0 && link->watchdogRunning()) link->yield();
        link->stopWatchdog();
        return lineOpen() && link->port()->outBufferCount() == 0;
    }
    // On `thread`: waits `ms` on the link's clock.
    void pause(int ms) {
        link->startWatchdog(ms);
        while (link->watchdogRunning() && !cancelled()) link->yield();
        link->stopWatchdog();
    }
    // On `thread`: one real-time status byte, if the printer gives one in time.
    std::optional<uint8_t> ask(uint8_t n, int waitMs) {
        if (!lineOpen() || !printerAnswers(*link, waitMs, cmd::command(Cmd::DleEot, {n}))) return std::nullopt;
        return uint8_t(link->ReadPort().at(0));
    }
};

RetryAnswer JobOperator::sendFailed(SendProblem) {
    if (d_.cancelled() || !d_.lineOpen()) return RetryAnswer::Stop;
    // Not ready (out of paper, cover open, XOFF held): it prints once it is.
    d_.setReasons(PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    return RetryAnswer::KeepTrying;
}

SerialDevice* deviceOf(pappl_device_t* device) { return static_cast<SerialDevice*>(papplDeviceGetData(device)); }

void destroy(SerialDevice* d) {
    d->run([d] {
        if (d->link) d->link->ClosePort();
        d->link.reset();
        d->op.reset();
        d->clock.reset();
    });
    d->thread.quit();
    d->thread.wait();
    delete d->home;
    delete d;
}

bool listDevices(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t, void*) {
    QStringList paths = presentSerialDevices();
    if (qEnvironmentVariable(kAllowPseudoTerminal) == QLatin1String("1")) {
        // The lines this process may open include pseudo-terminals: list them too.
        const QDir pts(QStringLiteral("/dev/pts"));
        QStringList names = pts.entryList({QStringLiteral("[0-9]*")}, QDir::System, QDir::Name);
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        for (const QString& n : names) paths << pts.filePath(n);
    }
    for (const QString& path : paths) {
        const QByteArray info = QStringLiteral("Tintarex receipt printer on %1").arg(QFileInfo(path).fileName()).toUtf8();
        const QByteArray uri = (QString::fromLatin1(kSerialScheme) + u':' + path).toUtf8();
        if (cb(info.constData(), uri.constData(), "", data)) return true;
    }
    return false;
}

bool openDevice(pappl_device_t* device, const char* uri, const char*) {
    QString problem;
    const std::optional<PortSettings> line = parseSerialUri(QString::fromUtf8(uri), kSerialScheme, problem);
    if (!line) {
        papplDeviceError(device, "%s", problem.toUtf8().constData());
        return false;
    }
    auto* d = new SerialDevice;
    d->line = *line;
    d->home = new QObject;
    d->home->moveToThread(&d->thread);
    d->thread.start();
    bool ok = false;
    d->run([&] {
        d->clock = std::make_unique<RealClock>();
        d->op = std::make_unique<JobOperator>(*d);
        d->link = std::make_unique<CommLink>(*d->clock, *d->op);
        ok = d->connect(kConnectMs, problem);
    });
    if (!ok) {
        // PAPPL stops the printer and tries again a few seconds later.
        papplDeviceError(device, "%s", problem.toUtf8().constData());
        destroy(d);
        return false;
    }
    papplDeviceSetData(device, d);
    return true;
}

void closeDevice(pappl_device_t* device) {
    SerialDevice* d = deviceOf(device);
    if (!d) return;
    d->run([d] { d->drain(kDrainMs); });
    destroy(d);
}

ssize_t readDevice(pappl_device_t* device, void* buffer, size_t bytes) {
    SerialDevice* d = deviceOf(device);
    QByteArray got;
    d->run([&] {
        d->link->yield();
        got = d->link->ReadPort();
    });
    // The port keeps at most kInputKept bytes, but a caller may ask for fewer.
    const size_t n = std::min(size_t(got.size()), bytes);
    std::memcpy(buffer, got.constData(), n);
    return ssize_t(n);
}

// A printer that went away mid-job: the printer shows it off line, pauses
// (no other job starts) and the job waits until the printer answers again, then sends the job again from
// its start (a receipt cut short is printed whole), or, past kReplayMax,
// goes on from where it was.  Only a cancel ends the wait.
ssize_t writeDevice(pappl_device_t* device, const void* buffer, size_t bytes) {
    SerialDevice* d = deviceOf(device);
    const QByteArray piece(static_cast<const char*>(buffer), qsizetype(bytes));
    if (d->replayable && d->replay.size() > kReplayMax - piece.size()) {
        d->replayable = false;
        d->replay = QByteArray();
    }
    if (d->replayable) d->replay += piece;
    bool sent = false;
    d->run([&] { sent = d->send(piece); });
    bool waited = false;
    while (!sent) {
        if (d->cancelled()) return -1;
        if (!waited) {
            waited = true;
            d->setReasons(PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
            if (d->job) pauseForLostDevice(papplJobGetPrinter(d->job));
            if (d->job)
                papplJobSetMessage(d->job, "The printer on %s went away; waiting for it.",
                                   d->line.device.toUtf8().constData());
            papplDeviceError(device, "The connection to the printer on %s was lost; waiting for it.",
                             d->line.device.toUtf8().constData());
        }
        d->run([&] {
            d->pause(kLookAgainMs);
            QString problem;
            if (!d->cancelled() && d->connect(kConnectMs, problem)) sent = d->send(d->replayable ? d->replay : piece);
        });
    }
    if (waited && d->job) papplJobSetMessage(d->job, "Printing.");
    d->setReasons(PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
    return ssize_t(bytes);
}

pappl_preason_t deviceStatus(pappl_device_t* device) {
    SerialDevice* d = deviceOf(device);
    pappl_preason_t reasons = PAPPL_PREASON_NONE;
    d->run([&] {
        const auto printer = d->ask(1, kStatusMs);
        // A printer that does not know DLE EOT answered the connection test
        // all the same: it is there, and says no more.
        if (!printer) return;
        const auto cause = d->ask(2, kStatusMs);
        reasons = reasonsOfRealTimeStatus(printer, cause, d->ask(4, kStatusMs));
    });
    return reasons;
}

bool ours(const char* uri) {
    return uri && !std::strncmp(uri, kSerialScheme, std::strlen(kSerialScheme)) && uri[std::strlen(kSerialScheme)] == ':';
}

}  // namespace

pappl_preason_t reasonsOfRealTimeStatus(std::optional<uint8_t> printer, std::optional<uint8_t> cause,
                                        std::optional<uint8_t> paper) {
    // Each answer has bit 1 and bit 4 set and bits 0 and 7 clear; a byte
    // that does not is not an answer to the question (a stray byte, another
    // printer's protocol) and says nothing.
    const auto bits = [](std::optional<uint8_t> b, uint8_t mask) { return b && (*b & 0x93) == 0x12 && (*b & mask); };
    const auto valid = [](std::optional<uint8_t> b) { return b && (*b & 0x93) == 0x12; };
    if (!valid(printer) && !valid(cause) && !valid(paper)) return PAPPL_PREASON_OFFLINE;
    unsigned r = PAPPL_PREASON_NONE;
    if (bits(printer, 0x08)) r |= PAPPL_PREASON_OFFLINE;                      // off line
    if (bits(cause, 0x04)) r |= PAPPL_PREASON_COVER_OPEN;                     // cover open
    if (bits(cause, 0x20) || bits(paper, 0x60)) r |= PAPPL_PREASON_MEDIA_EMPTY;  // stopped at the paper's end
    if (bits(cause, 0x40)) r |= PAPPL_PREASON_OTHER;                          // an error
    if (bits(paper, 0x0C) && !(r & PAPPL_PREASON_MEDIA_EMPTY)) r |= PAPPL_PREASON_MEDIA_LOW;  // near its end
    return pappl_preason_t(r);
}

void registerSerialScheme() {
    // PAPPL adds its own schemes (socket, usb, file) only to an empty list,
    // when it first lists devices: a listing makes it do so before ours is added.
    papplDeviceList(
        PAPPL_DEVTYPE_FILE, [](const char*, const char*, const char*, void*) { return true; }, nullptr, nullptr,
        nullptr);
    papplDeviceAddScheme(kSerialScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, listDevices, openDevice, closeDevice, readDevice,
                         writeDevice, deviceStatus, nullptr);
}

void serialJobStarted(pappl_device_t* device, pappl_job_t* job) {
    if (!device || !ours(papplPrinterGetDeviceURI(papplJobGetPrinter(job)))) return;
    SerialDevice* d = deviceOf(device);
    if (!d) return;
    d->job = job;
    d->replay = QByteArray();
    d->replayable = true;
}

bool serialPrinterStatus(pappl_printer_t* printer) {
    if (!ours(papplPrinterGetDeviceURI(printer))) return true;
    pappl_device_t* device = papplPrinterOpenDevice(printer);
    if (!device) {
        // Busy with a job, which says for itself; otherwise nothing answered.
        if (papplPrinterGetState(printer) != IPP_PSTATE_PROCESSING)
            papplPrinterSetReasons(printer, PAPPL_PREASON_OFFLINE,
                                   pappl_preason_t(kOurReasons & ~PAPPL_PREASON_OFFLINE));
        return true;
    }
    const pappl_preason_t reasons = papplDeviceGetStatus(device);
    papplPrinterCloseDevice(printer);
    papplPrinterSetReasons(printer, reasons, pappl_preason_t(kOurReasons & ~reasons));
    return true;
}

}  // namespace rastiv::printerapp
