// Why a picture could not be loaded, in plain words for the operator.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

class PixmillBinding;

// The reason a file is refused as a picture, as one sentence ("The file is
// empty.").  Asked only after the image library has refused the file, so it
// names the most likely cause and never claims the file is fine.
QString loadProblem(PixmillBinding& pm, const QString& path);

// What the details of a load error show: the file and the reason.
QString loadProblemDetails(PixmillBinding& pm, const QString& path);

// The visible second paragraph of a load error: the reason and what to do
// about it ("The file does not exist ...  Check its name and folder ...").
QString loadAdvice(PixmillBinding& pm, const QString& path);

// A bitmap the image library does not read although it is a proper picture
// (RLE compressed, 16 or 32 bits per pixel, an OS/2 header): the picture
// readers may load it instead.
bool leftToPictureReaders(PixmillBinding& pm, const QString& path);

// The second paragraph of a library error on the working copy of the
// picture, and, when saving, on the file chosen: for status 10 and 11, which
// of the two cannot be used and why; empty for any other status.
QString fileAdvice(PixmillBinding& pm, int32_t status, const QString& working, const QString& destination = {});

}  // namespace rastiv
