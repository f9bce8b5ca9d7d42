#include "fakes.hpp"
#include "mainshell.hpp"
#include "ui/main/frmMain.hpp"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

const QString kNotLoaded = QStringLiteral("You have not loaded a BMP file into this utility yet.");
const QString kPdl = QStringLiteral("PIXMILL DLL Error");

}  // namespace

// Every shown button lies in the window, none over another; Tab runs through
// the steps, then the tools.
TEST(MainWindow, ButtonsLieApartInTheWindowAndTabTakesTheStepsFirst) {
    Shell s;
    EXPECT_EQ(s.main.windowTitle(), QStringLiteral("Rastiv"));
    const QList<QPushButton*> buttons = s.main.centralWidget()->findChildren<QPushButton*>();
    for (QPushButton* a : buttons) {
        if (a->isHidden()) continue;
        EXPECT_TRUE(s.main.centralWidget()->rect().contains(a->geometry())) << a->objectName().toStdString();
        for (QPushButton* b : buttons)
            if (a != b && !b->isHidden()) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry())) << a->objectName().toStdString();
            }
    }
    EXPECT_TRUE(s.main.cmdLoad->isDefault());
    for (QWidget* hidden : {static_cast<QWidget*>(s.main.cmdCrop), static_cast<QWidget*>(s.main.cmdMSPaint),
                            static_cast<QWidget*>(s.main.cmdShowOriginalBMP),
                            static_cast<QWidget*>(s.main.cmdShowCurrentBMP), static_cast<QWidget*>(s.main.Shape1),
                            static_cast<QWidget*>(s.main.Label1), static_cast<QWidget*>(s.main.image1)})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    EXPECT_FALSE(s.main.cmdMSPaint->isEnabled());
    // Tab order: Load, Re-size, Modify Colors, Save Options, Exit, then the tools.
    const QList<QWidget*> expected{s.main.cmdLoad, s.main.cmdResize, s.main.cmdColor, s.main.cmdSaveOpts,
                                   s.main.cmdExit, s.main.cmdPrint, s.main.cmdLogo, s.main.cmdLegacy,
                                   s.main.cmdRotLeft, s.main.cmdRotRight};
    for (qsizetype i = 0; i + 1 < expected.size(); ++i)
        EXPECT_EQ(expected[i]->nextInFocusChain(), expected[i + 1]) << i;
}

TEST(MainWindow, DisableLeavesOnlyExitAndEnableRestoresAll) {
    Shell s;
    s.main.DisableButtons();
    EXPECT_TRUE(s.main.cmdExit->isEnabled());
    for (QPushButton* b : {s.main.cmdLoad, s.main.cmdResize, s.main.cmdColor, s.main.cmdSaveOpts, s.main.cmdPrint,
                           s.main.cmdLogo, s.main.cmdLegacy, s.main.cmdRotLeft, s.main.cmdRotRight,
                           s.main.cmdShowCurrentBMP, s.main.cmdShowOriginalBMP})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    s.main.EnableButtons();
    EXPECT_TRUE(s.allEnabled());
    EXPECT_FALSE(s.main.cmdMSPaint->isEnabled());
}

