// Following and cancelling each kind of transfer from its dialog, in virtual
// time: Cancel's click or key is handled while the printer takes a piece.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "ui/common/transferpanel.hpp"
#include "core/batchmode.hpp"
#include "ui/batch/frmBatch.hpp"
#include "fakes.hpp"
#include "ui/printer/frmDownloadLogo.hpp"
#include "ui/printer/frmPrint.hpp"
#include "ui/printer/frmWatermark.hpp"
#include "printerbench.hpp"

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

// `bytes` cut into the pieces of 50 that go out one write each.
QList<QByteArray> pieces(const QByteArray& bytes) {
    QList<QByteArray> out;
    for (qsizetype at = 0; at < bytes.size(); at += 50) out.append(bytes.mid(at, 50));
    return out;
}

// How the operator presses Cancel: a click, Space on the control that has
// the keyboard focus, Escape (which does not cancel), or not at all.
enum class Press { Mouse, Space, Escape, None };

void press(TransferPanel* panel, Press how) {
    QWidget* focused = panel->window()->focusWidget();
    switch (how) {
        case Press::Mouse: QTest::mouseClick(panel->cmdCancel, Qt::LeftButton); break;
        case Press::Space:
            ASSERT_EQ(focused, panel->cmdCancel);
            QTest::keyClick(focused, Qt::Key_Space);
            break;
        case Press::Escape: QTest::keyClick(focused ? focused : panel->window(), Qt::Key_Escape); break;
        case Press::None: break;
    }
}

// Runs `what` once the printer has taken its `writes`-th write (counted from
// the last clear), through the event loop that the sending code pumps.
class AtWrite {
public:
    AtWrite(VirtualPrinter* printer, int writes, std::function<void()> what) {
        if (writes <= 0) return;
        connection_ = QObject::connect(printer, &VirtualPrinter::bytesReceived, [=] {
            if (printer->writes().size() == writes) QTimer::singleShot(0, what);
        });
    }
    ~AtWrite() { QObject::disconnect(connection_); }
    AtWrite(const AtWrite&) = delete;
    AtWrite& operator=(const AtWrite&) = delete;

private:
    QMetaObject::Connection connection_;
};

// Connected at 1200 baud, slow enough for the time left to be seconds.
struct Bench : PrinterBench {
    Bench() {
        comm.lbBaudRate->setCurrentRow(7);
        EXPECT_EQ(comm.lbBaudRate->currentItem()->text(), "1200");
        connect();
    }
};

void expectIdle(const TransferPanel* panel) {
    EXPECT_TRUE(panel->pbTransfer->isHidden());
    EXPECT_TRUE(panel->cmdCancel->isHidden());
}

TEST(LogoDownload, CancelSendsTheEndCommandAfterThePieceOnTheLineAndNothingElse) {
    const QString done = QStringLiteral("Done: logo 7 was downloaded (405 bytes).");
    const struct {
        int atWrite;  // the header and the number are writes 1 and 2, the pieces 3 to 11
        Press how;
        int piecesSent;
        QString status;
    } rows[] = {
        {3, Press::Mouse, 1,
         "Cancelled: 50 of 405 bytes of logo 7 were sent, then the end of the download; the rest was not sent.  "
         "Download the logo again before using it."},
        {6, Press::Space, 4,
         "Cancelled: 200 of 405 bytes of logo 7 were sent, then the end of the download; the rest was not sent.  "
         "Download the logo again before using it."},
        {10, Press::Mouse, 8,
         "Cancelled: 400 of 405 bytes of logo 7 were sent, then the end of the download; the rest was not sent.  "
         "Download the logo again before using it."},
        {11, Press::Mouse, 9, done},   // the last byte is out: nothing left to stop
        {6, Press::Escape, 9, done},   // Escape does not cancel: it is too easily pressed
        {0, Press::None, 9, done},
    };
    Bench b;
    const QByteArray logo = b.logoFile(50);
    const QList<QByteArray> all = pieces(logo);
    ASSERT_EQ(all.size(), 9);
    frmDownloadLogo d(b.w.env, b.logo);
    d.show();
    d.tbLogoNum->setText("7");
    for (const auto& r : rows) {
        b.clear();
        b.record();
        d.steps.show(2);
        AtWrite at(b.printer, r.atWrite, [&] { press(d.transfer, r.how); });
        const qint64 t0 = b.w.clock.nowMs();
        d.cmdDownloadLogo->click();
        const bool whole = r.piecesSent == 9;
        const QList<QByteArray> sent = all.first(r.piecesSent);
        EXPECT_EQ(b.writes(), (QList<QByteArray>{kBegin, select(7)} + sent + QList<QByteArray>{kDeselect})) << r.atWrite;
        EXPECT_EQ(b.recorded(), kBegin + select(7) + sent.join() + (whole ? kBatchPauseMarker : QByteArray()) + kDeselect);
        // A logo cut short is not stored: no pause for a flash write.
        EXPECT_EQ(b.w.clock.nowMs() - t0 >= 6000, whole) << r.atWrite;
        EXPECT_EQ(d.transfer->status(), r.status);
        EXPECT_EQ(d.steps.shown(), whole ? 3 : 2);
        EXPECT_TRUE(b.w.messages.shown.empty());
        expectIdle(d.transfer);
        EXPECT_TRUE(d.cmdDownloadLogo->isEnabled() && d.tbLogoNum->isEnabled() && d.Frame1->isEnabled());
    }
}

