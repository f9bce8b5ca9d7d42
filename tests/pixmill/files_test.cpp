// How the exports treat files: outputs replaced whole or not at all, inputs
// that are read-only, FIFOs, or cut short by another program during a call.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "child.hpp"
#include "pixmill/pixmill.h"
#include "read_faults.hpp"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

using Call = std::function<int32_t(const std::string& source, const std::string& destination)>;

// Every export that writes a destination, with a source it accepts.
struct Writer {
    const char* name;
    Call call;
    int32_t cannotCreate;  // the export's code for a destination it cannot write
};

ByteVec palettePicture() {
    return BmpBuilder(64, 64, 8).colours({kBlack, kWhite, kRed}).each([](uint32_t x, uint32_t y) {
        return (x + y) % 3;
    }).build();
}
ByteVec trueColourPicture() {
    return BmpBuilder(64, 64, 24).each([](uint32_t x, uint32_t y) { return rgb(uint8_t(x * 4), uint8_t(y * 4), 9); })
        .build();
}

const std::vector<Writer>& writers() {
    static const std::vector<Writer> all = {
        {"SaveBMP", [](auto& s, auto& d) { return SaveBMP(s.c_str(), d.c_str()); }, PIXMILL_E_OPEN},
        {"SaveBMPAsGfx", [](auto& s, auto& d) { return SaveBMPAsGfx(s.c_str(), d.c_str(), 1); }, PIXMILL_E_OPEN},
        {"SaveBMPAsLogo", [](auto& s, auto& d) { return SaveBMPAsLogo(s.c_str(), d.c_str(), 1); }, PIXMILL_E_OPEN},
        {"StretchBitmap", [](auto& s, auto& d) { return StretchBitmap(0, d.c_str(), s.c_str()); }, PIXMILL_E_CREATE},
        {"RotateBitmap", [](auto& s, auto& d) { return RotateBitmap(s.c_str(), d.c_str(), 1); }, PIXMILL_E_OPEN},
        {"Convert24to8Bits", [](auto& s, auto& d) { return Convert24to8Bits(s.c_str(), d.c_str()); },
         PIXMILL_E_CREATE},
        {"MakeMMBitmap", [](auto& s, auto& d) { return MakeMMBitmap(s.c_str(), d.c_str(), 1, 2, 3, 4); },
         PIXMILL_E_CREATE},
    };
    return all;
}
bool readsTrueColour(const Writer& w) {
    return std::string(w.name) == "Convert24to8Bits" || std::string(w.name) == "MakeMMBitmap";
}

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

mode_t modeOf(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class Files : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) { return tmp.path(name); }
};

