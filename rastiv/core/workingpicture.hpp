// The picture the operator is working on.  The main window owns it; the
// dialogs that read or change it are handed it.
#pragma once

#include "core/colourwork.hpp"

#include <QString>
#include <cstdint>
#include <optional>

namespace rastiv {

struct WorkingPicture {
    QString original;  // gOriginalBmp: the operator's own file, never written
    QString current;   // gCurrentBmp: the working bitmap; empty while nothing is loaded
    std::optional<uint32_t> width;  // of the bitmap shown last; empty before the first
    std::optional<uint32_t> height;
    int step = 1;           // the step the work has reached (1..5), where the marker stands
    ColourSession colours;  // what the colour steps last found out, as the mapping handed it back

    bool loaded() const { return !current.isEmpty(); }
    // The width the checks compare with 576: nothing shown yet counts as 0.
    uint32_t widthOrZero() const { return width.value_or(0); }
};

}  // namespace rastiv
