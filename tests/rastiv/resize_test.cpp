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

// The corrections of typed widths have their own table; here each reaches the picture, by click or by Enter.
TEST(Resize, OpensWithTheWidthSelectedAndScalesTheWorkingBitmapWithinTenTo576) {
    struct Row {
        const char* typed;
        const char* shown;
        uint32_t width, height;
        bool enter;
    } rows[] = {
        {"1e3", "576", 576, 192, false}, {"abc", "10", 10, 3, true}, {"12.9", " 12", 12, 4, false},
    };
    for (const Row& row : rows) {
        PictureWorld r(palettePicture(300, 100));
        frmResize dialog(r.env, r.picture, r.main);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Resize Bitmap"));
        EXPECT_EQ(dialog.tbText1->toPlainText(),
                  QStringLiteral("Enter the desired width of the image in pixels.  \nAllowed values are 10 to 576.  "
                                 "The height will be \nscaled to maintain the aspect ratio of the image."));
        EXPECT_EQ(dialog.tbWidth->selectedText(), QStringLiteral("300"));
        const auto before = readFile(r.working().toStdString());
        dialog.tbWidth->setText(QString::fromUtf8(row.typed));
        if (row.enter) QTest::keyClick(dialog.tbWidth, Qt::Key_Return);
        else dialog.cmdResize->click();
        EXPECT_EQ(dialog.tbWidth->text(), QString::fromUtf8(row.shown)) << row.typed;
        ASSERT_TRUE(r.messages.shown.empty()) << row.typed << ": " << r.messages.shown[0].text.toStdString();
        const Decoded d = decode(readFile(r.working().toStdString()));
        EXPECT_EQ(d.width, row.width) << row.typed;
        EXPECT_EQ(d.height, row.height) << row.typed;
        EXPECT_EQ(r.main.shown, std::vector<QString>{r.working()}) << row.typed;
        EXPECT_EQ(r.main.markerSteps, std::vector<int>{3}) << row.typed;
        EXPECT_EQ(r.main.enables, 1) << row.typed;
        EXPECT_FALSE(dialog.isVisible()) << row.typed;
        // The copy the scaling read from is the picture as it was.
        EXPECT_EQ(readFile(r.env.workPath("tmpstretch.bmp").toStdString()).size(), before.size()) << row.typed;
    }
}

TEST(Resize, CancelEscapeAndCloseBoxChangeNothingButGiveTheButtonsBack) {
    for (int way = 0; way < 3; ++way) {
        PictureWorld r(palettePicture(40, 20));
        const auto before = readFile(r.working().toStdString());
        frmResize dialog(r.env, r.picture, r.main);
        dialog.show();
        if (way == 0) dialog.cmdCancel->click();
        if (way == 1) QTest::keyClick(dialog.tbWidth, Qt::Key_Escape);
        if (way == 2) dialog.close();
        EXPECT_FALSE(dialog.isVisible()) << way;
        EXPECT_TRUE(r.main.markerSteps.empty()) << way;
        EXPECT_EQ(r.main.enables, 1) << way;
        EXPECT_EQ(readFile(r.working().toStdString()), before) << way;
    }
}

TEST(Resize, LibraryFailureIsReportedAndTheDialogStillCloses) {
    PictureWorld r(palettePicture(40, 20));
    writeFile(r.working().toStdString(), ByteVec(60, 'x'));
    frmResize dialog(r.env, r.picture, r.main);
    dialog.show();
    dialog.tbWidth->setText(QStringLiteral("20"));
    dialog.cmdResize->click();
    EXPECT_EQ(r.messages.boxes(),
              (std::vector<Box>{{"Error # 12 stretching the bitmap.", "PIXMILL DLL Error", MsgIcon::Exclamation, 2}}));
    EXPECT_TRUE(r.main.shown.empty());
    EXPECT_EQ(r.main.markerSteps, std::vector<int>{3});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(readFile(r.working().toStdString()), ByteVec(60, 'x'));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
