#include "fakes.hpp"
#include "ui/picture/frmSaveOpts.hpp"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {
struct SaveWorld : PictureWorld {
    frmSaveOpts dialog{env, picture, main};
    explicit SaveWorld(const BmpBuilder& bitmap) : PictureWorld(bitmap) { dialog.show(); }
    QString out(const char* name) const { return path("out/") + QString::fromLatin1(name); }
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
    s.settings.write(Key::InitOutBmpDir, QStringLiteral("/last/time/"));
    s.files.choose(s.out("copy.bmp"));
    s.dialog.cmdSaveBMP->click();
    ASSERT_EQ(s.files.requests.size(), 1u);
    const FileRequest& r = s.files.requests[0];
    EXPECT_EQ(r.mode, FileRequest::Mode::Save);
    EXPECT_EQ(r.title, QStringLiteral("Save a Bitmap File"));
    EXPECT_EQ(r.filter, QStringLiteral("BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*"));
    EXPECT_EQ(r.startFolder, QStringLiteral("/last/time/"));
    EXPECT_TRUE(r.askBeforeOverwrite);
    EXPECT_EQ(r.defaultExtension, QStringLiteral(".bmp"));
    EXPECT_TRUE(r.fileName.isEmpty());
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_EQ(readFile(s.out("copy.bmp").toStdString()), readFile(s.working().toStdString()));
    EXPECT_EQ(s.settings.read(Key::InitOutBmpDir), s.path("out/"));
    EXPECT_TRUE(s.dialog.isVisible());  // several saves in a row
    EXPECT_TRUE(s.dialog.isEnabled());
}

TEST(SaveOptions, GraphicsAndLogoFilesAreWrittenForRedPaper) {
    SaveWorld s(redPicture(16));
    s.files.choose(s.out("pic.gfx"));
    s.dialog.cmdSaveGfx->click();
    s.files.choose(s.out("pic.lgo"));
    s.dialog.cmdSaveLogo->click();
    ASSERT_TRUE(s.messages.shown.empty()) << s.messages.shown[0].text.toStdString();
    EXPECT_FALSE(readFile(s.out("pic.gfx").toStdString()).empty());
    EXPECT_FALSE(readFile(s.out("pic.lgo").toStdString()).empty());
    EXPECT_EQ(s.settings.read(Key::InitGfxDir), s.path("out/"));
    EXPECT_EQ(s.settings.read(Key::InitLgoDir), s.path("out/"));
    EXPECT_EQ(s.files.requests[0].title, QStringLiteral("Save a Graphics File"));
    EXPECT_EQ(s.files.requests[0].filter, QStringLiteral("Graphics file (*.gfx)|*.gfx|All Files (*.*)|*.*"));
    EXPECT_EQ(s.files.requests[1].title, QStringLiteral("Save a Logo File"));
    EXPECT_EQ(s.files.requests[1].filter, QStringLiteral("Logo file (*.lgo)|*.lgo|All Files (*.*)|*.*"));
}

TEST(SaveOptions, BlueScreenColourEncodesForBluePaper) {
    // The red highlight cannot print on blue paper, so the library refuses
    // the picture: proof that paper kind 2 reached it.
    SaveWorld s(redPicture(16));
    s.g.gScreenRed = false;
    s.files.choose(s.out("pic.gfx"));
    s.dialog.cmdSaveGfx->click();
    s.files.choose(s.out("pic.lgo"));
    s.dialog.cmdSaveLogo->click();
    EXPECT_EQ(s.messages.boxes(),
              (std::vector<Box>{{"Error # 12 saving the BMP file as a graphics (*.GFX) file.", "Save Error",
                                 MsgIcon::Exclamation, 4},
                                {"Error # 12 saving the BMP file as a logo (*.LGO) file.", "Save Error",
                                 MsgIcon::Exclamation, 4}}));
    EXPECT_TRUE(s.dialog.isEnabled());
}

TEST(SaveOptions, TooWideRefusesGraphicsAndLogoWithoutAFileDialogButSavesBmp) {
    SaveWorld s(redPicture(577));
    s.dialog.cmdSaveGfx->click();
    s.dialog.cmdSaveLogo->click();
    EXPECT_TRUE(s.files.requests.empty());
    EXPECT_EQ(s.messages.boxes(),
              std::vector<Box>(2, Box("The bitmap is too wide.  Make sure to re-size it before modifying the colors "
                                      "or saving it as a graphic or logo.",
                                      "Bitmap Size Error", MsgIcon::Information, 1)));
    s.files.choose(s.out("wide.bmp"));
    s.dialog.cmdSaveBMP->click();
    EXPECT_EQ(s.messages.shown.size(), 2u);
    EXPECT_EQ(readFile(s.out("wide.bmp").toStdString()).size(), readFile(s.working().toStdString()).size());
}

TEST(SaveOptions, CancelledDialogSavesNothingAndNamesTheKind) {
    SaveWorld s(redPicture(16));
    s.settings.write(Key::InitGfxDir, QStringLiteral("/kept/"));
    s.dialog.cmdSaveBMP->click();
    s.dialog.cmdSaveGfx->click();
    s.dialog.cmdSaveLogo->click();
    EXPECT_EQ(s.messages.boxes(), (std::vector<Box>{{kNoFile, "Save Error", MsgIcon::Information, 4},
                                                       {kNoFile, "Save Warning", MsgIcon::Information, 4},
                                                       {kNoFile, "Save Warning", MsgIcon::Information, 4}}));
    EXPECT_EQ(s.settings.read(Key::InitGfxDir), QStringLiteral("/kept/"));
    EXPECT_FALSE(s.settings.contains(Key::InitOutBmpDir));
    EXPECT_TRUE(s.dialog.isVisible());
}

TEST(SaveOptions, FailedCopyReportsStatusOnItsOwnLine) {
    SaveWorld s(redPicture(16));
    s.files.choose(s.path("no/such/folder/x.bmp"));
    s.dialog.cmdSaveBMP->click();
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0].text, QStringLiteral("Error saving bitmap file.\r\nError # 10"));
    EXPECT_EQ(s.messages.shown[0].title, QStringLiteral("Save Error"));
    EXPECT_EQ(s.messages.shown[0].icon, MsgIcon::Exclamation);
}

TEST(SaveOptions, ANameWithoutExtensionGetsTheKindsAndReplacesAFileOnlyWhenAsked) {
    SaveWorld s(redPicture(16));
    s.messages.answers = {MsgResult::Cancel};  // the dialog asked about "receipt", not about receipt.lgo
    for (const char* typed : {"receipt.lgo", "receipt", "receipt"}) {
        s.files.choose(s.out(typed));
        s.dialog.cmdSaveLogo->click();
    }
    EXPECT_EQ(s.main.saves, 2);
    EXPECT_EQ(s.messages.shown.at(0).text, s.out("receipt.lgo") + " already exists.  Do you want to replace it?");
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
