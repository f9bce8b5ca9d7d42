#include "core/printable.hpp"

#include "core/colourwork.hpp"
#include "core/picturepipeline.hpp"
#include "core/pixmill.hpp"

#include <QImage>
#include <QImageReader>
#include <QSet>
#include <algorithm>
#include <functional>
#include <pixmill/pixmill.h>

namespace rastiv {

namespace {

const QRgb kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255);

// Calls `use` once for every colour the pixels use; false when the picture
// cannot be read.
bool eachColourUsed(const QString& path, const std::function<void(QRgb)>& use) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) return false;
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) seen.insert(image.pixel(x, y) | 0xFF000000u);
    for (QRgb c : seen) use(c);
    return true;
}

}  // namespace

QString unprintableColoursAdvice(const QString& path, int32_t paperKind) {
    const bool red = paperKind == PIXMILL_PAPER_RED;
    const QRgb highlight = red ? kRed : kBlue;
    const QRgb otherHighlight = red ? kBlue : kRed;
    QSet<QRgb> unprintable;
    eachColourUsed(path, [&](QRgb c) {
        if (c != qRgb(0, 0, 0) && c != qRgb(255, 255, 255) && c != highlight) unprintable.insert(c);
    });
    if (unprintable.isEmpty()) return {};
    const QString paper = red ? QStringLiteral("red") : QStringLiteral("blue");
    if (unprintable.size() == 1 && unprintable.contains(otherHighlight)) {
        const QString other = red ? QStringLiteral("blue") : QStringLiteral("red");
        return QStringLiteral("The picture's highlight colour is %1, but the screen colour is set for %2 paper.  "
                              "Choose Color > Screen > %3 again to have the picture recoloured %2, or choose %4 "
                              "there for %1 paper.")
            .arg(other, paper, red ? QStringLiteral("Red") : QStringLiteral("Blue"),
                 red ? QStringLiteral("Blue") : QStringLiteral("Red"));
    }
    return QStringLiteral("The picture still has %1 colour%2 the printer cannot print.  Use Modify Colors (or "
                          "Photo) first.")
        .arg(unprintable.size())
        .arg(unprintable.size() == 1 ? QString() : QStringLiteral("s"));
}

HighlightUse highlightsUsed(const QString& path) {
    HighlightUse use;
    eachColourUsed(path, [&](QRgb c) {
        use.red = use.red || c == kRed;
        use.blue = use.blue || c == kBlue;
    });
    return use;
}

int32_t coloursUsed(PixmillBinding& pm, const QString& path) { return std::max(0, pm.NumColors(path, 0, 0)); }

PrintReadiness printReadiness(PixmillBinding& pm, const QString& path, uint32_t width, int32_t paperKind) {
    PrintReadiness r;
    r.tooWide = width > kMaxPrintWidth;
    r.colours = coloursUsed(pm, path);
    // Besides black and white, one colour at most, and that the highlight.
    const int32_t others = pm.NumColors(path, 1, 1);
    if (others == 1) {
        uint32_t colour = 0;
        int32_t percent = 0;
        const uint32_t highlight = paperKind == PIXMILL_PAPER_BLUE ? kBlueValue : kRedValue;
        r.coloursReady = pm.FindMajorColor(path, 1, 1, 1, colour, percent) != 0 || colour == highlight;
    } else {
        r.coloursReady = others <= 0;
    }
    return r;
}

}  // namespace rastiv
