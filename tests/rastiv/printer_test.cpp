// The communication dialog, printing a graphic, and batch recording and playback.
#include <QListWidget>
#include <QComboBox>
#include <QPushButton>
#include <QLabel>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "core/batchmode.hpp"
#include "ui/batch/frmBatch.hpp"
#include "fakes.hpp"
#include "ui/printer/frmPrint.hpp"
#include "ui/printer/frmComm.hpp"
#include "core/portdevices.hpp"
#include "link/termiosport.hpp"
#include "link/virtualprinter.hpp"
#include "ui/main/frmMain.hpp"
#include "receipt/receiptrenderer.hpp"
#include "printerbench.hpp"

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

const QByteArray kStatusQuery("\x1B\x76\x0A", 3);

using Bench = PrinterBench;

TEST(Comm, FirstStartWritesDefaultsAndClicksAreStoredInTheProgramsNumberForm) {
    Bench b;
    EXPECT_EQ(b.w.settings.read(Key::Port), "0");
    EXPECT_EQ(b.w.settings.read(Key::BaudRate), "0");
    EXPECT_EQ(b.w.settings.read(Key::Parity), "0");
    EXPECT_EQ(b.comm.lbCommPorts->currentItem()->text(), "COM1");
    EXPECT_EQ(b.comm.lbBaudRate->currentItem()->text(), "115200");
    EXPECT_EQ(b.comm.lbParity->currentItem()->text(), "None");
    for (const auto& [list, label] : {std::pair<QWidget*, QLabel*>{b.comm.lbCommPorts, b.comm.Label1},
                                      {b.comm.lbBaudRate, b.comm.lblBaudRate}, {b.comm.lbParity, b.comm.lblParity}})
        EXPECT_EQ(list->accessibleName(), label->text());  // never the entry selected

    b.comm.lbCommPorts->setCurrentRow(3);
    b.comm.lbBaudRate->setCurrentRow(3);
    b.comm.lbParity->setCurrentRow(1);
    EXPECT_EQ(b.w.settings.read(Key::Port), " 3");
    EXPECT_EQ(b.w.settings.read(Key::BaudRate), " 3");
    EXPECT_EQ(b.w.settings.read(Key::Parity), " 1");
    EXPECT_EQ(settingsString(b.comm.lbBaudRate->currentItem()->text(), b.comm.lbParity->currentItem()->text()),
              "19200,E,8,1");
    // COM4 stands for its default device until the operator picks another.
    EXPECT_EQ(b.comm.cbDevice->currentText(), "/dev/ttyS3");
    b.comm.cbDevice->setEditText("/dev/ttyUSB7");
    EXPECT_EQ(portDevice(b.w.settings, 3), "/dev/ttyUSB7");
    EXPECT_EQ(b.w.settings.read(Key::Com4), "/dev/ttyUSB7");

    b.w.settings.write(Key::Port, "9");
    b.w.settings.write(Key::BaudRate, " 4");
    b.comm.Form_Load();
    EXPECT_EQ(b.comm.lbCommPorts->currentRow(), 0);  // out of range: COM1
    EXPECT_EQ(b.comm.lbBaudRate->currentItem()->text(), "9600");
    // COM1 stood for the virtual printer, now a choice of its own; back on a port, the port has its own device.
    EXPECT_TRUE(b.comm.rbVirtual->isChecked() && !b.comm.lbCommPorts->isEnabled());
    b.comm.rbSerial->click();
    EXPECT_TRUE(b.comm.lbCommPorts->isEnabled() && b.w.settings.read(Key::VirtualPrinter) == "0");
    EXPECT_EQ(b.comm.cbDevice->currentText(), "/dev/ttyS0");
}

