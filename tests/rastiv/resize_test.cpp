#include "fakes.hpp"
#include "ui/picture/frmResize.hpp"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {
// A World whose working bitmap is a w x h palette picture.
struct ResizeWorld {
    World w;
    RecordingWorkflow main{w.picture};
    ResizeWorld(int32_t width, int32_t height) {
        palettePicture(width, height).write(w.working().toStdString());
        w.picture.current = w.working();
    }
};
}  // namespace

TEST(Resize, OpensWithTheCurrentWidthSelected) {
    ResizeWorld r(300, 100);
    frmResize dialog(r.w.env, r.w.picture, r.main);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Resize Bitmap"));
    EXPECT_EQ(dialog.tbWidth->text(), QStringLiteral("300"));
    EXPECT_EQ(dialog.tbWidth->selectedText(), QStringLiteral("300"));
    EXPECT_EQ(dialog.tbText1->toPlainText(),
              QStringLiteral("Enter the desired width of the image in pixels.  \nAllowed values are 10 to 576.  The "
                             "height will be \nscaled to maintain the aspect ratio of the image."));
    EXPECT_TRUE(r.main.markerSteps.empty());
}

TEST(Resize, TrickyWidthsScaleTheWorkingBitmapWithinTenTo576) {
    struct Row {
        const char* typed;
        const char* shown;
        uint32_t width, height;
    } rows[] = {
        {"1e3", "576", 576, 192}, {"600", "576", 576, 192}, {"abc", "10", 10, 3},
        {"", "10", 10, 3},        {"-5", "10", 10, 3},      {"12.9", " 12", 12, 4},
        {"300", " 300", 300, 100},
    };
    for (const Row& row : rows) {
        ResizeWorld r(300, 100);
        frmResize dialog(r.w.env, r.w.picture, r.main);
        dialog.show();
        const auto before = readFile(r.w.working().toStdString());
        dialog.tbWidth->setText(QString::fromUtf8(row.typed));
        dialog.cmdResize->click();
        EXPECT_EQ(dialog.tbWidth->text(), QString::fromUtf8(row.shown)) << row.typed;
        ASSERT_TRUE(r.w.messages.shown.empty()) << row.typed << ": " << r.w.messages.shown[0].text.toStdString();
        const Decoded d = decode(readFile(r.w.working().toStdString()));
        EXPECT_EQ(d.width, row.width) << row.typed;
        EXPECT_EQ(d.height, row.height) << row.typed;
        EXPECT_EQ(r.main.shown, std::vector<QString>{r.w.working()}) << row.typed;
        EXPECT_EQ(r.main.markerSteps, std::vector<int>{3}) << row.typed;
        EXPECT_EQ(r.main.enables, 1) << row.typed;
        EXPECT_FALSE(dialog.isVisible()) << row.typed;
        // The copy the scaling read from is the picture as it was.
        EXPECT_EQ(readFile(r.w.env.workPath("tmpstretch.bmp").toStdString()).size(), before.size()) << row.typed;
    }
}

TEST(Resize, CancelEscapeAndCloseBoxChangeNothingButGiveTheButtonsBack) {
    for (int way = 0; way < 3; ++way) {
        ResizeWorld r(40, 20);
        const auto before = readFile(r.w.working().toStdString());
        frmResize dialog(r.w.env, r.w.picture, r.main);
        dialog.show();
        if (way == 0) dialog.cmdCancel->click();
        if (way == 1) QTest::keyClick(dialog.tbWidth, Qt::Key_Escape);
        if (way == 2) dialog.close();
        EXPECT_FALSE(dialog.isVisible()) << way;
        EXPECT_TRUE(r.main.markerSteps.empty()) << way;
        EXPECT_EQ(r.main.enables, 1) << way;
        EXPECT_EQ(readFile(r.w.working().toStdString()), before) << way;
    }
}

TEST(Resize, EnterInTheWidthBoxResizes) {
    ResizeWorld r(40, 20);
    frmResize dialog(r.w.env, r.w.picture, r.main);
    dialog.show();
    dialog.tbWidth->setText(QStringLiteral("20"));
    QTest::keyClick(dialog.tbWidth, Qt::Key_Return);
    EXPECT_EQ(decode(readFile(r.w.working().toStdString())).width, 20u);
}

TEST(Resize, LibraryFailureIsReportedAndTheDialogStillCloses) {
    ResizeWorld r(40, 20);
    writeFile(r.w.working().toStdString(), ByteVec(60, 'x'));
    frmResize dialog(r.w.env, r.w.picture, r.main);
    dialog.show();
    dialog.tbWidth->setText(QStringLiteral("20"));
    dialog.cmdResize->click();
    ASSERT_EQ(r.w.messages.shown.size(), 1u);
    const Message& m = r.w.messages.shown[0];
    EXPECT_EQ(m.text, QStringLiteral("Error # 12 stretching the bitmap."));
    EXPECT_EQ(m.title, QStringLiteral("PIXMILL DLL Error"));
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.helpTopic, 2);
    EXPECT_TRUE(r.main.shown.empty());
    EXPECT_EQ(r.main.markerSteps, std::vector<int>{3});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(readFile(r.w.working().toStdString()), ByteVec(60, 'x'));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
