// What the whole program shares for its whole run: the paper and its
// highlight colours, the top logo's spacing and the link's switches.  The
// program holds one instance (created in main); tests make their own.  The
// picture being worked on is not here: the main window owns it.
#pragma once

#include <cstdint>
#include <pixmill/pixmill.h>

#include "link/linkstate.hpp"

namespace rastiv {

struct modGlobal : LinkState {
    bool gScreenRed = false;
    bool gScreenBlue = false;
    int32_t gMarkColor1 = 0x0000FF00;  // red highlight, library colour value
    int32_t gMarkColor2 = int32_t(0xFF000000u);  // blue highlight
    int16_t gTopLogoSpacing = 0;

    // Paper kind for the encoders and the dithered swap.
    int32_t paperKind() const { return gScreenRed ? PIXMILL_PAPER_RED : PIXMILL_PAPER_BLUE; }
};

}  // namespace rastiv
