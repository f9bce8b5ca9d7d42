// How the exports treat files: outputs replaced whole or not at all, inputs
// that are read-only, FIFOs, or cut short by another program during a call.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "child.hpp"
#include "pixmill/pixmill.h"
#include "read_faults.hpp"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

using Call = int32_t (*)(const char* source, const char* destination);
constexpr int32_t kUntried = INT32_MIN + 1;

// Every export that takes a file, and its answer to each kind of trouble.
struct Export {
    const char* name;
    bool trueColour;       // reads the 24-bit picture, else the palette one
    Call call;
    int32_t cannotCreate;  // to a destination it cannot write; 0: writes none
    int32_t readOnly;      // from a source the user may only read
    int32_t fifo;          // from a FIFO
    int32_t cut;           // from a source cut short during the call
};

const Export kExports[] = {
    {"IsBitmap", false, [](const char* s, const char*) { return IsBitmap(s); }, 0, 1, 0, kUntried},
    {"Is24BitsPerPixel", true, [](const char* s, const char*) { return Is24BitsPerPixel(s); }, 0, 1, 0, kUntried},
    {"NumColors", false, [](const char* s, const char*) { return NumColors(s, 0, 0); }, 0, 3, -1, -1},
    {"FindMajorColor", false,
     [](const char* s, const char*) {
         uint32_t colour = 0;
         int32_t percent = 0;
         return FindMajorColor(s, 1, 0, 0, &colour, &percent);
     },
     0, 0, PIXMILL_E_OPEN, PIXMILL_E_MAP},
    {"CleanBMP", false, [](const char* s, const char*) { return CleanBMP(s); }, 0, PIXMILL_E_OPEN, PIXMILL_E_OPEN,
     kUntried},
    {"MergeBandW", false, [](const char* s, const char*) { return MergeBandW(s); }, 0, kUntried, kUntried,
     PIXMILL_E_MAP},
    {"ColorSwap", false, [](const char* s, const char*) { return ColorSwap(s, kRed, kBlack); }, 0, PIXMILL_E_OPEN,
     kUntried, PIXMILL_E_MAP},
    {"DitheredColorSwap", false, [](const char* s, const char*) { return DitheredColorSwap(s, kRed, 3, 1); }, 0,
     kUntried, kUntried, PIXMILL_E_MAP},
    {"BatchOpenForRead", false, [](const char* s, const char*) { return BatchOpenForRead(s); }, 0, kUntried, -1,
     kUntried},
    {"BatchOpenForWrite", false, [](const char* s, const char*) { return BatchOpenForWrite(s); }, 0, kUntried, -1,
     kUntried},
    {"SaveBMP", false, [](const char* s, const char* d) { return SaveBMP(s, d); }, PIXMILL_E_OPEN, 0, PIXMILL_E_OPEN,
     kUntried},
    {"SaveBMPAsGfx", false, [](const char* s, const char* d) { return SaveBMPAsGfx(s, d, 1); }, PIXMILL_E_OPEN, 0,
     PIXMILL_E_OPEN, PIXMILL_E_MAP},
    {"SaveBMPAsLogo", false, [](const char* s, const char* d) { return SaveBMPAsLogo(s, d, 1); }, PIXMILL_E_OPEN, 0,
     kUntried, PIXMILL_E_MAP},
    {"StretchBitmap", false, [](const char* s, const char* d) { return StretchBitmap(0, d, s); }, PIXMILL_E_CREATE,
     0, PIXMILL_E_OPEN, PIXMILL_E_MAP},
    {"RotateBitmap", false, [](const char* s, const char* d) { return RotateBitmap(s, d, 1); }, PIXMILL_E_OPEN, 0,
     PIXMILL_E_OPEN, PIXMILL_E_MAP},
    {"Convert24to8Bits", true, [](const char* s, const char* d) { return Convert24to8Bits(s, d); },
     PIXMILL_E_CREATE, 0, PIXMILL_E_OPEN, PIXMILL_E_MAP},
    {"MakeMMBitmap", true, [](const char* s, const char* d) { return MakeMMBitmap(s, d, 1, 2, 3, 4); },
     PIXMILL_E_CREATE, 0, PIXMILL_E_OPEN, PIXMILL_E_MAP},
    {"SeparateBitmap", true, [](const char* s, const char* d) { return SeparateBitmap(s, d, 1, 1, 0, 0, 100, 0); },
     PIXMILL_E_CREATE, 0, PIXMILL_E_OPEN, kUntried},
};

