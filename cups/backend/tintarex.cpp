// tintarex: the CUPS backend for the Tintarex receipt printers on a serial
// line.  It sends a job through the printer link that Rastiv itself uses:
// the same port set-up (XON/XOFF, exclusive), the same connection test (the
// status query and the wait for any reply) and the same waits before each
// piece (ready line, output drained, transmit event).
//
//   tintarex                     lists the serial devices (lpinfo -v)
//   tintarex job user title copies options [file]
//
// Device URIs: tintarex:/dev/ttyUSB0?baud=115200&parity=none, also with a
// stable name: tintarex:/dev/serial/by-id/usb-...; baud defaults to 115200
// and parity to none, as in Rastiv's communication settings.
//
// CUPS runs a backend as root when others may not run it: the package
// installs this one with mode 0700, because serial devices belong to the
// dialout group, which CUPS's own user is not in.  Running as root, it opens
// only what is a serial line (see openSerialLine): a URI naming a terminal,
// a console or a watchdog is refused before the device is opened or a byte
// is written.
//
// For tests only: TINTAREX_ALLOW_PSEUDO_TERMINAL=1 in the backend's
// environment lets it print to a pseudo-terminal, such as the link of the
// receipt emulator (rastiv-cli serve --link).  The scheduler passes it only
// when its own configuration says so (SetEnv in cups-files.conf, which only
// root may change); a printing user cannot set it.
#include <cups/backend.h>
#include <cups/cups.h>
#include <cups/sidechannel.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "link/clock.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/operator.hpp"
#include "link/serialdevices.hpp"
#include "link/serialline.hpp"
#include "link/termiosport.hpp"

