#include "link/termiosport.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/clock.hpp"

namespace rastiv {

namespace {

speed_t speedFor(int baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B0;
    }
}

QString groupOf(const QString& device) {
    struct stat st{};
    if (::stat(device.toLocal8Bit().constData(), &st) != 0) return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
}

}  // namespace

PortError describeOpenError(const QString& device, int err) {
    QString text;
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            text = QStringLiteral("The serial device %1 does not exist. Check that the cable or USB adapter is "
                                  "plugged in, or choose another device for this port.")
                       .arg(device);
            break;
        case EACCES:
        case EPERM: {
            QString group = groupOf(device);
            text = QStringLiteral("You are not allowed to use the serial device %1. Ask your administrator to "
                                  "add you to the group \"%2\" that owns it, then log out and log in again.")
                       .arg(device, group.isEmpty() ? QStringLiteral("dialout") : group);
            break;
        }
        case EBUSY:
        case EWOULDBLOCK:
            text = QStringLiteral("The serial device %1 is in use by another program. Close that program, or "
                                  "choose another device for this port.")
                       .arg(device);
            break;
        case ENOTTY:
            text = QStringLiteral("%1 is not a serial device. Choose a serial device for this port.").arg(device);
            break;
        case EINVAL:
            text = QStringLiteral("The serial device %1 does not accept these settings (speed or parity).")
                       .arg(device);
            break;
        default:
            text = QStringLiteral("The serial device %1 could not be opened: %2.")
                       .arg(device, QString::fromLocal8Bit(std::strerror(err)));
    }
    return {err, text};
}

TermiosPort::TermiosPort(Clock& clock) : clock_(clock), drainTimer_(clock.createTimer()) {
    drainTimer_->onTimer = [this] {
        drainTimer_->setEnabled(false);
        drainCheck();
    };
}

TermiosPort::~TermiosPort() { close(); }

bool TermiosPort::open(const PortSettings& settings, PortError& error) {
    close();
    const QString& device = settings.device;
    if (device.isEmpty()) {
        error = {ENOENT, QStringLiteral("No serial device is chosen for this port.")};
        return false;
    }
    const speed_t speed = speedFor(settings.baud);
    if (speed == B0) {
        error = {EINVAL, QStringLiteral("%1 baud is not a speed the printer link supports.").arg(settings.baud)};
        return false;
    }
    int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = describeOpenError(device, errno);
        return false;
    }
    auto refuse = [&](int err) {
        error = describeOpenError(device, err);
        ::close(fd);
        return false;
    };
    if (!::isatty(fd)) return refuse(ENOTTY);
    // Exclusive: no second open of the tty (TIOCEXCL) and no second
    // cooperating program (flock) while we hold it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(EBUSY);
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) return refuse(errno);

    termios t{};
    if (::tcgetattr(fd, &t) != 0) return refuse(errno);
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (settings.parity == 'E') t.c_cflag |= PARENB;
    if (settings.parity == 'O') t.c_cflag |= PARENB | PARODD;
    // Software flow control both ways; no IXANY: only XON resumes output.
    t.c_iflag &= ~IXANY;
    t.c_iflag |= IXON | IXOFF;
    // VMIN 1: an empty non-blocking read fails with EAGAIN, so that a read
    // of 0 bytes can only mean the line was hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(fd, TCSANOW, &t) != 0)
        return refuse(errno);
    ::tcflush(fd, TCIOFLUSH);

    fd_ = fd;
    baud_ = settings.baud;
    bitsPerChar_ = settings.bitsPerCharacter();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { readAvailable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { writeQueued(); });
    return true;
}

void TermiosPort::close() {
    drainTimer_->setEnabled(false);
    // close() may run inside a notifier's own signal (a hang-up seen while
    // reading): disable now, delete once the signal has returned.
    for (auto* n : {&readNotifier_, &writeNotifier_}) {
        if (*n) {
            (*n)->setEnabled(false);
            n->release()->deleteLater();
        }
    }
    if (fd_ >= 0) {
        // Unsent output would make close() wait for a printer that holds XOFF.
        ::tcflush(fd_, TCIOFLUSH);
        ::close(fd_);
        fd_ = -1;
    }
    in_.clear();
    out_.clear();
    awaitingEmpty_ = false;
}