// Larger than a page, so that when cut short pixel rows lie in pages that a
// mapping of the old length would no longer have behind them.
ByteVec palettePicture() {
    return BmpBuilder(200, 100, 8).colours({kBlack, kWhite, kRed}).each([](uint32_t x, uint32_t y) {
        return (x * y) % 3;
    }).build();
}
ByteVec trueColourPicture() {
    return BmpBuilder(64, 64, 24).each([](uint32_t x, uint32_t y) { return rgb(uint8_t(x * 4), uint8_t(y * 4), 9); })
        .build();
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

class Files : public InTempDir {
protected:
    // Writes both pictures; the one `e` reads.
    std::string sourceFor(const Export& e) {
        writeFile(p("pal.bmp"), palettePicture());
        writeFile(p("true.bmp"), trueColourPicture());
        return p(e.trueColour ? "true.bmp" : "pal.bmp");
    }
};

TEST_F(Files, ARefusedOrFailedWriteLeavesTheDestinationAsItWas) {
    const ByteVec unprintable = BmpBuilder(16, 4, 8).colours({kBlack, rgb(0, 128, 0)}).fill(1).build();
    struct Case {
        std::string name;
        ByteVec source;
        Call call;
        rlim_t fileSizeLimit;  // 0: none; else writes past it fail as on a full disk
        int32_t code;
    };
    std::vector<Case> cases = {
        {"graphics file of an unprintable picture", unprintable,
         [](const char* s, const char* d) { return SaveBMPAsGfx(s, d, 1); }, 0, PIXMILL_E_FORMAT},
        {"graphics file of a picture too wide", BmpBuilder(600, 2, 8).colours({kBlack, kWhite}).fill(1).build(),
         [](const char* s, const char* d) { return SaveBMPAsGfx(s, d, 1); }, 0, PIXMILL_E_FORMAT},
        {"logo file of an unprintable picture", unprintable,
         [](const char* s, const char* d) { return SaveBMPAsLogo(s, d, 2); }, 0, PIXMILL_E_FORMAT},
        {"rotation in no known direction", palettePicture(),
         [](const char* s, const char* d) { return RotateBitmap(s, d, 3); }, 0, PIXMILL_E_NOTHING},
        {"crop frame wider than any picture", BmpBuilder(1, 1, 24).fill(kBlack).build(),
         [](const char* s, const char* d) { return MakeMMBitmap(s, d, 0, 32768, 65535, 65535); }, 1 << 20,
         PIXMILL_E_FORMAT},
    };
    for (const Export& e : kExports)
        if (e.cannotCreate != 0)
            cases.push_back({std::string(e.name) + " onto a full disk",
                             e.trueColour ? trueColourPicture() : palettePicture(), e.call, 1500, PIXMILL_E_IO});
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
            ChildOutcome r = runInChild([&] { return c.call(src.c_str(), dst.c_str()); },
                                        {.fileSizeLimit = c.fileSizeLimit});
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
    ::mkdir(p("out").c_str(), 0755);
    for (const Export& e : kExports) {
        if (e.cannotCreate == 0) continue;
        SCOPED_TRACE(e.name);
        const std::string src = sourceFor(e);
        auto call = [&](const char* name) { return e.call(src.c_str(), p(std::string("out/") + name).c_str()); };
        // The result of writing to a fresh name, to compare the others with.
        fs::remove(p("out/fresh"));
        ASSERT_EQ(call("fresh"), 0);
        const ByteVec expected = readFile(p("out/fresh"));
        ASSERT_FALSE(expected.empty());

        writeFile(p("out/kept"), ByteVec(5, 'k'));
        ::chmod(p("out/kept").c_str(), 0604);
        EXPECT_EQ(call("kept"), 0);
        EXPECT_EQ(readFile(p("out/kept")), expected);
        EXPECT_EQ(modeOf(p("out/kept")), 0604u);

        // A link to an existing file, and a dangling one, relative to their folder.
        writeFile(p("out/target"), ByteVec(5, 't'));
        for (const char* name : {"out/link", "out/dangling", "out/made"}) fs::remove(p(name));
        fs::create_symlink("target", p("out/link"));
        fs::create_symlink("made", p("out/dangling"));
        EXPECT_EQ(call("link"), 0);
        EXPECT_TRUE(fs::is_symlink(p("out/link")));
        EXPECT_EQ(readFile(p("out/target")), expected);
        EXPECT_EQ(call("dangling"), 0);
        EXPECT_TRUE(fs::is_symlink(p("out/dangling")));
        EXPECT_EQ(readFile(p("out/made")), expected);

        // A new file gets what the umask gives any new file.
        fs::remove(p("out/umask"));
        const mode_t old = ::umask(027);
        const int32_t r = call("umask");
        ::umask(old);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(modeOf(p("out/umask")), 0640u);
        EXPECT_EQ(filesIn(p("out")),
                  (std::set<std::string>{"dangling", "fresh", "kept", "link", "made", "target", "umask"}));
    }
}

TEST_F(Files, ADestinationThatCannotBeWrittenIsRefusedWithTheSameCodeAsEver) {
    ::mkdir(p("folder.bmp").c_str(), 0755);
    ::mkfifo(p("fifo.bmp").c_str(), 0644);
    writeFile(p("held.bmp"), ByteVec(5, 'h'));
    HeldOpen held(p("held.bmp"));
    for (const Export& e : kExports) {
        if (e.cannotCreate == 0) continue;
        const std::string src = sourceFor(e);
        for (const char* dst : {"missing/dst.bmp", "folder.bmp", "fifo.bmp", "held.bmp"})
            EXPECT_EQ(e.call(src.c_str(), p(dst).c_str()), e.cannotCreate) << e.name << " to " << dst;
        // The source itself: held by the export while it writes.
        EXPECT_EQ(e.call(src.c_str(), src.c_str()), e.cannotCreate) << e.name;
    }
    EXPECT_EQ(readFile(p("held.bmp")), ByteVec(5, 'h'));
    EXPECT_TRUE(fs::is_fifo(p("fifo.bmp")));
    EXPECT_EQ(readFile(p("pal.bmp")), palettePicture());
    EXPECT_EQ(filesIn(tmp.dir()), (std::set<std::string>{"fifo.bmp", "folder.bmp", "held.bmp", "pal.bmp", "true.bmp"}));
}

TEST_F(Files, AReadOnlyPictureIsReadByEveryExportThatOnlyReadsIt) {
    // Folders the unprivileged child can enter and write in.
    ::chmod(tmp.dir().c_str(), 0755);
    ::mkdir(p("out").c_str(), 0777);
    ::chmod(p("out").c_str(), 0777);
    sourceFor(kExports[0]);
    ::chmod(p("pal.bmp").c_str(), 0444);
    ::chmod(p("true.bmp").c_str(), 0444);
    const std::string out = p("out/dst.bmp");
    // Runs the export as a user who may read the source but not write it.
    auto asReader = [&](const Export& e) {
        const std::string src = p(e.trueColour ? "true.bmp" : "pal.bmp");
        return runInChild(
            [&]() -> int32_t {
                if (::access(src.c_str(), W_OK) == 0) return INT32_MIN;  // still writable: cannot test
                return e.call(src.c_str(), out.c_str());
            },
            {.unprivileged = true});
    };
    for (const Export& e : kExports) {
        if (e.readOnly == kUntried) continue;
        ChildOutcome r = asReader(e);
        if (!r.skipped.empty()) GTEST_SKIP() << "Needs a user who cannot write the test files: " << r.skipped;
        if (r.finished && r.value == INT32_MIN) GTEST_SKIP() << "This user can write read-only files; skipping.";
        EXPECT_TRUE(r.finished && r.value == e.readOnly) << e.name << ": " << describe(r);
    }
    EXPECT_EQ(readFile(p("pal.bmp")), palettePicture());

    // The read-only fallback keeps the exclusive lock.
    HeldOpen held(p("pal.bmp"));
    for (const Export& e : kExports) {
        const std::string name = e.name;
        if (name != "IsBitmap" && name != "StretchBitmap" && name != "SaveBMPAsGfx") continue;
        ChildOutcome r = asReader(e);
        EXPECT_TRUE(r.finished && r.value == (e.readOnly == 1 ? 0 : PIXMILL_E_OPEN)) << e.name << ": " << describe(r);
    }
}

TEST_F(Files, AFifoAsAnInputIsRefusedAtOnce) {
    const std::string fifo = p("fifo.bmp"), out = p("out.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    PixmillSetMessageHook([](const char*, const char*, void*) {}, nullptr);
    for (const Export& e : kExports) {
        if (e.fifo == kUntried) continue;
        // A call that waits for a writer that never comes fails here after
        // the watchdog's time; a refusal comes back at once.
        ChildOutcome r = runInChild([&] { return e.call(fifo.c_str(), out.c_str()); }, {.watchdogSeconds = 20});
        EXPECT_TRUE(r.finished && r.value == e.fifo) << e.name << ": " << describe(r);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(fs::exists(out));
    PixmillSetMessageHook(nullptr, nullptr);
}

TEST_F(Files, APictureCutShortDuringACallGivesACodeNotACrash) {
    const std::string in = p("in.bmp"), out = p("out.bmp");
    // The file keeps its headers or loses everything, before the first read
    // or just before the pixel rows are read.
    struct Cut {
        off_t keep;
        int beforeRead;
    };
    for (const Export& e : kExports) {
        if (e.cut == kUntried) continue;
        const ByteVec picture = readFile(sourceFor(e));
        for (Cut cut : {Cut{60, 1}, Cut{60, 0}, Cut{0, 0}}) {
            SCOPED_TRACE(std::string(e.name) + ", cut to " + std::to_string(cut.keep) + " bytes before read " +
                         std::to_string(cut.beforeRead));
            writeFile(in, picture);
            fs::remove(out);
            ChildOutcome r = runInChild([&] {
                ReadFaults::arm(in, cut.keep, cut.beforeRead);
                return e.call(in.c_str(), out.c_str());
            });
            EXPECT_TRUE(r.finished && r.value == e.cut) << describe(r);
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
