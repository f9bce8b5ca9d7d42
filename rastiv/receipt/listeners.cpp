#include "receipt/listeners.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "link/clock.hpp"

namespace rastiv {

namespace {

QString errnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

// Writes all of it, waiting briefly on a full buffer: answers are a few bytes.
void writeAll(int fd, QByteArrayView bytes) {
    qsizetype at = 0;
    int stalls = 0;
    while (at < bytes.size() && stalls < 50) {
        const ssize_t n = ::write(fd, bytes.data() + at, size_t(bytes.size() - at));
        if (n > 0) {
            at += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 10);
        ++stalls;
    }
}

}  // namespace

PrinterListener::~PrinterListener() = default;

void PrinterListener::readClient() {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(clientFd_, buffer, sizeof buffer);
        if (n > 0) {
            if (received) received(QByteArrayView(buffer, n));
            if (clientFd_ < 0) return;  // the receiver stopped us
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // 0: the client closed its end; EIO: the terminal's last holder let go.
        dropClient(n == 0 || errno == EIO ? QStringLiteral("closed") : errnoText(errno));
        return;
    }
}

void PrinterListener::dropClient(const QString& why) {
    clientNotifier_.reset();
    clientGone();
    if (disconnected) disconnected(why);
}

// ---- TCP ----

bool parseListenAddress(const QString& text, QString& host, quint16& port, QString& problem) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) return problem = QStringLiteral("give HOST:PORT, for example 127.0.0.1:9100"), false;
    host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535) return problem = QStringLiteral("the port must be a number from 0 to 65535"), false;
    port = quint16(p);
    return true;
}

TcpPrinterListener::TcpPrinterListener() = default;
TcpPrinterListener::~TcpPrinterListener() { close(); }

bool TcpPrinterListener::listen(const QString& host, quint16 port, QString& problem) {
    close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (const int rc = ::getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found); rc != 0)
        return problem = QStringLiteral("%1 is not an address: %2").arg(host, QString::fromLocal8Bit(gai_strerror(rc))), false;
    int err = 0;
    for (addrinfo* a = found; a && listenFd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 8) == 0) {
            listenFd_ = fd;
        } else {
            err = errno;
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (listenFd_ < 0) return problem = QStringLiteral("cannot listen on %1:%2: %3").arg(host).arg(port).arg(errnoText(err)), false;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    char name[INET6_ADDRSTRLEN] = {};
    quint16 real = 0;
    if (bound.ss_family == AF_INET6) {
        const auto* s6 = reinterpret_cast<const sockaddr_in6*>(&bound);
        ::inet_ntop(AF_INET6, &s6->sin6_addr, name, sizeof name);
        real = ntohs(s6->sin6_port);
        address_ = QStringLiteral("[%1]:%2").arg(QString::fromLatin1(name)).arg(real);
    } else {
        const auto* s4 = reinterpret_cast<const sockaddr_in*>(&bound);
        ::inet_ntop(AF_INET, &s4->sin_addr, name, sizeof name);
        real = ntohs(s4->sin_port);
        address_ = QStringLiteral("%1:%2").arg(QString::fromLatin1(name)).arg(real);
    }
    acceptNotifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
    connect(acceptNotifier_.get(), &QSocketNotifier::activated, this, [this] { accept(); });
    return true;
}

QString TcpPrinterListener::address() const { return address_; }

void TcpPrinterListener::accept() {
    if (clientFd_ >= 0) return;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    clientFd_ = fd;
    // The next client waits in the backlog until this one has gone.
    acceptNotifier_->setEnabled(false);
    char host[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    const QString name = peer.ss_family == AF_INET6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2");
    clientNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(clientNotifier_.get(), &QSocketNotifier::activated, this, [this] { readClient(); });
    if (connected) connected(name.arg(QString::fromLatin1(host), QString::fromLatin1(service)));
}

void TcpPrinterListener::send(QByteArrayView bytes) {
    if (clientFd_ >= 0) writeAll(clientFd_, bytes);
}

void TcpPrinterListener::clientGone() {
    ::close(clientFd_);
    clientFd_ = -1;
    if (acceptNotifier_) acceptNotifier_->setEnabled(true);
}

void TcpPrinterListener::close() {
    if (clientFd_ >= 0) dropClient(QStringLiteral("the listener stopped"));
    acceptNotifier_.reset();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
}

// ---- Pseudo-terminal ----

PtyPrinterListener::PtyPrinterListener(Clock& clock) : watch_(clock.createTimer()) {
    watch_->setInterval(100);
    watch_->onTimer = [this] { watch(); };
}

PtyPrinterListener::~PtyPrinterListener() { close(); }

bool PtyPrinterListener::open(const QString& linkPath, QString& problem) {
    close();
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        problem = QStringLiteral("no pseudo-terminal: %1").arg(errnoText(errno));
        if (fd >= 0) ::close(fd);
        return false;
    }
    masterFd_ = fd;
    path_ = QString::fromLocal8Bit(::ptsname(fd));
    // Raw both ways, set on the terminal side: a till's line feeds must
    // reach the printer as 0A, not as CR LF.
    const int slave = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
    }
    if (!linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(linkPath);
        ::unlink(link.constData());
        if (::symlink(QFile::encodeName(path_).constData(), link.constData()) != 0) {
            problem = QStringLiteral("cannot make the link %1: %2").arg(linkPath, errnoText(errno));
            close();
            return false;
        }
        link_ = linkPath;
    }
    watch_->setEnabled(true);
    return true;
}

// While no client holds the terminal, its other side reports a hang-up:
// watch for the hang-up to go, and read what a client left behind.
void PtyPrinterListener::watch() {
    if (masterFd_ < 0 || clientFd_ >= 0) return;
    pollfd p{masterFd_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) return;
    if (p.revents & POLLHUP) {
        // Nobody holds it; a client that came and went may have left bytes.
        char buffer[65536];
        const ssize_t n = (p.revents & POLLIN) ? ::read(masterFd_, buffer, sizeof buffer) : -1;
        if (n <= 0) return;
        clientFd_ = masterFd_;
        if (connected) connected(path_);
        if (received) received(QByteArrayView(buffer, n));
        if (clientFd_ >= 0) readClient();
        return;
    }
    watch_->setEnabled(false);
    clientFd_ = masterFd_;
    if (connected) connected(path_);
    clientNotifier_ = std::make_unique<QSocketNotifier>(clientFd_, QSocketNotifier::Read);
    connect(clientNotifier_.get(), &QSocketNotifier::activated, this, [this] { readClient(); });
    if (p.revents & POLLIN) readClient();
}

void PtyPrinterListener::send(QByteArrayView bytes) {
    if (clientFd_ >= 0) writeAll(clientFd_, bytes);
}

void PtyPrinterListener::clientGone() {
    clientFd_ = -1;  // the master stays ours
    if (masterFd_ >= 0) watch_->setEnabled(true);
}

void PtyPrinterListener::close() {
    if (clientFd_ >= 0) dropClient(QStringLiteral("the listener stopped"));
    watch_->setEnabled(false);
    if (masterFd_ >= 0) ::close(masterFd_);
    masterFd_ = -1;
    if (!link_.isEmpty()) ::unlink(QFile::encodeName(link_).constData());
    link_.clear();
}

}  // namespace rastiv
