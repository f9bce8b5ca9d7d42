// Checks of the printer's own file formats before a file goes to the
// printer: a file the printer cannot take whole leaves it waiting for data
// that never comes, or takes the rest of the line for picture data.
#pragma once

#include <QByteArray>
#include <QString>

namespace rastiv {

// Empty when the bytes are one whole logo definition: 1D 84, kind 1
// (monochrome) or 2 (two-colour), X and Y not 0, then exactly X * Y * 8 *
// kind bytes.  Otherwise why not, as the end of a sentence ("it is empty").
QString logoFileProblem(const QByteArray& bytes);

// Empty when the bytes are whole raster lines, one or more: 1D 82 and 72
// bytes (monochrome) or 1D 83 and 144 bytes (two-colour) each.
QString graphicsFileProblem(const QByteArray& bytes);

// A file is asked to be played back as a recording, but it starts as a
// bitmap does.
bool looksLikeBitmap(const QString& path);

}  // namespace rastiv
