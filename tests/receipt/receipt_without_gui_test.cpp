// The receipt renderer in a program without a GUI application (a command-line
// tool): fonts are not available, so text keeps its layout as solid cells.
#include <gtest/gtest.h>

#include "receipt/receiptrenderer.hpp"

using namespace rastiv;

namespace {

TEST(ReceiptWithoutGui, TextIsOneBlockPerCharacterInItsCell) {
    ReceiptRenderer renderer;
    renderer.feed(QByteArray("A b\n") + QByteArray::fromHex("1B 61 02") + "C\n");
    const QImage receipt = renderer.receipt();
    ASSERT_EQ(receipt.size(), QSize(576, 48));
    const auto inked = [&](int cellX, int top) {
        int dots = 0;
        for (int y = top; y < top + 24; ++y)
            for (int x = cellX; x < cellX + 12; ++x) dots += receipt.pixelIndex(x, y) == ReceiptRenderer::Black;
        return dots;
    };
    const struct {
        int cellX, top, dots;
    } rows[] = {{0, 0, 8 * 12}, {12, 0, 0}, {24, 0, 8 * 12}, {36, 0, 0}, {564, 24, 8 * 12}, {552, 24, 0}};
    int total = 0;
    for (const auto& r : rows) {
        EXPECT_EQ(inked(r.cellX, r.top), r.dots) << r.cellX << "," << r.top;
        total += r.dots;
    }
    int all = 0;
    for (int y = 0; y < receipt.height(); ++y)
        for (int x = 0; x < receipt.width(); ++x) all += receipt.pixelIndex(x, y) == ReceiptRenderer::Black;
    EXPECT_EQ(all, total);  // nothing outside the cells
}

}  // namespace
