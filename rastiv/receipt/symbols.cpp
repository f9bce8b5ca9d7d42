#include "receipt/symbols.hpp"

#include <zint.h>

#include <memory>

namespace rastiv {

int barcodeSymbology(int m) {
    switch (m) {
        case 0: case 65: return BARCODE_UPCA;
        case 1: case 66: return BARCODE_UPCE;
        case 2: case 67: return BARCODE_EANX;
        case 3: case 68: return BARCODE_EANX;  // EAN-8: the same symbology, told by the length
        case 4: case 69: return BARCODE_CODE39;
        case 5: case 70: return BARCODE_C25INTER;
        case 6: case 71: return BARCODE_CODABAR;
        case 72: return BARCODE_CODE93;
        case 73: case 79: return BARCODE_CODE128;
        case 74: return BARCODE_GS1_128;
        case 75: return BARCODE_DBAR_OMN;
        case 76: return BARCODE_DBAR_STK;
        case 77: return BARCODE_DBAR_LTD;
        case 78: return BARCODE_DBAR_EXP;
        default: return 0;
    }
}

Modules encodeSymbol(int symbology, const QByteArray& data, int option1, int option2, int option3) {
    Modules m;
    const std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> s(ZBarcode_Create(), ZBarcode_Delete);
    if (!s) return m.error = QStringLiteral("out of memory"), m;
    s->symbology = symbology;
    s->option_1 = option1;
    s->option_2 = option2;
    s->option_3 = option3;
    s->show_hrt = 1;
    s->output_options = BARCODE_NO_QUIET_ZONES;
    s->input_mode = symbology == BARCODE_GS1_128 || symbology == BARCODE_DBAR_EXP ? GS1_MODE : DATA_MODE;
    const int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()));
    if (rc >= ZINT_ERROR) return m.error = QString::fromUtf8(s->errtxt), m;
    m.text = QString::fromUtf8(reinterpret_cast<const char*>(s->text));
    // One raster pixel per module (zint draws 2 * scale pixels per module),
    // without the human-readable text: the printer prints that in its own font.
    s->show_hrt = 0;
    s->scale = symbology == BARCODE_MAXICODE ? 1.0f : 0.5f;
    if (ZBarcode_Buffer(s.get(), 0) >= ZINT_ERROR || !s->bitmap) return m.error = QString::fromUtf8(s->errtxt), m;
    const int bw = s->bitmap_width, bh = s->bitmap_height;
    const auto darkAt = [&](int x, int y) { return s->bitmap[(size_t(y) * size_t(bw) + size_t(x)) * 3] < 128; };
    if (symbology == BARCODE_MAXICODE) {  // hexagons: the picture itself
        m.width = bw;
        m.height = bh;
        m.dark.resize(size_t(bw) * size_t(bh));
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) m.dark[size_t(y) * size_t(bw) + size_t(x)] = darkAt(x, y);
        return m;
    }
    // Each module sampled at its middle: rows of a stacked or 2D symbol may
    // be several pixels high.
    m.width = s->width;
    m.height = std::max(1, s->rows);
    m.dark.resize(size_t(m.width) * size_t(m.height));
    for (int r = 0; r < m.height; ++r)
        for (int c = 0; c < m.width; ++c) {
            const int x = std::min(bw - 1, (2 * c + 1) * bw / (2 * m.width));
            const int y = std::min(bh - 1, (2 * r + 1) * bh / (2 * m.height));
            m.dark[size_t(r) * size_t(m.width) + size_t(c)] = darkAt(x, y);
        }
    return m;
}

}  // namespace rastiv
