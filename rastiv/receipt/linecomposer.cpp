#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "receipt/engineparts.hpp"

namespace rastiv {

namespace {

// The attribute bits of text attribute substitution (byte A bits 0-6 and
// the same seven, then colour and colour reverse, from bit 7 on).
enum Attr { kBold, kItalic, kReverse, kUnderline, kDblHigh, kDblWide, kCompressed };

}  // namespace

void ReceiptEngine::Impl::clearLine() {
    line = Bitmap(kPaperWidth, 0);
    penX = 0;
    lineUsed = 0;
    lineHasContent = false;
    lineText.clear();
    lineHasText = false;
}

// Puts `b` into the line at the pen; bottoms aligned as characters stand
// on one base line.
void ReceiptEngine::Impl::place(const Bitmap& b) {
    if (b.height > line.height) {
        Bitmap taller(kPaperWidth, b.height);
        const int shift = b.height - line.height;
        for (int y = 0; y < line.height; ++y)
            std::copy_n(&line.at(0, y), kPaperWidth, &taller.at(0, y + shift));
        line = std::move(taller);
    }
    const int room = areaRight() - areaLeft();
    const int top = line.height - b.height;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width && penX + x < room; ++x) {
            const uint8_t d = b.at(x, y);
            if (d != kWhiteDot || style.reverse) line.at(penX + x, top + y) = d;
        }
    penX += b.width;
    lineUsed = std::max(lineUsed, std::min(penX, room));
    lineHasContent = true;
}

// Prints the line: `feed` dots of paper at least, the line's own height
// when taller unless `exact`, the line's height and `feed` then.  A line
// feed gives a line of text even when it is empty.
void ReceiptEngine::Impl::printLine(int feed, bool exact, bool lineFeed) {
    if (lineHasContent || lineHasText || lineFeed || feed > 0) startReceipt();
    if (!lineHasContent) {
        if (lineHasText || lineFeed) textOut(feed);
        feedDots(feed);
        clearLine();
        return;
    }
    const int left = alignedLeft(lineUsed);
    const int height = exact ? line.height + feed : std::max(feed, line.height);
    Bitmap band(kPaperWidth, height);
    for (int y = 0; y < line.height; ++y)
        for (int x = 0; x < lineUsed && left + x < kPaperWidth; ++x) band.at(left + x, y) = line.at(x, y);
    if (upsideDown) {
        Bitmap turned(kPaperWidth, line.height);
        for (int y = 0; y < line.height; ++y)
            for (int x = 0; x < kPaperWidth; ++x) turned.at(x, y) = band.at(kPaperWidth - 1 - x, line.height - 1 - y);
        for (int y = 0; y < line.height; ++y) std::copy_n(&turned.at(0, y), kPaperWidth, &band.at(0, y));
    }
    if (lineHasText || lineFeed) textOut(height);
    paperOut(band);
    clearLine();
}

// A picture printed on its own lines, justified; the line waiting first.
// It is drawn band by band as the paper takes it, and no further than
// the length cap.
void ReceiptEngine::Impl::printPicture(const Picture& p) {
    startReceipt();
    if (!emittingLogo && (lineHasContent || lineHasText)) printLine(0, true);
    const int width = std::min(p.width, areaRight() - areaLeft());
    const int left = alignedLeft(width);
    const int chunk = 256;
    for (int top = 0; top < p.height && !over; top += chunk) {
        Bitmap band(kPaperWidth, std::min(chunk, p.height - top));
        for (int y = 0; y < band.height; ++y) p.fill(top + y, &band.at(left, y), width);
        paperOut(band);
    }
}

// The top and bottom logos are centred whatever the receipt's justification.
void ReceiptEngine::Impl::printCentred(const Bitmap& b) {
    const int keep = align;
    align = 1;
    printPicture(b);
    align = keep;
}

// The attributes text is printed with after the substitution entries.
TextStyle ReceiptEngine::Impl::effective() const {
    uint16_t have = 0;
    const auto set = [&](int a, bool on) { have |= on ? uint16_t(1u << a) : 0; };
    set(kBold, style.bold);
    set(kItalic, style.italic);
    set(kReverse, style.reverse);
    set(kUnderline, style.underline > 0);
    set(kDblHigh, style.heightMul > 1);
    set(kDblWide, style.widthMul > 1);
    set(kCompressed, style.fontB);
    TextStyle s = style;
    for (int n = 1; n <= 2; ++n) {
        const uint16_t entry = mem.substitution[size_t(n)];
        const uint16_t from = entry & 0x7F;
        if (from == 0 || (have & from) != from) continue;
        // The "from" attributes give way to the "to" ones (bit 7 on).
        const uint16_t to = entry >> 7;
        const auto drop = [&](int a) { return (from >> a) & 1; };
        const auto add = [&](int a) { return (to >> a) & 1; };
        if (drop(kBold)) s.bold = false;
        if (drop(kItalic)) s.italic = false;
        if (drop(kReverse)) s.reverse = false;
        if (drop(kUnderline)) s.underline = 0;
        if (drop(kDblHigh)) s.heightMul = 1;
        if (drop(kDblWide)) s.widthMul = 1;
        if (drop(kCompressed)) s.fontB = false;
        if (add(kBold)) s.bold = true;
        if (add(kItalic)) s.italic = true;
        if (add(kReverse)) s.reverse = true;
        if (add(kUnderline)) s.underline = 1;
        if (add(kDblHigh)) s.heightMul = 2;
        if (add(kDblWide)) s.widthMul = 2;
        if (add(kCompressed)) s.fontB = true;
        if (add(7)) s.highlight = true;
        if (add(8)) s.highlight = s.reverse = true;
        break;
    }
    return s;
}

