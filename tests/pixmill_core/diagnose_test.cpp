// The load diagnosis the program shows in its error details.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "child.hpp"
#include "diagnose.hpp"

using namespace testing_support;
using pixmill::diagnose;
using pixmill::Reason;

namespace {

ByteVec with32(ByteVec v, size_t at, uint32_t x) {
    put32(v, at, x);
    return v;
}

TEST(Diagnose, EveryReasonAFileCanBeRefusedFor) {
    const ByteVec good = BmpBuilder(4, 4, 8).build();
    struct Case {
        const char* name;
        ByteVec file;
        Reason reason;
        const char* words;  // a part of the plain words that must be there
    };
    const Case cases[] = {
        {"palette picture", good, Reason::Accepted, "stops"},
        {"24 bits, large header, top-down", BmpBuilder(3, 2, 24).headerSize(124).topDown().build(), Reason::Accepted,
         "stops"},
        {"1 bit, short palette", BmpBuilder(9, 2, 1).storedEntries(1).build(), Reason::Accepted, "stops"},
        {"empty", ByteVec{}, Reason::Empty, "empty"},
        {"a zip file", ByteVec{'P', 'K', 3, 4, 0, 0}, Reason::NotBmp, "\"BM\""},
        {"just the signature", ByteVec{'B', 'M'}, Reason::Truncated, "ends after 2 bytes"},
        {"RLE8", BmpBuilder(4, 4, 8).compression(1).build(), Reason::Compressed, "RLE8"},
        {"RLE4", BmpBuilder(4, 4, 4).compression(2).build(), Reason::Compressed, "RLE4"},
        {"bit fields", BmpBuilder(4, 4, 16).compression(3).build(), Reason::Compressed, "bit fields"},
        {"JPEG inside", BmpBuilder(4, 4, 24).compression(4).build(), Reason::Compressed, "JPEG"},
        {"16 bits", BmpBuilder(4, 4, 16).build(), Reason::BitDepth, "16 bits per pixel"},
        {"32 bits", BmpBuilder(4, 4, 32).build(), Reason::BitDepth, "32 bits per pixel"},
        {"2 bits", BmpBuilder(4, 4, 2).build(), Reason::BitDepth, "2 bits per pixel"},
        {"OS/2 header", os2Bitmap(), Reason::Os2Header, "OS/2"},
        {"last byte missing", ByteVec(good.begin(), good.end() - 1), Reason::Truncated, "ends after 1093 bytes"},
        {"70000 wide", with32(good, 18, 70000), Reason::TooLarge, "70000 x 4 pixels"},
        {"70000 high, top-down", with32(good, 22, uint32_t(-70000)), Reason::TooLarge, "4 x 70000 pixels"},
        {"zero width", BmpBuilder(0, 4, 8).build(), Reason::NoPixels, "width or height is 0"},
        {"zero height", BmpBuilder(4, 0, 24).build(), Reason::NoPixels, "width or height is 0"},
        {"pixels inside the header", with32(good, 10, 20), Reason::Malformed, "damaged"},
        {"negative width", with32(good, 18, uint32_t(-4)), Reason::Malformed, "damaged"},
        {"header past the end", with32(good, 14, 0x10000000), Reason::Truncated, "ends after"},
    };
    TempDir tmp;
    for (const Case& c : cases) {
        writeFile(tmp.path("in.bmp"), c.file);
        const pixmill::Diagnosis d = diagnose(tmp.path("in.bmp"));
        EXPECT_EQ(d.reason, c.reason) << c.name << ": " << d.plainWords;
        EXPECT_NE(d.plainWords.find(c.words), std::string::npos) << c.name << ": " << d.plainWords;
    }
}

TEST(Diagnose, FilesThatCannotBeReadAtAll) {
    TempDir tmp;
    const std::string held = tmp.path("held.bmp"), fifo = tmp.path("fifo.bmp"), folder = tmp.path("folder.bmp");
    BmpBuilder(2, 2, 8).write(held);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    auto holder = std::make_unique<HeldOpen>(held);
    struct Case {
        std::string path;
        Reason reason;
    };
    const Case cases[] = {
        {tmp.path("missing.bmp"), Reason::Missing},
        {tmp.path("missing/in.bmp"), Reason::Missing},
        {folder, Reason::NotAFile},
        {fifo, Reason::NotAFile},  // and no wait for a writer
        {held, Reason::InUse},
    };
    for (const Case& c : cases) {
        const pixmill::Diagnosis d = diagnose(c.path);
        EXPECT_EQ(d.reason, c.reason) << c.path << ": " << d.plainWords;
        EXPECT_FALSE(d.plainWords.empty());
    }
    holder.reset();
    EXPECT_EQ(diagnose(held).reason, Reason::Accepted);  // a shared look, released again
    const int again = ::open(held.c_str(), O_RDONLY);
    EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
}

TEST(Diagnose, APictureTheUserMayNotRead) {
    TempDir tmp;
    ::chmod(tmp.dir().c_str(), 0755);
    const std::string secret = tmp.path("secret.bmp");
    BmpBuilder(2, 2, 8).write(secret);
    ::chmod(secret.c_str(), 0200);
    ChildOutcome r = runInChild(
        [&]() -> int32_t {
            if (::access(secret.c_str(), R_OK) == 0) return -1;  // this user reads anything
            return static_cast<int32_t>(diagnose(secret).reason);
        },
        {.unprivileged = true});
    if (!r.skipped.empty()) GTEST_SKIP() << "Needs a user who cannot read the test file: " << r.skipped;
    if (r.finished && r.value == -1) GTEST_SKIP() << "This user can read a write-only file; skipping.";
    EXPECT_TRUE(r.finished && r.value == static_cast<int32_t>(Reason::NoPermission)) << describe(r);
}

}  // namespace
