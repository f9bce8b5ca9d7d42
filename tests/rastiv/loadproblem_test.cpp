// The plain-words reason a refused picture gets, and where the operator reads it.
#include "core/loadproblem.hpp"
#include "fakes.hpp"

#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

// The library's words, as the operator reads them.
TEST(LoadProblem, NamesTheCommonReasonsAPictureIsRefused) {
    World w;
    ByteVec deep = palettePicture(8, 4).build();
    put16(deep, 28, 16);
    writeFile(w.tmp.path("deep.bmp"), deep);
    EXPECT_EQ(loadProblem(w.pixmill, w.path("deep.bmp")),
              "The bitmap has 16 bits per pixel; only 1, 4, 8 and 24 bits per pixel can be loaded.");
    EXPECT_TRUE(loadProblem(w.pixmill, w.path("nowhere.bmp")).startsWith("The file does not exist"));
    EXPECT_TRUE(loadProblem(w.pixmill, w.path("")).startsWith("This is not an ordinary file"));
}

TEST(LoadProblem, DetailsNameTheFileAndTheReason) {
    World w;
    const QString path = w.path("empty.bmp");
    writeFile(path.toStdString(), {});
    const QString details = loadProblemDetails(w.pixmill, path);
    EXPECT_TRUE(details.startsWith(QStringLiteral("File: %1\nReason: The file is empty").arg(path)));
}
