#include "receipt/engineparts.hpp"

#include <zint.h>

namespace rastiv {

namespace engine {

// Planes of one size printed as one picture; each lives as long as the picture.
Picture overlaid(const std::vector<Plane>& planes) {
    Picture p;
    for (const Plane& plane : planes) {
        p.width = std::max(p.width, plane.width());
        p.height = std::max(p.height, plane.height());
    }
    p.fill = [&planes](int y, uint8_t* row, int width) {
        for (const Plane& plane : planes)
            if (y < plane.height()) plane.drawRow(y, row, std::min(width, plane.width()));
    };
    return p;
}

}  // namespace engine

void ReceiptEngine::Impl::columnImage(const Unit& u) {
    const int m = u.param(0), n = u.param(1) + u.param(2) * 256;
    const bool tall = m >= 32;
    // Single density doubles every dot sideways; eight-dot columns are
    // stretched to the height of the 24-dot ones.
    const Plane plane = Plane::columns(u.bytes.sliced(5), n, tall ? 3 : 1, ink(), m == 0 || m == 32 ? 2 : 1, tall ? 1 : 3);
    Bitmap b(plane.width(), 24);
    for (int y = 0; y < b.height && b.width > 0; ++y) plane.drawRow(y, &b.at(0, y), b.width);
    place(b);
}

void ReceiptEngine::Impl::rasterImage(const Unit& u) {
    const int m = u.param(0) & 3;
    const int x = u.param(1) + u.param(2) * 256, y = u.param(3) + u.param(4) * 256;
    printPicture(Plane::raster(u.bytes.sliced(u.command->prefixLength + 5), x, y, ink(), m & 1 ? 2 : 1, m & 2 ? 2 : 1),
                 u.offset);
}

// GS ( L and GS 8 L: `body` starts at m.
void ReceiptEngine::Impl::graphics(QByteArrayView body, qint64 at) {
    if (body.size() < 2) return;
    const auto p = [&](qsizetype i) { return i < body.size() ? int(static_cast<uint8_t>(body[i])) : 0; };
    const int fn = p(1);
    switch (fn) {
        case 112: case 67: case 83: {  // store in the buffer / define NV / define download graphics
            const bool keyed = fn != 112;
            const qsizetype o = 3;  // bx, after m fn a
            if (p(2) != 48) return warn(at, QStringLiteral("multi-tone graphics are not drawn"));
            if (keyed) {
                // m fn a kc1 kc2 b xL xH yL yH: without its key there is nothing to store it under.
                if (body.size() < 10) return warn(at, QStringLiteral("graphics definition of %1 bytes is too short: not stored").arg(body.size()));
                const QByteArray key = QByteArray(1, 'L') + body.sliced(3, 2).toByteArray();
                if (fn == 67) {
                    if (!fitsFlash(mem.nvGraphics, key, body.size()))
                        return warn(at, QStringLiteral("the flash is full: NV graphics %1 are not stored").arg(QString::fromLatin1(key.mid(1))));
                    mem.nvGraphics[key] = body.toByteArray();
                    flashWritten();
                } else {
                    downloadGraphics[key] = body.toByteArray();
                }
                return;
            }
            const int bx = p(o), by = p(o + 1), c = p(o + 2);
            const int x = p(o + 3) + p(o + 4) * 256, y = p(o + 5) + p(o + 6) * 256;
            Plane plane = Plane::raster(body.sliced(std::min(body.size(), o + 7)), (x + 7) / 8, y,
                                        c == 49 ? kBlackDot : kHighlightDot, bx == 2 ? 2 : 1, by == 2 ? 2 : 1);
            if (plane.shortOfData()) warn(at, QStringLiteral("the picture's data ends before its declared size; the rest is not printed"));
            const auto sameSize = [&](const Plane& q) {
                return q.dotsWide * q.sx == plane.dotsWide * plane.sx && q.dotsHigh * q.sy == plane.dotsHigh * plane.sy;
            };
            // Planes of one size print over each other (black over the second colour); another size starts afresh.
            if (graphicsBuffer.empty() || !sameSize(graphicsBuffer.front())) graphicsBuffer.clear();
            if (graphicsBuffer.size() >= kMaxPlanes)
                return warn(at, QStringLiteral("more than %1 planes of graphics: this one is not stored").arg(kMaxPlanes));
            graphicsBuffer.push_back(std::move(plane));
            return;
        }
        case 50:  // print the buffer
            printPicture(overlaid(graphicsBuffer));
            graphicsBuffer.clear();
            return;
        case 69: case 85: {  // print NV / download graphics kc1 kc2 x y
            const QByteArray key = QByteArray(1, 'L') + body.sliced(2, std::min<qsizetype>(2, body.size() - 2)).toByteArray();
            const auto& store = fn == 69 ? mem.nvGraphics : downloadGraphics;
            const auto i = store.find(key);
            if (i == store.end()) return warn(at, QStringLiteral("graphics %1 are not defined").arg(QString::fromLatin1(key.mid(1))));
            printKeyed(i->second, p(4) == 2 ? 2 : 1, p(5) == 2 ? 2 : 1, at);
            return;
        }
        default: return;
    }
}

// A keyed definition: m fn a kc1 kc2 b xL xH yL yH, then b times c and the plane.
void ReceiptEngine::Impl::printKeyed(QByteArrayView def, int sx, int sy, qint64 at) {
    const auto p = [&](qsizetype i) { return i < def.size() ? int(static_cast<uint8_t>(def[i])) : 0; };
    const int x = p(6) + p(7) * 256, y = p(8) + p(9) * 256;
    const qsizetype planeBytes = qsizetype((x + 7) / 8) * y;
    std::vector<Plane> planes;
    bool shortOfData = false;
    for (qsizetype o = 10; planes.size() < size_t(std::min(p(5), kMaxPlanes)) && o < def.size(); o += 1 + planeBytes) {
        const QByteArrayView data = def.sliced(o + 1, std::min(planeBytes, def.size() - o - 1));
        planes.push_back(Plane::raster(data, (x + 7) / 8, y, p(o) == 49 ? kBlackDot : kHighlightDot, sx, sy));
        shortOfData = shortOfData || planes.back().shortOfData();
    }
    if (shortOfData) warn(at, QStringLiteral("the picture's data ends before its declared size; the rest is not printed"));
    printPicture(overlaid(planes));
}

void ReceiptEngine::Impl::barcode(const Unit& u) {
    const int m = u.param(0);
    const bool functionB = m >= 65;
    QByteArray data = u.bytes.sliced(3 + (functionB ? 1 : 0)).toByteArray();
    if (!functionB && data.endsWith('\0')) data.chop(1);
    const int symbology = barcodeSymbology(m);
    if (!symbology) return warn(u.offset, QStringLiteral("barcode type %1 is not known").arg(m));
    if (m == 73) {  // the code set selectors {A {B {C and {1 (FNC1): zint chooses the sets itself
        QByteArray plain;
        for (qsizetype i = 0; i < data.size(); ++i) {
            if (data[i] == '{' && i + 1 < data.size()) {
                if (data[i + 1] == '{') plain += '{';
                ++i;
                continue;
            }
            plain += data[i];
        }
        data = plain;
    }
    const Modules mods = encodeSymbol(symbology, data);
    if (!mods.error.isEmpty())
        return warn(u.offset, QStringLiteral("barcode %1 not printed: %2").arg(QString::fromLatin1(data), mods.error));
    const int module = std::clamp(barWidth, 1, 6);
    if (mods.width * module > areaRight() - areaLeft())
        return warn(u.offset, QStringLiteral("barcode wider than the print area not printed"));
    const int height = std::max(1, barHeight);
    Bitmap b(mods.width * module, height * mods.height);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (mods.at(x / module, y / height)) b.at(x, y) = ink();
    if (hriPosition & 1) hri(mods.text, b.width);
    printPicture(b);
    if (hriPosition & 2) hri(mods.text, b.width);
}

// The barcode's text, centred over its width, as a printed line of its own.
void ReceiptEngine::Impl::hri(const QString& text, int width) {
    const TextStyle keepStyle = style;
    const int keepAlign = align;
    const int barLeft = alignedLeft(width);
    style = {};
    style.fontB = hriFontB;
    align = 0;
    const int textWidth = int(text.size()) * (hriFontB ? 9 : 12);
    penX = std::max(0, barLeft - areaLeft() + (width - textWidth) / 2);
    for (char32_t ch : text.toUcs4()) character(ch);
    printLine(0, true);
    align = keepAlign;
    style = keepStyle;
}

void ReceiptEngine::Impl::twoDimensional(QByteArrayView body, qint64 at) {
    // cn fn and the function's parameters
    if (body.size() < 2) return;
    const auto p = [&](qsizetype i) { return i < body.size() ? int(static_cast<uint8_t>(body[i])) : 0; };
    const int cn = p(0), fn = p(1);
    const QByteArray stored = body.size() > 3 ? body.sliced(3).toByteArray() : QByteArray();
    switch (cn) {
        case 49:  // QR Code
            if (fn == 67) qrModule = std::clamp(p(2), 1, 16);
            if (fn == 69) qrLevel = std::clamp(p(2) - 47, 1, 4);
            if (fn == 80) qrData = stored;
            if (fn == 81) print2D(encodeSymbol(BARCODE_QRCODE, qrData, qrLevel), qrModule, qrModule, at);
            return;
        case 48:  // PDF417
            if (fn == 65) pdfColumns = std::min(p(2), 30);
            if (fn == 66) pdfRows = p(2) == 0 ? 0 : std::clamp(p(2), 3, 90);
            if (fn == 67) pdfModule = std::clamp(p(2), 1, 8);
            if (fn == 68) pdfRowHeight = std::clamp(p(2), 2, 8);
            if (fn == 69 && p(2) == 48) pdfLevel = std::clamp(p(3) - 48, 0, 8);
            if (fn == 70) pdfTruncated = p(2) == 1;
            if (fn == 80) pdfData = stored;
            if (fn == 81)
                print2D(encodeSymbol(pdfTruncated ? BARCODE_PDF417COMP : BARCODE_PDF417, pdfData, pdfLevel,
                                     pdfColumns, pdfRows),
                        pdfModule, pdfModule * pdfRowHeight, at);
            return;
        case 50:  // MaxiCode: about 28 mm across, whatever is asked
            if (fn == 65) maxiMode = std::clamp(p(2) - 48, 2, 6);
            if (fn == 80) maxiData = stored;
            if (fn == 81) {
                const Modules mods = encodeSymbol(BARCODE_MAXICODE, maxiData, maxiMode);
                if (!mods.error.isEmpty()) return warn(at, QStringLiteral("MaxiCode not printed: %1").arg(mods.error));
                const int target = 224;
                Bitmap b(target, mods.height * target / std::max(1, mods.width));
                for (int y = 0; y < b.height; ++y)
                    for (int x = 0; x < b.width; ++x)
                        if (mods.at(x * mods.width / target, y * mods.width / target)) b.at(x, y) = ink();
                printPicture(b);
            }
            return;
        default: return;
    }
}

void ReceiptEngine::Impl::print2D(const Modules& mods, int moduleW, int moduleH, qint64 at) {
    if (!mods.error.isEmpty()) return warn(at, QStringLiteral("2D code not printed: %1").arg(mods.error));
    // Measured before it is drawn: a large module makes a symbol of megadots.
    if (mods.width * moduleW > areaRight() - areaLeft())
        return warn(at, QStringLiteral("2D code wider than the print area not printed"));
    Bitmap b(mods.width * moduleW, mods.height * moduleH);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (mods.at(x / moduleW, y / moduleH)) b.at(x, y) = ink();
    printPicture(b);
}

}  // namespace rastiv
