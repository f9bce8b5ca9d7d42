// The link's own pieces without the program: the operator interface, the
// connection test, the command table and the sequences moved out of the
// dialogs, over the virtual printer in virtual time.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

#include "link/batch.hpp"
#include "link/clock.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/filestream.hpp"
#include "link/operator.hpp"
#include "link/sequences.hpp"
#include "link/virtualprinter.hpp"

using namespace rastiv;

namespace {

using bytes = std::vector<uint8_t>;
QByteArray wire(const bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); }

// Answers every wait that runs out with `answer`, and counts what it was asked.
struct ScriptedOperator final : Operator {
    RetryAnswer sendFailed(SendProblem p) override {
        asked.push_back(p);
        return answer;
    }
    void printerOffLine() override { ++offLine; }
    RetryAnswer answer = RetryAnswer::Stop;
    std::vector<SendProblem> asked;
    int offLine = 0;
};

// Recording off: the batch file exports are never reached.
struct NoBatchFiles final : BatchFiles {
    int32_t BatchOpenForWrite(const QString&) override { return -1; }
    int32_t BatchOpenForRead(const QString&) override { return -1; }
    int32_t BatchWrite(int32_t, const QByteArray&) override { return 0; }
    int32_t BatchRead(int32_t, QByteArray&, int32_t&, int32_t&) override { return 0; }
    int32_t BatchClose(int32_t) override { return 0; }
    void PixmillSetMessageHook(MessageHook, void*) override {}
};

struct NoBoxes final : MessageBoxes {
    MsgResult show(const Message&) override { return MsgResult::Ok; }
};

class Sequences : public ::testing::Test {
protected:
    Sequences() {
        auto vp = std::make_unique<VirtualPrinter>(clock);
        printer = vp.get();
        line = std::move(vp);
    }
    void connect() {
        PortError error;
        ASSERT_EQ(connectPrinter(link, std::move(line), {kVirtualPrinterDevice, 9600, 'N'}, error), Connection::Answered);
        link.ClearInputBuffer();
        printer->clearReceived();
    }
    QString file(const QByteArray& content) {
        const QString path = dir.filePath(QStringLiteral("f.bin"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }

    VirtualClock clock;
    ScriptedOperator op;
    CommLink link{clock, op};
    NoBatchFiles files;
    NoBoxes boxes;
    BatchRecording batch{files, boxes};
    std::unique_ptr<SerialPort> line;
    VirtualPrinter* printer = nullptr;
    QTemporaryDir dir;
};

}  // namespace

TEST(CommandTable, EveryCommandIsOneUnitForThePrintersReader) {
    for (const QByteArray& c : {cmd::kStatusRequest, cmd::kReset, cmd::kBeginDownload, cmd::kDeselect,
                                cmd::kPrintSelected, cmd::kStoreSettings, cmd::kEraseFlash, cmd::paperType(1),
                                cmd::watermarkSwitch(false, 1), cmd::marginMessage(1, 1), cmd::kLegacyMarginOn,
                                cmd::kBottomLogoOn, cmd::textSubstitution(1, 0), cmd::printColour(2)})
        EXPECT_EQ(unitLength(c), c.size()) << c.toHex(' ').constData();
}

TEST_F(Sequences, ConnectingOpensProbesAndSaysTheLineIsEstablished) {
    PortError error;
    const qint64 t0 = clock.nowMs();
    EXPECT_EQ(connectPrinter(link, std::move(line), {kVirtualPrinterDevice, 9600, 'N'}, error), Connection::Answered);
    EXPECT_LT(clock.nowMs() - t0, kConnectWaitMs);  // the answer ends the wait
    EXPECT_TRUE(link.lineOpen());
    EXPECT_TRUE(link.printerAnswering());
    EXPECT_EQ(printer->received(), cmd::kStatusQuery);
}

TEST_F(Sequences, ASwitchedOffPrinterLeavesTheLineOpenButNotEstablished) {
    printer->setPowered(false);
    PortError error;
    const qint64 t0 = clock.nowMs();
    EXPECT_EQ(connectPrinter(link, std::move(line), {kVirtualPrinterDevice, 9600, 'N'}, error), Connection::NoAnswer);
    EXPECT_GE(clock.nowMs() - t0, kConnectWaitMs);
    EXPECT_TRUE(link.lineOpen());
    EXPECT_FALSE(link.printerAnswering());
}

TEST_F(Sequences, AnOperatorWhoStopsAbandonsTheSendAfterTheFirstWait) {
    connect();
    printer->setPowered(false);
    EXPECT_FALSE(link.SendData("abc"));
    ASSERT_EQ(op.asked.size(), 1u);
    EXPECT_EQ(op.asked[0], SendProblem::Timeout);
    EXPECT_TRUE(printer->received().isEmpty());
}

namespace {
const QByteArray kSmallLogo = cmd::kLogoDefinition + cmd::bytes({0x01, 0x01, 0x01}) + QByteArray(8, '\0');
}  // namespace

TEST_F(Sequences, AWatermarkOverItsOwnLogoIsNotDefined) {
    connect();
    TransferProgress progress;
    const WatermarkResult r = defineWatermark(link, batch, file(kSmallLogo), {7, 50, 7}, 64, progress);
    EXPECT_EQ(r.end, WatermarkEnd::SameNumber);
    EXPECT_EQ(printer->received(), cmd::kBeginDownload + cmd::selectLogo(7) + kSmallLogo + cmd::kDeselect);
}

TEST_F(Sequences, WithoutALogoFileOnlyTheDefinitionGoesOut) {
    connect();
    TransferProgress progress;
    const WatermarkResult r = defineWatermark(link, batch, QString(), {3, 20, 4}, 64, progress);
    EXPECT_EQ(r.end, WatermarkEnd::Defined);
    EXPECT_FALSE(progress.started());
    EXPECT_EQ(printer->received(), wire({0x1B, 0x61, 0x01, 0x1D, 0x8B, 3, 20, 4, 0x1B, 0x61, 0x00}));
}
