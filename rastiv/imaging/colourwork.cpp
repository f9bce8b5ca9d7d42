#include "imaging/colourwork.hpp"

#include <cmath>

#include "app/numtext.hpp"
#include "app/pixmill.hpp"

namespace rastiv {

namespace {
constexpr int32_t kMaxSpeed = 10000;
constexpr int32_t kThresholdLimit = 30000;  // beyond this colours are too far apart to fold
constexpr int32_t kNoSuchRank = 18;
constexpr int kMaxUserColors = 9;
constexpr int32_t kMaxRank = 256;  // a palette has no more colours

// The whole-number part of the leading number, held to a 16-bit value so
// that absurd text cannot overflow; anything beyond the limits is refused anyway.
int16_t wholePart(const QString& text) {
    return int16_t(clampToInt(std::floor(leadingNumber(text)), INT16_MIN, INT16_MAX));
}

bool isSolid(int32_t code) { return code == 1 || code == 5 || code == 6; }
}  // namespace

const std::array<PrinterColour, 11> kPrinterColours{{
    {1, "Black", false, 100, 8},
    {2, "75% Black (2x2 Dithered)", false, 75, 6},
    {3, "50% Black (2x2 Dithered)", false, 50, 4},
    {4, "25% Black (2x2 Dithered)", false, 25, 2},
    {5, "White", false, 0, 0},
    {6, "Color", true, 100, 8},
    {7, "75% Color (2x2 Dithered)", true, 75, 6},
    {8, "50% Color (2x2 Dithered)", true, 50, 4},
    {9, "25% Color (2x2 Dithered)", true, 25, 2},
    {10, "37% Color (2x2 Dithered)", true, 37, 3},
    {11, "37% Black (2x2 Dithered) ", false, 37, 3},
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
    int32_t threshold = speed;
    bool collect = false;
    while (!collect) {
        if (hooks.cancelled && hooks.cancelled()) {
            run.cancelled = true;
            return run;
        }
        for (int rank = 1;; ++rank) {
            if (hooks.progress) hooks.progress(rank, threshold);
            const int32_t n = pm.NumColors(path, 1, 1);
            if (n == -1) {
                run.error = -1;
                return run;
            }
            if (n <= maxColours) {
                collect = true;
                break;
            }
            uint32_t colour = 0;
            int32_t percent = 0;
            const int32_t r = pm.FindMajorColor(path, rank, 1, 1, colour, percent);
            if (r == kNoSuchRank) {
                threshold += speed;
                break;
            }
            if (r != 0) {
                run.error = r;
                return run;
            }
            if (threshold > kThresholdLimit) {
                collect = true;
                break;
            }
            if (const int32_t m = pm.MergeColors(path, colour, threshold); m != 0) {
                run.error = m;
                return run;
            }
            if (hooks.merged) hooks.merged();
        }
    }

    for (int32_t k = 1; k <= kMaxRank; ++k) {
        uint32_t colour = 0;
        int32_t percent = 0;
        const int32_t r = pm.FindMajorColor(path, k, 0, 0, colour, percent);
        if (r == kNoSuchRank) break;
        if (r != 0) {
            run.error = r;
            break;
        }
        run.colours.push_back({colour, percent});
    }
    return run;
}

int32_t applyColourMapping(PixmillBinding& pm, const QString& path, const std::vector<ColourMapping>& mapping,
                           uint32_t highlight, int32_t paperKind) {
    for (const ColourMapping& m : mapping) {
        int32_t status = 0;
        switch (m.code) {
            case 1: status = pm.ColorSwap(path, m.colour, kBlackValue); break;
            case 5: status = pm.ColorSwap(path, m.colour, kWhiteValue); break;
            case 6: status = pm.ColorSwap(path, m.colour, highlight); break;
            default: break;
        }
        if (status != 0) return status;
    }
    for (const ColourMapping& m : mapping) {
        if (isSolid(m.code)) continue;
        if (const int32_t status = pm.DitheredColorSwap(path, m.colour, m.code, paperKind); status != 0)
            return status;
    }
    return 0;
}

}  // namespace rastiv
