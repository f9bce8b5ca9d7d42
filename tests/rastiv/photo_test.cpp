// The Photo path: a photograph's tones in dots, from the main window and in
// its dialog, offscreen with the real library and virtual time.
#include "fakes.hpp"
#include "mainshell.hpp"
#include "ui/picture/frmPhoto.hpp"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
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

// The dialog on its own, with the main window's operations recorded.
struct PhotoWorld : World {
    PhotoWorld() : main(picture) {
        picture.current = working();
        g.gScreenRed = true;
    }
    RecordingWorkflow main;
};

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
    EXPECT_EQ(s.main.cmdPhoto->accessibleName(), QStringLiteral("Photo"));
    EXPECT_EQ(s.main.cmdRotRight->nextInFocusChain(), s.main.cmdPhoto);

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
    PhotoWorld w;
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
    PhotoWorld w;  // the working bitmap is never written
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

}  // namespace
