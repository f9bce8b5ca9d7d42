// A picture of any format Qt reads turned into a file for the printer, by the
// same library calls and in the same steps as the program's dialogs: the
// conversion to 8 bits per pixel at loading, rotation, resizing, the
// automatic colour translation, a rendering for every colour left, and the
// save; or, for a photograph, the separation into dots.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <pixmill/pixmill.h>
#include <vector>

#include "cli/colourmatch.hpp"
#include "pageout/separation.hpp"

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
    // Set: the photograph is turned and scaled smoothly in full colour and
    // its tones kept in dots of paper, black and the highlight (the
    // library's separation); the colour translation and the mapping do not
    // apply.
    std::optional<SeparationSettings> photo;
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

// Who watches a conversion: told how far it is in percent (an estimate,
// never going back).  A signal ends the tool at once, so there is no asking
// whether to stop.
struct ConvertWatch {
    std::function<void(int percent)> progress;
};

// Runs the steps in the folder `work` (files there are the working bitmaps).
ConvertOutcome convertPicture(PixmillBinding& pm, const ConvertOptions& options, const QString& work,
                              const ConvertWatch& watch = {});

}  // namespace rastiv::cli