TEST(LogoDownload, WhileItSendsOnlyCancelIsWithinReachAndTheFiguresFollowTheLine) {
    Bench b;
    b.logoFile(50);
    frmDownloadLogo d(b.w.env, b.logo);
    d.show();
    d.rbTopLogo->click();  // its number box label is greyed, and must stay so
    ASSERT_FALSE(d.Label1->isEnabled());
    d.transfer->setStatus(QStringLiteral("what the last download said"));
    QWidget* focusBefore = d.focusWidget();
    struct Seen {
        bool bar = false, cancel = false, cancelFocused = false, blocked = false;
        int value = -1;
        QString label;
    };
    std::vector<Seen> seen;
    const auto look = [&] {
        seen.push_back({d.transfer->pbTransfer->isVisible(), d.transfer->cmdCancel->isEnabled(),
                        d.focusWidget() == d.transfer->cmdCancel,
                        !d.cmdDownloadLogo->isEnabled() && !d.cmdPrintLogo->isEnabled() && !d.cmdExit->isEnabled() &&
                            !d.rbNoLogo->isEnabled() && !d.tbLogoNum->isEnabled(),
                        d.transfer->pbTransfer->value(), d.transfer->status()});
    };
    AtWrite first(b.printer, 3, look), fourth(b.printer, 6, look), last(b.printer, 11, look);
    d.cmdDownloadLogo->click();
    ASSERT_EQ(seen.size(), 3u);
    // 405 bytes at 1200 baud, 10 bits a byte: 355 left take 2.96 s.
    const QString labels[] = {"50 of 405 bytes sent, about 3 s left", "200 of 405 bytes sent, about 2 s left",
                              "405 of 405 bytes sent, about 0 s left"};
    const int values[] = {12, 49, 100};
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(seen[i].bar) << i;
        EXPECT_EQ(seen[i].cancel, i < 2) << i;  // nothing left to stop once the last piece is out
        EXPECT_TRUE(seen[i].blocked) << i;
        EXPECT_EQ(seen[i].value, values[i]) << i;
        EXPECT_EQ(seen[i].label, labels[i]) << i;
    }
    EXPECT_TRUE(seen[0].cancelFocused);
    EXPECT_TRUE(d.isEnabled());
    EXPECT_EQ(d.transfer->status(), "Done: logo 240 was downloaded (405 bytes).");
    expectIdle(d.transfer);
    EXPECT_FALSE(d.Label1->isEnabled());
    EXPECT_TRUE(d.rbNoLogo->isEnabled() && d.cmdDownloadLogo->isEnabled() && d.tbLogoNum->isEnabled());
    EXPECT_EQ(d.focusWidget(), focusBefore);

    // A refused number starts no transfer: the old status goes, no new one comes.
    d.rbNoLogo->click();
    d.cmdDownloadLogo->click();
    EXPECT_EQ(b.w.messages.shown.size(), 1u);
    EXPECT_EQ(d.transfer->status(), "");
    expectIdle(d.transfer);
}

