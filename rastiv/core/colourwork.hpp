// The colour steps of the workflow without their dialogs: the automatic
// translation that folds a palette picture into a few dominant colours, and
// the re-map that gives each colour its printer rendering.  The dialogs and
// the command-line tool both run them, so a picture comes out the same
// whichever way it was made.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace rastiv {

class PixmillBinding;

// ---- The printer's renderings ----

// The eleven ways the printer can render a colour, by mapping code (a
// PixmillRendering, 1..11: also the index of the swatch in the mapping
// dialog plus one).
struct PrinterColour {
    int code;
    const char* tooltip;  // exact, also the swatch's accessible name
    bool highlight;       // printed in the highlight colour rather than black
    int coverage;         // percent of the dots inked, as the swatch reads: 100, 75, 50, 37, 25 or 0 (white)
    int inkEighths;       // the same share as the library's 8 x 8 dither inks it: 37 % is 3/8 exactly
};
extern const std::array<PrinterColour, 11> kPrinterColours;

// Library colour values of the solid renderings.
inline constexpr uint32_t kBlackValue = 0x00000000u;
inline constexpr uint32_t kWhiteValue = 0xFFFFFF00u;
inline constexpr uint32_t kRedValue = 0x0000FF00u;
inline constexpr uint32_t kBlueValue = 0xFF000000u;

// A library colour value's channels (blue in bits 31-24, green 23-16, red
// 15-8, the low byte unused), and the value of three channels.
struct Rgb {
    int r = 0, g = 0, b = 0;
};
inline constexpr Rgb rgbOf(uint32_t v) { return {int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int((v >> 24) & 0xFF)}; }
inline constexpr uint32_t colourValue(Rgb c) {
    return uint32_t(c.b & 0xFF) << 24 | uint32_t(c.g & 0xFF) << 16 | uint32_t(c.r & 0xFF) << 8;
}

// ---- Automatic colour translation ----

// One colour left after the translation, most frequent first, with its
// share of the picture's pixels in whole percent.
struct ImageColour {
    uint32_t colour = 0;  // library colour value
    int32_t percent = 0;
    bool operator==(const ImageColour&) const = default;
};
using ColourHandOver = std::vector<ImageColour>;

// The two inputs, checked in the order the operator is told about them.
struct ColourInputs {
    enum class Refusal { None, SpeedTooHigh, SpeedTooLow, TooFewColours, TooManyColours };
    Refusal refusal = Refusal::None;
    int16_t speed = 0;    // whole-number part: 2.9 is 2
    int16_t colours = 0;  // whole-number part
};
ColourInputs readColourInputs(const QString& numUserColors, const QString& colorSpeed);

// What a translation run reports while it works, and how it is stopped.
struct TranslationHooks {
    // Before each look at the colour count: the rank about to be folded and
    // the threshold of this pass.  Passes that would fold nothing are
    // skipped, and not heard.
    std::function<void(int rank, int32_t threshold)> progress;
    // After each fold that moved pixels, so that the picture can be shown
    // losing colours while the file is written only at the end: the palette
    // index the pixels of each index have now (256 entries), by the index
    // they had when the folds began.  The file holds the picture as the folds
    // began until the run ends.
    std::function<void(const uint8_t* indexNow)> shown;
    // True ends the run: asked after every progress report.
    std::function<bool()> cancelled;
};

struct Translation {
    ColourHandOver colours;  // collected so far, also after an error
    int32_t error = 0;       // the library's code that stopped the run (-1: the library cannot be called)
    bool cancelled = false;
};

// Folds the colours of the palette bitmap at `path` in place, from the most
// frequent down; every pass raises the threshold by `speed` until at most
// `maxColours` colours besides white and black are left or the threshold
// passes 30000.  Then lists the colours left, white and black included.
// The passes run on the picture's colour counts, read once: the cost grows
// with the folds made, not with the number of passes a small speed takes.
Translation translateColours(PixmillBinding& pm, const QString& path, int16_t maxColours, int16_t speed,
                             const TranslationHooks& hooks = {});

// ---- Re-map ----

struct ColourMapping {
    uint32_t colour = 0;  // library colour value
    int32_t code = 0;     // a PixmillRendering (0: none chosen)
};

// Rewrites the palette bitmap at `path` with the renderings: every solid one
// (black, white, the highlight colour) first, then every dithered one, each
// in the given order, because a dither needs the black, white and highlight
// entries that the solid swaps leave flagged.  Stops at the first non-zero
// status and returns it; the swaps before it stay.  When the swap of solid
// black has taken every free entry a dither needs, the mapping is made again
// from the picture as it was, with that swap last.  `highlight` is the
// library colour of the solid highlight, `paperKind` red or blue paper.
int32_t applyColourMapping(PixmillBinding& pm, const QString& path, const std::vector<ColourMapping>& mapping,
                           uint32_t highlight, int32_t paperKind);

// ---- The colour session ----

enum class Highlight;

// What the colour steps learn about one picture: the colours the translation
// left (most frequent first), the rendering the operator gives each, and the
// two inputs that led there.  The translation hands it to the mapping, and
// the mapping hands it back to the picture once Re-Map has applied it.
struct ColourSession {
    ColourSession(ColourHandOver found = {}) : colours(std::move(found)), codes(colours.size(), 0) {}

    ColourHandOver colours;
    std::vector<int32_t> codes;  // a PixmillRendering per colour; 0 while it has none
    int16_t wanted = 0;          // the number of user colours asked for
    int16_t speed = 0;

    // Every colour has its rendering, so Re-Map may run.
    bool complete() const;
    // Gives every colour still without a rendering the one nearest to it.
    void matchRest(Highlight h);
    std::vector<ColourMapping> mapping() const;
    bool operator==(const ColourSession&) const = default;
};

}  // namespace rastiv
