// A picture of any format Qt reads turned into a file for the printer, by the
// same library calls and in the same steps as the program's dialogs: the
// conversion to 8 bits per pixel at loading, rotation, resizing, the
// automatic colour translation, a rendering for every colour left, and the
// save.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "cli/colourmatch.hpp"

namespace rastiv {
class PixmillBinding;
}

namespace rastiv::cli {

enum class OutputKind { Bmp, Gfx, Logo };

struct ConvertOptions {
    QString input;
    std::optional<int> width;  // 10..576; empty keeps the width
    int rotate = 0;            // 0, +90 (clockwise) or -90
    QString colours = QStringLiteral("5");   // as the translation dialog reads its boxes
    QString speed = QStringLiteral("500");
    Highlight highlight = Highlight::Red;
    OutputKind kind = OutputKind::Logo;
    QString output;
    std::optional<std::vector<MapLine>> map;  // empty: the nearest renderings
};

struct ConvertOutcome {
    bool ok = false;
    QString problem;  // why not, in a sentence
    // Each colour left after the translation, most frequent first, with the
    // rendering it was given.
    std::vector<std::pair<ImageColour, int32_t>> mapping;
};

// The picture's pixels on white paper: transparency composited onto white,
// EXIF orientation applied; a null image with the reason when it cannot be read.
QImage readPicture(const QString& path, QString& problem);

// Runs the steps in the folder `work` (files there are the working bitmaps).
// `progress`, when set, hears each translation step.
ConvertOutcome convertPicture(PixmillBinding& pm, const ConvertOptions& options, const QString& work,
                              const std::function<void(int rank, int32_t threshold)>& progress = {});

}  // namespace rastiv::cli
