#include "link/serialdevices.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

namespace rastiv {

namespace {

// A /dev/ttyS node exists for every possible 8250 port; only those with a
// UART behind them are worth offering.
bool hasHardware(const QString& path) {
    int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EBUSY;  // there, but not ours to probe
    serial_struct info{};
    bool real = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

}  // namespace

QStringList presentSerialDevices() {
    QStringList found;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& f : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        found << f.absoluteFilePath();
    const QDir dev(QStringLiteral("/dev"));
    for (const char* pattern : {"ttyUSB*", "ttyACM*", "ttyS*"}) {
        QStringList names = dev.entryList({QString::fromLatin1(pattern)}, QDir::System, QDir::Name);
        // ttyS10 after ttyS9.
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (const QString& n : names) {
            const QString path = dev.filePath(n);
            if (n.startsWith(QLatin1String("ttyS")) && !hasHardware(path)) continue;
            found << path;
        }
    }
    return found;
}

}  // namespace rastiv
