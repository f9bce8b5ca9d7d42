// What may go to the printer as a logo file or a graphics file.
#include "core/printerfiles.hpp"

#include <gtest/gtest.h>

using namespace rastiv;

namespace {

QByteArray logo(uint8_t kind, uint8_t x, uint8_t y, int extra = 0) {
    QByteArray f("\x1D\x84", 2);
    f += char(kind);
    f += char(x);
    f += char(y);
    return f + QByteArray(x * y * 8 * kind + extra, '\x55');
}

QByteArray line(bool twoColour) {
    return QByteArray(twoColour ? "\x1D\x83" : "\x1D\x82", 2) + QByteArray(twoColour ? 144 : 72, '\x1D');
}

}  // namespace

TEST(PrinterFiles, ALogoIsOneWholeDefinition) {
    const struct {
        QByteArray bytes;
        const char* problem;
    } rows[] = {
        {logo(1, 1, 1), ""},
        {logo(2, 13, 2), ""},
        {logo(2, 255, 255), ""},
        {{}, "it is empty"},
        {QByteArray("\x1D\x84\x01", 3), "it ends inside its 5-byte header, after 3 bytes"},
        {QByteArray("BM\x01\x01\x01", 5), "it does not start with a logo definition (1D 84)"},
        {logo(3, 1, 1), "its kind is 3, where a logo is 1 (monochrome) or 2 (two-colour)"},
        {logo(1, 0, 4), "its width (X 0) or height (Y 4) is 0"},
        {logo(2, 4, 0), "its width (X 4) or height (Y 0) is 0"},
        {logo(1, 2, 1, -1), "it holds 20 bytes, but its header (kind 1, X 2, Y 1) calls for 21"},
        {logo(2, 1, 1, 1), "it holds 22 bytes, but its header (kind 2, X 1, Y 1) calls for 21"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(logoFileProblem(r.bytes), QString::fromLatin1(r.problem)) << r.bytes.left(8).toHex(' ').data();
}

TEST(PrinterFiles, AGraphicsFileIsWholeRasterLines) {
    const QByteArray mono = line(false), two = line(true);
    const struct {
        QByteArray bytes;
        const char* problem;
    } rows[] = {
        {mono, ""},
        {two + mono + two, ""},
        {{}, "it is empty"},
        {mono.left(73), "its last raster line is cut short: 73 of 74 bytes"},
        {two + two.left(2), "its last raster line is cut short: 2 of 146 bytes"},
        {mono + QByteArray("\x1D\x84", 2), "at byte 74 it does not go on with a raster line (1D 82 or 1D 83)"},
        {QByteArray("BM") + mono, "at byte 0 it does not go on with a raster line (1D 82 or 1D 83)"},
        {mono + QByteArray(1, '\x1D'), "at byte 74 it does not go on with a raster line (1D 82 or 1D 83)"},
    };
    for (const auto& r : rows) EXPECT_EQ(graphicsFileProblem(r.bytes), QString::fromLatin1(r.problem)) << r.problem;
}