namespace {

using namespace rastiv;

constexpr const char* kScheme = "tintarex";
// Pieces as the program streams a file: the ready line is looked at before each.
constexpr int kPiece = 50;
// How long the last bytes may take to leave the line before the job ends anyway.
constexpr int kDrainMs = 60000;

volatile sig_atomic_t gTerminated = 0;
void onTerm(int) { gTerminated = 1; }

// One line of the scheduler's log protocol (INFO:, ERROR:, STATE: ...).
void report(const char* prefix, const QString& text) {
    std::fprintf(stderr, "%s %s\n", prefix, text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// ---- The device URI, and what it may name (link/serialline) ----
std::optional<PortSettings> parseUri(const QString& uri, QString& problem) {
    return parseSerialUri(uri, kScheme, problem);
}

// Above the back channel (3) and the side channel (4), which are free when
// the backend is run by hand: the descriptor must not pass for them.
int openSerialLine(const QString& device, QString& problem, int& error) {
    return rastiv::openSerialLine(device, "the tintarex backend", CUPS_SC_FD + 1, problem, error);
}

// ---- lpinfo -v ----
void listDevices() {
    const QStringList devices = presentSerialDevices();
    for (const QString& d : devices) {
        const QString name = QFileInfo(d).fileName();
        std::printf("serial %s:%s \"Unknown\" \"Tintarex receipt printer on %s\" \"\" \"\"\n", kScheme,
                    d.toLocal8Bit().constData(), name.toLocal8Bit().constData());
    }
    // The scheme is offered even with no device plugged in, for lpadmin -v.
    if (devices.isEmpty()) std::printf("serial %s \"Unknown\" \"Tintarex receipt printer (serial)\"\n", kScheme);
}

// ---- The printer's answers ----
// The family's reply to the status query (1B 76 0A) proves that a printer is
// on the line and nothing more: Rastiv's connection test and rastiv-cli
// status take any number of bytes of any value as "it answers", and no
// meaning of the byte's bits is documented for these printers.  Reading
// paper-out or paper-low into it (as some ESC/POS printers would allow)
// could show a printer that is fine as out of paper, so it is only logged.
// A printer out of paper shows as one that is not ready: it holds its ready
// line low or stops taking data, and the queue then reports +offline-report.
QString hexOf(const QByteArray& bytes) {
    return bytes.isEmpty() ? QStringLiteral("nothing") : QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The link's waits answered for the scheduler: keep waiting for a printer
// that is not ready and say so, give up once the job is cancelled or the
// line is gone.
class SchedulerOperator final : public Operator {
public:
    void watch(const CommLink& link) { link_ = &link; }
    RetryAnswer sendFailed(SendProblem problem) override {
        if (gTerminated || !link_ || !link_->port() || !link_->port()->portOpen()) return RetryAnswer::Stop;
        if (!offLine_) {
            offLine_ = true;
            report("STATE:", QStringLiteral("+offline-report"));
            report("INFO:", problem == SendProblem::Timeout
                                ? QStringLiteral("The printer is not ready (paper, cover or power?); waiting for it.")
                                : QStringLiteral("The printer is not taking data; waiting for it."));
        }
        return RetryAnswer::KeepTrying;
    }
    void printerOffLine() override {}
    // A piece went out: a printer reported off line is back.
    void sent() {
        if (!offLine_) return;
        offLine_ = false;
        report("STATE:", QStringLiteral("-offline-report"));
        report("INFO:", QStringLiteral("Printing."));
    }
    bool offLine() const { return offLine_; }

private:
    const CommLink* link_ = nullptr;
    bool offLine_ = false;
};

// ---- The side channel (fd 4): what a filter may ask while we print ----
class SideChannel {
public:
    SideChannel(CommLink& link, const SchedulerOperator& op)
        : link_(link), op_(op), open_(::fcntl(CUPS_SC_FD, F_GETFD) >= 0) {}
    bool open() const { return open_; }
    void answer() {
        cups_sc_status_t status;
        char data[2048];
        int length = sizeof(data);
        if (cupsSideChannelRead(&command_, &status, data, &length, 1.0) != 0) {
            open_ = false;  // the filter has gone; nobody asks any more
            return;
        }
        char reply = 0;
        switch (command_) {
            case CUPS_SC_CMD_DRAIN_OUTPUT:
                write(drain(kDrainMs) ? CUPS_SC_STATUS_OK : CUPS_SC_STATUS_TIMEOUT, nullptr, 0);
                return;
            case CUPS_SC_CMD_GET_BIDI:
                // Replies from the printer are not passed back to the filters.
                reply = CUPS_SC_BIDI_NOT_SUPPORTED;
                break;
            case CUPS_SC_CMD_GET_STATE: {
                const bool online = link_.port() && link_.port()->portOpen() && !op_.offLine();
                // Paper states are not known (see hexOf): on line or not.
                reply = char(online ? CUPS_SC_STATE_ONLINE : CUPS_SC_STATE_OFFLINE);
                break;
            }
            case CUPS_SC_CMD_GET_CONNECTED: reply = link_.port() && link_.port()->portOpen() ? 1 : 0; break;
            default:
                // A serial printer has no IEEE 1284 device ID, and a reset
                // could land in the middle of a command.
                write(CUPS_SC_STATUS_NOT_IMPLEMENTED, nullptr, 0);
                return;
        }
        write(CUPS_SC_STATUS_OK, &reply, 1);
    }
    // Lets the bytes handed to the line leave it; false when they did not in time.
    bool drain(int ms) {
        link_.startWatchdog(ms);
        while (link_.port() && link_.port()->portOpen() && link_.port()->outBufferCount() > 0 &&
               link_.watchdogRunning())
            link_.yield();
        link_.stopWatchdog();
        return link_.port() && link_.port()->portOpen() && link_.port()->outBufferCount() == 0;
    }

private:
    void write(cups_sc_status_t status, const char* data, int length) {
        cupsSideChannelWrite(command_, status, data, length, 1.0);
    }
    CommLink& link_;
    const SchedulerOperator& op_;
    bool open_;
    cups_sc_command_t command_ = CUPS_SC_CMD_NONE;  // the one being answered
};

// Stops the queue, saying why.  The job's data is read to its end first:
// the filters then finish without errors of their own, which would take the
// place of the reason in lpstat.  The job stays; it prints in full once the
// queue is started again.
int stopQueue(const QString& why, int input) {
    char buffer[65536];
    while (input == STDIN_FILENO && (::read(input, buffer, sizeof buffer) > 0 || errno == EINTR)) {
    }
    report("ERROR:", why);
    return CUPS_BACKEND_STOP;
}

// `line` names the device for the messages; `checked` is the descriptor
// openSerialLine checked, which the link opens again.
int printJob(const PortSettings& line, int checked, int input) {
    QCoreApplication::setApplicationName(QStringLiteral("tintarex"));
    RealClock clock;
    SchedulerOperator op;
    CommLink link(clock, op);
    link.setSendChunk(kPiece);
    op.watch(link);

    report("STATE:", QStringLiteral("+connecting-to-device"));
    report("INFO:", QStringLiteral("Connecting to the printer on %1.").arg(line.device));
    PortError error;
    PortSettings opened = line;
    opened.device = QStringLiteral("/proc/self/fd/%1").arg(checked);
    const Connection c = connectPrinter(link, std::make_unique<TermiosPort>(clock), opened, error);
    error.description.replace(opened.device, line.device);
    report("STATE:", QStringLiteral("-connecting-to-device"));
    if (c == Connection::CannotOpen) {
        // Another program holding the port lets go sooner or later.
        if (error.number != EBUSY) return stopQueue(error.description, input);
        report("ERROR:", error.description);
        return CUPS_BACKEND_RETRY;
    }
    if (c == Connection::NoAnswer) {
        report("STATE:", QStringLiteral("+offline-report"));
        return stopQueue(QStringLiteral("The printer on %1 does not answer. Check that it is switched on, that the "
                                        "cable is plugged in and that it is set to %2 baud, parity %3.")
                             .arg(line.device)
                             .arg(line.baud)
                             .arg(line.parity == 'E' ? u"even" : line.parity == 'O' ? u"odd" : u"none"),
                         input);
    }
    report("STATE:", QStringLiteral("-offline-report"));
    report("DEBUG:", QStringLiteral("The printer answered the status query with %1.").arg(hexOf(link.ReadPort())));

    SideChannel side(link, op);
    char buffer[kPiece];
    qint64 total = 0;
    for (;;) {
        pollfd fds[2] = {{input, POLLIN, 0}, {CUPS_SC_FD, POLLIN, 0}};
        const int n = ::poll(fds, side.open() ? 2 : 1, -1);
        if (n < 0 && errno == EINTR) continue;
        if (side.open() && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) side.answer();
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::read(input, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            report("ERROR:", QStringLiteral("Unable to read the print data: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return CUPS_BACKEND_FAILED;
        }
        if (got == 0) break;
        if (!link.SendData(QByteArray(buffer, got))) {
            if (gTerminated) return CUPS_BACKEND_OK;  // cancelled while the printer was not ready
            report("ERROR:", QStringLiteral("The connection to the printer on %1 was lost after %2 bytes.")
                                 .arg(line.device)
                                 .arg(total));
            return CUPS_BACKEND_STOP;
        }
        op.sent();
        total += got;
    }
    if (!side.drain(kDrainMs)) {
        report("ERROR:", QStringLiteral("The last bytes did not leave the line to the printer on %1.").arg(line.device));
        return CUPS_BACKEND_FAILED;
    }
    link.ClosePort();
    report("INFO:", QStringLiteral("Sent %1 bytes to the printer.").arg(total));
    return CUPS_BACKEND_OK;
}

}  // namespace

int main(int argc, char* argv[]) {
    // No buffering of the scheduler's messages: each is a line at once.
    setbuf(stderr, nullptr);
    QCoreApplication app(argc, argv);
    if (argc == 1) {
        listDevices();
        return CUPS_BACKEND_OK;
    }
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return CUPS_BACKEND_FAILED;
    }
    // Printing from the scheduler's pipe, the data after a cancel is the
    // filter finishing its line and feeding the paper: send it.  From a
    // file, a cancel stops at once.
    struct sigaction term {};
    term.sa_handler = argc == 6 ? onTerm : SIG_DFL;
    sigemptyset(&term.sa_mask);
    term.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &term, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const char* env = std::getenv("DEVICE_URI");
    const QString uri = QString::fromLocal8Bit(env ? env : argv[0]);
    QString problem;
    const std::optional<PortSettings> line = parseUri(uri, problem);
    if (!line) return stopQueue(problem, argc == 6 ? STDIN_FILENO : -1);
    int input = STDIN_FILENO;
    if (argc == 7 && (input = ::open(argv[6], O_RDONLY | O_CLOEXEC)) < 0) {
        report("ERROR:", QStringLiteral("Unable to open the print file \"%1\": %2")
                             .arg(QString::fromLocal8Bit(argv[6]), QString::fromLocal8Bit(std::strerror(errno))));
        return CUPS_BACKEND_FAILED;
    }
    int error = 0;
    const int checked = openSerialLine(line->device, problem, error);
    if (checked < 0) {
        // Another program holding the port lets go sooner or later.
        int result = CUPS_BACKEND_RETRY;
        if (error == EBUSY)
            report("ERROR:", problem);
        else
            result = stopQueue(problem, input);
        if (input != STDIN_FILENO) ::close(input);
        return result;
    }
    const int result = printJob(*line, checked, input);
    ::close(checked);
    if (input != STDIN_FILENO) ::close(input);
    return result;
}
