// What a printer of the family prints from the bytes it receives, command by
// command as the command table cuts them: text in the code page ESC t
// selects, with fonts A (12 x 24 dots) and B (9 x 17), bold, italic,
// underline, double and larger sizes, white on black, upside down, the
// second colour, justification, margins, tabs and line spacing; column,
// raster and stored pictures; barcodes and 2D codes drawn by zint; cuts; and
// this family's own stored features: raster lines, logos, the top and bottom
// logo, the watermark, the margin message and the text attribute
// substitution of legacy colorization, and the paper type.
//
// The paper goes to a PaperSink row by row as each line is printed, so that
// nothing here grows with the receipt's length; a receipt longer than
// kMaxReceiptDots is not drawn further.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>

#include "link/printercommands.hpp"
#include "receipt/printermemory.hpp"

namespace rastiv {

inline constexpr int kPaperWidth = 576;  // dots in one printer line
// 20 m of paper at 8 dots per millimetre: the longest receipt drawn.
inline constexpr int kMaxReceiptDots = 160000;

// The dots of the paper.
enum PaperDot : uint8_t { kWhiteDot = 0, kBlackDot = 1, kHighlightDot = 2 };

class PaperSink {
public:
    virtual ~PaperSink() = default;
    // `count` rows of kPaperWidth PaperDot values each, top to bottom.
    virtual void rows(const uint8_t* dots, int count) = 0;
    // The text of one printed line, without styles (empty for a blank line).
    virtual void textLine(const QString&) {}
    // The paper is cut: what follows is the next receipt.
    virtual void cut() {}
};

class ReceiptEngine {
public:
    ReceiptEngine(PaperSink& sink, PrinterMemory& memory);
    ~ReceiptEngine();

    void feed(QByteArrayView bytes);
    // The stream ends: the line waiting is printed, and a command the end
    // cut off is reported and dropped; what comes next starts afresh, at
    // offset 0. The receipt under way ends for the paper count too
    // (receiptDots() is 0 and overLength() false afterwards): one client
    // that sent 20 m without a cut must not leave the next one's receipt
    // over length before its first byte.
    void finish();
    // Cuts the paper, as a cut command does.
    void cut();

    // Rows of the receipt under way.
    qint64 receiptDots() const;
    // The receipt under way passed kMaxReceiptDots: it is no longer drawn.
    bool overLength() const;
    // Bytes read so far.
    qint64 offset() const;

    // A command skipped or not printed, with the stream offset it starts at.
    std::function<void(qint64 offset, const QString& text)> warning;
    // What the printer did besides printing: drawer kicks, beeps.
    std::function<void(const QString& text)> note;
    // Every unit, before it is obeyed (the emulator answers status requests).
    std::function<void(const Unit& unit)> unitSeen;
    // The flash was written (a logo, watermark or setting stored, or erased).
    std::function<void()> memoryChanged;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace rastiv