TEST(LoadBitmap, PaletteBitmapShowsTheChosenFileAndKeepsASeparateWorkingCopy) {
    Shell s;
    const QString original = s.input("photo.bmp", palettePicture(40, 30));
    s.load(original);

    ASSERT_EQ(s.w.files.requests.size(), 1u);
    const FileRequest& r = s.w.files.requests[0];
    EXPECT_EQ(r.mode, FileRequest::Mode::Open);
    EXPECT_EQ(r.title, QStringLiteral("Open a Bitmap File"));
    EXPECT_EQ(r.defaultExtension, QStringLiteral(".BMP"));
    EXPECT_EQ(r.startFolder, QString());
    EXPECT_TRUE(r.fileName.isEmpty());

    EXPECT_TRUE(s.w.messages.shown.empty());
    EXPECT_EQ(s.main.picture().original, original);
    EXPECT_EQ(s.main.picture().current, s.w.working());
    EXPECT_EQ(readFile(s.w.working().toStdString()).size(), readFile(original.toStdString()).size());
    EXPECT_EQ(s.w.settings.read(Key::InitInBmpDir), s.w.path("in/"));
    EXPECT_EQ(s.w.settings.read(Key::InitInDir), s.w.path("in/"));
    EXPECT_EQ(s.main.picture().width, 40u);
    EXPECT_EQ(s.main.picture().height, 30u);
    EXPECT_TRUE(s.main.image1->isVisible());
    EXPECT_EQ(s.main.image1->size(), QSize(40, 30));
    EXPECT_EQ(s.markerStep(), 2);
    EXPECT_TRUE(s.allEnabled());

    // The next Open dialog starts where the last file was.
    s.main.cmdLoad->click();
    EXPECT_EQ(s.w.files.requests.back().startFolder, s.w.path("in/"));
}

TEST(LoadBitmap, WarnsAboutWidthAbove576ButLoadsAnyway) {
    {
        Shell s;
        s.load(s.input("576.bmp", palettePicture(576, 2)));
        EXPECT_TRUE(s.w.messages.shown.empty());
    }
    Shell s;
    s.load(s.input("577.bmp", palettePicture(577, 2)));
    EXPECT_EQ(s.w.messages.boxes(),
              (std::vector<Box>{{"The bitmap is too wide.  Make sure to Re-size it before modifying the colors or "
                                "saving it as a graphic or logo.",
                                "Bitmap Size Error", MsgIcon::Information, 1}}));
    EXPECT_EQ(s.main.picture().width, 577u);
    EXPECT_EQ(s.main.picture().current, s.w.working());
    EXPECT_EQ(s.markerStep(), 2);
    EXPECT_TRUE(s.allEnabled());
    // A true-colour one gets one box that says both things, not two in a row.
    s.w.messages.shown.clear();
    s.load(s.input("wide24.bmp", BmpBuilder(600, 2, 24).each([](uint32_t x, uint32_t) { return x % 2 ? kRed : kWhite; })));
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_TRUE(s.w.messages.shown[0].informative.startsWith(QStringLiteral("The bitmap is too wide.")));
}

TEST(LoadBitmap, UnusableFileReportsTheLibraryStatusAndStaysOnStep1) {
    Shell s;
    writeFile(s.w.tmp.path("in/notes.bmp"), ByteVec{'h', 'e', 'l', 'l', 'o', '!', '!', '!'});
    s.load(s.w.path("in/notes.bmp"));
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_EQ(Box(s.w.messages.shown[0]), Box("Error # 12 loading the bitmap.", kPdl, MsgIcon::Exclamation, 1));
    // The details name the file and say, in plain words, why it was refused.
    // The picture readers' own refusal comes after.
    EXPECT_TRUE(s.w.messages.shown[0].details.startsWith(
        QStringLiteral("File: %1\nReason: The file is not a BMP bitmap: it does not start with \"BM\".\n"
                       "No picture reader accepts this file")
            .arg(s.w.path("in/notes.bmp"))))
        << s.w.messages.shown[0].details.toStdString();
    // What to do about it is in plain view.
    EXPECT_EQ(s.w.messages.shown[0].informative,
              "The file is not a BMP bitmap: it does not start with \"BM\".  No picture reader accepts it either.  "
              "Load a BMP, PNG, JPEG, GIF, TIFF or WebP picture.");
    EXPECT_EQ(s.markerStep(), 1);
    EXPECT_TRUE(s.allEnabled());
    // The failed load still names the working bitmap, as the next steps expect.
    EXPECT_EQ(s.main.picture().current, s.w.working());
}

