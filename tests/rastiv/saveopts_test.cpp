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

// Each kind: a cancelled request explained and nothing kept, then its own request, the file written and its
// folder remembered; the dialog stays for several saves in a row.
TEST(SaveOptions, EachKindAsksForItsFileWritesItAndRemembersItsFolder) {
    struct Row {
        QPushButton* frmSaveOpts::*button;
        const char *name, *title;
        Key folder;
        const char* cancelled;
    } const rows[] = {
        {&frmSaveOpts::cmdSaveBMP, "copy.bmp", "Save a Bitmap File", Key::InitOutBmpDir, "Save Error"},
        {&frmSaveOpts::cmdSaveGfx, "pic.gfx", "Save a Graphics File", Key::InitGfxDir, "Save Warning"},
        {&frmSaveOpts::cmdSaveLogo, "pic.lgo", "Save a Logo File", Key::InitLgoDir, "Save Warning"},
    };
    for (const Row& r : rows) {
        SaveWorld s(redPicture(16));
        s.settings.write(r.folder, QStringLiteral("/last/time/"));
        (s.dialog.*r.button)->click();
        EXPECT_EQ(s.settings.read(r.folder), QStringLiteral("/last/time/")) << r.title;
        s.files.choose(s.out(r.name));
        (s.dialog.*r.button)->click();
        ASSERT_EQ(s.files.requests.size(), 2u);
        const FileRequest& q = s.files.requests[1];
        EXPECT_EQ(q.mode, FileRequest::Mode::Save);
        EXPECT_EQ(q.title, QString::fromLatin1(r.title));
        EXPECT_EQ(q.startFolder, QStringLiteral("/last/time/"));
        EXPECT_TRUE(q.askBeforeOverwrite);
        EXPECT_EQ(q.defaultExtension, QString::fromLatin1(r.name).right(4));
        EXPECT_TRUE(q.fileName.isEmpty());
        EXPECT_EQ(s.messages.boxes(), (std::vector<Box>{{kNoFile, r.cancelled, MsgIcon::Information, 4}}));
        const ByteVec written = readFile(s.out(r.name).toStdString());
        EXPECT_FALSE(written.empty()) << r.title;
        EXPECT_TRUE(r.folder != Key::InitOutBmpDir || written == readFile(s.working().toStdString()));  // a copy
        EXPECT_EQ(s.settings.read(r.folder), s.path("out/")) << r.title;
        EXPECT_TRUE(s.dialog.isVisible() && s.dialog.isEnabled());
    }
}

// The red highlight cannot print on blue paper, so the library refuses the picture: proof that paper kind 2
// reached it.  A picture too wide is refused without a file dialog, but may still be saved as a BMP.
TEST(SaveOptions, GraphicsAndLogosAreRefusedForBluePaperOrWhenTooWide) {
    const Box gfx("Error # 12 saving the BMP file as a graphics (*.GFX) file.", "Save Error", MsgIcon::Exclamation, 4),
        lgo("Error # 12 saving the BMP file as a logo (*.LGO) file.", "Save Error", MsgIcon::Exclamation, 4),
        wide("The bitmap is too wide.  Make sure to re-size it before modifying the colors or saving it as a "
             "graphic or logo.", "Bitmap Size Error", MsgIcon::Information, 1);
    for (const bool tooWide : {false, true}) {
        SaveWorld s(redPicture(tooWide ? 577 : 16));
        s.g.gScreenRed = tooWide;
        if (!tooWide) s.files.choose(s.out("pic.gfx")), s.files.choose(s.out("pic.lgo"));
        s.dialog.cmdSaveGfx->click();
        s.dialog.cmdSaveLogo->click();
        EXPECT_EQ(s.messages.boxes(), (tooWide ? std::vector<Box>(2, wide) : std::vector<Box>{gfx, lgo}));
        EXPECT_TRUE(s.dialog.isEnabled());
        if (!tooWide) continue;
        s.files.choose(s.out("wide.bmp"));
        s.dialog.cmdSaveBMP->click();
        EXPECT_EQ(s.messages.shown.size(), 2u);
        EXPECT_EQ(readFile(s.out("wide.bmp").toStdString()).size(), readFile(s.working().toStdString()).size());
    }
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
    for (const bool byButton : {true, false}) {
        SaveWorld s(redPicture(16));
        byButton ? s.dialog.cmdExit->click() : void(s.dialog.close());
        EXPECT_FALSE(s.dialog.isVisible());
        EXPECT_EQ(s.main.markerSteps, std::vector<int>{5});
        EXPECT_EQ(s.main.enables, 1);
    }
}
