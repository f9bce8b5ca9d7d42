// Logos, watermarks and margin messages stored in the virtual printer through their dialogs.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>

#include "core/batchmode.hpp"
#include "fakes.hpp"
#include "printerbench.hpp"
#include "ui/common/transferpanel.hpp"
#include "ui/printer/frmDownloadLogo.hpp"
#include "ui/printer/frmLogo2.hpp"
#include "ui/printer/frmRibbonLogo.hpp"
#include "ui/printer/frmWatermark.hpp"
#include "ui/printer/logocommon.hpp"
#include "ui/printer/frmComm.hpp"
#include "core/portdevices.hpp"
#include "link/virtualprinter.hpp"
#include "ui/main/frmMain.hpp"

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

// The twenty lines of a sample receipt, spelled out.
QList<QByteArray> sampleLines() {
    QList<QByteArray> lines;
    for (int i = 1; i <= 20; ++i) lines.append("Sample Receipt Item  " + QByteArray::number(i) + "\n");
    return lines;
}

// A printer connected for logo management.
struct Bench : PrinterBench {
    Bench() { connect(); }
};

Box parameterError(const char* text, int topic) { return {text, "Parameter Error", MsgIcon::Information, topic}; }

Box legacyAdvice(const char* feature) {
    return {QStringLiteral("Please use Legacy Colorization to:\r\n\r\n     Enable the %1 and \r\n\r\n"
                           "     Print a sample receipt with the %1")
                .arg(QString::fromLatin1(feature)),
            "Rastiv"};
}

TEST(LogoNumber, LeadingNumberFrom0To255RoundedHalfToEven) {
    struct Row {
        const char* text;
        NumberCheck check;
        int byte;
    };
    const Row rows[] = {
        {"", NumberCheck::Empty, 0},        {"12abc", NumberCheck::Valid, 12},  {"abc", NumberCheck::Valid, 0},
        {" ", NumberCheck::Valid, 0},       {"2.5", NumberCheck::Valid, 2},     {"3.5", NumberCheck::Valid, 4},
        {"0.5", NumberCheck::Valid, 0},     {" 240", NumberCheck::Valid, 240},  {"255", NumberCheck::Valid, 255},
        {"254.6", NumberCheck::Valid, 255}, {"255.4", NumberCheck::OutOfRange, 0},
        {"256", NumberCheck::OutOfRange, 0}, {"-1", NumberCheck::OutOfRange, 0},
        {"-0.4", NumberCheck::OutOfRange, 0}, {"1e2", NumberCheck::Valid, 100},
        {"99999999999999999999999", NumberCheck::OutOfRange, 0},
    };
    for (const Row& r : rows) {
        const LogoNumber n = readLogoNumber(QString::fromLatin1(r.text));
        EXPECT_EQ(n.check, r.check) << r.text;
        if (r.check == NumberCheck::Valid) {
            EXPECT_EQ(n.byte, r.byte) << r.text;
        }
    }
}

TEST(DownloadLogo, TopAndBottomLogoFillInLockedNumbersUntilNonLegacyIsChosen) {
    Bench b;
    const QByteArray logo = b.logoFile(1);
    frmDownloadLogo d(b.w.env, b.logo);
    EXPECT_TRUE(d.rbNoLogo->isChecked());
    EXPECT_EQ(d.steps.shown(), 1);

    d.rbTopLogo->click();
    EXPECT_EQ(d.tbLogoNum->text(), " 240");
    EXPECT_TRUE(d.tbLogoNum->isReadOnly());
    EXPECT_FALSE(d.Label1->isEnabled());
    EXPECT_EQ(d.steps.shown(), 1);
    d.cmdDownloadLogo->click();
    EXPECT_EQ(b.writes(), (QList<QByteArray>{kBegin, hex("1D 23 F0"), logo, kDeselect}));

    b.clear();
    d.rbBottomLogo->click();
    EXPECT_EQ(d.tbLogoNum->text(), " 243");
    EXPECT_TRUE(d.tbLogoNum->isReadOnly());
    d.cmdDownloadLogo->click();
    EXPECT_EQ(b.writes(), (QList<QByteArray>{kBegin, hex("1D 23 F3"), logo, kDeselect}));

    d.tbLogoNum->setText("9");  // locked against typing, not against the program
    EXPECT_EQ(d.steps.shown(), 2);
    QTest::mouseClick(d.tbLogoNum, Qt::LeftButton);
    EXPECT_EQ(d.steps.shown(), 1);
    d.rbNoLogo->click();
    EXPECT_EQ(d.tbLogoNum->text(), "");
    EXPECT_FALSE(d.tbLogoNum->isReadOnly());
    EXPECT_TRUE(d.Label1->isEnabled());
}

