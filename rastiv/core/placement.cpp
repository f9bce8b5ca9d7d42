#include "core/placement.hpp"

#include "core/pixmill.hpp"
#include "core/settings.hpp"

#include <QImage>
#include <QImageReader>
#include <QSaveFile>

namespace rastiv {

QString placementName(Placement p) {
    switch (p) {
        case Placement::Centre: return QStringLiteral("Centre");
        case Placement::Right: return QStringLiteral("Right");
        case Placement::Left: break;
    }
    return QStringLiteral("Left");
}

Placement placementFromName(const QString& name) {
    for (Placement p : {Placement::Centre, Placement::Right})
        if (name.compare(placementName(p), Qt::CaseInsensitive) == 0) return p;
    return Placement::Left;
}

Placement storedPlacement(const SettingsStore& settings) { return placementFromName(settings.read(Key::Placement)); }

void storePlacement(SettingsStore& settings, Placement p) { settings.write(Key::Placement, placementName(p)); }

int placementMargin(Placement p, int width, int lineDots) {
    if (width <= 0 || width >= lineDots) return 0;
    switch (p) {
        case Placement::Centre: return (lineDots - width) / 2;
        case Placement::Right: return lineDots - width;
        case Placement::Left: break;
    }
    return 0;
}

QString writeWithLeftMargin(const QString& bitmap, int margin, const QString& destination) {
    QImageReader reader(bitmap);
    reader.setDecideFormatFromContent(true);
    QImage in = reader.read();
    if (in.isNull()) return QStringLiteral("it cannot be read as a picture: %1").arg(reader.errorString());
    if (in.format() != QImage::Format_Indexed8) in = in.convertToFormat(QImage::Format_Indexed8);
    QList<QRgb> palette = in.colorTable();
    qsizetype white = palette.indexOf(qRgb(255, 255, 255));
    if (white < 0) {
        // A full palette without white cannot be printed on paper anyway.
        if (palette.size() >= 256) return QStringLiteral("its palette is full and holds no white");
        white = palette.size();
        palette.append(qRgb(255, 255, 255));
    }
    QImage out(in.width() + margin, in.height(), QImage::Format_Indexed8);
    if (out.isNull()) return QStringLiteral("there is not enough memory for it");
    out.setColorTable(palette);
    out.fill(uint(white));
    for (int y = 0; y < in.height(); ++y)
        std::copy_n(in.constScanLine(y), in.width(), out.scanLine(y) + margin);
    QSaveFile file(destination);
    if (!file.open(QIODevice::WriteOnly) || !out.save(&file, "BMP") || !file.commit())
        return QStringLiteral("%1 cannot be written").arg(destination);
    return {};
}

int32_t saveBMPAsPlacedGfx(PixmillBinding& pixmill, const QString& bitmap, const QString& destination,
                           int32_t paperKind, Placement p, const QString& scratch) {
    QImageReader size(bitmap);
    size.setDecideFormatFromContent(true);
    const int margin = placementMargin(p, size.size().width());
    if (margin == 0) return pixmill.SaveBMPAsGfx(bitmap, destination, paperKind);
    if (!writeWithLeftMargin(bitmap, margin, scratch).isEmpty()) return PIXMILL_E_OPEN;
    return pixmill.SaveBMPAsGfx(scratch, destination, paperKind);
}

}  // namespace rastiv
