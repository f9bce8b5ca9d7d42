// The plain-words reason a refused picture gets, and where the operator reads it.
#include "core/loadproblem.hpp"
#include "fakes.hpp"

#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

ByteVec bytes(const char* text, size_t n) { return ByteVec(text, text + n); }

ByteVec truncated(ByteVec v, size_t n) {
    v.resize(n);
    return v;
}

}  // namespace

TEST(LoadProblem, NamesTheCommonReasonsAPictureIsRefused) {
    TempDir tmp;
    const ByteVec good = palettePicture(8, 4).build();
    ByteVec depth16 = good;
    put16(depth16, 28, 16);
    ByteVec flat = good;
    put32(flat, 18, 0);
    struct Row {
        const char* name;
        ByteVec content;
        const char* reason;
    } rows[] = {
        {"empty.bmp", {}, "The file is empty"},
        {"notes.bmp", bytes("hello!!!", 8), "The file is not a BMP bitmap: it does not start with \"BM\"."},
        {"photo.bmp", bytes("\x89PNG\r\n\x1a\n", 8), "The file is not a BMP bitmap"},
        {"shot.bmp", bytes("\xFF\xD8\xFF\xE0", 4), "The file is not a BMP bitmap"},
        {"logo.bmp", bytes("\x1D\x84\x01\x01\x01", 5), "The file is not a BMP bitmap"},
        {"short.bmp", truncated(good, 30), "The file is incomplete: it ends after 30 bytes"},
        {"cut.bmp", truncated(good, good.size() - 1), "The file is incomplete"},
        {"os2.bmp", BmpBuilder(8, 4, 8).headerSize(12).build(), "The bitmap has an OS/2 header"},
        {"rle.bmp", BmpBuilder(8, 4, 8).compression(1).build(), "The bitmap is RLE8 compressed"},
        {"rle4.bmp", BmpBuilder(8, 4, 4).compression(2).build(), "The bitmap is RLE4 compressed"},
        {"deep.bmp", depth16, "The bitmap has 16 bits per pixel; only 1, 4, 8 and 24 bits per pixel can be loaded."},
        {"flat.bmp", flat, "The picture has no pixels: its width or height is 0."},
    };
    for (const Row& r : rows) {
        const std::string path = tmp.path(r.name);
        writeFile(path, r.content);
        EXPECT_TRUE(loadProblem(QString::fromStdString(path)).startsWith(QString::fromLatin1(r.reason)))
            << r.name << ": " << loadProblem(QString::fromStdString(path)).toStdString();
    }
    EXPECT_TRUE(loadProblem(QString::fromStdString(tmp.path("nowhere.bmp"))).startsWith("The file does not exist"));
    EXPECT_TRUE(loadProblem(QString::fromStdString(tmp.path(""))).startsWith("This is not an ordinary file"));
}

TEST(LoadProblem, AFileThatCannotBeReadSaysSo) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir tmp;
    const QString path = QString::fromStdString(tmp.path("locked.bmp"));
    palettePicture(4, 4).write(path.toStdString());
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    EXPECT_EQ(loadProblem(path), "You do not have permission to read the file.");
}

TEST(LoadProblem, DetailsNameTheFileAndTheReason) {
    TempDir tmp;
    const QString path = QString::fromStdString(tmp.path("empty.bmp"));
    writeFile(path.toStdString(), {});
    EXPECT_TRUE(loadProblemDetails(path).startsWith(QStringLiteral("File: %1\nReason: The file is empty").arg(path)));
}
