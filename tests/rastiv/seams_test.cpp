#include "link/clock.hpp"
#include "core/desktop.hpp"
#include "ui/common/qtfiledialogs.hpp"
#include "core/loadproblem.hpp"
#include "core/settings.hpp"
#include "fakes.hpp"
#include "core/modUserGfx.hpp"

#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

TEST(VirtualClock, TimersFireInTimeOrderOnlyWhileEnabled) {
    VirtualClock clock;
    std::vector<std::string> log;
    auto fast = clock.createTimer();
    auto slow = clock.createTimer();
    fast->setInterval(500);
    slow->setInterval(1800);
    fast->onTimer = [&] { log.push_back("fast@" + std::to_string(clock.nowMs())); };
    slow->onTimer = [&] {
        log.push_back("slow@" + std::to_string(clock.nowMs()));
        fast->setEnabled(false);
    };
    fast->setEnabled(true);
    slow->setEnabled(true);
    clock.advance(1999);
    EXPECT_EQ(log, (std::vector<std::string>{"fast@500", "fast@1000", "fast@1500", "slow@1800"}));
    clock.advance(1700);
    // "fast" was switched off by "slow"; "slow" repeats until switched off.
    EXPECT_EQ(log, (std::vector<std::string>{"fast@500", "fast@1000", "fast@1500", "slow@1800", "slow@3600"}));
    EXPECT_EQ(clock.nowMs(), 3699);
}

TEST(VirtualClock, PumpingEventsMovesTimeSoPollingLoopsReachTheirWatchdog) {
    VirtualClock clock;
    auto watchdog = clock.createTimer();
    bool expired = false;
    watchdog->onTimer = [&] {
        expired = true;
        watchdog->setEnabled(false);
    };
    watchdog->setInterval(10000);
    watchdog->setEnabled(true);
    while (!expired) clock.pumpEvents();
    EXPECT_EQ(clock.nowMs(), 10000);
    EXPECT_EQ(clock.pumps(), 1000);
}

TEST(Settings, KeysLiveInTheirSectionsAndKeepLeadingBlanks) {
    TempDir tmp;
    const QString file = QString::fromStdString(tmp.path("s.ini"));
    {
        SettingsStore s(file);
        EXPECT_EQ(s.read(Key::TopLogoSpacing, QString()), QString());
        s.write(Key::Port, QStringLiteral(" 3"));
        s.write(Key::InitGfxDir, QStringLiteral("/home/op/pictures with blanks/"));
        s.write(Key::ScreenColor, QStringLiteral("Blue"));
    }
    SettingsStore again(file);
    EXPECT_EQ(again.read(Key::Port), QStringLiteral(" 3"));
    EXPECT_EQ(again.read(Key::InitGfxDir), QStringLiteral("/home/op/pictures with blanks/"));
    const std::string text(reinterpret_cast<const char*>(readFile(file.toStdString()).data()),
                           readFile(file.toStdString()).size());
    EXPECT_NE(text.find("[Printer]"), std::string::npos);
    EXPECT_NE(text.find("[Utility]"), std::string::npos);
    EXPECT_NE(text.find("ScreenColor=Blue"), std::string::npos);
}

TEST(FileDialogs, FiltersTranslateToQt) {
    EXPECT_EQ(qtNameFilters(QStringLiteral("BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*")),
              (QStringList{QStringLiteral("BMP file (*.bmp)"), QStringLiteral("All Files (*)")}));
    EXPECT_EQ(qtNameFilters(QStringLiteral("Pictures|*.bmp;*.dib")), QStringList{QStringLiteral("Pictures (*.bmp *.dib)")});
}