TEST(Comm, ASuccessfulTestConnectsRecordsTheQueryAndOpensTheWantedDialog) {
    Bench b;
    b.record();
    std::vector<QString> opened;
    whenModal([&b](QDialog*) { b.comm.cmdConnect_Click(); });
    b.comm.withConnection([&] { opened.push_back("logo"); });
    EXPECT_TRUE(b.w.link.lineOpen());
    EXPECT_EQ(b.w.link.sendChunk(), 50);
    EXPECT_FALSE(b.comm.isVisible());
    EXPECT_EQ(opened, std::vector<QString>{"logo"});
    EXPECT_EQ(b.printer->received(), kStatusQuery);
    EXPECT_EQ(b.w.link.InputBufferCount(), 1);  // the reply stays in the input buffer
    EXPECT_TRUE(b.comm.cmdConnect->isEnabled());
    EXPECT_TRUE(b.w.messages.shown.empty());
    EXPECT_EQ(b.recorded(), kStatusQuery);
}

TEST(Comm, APrinterMustAnswerWithinFiveSeconds) {
    for (int delay : {4900, 5100}) {
        Bench b;
        b.replyDelayMs = delay;
        b.comm.cmdConnect_Click();
        EXPECT_EQ(b.w.link.printerAnswering(), delay < 5000) << delay;
        EXPECT_TRUE(b.w.link.lineOpen());  // the port stays open either way
        if (delay > 5000) {
            EXPECT_EQ(b.w.messages.boxes(),
                      (std::vector<Box>{{"Error communicating with the printer.  Verify the port settings at the "
                                        "printer match the program settings.  Check the cable, and make sure the "
                                        "printer is turned on.",
                                        "Communication Error", MsgIcon::Exclamation, 7}}));
        }
    }
}

TEST(Comm, PortFailuresShowTheSystemErrorAndCancelGivesTheButtonsBack) {
    Bench b;
    setPortDevice(b.w.settings, 0, QStringLiteral("/dev/no-such-rastiv-port"));
    b.comm.makePort = [&b](const QString&) -> std::unique_ptr<SerialPort> {
        return std::make_unique<TermiosPort>(b.w.clock);
    };
    b.comm.cmdConnect_Click();
    ASSERT_EQ(b.w.messages.shown.size(), 1u);
    const Message& m = b.w.messages.shown[0];
    EXPECT_TRUE(m.text.startsWith("There was a system error attempting to deal with the port you have chosen:\n\n"
                                  "Number:  2\nDescription: The serial device /dev/no-such-rastiv-port does not "
                                  "exist."))
        << m.text.toStdString();
    EXPECT_EQ(Box(m), Box(m.text, m.title));  // no icon, no Help
    EXPECT_FALSE(b.w.link.lineOpen());
    EXPECT_FALSE(b.w.link.printerAnswering());
    EXPECT_TRUE(b.comm.cmdConnect->isEnabled());

    b.comm.show();
    b.comm.cmdCancel_Click();
    EXPECT_FALSE(b.comm.isVisible());
    EXPECT_EQ(b.main.enables, 1);

    b.comm.cmdHelp_Click();
    const Message& help = b.w.messages.shown.back();
    EXPECT_EQ(Box(help), Box(help.text, "Communication Help", MsgIcon::Information, 7));
}

TEST(Print, AGraphicIsStreamedInFullPiecesThenFedAndKeptOutOfARecording) {
    Bench b;
    b.connect();
    b.w.workingBitmap(576, 25);  // 25 monochrome records of 74 bytes: 1850 bytes, a multiple of 50
    b.record();
    frmPrint print(b.w.env, b.w.picture, b.main);
    print.cmdSendBMP_Click();
    EXPECT_TRUE(b.w.messages.shown.empty());
    const QByteArray gfx = fileBytes(b.w.env.workPath("tmpfile.gfx"));
    ASSERT_EQ(gfx.size(), 1850);
    EXPECT_EQ(b.printer->received(), gfx + kFeed);
    EXPECT_FALSE(b.w.batch.sendingPrintSample());
    EXPECT_TRUE(print.isEnabled());
    EXPECT_TRUE(b.recorded().isEmpty());  // print samples are omitted by default

    print.cmdExit_Click();
    EXPECT_EQ(b.main.enables, 1);
}

