#include "receipt/receiptengine.hpp"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <map>
#include <vector>

#include "receipt/codepages.hpp"
#include "receipt/symbols.hpp"

#include <zint.h>

namespace rastiv {

namespace {

constexpr int kDefaultLineSpacing = 24;  // this family feeds one font A cell per line
constexpr int kDefaultTab = 8 * 12;      // a tab stop every eight font A characters
// Colour planes kept for one picture: black and the second colour, and a
// few repeats; a client sending plane after plane must not grow the buffer.
constexpr int kMaxPlanes = 4;
constexpr int kMaxWarnings = 1000;

// A picture in PaperDot values.
struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint8_t> dots;
    Bitmap() = default;
    Bitmap(int w, int h) : width(w), height(h), dots(size_t(w) * size_t(h), kWhiteDot) {}
    uint8_t& at(int x, int y) { return dots[size_t(y) * size_t(width) + size_t(x)]; }
    uint8_t at(int x, int y) const { return dots[size_t(y) * size_t(width) + size_t(x)]; }
    Bitmap scaled(int sx, int sy) const {
        if (sx == 1 && sy == 1) return *this;
        Bitmap b(width * sx, height * sy);
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) b.at(x, y) = at(x / sx, y / sy);
        return b;
    }
};

bool bit(QByteArrayView plane, qsizetype byte, int bitNo) {
    return byte < plane.size() && (static_cast<uint8_t>(plane[byte]) & (0x80 >> bitNo));
}

// A stored logo definition (1D 84 kind X Y, then Y * 8 rows of X-byte
// planes: ink then black for kind 2, black alone for kind 1).
struct LogoView {
    QByteArrayView def;
    int kind = 1, bytesPerPlane = 0, rows = 0;
    explicit LogoView(QByteArrayView d) : def(d) {
        if (d.size() >= 5) {
            kind = static_cast<uint8_t>(d[2]) == 2 ? 2 : 1;
            bytesPerPlane = static_cast<uint8_t>(d[3]);
            rows = static_cast<uint8_t>(d[4]) * 8;
        }
    }
    int width() const { return bytesPerPlane * 8; }
    // Set in the black plane it is black; in the ink plane alone, the highlight.
    uint8_t dot(int x, int y) const {
        const qsizetype row = 5 + qsizetype(y) * bytesPerPlane * kind;
        if (bit(def, row + (kind - 1) * bytesPerPlane + x / 8, x % 8)) return kBlackDot;
        return kind == 2 && bit(def, row + x / 8, x % 8) ? kHighlightDot : kWhiteDot;
    }
    Bitmap bitmap() const {
        Bitmap b(width(), rows);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < b.width; ++x) b.at(x, y) = dot(x, y);
        return b;
    }
};

// A picture drawn row by row from the data that came with it, never held as
// dots: a header may claim 65535 x 65535 dots in 22 bytes.  The width is
// what the paper takes after scaling, the height what the data really
// covers (rows past the end of the data are not printed).
struct Picture {
    int width = 0, height = 0;
    std::function<void(int y, uint8_t* row, int width)> fill;  // the first `width` dots of row y, over white
};

// One bit plane: row-major raster rows (GS v 0, GS ( L) or column-major
// columns of `rowsOf8` bytes (ESC *, GS *, FS q), drawn as `dot` and scaled.
struct Plane {
    QByteArray data;
    bool columnMajor = false;
    int bytesPerRow = 0, rowsOf8 = 0;  // whichever the layout uses
    int dotsWide = 0, dotsHigh = 0;    // as declared, before scaling
    uint8_t dot = kBlackDot;
    int sx = 1, sy = 1;

