#include "fakes.hpp"
#include "ui/picture/frmSaveOpts.hpp"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {
struct SaveWorld {
    World w;
    RecordingWorkflow main{w.picture};
    frmSaveOpts dialog{w.env, w.picture, main};
    explicit SaveWorld(const BmpBuilder& picture) {
        picture.write(w.working().toStdString());
        w.picture.current = w.working();
        main.ReadBitmapSize(w.working());
        w.g.gScreenRed = true;
        dialog.show();
    }
    QString out(const char* name) const { return w.path("out/") + QString::fromLatin1(name); }
};

// Black, white and the red highlight only: printable on red paper, not on blue.
BmpBuilder redPicture(int32_t width) {
    BmpBuilder b(width, 4, 8);
    b.colours({kBlack, kWhite, kRed});
    for (uint32_t i = 3; i < 256; ++i) b.entry(i, kWhite);
    b.each([](uint32_t x, uint32_t y) { return (x + y) % 3; });
    return b;
}

const QString kNoFile = QStringLiteral("No file specified.  Nothing has been saved.");
}  // namespace

TEST(SaveOptions, BmpIsACopyAndItsFolderIsRemembered) {
    SaveWorld s(redPicture(16));
    s.w.settings.write(Key::InitOutBmpDir, QStringLiteral("/last/time/"));
    s.w.files.choose(s.out("copy.bmp"));
    s.dialog.cmdSaveBMP->click();
    ASSERT_EQ(s.w.files.requests.size(), 1u);
    const FileRequest& r = s.w.files.requests[0];
    EXPECT_EQ(r.mode, FileRequest::Mode::Save);
    EXPECT_EQ(r.title, QStringLiteral("Save a Bitmap File"));
    EXPECT_EQ(r.filter, QStringLiteral("BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*"));
    EXPECT_EQ(r.startFolder, QStringLiteral("/last/time/"));
    EXPECT_TRUE(r.askBeforeOverwrite);
    EXPECT_EQ(r.defaultExtension, QStringLiteral(".bmp"));
    EXPECT_TRUE(r.fileName.isEmpty());
    EXPECT_TRUE(s.w.messages.shown.empty());
    EXPECT_EQ(readFile(s.out("copy.bmp").toStdString()), readFile(s.w.working().toStdString()));
    EXPECT_EQ(s.w.settings.read(Key::InitOutBmpDir), s.w.path("out/"));
    EXPECT_TRUE(s.dialog.isVisible());  // several saves in a row
    EXPECT_TRUE(s.dialog.isEnabled());
}

TEST(SaveOptions, GraphicsAndLogoFilesAreWrittenForRedPaper) {
    SaveWorld s(redPicture(16));
    s.w.files.choose(s.out("pic.gfx"));
    s.dialog.cmdSaveGfx->click();
    s.w.files.choose(s.out("pic.lgo"));
    s.dialog.cmdSaveLogo->click();
    ASSERT_TRUE(s.w.messages.shown.empty()) << s.w.messages.shown[0].text.toStdString();
    EXPECT_FALSE(readFile(s.out("pic.gfx").toStdString()).empty());
    EXPECT_FALSE(readFile(s.out("pic.lgo").toStdString()).empty());
    EXPECT_EQ(s.w.settings.read(Key::InitGfxDir), s.w.path("out/"));
    EXPECT_EQ(s.w.settings.read(Key::InitLgoDir), s.w.path("out/"));
    EXPECT_EQ(s.w.files.requests[0].title, QStringLiteral("Save a Graphics File"));
    EXPECT_EQ(s.w.files.requests[0].filter, QStringLiteral("Graphics file (*.gfx)|*.gfx|All Files (*.*)|*.*"));
    EXPECT_EQ(s.w.files.requests[1].title, QStringLiteral("Save a Logo File"));
    EXPECT_EQ(s.w.files.requests[1].filter, QStringLiteral("Logo file (*.lgo)|*.lgo|All Files (*.*)|*.*"));
}

TEST(SaveOptions, BlueScreenColourEncodesForBluePaper) {
    // The red highlight cannot print on blue paper, so the library refuses
    // the picture: proof that paper kind 2 reached it.
    SaveWorld s(redPicture(16));
    s.w.g.gScreenRed = false;
    s.w.files.choose(s.out("pic.gfx"));
    s.dialog.cmdSaveGfx->click();
    s.w.files.choose(s.out("pic.lgo"));
    s.dialog.cmdSaveLogo->click();
    ASSERT_EQ(s.w.messages.shown.size(), 2u);
    const Message& gfx = s.w.messages.shown[0];
    EXPECT_EQ(gfx.text, QStringLiteral("Error # 12 saving the BMP file as a graphics (*.GFX) file."));
    EXPECT_EQ(gfx.title, QStringLiteral("Save Error"));
    EXPECT_EQ(gfx.icon, MsgIcon::Exclamation);
    EXPECT_EQ(gfx.helpTopic, 4);
    EXPECT_EQ(s.w.messages.shown[1].text, QStringLiteral("Error # 12 saving the BMP file as a logo (*.LGO) file."));
    EXPECT_TRUE(s.dialog.isEnabled());
}

