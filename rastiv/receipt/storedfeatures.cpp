#include "receipt/engineparts.hpp"

namespace rastiv {

namespace {

// 4 x 4 ordered dither thresholds: a watermark keeps its logo's dots where
// the threshold is below its density.
constexpr uint8_t kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

}  // namespace

// The margin message in force: the command's, else legacy colorization's.
std::optional<std::pair<LogoView, int>> ReceiptEngine::Impl::marginLogo() const {
    if (margin.on)
        if (const QByteArray* l = logo(margin.number)) return std::pair{LogoView(*l), margin.side};
    if (mem.legacyOn(3))
        if (const QByteArray* l = logo(242)) return std::pair{LogoView(*l), 1};
    return std::nullopt;
}

int ReceiptEngine::Impl::alignedLeft(int width) const {
    const int room = areaRight() - areaLeft();
    switch (align) {
        case 1: return areaLeft() + std::max(0, (room - width) / 2);
        case 2: return areaLeft() + std::max(0, room - width);
        default: return areaLeft();
    }
}

// Rows leave through here: the top logo first on a new receipt, the
// watermark and margin message over them, and the length cap.
void ReceiptEngine::Impl::paperOut(Bitmap& band) {
    if (band.height == 0) return;
    startReceipt();
    const int count = int(std::min<qint64>(band.height, room(band.height)));
    for (int y = 0; y < count; ++y) overlay(&band.at(0, y), receiptRows + y);
    if (count > 0) sink.rows(band.dots.data(), count);
    receiptRows += count;
}

// How many of `rows` the cap leaves room for; past it the receipt is over.
qint64 ReceiptEngine::Impl::room(qint64 rows) {
    const qint64 left = std::max<qint64>(0, maxDots - receiptRows - emptyLines);
    if (rows > left && !over) {
        over = true;
        warn(split.offset(), QStringLiteral("the receipt is longer than %1 m of paper; the rest of it is not drawn")
                                 .arg(double(maxDots) / 8000));
    }
    return std::min(rows, left);
}

void ReceiptEngine::Impl::feedDots(int n) {
    if (n <= 0) return;
    Bitmap blank(kPaperWidth, std::min(n, 4096));
    for (int left = n; left > 0 && !over; left -= blank.height) {
        Bitmap part(kPaperWidth, std::min(left, blank.height));
        paperOut(part);
    }
}

void ReceiptEngine::Impl::startReceipt() {
    if (topLogoDone || emittingLogo) return;
    topLogoDone = true;
    // The top logo opens every receipt, `spacing` dots below the cut.
    if (!mem.legacyOn(1)) return;
    if (const QByteArray* l = logo(240)) {
        emittingLogo = true;
        const int spacing = mem.legacy[1].isEmpty() ? 0 : static_cast<uint8_t>(mem.legacy[1][0]);
        feedDots(spacing);
        printCentred(LogoView(*l).bitmap());
        emittingLogo = false;
    }
}

void ReceiptEngine::Impl::overlay(uint8_t* row, qint64 y) {
    // The watermark: a shaded copy of its logo behind the text, repeated.
    const Overlay* w = watermark.on ? &watermark : nullptr;
    Overlay legacyMark;
    if (!w && mem.legacyOn(2)) {
        legacyMark.on = true;
        legacyMark.number = 241;
        w = &legacyMark;
    }
    if (w) {
        const auto def = mem.watermarks.find(w->number);
        const QByteArray* l = def == mem.watermarks.end() ? nullptr : logo(def->second.logo);
        if (l) {
            const LogoView v(*l);
            if (v.rows > 0 && v.width() > 0) {
                const int ly = int((y - w->start) % v.rows);
                const int density = 100 - std::min<int>(def->second.shading, 100);
                const int width = std::min(v.width(), kPaperWidth);
                const int left = def->second.justify == 1   ? (kPaperWidth - width) / 2
                                 : def->second.justify == 2 ? kPaperWidth - width
                                                            : 0;
                for (int x = 0; x < width; ++x) {
                    if (row[left + x] != kWhiteDot) continue;
                    const uint8_t dot = v.dot(x, ly);
                    if (dot != kWhiteDot && kBayer[(ly & 3) * 4 + ((left + x) & 3)] * 100 < density * 16)
                        row[left + x] = dot;
                }
            }
        }
    }
    // The margin message down its edge, repeated.
    if (const auto m = marginLogo()) {
        const LogoView& v = m->first;
        if (v.rows > 0) {
            const qint64 start = margin.on ? margin.start : 0;
            const int ly = int((y - start) % v.rows);
            const int width = std::min(v.width(), kPaperWidth);
            const int left = m->second == 2 ? kPaperWidth - width : 0;
            for (int x = 0; x < width; ++x)
                if (const uint8_t dot = v.dot(x, ly)) row[left + x] = dot;
        }
    }
}

void ReceiptEngine::Impl::cutPaper() {
    printLine(0, false);
    if (receiptRows > 0 && mem.legacyOn(4))
        if (const QByteArray* l = logo(243)) {
            emittingLogo = true;
            printCentred(LogoView(*l).bitmap());
            emittingLogo = false;
        }
    if (receiptRows > 0 || topLogoDone) sink.cut();
    topLogoDone = false;
    endCount();
}

// The paper count starts again; the overlays repeat from the new top.
void ReceiptEngine::Impl::endCount() {
    receiptRows = 0;
    emptyLines = 0;
    warnings = 0;
    over = false;
    if (margin.on) margin.start = 0;
    if (watermark.on) watermark.start = 0;
}

void ReceiptEngine::Impl::defineLogo(const Unit& u) {
    const qint64 others = mem.bytes() - (logo(selectedLogo) ? logo(selectedLogo)->size() : 0);
    if (others + u.bytes.size() > PrinterMemory::kFlashBytes)
        return warn(u.offset, QStringLiteral("the flash is full: logo %1 is not stored").arg(selectedLogo));
    mem.logos[selectedLogo] = u.bytes.toByteArray();
    flashWritten();
}

void ReceiptEngine::Impl::printStored(const Unit& u) {
    if (const QByteArray* l = logo(selectedLogo)) return printPicture(LogoView(*l).bitmap());
    if (downloadedImage && downloadedImage->dotsWide > 0) {
        const int m = u.param(0) & 3;
        Plane scaled = *downloadedImage;
        scaled.sx = m & 1 ? 2 : 1;
        scaled.sy = m & 2 ? 2 : 1;
        return printPicture(scaled, u.offset);
    }
}

void ReceiptEngine::Impl::legacySetting(const Unit& u) {
    const int f = u.param(0);
    if (f < 1 || f > 4) return;
    mem.legacy[size_t(f)] = u.bytes.sliced(4).toByteArray();
    flashWritten();
}

}  // namespace rastiv