    static Plane raster(QByteArrayView d, int bytesPerRow, int rows, uint8_t dot, int sx = 1, int sy = 1) {
        return {d.toByteArray(), false, bytesPerRow, 0, bytesPerRow * 8, rows, dot, sx, sy};
    }
    static Plane columns(QByteArrayView d, int columns, int rowsOf8, uint8_t dot, int sx = 1, int sy = 1) {
        return {d.toByteArray(), true, 0, rowsOf8, columns, rowsOf8 * 8, dot, sx, sy};
    }
    // Dots across the paper can take, and rows the data covers; divided
    // before anything is multiplied, so no claim overflows.
    int width() const {
        int held = dotsWide;
        if (columnMajor && rowsOf8 > 0) held = int(std::min<qsizetype>(held, (data.size() + rowsOf8 - 1) / rowsOf8));
        return int(std::min<qint64>(qint64(held) * sx, kPaperWidth));
    }
    int height() const {
        qint64 held = dotsHigh;
        if (!columnMajor) held = bytesPerRow > 0 ? std::min<qint64>(held, (data.size() + bytesPerRow - 1) / bytesPerRow) : 0;
        if (columnMajor) held = std::min<qint64>(held, qint64(data.size()) * 8);
        return int(std::min<qint64>(held * sy, kMaxReceiptDots));
    }
    bool shortOfData() const {
        return data.size() < (columnMajor ? qint64(dotsWide) * rowsOf8 : qint64(bytesPerRow) * dotsHigh);
    }
    // Draws row y over `row`, black over the second colour.
    void drawRow(int y, uint8_t* row, int width) const {
        const int py = y / sy;
        for (int x = 0; x < width; ++x) {
            const int px = x / sx;
            const bool on = columnMajor ? bit(data, qsizetype(px) * rowsOf8 + py / 8, py % 8)
                                        : bit(data, qsizetype(py) * bytesPerRow + px / 8, px % 8);
            if (on && row[x] != kBlackDot) row[x] = dot;
        }
    }
};

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

// Rows of a glyph cell: 1 where the character is inked.
struct Glyph {
    int width = 0, height = 0;
    std::vector<uint8_t> ink;
};

// 4 x 4 ordered dither thresholds: a watermark keeps its logo's dots where
// the threshold is below its density.
constexpr uint8_t kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

struct TextStyle {
    bool fontB = false, bold = false, italic = false, reverse = false, highlight = false;
    int underline = 0;
    int widthMul = 1, heightMul = 1;
};

// The attribute bits of text attribute substitution (byte A bits 0-6 and
// the same seven, then colour and colour reverse, from bit 7 on).
enum Attr { kBold, kItalic, kReverse, kUnderline, kDblHigh, kDblWide, kCompressed };

}  // namespace

struct ReceiptEngine::Impl {
    Impl(ReceiptEngine& e, PaperSink& s, PrinterMemory& m) : self(e), sink(s), mem(m) { reset(); }

    ReceiptEngine& self;
    PaperSink& sink;
    PrinterMemory& mem;
    CommandSplitter split;

    // Settings ESC @ restores.
    TextStyle style;
    uint8_t codePage = 0;
    int align = 0, lineSpacing = kDefaultLineSpacing, charSpacing = 0, leftMargin = 0, areaWidth = kPaperWidth;
    bool upsideDown = false;
    std::vector<int> tabs;  // in dots from the left of the print area; empty: every kDefaultTab
    bool tabsSet = false;
    int hriPosition = 0, barHeight = 162, barWidth = 3;
    bool hriFontB = false;

    // 2D codes: the data stored and the sizes.
    QByteArray qrData, pdfData, maxiData;
    int qrModule = 3, qrLevel = 1, pdfColumns = 0, pdfRows = 0, pdfModule = 3, pdfRowHeight = 3, pdfLevel = -1;
    bool pdfTruncated = false;
    int maxiMode = 2;

    // Pictures held outside the flash, as their data.
    std::vector<Plane> graphicsBuffer;
    std::optional<Plane> downloadedImage;
    std::map<QByteArray, QByteArray> downloadGraphics;
    uint8_t selectedLogo = 0;

    // The line being composed.
    Bitmap line{kPaperWidth, 0};
    int penX = 0;       // from the left of the print area
    int lineUsed = 0;   // rightmost dot used
    bool lineHasContent = false;
    QString lineText;
    bool lineHasText = false;

