#include "ui/common/frmSplash.hpp"
#include "fakes.hpp"
#include "ui/main/frmMain.hpp"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;

namespace {
QColor textColour(const QLabel* l) { return l->palette().color(QPalette::WindowText); }
}  // namespace

TEST(StartUp, FirstRunChoosesRedScreenAndDefaultSpacing) {
    World w;
    w.batch.setOmitPrintSamples(false);
    w.connectVirtualPrinter();
    frmMain main(w.env);
    EXPECT_EQ(w.settings.read(Key::ScreenColor), QStringLiteral("Red"));
    EXPECT_EQ(w.settings.read(Key::TopLogoSpacing), QStringLiteral("128"));
    EXPECT_EQ(w.g.gTopLogoSpacing, 128);
    EXPECT_TRUE(w.g.gScreenRed);
    EXPECT_EQ(textColour(main.lbStep3), QColor(255, 0, 0));
    EXPECT_EQ(main.shBox->borderColor(), QColor(255, 0, 0));
    EXPECT_EQ(w.g.gHelpFile, QStringLiteral("/opt/rastiv/help/index.html"));
    EXPECT_TRUE(w.batch.omitsPrintSamples());
    EXPECT_FALSE(w.link.printerAnswering());
    EXPECT_FALSE(main.picture().loaded());
    EXPECT_EQ(main.pos(), QPoint(0, 0));
    EXPECT_TRUE(w.messages.shown.empty());
}

TEST(StartUp, StoredScreenColourBlueIsKeptAnythingElseBecomesRed) {
    {
        World w;
        w.settings.write(Key::ScreenColor, QStringLiteral("Blue"));
        frmMain main(w.env);
        EXPECT_FALSE(w.g.gScreenRed);
        EXPECT_EQ(textColour(main.lbStep1), QColor(0, 0, 255));
        EXPECT_EQ(textColour(main.lbStep5), QColor(0, 0, 255));
        EXPECT_EQ(main.shBox->borderColor(), QColor(0, 0, 255));
        EXPECT_EQ(w.settings.read(Key::ScreenColor), QStringLiteral("Blue"));
    }
    for (const char* stored : {"Green", "blue", ""}) {
        World w;
        w.settings.write(Key::ScreenColor, QString::fromLatin1(stored));
        frmMain main(w.env);
        EXPECT_TRUE(w.g.gScreenRed) << stored;
        EXPECT_EQ(w.settings.read(Key::ScreenColor), QStringLiteral("Red")) << stored;
    }
}

TEST(StartUp, TopLogoSpacingOutsideOneTo255IsReplacedBy128) {
    struct Row {
        const char* stored;
        int16_t value;
        const char* after;
    } rows[] = {
        {"255", 255, "255"}, {"1", 1, "1"},       {" 77", 77, " 77"},  {"0", 128, "128"},
        {"256", 128, "128"}, {"-1", 128, "128"},  {"abc", 128, "128"}, {"1e9", 128, "128"},
        {"2.5", 2, "2.5"},   {"3.5", 4, "3.5"},   {"0.5", 128, "128"}, {"255.5", 128, "128"},
    };
    for (const Row& r : rows) {
        World w;
        w.settings.write(Key::TopLogoSpacing, QString::fromLatin1(r.stored));
        frmMain main(w.env);
        EXPECT_EQ(w.g.gTopLogoSpacing, r.value) << r.stored;
        EXPECT_EQ(w.settings.read(Key::TopLogoSpacing), QString::fromLatin1(r.after)) << r.stored;
    }
}

TEST(Splash, OpensTheMainWindowAfterTwoSecondsOfVirtualTime) {
    World w;
    int started = 0;
    bool splashInSight = true;  // behind the boxes the main window's start may show
    frmSplash splash(w.clock, [&] { ++started, splashInSight = splash.isVisible(); });
    splash.show();
    EXPECT_EQ(splash.lblVersion->text(), QStringLiteral("Version " RASTIV_VERSION));
    EXPECT_TRUE(splash.lblVersion->text().startsWith(QStringLiteral("Version ")));
    EXPECT_EQ(splash.lblCompanyProduct->text(), QStringLiteral("Receipt Graphics Utility for Tintarex Printers"));
    EXPECT_TRUE(splash.cmdOk->isHidden());
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.Timer1->interval(), 2000);
    w.clock.advance(1999);
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(splash.isVisible());
    w.clock.advance(1);
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(splashInSight);
    EXPECT_FALSE(splash.Timer1->isEnabled());
    w.clock.advance(10000);
    EXPECT_EQ(started, 1);
}

