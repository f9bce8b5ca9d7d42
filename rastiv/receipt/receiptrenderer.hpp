// The receipt a printer of the family would print from the bytes it
// receives, kept as a strip of paper for the Virtual Printer window: a
// ReceiptEngine printing onto a roll that keeps its rows compressed in bands,
// so that a long receipt costs little memory, and that keeps where the paper
// was cut.  The roll keeps at most kMaxReceiptDots rows; the oldest go first.
#pragma once

#include <QByteArrayView>
#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "receipt/printermemory.hpp"
#include "receipt/receiptengine.hpp"

namespace rastiv {

class ReceiptRenderer final : private PaperSink {
public:
    static constexpr int kWidth = kPaperWidth;
    static constexpr int kCellWidth = 12;  // one font A character
    static constexpr int kLineHeight = 24;
    static constexpr int kColumns = kWidth / kCellWidth;

    // Palette indexes of the receipt image.
    enum Dot : uint8_t { White = kWhiteDot, Black = kBlackDot, Highlight = kHighlightDot };

    ReceiptRenderer();
    ~ReceiptRenderer() override;

    void feed(QByteArrayView bytes);

    // The paper so far: kWidth x height(), 8-bit indexed with the colours
    // white, black and the highlight colour at the indexes of Dot.  Null
    // while nothing is printed.
    QImage receipt() const { return section(0, height()); }
    // Rows [top, top + rows) of it.
    QImage section(int top, int rows) const;
    int height() const { return int(rows_); }
    // Rows at which the paper was cut, top to bottom.
    const QList<int>& cuts() const { return cuts_; }

    // Tears the paper off.  What the printer holds stays: stored logos, a
    // half-received command, text not yet printed, the justification.
    void clear();

    // The colour the paper's second colour is shown in while the paper type
    // does not set it; changes the dots already printed too.
    void setHighlight(const QColor& c) { fallback_ = c; }
    // The second colour shown: the paper type's, else the one set.
    QColor highlight() const { return paperHighlight(memory_.paperType, fallback_); }

    PrinterMemory& memory() { return memory_; }
    ReceiptEngine& engine() { return *engine_; }

    // Called after a feed() that lengthened the paper.
    std::function<void()> grew;

private:
    void rows(const uint8_t* dots, int count) override;
    void cut() override;
    void seal();

    static constexpr int kBand = 256;  // rows per compressed band
    PrinterMemory memory_;
    std::unique_ptr<ReceiptEngine> engine_;
    QList<QByteArray> bands_;  // full bands, compressed
    QByteArray open_;          // the band being filled, as dots
    qint64 rows_ = 0;
    QList<int> cuts_;
    QColor fallback_{255, 0, 0};
};

// Writes the image as a PNG file, one pixel per dot, completely or not at
// all; false with the reason when it cannot.
bool writePng(const QImage& image, const QString& path, QString& error);

}  // namespace rastiv