TEST_F(Files, ARefusedOrFailedWriteLeavesTheDestinationAsItWas) {
    const ByteVec unprintable = BmpBuilder(16, 4, 8).colours({kBlack, rgb(0, 128, 0)}).fill(1).build();
    const ByteVec wide = BmpBuilder(600, 2, 8).colours({kBlack, kWhite}).fill(1).build();
    const ByteVec inkDot = BmpBuilder(1, 1, 24).fill(kBlack).build();
    struct Case {
        const char* name;
        ByteVec source;
        Call call;
        rlim_t fileSizeLimit;  // 0: none; else writes past it fail as on a full disk
        int32_t code;
    };
    const Case cases[] = {
        {"graphics file of an unprintable picture", unprintable,
         [](auto& s, auto& d) { return SaveBMPAsGfx(s.c_str(), d.c_str(), 1); }, 0, PIXMILL_E_FORMAT},
        {"graphics file of a picture too wide", wide,
         [](auto& s, auto& d) { return SaveBMPAsGfx(s.c_str(), d.c_str(), 1); }, 0, PIXMILL_E_FORMAT},
        {"logo file of an unprintable picture", unprintable,
         [](auto& s, auto& d) { return SaveBMPAsLogo(s.c_str(), d.c_str(), 2); }, 0, PIXMILL_E_FORMAT},
        {"rotation in no known direction", palettePicture(),
         [](auto& s, auto& d) { return RotateBitmap(s.c_str(), d.c_str(), 3); }, 0, PIXMILL_E_NOTHING},
        {"crop frame wider than any picture", inkDot,
         [](auto& s, auto& d) { return MakeMMBitmap(s.c_str(), d.c_str(), 0, 32768, 65535, 65535); }, 1 << 20,
         PIXMILL_E_FORMAT},
        {"copy onto a full disk", palettePicture(), [](auto& s, auto& d) { return SaveBMP(s.c_str(), d.c_str()); },
         2000, PIXMILL_E_IO},
        {"stretch onto a full disk", palettePicture(),
         [](auto& s, auto& d) { return StretchBitmap(0, d.c_str(), s.c_str()); }, 2000, PIXMILL_E_IO},
        {"rotation onto a full disk", palettePicture(),
         [](auto& s, auto& d) { return RotateBitmap(s.c_str(), d.c_str(), 2); }, 2000, PIXMILL_E_IO},
        {"graphics file onto a full disk", BmpBuilder(64, 64, 8).colours({kBlack, kWhite}).fill(0).build(),
         [](auto& s, auto& d) { return SaveBMPAsGfx(s.c_str(), d.c_str(), 1); }, 2000, PIXMILL_E_IO},
        {"logo file onto a full disk", BmpBuilder(512, 64, 8).colours({kBlack, kWhite}).fill(0).build(),
         [](auto& s, auto& d) { return SaveBMPAsLogo(s.c_str(), d.c_str(), 1); }, 2000, PIXMILL_E_IO},
        {"conversion onto a full disk", trueColourPicture(),
         [](auto& s, auto& d) { return Convert24to8Bits(s.c_str(), d.c_str()); }, 1500, PIXMILL_E_IO},
        {"crop onto a full disk", trueColourPicture(),
         [](auto& s, auto& d) { return MakeMMBitmap(s.c_str(), d.c_str(), 0, 0, 0, 0); }, 1500, PIXMILL_E_IO},
    };
    const ByteVec oldBytes(700, 'o');
    for (const Case& c : cases) {
        for (bool existing : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (existing ? ", replacing a file" : ", new name"));
            TempDir dir;
            const std::string src = dir.path("source.bmp"), dst = dir.path("existing.gfx");
            writeFile(src, c.source);
            if (existing) {
                writeFile(dst, oldBytes);
                ::chmod(dst.c_str(), 0640);
            }
            const std::set<std::string> before = filesIn(dir.dir());
            ChildOutcome r = runInChild([&] { return c.call(src, dst); }, {.fileSizeLimit = c.fileSizeLimit});
            if (!r.skipped.empty()) GTEST_SKIP() << r.skipped;
            EXPECT_TRUE(r.finished && r.value == c.code) << describe(r);
            EXPECT_EQ(filesIn(dir.dir()), before) << "no temporary file, no new destination";
            if (existing) {
                EXPECT_EQ(readFile(dst), oldBytes);
                EXPECT_EQ(modeOf(dst), 0640u);
            }
            EXPECT_EQ(readFile(src), c.source);
        }
    }
}

TEST_F(Files, AWriteReplacesTheFileALinkPointsToAndKeepsItsPermissions) {
    writeFile(p("source.bmp"), palettePicture());
    ::mkdir(p("out").c_str(), 0755);
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        const std::string src = readsTrueColour(w) ? p("true.bmp") : p("source.bmp");
        writeFile(p("true.bmp"), trueColourPicture());
        // The result of writing to a fresh name, to compare the others with.
        fs::remove(p("out/fresh"));
        ASSERT_EQ(w.call(src, p("out/fresh")), 0);
        const ByteVec expected = readFile(p("out/fresh"));
        ASSERT_FALSE(expected.empty());

        writeFile(p("out/kept"), ByteVec(5, 'k'));
        ::chmod(p("out/kept").c_str(), 0604);
        EXPECT_EQ(w.call(src, p("out/kept")), 0);
        EXPECT_EQ(readFile(p("out/kept")), expected);
        EXPECT_EQ(modeOf(p("out/kept")), 0604u);

        // A link to an existing file, and a dangling one, relative to their folder.
        writeFile(p("out/target"), ByteVec(5, 't'));
        fs::remove(p("out/link"));
        fs::remove(p("out/dangling"));
        fs::remove(p("out/made"));
        fs::create_symlink("target", p("out/link"));
        fs::create_symlink("made", p("out/dangling"));
        EXPECT_EQ(w.call(src, p("out/link")), 0);
        EXPECT_TRUE(fs::is_symlink(p("out/link")));
        EXPECT_EQ(readFile(p("out/target")), expected);
        EXPECT_EQ(w.call(src, p("out/dangling")), 0);
        EXPECT_TRUE(fs::is_symlink(p("out/dangling")));
        EXPECT_EQ(readFile(p("out/made")), expected);

        // A new file gets what the umask gives any new file.
        fs::remove(p("out/umask"));
        const mode_t old = ::umask(027);
        const int32_t r = w.call(src, p("out/umask"));
        ::umask(old);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(modeOf(p("out/umask")), 0640u);
        EXPECT_EQ(filesIn(p("out")),
                  (std::set<std::string>{"dangling", "fresh", "kept", "link", "made", "target", "umask"}));
    }
}

