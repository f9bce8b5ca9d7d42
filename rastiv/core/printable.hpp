// Whether the printer can print a palette picture as it stands, and if not,
// what the operator should do, for the visible second paragraph of a refusal.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

class PixmillBinding;

// Empty when every colour the pixels use prints on this paper (black, white
// and the paper's highlight colour: 1 red, 2 blue) or the picture cannot be
// read; otherwise the reason and the way out, in plain words.
QString unprintableColoursAdvice(const QString& path, int32_t paperKind);

// Which of the two highlight colours, pure red and pure blue, the pixels use.
struct HighlightUse {
    bool red = false;
    bool blue = false;
};
HighlightUse highlightsUsed(const QString& path);

// More distinct colours than the few-colours path (Modify Colors) keeps
// well: a photograph, whose tones Photo keeps as printer dots instead.
inline constexpr int32_t kPhotographColours = 64;
// The number of distinct colours the pixels use; 0 when the library cannot tell.
int32_t coloursUsed(PixmillBinding& pm, const QString& path);
inline bool isPhotograph(int32_t colours) { return colours > kPhotographColours; }

// What keeps the printer from printing the picture as it stands.
struct PrintReadiness {
    bool tooWide = false;       // wider than the paper's 576 dots
    bool coloursReady = true;   // only black, white and the paper's highlight colour
    int32_t colours = 0;        // distinct colours the pixels use
    bool ready() const { return !tooWide && coloursReady; }
};
// A picture the library cannot read counts as ready: the print itself says
// what is wrong with the file.
PrintReadiness printReadiness(PixmillBinding& pm, const QString& path, uint32_t width, int32_t paperKind);

}  // namespace rastiv