TEST(LoadBitmap, BitmapsTheLibraryRefusesButTheReadersTakeLoadAsPictures) {
    Shell s;
    s.load(s.input("rle.bmp", BmpBuilder(8, 4, 8).compression(1)));
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_EQ(s.w.messages.shown[0].title, QStringLiteral("Bitmap Translation Message"));
    EXPECT_EQ(s.markerStep(), 2);
    EXPECT_EQ(decode(s.working()).width, 8u);
}

TEST(LoadBitmap, CancelChangesNothingNotEvenTheStepMarker) {
    Shell s;
    s.load(s.input("a.bmp", palettePicture(20, 5)));
    s.w.settings.write(Key::InitInBmpDir, QStringLiteral("/somewhere/"));
    const auto before = readFile(s.w.working().toStdString());
    s.main.cmdLoad->click();  // no answer queued: the dialog is cancelled
    EXPECT_EQ(s.w.files.requests.back().startFolder, QStringLiteral("/somewhere/"));
    EXPECT_EQ(s.w.settings.read(Key::InitInBmpDir), QStringLiteral("/somewhere/"));
    EXPECT_EQ(s.markerStep(), 2);
    EXPECT_TRUE(s.allEnabled());
    EXPECT_TRUE(s.w.messages.shown.empty());
    EXPECT_EQ(readFile(s.w.working().toStdString()), before);
}

TEST(LoadBitmap, MissingLibraryIsExplainedBeforeTheStatus) {
    Shell s;
    World broken({QStringLiteral("/nonexistent/libpixmill.so")});
    frmMain main(broken.env);
    main.endProgram = [] {};
    broken.files.choose(s.input("a.bmp", palettePicture(20, 5)));
    main.cmdLoad->click();
    ASSERT_EQ(broken.messages.shown.size(), 2u);
    EXPECT_TRUE(broken.messages.shown[0].text.contains(QStringLiteral("could not load its image library")));
    EXPECT_EQ(broken.messages.shown.back().text, QStringLiteral("Error #-1 loading the bitmap."));
    EXPECT_TRUE(main.cmdLoad->isEnabled());
}

TEST(Rotate, PlusNinetyTurnsClockwiseMinusNinetyTurnsBack) {
    Shell s;
    const BmpBuilder picture = palettePicture(3, 2);
    const Decoded src = decode(picture.build());
    s.load(s.input("small.bmp", picture));

    s.main.cmdRotLeft->click();  // "+90": a quarter turn clockwise
    ASSERT_TRUE(s.w.messages.shown.empty()) << s.w.messages.shown[0].text.toStdString();
    Decoded d = decode(readFile(s.w.working().toStdString()));
    ASSERT_EQ(d.width, 2u);
    ASSERT_EQ(d.height, 3u);
    // Clockwise: the source's top edge becomes the right edge.
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t i = 0; i < 2; ++i) EXPECT_EQ(d.at(i, r), src.at(2 - r, i)) << i << "," << r;
    EXPECT_EQ(s.main.picture().width, 2u);
    EXPECT_EQ(s.main.image1->size(), QSize(2, 3));
    EXPECT_TRUE(QFileInfo::exists(s.w.env.workPath("tmprot.bmp")));

    s.main.cmdRotRight->click();  // "-90": back again
    d = decode(readFile(s.w.working().toStdString()));
    ASSERT_EQ(d.width, 3u);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(d.at(x, y), src.at(x, y)) << x << "," << y;
    EXPECT_TRUE(s.allEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Rotate, UnreadableWorkingBitmapReportsTheCopyStep) {
    Shell s;
    s.load(s.input("a.bmp", palettePicture(20, 5)));
    writeFile(s.w.working().toStdString(), ByteVec{'n', 'o', 'p', 'e'});
    s.main.cmdRotRight->click();
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_EQ(s.w.messages.shown[0].title, kPdl);
    EXPECT_TRUE(s.w.messages.shown[0].text.endsWith(QStringLiteral(" copying the bitmap prior to rotation.")));
    EXPECT_TRUE(s.w.messages.shown[0].text.startsWith(QStringLiteral("Error # 1")));
    EXPECT_EQ(s.w.messages.shown[0].helpTopic, 10);
    EXPECT_TRUE(s.allEnabled());
}