TEST(DownloadLogo, PrintLogoPrintsTheNumberTypedAndIsLeftOutOfTheRecording) {
    Bench b;
    b.logoFile(1);
    frmDownloadLogo d(b.w.env, b.logo);
    b.record();
    d.tbLogoNum->setText("7");
    d.cmdPrintLogo->click();
    EXPECT_EQ(b.writes(), (QList<QByteArray>{select(7), hex("1D 2F 00"), kFeed, kDeselect}));
    EXPECT_EQ(d.steps.shown(), 4);
    EXPECT_FALSE(b.w.batch.sendingPrintSample());
    EXPECT_TRUE(b.recorded().isEmpty());
}

TEST(DownloadLogo, AClosedPortStopsSilently) {
    Bench b;
    b.logoFile(1);
    frmDownloadLogo d(b.w.env, b.logo);
    b.w.link.ClosePort();
    d.tbLogoNum->setText("5");
    d.cmdDownloadLogo->click();
    EXPECT_EQ(d.steps.shown(), 3);
    EXPECT_TRUE(b.w.messages.shown.empty());
    EXPECT_TRUE(b.writes().isEmpty());
}

// Every number the logo dialogs send: missing or out of range, the operator
// is told which before a byte is sent.
TEST(LogoNumbers, AMissingOrOutOfRangeNumberIsRefusedBeforeAnythingIsSent) {
    using Try = std::function<void(Bench&)>;
    const auto logo = [](const char* n, bool print) -> Try {
        return [=](Bench& b) {
            frmDownloadLogo d(b.w.env, b.logo);
            d.tbLogoNum->setText(QString::fromLatin1(n));
            (print ? d.cmdPrintLogo : d.cmdDownloadLogo)->click();
        };
    };
    const auto margin = [](const char* n, bool print) -> Try {
        return [=](Bench& b) {
            frmRibbonLogo d(b.w.env, b.logo);
            d.tbLogoNum->setText(QString::fromLatin1(n));
            (print ? d.cmdPrintSample : d.cmdRibbon)->click();
        };
    };
    const auto watermark = [](const char* logoNumber, const char* n, bool print) -> Try {
        return [=](Bench& b) {
            frmWatermark d(b.w.env, b.logo);
            d.tbLogoIndex->setText(QString::fromLatin1(logoNumber));
            d.tbWmIndex->setText(QString::fromLatin1(n));
            (print ? d.cmdPrintSample : d.cmdDefine)->click();
        };
    };
    const char* range = "The logo number must be between 0 and 255.";
    const struct {
        Try attempt;
        const char* text;
        int topic;
    } rows[] = {
        {logo("", false), "You must enter a logo number (0-255) before you can download a logo.", 11},
        {logo("", true), "You must enter a logo number (0-255) before you can print a logo.", 11},
        {logo("256", false), range, 11},
        {logo("-1", true), range, 11},
        {margin("", false), "You must enter a logo number (0-255) before you can download a margin message.", 10},
        {margin("", true), "You must enter a logo number (0-255) before you can print a margin message.", 10},
        {margin("300", false), range, 10},
        {watermark("", "5", false), "You must enter a logo number (0-255) before you can download a logo.", 9},
        {watermark("256", "", false), range, 9},
        {watermark("255", "", false), "You must enter a watermark number (0-255) before you can define a watermark.", 9},
        {watermark("255", "256", false), "The watermark number must be between 0 and 255.", 9},
        {watermark("", "", true), "You must enter a watermark number (0-255) before you can print a watermark.", 9},
        {watermark("", "256", true), "The watermark number must be between 0 and 255.", 9},
    };
    Bench b;
    b.logoFile(1);
    for (const auto& r : rows) {
        b.clear();
        r.attempt(b);
        EXPECT_EQ(b.w.messages.boxes(), std::vector<Box>{parameterError(r.text, r.topic)});
        EXPECT_TRUE(b.writes().isEmpty()) << r.text;
        EXPECT_FALSE(b.w.batch.sendingPrintSample());
    }
}