// Topics are anchors of the help index; every topic a message can name has its section in the shipped help.
TEST(Help, TopicsAreAnchorsOfTheHelpIndexAndMissingHelpIsExplainedNotIgnored) {
    const ByteVec page = readFile(RASTIV_SOURCE_HELP "/index.html");
    const std::string html(page.begin(), page.end());
    for (int topic = 0; topic <= 16; ++topic)
        EXPECT_NE(html.find("id=\"topic-" + std::to_string(topic) + "\""), std::string::npos) << topic;
    EXPECT_EQ(helpUrl(QStringLiteral("/opt/rastiv/help/index.html"), -1).toString(),
              QStringLiteral("file:///opt/rastiv/help/index.html"));
    World w;
    openHelp(w.desktop, &w.messages, w.path("nowhere/index.html"), 3);
    EXPECT_TRUE(w.desktop.urls.empty());
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("Help"));
    const QString present = w.path("index.html");
    writeFile(present.toStdString(), {'<', '/', '>'});
    openHelp(w.desktop, &w.messages, present, 3);
    ASSERT_EQ(w.desktop.urls.size(), 1u);
    EXPECT_EQ(w.desktop.urls[0].toString(), QUrl::fromLocalFile(present).toString() + QStringLiteral("#topic-3"));
}

TEST(BitmapSize, HeaderFieldsAreReadUnsignedAndShortFilesReported) {
    TempDir tmp;
    palettePicture(577, 3).write(tmp.path("wide.bmp"));
    HeaderSize s = readHeaderSize(QString::fromStdString(tmp.path("wide.bmp")));
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.width, 577u);
    EXPECT_EQ(s.height, 3u);

    palettePicture(4, 2).topDown().write(tmp.path("topdown.bmp"));
    EXPECT_EQ(readHeaderSize(QString::fromStdString(tmp.path("topdown.bmp"))).height, 0xFFFFFFFEu);
    writeFile(tmp.path("short.bmp"), ByteVec(25, 'B'));
    s = readHeaderSize(QString::fromStdString(tmp.path("short.bmp")));
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.errorNumber, kErrInputPastEnd);
    EXPECT_EQ(s.description, QStringLiteral("Input past end of file"));
    EXPECT_EQ(readHeaderSize(QString::fromStdString(tmp.path("absent.bmp"))).errorNumber, kErrFileNotFound);
}

// A refused picture's plain-words reason is the library's own (its tests check them in depth).
TEST(LoadProblem, NamesTheReasonAPictureIsRefused) {
    World w;
    ByteVec deep = palettePicture(8, 4).build();
    put16(deep, 28, 16);
    writeFile(w.tmp.path("deep.bmp"), deep);
    EXPECT_EQ(loadProblem(w.pixmill, w.path("deep.bmp")),
              "The bitmap has 16 bits per pixel; only 1, 4, 8 and 24 bits per pixel can be loaded.");
}

TEST(PixmillBinding, MissingLibraryIsReportedInPlainWordsNotACrash) {
    World w({QStringLiteral("/nonexistent/libpixmill.so")});
    EXPECT_EQ(w.pixmill.StretchBitmap(0, w.path("a.bmp"), w.path("b.bmp")), PixmillBinding::kUnavailable);
    EXPECT_EQ(w.pixmill.Is24BitsPerPixel(w.path("b.bmp")), 0);
    EXPECT_EQ(w.pixmill.SaveBMPAsLogo(w.path("b.bmp"), w.path("c.lgo"), 1), PixmillBinding::kUnavailable);
    EXPECT_EQ(loadProblem(w.pixmill, w.path("b.bmp")), "The image library refused the file.");
    // Explained once; every failed operation still reports its own status.
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_TRUE(w.messages.shown[0].text.startsWith(QStringLiteral("Rastiv could not load its image library")));
    EXPECT_EQ(w.messages.shown[0].icon, MsgIcon::Stop);
    EXPECT_FALSE(w.pixmill.loaded());
}

TEST(PixmillBinding, ExportsAreBoundOnFirstCallAndMissingOnesNamed) {
    World w;
    EXPECT_TRUE(w.messages.shown.empty());
    palettePicture(8, 2).write(w.tmp.path("p.bmp"));
    EXPECT_EQ(w.pixmill.IsBitmap(w.path("p.bmp")), 1);
    EXPECT_TRUE(w.pixmill.loaded());
    EXPECT_EQ(w.pixmill.resolve("NoSuchExport", true), nullptr);  // quietly: no message
    EXPECT_EQ(w.pixmill.resolve("NoSuchExport"), nullptr);
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_TRUE(w.messages.shown[0].text.contains(QStringLiteral("NoSuchExport")));
}
