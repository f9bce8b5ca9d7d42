// SendData, WaitForPrinter and the port routines against the virtual
// printer, in virtual time.
#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>

#include "link/clock.hpp"
#include "link/messages.hpp"
#include "link/commlink.hpp"
#include "link/virtualprinter.hpp"

using namespace rastiv;

namespace {

// Records every box with the virtual time it appeared at, and answers as told (OK by default).
struct Boxes : MessageBoxes {
    explicit Boxes(VirtualClock& c) : clock(c) {}
    MsgResult show(const Message& m) override {
        shown.push_back(m);
        at.push_back(clock.nowMs());
        if (answers.empty()) return MsgResult::Ok;
        MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    VirtualClock& clock;
    std::vector<Message> shown;
    std::vector<qint64> at;
    std::deque<MsgResult> answers;
};

class Link : public ::testing::Test {
protected:
    Link() {
        vp = std::make_unique<VirtualPrinter>(clock);
        printer = vp.get();
        link.setBatchCopy([this](const QByteArray& s) { batch += s; });
        help = "/help/index.html";
    }
    // What the connection test does: open the line and send the status query.
    void connectPrinter() {
        PortError err;
        ASSERT_TRUE(printer->open({kVirtualPrinterDevice, 9600, 'N'}, err));
        link.setPort(std::move(vp));
        link.WritePort(QByteArray("\x1B\x76\x0A", 3));
        clock.advance(100);
        QCoreApplication::processEvents();
    }
    qint64 elapsedSince(qint64 t0) const { return clock.nowMs() - t0; }

