// Why a picture could not be loaded, in plain words for the operator.
#pragma once

#include <QString>

namespace rastiv {

// The reason a file is refused as a picture, as one sentence ("The file is
// empty.").  Asked only after the image library has refused the file, so it
// names the most likely cause and never claims the file is fine.
QString loadProblem(const QString& path);

// What the details of a load error show: the file and the reason.
QString loadProblemDetails(const QString& path);

}  // namespace rastiv