TEST(DownloadLogo, AMissingEmptyOrMalformedLogoFileIsRefusedWithNothingOnTheWire) {
    Bench b;
    const QString path = b.w.path("in/bad.lgo");
    frmDownloadLogo d(b.w.env, path);
    d.tbLogoNum->setText("5");
    const struct {
        std::optional<ByteVec> content;  // none: no file at all
        const char* title;
        const char* reason;
    } rows[] = {
        {std::nullopt, "File Open Error", ""},
        {ByteVec{0x1D, 0x84, 0x01, 0x02, 0x01, 'A'}, "File Format Error",
         "it holds 6 bytes, but its header (kind 1, X 2, Y 1) calls for 21"},
    };
    for (const auto& r : rows) {
        b.clear();
        if (r.content) writeFile(path.toStdString(), *r.content);
        d.cmdDownloadLogo->click();
        EXPECT_TRUE(b.printer->received().isEmpty()) << r.reason;
        ASSERT_EQ(b.w.messages.shown.size(), 1u) << r.reason;
        const Message& m = b.w.messages.shown[0];
        EXPECT_EQ(m.title, r.title);
        EXPECT_TRUE(m.text.contains(path)) << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(QString::fromLatin1(r.reason))) << m.text.toStdString();
        EXPECT_EQ(m.helpTopic, 11);
        EXPECT_EQ(d.steps.shown(), 2);
        EXPECT_TRUE(d.isEnabled());
    }
    // The watermark and the margin message send the same file the same way.
    b.clear();
    writeFile(path.toStdString(), {});
    frmWatermark wm(b.w.env, path);
    wm.tbLogoIndex->setText("5");
    wm.tbWmIndex->setText("6");
    wm.cmdDefine->click();
    frmRibbonLogo margin(b.w.env, path);
    margin.tbLogoNum->setText("5");
    margin.cmdRibbon->click();
    EXPECT_TRUE(b.printer->received().isEmpty());
    EXPECT_EQ(b.w.messages.shown.size(), 2u);
}

// Virtual time: the attempts come while the download waits on the line.
TEST(Sending, NeitherTheDialogNorTheMainWindowClosesWhileALogoIsBeingSent) {
    Bench b;
    const QByteArray logo = b.logoFile(12);
    frmMain main(b.w.env);
    int ended = 0;
    main.endProgram = [&] { ++ended; };
    main.show();
    // The main window starts every run unconnected; the bench is connected.
    b.connect();
    frmDownloadLogo d(b.w.env, b.logo, &main);
    d.show();
    d.tbLogoNum->setText("5");
    bool tried = false, dialogClosed = true, mainClosed = true, visibleAfterEscape = false;
    QTimer::singleShot(0, [&] {
        tried = true;
        EXPECT_LT(b.writes().size(), 6);  // the download is under way
        dialogClosed = d.close();
        QTest::keyClick(&d, Qt::Key_Escape);
        visibleAfterEscape = d.isVisible();
        mainClosed = main.close();
    });
    d.cmdDownloadLogo->click();
    EXPECT_TRUE(tried);
    EXPECT_FALSE(dialogClosed);
    EXPECT_TRUE(visibleAfterEscape);
    EXPECT_FALSE(mainClosed);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(b.writes(),
              (QList<QByteArray>{kBegin, select(5), logo.left(50), logo.mid(50, 50), logo.mid(100), kDeselect}));
    EXPECT_EQ(d.steps.shown(), 3);
    // Once the sequence has ended, both close as usual.
    EXPECT_TRUE(d.close());
    EXPECT_TRUE(main.close());
    EXPECT_EQ(ended, 1);
}

