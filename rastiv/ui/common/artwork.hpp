// The product's artwork, drawn rather than shipped as a file.
#pragma once

#include <QPixmap>

namespace rastiv {

// A receipt-printer style banner: "Rastiv" in black over a highlight stripe.
QPixmap productArtwork(int width, int height);

}  // namespace rastiv
