// Whether the printer can print a palette picture as it stands, and if not,
// what the operator should do, for the details of a refusal.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

// Empty when every colour the pixels use prints on this paper (black, white
// and the paper's highlight colour: 1 red, 2 blue) or the picture cannot be
// read; otherwise the advice, in plain words.
QString unprintableColoursAdvice(const QString& path, int32_t paperKind);

}  // namespace rastiv