    // The receipt under way.
    qint64 receiptRows = 0;
    qint64 emptyLines = 0;  // lines of no height printed: each counts one dot against the cap
    qint64 maxDots = kMaxReceiptDots;
    int warnings = 0;       // reported in this receipt
    bool over = false;
    bool topLogoDone = false;
    bool emittingLogo = false;
    bool afterStatusQuery = false;
    bool warnedPageMode = false, warnedRotation = false;

    struct Overlay {
        bool on = false;
        uint8_t number = 0;  // watermark W, or the margin message's logo
        int side = 1;        // margin message: 1 left, 2 right
        qint64 start = 0;    // receipt row it was switched on at
    };
    Overlay watermark, margin;

    std::optional<QFont> fonts[2][2];  // [font B][italic]
    std::map<uint64_t, Glyph> glyphs;

    // A client can send nothing but unknown commands: past kMaxWarnings in
    // one receipt the rest are only counted as one.
    void warn(qint64 at, const QString& text) {
        if (!self.warning || ++warnings > kMaxWarnings + 1) return;
        self.warning(at, warnings > kMaxWarnings ? QStringLiteral("more warnings in this receipt are not reported") : text);
    }
    void noteIt(const QString& text) {
        if (self.note) self.note(text);
    }
    void flashWritten() {
        if (self.memoryChanged) self.memoryChanged();
    }

    void reset() {
        style = {};
        codePage = 0;
        align = 0;
        lineSpacing = kDefaultLineSpacing;
        charSpacing = 0;
        leftMargin = 0;
        areaWidth = kPaperWidth;
        upsideDown = false;
        tabs.clear();
        tabsSet = false;
        hriPosition = 0;
        hriFontB = false;
        barHeight = 162;
        barWidth = 3;
        clearLine();
    }

    // ---- The print area ----

    const QByteArray* logo(uint8_t n) const {
        const auto i = mem.logos.find(n);
        return i == mem.logos.end() ? nullptr : &i->second;
    }
    // The margin message in force: the command's, else legacy colorization's.
    std::optional<std::pair<LogoView, int>> marginLogo() const {
        if (margin.on)
            if (const QByteArray* l = logo(margin.number)) return std::pair{LogoView(*l), margin.side};
        if (mem.legacyOn(3))
            if (const QByteArray* l = logo(242)) return std::pair{LogoView(*l), 1};
        return std::nullopt;
    }
    int areaLeft() const {
        int left = std::min(leftMargin, kPaperWidth - 1);
        if (const auto m = marginLogo(); m && m->second == 1) left = std::min(left + m->first.width(), kPaperWidth - 1);
        return left;
    }
    int areaRight() const {
        int right = std::min(kPaperWidth, leftMargin + std::max(areaWidth, 1));
        if (const auto m = marginLogo(); m && m->second == 2) right -= m->first.width();
        return std::max(right, areaLeft() + 1);
    }
    int alignedLeft(int width) const {
        const int room = areaRight() - areaLeft();
        switch (align) {
            case 1: return areaLeft() + std::max(0, (room - width) / 2);
            case 2: return areaLeft() + std::max(0, room - width);
            default: return areaLeft();
        }
    }

    // ---- Paper out ----

    // Rows leave through here: the top logo first on a new receipt, the
    // watermark and margin message over them, and the length cap.
    void paperOut(Bitmap& band) {
        if (band.height == 0) return;
        startReceipt();
        const int count = int(std::min<qint64>(band.height, room(band.height)));
        for (int y = 0; y < count; ++y) overlay(&band.at(0, y), receiptRows + y);
        if (count > 0) sink.rows(band.dots.data(), count);
        receiptRows += count;
    }

    // How many of `rows` the cap leaves room for; past it the receipt is over.
    qint64 room(qint64 rows) {
        const qint64 left = std::max<qint64>(0, maxDots - receiptRows - emptyLines);
        if (rows > left && !over) {
            over = true;
            warn(split.offset(), QStringLiteral("the receipt is longer than %1 m of paper; the rest of it is not drawn")
                                     .arg(double(maxDots) / 8000));
        }
        return std::min(rows, left);
    }

