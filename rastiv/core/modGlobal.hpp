// The state the dialogs hand to each other.  The program holds one instance
// for its whole run (created in main); tests make their own.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <pixmill/pixmill.h>

#include "link/linkstate.hpp"

namespace rastiv {

struct modGlobal : LinkState {
    QString gOriginalBmp;              // the operator's own file, never written
    QString gCurrentBmp;               // working bitmap; empty = nothing loaded
    std::optional<uint32_t> gBmpWidth;   // of the bitmap shown last; empty before the first
    std::optional<uint32_t> gBmpHeight;
    QString gLogoFile;
    int16_t gTextSubSet = 0;
    bool gScreenRed = false;
    bool gScreenBlue = false;
    int32_t gMarkColor1 = 0x0000FF00;  // red highlight, library colour value
    int32_t gMarkColor2 = int32_t(0xFF000000u);  // blue highlight
    int16_t gTopLogoSpacing = 0;

    // The width the checks compare with 576: nothing shown yet counts as 0.
    uint32_t bmpWidthOrZero() const { return gBmpWidth.value_or(0); }
    // Paper kind for the encoders and the dithered swap.
    int32_t paperKind() const { return gScreenRed ? PIXMILL_PAPER_RED : PIXMILL_PAPER_BLUE; }
};

}  // namespace rastiv
