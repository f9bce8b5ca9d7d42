#include "core/colourwork.hpp"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/nearestrendering.hpp"
#include "core/numtext.hpp"
#include "core/pixmill.hpp"

namespace rastiv {

namespace {
constexpr int32_t kMaxSpeed = 10000;
constexpr int32_t kThresholdLimit = 30000;  // beyond this colours are too far apart to fold
constexpr int kMaxUserColors = 9;
constexpr int32_t kMaxRank = 256;  // a palette has no more colours

// The whole-number part of the leading number, held to a 16-bit value so
// that absurd text cannot overflow; anything beyond the limits is refused anyway.
int16_t wholePart(const QString& text) {
    return int16_t(clampToInt(std::floor(leadingNumber(text)), INT16_MIN, INT16_MAX));
}

bool isSolid(int32_t code) {
    return code == PIXMILL_RENDER_BLACK || code == PIXMILL_RENDER_WHITE || code == PIXMILL_RENDER_HIGHLIGHT;
}
}  // namespace

const std::array<PrinterColour, 11> kPrinterColours{{
    {PIXMILL_RENDER_BLACK, "Black", false, 100, 8},
    {PIXMILL_RENDER_BLACK_75, "75% Black (2x2 Dithered)", false, 75, 6},
    {PIXMILL_RENDER_BLACK_50, "50% Black (2x2 Dithered)", false, 50, 4},
    {PIXMILL_RENDER_BLACK_25, "25% Black (2x2 Dithered)", false, 25, 2},
    {PIXMILL_RENDER_WHITE, "White", false, 0, 0},
    {PIXMILL_RENDER_HIGHLIGHT, "Color", true, 100, 8},
    {PIXMILL_RENDER_HIGHLIGHT_75, "75% Color (2x2 Dithered)", true, 75, 6},
    {PIXMILL_RENDER_HIGHLIGHT_50, "50% Color (2x2 Dithered)", true, 50, 4},
    {PIXMILL_RENDER_HIGHLIGHT_25, "25% Color (2x2 Dithered)", true, 25, 2},
    {PIXMILL_RENDER_HIGHLIGHT_37, "37% Color (2x2 Dithered)", true, 37, 3},
    {PIXMILL_RENDER_BLACK_37, "37% Black (2x2 Dithered) ", false, 37, 3},
}};

ColourInputs readColourInputs(const QString& numUserColors, const QString& colorSpeed) {
    using R = ColourInputs::Refusal;
    ColourInputs in;
    if (leadingNumber(colorSpeed) > kMaxSpeed) {
        in.refusal = R::SpeedTooHigh;
        return in;
    }
    in.speed = wholePart(colorSpeed);
    if (colorSpeed.isEmpty() || in.speed < 1) {
        in.refusal = R::SpeedTooLow;
        return in;
    }
    in.colours = wholePart(numUserColors);
    if (numUserColors.isEmpty() || in.colours < 1) {
        in.refusal = R::TooFewColours;
        return in;
    }
    if (in.colours > kMaxUserColors) in.refusal = R::TooManyColours;
    return in;
}

Translation translateColours(PixmillBinding& pm, const QString& path, int16_t maxColours, int16_t speed,
                             const TranslationHooks& hooks) {
    Translation run;
    if (const int32_t r = pm.MergeBandW(path); r != 0) {
        run.error = r;
        return run;
    }
    // The library runs the passes on the picture's colour counts and writes
    // the picture once; a watcher of the folds hears each one as a remap.
    const auto step = [&](int32_t rank, int32_t threshold) {
        if (hooks.progress) hooks.progress(rank, threshold);
        return hooks.cancelled && hooks.cancelled();
    };
    const int32_t status = hooks.shown
                               ? pm.TranslateColorsShown(path, maxColours, speed, kThresholdLimit, step, hooks.shown)
                               : pm.TranslateColors(path, maxColours, speed, kThresholdLimit, step);
    if (status == PIXMILL_E_STOPPED) {
        run.cancelled = true;
        return run;
    }
    if (status != 0) {
        run.error = status;
        return run;
    }

    for (int32_t k = 1; k <= kMaxRank; ++k) {
        uint32_t colour = 0;
        int32_t percent = 0;
        const int32_t r = pm.FindMajorColor(path, k, 0, 0, colour, percent);
        if (r == PIXMILL_E_RANK) break;
        if (r != 0) {
            run.error = r;
            break;
        }
        run.colours.push_back({colour, percent});
    }
    return run;
}

namespace {

int32_t solidSwap(PixmillBinding& pm, const QString& path, const ColourMapping& m, uint32_t highlight) {
    switch (m.code) {
        case PIXMILL_RENDER_BLACK: return pm.ColorSwap(path, m.colour, kBlackValue);
        case PIXMILL_RENDER_WHITE: return pm.ColorSwap(path, m.colour, kWhiteValue);
        case PIXMILL_RENDER_HIGHLIGHT: return pm.ColorSwap(path, m.colour, highlight);
        default: return 0;
    }
}

// The swaps in the given order: solid ones (except the deferred one) first,
// then the dithered ones, then the deferred solid one.
int32_t swapInOrder(PixmillBinding& pm, const QString& path, const std::vector<ColourMapping>& mapping,
                    uint32_t highlight, int32_t paperKind, const ColourMapping* deferred) {
    for (const ColourMapping& m : mapping)
        if (&m != deferred)
            if (const int32_t status = solidSwap(pm, path, m, highlight); status != 0) return status;
    for (const ColourMapping& m : mapping) {
        if (isSolid(m.code)) continue;
        if (const int32_t status = pm.DitheredColorSwap(path, m.colour, m.code, paperKind); status != 0)
            return status;
    }
    return deferred ? solidSwap(pm, path, *deferred, highlight) : 0;
}

std::optional<QByteArray> readWhole(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
}

}  // namespace

int32_t applyColourMapping(PixmillBinding& pm, const QString& path, const std::vector<ColourMapping>& mapping,
                           uint32_t highlight, int32_t paperKind) {
    const ColourMapping* black = nullptr;
    bool dithers = false;
    for (const ColourMapping& m : mapping) {
        if (isSolid(m.code) && m.colour == kBlackValue) black = &m;
        dithers = dithers || !isSolid(m.code);
    }
    // A picture converted from true colour fills its palette up with unused
    // black entries.  A solid swap of black flags them all, and a dither
    // after it then finds no free entry for its white or highlight (17),
    // although nothing in the picture is wrong.  Such a mapping is tried
    // again from the untouched picture with the swap of black last, where
    // the dither takes those entries first.
    const auto before = black && dithers ? readWhole(path) : std::nullopt;
    const int32_t status = swapInOrder(pm, path, mapping, highlight, paperKind, nullptr);
    if (status != PIXMILL_E_NOTHING || !before) return status;
    QSaveFile restore(path);
    if (!restore.open(QIODevice::WriteOnly) || restore.write(*before) != before->size() || !restore.commit())
        return status;
    return swapInOrder(pm, path, mapping, highlight, paperKind, black);
}

bool ColourSession::complete() const {
    return std::all_of(codes.begin(), codes.end(), [](int32_t code) { return code != 0; });
}

void ColourSession::matchRest(Highlight h) {
    for (size_t i = 0; i < codes.size(); ++i)
        if (codes[i] == 0) codes[i] = nearestRendering(colours[i].colour, h);
}

std::vector<ColourMapping> ColourSession::mapping() const {
    std::vector<ColourMapping> out;
    for (size_t i = 0; i < colours.size(); ++i) out.push_back({colours[i].colour, codes[i]});
    return out;
}

}  // namespace rastiv