TEST(SaveOptions, TooWideRefusesGraphicsAndLogoWithoutAFileDialogButSavesBmp) {
    SaveWorld s(redPicture(577));
    s.dialog.cmdSaveGfx->click();
    s.dialog.cmdSaveLogo->click();
    EXPECT_TRUE(s.w.files.requests.empty());
    ASSERT_EQ(s.w.messages.shown.size(), 2u);
    for (const Message& m : s.w.messages.shown) {
        EXPECT_EQ(m.text, QStringLiteral("The bitmap is too wide.  Make sure to re-size it before modifying the colors "
                                         "or saving it as a graphic or logo."));
        EXPECT_EQ(m.title, QStringLiteral("Bitmap Size Error"));
        EXPECT_EQ(m.icon, MsgIcon::Information);
        EXPECT_EQ(m.helpTopic, 1);
    }
    s.w.files.choose(s.out("wide.bmp"));
    s.dialog.cmdSaveBMP->click();
    EXPECT_EQ(s.w.messages.shown.size(), 2u);
    EXPECT_EQ(readFile(s.out("wide.bmp").toStdString()).size(), readFile(s.w.working().toStdString()).size());
}

TEST(SaveOptions, CancelledDialogSavesNothingAndNamesTheKind) {
    SaveWorld s(redPicture(16));
    s.w.settings.write(Key::InitGfxDir, QStringLiteral("/kept/"));
    s.dialog.cmdSaveBMP->click();
    s.dialog.cmdSaveGfx->click();
    s.dialog.cmdSaveLogo->click();
    ASSERT_EQ(s.w.messages.shown.size(), 3u);
    const char* titles[] = {"Save Error", "Save Warning", "Save Warning"};
    for (int i = 0; i < 3; ++i) {
        const Message& m = s.w.messages.shown[size_t(i)];
        EXPECT_EQ(m.text, kNoFile);
        EXPECT_EQ(m.title, QString::fromLatin1(titles[i]));
        EXPECT_EQ(m.icon, MsgIcon::Information);
        EXPECT_EQ(m.helpTopic, 4);
        EXPECT_TRUE(m.hasHelpButton());
    }
    EXPECT_EQ(s.w.settings.read(Key::InitGfxDir), QStringLiteral("/kept/"));
    EXPECT_FALSE(s.w.settings.contains(Key::InitOutBmpDir));
    EXPECT_TRUE(s.dialog.isVisible());
}

TEST(SaveOptions, FailedCopyReportsStatusOnItsOwnLine) {
    SaveWorld s(redPicture(16));
    s.w.files.choose(s.w.path("no/such/folder/x.bmp"));
    s.dialog.cmdSaveBMP->click();
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_EQ(s.w.messages.shown[0].text, QStringLiteral("Error saving bitmap file.\r\nError # 10"));
    EXPECT_EQ(s.w.messages.shown[0].title, QStringLiteral("Save Error"));
    EXPECT_EQ(s.w.messages.shown[0].icon, MsgIcon::Exclamation);
}

TEST(SaveOptions, ANameWithoutExtensionGetsTheKindsAndReplacesAFileOnlyWhenAsked) {
    SaveWorld s(redPicture(16));
    s.w.messages.answers = {MsgResult::Cancel};  // the dialog asked about "receipt", not about receipt.lgo
    for (const char* typed : {"receipt.lgo", "receipt", "receipt"}) {
        s.w.files.choose(s.out(typed));
        s.dialog.cmdSaveLogo->click();
    }
    EXPECT_EQ(s.main.saves, 2);
    EXPECT_EQ(s.w.messages.shown.at(0).text, s.out("receipt.lgo") + " already exists.  Do you want to replace it?");
    EXPECT_EQ(s.dialog.lblStatus->text(), "Done: the logo file was saved as " + s.out("receipt.lgo") + ".");
}

TEST(SaveOptions, ExitAndCloseBoxEndOnStep5) {
    SaveWorld s(redPicture(16));
    s.dialog.cmdExit->click();
    EXPECT_FALSE(s.dialog.isVisible());
    EXPECT_EQ(s.main.markerSteps, std::vector<int>{5});
    EXPECT_EQ(s.main.enables, 1);

    SaveWorld t(redPicture(16));
    t.dialog.close();
    EXPECT_EQ(t.main.markerSteps, std::vector<int>{5});
}