    QString help;
    VirtualClock clock;
    Boxes boxes{clock};
    CommLink link{clock, boxes, help};
    std::unique_ptr<VirtualPrinter> vp;  // the link's once the line is opened
    VirtualPrinter* printer = nullptr;
    QByteArray batch;
};

TEST_F(Link, ClosedPortSendsAndRecordsNothingButSucceeds) {
    link.lineIdle();
    EXPECT_TRUE(link.SendData("abc"));
    EXPECT_FALSE(link.transmitDone());
    EXPECT_TRUE(printer->received().isEmpty());
    EXPECT_TRUE(batch.isEmpty());
    EXPECT_EQ(link.ReadPort(), QByteArray());
    EXPECT_EQ(link.InputBufferCount(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Link, StatusQueryIsAnsweredAndItsTransmitEventLetsTheFirstSendThrough) {
    connectPrinter();
    EXPECT_EQ(batch, QByteArray("\x1B\x76\x0A", 3));
    EXPECT_EQ(link.InputBufferCount(), 1);
    EXPECT_TRUE(link.transmitDone());
    EXPECT_TRUE(link.SendData(QByteArray("\x1B\x4A\xFF\x19", 4)));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(printer->received(), QByteArray("\x1B\x76\x0A\x1B\x4A\xFF\x19", 7));
    EXPECT_EQ(batch, printer->received());
    // Pieces follow one another as the line drains, without a dialog.
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(link.SendData(QByteArray(50, char('a' + i))));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(printer->received().size(), 7 + 250);
}

TEST_F(Link, WithoutATransmitEventTheCompletionWaitTimesOutAndCancelStops) {
    PortError err;
    printer->open({kVirtualPrinterDevice, 9600, 'N'}, err);
    link.setPort(std::move(vp));  // opened, but no status query went out
    boxes.answers = {MsgResult::Ok, MsgResult::Cancel};
    const qint64 t0 = clock.nowMs();
    EXPECT_FALSE(link.SendData("x"));
    ASSERT_EQ(boxes.shown.size(), 2u);
    const Message& m = boxes.shown[0];
    EXPECT_EQ(m.text, "There is an error sending data to the printer.  Click OK to keep trying.  Click Cancel to "
                      "stop the operation.");
    EXPECT_EQ(m.title, "Communication Error");
    EXPECT_EQ(m.icon, MsgIcon::None);
    EXPECT_EQ(m.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(m.helpTopic, 7);
    EXPECT_EQ(m.helpFile, "/help/index.html");
    EXPECT_NEAR(boxes.at[0] - t0, 5000, 20);
    EXPECT_NEAR(boxes.at[1] - t0, 10000, 40);
    EXPECT_TRUE(printer->received().isEmpty());
}

TEST_F(Link, APrinterHoldingDsrLowGetsTheTimeoutDialogEveryFiveSeconds) {
    connectPrinter();
    printer->setPowered(false);
    boxes.answers = {MsgResult::Ok, MsgResult::Ok, MsgResult::Cancel};
    const qint64 t0 = clock.nowMs();
    EXPECT_FALSE(link.SendData("x"));
    ASSERT_EQ(boxes.shown.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(boxes.shown[i].text.startsWith("There is a Timeout error sending data to the printer."));
        EXPECT_NEAR(boxes.at[i] - t0, 5000 * (i + 1), 20 * (i + 1));
    }
    // Answering OK once the printer is back lets the data through.
    boxes.answers = {MsgResult::Ok};
    clock.advance(1);
    printer->setPowered(true);
    EXPECT_TRUE(link.SendData("y"));
    EXPECT_TRUE(printer->received().endsWith("y"));
}

TEST_F(Link, EmptyStringPassesTheWaitsWritesNothingAndTheNextSendStillGoesThrough) {
    connectPrinter();
    const QByteArray before = printer->received();
    EXPECT_TRUE(link.SendData(QByteArray()));
    EXPECT_EQ(printer->received(), before);
    EXPECT_TRUE(link.SendData("z"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Link, WaitForPrinterWarnsAfterElevenSecondsWhenTheprinterIsOff) {
    connectPrinter();
    printer->setPowered(false);
    const qint64 t0 = clock.nowMs();
    link.WaitForPrinter();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Communication Warning");
    EXPECT_EQ(boxes.shown[0].text, "The printer has been off-line for quite a while now.  Check the cable and make "
                                   "sure the printer is turned on.");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(boxes.shown[0].helpTopic, 7);
    EXPECT_NEAR(boxes.at[0] - t0, 11000, 50);
}

TEST_F(Link, WaitForPrinterRidesOutAFlashWrite) {
    connectPrinter();
    printer->setFlashBusyMs(8000);  // longer than the fixed pause
    ASSERT_TRUE(link.SendData(QByteArray("\x1D\xFF", 2)));
    clock.advance(10);
    EXPECT_FALSE(printer->ctsHolding());
    const qint64 t0 = clock.nowMs();
    link.WaitForPrinter();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_GE(elapsedSince(t0), 7900);
    EXPECT_LE(elapsedSince(t0), 8200);  // back as soon as the lines are up and the buffer empty
    EXPECT_TRUE(link.SendData("next"));
}

TEST_F(Link, WhatTheOpenLineWritesIsCopiedAndClosingResetsThePortState) {
    connectPrinter();
    batch.clear();
    link.WritePort("b");
    EXPECT_EQ(batch, "b");
    link.ClosePort();
    EXPECT_FALSE(link.lineOpen());
    EXPECT_FALSE(printer->portOpen());
    link.WritePort("c");
    EXPECT_EQ(batch, "b");
    link.ClosePort();  // closing a closed port is harmless
    EXPECT_FALSE(link.lineOpen());
}

// A piece of a transfer the operator can cancel.
TEST_F(Link, ACancelWhileThePreviousPieceIsOnTheLineHoldsBackTheNextAndTheFramingStillGoesOut) {
    connectPrinter();
    printer->clearReceived();
    TransferProgress progress;
    progress.start(100);
    ASSERT_EQ(link.SendPiece(QByteArray(50, 'a'), progress), TransferEnd::Complete);
    // The click is handled while the next piece waits for the line: 50 bytes
    // at 9600 baud take 53 ms.
    QTimer::singleShot(0, [&] { progress.requestCancel(); });
    const qint64 t0 = clock.nowMs();
    EXPECT_EQ(link.SendPiece(QByteArray(50, 'b'), progress), TransferEnd::Cancelled);
    EXPECT_GE(elapsedSince(t0), 50);
    EXPECT_EQ(progress.sent(), 50);
    EXPECT_TRUE(link.SendData(QByteArray("\x1D\x23\x00", 3)));
    EXPECT_EQ(printer->writes(), (QList<QByteArray>{QByteArray(50, 'a'), QByteArray("\x1D\x23\x00", 3)}));
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