TEST(Splash, KeyOrClickEndsTheSplashAtOnce) {
    {
        World w;
        int started = 0;
        frmSplash splash(w.clock, [&] { ++started; });
        splash.show();
        QTest::keyClick(&splash, Qt::Key_Space);
        EXPECT_EQ(started, 1);
        EXPECT_FALSE(splash.isVisible());
    }
    {
        World w;
        int started = 0;
        frmSplash splash(w.clock, [&] { ++started; });
        splash.show();
        QTest::mouseClick(splash.Frame1, Qt::LeftButton);
        EXPECT_EQ(started, 1);
        // The middle of the frame is the picture: its clicks count as the frame's.
        // Once the splash has gone, another click starts nothing more.
        QTest::mouseClick(splash.Frame1, Qt::LeftButton);
        EXPECT_EQ(started, 1);
    }
}

TEST(Splash, AboutModeIgnoresKeysClicksAndTimeAndClosesOnOk) {
    World w;
    int started = 0;
    frmSplash about(w.clock, [&] { ++started; });
    about.ShowAbout();
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(about.cmdOk->isHidden());
    EXPECT_EQ(about.cmdOk->text(), QStringLiteral("&OK"));
    EXPECT_FALSE(about.Timer1->isEnabled());
    QTest::keyClick(&about, Qt::Key_A);
    QTest::mouseClick(about.Frame1, Qt::LeftButton);
    w.clock.advance(5000);
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(about.isVisible());
    about.cmdOk->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(started, 0);
}

TEST(Splash, HelpAboutShowsTheAboutBoxOverTheMainWindow) {
    World w;
    frmMain main(w.env);
    main.mnuAbout->trigger();
    ASSERT_NE(main.aboutBox(), nullptr);
    EXPECT_TRUE(main.aboutBox()->isVisible());
    EXPECT_FALSE(main.aboutBox()->cmdOk->isHidden());
    main.aboutBox()->cmdOk->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main.aboutBox(), nullptr);
}

TEST(Ending, ExitButtonAndCloseBoxEndTheProgramOnceFileExitAtOnce) {
    World w;
    int ended = 0;
    {
        frmMain main(w.env);
        main.endProgram = [&] { ++ended; };
        main.show();
        main.cmdExit->click();
        EXPECT_EQ(ended, 1);
        EXPECT_FALSE(main.isVisible());
        main.close();
        EXPECT_EQ(ended, 1);
    }
    {
        frmMain main(w.env);
        main.endProgram = [&] { ++ended; };
        main.show();
        main.mnuFileExit->trigger();
        EXPECT_EQ(ended, 2);
    }
}

TEST(Help, ContentsOpenTheIndexAndScreenColourMenuExplainsItself) {
    World w;
    frmMain main(w.env);
    main.mnuHelpContents->trigger();
    // The help file of the World does not exist: the operator is told so.
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("Help"));

    w.messages.shown.clear();
    main.mnuColorScreenBlue->trigger();
    EXPECT_FALSE(w.g.gScreenRed);
    EXPECT_EQ(w.settings.read(Key::ScreenColor), QStringLiteral("Blue"));
    EXPECT_EQ(main.shBox->borderColor(), QColor(0, 0, 255));
    EXPECT_EQ(w.messages.boxes(),
              (std::vector<Box>{{"This setting only affects the color of the image on the screen.  You must choose a "
                                "media type from the Color->Media menu to configure the printer to match the paper "
                                "you will be using.",
                                "Configuration Information", MsgIcon::Information, 8, MsgButtons::Ok, false}}));
    main.mnuColorScreenRed->trigger();
    EXPECT_TRUE(w.g.gScreenRed);
    EXPECT_EQ(textColour(main.lbStep2), QColor(255, 0, 0));
}
