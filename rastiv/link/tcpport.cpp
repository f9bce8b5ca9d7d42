#include "link/tcpport.hpp"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "link/clock.hpp"

namespace rastiv {

namespace {

// How often an output is looked at until the server has acknowledged it all.
constexpr int kDrainCheckMs = 5;
// A server that has stopped acknowledging for this long is gone (powered
// off, cable pulled).  Long enough for a printer that holds XOFF while it
// writes its flash, which the server passes on by not taking our bytes.
constexpr unsigned kUserTimeoutMs = 60000;
// An idle connection is probed after this many seconds, so that a server
// that went away is noticed before the next send rather than during it.
constexpr int kKeepIdleS = 10, kKeepIntervalS = 5, kKeepCount = 3;

QString strerr(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

PortError connectError(const QString& where, int err, int timeoutMs) {
    QString text;
    switch (err) {
        case ECONNREFUSED:
            text = QStringLiteral("The device server %1 refused the connection. Check the address and the port "
                                  "number, and that the server takes raw TCP connections on that port.")
                       .arg(where);
            break;
        case ETIMEDOUT:
            text = QStringLiteral("The device server %1 did not accept the connection within %2 ms. Check the "
                                  "address, the network cable, and that the server is switched on.")
                       .arg(where)
                       .arg(timeoutMs);
            break;
        case ENETUNREACH:
        case EHOSTUNREACH:
            text = QStringLiteral("The device server %1 cannot be reached from this computer. Check the address "
                                  "and the network connection.")
                       .arg(where);
            break;
        default:
            text = QStringLiteral("The device server %1 could not be connected: %2.").arg(where, strerr(err));
    }
    return {err, text};
}

// Waits for a non-blocking connect to finish, until the deadline; the
// connection's own error, or ETIMEDOUT.
int finishConnect(int fd, std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    for (;;) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, int(std::min<long long>(left, INT_MAX)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ETIMEDOUT;
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
        return err;
    }
}

void tune(int fd) {
    const int on = 1;
    // Printer commands are short and each should leave at once.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
}

}  // namespace

bool isTcpDevice(const QString& device) { return device.startsWith(QLatin1String(kTcpScheme), Qt::CaseInsensitive); }

bool parseTcpAddress(const QString& device, TcpAddress& address, QString& problem) {
    if (!isTcpDevice(device)) {
        problem = QStringLiteral("\"%1\" does not start with %2").arg(device, QLatin1String(kTcpScheme));
        return false;
    }
    const QString rest = device.mid(qsizetype(std::strlen(kTcpScheme)));
    QString host, port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":")) {
            problem = QStringLiteral("\"%1\": an IPv6 address is written in brackets, then a colon and the port, "
                                     "as in tcp://[::1]:9100")
                          .arg(device);
            return false;
        }
        host = rest.mid(1, close - 1);
        port = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0) {
            problem = QStringLiteral("\"%1\" has no port number; write tcp://HOST:PORT").arg(device);
            return false;
        }
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(u':')) {
            problem = QStringLiteral("\"%1\": put an IPv6 address in brackets, as in tcp://[::1]:9100").arg(device);
            return false;
        }
    }
    if (host.isEmpty() || host.contains(u'/') || host.contains(u' ')) {
        problem = QStringLiteral("\"%1\" has no usable host name").arg(device);
        return false;
    }
    bool ok = false;
    const uint n = port.toUInt(&ok);
    // toUInt takes a leading "+" and blanks; a port is digits only.
    const bool digits = !port.isEmpty() && std::all_of(port.begin(), port.end(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digits || n < 1 || n > 65535) {
        problem = QStringLiteral("\"%1\": the port must be a number from 1 to 65535").arg(device);
        return false;
    }
    address = {host, quint16(n)};
    return true;
}

TcpPort::TcpPort(Clock& clock) : FdPort(clock) { setRecheckMs(kDrainCheckMs); }

TcpPort::~TcpPort() { close(); }

bool TcpPort::open(const PortSettings& settings, PortError& error) {
    close();
    TcpAddress address;
    QString problem;
    if (!parseTcpAddress(settings.device, address, problem)) {
        error = {EINVAL, QStringLiteral("The device server address is not usable: %1.").arg(problem)};
        return false;
    }
    const QString where = QStringLiteral("%1 port %2").arg(address.host).arg(address.port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(address.port);
    if (const int r = ::getaddrinfo(address.host.toUtf8().constData(), service.constData(), &hints, &found); r != 0) {
        error = {ENXIO, QStringLiteral("The device server %1 could not be found: %2.")
                            .arg(address.host, QString::fromLocal8Bit(::gai_strerror(r)))};
        return false;
    }
    // Every address the name has (IPv6 and IPv4) within the one timeout.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs_);
    int fd = -1, lastError = ETIMEDOUT;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        int err = ::connect(s, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (err == EINPROGRESS) err = finishConnect(s, deadline);
        if (err == 0) {
            fd = s;
        } else {
            lastError = err;
            ::close(s);
            if (err == ETIMEDOUT) break;  // the time is used up for the other addresses too
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        error = connectError(where, lastError, connectTimeoutMs_);
        return false;
    }
    tune(fd);
    device_ = settings.device;
    adopt(fd);
    return true;
}

// MSG_NOSIGNAL: a connection the server has closed is an error returned
// here, not a SIGPIPE that ends the program.
ssize_t TcpPort::writeSome(const char* data, size_t size) {
    return ::send(fd(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

ssize_t TcpPort::readSome(char* data, size_t size) { return ::recv(fd(), data, size, MSG_DONTWAIT); }

PortError TcpPort::lostError(int err) const {
    const QString advice = QStringLiteral(" Check the network cable, and that the device server and the printer are "
                                          "switched on.");
    if (err == 0)
        return {0,
                QStringLiteral("The printer's device server %1 closed the connection.").arg(device_) + advice,
                QStringLiteral("the printer hung up")};
    QString cause;
    if (err == ECONNRESET || err == EPIPE)
        cause = QStringLiteral("connection reset by the printer");
    else if (err == ETIMEDOUT)
        cause = QStringLiteral("the printer stopped answering");
    else
        cause = QStringLiteral("connection lost: %1").arg(strerr(err));
    return {err,
            QStringLiteral("The connection to the printer's device server %1 was lost (error %2: %3).")
                    .arg(device_)
                    .arg(err)
                    .arg(strerr(err)) +
                advice,
            cause};
}

void TcpPort::clearInBuffer() {
    // What has arrived by now is discarded, as a serial line's input flush does.
    if (fd() >= 0) readAvailable();
    discardInput();
}

int TcpPort::kernelQueue() const {
    int queued = 0;
    // SIOCOUTQNSD: bytes the kernel has not yet sent.  Not SIOCOUTQ, which
    // also counts bytes sent and not yet acknowledged: servers delay their
    // acknowledgements (40 to 200 ms), and the sending code waits for an
    // empty queue before each 50-byte piece, so a logo would crawl.  A
    // printer that holds XOFF still shows here: the server stops taking
    // bytes, its window closes, and ours stay unsent.
    if (fd() < 0 || ::ioctl(fd(), SIOCOUTQNSD, &queued) != 0) return 0;
    return std::max(queued, 0);
}

int TcpPort::unconfirmedQueue() const {
    int queued = 0;
    // SIOCOUTQ: sent and not yet acknowledged, and not yet sent.
    if (fd() < 0 || ::ioctl(fd(), SIOCOUTQ, &queued) != 0) return 0;
    return std::max(queued, 0);
}

}  // namespace rastiv