TEST(Watermark, LegacyBoxDefinesWatermark241FromLogo239AtTheDefaultShading) {
    Bench b;
    const QByteArray logo = b.logoFile(3);
    frmWatermark d(b.w.env, b.logo);
    EXPECT_EQ(d.slider1->value(), 80);
    EXPECT_EQ(d.steps.shown(), 1);
    d.chkLegacyColorization->click();
    EXPECT_EQ(d.tbLogoIndex->text(), " 239");
    EXPECT_EQ(d.tbWmIndex->text(), " 241");
    EXPECT_TRUE(d.tbLogoIndex->isReadOnly() && d.tbWmIndex->isReadOnly());
    EXPECT_FALSE(d.Label11->isEnabled() || d.Label3->isEnabled());
    EXPECT_EQ(d.steps.shown(), 2);
    d.slider1->setValue(79);
    d.slider1->setValue(80);
    EXPECT_EQ(d.steps.shown(), 4);

    b.record();
    d.cmdDefine->click();
    const QByteArray define = hex("1B 61 01 1D 8B EF 50 F1");
    EXPECT_EQ(b.writes(), (QList<QByteArray>{kBegin, hex("1D 23 EF"), logo, kDeselect, define, hex("1B 61 00")}));
    EXPECT_EQ(d.steps.shown(), 5);
    EXPECT_TRUE(b.w.messages.shown.empty());

    b.clear();
    d.cmdPrintSample->click();
    EXPECT_TRUE(b.writes().isEmpty());
    EXPECT_EQ(b.w.messages.boxes(), std::vector<Box>{legacyAdvice("Watermark")});
    EXPECT_EQ(d.steps.shown(), 6);
    EXPECT_FALSE(b.w.batch.sendingPrintSample());
    EXPECT_EQ(b.recorded(), kBegin + hex("1D 23 EF") + logo + kBatchPauseMarker + kDeselect + define +
                                kBatchPauseMarker + hex("1B 61 00"));

    d.chkLegacyColorization->click();
    EXPECT_EQ(d.tbLogoIndex->text(), " 239");
    EXPECT_FALSE(d.tbLogoIndex->isReadOnly() || d.tbWmIndex->isReadOnly());
    EXPECT_TRUE(d.Label11->isEnabled() && d.Label3->isEnabled());
    d.slider1->setValue(0);
    EXPECT_EQ(d.steps.shown(), 3);
}

TEST(Watermark, TheSameNumberTwiceIsRefusedBeforeAnythingIsSent) {
    Bench b;
    b.logoFile(3);
    frmWatermark d(b.w.env, b.logo);
    d.tbLogoIndex->setText("7");
    d.tbWmIndex->setText("07");  // written differently, the same number to the printer
    d.cmdDefine->click();
    EXPECT_TRUE(b.writes().isEmpty());
    EXPECT_EQ(b.w.messages.boxes(), (std::vector<Box>{{"The watermark number cannot be the same as the logo number.",
                                                      "Parameter Error", MsgIcon::Exclamation, 9}}));
    EXPECT_EQ(d.steps.shown(), 4);

    b.clear();
    d.tbWmIndex->setText("0");
    d.slider1->setValue(100);
    d.cmdDefine->click();
    EXPECT_EQ(b.writes().mid(4), (QList<QByteArray>{hex("1B 61 01 1D 8B 07 64 00"), hex("1B 61 00")}));
}

// The samples switch their feature on around twenty lines of text, feed the
// paper, and stay out of a recording.
TEST(PrintSample, WatermarkAndMarginMessageFrameTwentyLines) {
    const auto watermark = [](Bench& b) {
        frmWatermark d(b.w.env, b.logo);
        d.tbWmIndex->setText("5");
        d.cmdPrintSample->click();
        return d.steps.shown();
    };
    const auto margin = [](bool right) {
        return [right](Bench& b) {
            frmRibbonLogo d(b.w.env, b.logo);
            EXPECT_TRUE(d.rbLeft->isChecked());
            d.tbLogoNum->setText("9");
            if (right) {
                d.rbRight->click();
                EXPECT_EQ(d.steps.shown(), 5);
            }
            d.cmdPrintSample->click();
            return d.steps.shown();
        };
    };
    const struct {
        std::function<int(Bench&)> print;
        const char *on, *off;
    } rows[] = {{watermark, "1D 8C 01 05", "1D 8C 00 05"},
                {margin(false), "1D 99 01 09 32 00", "1D 99 00 09 32 00"},
                {margin(true), "1D 99 02 09 32 00", "1D 99 00 09 32 00"}};
    for (const auto& r : rows) {
        Bench b;
        b.record();
        EXPECT_EQ(r.print(b), 6) << r.on;
        EXPECT_EQ(b.writes(), (QList<QByteArray>{hex(r.on)} + sampleLines() + QList<QByteArray>{hex(r.off), kFeed}));
        EXPECT_FALSE(b.w.batch.sendingPrintSample());
        EXPECT_TRUE(b.recorded().isEmpty()) << r.on;
    }
}

