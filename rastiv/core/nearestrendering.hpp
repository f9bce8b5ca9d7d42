// The printer rendering that looks nearest to a colour, chosen without
// asking anyone: the command-line tool gives every colour its nearest, and
// the mapping dialog proposes it for every colour not yet matched.  Nearest
// by how alike they look: CIELAB, D65 white, sRGB.
#pragma once

#include <cstdint>

#include "core/colourwork.hpp"

namespace rastiv {

struct Lab {
    double L = 0, a = 0, b = 0;
};

// The one conversion to CIELAB of the program and its tools.
// An sRGB channel (8 bits) in linear light, 0..1.
double linearOf(int channel);
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

}  // namespace rastiv
