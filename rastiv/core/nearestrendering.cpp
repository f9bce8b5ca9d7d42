#include "core/nearestrendering.hpp"

#include <cmath>
#include <pixmill/pixmill.h>

namespace rastiv {

namespace {

// CIE 15: the cube root, with the straight segment near black.
double labF(double t) {
    constexpr double d = 6.0 / 29.0;
    return t > d * d * d ? std::cbrt(t) : t / (3 * d * d) + 4.0 / 29.0;
}

// sRGB primaries and D65 white; white (1, 1, 1) lands exactly on the white
// point below, so white paper is L 100, a 0, b 0.
constexpr double kM[3][3] = {{0.4124564, 0.3575761, 0.1804375},
                             {0.2126729, 0.7151522, 0.0721750},
                             {0.0193339, 0.1191920, 0.9503041}};
constexpr double kWhiteX = kM[0][0] + kM[0][1] + kM[0][2];
constexpr double kWhiteY = kM[1][0] + kM[1][1] + kM[1][2];
constexpr double kWhiteZ = kM[2][0] + kM[2][1] + kM[2][2];

}  // namespace

// IEC 61966-2-1: the sRGB transfer curve, undone.
double linearOf(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

Lab labFromLinear(double r, double g, double b) {
    const double x = kM[0][0] * r + kM[0][1] * g + kM[0][2] * b;
    const double y = kM[1][0] * r + kM[1][1] * g + kM[1][2] * b;
    const double z = kM[2][0] * r + kM[2][1] * g + kM[2][2] * b;
    const double fx = labF(x / kWhiteX), fy = labF(y / kWhiteY), fz = labF(z / kWhiteZ);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

Lab labFromSrgb(int r, int g, int b) { return labFromLinear(linearOf(r), linearOf(g), linearOf(b)); }

double deltaE(const Lab& x, const Lab& y) {
    return std::sqrt((x.L - y.L) * (x.L - y.L) + (x.a - y.a) * (x.a - y.a) + (x.b - y.b) * (x.b - y.b));
}

int32_t paperKindOf(Highlight h) { return h == Highlight::Red ? PIXMILL_PAPER_RED : PIXMILL_PAPER_BLUE; }
uint32_t highlightValue(Highlight h) { return h == Highlight::Red ? kRedValue : kBlueValue; }

Lab renderingLab(const PrinterColour& rendering, Highlight h) {
    const Rgb ink = rgbOf(rendering.highlight ? highlightValue(h) : kBlackValue);
    const double share = rendering.inkEighths / 8.0;
    const auto mix = [share](int channel) { return share * linearOf(channel) + (1 - share) * 1.0; };
    return labFromLinear(mix(ink.r), mix(ink.g), mix(ink.b));
}

int32_t nearestRendering(uint32_t colour, Highlight h) {
    const Rgb rgb = rgbOf(colour);
    const Lab c = labFromSrgb(rgb.r, rgb.g, rgb.b);
    int32_t best = 0;
    double bestDistance = 0;
    for (const PrinterColour& r : kPrinterColours) {
        const double d = deltaE(c, renderingLab(r, h));
        if (best == 0 || d < bestDistance || (d == bestDistance && r.code < best)) {
            best = r.code;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace rastiv