TEST_F(Files, ADestinationThatCannotBeWrittenIsRefusedWithTheSameCodeAsEver) {
    writeFile(p("source.bmp"), palettePicture());
    writeFile(p("true.bmp"), trueColourPicture());
    ::mkdir(p("folder.bmp").c_str(), 0755);
    ::mkfifo(p("fifo.bmp").c_str(), 0644);
    writeFile(p("held.bmp"), ByteVec(5, 'h'));
    HeldOpen held(p("held.bmp"));
    const std::string cases[] = {"missing/dst.bmp", "folder.bmp", "fifo.bmp", "held.bmp"};
    for (const Writer& w : writers()) {
        const std::string src = readsTrueColour(w) ? p("true.bmp") : p("source.bmp");
        for (const std::string& dst : cases) {
            SCOPED_TRACE(std::string(w.name) + " to " + dst);
            EXPECT_EQ(w.call(src, p(dst)), w.cannotCreate);
        }
        // The source itself: held by the export while it writes.
        EXPECT_EQ(w.call(src, src), w.cannotCreate) << w.name;
    }
    EXPECT_EQ(readFile(p("held.bmp")), ByteVec(5, 'h'));
    EXPECT_TRUE(fs::is_fifo(p("fifo.bmp")));
    EXPECT_EQ(readFile(p("source.bmp")), palettePicture());
    EXPECT_EQ(filesIn(tmp.dir()), (std::set<std::string>{"fifo.bmp", "folder.bmp", "held.bmp", "source.bmp", "true.bmp"}));
}

// Runs `call` as a user who may read the source but not write it.
ChildOutcome asReader(const std::string& source, const std::function<int32_t()>& call) {
    return runInChild(
        [&]() -> int32_t {
            if (::access(source.c_str(), W_OK) == 0) return INT32_MIN;  // still writable: cannot test
            return call();
        },
        {.unprivileged = true});
}

