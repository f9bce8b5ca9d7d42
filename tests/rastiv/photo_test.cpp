// The Photo path: a photograph's tones in dots, from the main window and in its dialog, offscreen with the real
// library and virtual time.
#include "fakes.hpp"
#include "mainshell.hpp"
#include "ui/picture/frmPhoto.hpp"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <set>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

// A grey ramp with a red stripe, 24 bits, as a photograph comes in.
BmpBuilder photo() {
    return std::move(BmpBuilder(64, 40, 24).each([](uint32_t x, uint32_t y) {
        const uint8_t g = uint8_t(x * 4);
        return y < 8 ? kRed : rgb(g, g, g);
    }));
}

std::set<uint32_t> coloursUsed(const ByteVec& bytes) {
    const Decoded d = decode(bytes);
    std::set<uint32_t> used;
    for (uint32_t y = 0; y < d.height; ++y)
        for (uint32_t x = 0; x < d.width; ++x) used.insert(d.colourOf(d.at(x, y)));
    return used;
}

TEST(Photo, AppliesInOneStepThatUndoTakesBackAndSaveOptionsIsNext) {
    Shell s;
    s.load(s.input("photo.bmp", photo()));
    s.w.messages.shown.clear();  // the note that true colour is converted
    const ByteVec loaded = s.working();

    whenModal([&](QDialog* d) {
        auto* dialog = qobject_cast<frmPhoto*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(s.main.cmdPhoto->isEnabled());
        EXPECT_FALSE(dialog->imPreview->pixmap().isNull()) << "no preview when the dialog opens";
        dialog->cmdApply->click();
    });
    s.main.cmdPhoto->click();
    ASSERT_TRUE(s.w.messages.shown.empty()) << s.w.messages.shown[0].text.toStdString();
    EXPECT_EQ(coloursUsed(s.working()), (std::set<uint32_t>{kBlack, kWhite, kRed}));
    EXPECT_EQ(s.markerStep(), 4);
    EXPECT_TRUE(s.allEnabled() && s.main.cmdPhoto->isEnabled());
    EXPECT_EQ(s.main.focusWidget(), s.main.cmdSaveOpts);

    s.main.mnuEditUndo->trigger();
    EXPECT_EQ(s.working(), loaded);
    EXPECT_EQ(s.markerStep(), 2);
}

TEST(Photo, PreviewFollowsTheControlsAfterAPauseAndCancelLeavesThePicture) {
    PictureWorld w;
    photo().write(w.working().toStdString());
    const ByteVec before = readFile(w.working().toStdString());
    frmPhoto d(w.env, w.picture, w.main);
    EXPECT_EQ(d.previewed(), PhotoSettings{});

    // Keyboard, in steps: the preview waits for the pause after the last one.
    d.sldBrightness->setFocus();
    QTest::keyClick(d.sldBrightness, Qt::Key_PageUp);
    QTest::keyClick(d.sldBrightness, Qt::Key_PageUp);
    d.chkBlackOnly->setChecked(true);
    w.clock.advance(100);
    EXPECT_EQ(d.previewed().brightness, 0);
    w.clock.advance(100);
    EXPECT_EQ(d.previewed().brightness, 20);
    EXPECT_TRUE(d.previewed().blackOnly);
    EXPECT_EQ(d.lbBrightness->text(), QStringLiteral("&Brightness: 20"));
    EXPECT_EQ(coloursUsed(readFile(w.env.workPath("tmpphoto.bmp").toStdString())),
              (std::set<uint32_t>{kBlack, kWhite}));

    d.cmdReset_Click();
    EXPECT_EQ(d.settings(), PhotoSettings{});
    d.cmdCancel->click();
    EXPECT_EQ(readFile(w.working().toStdString()), before);
    EXPECT_EQ(w.main.enables, 1);
    EXPECT_TRUE(w.main.markerSteps.empty());
}

TEST(Photo, ALibraryRefusalIsReportedAndTheDialogStays) {
    PictureWorld w;  // the working bitmap is never written
    frmPhoto d(w.env, w.picture, w.main);
    EXPECT_TRUE(d.imPreview->text().startsWith(QStringLiteral("Error # 10")));
    d.show();
    d.cmdApply_Click();
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].text, QStringLiteral("Error # 10 separating the photograph."));
    EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("PIXMILL DLL Error"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(w.main.enables, 0);
}

