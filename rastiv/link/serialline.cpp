#include "link/serialline.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/termiosport.hpp"

namespace rastiv {

std::optional<PortSettings> parseSerialUri(const QString& uri, const char* scheme, QString& problem) {
    const QString prefix = QString::fromLatin1(scheme) + u':';
    if (!uri.startsWith(prefix)) {
        problem = QStringLiteral("The device URI \"%1\" is not a %2: URI.").arg(uri, QLatin1String(scheme));
        return std::nullopt;
    }
    QString rest = uri.mid(prefix.size());
    while (rest.startsWith(QLatin1String("//"))) rest.remove(0, 1);
    const qsizetype question = rest.indexOf(u'?');
    PortSettings line;
    line.device = QUrl::fromPercentEncoding(rest.left(question).toUtf8());
    line.baud = 115200;
    if (!line.device.startsWith(u'/')) {
        problem = QStringLiteral("The device URI \"%1\" names no device path (%2:/dev/ttyUSB0).")
                      .arg(uri, QLatin1String(scheme));
        return std::nullopt;
    }
    const QUrlQuery query(question < 0 ? QString() : rest.mid(question + 1));
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("baud")) {
            bool ok = false;
            line.baud = value.toInt(&ok);
            if (!ok) line.baud = 0;  // refused when opened, with the speeds the link knows
        } else if (key == QLatin1String("parity") && (value == QLatin1String("none") || value == QLatin1String("even") ||
                                                      value == QLatin1String("odd"))) {
            line.parity = value.at(0).toUpper().toLatin1();
        } else {
            problem = QStringLiteral("The device URI \"%1\" has an unknown setting \"%2=%3\" (baud=, parity=none, "
                                     "even or odd).")
                          .arg(uri, key, value);
            return std::nullopt;
        }
    }
    return line;
}

namespace {

// Linux's fixed character majors of serial lines: 8250 ports (4, from minor
// 64; below are the virtual consoles), USB serial adapters (188), USB modem
// class devices (166), the low-density serial ports of boards (204) and
// i.MX ports (207).
bool serialLine(unsigned major, unsigned minor) {
    return (major == 4 && minor >= 64) || major == 188 || major == 166 || major == 204 || major == 207;
}
// Unix98 pseudo-terminal slaves (136-143) and BSD ones (3).
bool pseudoTerminal(unsigned major) { return (major >= 136 && major <= 143) || major == 3; }

}  // namespace

// What the path names is looked at before it is opened (opening some
// devices, a watchdog, does something by itself), and the open descriptor is
// checked again: it is what the link opens, through /proc/self/fd, so the
// path cannot change between.
int openSerialLine(const QString& device, const char* who, int lowestFd, QString& problem, int& error) {
    const QByteArray path = device.toLocal8Bit();
    const auto refuse = [&](int err) {
        error = err;
        problem = describeOpenError(device, err).description;
        return -1;
    };
    struct stat named {};
    if (::stat(path.constData(), &named) != 0) return refuse(errno);
    const unsigned major = ::major(named.st_rdev), minor = ::minor(named.st_rdev);
    const bool pty = S_ISCHR(named.st_mode) && pseudoTerminal(major);
    const char* allowPty = std::getenv(kAllowPseudoTerminal);
    const bool ptyAllowed = pty && allowPty && std::strcmp(allowPty, "1") == 0;
    const QString sysfs = QStringLiteral("/sys/dev/char/%1:%2/device").arg(major).arg(minor);
    if (!S_ISCHR(named.st_mode) || !(ptyAllowed || (serialLine(major, minor) && QFileInfo::exists(sysfs)))) {
        problem = QStringLiteral("%1 is not a serial line (%2); %3 prints only to serial devices "
                                 "such as /dev/ttyUSB0, /dev/ttyACM0 or /dev/ttyS0.")
                      .arg(device,
                           !S_ISCHR(named.st_mode) ? QStringLiteral("not a character device")
                           : pty                   ? QStringLiteral("a pseudo-terminal")
                                                   : QStringLiteral("device %1:%2").arg(major).arg(minor),
                           QLatin1String(who));
        error = ENOTTY;
        return -1;
    }
    const int opening = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opening < 0) return refuse(errno);
    const int fd = ::fcntl(opening, F_DUPFD_CLOEXEC, lowestFd);
    const int dupError = errno;
    ::close(opening);
    if (fd < 0) return refuse(dupError);
    struct stat opened {};
    termios settings{};
    if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || opened.st_rdev != named.st_rdev ||
        ::tcgetattr(fd, &settings) != 0) {
        problem = QStringLiteral("%1 is not a serial line, or it changed while it was looked at.").arg(device);
        error = ENOTTY;
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace rastiv