TEST_F(Files, AReadOnlyPictureIsReadByEveryExportThatOnlyReadsIt) {
    // Folders the unprivileged child can enter and write in.
    ::chmod(tmp.dir().c_str(), 0755);
    ::mkdir(p("out").c_str(), 0777);
    ::chmod(p("out").c_str(), 0777);
    writeFile(p("pal.bmp"), palettePicture());
    writeFile(p("true.bmp"), trueColourPicture());
    ::chmod(p("pal.bmp").c_str(), 0444);
    ::chmod(p("true.bmp").c_str(), 0444);
    const std::string pal = p("pal.bmp"), tc = p("true.bmp"), out = p("out/dst.bmp");
    struct Case {
        const char* name;
        const std::string& source;
        std::function<int32_t()> call;
        int32_t expected;
    };
    uint32_t colour = 0;
    int32_t percent = 0;
    const Case cases[] = {
        {"IsBitmap", pal, [&] { return IsBitmap(pal.c_str()); }, 1},
        {"Is24BitsPerPixel", tc, [&] { return Is24BitsPerPixel(tc.c_str()); }, 1},
        {"Convert24to8Bits", tc, [&] { return Convert24to8Bits(tc.c_str(), out.c_str()); }, 0},
        {"FindMajorColor", pal, [&] { return FindMajorColor(pal.c_str(), 1, 0, 0, &colour, &percent); }, 0},
        {"StretchBitmap", pal, [&] { return StretchBitmap(0, out.c_str(), pal.c_str()); }, 0},
        {"SaveBMPAsGfx", pal, [&] { return SaveBMPAsGfx(pal.c_str(), out.c_str(), 1); }, 0},
        {"SaveBMPAsLogo", pal, [&] { return SaveBMPAsLogo(pal.c_str(), out.c_str(), 1); }, 0},
        {"NumColors", pal, [&] { return NumColors(pal.c_str(), 0, 0); }, 3},
        {"RotateBitmap", pal, [&] { return RotateBitmap(pal.c_str(), out.c_str(), 1); }, 0},
        {"SaveBMP", pal, [&] { return SaveBMP(pal.c_str(), out.c_str()); }, 0},
        {"MakeMMBitmap", tc, [&] { return MakeMMBitmap(tc.c_str(), out.c_str(), 0, 0, 0, 0); }, 0},
        // Editing still needs the right to write.
        {"CleanBMP", pal, [&] { return CleanBMP(pal.c_str()); }, PIXMILL_E_OPEN},
        {"ColorSwap", pal, [&] { return ColorSwap(pal.c_str(), kRed, kBlack); }, PIXMILL_E_OPEN},
    };
    for (const Case& c : cases) {
        ChildOutcome r = asReader(c.source, c.call);
        if (!r.skipped.empty()) GTEST_SKIP() << "Needs a user who cannot write the test files: " << r.skipped;
        if (r.finished && r.value == INT32_MIN) GTEST_SKIP() << "This user can write read-only files; skipping.";
        EXPECT_TRUE(r.finished && r.value == c.expected) << c.name << ": " << describe(r);
    }
    EXPECT_EQ(readFile(pal), palettePicture());

    // The read-only fallback keeps the exclusive lock.
    HeldOpen held(pal);
    for (const Case& c : {cases[0], cases[4], cases[5]}) {
        ChildOutcome r = asReader(c.source, c.call);
        EXPECT_TRUE(r.finished && r.value == (c.expected == 1 ? 0 : PIXMILL_E_OPEN)) << c.name << ": " << describe(r);
    }
}

