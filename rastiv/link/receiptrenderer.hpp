// The receipt a printer of the family would print from the bytes it
// receives: a paper strip 576 dots wide, one image pixel per dot, in white,
// black and the highlight colour.
//
// What it draws:
//   1D 83 ink black / 1D 82 black   one raster line, dot for dot (a dot set in
//                                   the black plane is black; set only in the
//                                   ink plane it is the highlight colour);
//   1D 84 kind X Y rows             stores a logo under the logo number last
//                                   selected (1D 23 n), as the flash would;
//   1D 2F m                         prints the selected logo, if stored;
//   text bytes and LF (0A)          a line of 12 x 24-dot cells in a fixed-pitch
//                                   font, printed at LF, or when 48 characters
//                                   fill the line; LF with no text feeds one
//                                   line (24 dots);
//   1B 4A n                         prints pending text, then feeds n dots;
//   1B 61 n                         justification of text and logos;
//   1B 40                           drops unprinted text, justification left;
//   1D 40 31                        erases the stored logos.
// Everything else is passed over by its known length (see printercommands):
// print modes, colour and attribute settings, watermarks and margin
// messages change how a real printer prints text, not what this shows.
#pragma once

#include <QByteArrayView>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "link/printercommands.hpp"

namespace rastiv {

class ReceiptRenderer {
public:
    static constexpr int kWidth = 576;       // dots in one printer line
    static constexpr int kCellWidth = 12;    // one character of text
    static constexpr int kLineHeight = 24;
    static constexpr int kColumns = kWidth / kCellWidth;

    // Palette indexes of the receipt image.
    enum Dot : uint8_t { White = 0, Black = 1, Highlight = 2 };

    ReceiptRenderer();

    void feed(QByteArrayView bytes);

    // The receipt so far: kWidth x height(), 8-bit indexed with the colours
    // white, black and the highlight colour at the indexes of Dot.  Null
    // while nothing is printed.
    QImage receipt() const;
    int height() const { return int(dots_.size() / kWidth); }

    // Tears the paper off.  What the printer holds stays: stored logos, a
    // half-received command, text not yet printed, the justification.
    void clear();

    // Pure red on red paper, pure blue on blue paper; changes the dots
    // already printed too.
    void setHighlight(const QColor& c) { highlight_ = c; }
    QColor highlight() const { return highlight_; }

    // Called after a feed() that lengthened the receipt.
    std::function<void()> grew;

private:
    struct Logo {
        int width = 0, height = 0;  // in dots
        std::vector<uint8_t> dots;  // Dot values, row by row
    };
    enum class Align { Left, Centre, Right };

    void obey(QByteArrayView unit);
    void text(uint8_t byte);
    void printLine();
    void feedDots(int rows);
    void rasterLine(QByteArrayView ink, QByteArrayView black);
    void defineLogo(QByteArrayView unit);
    void printLogo(const Logo& logo);
    int alignedLeft(int width) const;
    const std::array<uint8_t, kCellWidth * kLineHeight>& glyph(uint8_t ch);

    CommandSplitter commands_;
    std::vector<uint8_t> dots_;  // Dot values, kWidth per row
    QByteArray line_;            // text waiting for its line feed
    Align align_ = Align::Left;
    uint8_t selectedLogo_ = 0;
    std::map<uint8_t, Logo> logos_;
    QColor highlight_{255, 0, 0};
    std::optional<QFont> font_;  // chosen on the first glyph
    std::array<std::optional<std::array<uint8_t, kCellWidth * kLineHeight>>, 256> glyphs_;
};

// Writes the image as a PNG file, one pixel per dot, completely or not at
// all; false with the reason when it cannot.
bool writePng(const QImage& image, const QString& path, QString& error);

}  // namespace rastiv
