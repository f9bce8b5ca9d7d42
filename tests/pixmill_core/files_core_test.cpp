// The file layer under the exports: reading a file that shrinks, writing
// edits back, and outputs that appear only when complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "ops.hpp"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

TEST(FileLayer, AFileThatShrinksAfterItsSizeWasTakenFailsTheReadInsteadOfCrashing) {
    TempDir tmp;
    const std::string path = tmp.path("in.bmp");
    writeFile(path, ByteVec(10000, 7));
    pixmill::File f;
    ASSERT_EQ(f.openExisting(path.c_str(), pixmill::Access::Read, pixmill::Share::None), pixmill::OpenProblem::None);
    ASSERT_EQ(f.size(), 10000);
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    std::vector<uint8_t> buf(10000);
    EXPECT_FALSE(f.readAt(0, buf.data(), buf.size()));
    EXPECT_TRUE(f.readAt(0, buf.data(), 100));
    EXPECT_FALSE(f.readAt(50, buf.data(), 51));
}

TEST(FileLayer, OpenRefusesWhatIsNotARegularFileWithoutWaiting) {
    TempDir tmp;
    ASSERT_EQ(::mkfifo(tmp.path("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(tmp.path("folder").c_str(), 0755), 0);
    struct Case {
        std::string path;
        int flags;
        int error;
    };
    const Case cases[] = {
        {tmp.path("fifo"), O_RDONLY, EINVAL},  {tmp.path("fifo"), O_WRONLY, ENXIO},
        {tmp.path("fifo"), O_RDWR, EINVAL},    {tmp.path("folder"), O_RDONLY, EISDIR},
        {"/dev/null", O_RDONLY, EINVAL},       {tmp.path("missing"), O_RDONLY, ENOENT},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(pixmill::openRegular(c.path.c_str(), c.flags), -1) << c.path;
        EXPECT_EQ(errno, c.error) << c.path << " " << c.flags;
    }
    writeFile(tmp.path("plain"), ByteVec{1});
    const int fd = pixmill::openRegular(tmp.path("plain").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);  // cleared again for the reads
    ::close(fd);
}

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

TEST(FileLayer, AnOutputAppearsOnlyWhenCommitted) {
    TempDir tmp;
    const std::string dst = tmp.path("out.bin");
    {
        pixmill::OutputFile out;
        ASSERT_TRUE(out.create(dst.c_str()));
        ASSERT_EQ(::write(out.fd(), "abc", 3), 3);
        EXPECT_FALSE(fs::exists(dst));
    }  // never committed: gone, temporary file and all
    EXPECT_TRUE(fs::is_empty(tmp.dir()));
    {
        pixmill::OutputFile out;
        ASSERT_TRUE(out.create(dst.c_str()));
        ASSERT_EQ(::write(out.fd(), "abc", 3), 3);
        EXPECT_TRUE(out.commit());
        EXPECT_FALSE(out.commit());  // once only
    }
    EXPECT_EQ(readFile(dst), (ByteVec{'a', 'b', 'c'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.dir()), fs::directory_iterator()), 1);
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
        {"24 bits to a palette export", BmpBuilder(2, 2, 24).build(), pixmill::kPaletteOnly,
         BmpProblem::UnsupportedDepth},
        {"8 bits to a true-colour export", BmpBuilder(2, 2, 8).build(), pixmill::kTrueColourOnly,
         BmpProblem::UnsupportedDepth},
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