TEST(Print, CancelFinishesTheLineOfThePictureUnderWayAndStillFeedsThePaper) {
    enum class Then { Press, PowerOff };
    const struct {
        int atWrite;
        Then then;
        int wholePieces, tail;  // what went out: pieces of 50, then the bytes that ended a line
        QString status;
    } rows[] = {
        // 50 bytes are 50 of the 74 of the first raster line: 24 more end it.
        {1, Then::Press, 1, 24,
         "Cancelled: 74 of 1,850 bytes of the graphic were sent, to the end of a line of the picture, then the paper "
         "feed; the rest was not sent."},
        // 150 bytes end 2 bytes into the third line: the piece held back and 22 bytes of the next.
        {3, Then::Press, 4, 22,
         "Cancelled: 222 of 1,850 bytes of the graphic were sent, to the end of a line of the picture, then the "
         "paper feed; the rest was not sent."},
        {37, Then::Press, 37, 0, "Done: 1,850 bytes of the graphic were sent, then the paper feed."},
        // The printer goes off while the third piece waits its turn: it is
        // handed to a dead line, the fourth waits for the retry dialog.
        {2, Then::PowerOff, 3, 0,
         "Stopped: 150 of 1,850 bytes of the graphic were sent; the rest and the paper feed were not."},
    };
    Bench b;
    b.w.workingBitmap(576, 25);  // 25 monochrome raster lines of 74 bytes
    frmPrint print(b.w.env, b.w.picture, b.main);
    print.show();
    for (const auto& r : rows) {
        b.clear();
        b.printer->setPowered(true);
        b.w.messages.answers = {MsgResult::Cancel};  // for the retry dialog of a printer switched off
        AtWrite at(b.printer, r.atWrite, [&] {
            if (r.then == Then::Press) press(print.transfer, Press::Mouse);
            else b.printer->setPowered(false);
        });
        print.cmdSendBMP->click();
        const QByteArray gfx = fileBytes(b.w.env.workPath("tmpfile.gfx"));
        ASSERT_EQ(gfx.size(), 1850);
        const bool fed = r.then == Then::Press;
        QList<QByteArray> expected = pieces(gfx.left(r.wholePieces * 50));
        if (r.tail > 0) expected.append(gfx.mid(r.wholePieces * 50, r.tail));
        if (fed) expected.append(kFeed);
        EXPECT_EQ(b.writes(), expected) << r.atWrite;
        EXPECT_EQ(print.transfer->status(), r.status);
        EXPECT_EQ(b.w.messages.shown.size(), fed ? 0u : 1u);
        expectIdle(print.transfer);
        EXPECT_TRUE(print.cmdSendBMP->isEnabled() && print.cmdExit->isEnabled());
    }
}

TEST(Watermark, CancelHoldsBackTheDefinitionAndEndsADownloadUnderWay) {
    const QByteArray define = hex("1B 61 01 1D 8B 05 50 06");
    const struct {
        const char* logoNumber;
        int atWrite;  // header, number, 9 pieces, end, definition, left justification
        int piecesSent;
        bool defined;
        QString status;
        bool portOpen = true;
    } rows[] = {
        {"5", 4, 2, false,
         "Cancelled: 100 of 405 bytes of logo 5 were sent, then the end of the download; the rest and the watermark "
         "definition were not sent."},
        // The last piece is out, but the definition can still be held back,
        // during the wait for the flash write.
        {"5", 11, 9, false, "Cancelled: logo 5 was downloaded (405 bytes); the watermark definition was not sent."},
        {"5", 0, 9, true, "Done: watermark 6 was defined from logo 5 (405 bytes of the logo were sent)."},
        // Refused before anything is sent.
        {"6", 0, 0, false, "Not defined: the watermark needs a number of its own; nothing was sent."},
        // A closed port skips the download and takes the rest as sent: no transfer, nothing to say.
        {"5", 0, 0, true, "", false},
    };
    Bench b;
    const QByteArray logo = b.logoFile(50);
    frmWatermark d(b.w.env, b.logo);
    d.show();
    d.tbWmIndex->setText("6");
    for (const auto& r : rows) {
        b.clear();
        if (!r.portOpen) b.w.link.startUnconnected();
        d.tbLogoIndex->setText(QString::fromLatin1(r.logoNumber));
        const int n = QByteArray(r.logoNumber).toInt();
        AtWrite at(b.printer, r.atWrite, [&] { press(d.transfer, Press::Mouse); });
        d.cmdDefine->click();
        QList<QByteArray> expected = QList<QByteArray>{kBegin, select(n)} + pieces(logo).first(r.piecesSent);
        expected.append(kDeselect);
        if (r.defined) expected += QList<QByteArray>{define, hex("1B 61 00")};
        if (!r.portOpen || n == 6) expected.clear();
        EXPECT_EQ(b.writes(), expected) << r.atWrite;
        EXPECT_EQ(d.transfer->status(), r.status);
        EXPECT_EQ(d.steps.shown(), r.defined ? 5 : 4);
        // Only the refused number has its box; a Cancel needs none.
        EXPECT_EQ(b.w.messages.shown.size(), n == 6 ? 1u : 0u);
        expectIdle(d.transfer);
    }
}

