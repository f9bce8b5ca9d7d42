// The receipt engine's state and the parts of its work, shared by the files
// that do them: the dispatch (receiptengine.cpp), the line composer
// (linecomposer.cpp: text layout and the glyph cache), the picture decoders
// (pictures.cpp: raster, column and keyed pictures, barcodes and 2D codes)
// and the stored features (storedfeatures.cpp: the print area they leave,
// the top and bottom logos, the watermark and margin message over the paper,
// and what goes into the flash).  Only those files include it.
#pragma once

#include <QFont>
#include <QString>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "receipt/receiptengine.hpp"
#include "receipt/symbols.hpp"

namespace rastiv {

namespace engine {


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

inline bool bit(QByteArrayView plane, qsizetype byte, int bitNo) {
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
Picture overlaid(const std::vector<Plane>& planes);

// Rows of a glyph cell: 1 where the character is inked.
struct Glyph {
    int width = 0, height = 0;
    std::vector<uint8_t> ink;
};

struct TextStyle {
    bool fontB = false, bold = false, italic = false, reverse = false, highlight = false;
    int underline = 0;
    int widthMul = 1, heightMul = 1;
};

}  // namespace engine

using namespace engine;

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
    bool flashChanged = false;

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
    // What the flash keeps changed; told once the command is done, when
    // its record says it touches the flash.
    void flashWritten() { flashChanged = true; }

    void reset();

    // ---- The print area ----

    const QByteArray* logo(uint8_t n) const {
        const auto i = mem.logos.find(n);
        return i == mem.logos.end() ? nullptr : &i->second;
    }
    // The margin message in force: the command's, else legacy colorization's.
    std::optional<std::pair<LogoView, int>> marginLogo() const;
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
    int alignedLeft(int width) const;

    // ---- Paper out ----

    // Rows leave through here: the top logo first on a new receipt, the
    // watermark and margin message over them, and the length cap.
    void paperOut(Bitmap& band);

    // How many of `rows` the cap leaves room for; past it the receipt is over.
    qint64 room(qint64 rows);

    // The text of a printed line goes to the sink while the receipt is
    // within the cap; a line of no height counts as one dot, or zero-height
    // feeds would give lines without end.
    void textOut(int height) {
        if (over || (height == 0 && room(1) == 0)) return;
        if (height == 0) ++emptyLines;
        sink.textLine(lineText);
    }

    void feedDots(int n);

    void startReceipt();

    void overlay(uint8_t* row, qint64 y);

    void cutPaper();

    // The paper count starts again; the overlays repeat from the new top.
    void endCount();

    // ---- The line ----

    void clearLine();

    // Puts `b` into the line at the pen; bottoms aligned as characters stand
    // on one base line.
    void place(const Bitmap& b);

    // Prints the line: `feed` dots of paper at least, the line's own height
    // when taller unless `exact`, the line's height and `feed` then.  A line
    // feed gives a line of text even when it is empty.
    void printLine(int feed, bool exact, bool lineFeed = false);

    // A picture printed on its own lines, justified; the line waiting first.
    // It is drawn band by band as the paper takes it, and no further than
    // the length cap.
    void printPicture(const Picture& p);
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
    void printCentred(const Bitmap& b);

    uint8_t ink() const { return style.highlight ? uint8_t(kHighlightDot) : uint8_t(kBlackDot); }

    // ---- Text ----

    // The attributes text is printed with after the substitution entries.
    TextStyle effective() const;

    const Glyph& glyph(char32_t ch, bool fontB, bool italic);

    // The largest fixed-pitch font whose characters fit the cell, drawn
    // without smoothing: a thermal dot is on or off.
    const QFont& font(bool fontB, bool italic);

    void drawGlyph(Glyph& g, char32_t ch, bool fontB, bool italic);

    void character(char32_t ch);

    void tab();

    void movePen(int x);

    // ---- Pictures ----

    void columnImage(const Unit& u);

    void rasterImage(const Unit& u);

    // GS ( L and GS 8 L: `body` starts at m.
    void graphics(QByteArrayView body, qint64 at);

    // A keyed definition: m fn a kc1 kc2 b xL xH yL yH, then b times c and the plane.
    void printKeyed(QByteArrayView def, int sx, int sy, qint64 at);

    // Whether `bytes` stored under `key` in `store` (a part of the flash)
    // leave the flash within its size; what the key holds now is replaced.
    template <typename Map>
    bool fitsFlash(const Map& store, const typename Map::key_type& key, qint64 bytes) const {
        const auto i = store.find(key);
        return mem.bytes() - (i == store.end() ? 0 : i->second.size()) + bytes <= PrinterMemory::kFlashBytes;
    }

    // ---- Barcodes and 2D codes ----

    void barcode(const Unit& u);

    // The barcode's text, centred over its width, as a printed line of its own.
    void hri(const QString& text, int width);

    void twoDimensional(QByteArrayView body, qint64 at);

    void print2D(const Modules& mods, int moduleW, int moduleH, qint64 at);

    // ---- This family's flash ----

    void defineLogo(const Unit& u);

    void printStored(const Unit& u);

    void legacySetting(const Unit& u);

    // ---- The dispatcher ----

    void obey(const Unit& u);

    void text(uint8_t b);

    void command(const Unit& u);
};

}  // namespace rastiv
