#include "cli/interrupts.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <atomic>

namespace rastiv::cli {

namespace {

std::atomic<int> gReceived{0};
std::atomic<int> gWakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void caught(int signo) {
    const int saved = errno;
    int none = 0;
    gReceived.compare_exchange_strong(none, signo);
    const char byte = char(signo);
    if (const int fd = gWakeFd.load(); fd >= 0) (void)!::write(fd, &byte, 1);
    errno = saved;
}

constexpr int kCaught[] = {SIGINT, SIGTERM};

}  // namespace

struct Interrupts::Saved {
    struct sigaction old[2];
};

Interrupts::Interrupts(std::function<void(int)> taken) : taken_(std::move(taken)), saved_(new Saved) {
    gReceived = 0;
    if (::pipe2(pipe_, O_CLOEXEC) != 0) pipe_[0] = pipe_[1] = -1;
    gWakeFd = pipe_[1];
    struct sigaction a {};
    a.sa_handler = caught;
    sigemptyset(&a.sa_mask);
    // Restarted: the workers' reads and writes on the line go on as if
    // nothing had happened; they look at received() between pieces.
    a.sa_flags = SA_RESTART;
    for (size_t i = 0; i < 2; ++i) ::sigaction(kCaught[i], &a, &saved_->old[i]);
    if (pipe_[0] < 0) return;
    watcher_ = std::thread([this] {
        char byte = 0;
        ssize_t n;
        do n = ::read(pipe_[0], &byte, 1);
        while (n < 0 && errno == EINTR);
        // A zero byte is the destructor's: the command ended by itself.
        if (n == 1 && byte != 0 && taken_) taken_(int(byte));
    });
}

Interrupts::~Interrupts() {
    for (size_t i = 0; i < 2; ++i) ::sigaction(kCaught[i], &saved_->old[i], nullptr);
    gWakeFd = -1;
    if (watcher_.joinable()) {
        const char zero = 0;
        (void)!::write(pipe_[1], &zero, 1);
        watcher_.join();
    }
    for (const int fd : pipe_)
        if (fd >= 0) ::close(fd);
    delete saved_;
}

int Interrupts::received() { return gReceived.load(); }

QString Interrupts::name(int signo) {
    switch (signo) {
        case SIGINT: return QStringLiteral("SIGINT");
        case SIGTERM: return QStringLiteral("SIGTERM");
        default: return QStringLiteral("signal %1").arg(signo);
    }
}

void removeOwnPartialOutput(const QString& destination) {
    // The library's name for it: ".NAME.pixmill-PID-XXXXXX" in the same folder.
    const QFileInfo target(destination);
    const QByteArray prefix =
        '.' + QFile::encodeName(target.fileName()).left(200) + ".pixmill-" + QByteArray::number(::getpid()) + '-';
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    DIR* d = ::opendir(folder.constData());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray entry(e->d_name);
        if (entry.startsWith(prefix) && entry.size() == prefix.size() + 6)
            ::unlink((folder + '/' + entry).constData());
    }
    ::closedir(d);
}

}  // namespace rastiv::cli
