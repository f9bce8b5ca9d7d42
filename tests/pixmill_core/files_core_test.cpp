// The file layer under the exports: writing edits back, and the layout
// reasons the exports tell apart.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "ops.hpp"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

TEST(FileLayer, EditsAreWrittenBackBlockByBlockAndNeverIntoAFileCutShort) {
    TempDir tmp;
    const std::string path = tmp.path("e.bmp");
    // 1078 bytes of headers and palette, then 3 rows of 4000 pixels: four 4096-byte blocks.
    const ByteVec original = BmpBuilder(4000, 3, 8).colours({kBlack, kWhite}).build();
    writeFile(path, original);
    {
        pixmill::EditBitmap bmp;
        ASSERT_EQ(pixmill::openForEdit(path.c_str(), pixmill::kPaletteOnly, bmp), pixmill::kOk);
        bmp.view.mutableRow(2)[3999] = 1;  // last block only
        // Another program changes the first block meanwhile; a block we did
        // not change is not written back over it.
        const int other = ::open(path.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(other, "XY", 2, 100), 2);
        ::close(other);
        EXPECT_EQ(bmp.save(pixmill::kOk), pixmill::kOk);
    }
    ByteVec expected = original;
    expected[100] = 'X';
    expected[101] = 'Y';
    expected[1078 + 2 * 4000 + 3999] = 1;
    EXPECT_EQ(readFile(path), expected);

    {
        pixmill::EditBitmap bmp;
        ASSERT_EQ(pixmill::openForEdit(path.c_str(), pixmill::kPaletteOnly, bmp), pixmill::kOk);
        bmp.view.mutableEntry(1)[3] = 1;
        ASSERT_EQ(::truncate(path.c_str(), 500), 0);
        EXPECT_EQ(bmp.save(pixmill::kNothing), pixmill::kIo);
    }
    EXPECT_EQ(fs::file_size(path), 500u);  // not grown again around a hole
}

TEST(FileLayer, TheLayoutReasonsEachExportTellsApart) {
    struct Case {
        const char* name;
        ByteVec file;
        pixmill::Accept accept;
        pixmill::BmpProblem problem;
    };
    using pixmill::BmpProblem;
    const Case cases[] = {
        {"top-down where rows must be bottom-up", BmpBuilder(2, 2, 8).topDown().build(), pixmill::kPaletteOnly,
         BmpProblem::UnsupportedTopDown},
        {"top-down where either order is read", BmpBuilder(2, 2, 8).topDown().build(), pixmill::Accept{true, false, true},
         BmpProblem::None},
    };
    for (const Case& c : cases) {
        pixmill::BmpLayout layout;
        EXPECT_EQ(pixmill::readLayout(c.file, c.file.size(), c.accept, layout), c.problem) << c.name;
    }
    // The first 54 bytes and the size decide: the rows themselves are not needed.
    const ByteVec big = BmpBuilder(300, 200, 8).build();
    pixmill::BmpLayout layout;
    EXPECT_EQ(pixmill::readLayout({big.data(), 54}, big.size(), pixmill::kPaletteOnly, layout), BmpProblem::None);
    EXPECT_EQ(layout.extent(), big.size());
    EXPECT_EQ(pixmill::readLayout({big.data(), 54}, big.size() - 1, pixmill::kPaletteOnly, layout),
              BmpProblem::Truncated);
}

}  // namespace
