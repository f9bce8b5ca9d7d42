#include "core/printerfiles.hpp"

#include "link/commands.hpp"
#include "link/commandtable.hpp"
#include "link/regularfile.hpp"

#include <QFile>

namespace rastiv {

namespace {
constexpr qsizetype kLogoHeader = 5;
}  // namespace

QString logoFileProblem(const QByteArray& bytes) {
    if (bytes.isEmpty()) return QStringLiteral("it is empty");
    if (!bytes.startsWith(cmd::kLogoDefinition))
        return QStringLiteral("it does not start with a logo definition (1D 84)");
    if (bytes.size() < kLogoHeader)
        return QStringLiteral("it ends inside its 5-byte header, after %1 bytes").arg(bytes.size());
    const int kind = uint8_t(bytes[2]), x = uint8_t(bytes[3]), y = uint8_t(bytes[4]);
    if (kind != 1 && kind != 2)
        return QStringLiteral("its kind is %1, where a logo is 1 (monochrome) or 2 (two-colour)").arg(kind);
    if (x == 0 || y == 0) return QStringLiteral("its width (X %1) or height (Y %2) is 0").arg(x).arg(y);
    const qsizetype needed = commandLength(commandInfo(Cmd::LogoDefinition), bytes);
    if (bytes.size() != needed)
        return QStringLiteral("it holds %1 bytes, but its header (kind %2, X %3, Y %4) calls for %5")
            .arg(bytes.size())
            .arg(kind)
            .arg(x)
            .arg(y)
            .arg(needed);
    return {};
}

QString graphicsFileProblem(const QByteArray& bytes) {
    if (bytes.isEmpty()) return QStringLiteral("it is empty");
    qsizetype at = 0;
    while (at < bytes.size()) {
        bool more = false;
        const CommandInfo* line = findCommand(QByteArrayView(bytes).sliced(at), more);
        if (!line || (line->id != Cmd::RasterLine && line->id != Cmd::TwoColourRasterLine))
            return QStringLiteral("at byte %1 it does not go on with a raster line (1D 82 or 1D 83)").arg(at);
        const qsizetype record = commandLength(*line, QByteArrayView(bytes).sliced(at));
        // Subtracting only what is known to be there: at < size here.
        if (bytes.size() - at < record)
            return QStringLiteral("its last raster line is cut short: %1 of %2 bytes")
                .arg(bytes.size() - at)
                .arg(record);
        at += record;
    }
    return {};
}

bool looksLikeBitmap(const QString& path) {
    if (!notRegularFileProblem(path).isEmpty()) return false;
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(2) == "BM";
}

}  // namespace rastiv
