// Whether the printer can print a palette picture as it stands, and if not,
// what the operator should do, for the visible second paragraph of a refusal.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

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

}  // namespace rastiv