// One-pixel stripes: fitted by picking pixels, every column stays black or white; fitted by averaging them, columns
// turn grey and the dots mix.
TEST(Photo, AWidePictureIsFittedSmoothlyToThePaperInTheSameUndoStep) {
    Shell s;
    const auto stripes = [](uint32_t x, uint32_t) { return x % 2 ? kWhite : kBlack; };
    s.load(s.input("wide.bmp", std::move(BmpBuilder(800, 24, 24).each(stripes))));
    const ByteVec loaded = s.working();
    whenModal([](QDialog* d) {
        EXPECT_TRUE(d->findChild<QLabel*>(QStringLiteral("lbFit"))->text().contains(QStringLiteral("800")));
        d->findChild<QPushButton*>(QStringLiteral("cmdApply"))->click();
    });
    s.main.cmdPhoto->click();
    const Decoded d = decode(s.working());
    EXPECT_EQ(d.width, 576u);
    int mixed = 0;
    for (uint32_t x = 0; x < d.width; ++x) {
        std::set<uint32_t> column;
        for (uint32_t y = 0; y < d.height; ++y) column.insert(d.colourOf(d.at(x, y)));
        mixed += column.size() > 1;
    }
    EXPECT_GT(mixed, 288) << "columns of one colour: the pixels were picked, not averaged";
    EXPECT_TRUE(s.main.statusText().contains(QStringLiteral("from 800 to 576")));
    s.main.mnuEditUndo->trigger();
    EXPECT_EQ(s.working(), loaded);
    EXPECT_FALSE(s.main.history().canUndo());
    QString offered;  // by Re-size: a width it takes as it stands
    whenModal([&](QDialog* d) { offered = d->findChild<QLineEdit*>()->text(), d->reject(); });
    s.main.cmdResize->click();
    EXPECT_EQ(offered, QStringLiteral("576"));
}

// Print on a picture the printer cannot print asks before anything is written, and offers the way that suits it first
// (for a photograph, and on Modify Colors, Photo); the step line names Photo for a photograph.
TEST(Photo, APictureNotYetPrintableIsSentThePhotoOrTheColourWay) {
    struct Row {
        bool photograph, print;  // else Modify Colors
        MsgResult answer;
        const char* opens;
    } const rows[] = {
        {true, true, MsgResult::Ok, "rastiv::frmPhoto"},      {true, true, MsgResult::Other, "rastiv::frmColors"},
        {false, true, MsgResult::Ok, "rastiv::frmColors"},    {false, true, MsgResult::Other, "rastiv::frmPhoto"},
        {true, false, MsgResult::Ok, "rastiv::frmPhoto"},     {true, false, MsgResult::Other, "rastiv::frmColors"},
        {true, true, MsgResult::Cancel, ""},
    };
    for (const Row& r : rows) {
        Shell s;
        const auto many = [](uint32_t x, uint32_t y) { return rgb(uint8_t(x * 2), uint8_t(y * 6), uint8_t(x + y)); };
        s.load(r.photograph ? s.input("photo.bmp", std::move(BmpBuilder(120, 40, 24).each(many)))
                            : s.input("green.bmp", BmpBuilder(30, 4, 8).colours({kBlack, rgb(0, 160, 0)}).fill(1)));
        s.w.messages.shown.clear();
        EXPECT_EQ(s.main.lbNextStep->text().contains(QStringLiteral("Photo")), r.photograph);
        bool written = true;
        s.w.messages.onShow = [&](const Message&) { written = QFile::exists(s.w.env.workPath("tmpfile.gfx")); };
        s.w.messages.answers = {r.answer};
        QString opened;
        if (*r.opens) whenModal([&](QDialog* d) { opened = d->metaObject()->className(), d->reject(); });
        (r.print ? s.main.cmdPrint : s.main.cmdColor)->click();
        ASSERT_EQ(s.w.messages.shown.size(), 1u);
        EXPECT_FALSE(written);
        EXPECT_EQ(opened, QString::fromLatin1(r.opens)) << r.photograph << r.print << int(r.answer);
        EXPECT_TRUE(s.allEnabled());
    }
}

}  // namespace
