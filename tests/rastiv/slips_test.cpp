// Nothing lost by a slip, every state visible: the questions before work is thrown away,
// the focus, the step marker, the menus, the status bar and what a screen reader hears.
#include "ui/printer/frmLegacy.hpp"
#include "ui/printer/frmRibbonLogo.hpp"
#include "ui/printer/frmTextSub.hpp"
#include "ui/printer/frmVirtualPrinter.hpp"
#include "ui/picture/frmColorMap.hpp"
#include "ui/printer/frmComm.hpp"
#include "core/portdevices.hpp"
#include "mainshell.hpp"

#include <QClipboard>
#include <QLayout>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

// A picture loaded and turned once: a change no file holds.
struct Changed : Shell {
    Changed() {
        load(input("a.bmp", palettePicture(12, 6)));
        main.cmdRotLeft->click();
    }
};

}  // namespace

// A cancelled dialog or a failed load changes nothing, the marker and the
// history included, and hands the focus to the marker's step, never to Exit.
TEST(Slips, CancelsChangeNothingAndFocusGoesBackToTheMarkersStep) {
    Changed s;
    const size_t states = s.main.history().size();
    const ByteVec turned = s.working();
    s.w.messages.answers = {MsgResult::Discard};
    writeFile(s.w.tmp.path("in/junk.bmp"), ByteVec{'n', 'o'});
    s.load(s.w.path("in/junk.bmp"));
    for (const auto& [opens, step] : {std::pair{s.main.cmdLoad, 2}, {s.main.cmdPrint, 2}, {s.main.cmdResize, 2},
                                      {s.main.cmdLogo, 2}, {s.main.cmdSaveOpts, 5}}) {
        if (opens != s.main.cmdLoad)  // its file dialog is cancelled by the script
            whenModal([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        opens->click();
        EXPECT_EQ(s.markerStep(), step) << opens->objectName().toStdString();
        EXPECT_EQ(s.main.focusWidget(), s.main.stepButton(step)) << opens->objectName().toStdString();
    }
    EXPECT_EQ(s.main.history().size(), states);
    EXPECT_EQ(s.working(), turned);
    // The first Undo takes back the turn, not a move of the marker.
    EXPECT_EQ(s.main.mnuEditUndo->text(), "&Undo Rotate +90");
    s.main.mnuEditUndo->trigger();
    EXPECT_NE(s.working(), turned);
    EXPECT_EQ(s.markerStep(), 2);
}

TEST(Slips, QuittingOrReplacingAChangedPictureAsksFirst) {
    Changed s;
    const ByteVec turned = s.working();
    s.w.messages.answers = {MsgResult::Cancel, MsgResult::Cancel, MsgResult::Cancel};  // keeps everything
    EXPECT_FALSE(s.main.close());
    s.main.mnuFileExit->trigger();
    s.main.cmdLoad->click();
    EXPECT_EQ(s.w.messages.shown.at(0).text, "Save the changes to the picture before quitting?");
    EXPECT_EQ(s.w.messages.shown.at(2).text, "Save the changes to the picture before loading another picture?");
    EXPECT_EQ(s.working(), turned);
    EXPECT_EQ(s.w.files.requests.size(), 1u);  // no Open dialog after Cancel
    // Save Options closed without saving keeps it too; Discard lets the paste in.
    s.w.messages.answers = {MsgResult::Save, MsgResult::Discard};
    whenModal([](QDialog* d) { d->accept(); });
    QGuiApplication::clipboard()->setImage(QImage(5, 4, QImage::Format_RGB32));
    s.main.mnuEditPaste->trigger();
    EXPECT_EQ(s.working(), turned);
    s.main.mnuEditPaste->trigger();
    EXPECT_EQ(decode(s.working()).width, 5u);
    // Save: once the picture is in a file, the quit goes on.
    s.main.cmdRotLeft->click();
    s.w.messages.answers = {MsgResult::Save};
    whenModal([&](QDialog* d) {
        s.w.files.choose(s.w.path("out/kept.bmp"));
        d->findChild<QPushButton*>(QStringLiteral("cmdSaveBMP"))->click();
        d->accept();
    });
    s.main.mnuFileExit->trigger();
    EXPECT_EQ(readFile(s.w.tmp.path("out/kept.bmp")), s.working());
    EXPECT_EQ(s.ended, 1);
}

TEST(Slips, CancelledColourMappingPutsThePictureBackAndRedoBringsTheReductionBack) {
    Shell s;
    s.load(s.input("shades.bmp", BmpBuilder(30, 4, 8).colours({kBlack, kWhite, 0x0080FF00u, 0x20C04000u}).each(
                                     [](uint32_t x, uint32_t) { return x * 4 / 30; })));
    const ByteVec before = s.working();
    whenModal([](QDialog* d) {
        whenModal<frmColorMap>([](frmColorMap* m) { m->cmdCancel->click(); });
        d->findChild<QLineEdit*>(QStringLiteral("tbNumUserColors"))->setText(QStringLiteral("1"));
        d->findChild<QPushButton*>(QStringLiteral("cmdSetUpRemap"))->click();
    });
    s.main.cmdColor->click();
    EXPECT_EQ(s.working(), before);
    EXPECT_EQ(s.main.mnuEditRedo->text(), "&Redo Modify Colors (not finished)");
    s.main.mnuEditRedo->trigger();
    EXPECT_NE(s.working(), before);
}

TEST(Slips, TheStatusBarFitsAndABlueScreenOffersToRecolourARedPicture) {
    Shell s;
    // Black, white and the red highlight, as a mapped picture is.
    s.load(s.input("red.bmp", BmpBuilder(576, 1200, 8).colours({kBlack, kWhite, kRed}).each([](uint32_t x, uint32_t) {
        return x % 3;
    })));
    // The status bar shows all it holds at the smallest size, the longest next step too.
    s.main.MoveStepMarker(3);
    s.main.statusBar()->layout()->activate();
    for (QLabel* l : {s.main.lbPictureSize, s.main.lbZoom, s.main.lbNextStep}) EXPECT_GE(l->width(), l->sizeHint().width());
    // Blue with a red picture: one OK recolours it.
    s.w.messages.answers = {MsgResult::Ok, MsgResult::Ok};
    s.main.mnuColorScreenBlue->trigger();
    EXPECT_TRUE(s.main.mnuColorScreenBlue->isChecked() && !s.main.mnuColorScreenRed->isChecked());
    EXPECT_EQ(s.w.messages.shown.back().text, "The picture's highlight colour is red.  Recolour it blue, to match?");
    const Decoded d = decode(s.working());
    for (uint32_t x = 0; x < 576; ++x) EXPECT_NE(d.colourOf(d.at(x, 0)), kRed);
    EXPECT_EQ(s.main.mnuEditUndo->text(), "&Undo Recolour");
}

TEST(Slips, PrinterDialogsLeaveTheVirtualPrinterUsable) {
    Shell s;
    setPortDevice(s.w.settings, 0, QStringLiteral("virtual"));
    s.main.comm().cmdConnect_Click();
    s.w.link.SendData("Hello\n");
    QWidget* receipt = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<frmVirtualPrinter*>(w)) receipt = w;
    ASSERT_NE(receipt, nullptr);
    struct Blocked : QObject {
        std::set<QObject*> seen;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::WindowBlocked) seen.insert(o);
            return false;
        }
    } blocked;
    receipt->installEventFilter(&blocked);
    s.main.installEventFilter(&blocked);
    whenModal([&](QDialog* d) {
        EXPECT_EQ(blocked.seen, std::set<QObject*>{&s.main});
        d->reject();
    });
    s.main.cmdLogo->click();
}
