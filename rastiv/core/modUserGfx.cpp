#include "core/modUserGfx.hpp"

#include <QFile>

namespace rastiv {

HeaderSize readHeaderSize(const QString& path) {
    HeaderSize r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        const bool missing = !f.exists();
        r.errorNumber = missing ? kErrFileNotFound : kErrFileAccess;
        r.description = missing ? QStringLiteral("File not found") : QStringLiteral("Path/File access error");
        return r;
    }
    const QByteArray b = f.read(26);
    if (b.size() < 26) {
        r.errorNumber = kErrInputPastEnd;
        r.description = QStringLiteral("Input past end of file");
        return r;
    }
    auto le32 = [&](int at) {
        return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
               uint32_t(uint8_t(b[at + 3])) << 24;
    };
    r.ok = true;
    r.width = le32(18);
    r.height = le32(22);
    return r;
}

}  // namespace rastiv
