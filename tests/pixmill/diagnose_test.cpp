// The load diagnosis a caller shows in its error details, through the C interface.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "child.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

struct Diagnosis {
    int32_t reason = -1;
    std::string plainWords;
};

Diagnosis diagnose(const std::string& path) {
    Diagnosis d;
    char text[PIXMILL_DIAGNOSIS_TEXT_SIZE];
    EXPECT_EQ(DiagnoseBitmap(path.c_str(), &d.reason, text, sizeof text), PIXMILL_OK) << path;
    d.plainWords = text;
    return d;
}

ByteVec with32(ByteVec v, size_t at, uint32_t x) {
    put32(v, at, x);
    return v;
}

TEST(Diagnose, EveryReasonAFileCanBeRefusedFor) {
    const ByteVec good = BmpBuilder(4, 4, 8).build();
    struct Case {
        const char* name;
        ByteVec file;
        int32_t reason;
        const char* words;  // a part of the plain words that must be there
    };
    const Case cases[] = {
        {"palette picture", good, PIXMILL_REASON_ACCEPTED, "stops"},
        {"24 bits, large header, top-down", BmpBuilder(3, 2, 24).headerSize(124).topDown().build(),
         PIXMILL_REASON_ACCEPTED, "stops"},
        {"1 bit, short palette", BmpBuilder(9, 2, 1).storedEntries(1).build(), PIXMILL_REASON_ACCEPTED, "stops"},
        {"empty", ByteVec{}, PIXMILL_REASON_EMPTY, "The file is empty"},
        {"a zip file", ByteVec{'P', 'K', 3, 4, 0, 0}, PIXMILL_REASON_NOT_BMP,
         "The file is not a BMP bitmap: it does not start with \"BM\"."},
        {"just the signature", ByteVec{'B', 'M'}, PIXMILL_REASON_TRUNCATED, "The file is incomplete: it ends after 2 bytes"},
        {"RLE8", BmpBuilder(4, 4, 8).compression(1).build(), PIXMILL_REASON_COMPRESSED, "The bitmap is RLE8 compressed"},
        {"RLE4", BmpBuilder(4, 4, 4).compression(2).build(), PIXMILL_REASON_COMPRESSED, "The bitmap is RLE4 compressed"},
        {"bit fields", BmpBuilder(4, 4, 16).compression(3).build(), PIXMILL_REASON_COMPRESSED, "bit fields"},
        {"JPEG inside", BmpBuilder(4, 4, 24).compression(4).build(), PIXMILL_REASON_COMPRESSED, "JPEG"},
        {"16 bits", BmpBuilder(4, 4, 16).build(), PIXMILL_REASON_BIT_DEPTH,
         "The bitmap has 16 bits per pixel; only 1, 4, 8 and 24 bits per pixel can be loaded."},
        {"32 bits", BmpBuilder(4, 4, 32).build(), PIXMILL_REASON_BIT_DEPTH, "32 bits per pixel"},
        {"2 bits", BmpBuilder(4, 4, 2).build(), PIXMILL_REASON_BIT_DEPTH, "2 bits per pixel"},
        {"OS/2 header", os2Bitmap(), PIXMILL_REASON_OS2_HEADER, "The bitmap has an OS/2 header"},
        {"last byte missing", ByteVec(good.begin(), good.end() - 1), PIXMILL_REASON_TRUNCATED, "ends after 1093 bytes"},
        {"70000 wide", with32(good, 18, 70000), PIXMILL_REASON_TOO_LARGE, "70000 x 4 pixels"},
        {"70000 high, top-down", with32(good, 22, uint32_t(-70000)), PIXMILL_REASON_TOO_LARGE, "4 x 70000 pixels"},
        {"zero width", BmpBuilder(0, 4, 8).build(), PIXMILL_REASON_NO_PIXELS,
         "The picture has no pixels: its width or height is 0."},
        {"zero height", BmpBuilder(4, 0, 24).build(), PIXMILL_REASON_NO_PIXELS, "width or height is 0"},
        {"zero height, 8 bits: loads empty", BmpBuilder(4, 0, 8).build(), PIXMILL_REASON_ACCEPTED, "Nothing"},
        {"pixels inside the header", with32(good, 10, 20), PIXMILL_REASON_MALFORMED, "damaged"},
        {"negative width", with32(good, 18, uint32_t(-4)), PIXMILL_REASON_MALFORMED, "damaged"},
        {"header past the end", with32(good, 14, 0x10000000), PIXMILL_REASON_TRUNCATED, "ends after"},
    };
    TempDir tmp;
    for (const Case& c : cases) {
        writeFile(tmp.path("in.bmp"), c.file);
        const Diagnosis d = diagnose(tmp.path("in.bmp"));
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
        int32_t reason;
    };
    const Case cases[] = {
        {tmp.path("missing.bmp"), PIXMILL_REASON_MISSING},
        {tmp.path("missing/in.bmp"), PIXMILL_REASON_MISSING},
        {folder, PIXMILL_REASON_NOT_A_FILE},
        {fifo, PIXMILL_REASON_NOT_A_FILE},  // and no wait for a writer
        {held, PIXMILL_REASON_IN_USE},
    };
    for (const Case& c : cases) {
        const Diagnosis d = diagnose(c.path);
        EXPECT_EQ(d.reason, c.reason) << c.path << ": " << d.plainWords;
        EXPECT_FALSE(d.plainWords.empty());
    }
    holder.reset();
    EXPECT_EQ(diagnose(held).reason, PIXMILL_REASON_ACCEPTED);  // a shared look, released again
    const int again = ::open(held.c_str(), O_RDONLY);
    EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
}

TEST(Diagnose, ArgumentsAndTheCallersBuffer) {
    TempDir tmp;
    const std::string empty = tmp.path("empty.bmp");
    writeFile(empty, {});
    int32_t reason = -1;
    char text[8] = "unset";
    EXPECT_EQ(DiagnoseBitmap(nullptr, &reason, text, 8), PIXMILL_E_NOTHING);
    EXPECT_EQ(DiagnoseBitmap(empty.c_str(), nullptr, text, 8), PIXMILL_E_NOTHING);
    EXPECT_EQ(DiagnoseBitmap(empty.c_str(), &reason, nullptr, 8), PIXMILL_E_NOTHING);
    EXPECT_EQ(DiagnoseBitmap(empty.c_str(), &reason, text, -1), PIXMILL_E_NOTHING);
    EXPECT_EQ(reason, -1);
    EXPECT_STREQ(text, "unset");
    EXPECT_EQ(DiagnoseBitmap(empty.c_str(), &reason, nullptr, 0), PIXMILL_OK);  // the reason alone
    EXPECT_EQ(reason, PIXMILL_REASON_EMPTY);
    EXPECT_EQ(DiagnoseBitmap(empty.c_str(), &reason, text, sizeof text), PIXMILL_OK);
    EXPECT_STREQ(text, "The fil");  // cut short, still a string
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
            const Diagnosis d = diagnose(secret);
            return d.plainWords == "You do not have permission to read the file." ? d.reason : -2;
        },
        {.unprivileged = true});
    if (!r.skipped.empty()) GTEST_SKIP() << "Needs a user who cannot read the test file: " << r.skipped;
    if (r.finished && r.value == -1) GTEST_SKIP() << "This user can read a write-only file; skipping.";
    EXPECT_TRUE(r.finished && r.value == PIXMILL_REASON_NO_PERMISSION) << describe(r);
}

}  // namespace
