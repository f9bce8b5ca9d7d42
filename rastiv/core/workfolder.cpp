#include "core/workfolder.hpp"

#include <QByteArray>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rastiv {

namespace {

const char kPrefix[] = "rastiv-";
const char kLockName[] = "instance.lock";
// The first line of every lock we write, before the process number.  Only a
// folder whose lock starts so is ever ours to remove: a user's own
// "rastiv-something" folder, with or without a file of that name, is not.
const char kMark[] = "rastiv-workfolder 1 ";

QByteArray native(const QString& s) { return QFile::encodeName(s); }

// Whether the lock open at fd carries our mark.
bool markedAsOurs(int fd) {
    const qsizetype want = qsizetype(sizeof kMark - 1);
    QByteArray head(want, '\0');
    const ssize_t got = ::pread(fd, head.data(), size_t(want), 0);
    return got == want && head == kMark;
}

}  // namespace

QStringList WorkFolder::defaultBases() {
    QStringList bases;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!data.isEmpty()) bases << data;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) bases << runtime;
    bases << QDir::tempPath();
    return bases;
}

WorkFolder::WorkFolder(const QStringList& bases, const QString& prefix) {
    for (const QString& base : bases) sweep(base);
    for (const QString& base : bases) {
        // Only the first, per-user folder is ours to create; the others are
        // the system's and must exist already.
        if (base == bases.constFirst()) QDir().mkpath(base);
        if (makeIn(base, prefix)) return;
    }
    problem_ = QStringLiteral("No private working folder could be made in %1: %2.")
                   .arg(bases.join(QStringLiteral(", ")), problem_);
}

bool WorkFolder::makeIn(const QString& base, const QString& prefix) {
    QByteArray name = native(base + QStringLiteral("/") + prefix + QStringLiteral("XXXXXX"));
    if (!::mkdtemp(name.data())) {
        problem_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const QString dir = QFile::decodeName(name);
    const int fd = ::open(native(dir + QStringLiteral("/") + QLatin1String(kLockName)).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    // Blocking: a sweeping instance may hold the new lock for a moment, and
    // lets go of it when it sees the lock still empty.
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        problem_ = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0) ::close(fd);
        QDir(dir).removeRecursively();
        return false;
    }
    const QByteArray pid = kMark + QByteArray::number(qint64(::getpid())) + '\n';
    if (::write(fd, pid.constData(), size_t(pid.size())) != pid.size()) {
        problem_ = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        QDir(dir).removeRecursively();
        return false;
    }
    lockFd_ = fd;
    path_ = dir;
    return true;
}

WorkFolder::~WorkFolder() {
    if (!ok()) return;
    // Removed while still locked, so that no other instance sweeps it meanwhile.
    QDir(path_).removeRecursively();
    ::close(lockFd_);
}

int WorkFolder::sweep(const QString& base) {
    int removed = 0;
    const QStringList names =
        QDir(base).entryList({QLatin1String(kPrefix) + QStringLiteral("*")},
                             QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QString dir = base + QStringLiteral("/") + name;
        struct stat st {};
        // Another user's folder in a shared base is never ours to judge.
        if (::lstat(native(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
        // Without our lock, or with a lock that is not a plain file of ours
        // carrying our mark, the folder is not provably ours: it stays, even
        // if that leaves the rare folder of an instance that died before it
        // wrote its lock.  An empty lock is one still being written.
        const QString lock = dir + QStringLiteral("/") + QLatin1String(kLockName);
        const int fd = ::open(native(lock).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat lst {};
        if (::fstat(fd, &lst) == 0 && S_ISREG(lst.st_mode) && lst.st_uid == ::getuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && markedAsOurs(fd) && QDir(dir).removeRecursively())
            ++removed;
        ::close(fd);
    }
    return removed;
}

int WorkFolder::removeAbandonedOutputs(const QString& folder) {
    static const QRegularExpression kTemp(QStringLiteral("^\\..+\\.pixmill-([0-9]+)-[A-Za-z0-9]{6}$"));
    int removed = 0;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        const QRegularExpressionMatch m = kTemp.match(name);
        const pid_t pid = m.hasMatch() ? pid_t(m.captured(1).toLongLong()) : 0;
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        const QByteArray path = native(folder + u'/' + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

}  // namespace rastiv