TEST_F(Files, AFifoAsAnInputIsRefusedAtOnce) {
    const std::string fifo = p("fifo.bmp"), out = p("out.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    PixmillSetMessageHook([](const char*, const char*, void*) {}, nullptr);
    struct Case {
        const char* name;
        std::function<int32_t()> call;
        int32_t expected;
    };
    uint32_t colour = 0;
    int32_t percent = 0;
    const Case cases[] = {
        {"NumColors", [&] { return NumColors(fifo.c_str(), 0, 0); }, -1},
        {"RotateBitmap", [&] { return RotateBitmap(fifo.c_str(), out.c_str(), 1); }, PIXMILL_E_OPEN},
        {"MakeMMBitmap", [&] { return MakeMMBitmap(fifo.c_str(), out.c_str(), 0, 0, 0, 0); }, PIXMILL_E_OPEN},
        {"SaveBMP", [&] { return SaveBMP(fifo.c_str(), out.c_str()); }, PIXMILL_E_OPEN},
        {"BatchOpenForRead", [&] { return BatchOpenForRead(fifo.c_str()); }, -1},
        {"BatchOpenForWrite", [&] { return BatchOpenForWrite(fifo.c_str()); }, -1},
        {"IsBitmap", [&] { return IsBitmap(fifo.c_str()); }, 0},
        {"Is24BitsPerPixel", [&] { return Is24BitsPerPixel(fifo.c_str()); }, 0},
        {"StretchBitmap", [&] { return StretchBitmap(0, out.c_str(), fifo.c_str()); }, PIXMILL_E_OPEN},
        {"Convert24to8Bits", [&] { return Convert24to8Bits(fifo.c_str(), out.c_str()); }, PIXMILL_E_OPEN},
        {"SaveBMPAsGfx", [&] { return SaveBMPAsGfx(fifo.c_str(), out.c_str(), 1); }, PIXMILL_E_OPEN},
        {"FindMajorColor", [&] { return FindMajorColor(fifo.c_str(), 1, 0, 0, &colour, &percent); }, PIXMILL_E_OPEN},
        {"CleanBMP", [&] { return CleanBMP(fifo.c_str()); }, PIXMILL_E_OPEN},
    };
    for (const Case& c : cases) {
        // A call that waits for a writer that never comes fails here after
        // the watchdog's time; a refusal comes back at once.
        ChildOutcome r = runInChild(c.call, {.watchdogSeconds = 20});
        EXPECT_TRUE(r.finished && r.value == c.expected) << c.name << ": " << describe(r);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(fs::exists(out));
    PixmillSetMessageHook(nullptr, nullptr);
}

TEST_F(Files, APictureCutShortDuringACallGivesACodeNotACrash) {
    // Larger than a page, so that pixel rows lie in pages that a mapping of
    // the old length would no longer have behind them.
    const ByteVec pal = BmpBuilder(200, 100, 8).colours({kBlack, kWhite, kRed}).each([](uint32_t x, uint32_t y) {
        return (x * y) % 3;
    }).build();
    const ByteVec tc = BmpBuilder(100, 60, 24).fill(kWhite).pixel(50, 30, kBlack).build();
    const std::string in = p("in.bmp"), out = p("out.bmp");
    uint32_t colour = 0;
    int32_t percent = 0;
    struct Case {
        const char* name;
        const ByteVec& picture;
        std::function<int32_t()> call;
        int32_t expected;
    };
    const Case cases[] = {
        {"RotateBitmap", pal, [&] { return RotateBitmap(in.c_str(), out.c_str(), 1); }, PIXMILL_E_MAP},
        {"StretchBitmap", pal, [&] { return StretchBitmap(100, out.c_str(), in.c_str()); }, PIXMILL_E_MAP},
        {"SaveBMPAsGfx", pal, [&] { return SaveBMPAsGfx(in.c_str(), out.c_str(), 1); }, PIXMILL_E_MAP},
        {"SaveBMPAsLogo", pal, [&] { return SaveBMPAsLogo(in.c_str(), out.c_str(), 1); }, PIXMILL_E_MAP},
        {"NumColors", pal, [&] { return NumColors(in.c_str(), 0, 0); }, -1},
        {"FindMajorColor", pal, [&] { return FindMajorColor(in.c_str(), 1, 0, 0, &colour, &percent); }, PIXMILL_E_MAP},
        {"MergeBandW", pal, [&] { return MergeBandW(in.c_str()); }, PIXMILL_E_MAP},
        {"ColorSwap", pal, [&] { return ColorSwap(in.c_str(), kRed, kBlack); }, PIXMILL_E_MAP},
        {"DitheredColorSwap", pal, [&] { return DitheredColorSwap(in.c_str(), kRed, 3, 1); }, PIXMILL_E_MAP},
        {"Convert24to8Bits", tc, [&] { return Convert24to8Bits(in.c_str(), out.c_str()); }, PIXMILL_E_MAP},
        {"MakeMMBitmap", tc, [&] { return MakeMMBitmap(in.c_str(), out.c_str(), 0, 0, 0, 0); }, PIXMILL_E_MAP},
    };
    // The file keeps its headers or loses everything, before the first read
    // or just before the pixel rows are read.
    struct Cut {
        off_t keep;
        int beforeRead;
    };
    for (const Case& c : cases) {
        for (Cut cut : {Cut{60, 1}, Cut{60, 0}, Cut{0, 0}}) {
            SCOPED_TRACE(std::string(c.name) + ", cut to " + std::to_string(cut.keep) + " bytes before read " +
                         std::to_string(cut.beforeRead));
            writeFile(in, c.picture);
            fs::remove(out);
            ChildOutcome r = runInChild([&] {
                ReadFaults::arm(in, cut.keep, cut.beforeRead);
                return c.call();
            });
            EXPECT_TRUE(r.finished && r.value == c.expected) << describe(r);
            EXPECT_FALSE(fs::exists(out));
        }
    }
}

}  // namespace

TEST_F(Files, AWriteRemovesOnlyTheTemporaryFilesOfWritersThatDied) {
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    writeFile(p("in.bmp"), palettePicture());
    const std::string of = ".pixmill-" + std::to_string(dead) + "-AbC123";
    const std::set<std::string> kept = {".out.bmp.pixmill-1-AbC123", ".out.bmp.backup", ".other.bmp" + of, "in.bmp", "out.bmp"};
    for (const std::string& name : kept) writeFile(p(name), {'u'});
    writeFile(p(".out.bmp" + of), {'x'});
    ASSERT_EQ(SaveBMP(p("in.bmp").c_str(), p("out.bmp").c_str()), 0);
    EXPECT_EQ(filesIn(tmp.dir()), kept);
}
