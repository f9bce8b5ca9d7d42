// Choosing a printer rendering for each colour of a picture: the nearest of
// the eleven renderings (core/nearestrendering.hpp), and the map files
// that choose by hand.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/colourwork.hpp"
#include "core/nearestrendering.hpp"

namespace rastiv::cli {

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