const Glyph& ReceiptEngine::Impl::glyph(char32_t ch, bool fontB, bool italic) {
    const uint64_t key = uint64_t(ch) << 2 | uint64_t(fontB) << 1 | uint64_t(italic);
    if (const auto i = glyphs.find(key); i != glyphs.end()) return i->second;
    Glyph g;
    g.width = fontB ? 9 : 12;
    g.height = fontB ? 17 : 24;
    g.ink.assign(size_t(g.width) * size_t(g.height), 0);
    if (ch != U' ') {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            // No fonts without a GUI application: a block keeps the layout.
            for (int y = g.height / 4; y < g.height * 3 / 4; ++y)
                for (int x = g.width / 6; x < g.width - g.width / 6; ++x) g.ink[size_t(y * g.width + x)] = 1;
        } else {
            drawGlyph(g, ch, fontB, italic);
        }
    }
    return glyphs.emplace(key, std::move(g)).first->second;
}

// The largest fixed-pitch font whose characters fit the cell, drawn
// without smoothing: a thermal dot is on or off.
const QFont& ReceiptEngine::Impl::font(bool fontB, bool italic) {
    auto& f = fonts[fontB][italic];
    if (f) return *f;
    QFont q(QStringLiteral("DejaVu Sans Mono"));
    q.setStyleHint(QFont::TypeWriter);
    q.setFixedPitch(true);
    q.setItalic(italic);
    q.setStyleStrategy(QFont::NoAntialias);
    const int w = fontB ? 9 : 12, h = fontB ? 17 : 24;
    for (int px = h; px > 6; --px) {
        q.setPixelSize(px);
        const QFontMetrics fm(q);
        if (fm.horizontalAdvance(QLatin1Char('W')) <= w && fm.height() <= h) break;
    }
    f = q;
    return *f;
}

void ReceiptEngine::Impl::drawGlyph(Glyph& g, char32_t ch, bool fontB, bool italic) {
    const QFont& f = font(fontB, italic);
    QImage image(g.width, g.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setFont(f);
        p.setPen(Qt::black);
        const QFontMetrics fm(f);
        const QString s = QString::fromUcs4(&ch, 1);
        const int x = std::max(0, (g.width - fm.horizontalAdvance(s)) / 2);
        const int baseline = std::max(0, (g.height - fm.height()) / 2) + fm.ascent();
        p.drawText(x, baseline, s);
    }
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (qGray(image.pixel(x, y)) < 128) g.ink[size_t(y * g.width + x)] = 1;
}

void ReceiptEngine::Impl::character(char32_t ch) {
    const TextStyle s = effective();
    const Glyph& g = glyph(ch, s.fontB, s.italic);
    const int spacing = charSpacing * s.widthMul;
    const int cellW = g.width * s.widthMul + spacing, cellH = g.height * s.heightMul;
    if (penX + cellW > areaRight() - areaLeft() && penX > 0) printLine(lineSpacing, false, true);
    Bitmap cell(cellW, cellH);
    const uint8_t on = s.highlight ? uint8_t(kHighlightDot) : uint8_t(kBlackDot);
    const uint8_t back = s.reverse ? on : uint8_t(kWhiteDot), fore = s.reverse ? uint8_t(kWhiteDot) : on;
    std::fill(cell.dots.begin(), cell.dots.end(), back);
    const int underlineRows = s.underline * s.heightMul;
    for (int y = 0; y < cellH; ++y)
        for (int x = 0; x < g.width * s.widthMul; ++x) {
            const int gx = x / s.widthMul, gy = y / s.heightMul;
            bool inked = g.ink[size_t(gy * g.width + gx)] != 0;
            // Bold is struck twice, one dot to the right, inside the cell.
            if (s.bold && !inked && gx > 0) inked = g.ink[size_t(gy * g.width + gx - 1)] != 0;
            if (y >= cellH - underlineRows && !s.reverse) inked = true;
            if (inked) cell.at(x, y) = fore;
        }
    if (underlineRows > 0 && !s.reverse)
        for (int y = cellH - underlineRows; y < cellH; ++y)
            for (int x = 0; x < cellW; ++x) cell.at(x, y) = fore;
    place(cell);
    lineText += QString::fromUcs4(&ch, 1);
    lineHasText = true;
}

void ReceiptEngine::Impl::tab() {
    const TextStyle s = effective();
    const int cell = (s.fontB ? 9 : 12) + charSpacing;
    int next = -1;
    if (!tabsSet) {
        next = (penX / kDefaultTab + 1) * kDefaultTab;
    } else {
        for (int t : tabs)
            if (t * cell > penX) {
                next = t * cell;
                break;
            }
    }
    if (next < 0 || next >= areaRight() - areaLeft()) return;
    const int spaces = std::max(1, (next - penX) / std::max(1, cell));
    lineText += QString(spaces, u' ');
    lineHasText = true;
    Bitmap blank(next - penX, 1);
    if (style.reverse) std::fill(blank.dots.begin(), blank.dots.end(), ink());
    place(blank);
}

void ReceiptEngine::Impl::movePen(int x) {
    const int room = areaRight() - areaLeft();
    if (x < 0 || x >= room) return;
    if (x > penX && lineHasText) lineText += QString(std::max(1, (x - penX) / 12), u' ');
    penX = x;
    lineUsed = std::max(lineUsed, penX);
}

}  // namespace rastiv
