#include "receipt/listeners.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
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

// What one read hands over, and how many reads run before the event loop
// does again: a client that sends without pause must not keep SIGTERM, the
// idle timers or the other listener waiting.
constexpr size_t kReadPiece = 16 * 1024;
constexpr int kReadsInTurn = 16;
// Past this the client has taken none of a great many answers while we were
// still reading what it sent in one turn: it is not a till.
constexpr qsizetype kAnswerLimit = 16 * PrinterListener::kAnswerBacklog;

}  // namespace

PrinterListener::~PrinterListener() = default;

void PrinterListener::setIdleTimeout(Clock& clock, int seconds) {
    idleSeconds_ = seconds;
    idle_ = clock.createTimer();
    idle_->setInterval(seconds * 1000);
    idle_->onTimer = [this] {
        idle_->setEnabled(false);
        if (clientFd_ < 0) return;
        idleDrop_ = true;
        dropClient(QStringLiteral("idle for %1 s").arg(idleSeconds_));
        idleDrop_ = false;
    };
}

void PrinterListener::touched() {
    if (idle_ && idleSeconds_ > 0) idle_->setEnabled(true);  // starts the count again
}

void PrinterListener::startClient(int fd, bool isSocket, const QString& name) {
    clientFd_ = fd;
    isSocket_ = isSocket;
    pending_.clear();
    broken_.clear();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { readClient(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        flush();
        dropIfBroken();
        updateNotifiers();
    });
    touched();
    if (connected) connected(name);
}

void PrinterListener::readClient() {
    char buffer[kReadPiece];
    for (int turn = 0; turn < kReadsInTurn && clientFd_ >= 0 && pending_.size() < kAnswerBacklog; ++turn) {
        const ssize_t n = ::read(clientFd_, buffer, sizeof buffer);
        if (n > 0) {
            touched();
            if (received) received(QByteArrayView(buffer, n));
            dropIfBroken();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        // 0: the client closed its end; EIO: the terminal's last holder let go.
        dropClient(n == 0 || errno == EIO ? QStringLiteral("closed") : errnoText(errno));
        return;
    }
    updateNotifiers();
}

void PrinterListener::send(QByteArrayView bytes) {
    if (clientFd_ < 0 || !broken_.isEmpty()) return;
    if (pending_.size() + bytes.size() > kAnswerLimit) {
        broken_ = QStringLiteral("the client takes none of its answers");
        pending_.clear();
        return;
    }
    pending_.append(bytes);
    flush();
}

// As much as the client takes now; the rest when the socket has room.
void PrinterListener::flush() {
    while (clientFd_ >= 0 && !pending_.isEmpty() && broken_.isEmpty()) {
        // MSG_NOSIGNAL: a client gone makes EPIPE here, never SIGPIPE.
        const ssize_t n = isSocket_ ? ::send(clientFd_, pending_.constData(), size_t(pending_.size()), MSG_NOSIGNAL)
                                    : ::write(clientFd_, pending_.constData(), size_t(pending_.size()));
        if (n > 0) {
            pending_.remove(0, n);
            touched();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        broken_ = n < 0 ? errnoText(errno) : QStringLiteral("nothing written");
        pending_.clear();
    }
}

void PrinterListener::dropIfBroken() {
    if (clientFd_ >= 0 && !broken_.isEmpty())
        dropClient(QStringLiteral("an answer could not be sent: %1").arg(broken_));
}

// Reading stops while the answers pile up, and goes on as the client takes them.
void PrinterListener::updateNotifiers() {
    if (clientFd_ < 0) return;
    if (readNotifier_) readNotifier_->setEnabled(pending_.size() < kAnswerBacklog);
    if (writeNotifier_) writeNotifier_->setEnabled(!pending_.isEmpty());
}

void PrinterListener::dropClient(const QString& why) {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (idle_) idle_->setEnabled(false);
    pending_.clear();
    broken_.clear();
    clientGone();
    if (disconnected) disconnected(why);
    // Later, from the event loop: the caller may be in the middle of this one.
    QMetaObject::invokeMethod(this, [this] { serveNext(); }, Qt::QueuedConnection);
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
        // A burst of tills all connect at once: the kernel's longest queue,
        // which it trims to its own limit.
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
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

// Every client that has come is taken at once and waits here in order: one
// left in the kernel's queue may be refused or reset when it fills.
void TcpPrinterListener::accept() {
    while (waiting_.size() < kWaitingClients) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) break;
        // The answers are a few bytes each: a kernel buffer of megabytes for
        // them would only let a client that never reads make us work longer.
        const int answerBuffer = int(kAnswerBacklog);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &answerBuffer, sizeof answerBuffer);
        char host[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
        ::getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV);
        const QString name = peer.ss_family == AF_INET6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2");
        waiting_.push_back({fd, name.arg(QString::fromLatin1(host), QString::fromLatin1(service))});
    }
    // Full: the rest wait in the kernel's queue until one is served.
    if (waiting_.size() >= kWaitingClients) acceptNotifier_->setEnabled(false);
    serveNext();
}