TEST(StepButtons, RefuseWithoutABitmapAndLeaveEverythingEnabled) {
    Shell s;
    s.main.cmdRotLeft->click();
    s.main.cmdRotRight->click();
    s.main.cmdResize->click();
    s.main.cmdColor->click();
    s.main.cmdSaveOpts->click();
    s.main.cmdMSPaint->setEnabled(true);
    s.main.cmdMSPaint->click();
    s.main.cmdShowOriginalBMP->click();
    s.main.cmdShowCurrentBMP->click();
    std::vector<Box> expected(6, Box(kNotLoaded, "Re-size Error", MsgIcon::Exclamation, 1));
    expected.resize(8, Box(kNotLoaded, "Bitmap Error", MsgIcon::Exclamation, 1));
    EXPECT_EQ(s.w.messages.boxes(), expected);
    EXPECT_TRUE(s.allEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(StepButtons, SaveOptionsClosesOnStep5) {
    Shell s;
    s.load(s.input("a.bmp", palettePicture(30, 4)));
    whenModal([&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Save Options"));
        d->findChild<QPushButton*>(QStringLiteral("cmdExit"))->click();
    });
    s.main.cmdSaveOpts->click();
    EXPECT_EQ(s.markerStep(), 5);
    EXPECT_TRUE(s.allEnabled());
}

TEST(Tools, PaintProgramGetsTheWorkingBitmapOrTheOperatorIsTold) {
    Shell s;
    s.load(s.input("a.bmp", palettePicture(30, 4)));
    s.main.cmdMSPaint->setEnabled(true);
    s.w.desktop.paintProgram = QStringLiteral("/usr/bin/kolourpaint");
    s.main.cmdMSPaint->click();
    ASSERT_EQ(s.w.desktop.started.size(), 1u);
    EXPECT_EQ(s.w.desktop.started[0].first, QStringLiteral("/usr/bin/kolourpaint"));
    EXPECT_EQ(s.w.desktop.started[0].second, QStringList{s.w.working()});
    EXPECT_TRUE(s.w.messages.shown.empty());

    s.w.desktop.paintProgram.clear();
    s.main.cmdMSPaint->click();
    EXPECT_EQ(s.w.messages.boxes(),
              (std::vector<Box>{{"Unable to Launch MS Paint", "Application Error", MsgIcon::Exclamation}}));
}

TEST(Display, ShowingTheOriginalUpdatesTheSizeAndBadFilesAreReported) {
    Shell s;
    const QString original = s.input("a.bmp", palettePicture(30, 4));
    s.load(original);
    s.main.cmdRotLeft->click();
    EXPECT_EQ(s.main.picture().width, 4u);
    s.main.cmdShowOriginalBMP->click();
    EXPECT_EQ(s.main.picture().width, 30u);
    s.main.cmdShowCurrentBMP->click();
    EXPECT_EQ(s.main.picture().width, 4u);
    EXPECT_TRUE(s.w.messages.shown.empty());

    s.main.ShowBitmap(s.w.path("absent.bmp"));
    EXPECT_EQ(s.w.messages.boxes(), (std::vector<Box>{{"53: File not found", "Rastiv", MsgIcon::Stop},
                                                       {"481: Invalid picture", "Rastiv", MsgIcon::Stop}}));
    EXPECT_FALSE(s.main.image1->isVisible());
    EXPECT_EQ(s.main.picture().width, 4u);  // a failed read leaves the size alone

    // A top-down picture's height reads as a huge number; it is still shown at its real size.
    s.w.messages.shown.clear();
    s.main.ShowBitmap(s.input("top.bmp", palettePicture(6, 5).topDown()));
    EXPECT_TRUE(s.w.messages.shown.empty());
    EXPECT_EQ(s.main.image1->size(), QSize(6, 5));
}