TEST(MarginMessage, LegacyBoxStoresLogo242AndLeavesTheSampleToLegacyColorization) {
    Bench b;
    const QByteArray logo = b.logoFile(5);
    frmRibbonLogo d(b.w.env, b.logo);
    QTest::mouseClick(d.Label3, Qt::LeftButton);
    EXPECT_EQ(d.steps.shown(), 2);
    d.chkLegacyColorization->click();
    EXPECT_EQ(d.tbLogoNum->text(), " 242");
    EXPECT_TRUE(d.tbLogoNum->isReadOnly());
    EXPECT_FALSE(d.Label2->isEnabled());
    EXPECT_EQ(d.steps.shown(), 3);

    b.record();
    d.cmdRibbon->click();
    EXPECT_EQ(b.writes(), (QList<QByteArray>{kBegin, hex("1D 23 F2"), logo, kDeselect}));
    EXPECT_EQ(d.transfer->status(), "Done: the margin message was downloaded as logo 242 (45 bytes).");
    EXPECT_EQ(d.steps.shown(), 4);
    b.clear();
    d.cmdPrintSample->click();
    EXPECT_TRUE(b.writes().isEmpty());
    EXPECT_EQ(b.w.messages.boxes(), std::vector<Box>{legacyAdvice("Margin Message")});
    EXPECT_EQ(b.recorded(), kBegin + hex("1D 23 F2") + logo + kBatchPauseMarker + kDeselect);

    d.chkLegacyColorization->click();
    EXPECT_EQ(d.tbLogoNum->text(), " 242");
    EXPECT_FALSE(d.tbLogoNum->isReadOnly());
    EXPECT_TRUE(d.Label2->isEnabled());
}

const QList<QByteArray> kLegacyOff = {hex("1F 03 16 01 00 00"), hex("1F 03 16 04 00 00"),
                                      hex("1F 03 16 03 00 00 00"), hex("1F 03 16 02 00 00"), hex("1D FF")};

TEST(LogoManagement, AnAnsweredEraseSwitchesLegacyColorizationOffWithAPauseAfterEachFlashWrite) {
    Bench b;
    frmLogo2 d(b.w.env, b.w.picture);
    b.record();
    d.cmdErase->click();
    EXPECT_EQ(b.w.messages.boxes(),
              (std::vector<Box>{{"This action will erase all logos and user-defined character sets from your printer.",
                                "Erase Confirmation", MsgIcon::Information, 5, MsgButtons::OkCancel}}));
    EXPECT_EQ(b.writes(), QList<QByteArray>{hex("1D 40 31")} + kLegacyOff);
    EXPECT_TRUE(d.lblStatus->text().startsWith("Done: the printer's logos")) << d.lblStatus->text().toStdString();
    EXPECT_EQ(d.steps.shown(), 3);
    EXPECT_TRUE(d.isEnabled());
    EXPECT_EQ(b.recorded(), hex("1D 40 31") + kBatchPauseMarker + kLegacyOff.join() + kBatchPauseMarker);
}

TEST(LogoManagement, AnEraseCancelledOrNotAnsweredWithinTenSecondsSendsNothingMore) {
    Bench b;
    frmLogo2 d(b.w.env, b.w.picture);
    d.steps.show(1);
    b.w.messages.answers = {MsgResult::Cancel};
    d.cmdErase->click();
    EXPECT_TRUE(b.writes().isEmpty());
    EXPECT_EQ(d.steps.shown(), 2);

    // The status reply of the connection test is still waiting: it is no answer.
    ASSERT_GT(b.w.link.InputBufferCount(), 0);
    b.printer->setAcknowledgesErase(false);
    b.clear();
    d.cmdErase->click();
    EXPECT_EQ(b.writes(), QList<QByteArray>{hex("1D 40 31")});
    ASSERT_EQ(b.w.messages.shown.size(), 2u);
    EXPECT_EQ(b.w.messages.boxes()[1], Box("Unable to erase the flash memory.", "Erase Error", MsgIcon::Exclamation, 0));
    EXPECT_EQ(d.steps.shown(), 2);
    EXPECT_TRUE(d.isEnabled());

    // The wait for the answer starts after the printer is back: 10 s from then.
    b.printer->setAcknowledgesErase(true);
    for (int replyDelay : {9000, 14000}) {
        b.clear();
        b.printer->setReplyDelayMs(replyDelay);
        d.cmdErase->click();
        EXPECT_EQ(b.writes().size(), replyDelay < 10000 ? 6 : 1) << replyDelay;
        EXPECT_EQ(b.w.messages.shown.size(), replyDelay < 10000 ? 1u : 2u) << replyDelay;
    }
}