    // The text of a printed line goes to the sink while the receipt is
    // within the cap; a line of no height counts as one dot, or zero-height
    // feeds would give lines without end.
    void textOut(int height) {
        if (over || (height == 0 && room(1) == 0)) return;
        if (height == 0) ++emptyLines;
        sink.textLine(lineText);
    }

    void feedDots(int n) {
        if (n <= 0) return;
        Bitmap blank(kPaperWidth, std::min(n, 4096));
        for (int left = n; left > 0 && !over; left -= blank.height) {
            Bitmap part(kPaperWidth, std::min(left, blank.height));
            paperOut(part);
        }
    }

    void startReceipt() {
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

    void overlay(uint8_t* row, qint64 y) {
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

    void cutPaper() {
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
    void endCount() {
        receiptRows = 0;
        emptyLines = 0;
        warnings = 0;
        over = false;
        if (margin.on) margin.start = 0;
        if (watermark.on) watermark.start = 0;
    }

    // ---- The line ----

    void clearLine() {
        line = Bitmap(kPaperWidth, 0);
        penX = 0;
        lineUsed = 0;
        lineHasContent = false;
        lineText.clear();
        lineHasText = false;
    }

    // Puts `b` into the line at the pen; bottoms aligned as characters stand
    // on one base line.
    void place(const Bitmap& b) {
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
    void printLine(int feed, bool exact, bool lineFeed = false) {
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
    void printPicture(const Picture& p) {
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
    void printPicture(const Bitmap& b) {
        printPicture(Picture{b.width, b.height, [&b](int y, uint8_t* row, int width) {
                                 std::copy_n(b.dots.data() + size_t(y) * size_t(b.width), width, row);
                             }});
    }
    void printPicture(const Plane& plane, qint64 at) {
        if (plane.shortOfData()) warn(at, QStringLiteral("the picture's data ends before its declared size; the rest is not printed"));
        printPicture(overlaid({plane}));
    }

    // The top and bottom logos are centred whatever the receipt's justification.
    void printCentred(const Bitmap& b) {
        const int keep = align;
        align = 1;
        printPicture(b);
        align = keep;
    }

    uint8_t ink() const { return style.highlight ? uint8_t(kHighlightDot) : uint8_t(kBlackDot); }

    // ---- Text ----

    // The attributes text is printed with after the substitution entries.
    TextStyle effective() const {
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

    const Glyph& glyph(char32_t ch, bool fontB, bool italic) {
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
    const QFont& font(bool fontB, bool italic) {
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

    void drawGlyph(Glyph& g, char32_t ch, bool fontB, bool italic) {
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

    void character(char32_t ch) {
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

    void tab() {
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

    void movePen(int x) {
        const int room = areaRight() - areaLeft();
        if (x < 0 || x >= room) return;
        if (x > penX && lineHasText) lineText += QString(std::max(1, (x - penX) / 12), u' ');
        penX = x;
        lineUsed = std::max(lineUsed, penX);
    }

    // ---- Pictures ----

    void columnImage(const Unit& u) {
        const int m = u.param(0), n = u.param(1) + u.param(2) * 256;
        const bool tall = m >= 32;
        // Single density doubles every dot sideways; eight-dot columns are
        // stretched to the height of the 24-dot ones.
        const Plane plane = Plane::columns(u.bytes.sliced(5), n, tall ? 3 : 1, ink(), m == 0 || m == 32 ? 2 : 1, tall ? 1 : 3);
        Bitmap b(plane.width(), 24);
        for (int y = 0; y < b.height && b.width > 0; ++y) plane.drawRow(y, &b.at(0, y), b.width);
        place(b);
    }

    void rasterImage(const Unit& u) {
        const int m = u.param(0) & 3;
        const int x = u.param(1) + u.param(2) * 256, y = u.param(3) + u.param(4) * 256;
        printPicture(Plane::raster(u.bytes.sliced(u.command->prefixLength + 5), x, y, ink(), m & 1 ? 2 : 1, m & 2 ? 2 : 1),
                     u.offset);
    }

    // GS ( L and GS 8 L: `body` starts at m.
    void graphics(QByteArrayView body, qint64 at) {
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
    void printKeyed(QByteArrayView def, int sx, int sy, qint64 at) {
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

    // Whether `bytes` stored under `key` in `store` (a part of the flash)
    // leave the flash within its size; what the key holds now is replaced.
    template <typename Map>
    bool fitsFlash(const Map& store, const typename Map::key_type& key, qint64 bytes) const {
        const auto i = store.find(key);
        return mem.bytes() - (i == store.end() ? 0 : i->second.size()) + bytes <= PrinterMemory::kFlashBytes;
    }

    // ---- Barcodes and 2D codes ----

    void barcode(const Unit& u) {
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
    void hri(const QString& text, int width) {
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

    void twoDimensional(QByteArrayView body, qint64 at) {
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

    void print2D(const Modules& mods, int moduleW, int moduleH, qint64 at) {
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

    // ---- This family's flash ----

    void defineLogo(const Unit& u) {
        const qint64 others = mem.bytes() - (logo(selectedLogo) ? logo(selectedLogo)->size() : 0);
        if (others + u.bytes.size() > PrinterMemory::kFlashBytes)
            return warn(u.offset, QStringLiteral("the flash is full: logo %1 is not stored").arg(selectedLogo));
        mem.logos[selectedLogo] = u.bytes.toByteArray();
        flashWritten();
    }

    void printStored(const Unit& u) {
        if (const QByteArray* l = logo(selectedLogo)) return printPicture(LogoView(*l).bitmap());
        if (downloadedImage && downloadedImage->dotsWide > 0) {
            const int m = u.param(0) & 3;
            Plane scaled = *downloadedImage;
            scaled.sx = m & 1 ? 2 : 1;
            scaled.sy = m & 2 ? 2 : 1;
            return printPicture(scaled, u.offset);
        }
    }

    void legacySetting(const Unit& u) {
        const int f = u.param(0);
        if (f < 1 || f > 4) return;
        mem.legacy[size_t(f)] = u.bytes.sliced(4).toByteArray();
        flashWritten();
    }

    // ---- The dispatcher ----

    void obey(const Unit& u) {
        if (self.unitSeen) self.unitSeen(u);
        if (u.unknown) {
            afterStatusQuery = false;
            return warn(u.offset, QStringLiteral("unknown command %1 skipped (%2 bytes)")
                                      .arg(QString::fromLatin1(u.bytes.toByteArray().toHex(' ').toUpper()))
                                      .arg(u.length));
        }
        if (u.oversize) {
            afterStatusQuery = false;
            return warn(u.offset, QStringLiteral("%1 of %2 bytes skipped: longer than any picture the printer takes")
                                      .arg(QString::fromLatin1(u.command->name))
                                      .arg(u.length));
        }
        if (over && !stillObeyed(u)) return;
        if (!u.command) return text(u.byte());
        const bool statusQuery = u.command->id == Cmd::StatusQuery;
        command(u);
        afterStatusQuery = statusQuery;
    }

    // Past the length cap nothing more is drawn until the cut; what the
    // flash keeps is still kept.
    static bool stillObeyed(const Unit& u) {
        if (!u.command) return false;
        switch (u.command->id) {
            case Cmd::CutPaper: case Cmd::FullCutOld: case Cmd::PartialCutOld: case Cmd::Reset:
            case Cmd::SelectLogo: case Cmd::BeginDownload: case Cmd::LogoDefinition: case Cmd::EraseFlash:
            case Cmd::PaperType: case Cmd::DefineWatermark: case Cmd::StoreSettings: case Cmd::LegacySetting:
            case Cmd::TextSubstitution: case Cmd::DefineNvImages:
                return true;
            default: return false;
        }
    }

    void text(uint8_t b) {
        // The connection test's query is ESC v and a line feed; that line
        // feed ends the query and feeds no paper.
        if (afterStatusQuery && b == 0x0A) return void(afterStatusQuery = false);
        afterStatusQuery = false;
        switch (b) {
            case 0x0A: return printLine(lineSpacing, false, true);
            case 0x09: return tab();
            case 0x0C: return printLine(0, true);  // page mode's form feed: the data waiting is printed
            default: break;
        }
        if (b < 0x20 || b == 0x7F) return;  // other control bytes print nothing
        character(decodeByte(codePage, b));
    }

    void command(const Unit& u) {
        const uint8_t n = u.param(0);
        const auto on = [&] { return (n & 1) != 0; };
        switch (u.command->id) {
            case Cmd::Reset:
                clearLine();
                reset();
                return;
            case Cmd::PrintMode:
                style.fontB = n & 0x01;
                style.bold = n & 0x08;
                style.heightMul = n & 0x10 ? 2 : 1;
                style.widthMul = n & 0x20 ? 2 : 1;
                style.underline = n & 0x80 ? 1 : 0;
                return;
            case Cmd::CharacterSize:
                style.widthMul = ((n >> 4) & 7) + 1;
                style.heightMul = (n & 7) + 1;
                return;
            case Cmd::Bold: case Cmd::DoubleStrike: style.bold = on(); return;
            case Cmd::Italic: style.italic = on(); return;
            case Cmd::ItalicOn: case Cmd::ItalicOff: style.italic = u.command->id == Cmd::ItalicOn; return;
            case Cmd::Underline: style.underline = (n == 2 || n == '2') ? 2 : (n == 1 || n == '1') ? 1 : 0; return;
            case Cmd::Reverse: style.reverse = on(); return;
            case Cmd::FontSelect: style.fontB = n == 1 || n == '1'; return;
            case Cmd::PrintColour: style.highlight = n == 1 || n == 2 || n == '1' || n == '2'; return;
            case Cmd::UpsideDown: upsideDown = on(); return;
            case Cmd::CodePage:
                codePage = n;
                if (!codePageName(n)) warn(u.offset, QStringLiteral("code page %1 is not known: its upper half prints as \u25A1").arg(n));
                return;
            case Cmd::Justify:
                if (n <= 2) align = n;
                else if (n >= '0' && n <= '2') align = n - '0';
                return;
            case Cmd::CharSpacing: charSpacing = n; return;
            case Cmd::DefaultLineSpacing: lineSpacing = kDefaultLineSpacing; return;
            case Cmd::LineSpacing: lineSpacing = n; return;
            case Cmd::LeftMargin: leftMargin = n + u.param(1) * 256; return;
            case Cmd::PrintAreaWidth: areaWidth = n + u.param(1) * 256; return;
            case Cmd::AbsolutePosition: return movePen(n + u.param(1) * 256);
            case Cmd::RelativePosition: return movePen(penX + int16_t(uint16_t(n + u.param(1) * 256)));
            case Cmd::TabStops:
                tabs.clear();
                tabsSet = true;
                for (qsizetype i = 2; i + 1 < u.bytes.size(); ++i) tabs.push_back(static_cast<uint8_t>(u.bytes[i]));
                return;
            case Cmd::HorizontalStart: return;
            case Cmd::FeedDots: return printLine(n, true);
            case Cmd::FeedLines:  // as n line feeds
                if (n == 0) return printLine(0, true);
                for (int i = 0; i < n && !over; ++i) printLine(lineSpacing, false, true);
                return;
            case Cmd::PageMode:
                if (!warnedPageMode) warn(u.offset, QStringLiteral("page mode is drawn as standard mode"));
                warnedPageMode = true;
                return;
            case Cmd::PrintPageData: return printLine(0, true);
            case Cmd::Rotate90:
                if (n & 1 && !warnedRotation) warn(u.offset, QStringLiteral("characters turned 90 degrees are drawn upright"));
                warnedRotation = warnedRotation || (n & 1);
                return;
            case Cmd::ColumnImage: return columnImage(u);
            case Cmd::RasterImage: case Cmd::VariableRaster: return rasterImage(u);
            case Cmd::DefineBitImage:
                downloadedImage = Plane::columns(u.bytes.sliced(4), n * 8, u.param(1), kBlackDot);
                return;
            case Cmd::PrintBitImage: return printStored(u);
            case Cmd::GsFunction: {
                const QByteArrayView body = u.bytes.sliced(std::min<qsizetype>(u.bytes.size(), 5));
                if (n == 'L') return graphics(body, u.offset);
                if (n == 'k') return twoDimensional(body, u.offset);
                return;  // ( A test print, ( E settings, ( H, ( K, ( N...: nothing to draw
            }
            case Cmd::GsFunction32:
                if (n == 'L') return graphics(u.bytes.sliced(std::min<qsizetype>(u.bytes.size(), 7)), u.offset);
                return;
            case Cmd::EscFunction:
                if (n == 'A') noteIt(QStringLiteral("beep"));
                return;
            case Cmd::Beep: return noteIt(QStringLiteral("beep %1 times").arg(n));
            case Cmd::DrawerPulse:
                return noteIt(QStringLiteral("cash drawer kick on pin %1").arg((n & 1) ? 5 : 2));
            case Cmd::DleDc4:
                if (n == 1) noteIt(QStringLiteral("cash drawer kick on pin %1").arg((u.param(1) & 1) ? 5 : 2));
                return;
            case Cmd::DefineNvImages: {
                // FS q replaces every NV bit image; n times xL xH yL yH and the columns.
                const auto first = mem.nvGraphics.lower_bound(QByteArray("q")), last = mem.nvGraphics.upper_bound(QByteArray("q\xFF"));
                qint64 kept = 0;
                for (auto i = first; i != last; ++i) kept += i->second.size();
                if (mem.bytes() - kept + u.bytes.size() - 3 > PrinterMemory::kFlashBytes)
                    return warn(u.offset, QStringLiteral("the flash is full: the NV bit images are not stored"));
                mem.nvGraphics.erase(first, last);
                qsizetype o = 3;
                for (int i = 1; i <= n && o + 4 <= u.bytes.size(); ++i) {
                    const int xb = static_cast<uint8_t>(u.bytes[o]) + static_cast<uint8_t>(u.bytes[o + 1]) * 256;
                    const int yb = static_cast<uint8_t>(u.bytes[o + 2]) + static_cast<uint8_t>(u.bytes[o + 3]) * 256;
                    const qsizetype size = qsizetype(xb) * yb * 8;
                    mem.nvGraphics[QByteArray("q") + char(i)] = u.bytes.sliced(o, std::min(u.bytes.size() - o, size + 4)).toByteArray();
                    o += 4 + size;
                }
                flashWritten();
                return;
            }
            case Cmd::PrintNvImage: {
                const auto i = mem.nvGraphics.find(QByteArray("q") + char(n));
                if (i == mem.nvGraphics.end()) return warn(u.offset, QStringLiteral("NV bit image %1 is not defined").arg(n));
                const QByteArray& d = i->second;
                if (d.size() < 4) return warn(u.offset, QStringLiteral("NV bit image %1 is not usable").arg(n));
                const int xb = static_cast<uint8_t>(d[0]) + static_cast<uint8_t>(d[1]) * 256;
                const int yb = static_cast<uint8_t>(d[2]) + static_cast<uint8_t>(d[3]) * 256;
                const int m = u.param(1) & 3;
                return printPicture(Plane::columns(QByteArrayView(d).sliced(4), xb * 8, yb, kBlackDot, m & 1 ? 2 : 1, m & 2 ? 2 : 1),
                                    u.offset);
            }
            case Cmd::HriPosition: hriPosition = n & 3; return;
            case Cmd::HriFont: hriFontB = n == 1 || n == '1'; return;
            case Cmd::BarcodeHeight: barHeight = std::max<int>(1, n); return;
            case Cmd::BarcodeWidth: barWidth = n; return;
            case Cmd::Barcode: return barcode(u);
            case Cmd::CutPaper:
                if (n == 65 || n == 66 || n == 97 || n == 98 || n == 103 || n == 104) {
                    printLine(0, true);
                    feedDots(u.param(1));
                }
                return cutPaper();
            case Cmd::FullCutOld: case Cmd::PartialCutOld: return cutPaper();

            // This family's own.
            case Cmd::RasterLine: case Cmd::TwoColourRasterLine: {
                const bool two = u.command->id == Cmd::TwoColourRasterLine;
                const QByteArrayView ink = two ? u.bytes.sliced(2, 72) : QByteArrayView();
                const QByteArrayView black = u.bytes.sliced(two ? 74 : 2, 72);
                if (lineHasContent || lineHasText) printLine(0, true);
                Bitmap row(kPaperWidth, 1);
                for (int x = 0; x < kPaperWidth; ++x)
                    row.at(x, 0) = bit(black, x / 8, x % 8) ? kBlackDot : bit(ink, x / 8, x % 8) ? kHighlightDot : kWhiteDot;
                paperOut(row);
                return;
            }
            case Cmd::SelectLogo: selectedLogo = n; return;
            case Cmd::LogoDefinition: return defineLogo(u);
            case Cmd::EraseFlash:
                if (n == 0x31) {
                    mem.logos.clear();
                    mem.watermarks.clear();
                    mem.nvGraphics.clear();
                    flashWritten();
                }
                return;
            case Cmd::PaperType:
                mem.paperType = n;
                return flashWritten();
            case Cmd::DefineWatermark:
                mem.watermarks[u.param(2)] = {n, u.param(1), uint8_t(align)};
                return flashWritten();
            case Cmd::WatermarkSwitch:
                watermark.on = n == 1;
                watermark.number = u.param(1);
                watermark.start = receiptRows;
                return;
            case Cmd::MarginMessage:
                margin.on = n == 1 || n == 2;
                margin.side = n;
                margin.number = u.param(1);
                margin.start = receiptRows;
                return;
            case Cmd::StoreSettings: return flashWritten();
            case Cmd::LegacySetting: return legacySetting(u);
            case Cmd::TextSubstitution:
                if (n == 1 || n == 2) {
                    mem.substitution[n] = uint16_t(u.param(1) | u.param(2) << 8);
                    flashWritten();
                }
                return;
            default: return;  // settings with nothing to draw: status requests, sensors, counters, macros...
        }
    }
};

ReceiptEngine::ReceiptEngine(PaperSink& sink, PrinterMemory& memory)
    : d(std::make_unique<Impl>(*this, sink, memory)) {}

ReceiptEngine::~ReceiptEngine() = default;

void ReceiptEngine::feed(QByteArrayView bytes) {
    d->split.feed(bytes, [this](const Unit& u) { d->obey(u); });
}

void ReceiptEngine::finish() {
    if (d->split.midUnit()) {
        const CommandInfo* c = d->split.pendingCommand();
        d->warn(d->split.pendingOffset(),
                QStringLiteral("the stream ends inside %1; it was not printed")
                    .arg(c ? QString::fromLatin1(c->name) : QStringLiteral("a command")));
    }
    d->split = CommandSplitter();
    d->printLine(0, true);
    d->endCount();
}

void ReceiptEngine::cut() { d->cutPaper(); }

qint64 ReceiptEngine::receiptDots() const { return d->receiptRows + d->emptyLines; }
void ReceiptEngine::limitReceipt(qint64 dots) { d->maxDots = std::clamp<qint64>(dots, 1, kMaxReceiptDots); }
bool ReceiptEngine::overLength() const { return d->over; }
qint64 ReceiptEngine::offset() const { return d->split.offset(); }

}  // namespace rastiv