TEST(Print, TooWideOrNothingLoadedOrRefusedByTheEncoderSendsNothing) {
    Bench b;
    b.connect();
    frmPrint print(b.w.env, b.w.picture, b.main);
    b.w.picture.width = 577;  // checked before whether anything is loaded
    print.cmdSendBMP_Click();
    b.w.picture.width = 576;
    print.cmdSendBMP_Click();
    b.w.workingBitmap(100, 4);
    BmpBuilder(100, 4, 8).colours({kBlack, rgb(0, 200, 0)}).fill(1).write(b.w.working().toStdString());
    print.cmdSendBMP_Click();
    ASSERT_EQ(b.w.messages.shown.size(), 3u);
    EXPECT_EQ(b.w.messages.shown[0].title, "Bitmap Size Error");
    EXPECT_EQ(b.w.messages.shown[1].text, "You must load a BMP file before you can print anything.");
    EXPECT_EQ(b.w.messages.shown[1].title, "Parameter Error");
    EXPECT_EQ(b.w.messages.shown[2].text, "Error # 12 saving the BMP file as a graphics (*.GFX) file.");
    EXPECT_EQ(b.w.messages.shown[2].title, "PIXMILL DLL Error");
    EXPECT_EQ(b.w.messages.shown[2].helpTopic, 6);
    EXPECT_TRUE(b.printer->received().isEmpty());
}

TEST(Print, APlacedPictureIsTheLeftOneMovedByItsWhiteMarginInWholeDots) {
    Bench b;
    b.connect();
    frmPrint print(b.w.env, b.w.picture, b.main);
    EXPECT_EQ(print.lblPrinter->text(), "Prints to: the virtual printer (on screen)");
    for (int width : {1, 9, 100, 301, 575, 576}) {
        BmpBuilder(uint32_t(width), 3, 8).colours({kWhite, kBlack, kBlue}).each([](uint32_t x, uint32_t y) {
            return (x / 3 + y) % 3; }).write(b.w.working().toStdString());
        b.w.picture.current = b.w.working();
        b.w.picture.width = uint32_t(width);
        QImage left;
        for (int place : {0, 1, 2}) {
            print.cbPlacement->setCurrentIndex(place);
            b.printer->clearReceived();
            print.cmdSendBMP_Click();
            ReceiptRenderer paper;  // what the printer prints, dot for dot
            paper.feed(b.printer->received());
            const QImage dots = paper.receipt();
            if (place == 0) left = dots;
            ASSERT_EQ(dots.size(), left.size());
            const int margin = place == 0 ? 0 : place == 1 ? (576 - width) / 2 : 576 - width;
            for (int y = 0; y < dots.height(); ++y)
                for (int x = 0; x < 576; ++x)
                    ASSERT_EQ(dots.pixelIndex(x, y), x < margin ? 0 : left.pixelIndex(x - margin, y))
                        << "width " << width << ", place " << place << ", x " << x;
        }
    }
    EXPECT_EQ(b.w.settings.read(Key::Placement), "Right");
}

// A recording of a logo download, with the pause for its flash write, as
// the dialogs record one; what the printer gets from it has no marker.
QByteArray recordedDownload(const QString& file, const QByteArray& logo) {
    const QByteArray before = kBegin + select(5) + logo;
    const QByteArray whole = before + kBatchPauseMarker + kDeselect;
    writeFile(file.toStdString(), ByteVec(whole.begin(), whole.end()));
    return before + kDeselect;
}

TEST(Batch, PlayAndReplaySendTheRecordedBytesWaitingWhereTheRecordingWaited) {
    Bench b;
    b.connect();
    const QString file = b.w.path("out/setup.cpb");
    const QByteArray sent = recordedDownload(file, hex("1D 84 01 02 01") + QByteArray(16, '\xF0'));
    b.printer->clearReceived();
    frmBatch play(b.w.env);
    b.w.files.choose(file);
    const qint64 t0 = b.w.clock.nowMs();
    play.cmdPlay_Click();
    EXPECT_EQ(b.printer->received(), sent);  // no marker, and no zero bytes in its place
    EXPECT_GE(b.w.clock.nowMs() - t0, 6000);  // the pause was answered with WaitForPrinter
    EXPECT_EQ(play.lblProgress->text(), "Complete.  Click a button to continue.");
    EXPECT_EQ(play.steps.shown(), 2);
    EXPECT_EQ(b.w.settings.read(Key::InitBatDir), b.w.path("out/"));
    EXPECT_TRUE(b.w.messages.shown.empty());

    b.printer->clearReceived();
    play.cmdReplay_Click();
    EXPECT_EQ(b.printer->received(), sent);
    EXPECT_EQ(play.steps.shown(), 3);
}

