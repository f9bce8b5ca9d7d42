// Barcodes and 2D codes as dots, drawn by zint: the printer's commands say
// which symbol, its data and its sizes; zint knows how each symbology encodes.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace rastiv {

// A symbol as zint made it: one cell per module, row by row; `text` is the
// human-readable line under a barcode.
struct Modules {
    int width = 0, height = 0;
    std::vector<uint8_t> dark;
    QString text;
    QString error;  // why zint refused the data; then nothing else is set
    bool at(int x, int y) const { return dark[size_t(y) * size_t(width) + size_t(x)] != 0; }
};

// zint's symbology for GS k m (both functions); 0 for an unknown m.
int barcodeSymbology(int m);

// Encodes `data` as the zint symbology; `option1`..`option3` as zint reads
// them for that symbology (error correction, columns, ...).  MaxiCode is
// returned as a picture `scale` dots per zint pixel, not as modules.
Modules encodeSymbol(int symbology, const QByteArray& data, int option1 = -1, int option2 = 0, int option3 = 0);

}  // namespace rastiv
