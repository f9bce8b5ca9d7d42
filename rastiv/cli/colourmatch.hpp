// Choosing a printer rendering for each colour of a picture without asking
// anyone: the nearest of the eleven renderings by how alike they look
// (CIELAB, D65 white, sRGB), and the map files that choose by hand.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/colourwork.hpp"

namespace rastiv::cli {

struct Lab {
    double L = 0, a = 0, b = 0;
};

// An sRGB colour (8 bits a channel) in CIELAB.
Lab labFromSrgb(int r, int g, int b);
// Linear-light RGB (0..1 a channel) in CIELAB.
Lab labFromLinear(double r, double g, double b);
// The CIE 1976 colour difference: the distance in CIELAB.
double deltaE(const Lab& x, const Lab& y);

enum class Highlight { Red, Blue };
int32_t paperKindOf(Highlight h);
uint32_t highlightValue(Highlight h);  // pure red or pure blue as a library colour value

// What a rendering looks like from a step away: its dots and the paper
// between them average out in light, so a dithered rendering is its dot
// colour and white mixed in linear light in the dither's proportion.
Lab renderingLab(const PrinterColour& rendering, Highlight h);

// The code (1..11) of the rendering nearest to the colour (a library colour
// value); on a tie the lower code.
int32_t nearestRendering(uint32_t colour, Highlight h);

// "RRGGBB" of a library colour value, and back.
QString hexOf(uint32_t colour);
std::optional<uint32_t> colourOfHex(QStringView hex);

// A map file: one colour a line, "RRGGBB code" with the code 1..11; blank
// lines and everything after a "#" are ignored.
struct MapLine {
    uint32_t colour = 0;  // library colour value
    int32_t code = 0;
};
// False with the reason (naming the line) when the text is not a map file.
bool parseMapFile(const QByteArray& text, std::vector<MapLine>& lines, QString& problem);

// One line of a map file for the colour, with a comment naming the
// rendering and the colour's share of the picture.
QString mapFileLine(const ImageColour& c, int32_t code);

}  // namespace rastiv::cli