TEST(Batch, APictureChosenByMistakeIsPlayedOnlyWhenTheOperatorAgrees) {
    Bench b;
    b.connect();
    const QString picture = b.w.path("in/photo.cpb");
    palettePicture(4, 4).write(picture.toStdString());
    frmBatch play(b.w.env);
    b.w.files.choose(picture);
    b.w.messages.answers = {MsgResult::Cancel};
    play.cmdPlay_Click();
    EXPECT_TRUE(b.printer->received().isEmpty());
    ASSERT_EQ(b.w.messages.shown.size(), 1u);
    const Message& ask = b.w.messages.shown[0];
    EXPECT_TRUE(ask.text.contains(picture)) << ask.text.toStdString();
    EXPECT_TRUE(ask.text.contains("\"BM\"")) << ask.text.toStdString();
    EXPECT_EQ(ask.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(ask.helpTopic, 15);
    EXPECT_TRUE(play.cmdPlay->isEnabled());

    play.cmdReplay_Click();  // agreed this time: it goes out as it is
    EXPECT_EQ(b.w.messages.shown.size(), 2u);
    EXPECT_EQ(b.printer->received().size(), qsizetype(palettePicture(4, 4).build().size()));
}

TEST(Batch, ReplayWithoutAFileAndPlayCancelledSayOrDoNothing) {
    Bench b;
    frmBatch play(b.w.env);
    play.cmdReplay_Click();
    ASSERT_EQ(b.w.messages.shown.size(), 1u);
    EXPECT_EQ(b.w.messages.shown[0].text, "No file specified.");
    EXPECT_EQ(b.w.messages.shown[0].title, "File Open Error");
    EXPECT_EQ(b.w.messages.shown[0].helpTopic, 15);
    play.cmdPlay_Click();  // no file chosen: no message
    EXPECT_EQ(b.w.messages.shown.size(), 1u);
    ASSERT_EQ(b.w.files.requests.size(), 1u);
    EXPECT_EQ(b.w.files.requests[0].title, "Open a Batch File");
    EXPECT_EQ(b.w.files.requests[0].filter, "CPB file (*.cpb)|*.cpb|All Files (*.*)|*.*");
    EXPECT_TRUE(play.cmdPlay->isEnabled() && play.cmdReplay->isEnabled() && play.cmdExit->isEnabled());
}

struct MainBench : Bench {
    frmMain window{w.env};
    int ended = 0;
    MainBench() {
        window.endProgram = [this] { ++ended; };
        window.show();
    }
};

TEST(Batch, TheRecordMenuAsksForAFileAndRefusesToRecordIntoNothing) {
    MainBench m;
    m.window.mnuBatchModeEnable->trigger();  // cancelled
    ASSERT_EQ(m.w.messages.shown.size(), 1u);
    EXPECT_EQ(m.w.messages.shown[0].text, "No file was selected.  Batch mode recording has not been turned on.");
    EXPECT_EQ(m.w.messages.shown[0].title, "File Open Error");
    EXPECT_FALSE(m.window.mnuBatchModeEnable->isChecked());
    EXPECT_FALSE(m.w.batch.enabled());
    EXPECT_EQ(m.w.files.requests.at(0).defaultExtension, ".CPB");

    m.w.files.choose(m.w.path("nodir/x.cpb"));  // cannot be created: the library says so, nothing records
    m.window.mnuBatchModeEnable->trigger();
    ASSERT_EQ(m.w.messages.shown.size(), 2u);
    EXPECT_EQ(m.w.messages.shown[1].title, "BatchMode Open for Write");
    EXPECT_EQ(m.w.messages.shown[1].text, "Error #2");
    EXPECT_FALSE(m.w.batch.enabled());
    EXPECT_FALSE(m.window.mnuBatchModeEnable->isChecked());

    m.w.files.choose(m.w.path("out/rec.cpb"));
    m.window.mnuBatchModeEnable->trigger();
    EXPECT_TRUE(m.w.batch.enabled());
    EXPECT_TRUE(m.window.mnuBatchModeEnable->isChecked());
    EXPECT_TRUE(m.w.batch.isOpen());
    m.window.mnuBatchModeEnable->trigger();
    EXPECT_FALSE(m.w.batch.enabled());
    EXPECT_FALSE(m.window.mnuBatchModeEnable->isChecked());
    EXPECT_FALSE(m.w.batch.isOpen());

    // Leaving with a recording open closes it first.
    m.w.files.choose(m.w.path("out/rec2.cpb"));
    m.window.mnuBatchModeEnable->trigger();
    ASSERT_TRUE(m.w.batch.isOpen());
    m.window.cmdExit->click();
    EXPECT_FALSE(m.w.batch.isOpen());
    EXPECT_EQ(m.ended, 1);
}

TEST(Batch, RecordingAsksForANewOrExistingNameAndBeforeReplacingARecording) {
    MainBench m;
    const QString old = m.w.path("out/setup.cpb");
    writeFile(old.toStdString(), ByteVec{'k', 'e', 'e', 'p'});
    // Declining the replacement brings the file dialog back; cancelling it
    // there leaves recording off and the old recording whole.
    m.w.files.choose(old);
    m.w.messages.answers = {MsgResult::Cancel};
    m.window.mnuBatchModeEnable->trigger();
    ASSERT_EQ(m.w.files.requests.size(), 2u);
    EXPECT_FALSE(m.w.files.requests[0].mustExist);
    EXPECT_EQ(m.w.files.requests[0].title, "Open a Batch File");
    EXPECT_EQ(m.w.files.requests[1].startFolder, m.w.path("out/"));
    ASSERT_EQ(m.w.messages.shown.size(), 2u);
    const Message& ask = m.w.messages.shown[0];
    EXPECT_TRUE(ask.text.contains(old)) << ask.text.toStdString();
    EXPECT_EQ(ask.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(ask.icon, MsgIcon::Exclamation);
    EXPECT_EQ(ask.helpTopic, 15);
    EXPECT_EQ(m.w.messages.shown[1].text, "No file was selected.  Batch mode recording has not been turned on.");
    EXPECT_FALSE(m.w.batch.enabled());
    EXPECT_EQ(readFile(old.toStdString()), (ByteVec{'k', 'e', 'e', 'p'}));

    // Agreeing starts the recording anew; a new name is not asked about.
    m.w.messages.shown.clear();
    m.w.files.choose(old);
    m.window.mnuBatchModeEnable->trigger();
    EXPECT_EQ(m.w.messages.shown.size(), 1u);
    EXPECT_TRUE(m.w.batch.enabled());
    m.window.mnuBatchModeEnable->trigger();
    EXPECT_TRUE(readFile(old.toStdString()).empty());
    m.w.messages.shown.clear();
    m.w.files.choose(m.w.path("out/fresh.cpb"));
    m.window.mnuBatchModeEnable->trigger();
    EXPECT_TRUE(m.w.messages.shown.empty());
    EXPECT_TRUE(m.w.batch.enabled());
    EXPECT_EQ(m.window.windowTitle(), "Rastiv[*] (recording to fresh.cpb)");
}

TEST(Batch, PlayingStopsARecordingFirstAndAsksForTheConnection) {
    MainBench m;
    m.w.files.choose(m.w.path("out/rec.cpb"));
    m.window.mnuBatchModeEnable->trigger();
    ASSERT_TRUE(m.w.batch.enabled());
    // The communication dialog comes up; cancel it.
    whenModal([](QDialog* d) { EXPECT_EQ(d->windowTitle(), "Communication Configuration"); d->reject(); });
    m.window.mnuBatchModePlay->trigger();
    EXPECT_FALSE(m.w.batch.enabled());
    EXPECT_FALSE(m.window.mnuBatchModeEnable->isChecked());
    EXPECT_FALSE(m.window.mnuBatchModeOmit->isEnabled());
    EXPECT_FALSE(m.w.batch.isOpen());
    EXPECT_TRUE(m.window.cmdLoad->isEnabled());
}

}  // namespace