TEST(Batch, CancelNeverLeavesThePrinterInsideACommandOrALogoDownload) {
    Bench b;
    // A recording as the program makes one: text, a download of logo 5 with
    // its pause, more text.  The records of 100 bytes split it at 100 (right
    // after 1D 22 01), 200, 300, 400, 500, 508 (the marker), 639, 739.
    const QByteArray text(96, 'a');
    QByteArray logo = hex("1D 84 01 32 01");
    for (int i = 0; i < 400; ++i) logo += char(0x1D + i % 3);  // picture bytes that look like commands
    const QByteArray before = text + "\n" + kBegin + select(5) + logo;
    const QByteArray after = kDeselect + QByteArray(249, 'b') + "\n";
    const QByteArray file = before + kBatchPauseMarker + after;
    ASSERT_EQ(before.size(), 508);
    ASSERT_EQ(file.size(), 792);
    const QString path = b.w.path("out/setup.cpb");
    writeFile(path.toStdString(), ByteVec(file.begin(), file.end()));
    const QByteArray all = before + after;  // what the printer gets from a whole playback
    const QString download = QStringLiteral(", then the end of the logo download under way");
    const struct {
        int atWrite;
        QByteArray received;
        int flashWrites;
        QString status;
    } rows[] = {
        // Inside the download's header: its logo number goes out, then the end.
        {1, all.left(103) + kDeselect, 0,
         "Cancelled: 103 of 792 bytes of the file were played" + download +
             "; the rest was not sent.  Click a button to continue."},
        // Inside the logo: all of it, the wait for the flash write, the end.
        {3, all.left(508) + kDeselect, 1,
         "Cancelled: 508 of 792 bytes of the file were played" + download +
             "; the rest was not sent.  Click a button to continue."},
        // After the download, between two bytes of text: at once.
        {7, all.left(608), 1,
         "Cancelled: 639 of 792 bytes of the file were played; the rest was not sent.  Click a button to continue."},
        {0, all, 1, "Complete.  Click a button to continue."},
    };
    frmBatch play(b.w.env);
    play.show();
    for (const auto& r : rows) {
        b.clear();
        const int flashWritesBefore = b.printer->flashWrites();
        QString seen, finishing;
        AtWrite at(b.printer, r.atWrite, [&] {
            seen = play.transfer->status();
            press(play.transfer, Press::Mouse);
        });
        AtWrite next(b.printer, r.atWrite + 1, [&] { finishing = play.transfer->status(); });  // the rest of the command
        b.w.files.choose(path);
        play.cmdPlay->click();
        EXPECT_EQ(b.printer->received(), r.received) << r.atWrite;
        EXPECT_EQ(b.printer->flashWrites() - flashWritesBefore, r.flashWrites) << r.atWrite;
        EXPECT_EQ(play.lblProgress->text(), r.status);
        EXPECT_TRUE(b.w.messages.shown.empty());
        EXPECT_EQ(play.transfer->status(), "");
        expectIdle(play.transfer);
        EXPECT_TRUE(play.cmdPlay->isEnabled() && play.cmdReplay->isEnabled() && play.cmdExit->isEnabled());
        if (r.atWrite == 3) {
            // 492 bytes of the file left at 1200 baud: 4.1 s.
            EXPECT_EQ(seen, "300 of 792 bytes played, about 5 s left");
            EXPECT_EQ(finishing, "Cancel: finishing logo 5 ...");
        }
    }
}

}  // namespace
