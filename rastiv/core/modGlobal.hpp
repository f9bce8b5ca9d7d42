// What the whole program shares for its whole run: the paper and its
// highlight colours, the top logo's spacing and the help index.  The
// program holds one instance (created in main); tests make their own.  The
// picture being worked on is not here: the main window owns it.
#pragma once

#include <QString>
#include <cstdint>
#include <pixmill/pixmill.h>

namespace rastiv {

struct modGlobal {
    // The help index, named once at start-up; also the help of every message box.
    QString gHelpFile;
    // The paper's highlight: red when set, blue otherwise.  Everything that
    // shows or encodes the highlight reads this one value.
    bool gScreenRed = false;
    int16_t gTopLogoSpacing = 0;

    // The highlight colours as library colour values.
    static constexpr uint32_t gMarkColor1 = 0x0000FF00u;  // red
    static constexpr uint32_t gMarkColor2 = 0xFF000000u;  // blue

    // The library colour value of this paper's highlight.
    uint32_t markColour() const { return gScreenRed ? gMarkColor1 : gMarkColor2; }

    // Paper kind for the encoders and the dithered swap.
    int32_t paperKind() const { return gScreenRed ? PIXMILL_PAPER_RED : PIXMILL_PAPER_BLUE; }
};

}  // namespace rastiv
