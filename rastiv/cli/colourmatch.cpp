#include "cli/colourmatch.hpp"

#include <QList>
#include <QSet>
#include <algorithm>

namespace rastiv::cli {

QString hexOf(uint32_t colour) {
    const Rgb c = rgbOf(colour);
    return QStringLiteral("%1%2%3")
        .arg(c.r, 2, 16, QLatin1Char('0'))
        .arg(c.g, 2, 16, QLatin1Char('0'))
        .arg(c.b, 2, 16, QLatin1Char('0'))
        .toUpper();
}

std::optional<uint32_t> colourOfHex(QStringView hex) {
    // Six hex digits and nothing else (toUInt alone would take a sign or "0x").
    const auto hexDigit = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), hexDigit)) return std::nullopt;
    const uint rgb = hex.toUInt(nullptr, 16);
    return colourValue({int(rgb >> 16), int(rgb >> 8), int(rgb)});
}

bool parseMapFile(const QByteArray& text, std::vector<MapLine>& lines, QString& problem) {
    lines.clear();
    QSet<uint32_t> seen;
    const QList<QByteArray> rows = text.split('\n');
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QByteArray row = rows[i];
        if (const qsizetype hash = row.indexOf('#'); hash >= 0) row.truncate(hash);
        const QList<QByteArray> fields = row.simplified().split(' ');
        if (fields.size() == 1 && fields[0].isEmpty()) continue;
        const QString where = QStringLiteral("line %1").arg(i + 1);
        if (fields.size() != 2) {
            problem = where + QStringLiteral(" is not a colour and a code (RRGGBB 1..11)");
            return false;
        }
        const std::optional<uint32_t> colour = colourOfHex(QString::fromLatin1(fields[0]));
        if (!colour) {
            problem = where + QStringLiteral(": \"%1\" is not a colour of six hexadecimal digits (RRGGBB)")
                                  .arg(QString::fromLatin1(fields[0]));
            return false;
        }
        bool ok = false;
        const int code = fields[1].toInt(&ok);
        if (!ok || code < 1 || code > int(kPrinterColours.size())) {
            problem = where + QStringLiteral(": \"%1\" is not a printer rendering code from 1 to 11")
                                  .arg(QString::fromLatin1(fields[1]));
            return false;
        }
        if (seen.contains(*colour)) {
            problem = where + QStringLiteral(": the colour %1 was given a code before").arg(hexOf(*colour));
            return false;
        }
        seen.insert(*colour);
        lines.push_back({*colour, code});
    }
    return true;
}

QString mapFileLine(const ImageColour& c, int32_t code) {
    const QString share = c.percent == 0 ? QStringLiteral("<1%") : QStringLiteral("%1%").arg(c.percent);
    const QString name =
        code >= 1 && code <= int32_t(kPrinterColours.size())
            ? QString::fromLatin1(kPrinterColours[size_t(code - 1)].tooltip).trimmed()
            : QStringLiteral("?");
    return QStringLiteral("%1 %2  # %3 of the picture: %4").arg(hexOf(c.colour)).arg(code, 2).arg(share, name);
}

}  // namespace rastiv::cli
