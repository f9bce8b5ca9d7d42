#include "core/colournames.hpp"

#include <limits>

#include "core/nearestrendering.hpp"

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

}  // namespace

QString colourName(const QColor& c) {
    const Lab want = labFromSrgb(c.red(), c.green(), c.blue());
    const char* best = kNames[0].name;
    double bestDistance = std::numeric_limits<double>::max();
    for (const Named& n : kNames) {
        const double d = deltaE(labFromSrgb(n.r, n.g, n.b), want);
        if (d < bestDistance) {
            bestDistance = d;
            best = n.name;
        }
    }
    return QString::fromLatin1(best);
}

}  // namespace rastiv
