// Colours in words, for the accessibility bus: what a screen reader says
// about a colour swatch ("olive green").
#pragma once

#include <QColor>
#include <QString>

namespace rastiv {

// The nearest of some thirty everyday colour names, by the distance the eye
// sees (CIELAB), so that a dark yellowish green reads "olive green".
QString colourName(const QColor& c);

}  // namespace rastiv