void TermiosPort::output(const QByteArray& bytes) {
    if (fd_ < 0) return;
    out_.append(bytes);
    awaitingEmpty_ = true;
    writeQueued();
}

void TermiosPort::writeQueued() {
    while (fd_ >= 0 && !out_.isEmpty()) {
        ssize_t n = ::write(fd_, out_.constData(), static_cast<size_t>(out_.size()));
        if (n > 0) {
            out_.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // driver full or stopped by XOFF
        fail(n < 0 ? errno : EIO);
        return;
    }
    if (fd_ < 0) return;
    writeNotifier_->setEnabled(!out_.isEmpty());
    if (out_.isEmpty() && awaitingEmpty_) drainCheck();
}

void TermiosPort::drainCheck() {
    if (fd_ < 0 || !awaitingEmpty_ || !out_.isEmpty()) return;
    if (driverQueue() == 0 && transmitterEmpty()) {
        awaitingEmpty_ = false;
        raiseTransmitEvent();
        return;
    }
    scheduleDrainCheck();
}

// Looks again when the bytes still queued should have left the line, rather
// than polling blindly; a printer holding XOFF is looked at every 100 ms.
void TermiosPort::scheduleDrainCheck() {
    const long long pending = std::max(driverQueue(), 1);
    const long long ms = (pending * bitsPerChar_ * 1000 + baud_ - 1) / baud_;
    drainTimer_->setInterval(static_cast<int>(std::clamp(ms, 1LL, 100LL)));
    drainTimer_->setEnabled(true);
}

void TermiosPort::raiseTransmitEvent() {
    // Delivered while events are processed, like any other line event.
    QMetaObject::invokeMethod(this, [this] { emit transmitEvent(); }, Qt::QueuedConnection);
}

void TermiosPort::readAvailable() {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            in_.append(buf, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // 0 or EIO: the other end hung up.
        fail(n < 0 ? errno : EIO);
        return;
    }
}

void TermiosPort::fail(int err) {
    const PortError why{err, QStringLiteral("The connection to the printer was lost (error %1: %2). Check the "
                                            "cable or USB adapter and that the printer is switched on.")
                                 .arg(err)
                                 .arg(QString::fromLocal8Bit(std::strerror(err)))};
    close();
    QMetaObject::invokeMethod(this, [this, why] { emit lost(why); }, Qt::QueuedConnection);
}

QByteArray TermiosPort::input() {
    if (fd_ >= 0) readAvailable();
    QByteArray taken;
    taken.swap(in_);
    return taken;
}

int TermiosPort::inBufferCount() {
    if (fd_ < 0) return 0;
    readAvailable();
    return static_cast<int>(std::min<qsizetype>(in_.size(), INT_MAX));
}

void TermiosPort::clearInBuffer() {
    in_.clear();
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

int TermiosPort::driverQueue() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &queued) != 0) return 0;
    return std::max(queued, 0);
}

bool TermiosPort::transmitterEmpty() const {
    int lsr = 0;
    // Not every driver can tell (USB adapters, pseudo-terminals): then the
    // driver's empty queue has to do.
    if (::ioctl(fd_, TIOCSERGETLSR, &lsr) != 0) return true;
    return (lsr & TIOCSER_TEMT) != 0;
}

int TermiosPort::outBufferCount() {
    if (fd_ < 0) return 0;
    return static_cast<int>(std::min<long long>(out_.size() + driverQueue(), INT_MAX));
}

bool TermiosPort::modemLine(int bit) {
    if (fd_ < 0) return false;
    int lines = 0;
    // A device without modem lines (a pseudo-terminal, a three-wire cable
    // adapter) cannot say: treat the printer as ready.
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) return true;
    return (lines & bit) != 0;
}

bool TermiosPort::dsrHolding() { return modemLine(TIOCM_DSR); }
bool TermiosPort::ctsHolding() { return modemLine(TIOCM_CTS); }

}  // namespace rastiv