TEST(LogoManagement, UseCurrentImageMakesTheLogoFileOrSaysWhyNot) {
    Bench b;
    frmLogo2 d(b.w.env, b.w.picture);
    b.w.picture.width = 577;  // checked before whether anything is loaded
    d.cmdUseCurrentBitmap->click();
    b.w.picture.width = 576;
    d.cmdUseCurrentBitmap->click();
    b.w.workingBitmap(100, 4);
    BmpBuilder(100, 4, 8).colours({kBlack, rgb(0, 200, 0)}).fill(1).write(b.w.working().toStdString());
    d.cmdUseCurrentBitmap->click();
    EXPECT_EQ(b.w.messages.boxes(),
              (std::vector<Box>{{"The bitmap is too wide.  Make sure to Re-size it before modifying the colors or "
                                 "saving it as a graphic or logo.",
                                 "Bitmap Size Warning", MsgIcon::Information, 1},
                                parameterError("You must load a BMP file before you can send it to the printer.", 1),
                                {"Error # 12 saving the BMP file as a logo (*.LGO) file.", "PIXMILL DLL Error",
                                 MsgIcon::Exclamation, 5}}));
    EXPECT_TRUE(d.logoFile().isEmpty());
    EXPECT_TRUE(d.tbLogoName->text().isEmpty());

    b.w.workingBitmap(100, 4);
    d.cmdUseCurrentBitmap->click();
    EXPECT_EQ(d.logoFile(), b.w.env.workPath("tmpfile.lgo"));
    EXPECT_EQ(d.tbLogoName->text(), d.logoFile());
    EXPECT_EQ(readFile(d.logoFile().toStdString()).at(1), 0x84);
    EXPECT_EQ(d.steps.shown(), 2);
    EXPECT_EQ(b.w.messages.shown.size(), 3u);
}

TEST(LogoManagement, GetLogoFromAFileRefusesBitmapsAndRemembersTheFolderOfWhatItTakes) {
    Bench b;
    frmLogo2 d(b.w.env, b.w.picture);
    b.w.settings.write(Key::InitLgoDir, b.w.path("in/"));
    palettePicture(8, 8).write(b.w.path("in/picture.lgo").toStdString());
    writeFile(b.w.path("out/notes.lgo").toStdString(), ByteVec{'h', 'i'});

    b.w.files.choose(b.w.path("in/picture.lgo"));
    d.cmdLogoFromFile->click();
    ASSERT_EQ(b.w.files.requests.size(), 1u);
    const FileRequest& r = b.w.files.requests[0];
    EXPECT_EQ(r.mode, FileRequest::Mode::Open);
    EXPECT_EQ(r.title, "Open a Logo File");
    EXPECT_EQ(r.filter, "LGO file (*.lgo)|*.lgo|All Files (*.*)|*.*");
    EXPECT_EQ(r.defaultExtension, ".LGO");
    EXPECT_EQ(r.startFolder, b.w.path("in/"));
    EXPECT_TRUE(r.fileName.isEmpty());
    ASSERT_EQ(b.w.messages.shown.size(), 1u);
    EXPECT_EQ(b.w.messages.shown[0].text, "You must select a *.LGO file, not a *.BMP file.  If you have not converted "
                                          "the BMP file to a *.LGO file then do so now.");
    EXPECT_EQ(b.w.messages.shown[0].title, "File Format Error");
    EXPECT_EQ(b.w.messages.shown[0].helpTopic, 5);
    EXPECT_TRUE(d.logoFile().isEmpty());

    b.w.files.choose(b.w.path("out/notes.lgo"));
    d.cmdLogoFromFile->click();
    EXPECT_EQ(d.logoFile(), b.w.path("out/notes.lgo"));
    EXPECT_EQ(d.tbLogoName->text(), d.logoFile());
    EXPECT_EQ(b.w.settings.read(Key::InitLgoDir), b.w.path("out/"));
    EXPECT_EQ(d.steps.shown(), 2);

    d.cmdLogoFromFile->click();  // cancelled: no logo any more, and the box says so
    EXPECT_TRUE(d.logoFile().isEmpty());
    EXPECT_TRUE(d.tbLogoName->text().isEmpty());
    EXPECT_EQ(b.w.messages.shown.size(), 1u);
}

