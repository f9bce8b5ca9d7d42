#include "imaging/printable.hpp"

#include <QImage>
#include <QImageReader>
#include <QSet>

namespace rastiv {

QString unprintableColoursAdvice(const QString& path, int32_t paperKind) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) return {};
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    const QRgb highlight = paperKind == 1 ? red : blue;
    const QRgb otherHighlight = paperKind == 1 ? blue : red;
    QSet<QRgb> unprintable;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000u;
            if (c != qRgb(0, 0, 0) && c != qRgb(255, 255, 255) && c != highlight) unprintable.insert(c);
        }
    if (unprintable.isEmpty()) return {};
    const QString paper = paperKind == 1 ? QStringLiteral("red") : QStringLiteral("blue");
    if (unprintable.size() == 1 && unprintable.contains(otherHighlight))
        return QStringLiteral("The picture uses %1 as its highlight colour, but the screen colour is set for %2 "
                              "paper.  Choose the matching colour under Color > Screen, or map the picture's colours "
                              "again with Modify Colors.")
            .arg(paperKind == 1 ? QStringLiteral("blue") : QStringLiteral("red"), paper);
    return QStringLiteral("The picture still has %1 colour%2 the printer cannot print.  The printer prints only "
                          "black, white and the highlight colour (%3 on this paper), solid or dithered.  Reduce the "
                          "picture's colours with Modify Colors first (step 3), then try again.")
        .arg(unprintable.size())
        .arg(unprintable.size() == 1 ? QString() : QStringLiteral("s"))
        .arg(paper);
}

}  // namespace rastiv
