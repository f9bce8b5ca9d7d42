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

TermiosPort::TermiosPort(Clock& clock) : FdPort(clock) {}

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

    baud_ = settings.baud;
    bitsPerChar_ = settings.bitsPerCharacter();
    adopt(fd);
    return true;
}

// Output still queued in the driver is given up on: a printer that holds
// XOFF would make close() wait for it.  An empty queue is left alone:
// flushing output throws away what is past the queue too (on a
// pseudo-terminal, whose queue always reads empty, every byte the other end
// has not read yet), and close() lets an adapter send its last bytes.
void TermiosPort::beforeClose() { ::tcflush(fd(), kernelQueue() > 0 ? TCIOFLUSH : TCIFLUSH); }

ssize_t TermiosPort::writeSome(const char* data, size_t size) { return ::write(fd(), data, size); }
ssize_t TermiosPort::readSome(char* data, size_t size) { return ::read(fd(), data, size); }

// Looks again when the bytes still queued should have left the line, rather
// than polling blindly; a printer holding XOFF is looked at every 100 ms.
int TermiosPort::recheckMs(int queued) const {
    const long long pending = std::max(queued, 1);
    const long long ms = (pending * bitsPerChar_ * 1000 + baud_ - 1) / baud_;
    return static_cast<int>(std::clamp(ms, 1LL, 100LL));
}

PortError TermiosPort::lostError(int err) const {
    // 0 bytes read from a tty opened with VMIN 1 can only mean a hang-up, and
    // a tty that was hung up fails every call with EIO.
    const bool hungUp = err == 0 || err == EIO;
    const int number = hungUp ? EIO : err;
    return {number,
            QStringLiteral("The connection to the printer was lost (error %1: %2). Check the "
                           "cable or USB adapter and that the printer is switched on.")
                .arg(number)
                .arg(QString::fromLocal8Bit(std::strerror(number))),
            hungUp ? QStringLiteral("the printer hung up")
                   : QStringLiteral("the line failed: %1").arg(QString::fromLocal8Bit(std::strerror(number)))};
}

void TermiosPort::clearInBuffer() {
    discardInput();
    if (fd() >= 0) ::tcflush(fd(), TCIFLUSH);
}

int TermiosPort::kernelQueue() const {
    int queued = 0;
    if (fd() < 0 || ::ioctl(fd(), TIOCOUTQ, &queued) != 0) return 0;
    return std::max(queued, 0);
}

bool TermiosPort::lineEmpty() const {
    int lsr = 0;
    // Not every driver can tell (USB adapters, pseudo-terminals): then the
    // driver's empty queue has to do.
    if (::ioctl(fd(), TIOCSERGETLSR, &lsr) != 0) return true;
    return (lsr & TIOCSER_TEMT) != 0;
}

bool TermiosPort::modemLine(int bit) {
    if (fd() < 0) return false;
    int lines = 0;
    // A device without modem lines (a pseudo-terminal, a three-wire cable
    // adapter) cannot say: treat the printer as ready.
    if (::ioctl(fd(), TIOCMGET, &lines) != 0) return true;
    return (lines & bit) != 0;
}


}  // namespace rastiv
