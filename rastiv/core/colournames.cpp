#include "core/colournames.hpp"

#include <array>
#include <cmath>
#include <limits>

namespace rastiv {

namespace {

struct Named {
    const char* name;
    int r, g, b;
};

// Everyday names at their usual sRGB values.
constexpr Named kNames[] = {
    {"black", 0, 0, 0},           {"dark grey", 80, 80, 80},       {"grey", 128, 128, 128},
    {"light grey", 200, 200, 200}, {"white", 255, 255, 255},       {"red", 255, 0, 0},
    {"dark red", 139, 0, 0},       {"pink", 255, 182, 193},         {"salmon", 250, 128, 114},
    {"orange", 255, 140, 0},       {"brown", 139, 69, 19},          {"tan", 210, 180, 140},
    {"beige", 245, 245, 220},      {"gold", 255, 215, 0},           {"yellow", 255, 255, 0},
    {"olive green", 128, 128, 0},  {"lime green", 50, 205, 50},     {"green", 0, 160, 0},
    {"dark green", 0, 100, 0},     {"light green", 144, 238, 144},  {"teal", 0, 128, 128},
    {"turquoise", 64, 224, 208},   {"cyan", 0, 255, 255},           {"sky blue", 135, 206, 235},
    {"light blue", 173, 216, 230}, {"steel blue", 70, 130, 180},    {"blue", 0, 0, 255},
    {"navy blue", 0, 0, 128},      {"purple", 128, 0, 128},         {"violet", 238, 130, 238},
    {"magenta", 255, 0, 255},      {"lavender", 230, 230, 250},
};

using Lab = std::array<double, 3>;

// sRGB (D65) to CIELAB.
Lab toLab(int r8, int g8, int b8) {
    auto linear = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double r = linear(r8), g = linear(g8), b = linear(b8);
    const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

}  // namespace

QString colourName(const QColor& c) {
    const Lab want = toLab(c.red(), c.green(), c.blue());
    const char* best = kNames[0].name;
    double bestDistance = std::numeric_limits<double>::max();
    for (const Named& n : kNames) {
        const Lab have = toLab(n.r, n.g, n.b);
        const double d = std::pow(have[0] - want[0], 2) + std::pow(have[1] - want[1], 2) + std::pow(have[2] - want[2], 2);
        if (d < bestDistance) {
            bestDistance = d;
            best = n.name;
        }
    }
    return QString::fromLatin1(best);
}

}  // namespace rastiv