TEST(LogoManagement, TheSendButtonsNeedALogoFileAndOpenTheirDialogsModally) {
    Bench b;
    frmLogo2 d(b.w.env, b.w.picture);
    EXPECT_TRUE(d.logoFile().isEmpty());  // every opening starts without a logo
    for (QPushButton* button : {d.cmdLogo, d.cmdWatermark, d.cmdRibbon}) button->click();
    EXPECT_EQ(b.w.messages.boxes(),
              std::vector<Box>(3, parameterError("You must select a graphic before you can send it to the printer.", 5)));
    EXPECT_EQ(d.steps.shown(), 4);

    b.w.files.choose(b.w.path("in/pic.lgo"));
    b.logoFile(1);
    d.cmdLogoFromFile->click();
    std::vector<QString> titles;
    for (QPushButton* button : {d.cmdLogo, d.cmdWatermark, d.cmdRibbon}) {
        whenModal([&](QDialog* opened) {
            titles.push_back(opened->windowTitle());
            EXPECT_EQ(opened->parentWidget(), &d);
            opened->reject();
        });
        button->click();
    }
    EXPECT_EQ(titles, (std::vector<QString>{"Download a Logo", "Define and Download Watermark",
                                            "Download Margin Message"}));
}

TEST(LogoManagement, ALogoMadeFromTheWorkingBitmapIsStoredAsTheTopLogo) {
    Bench b;
    b.w.workingBitmap(96, 20);
    frmLogo2 d(b.w.env, b.w.picture);
    d.cmdUseCurrentBitmap->click();
    const QByteArray lgo = fileBytes(d.logoFile());
    whenModal([](QDialog* opened) {
        auto* download = qobject_cast<frmDownloadLogo*>(opened);
        ASSERT_NE(download, nullptr);
        download->rbTopLogo->click();
        download->cmdDownloadLogo->click();
        download->cmdExit->click();
    });
    d.cmdLogo->click();
    EXPECT_EQ(b.printer->received(), kBegin + hex("1D 23 F0") + lgo + kDeselect);
    EXPECT_TRUE(b.w.messages.shown.empty());  // the printer was back after its flash write
    EXPECT_EQ(d.steps.shown(), 4);
}

// Each printer tool of the main window asks for the connection first, opens
// its dialog once the printer has answered, and gives the buttons back
// whichever way it ends.
TEST(MainWindowTools, EachAsksForTheConnectionFirstAndOpensItsDialogOnceThePrinterHasAnswered) {
    const struct {
        QPushButton* frmMain::*button;
        const char* title;
    } rows[] = {{&frmMain::cmdPrint, "Print a Graphic"},
                {&frmMain::cmdLogo, "Logo Management"},
                {&frmMain::cmdLegacy, "Legacy Colorization"}};
    for (const auto& r : rows) {
        World w;
        setPortDevice(w.settings, 0, QString::fromLatin1(kVirtualPrinterDevice));
        frmMain window(w.env);
        window.endProgram = [] {};
        window.show();
        QPushButton* button = window.*r.button;
        std::vector<QString> titles;
        const auto close = [&](QDialog* d) {
            titles.push_back(d->windowTitle());
            d->reject();
        };
        whenModal(close);  // the connection refused: nothing opens
        button->click();
        EXPECT_FALSE(w.link.printerAnswering());
        EXPECT_TRUE(button->isEnabled() && window.cmdLoad->isEnabled()) << r.title;
        whenModal([&](QDialog* comm) {
            titles.push_back(comm->windowTitle());
            whenModal(close, r.title);
            static_cast<frmComm*>(comm)->cmdConnect->click();
        });
        button->click();
        EXPECT_TRUE(w.link.printerAnswering());
        whenModal(close);  // connected: straight to the tool
        button->click();
        EXPECT_EQ(titles, (std::vector<QString>{"Communication Configuration", "Communication Configuration", r.title,
                                                r.title}));
        EXPECT_TRUE(button->isEnabled() && window.cmdLoad->isEnabled()) << r.title;
        window.close();
    }
}

}  // namespace