void TcpPrinterListener::serveNext() {
    if (clientFd_ >= 0 || waiting_.empty() || (mayServe && !mayServe())) return;
    const Waiting next = waiting_.front();
    waiting_.pop_front();
    if (acceptNotifier_) acceptNotifier_->setEnabled(true);
    startClient(next.fd, true, next.name);
}

void TcpPrinterListener::clientGone() {
    ::close(clientFd_);
    clientFd_ = -1;
}

void TcpPrinterListener::close() {
    if (clientFd_ >= 0) dropClient(QStringLiteral("the listener stopped"));
    for (const Waiting& w : waiting_) ::close(w.fd);
    waiting_.clear();
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
    if (!linkPath.isEmpty() && !makeLink(linkPath, problem)) {
        close();
        return false;
    }
    watch_->setEnabled(true);
    return true;
}

namespace {

// Where the symbolic link `path` leads, or empty when it is not one.
QByteArray linkTarget(const QByteArray& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
    return n > 0 && size_t(n) < sizeof target ? QByteArray(target, n) : QByteArray();
}

}  // namespace

// Only a link into /dev/pts/ is taken for one an earlier run left: a file,
// a folder or a link to anything else at that path is someone's, and stays.
// The new link takes the old one's place in one rename, so that a till
// never finds the name missing.
bool PtyPrinterListener::makeLink(const QString& linkPath, QString& problem) {
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat st {};
    if (::lstat(link.constData(), &st) == 0 && !(S_ISLNK(st.st_mode) && linkTarget(link).startsWith("/dev/pts/")))
        return problem = QStringLiteral("%1 exists and is not a link to a pseudo-terminal; "
                                        "give a path that names nothing yet").arg(linkPath), false;
    const QByteArray made = link + ".new" + QByteArray::number(::getpid());
    ::unlink(made.constData());
    if (::symlink(QFile::encodeName(path_).constData(), made.constData()) != 0 ||
        ::rename(made.constData(), link.constData()) != 0) {
        problem = QStringLiteral("cannot make the link %1: %2").arg(linkPath, errnoText(errno));
        ::unlink(made.constData());
        return false;
    }
    link_ = linkPath;
    return true;
}

// While no client holds the terminal, its other side reports a hang-up:
// watch for the hang-up to go, and read what a client left behind.
void PtyPrinterListener::watch() {
    if (masterFd_ < 0 || clientFd_ >= 0 || (mayServe && !mayServe())) return;
    pollfd p{masterFd_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) return;
    if (p.revents & POLLHUP) {
        waitForBytes_ = false;  // whoever held it has let go
        // Nobody holds it; a client that came and went may have left bytes.
        char buffer[65536];
        const ssize_t n = (p.revents & POLLIN) ? ::read(masterFd_, buffer, sizeof buffer) : -1;
        if (n <= 0) return;
        watch_->setEnabled(false);
        startClient(masterFd_, false, path_);
        if (received && clientFd_ >= 0) received(QByteArrayView(buffer, n));
        if (clientFd_ >= 0) readClient();
        return;
    }
    // A holder dropped as idle is a new client only when it sends again.
    if (waitForBytes_ && !(p.revents & POLLIN)) return;
    waitForBytes_ = false;
    watch_->setEnabled(false);
    startClient(masterFd_, false, path_);
    if (clientFd_ >= 0 && (p.revents & POLLIN)) readClient();
}

void PtyPrinterListener::clientGone() {
    clientFd_ = -1;  // the master stays ours
    waitForBytes_ = idleDrop_;
    if (masterFd_ >= 0) watch_->setEnabled(true);
}

void PtyPrinterListener::close() {
    if (clientFd_ >= 0) dropClient(QStringLiteral("the listener stopped"));
    watch_->setEnabled(false);
    if (masterFd_ >= 0) ::close(masterFd_);
    masterFd_ = -1;
    // Someone may have put something else there meanwhile: that stays.
    if (!link_.isEmpty() && linkTarget(QFile::encodeName(link_)) == QFile::encodeName(path_))
        ::unlink(QFile::encodeName(link_).constData());
    link_.clear();
}

}  // namespace rastiv
