// Where a picture narrower than the paper lands on it.  The printer starts
// every raster line at its left edge, so a picture is moved by giving it a
// white margin on its left before it is encoded: the encoder then writes the
// same raster lines it would for a wider picture, blanks included.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

class PixmillBinding;
class SettingsStore;

enum class Placement { Left, Centre, Right };

// "Left", "Centre", "Right", as the settings keep them and the lists show them.
QString placementName(Placement p);
// Anything unknown reads as Left, the printer's own place.
Placement placementFromName(const QString& name);
Placement storedPlacement(const SettingsStore& settings);
void storePlacement(SettingsStore& settings, Placement p);

// Dots of white before the first dot of a picture `width` dots wide on a
// line of `lineDots`: whole dots, a centred odd margin rounded down.
int placementMargin(Placement p, int width, int lineDots = 576);

// Writes `bitmap` with `margin` white pixels on its left as an 8-bit bitmap
// with the same palette (white added when it has none), completely or not at
// all.  Empty on success, otherwise why not.
QString writeWithLeftMargin(const QString& bitmap, int margin, const QString& destination);

// The graphics file of `bitmap` placed on the paper: the library's own
// encoding of the bitmap, or of a copy with its margin written to
// `scratch` when the picture moves.  A library result code; a copy that
// cannot be written counts as the destination that cannot be (10).
int32_t saveBMPAsPlacedGfx(PixmillBinding& pixmill, const QString& bitmap, const QString& destination,
                           int32_t paperKind, Placement p, const QString& scratch);

}  // namespace rastiv
