// The link's own pieces without the program: the operator interface, the
// connection test, the command table and the sequences moved out of the
// dialogs, over the virtual printer in virtual time.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link/batch.hpp"
#include "link/clock.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/filestream.hpp"
#include "link/legacysequences.hpp"
#include "link/linkstate.hpp"
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

    LinkState g;
    VirtualClock clock;
    ScriptedOperator op;
    CommLink link{g, clock, op};
    NoBatchFiles files;
    NoBoxes boxes;
    BatchRecording batch{g, files, boxes};
    std::unique_ptr<SerialPort> line;
    VirtualPrinter* printer = nullptr;
    QTemporaryDir dir;
};

}  // namespace

TEST(CommandTable, BuildsTheBytesThePrinterManualLists) {
    EXPECT_EQ(cmd::kStatusQuery, wire({0x1B, 0x76, 0x0A}));
    EXPECT_EQ(cmd::kFeed, wire({0x1B, 0x4A, 0xFF, 0x19}));
    EXPECT_EQ(cmd::paperType(2), wire({0x1D, 0x81, 0x02, 0xFF}));
    EXPECT_EQ(cmd::selectLogo(7), wire({0x1D, 0x23, 0x07}));
    EXPECT_EQ(cmd::kDeselect, wire({0x1D, 0x23, 0x00}));
    EXPECT_EQ(cmd::defineWatermark(3, 4, 5), wire({0x1B, 0x61, 0x01, 0x1D, 0x8B, 3, 4, 5}));
    EXPECT_EQ(cmd::watermarkSwitch(true, 9), wire({0x1D, 0x8C, 0x01, 0x09}));
    EXPECT_EQ(cmd::marginMessage(2, 17), wire({0x1D, 0x99, 0x02, 17, 0x32, 0x00}));
    EXPECT_EQ(cmd::topLogoOn(6), wire({0x1F, 0x03, 0x16, 0x01, 0x06, 0x30}));
    EXPECT_EQ(cmd::kLegacyMarginOff, wire({0x1F, 0x03, 0x16, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(cmd::textSubstitution(2, 0x1234), wire({0x1F, 0x03, 0x17, 0x02, 0x34, 0x12}));
}

TEST(CommandTable, EveryCommandIsOneUnitForThePrintersReader) {
    for (const QByteArray& c : {cmd::kStatusRequest, cmd::kReset, cmd::kBeginDownload, cmd::kDeselect,
                                cmd::kPrintSelected, cmd::kStoreSettings, cmd::kEraseFlash, cmd::paperType(1),
                                cmd::watermarkSwitch(false, 1), cmd::marginMessage(1, 1), cmd::kLegacyMarginOn,
                                cmd::kBottomLogoOn, cmd::textSubstitution(1, 0), cmd::printColour(2)})
        EXPECT_EQ(unitLength(c), c.size()) << c.toHex(' ').constData();
}

TEST_F(Sequences, ConnectingOpensProbesAndSaysTheLineIsEstablished) {
    PortError error;
    EXPECT_EQ(connectPrinter(link, std::move(line), {kVirtualPrinterDevice, 9600, 'N'}, error), Connection::Answered);
    EXPECT_EQ(g.gPortState, 1);
    EXPECT_TRUE(g.gCommEstablished);
    EXPECT_EQ(printer->received(), cmd::kStatusQuery);
}

TEST_F(Sequences, ASwitchedOffPrinterLeavesTheLineOpenButNotEstablished) {
    printer->setPowered(false);
    PortError error;
    const qint64 t0 = clock.nowMs();
    EXPECT_EQ(connectPrinter(link, std::move(line), {kVirtualPrinterDevice, 9600, 'N'}, error), Connection::NoAnswer);
    EXPECT_GE(clock.nowMs() - t0, kConnectWaitMs);
    EXPECT_EQ(g.gPortState, 1);
    EXPECT_FALSE(g.gCommEstablished);
}

TEST_F(Sequences, AnOperatorWhoStopsAbandonsTheSendAfterTheFirstWait) {
    connect();
    printer->setPowered(false);
    EXPECT_FALSE(link.SendData("abc"));
    ASSERT_EQ(op.asked.size(), 1u);
    EXPECT_EQ(op.asked[0], SendProblem::Timeout);
    EXPECT_TRUE(printer->received().isEmpty());
}

TEST_F(Sequences, LogoDownloadFramesTheFileAndWaitsForTheFlash) {
    connect();
    const QByteArray logo = cmd::kLogoDefinition + cmd::bytes({0x01, 0x01, 0x01}) + QByteArray(8, '\0');
    TransferProgress progress;
    progress.start(logo.size());
    EXPECT_EQ(sendLogo(link, batch, file(logo), 5, 4, progress), TransferEnd::Complete);
    EXPECT_EQ(printer->received(), cmd::kBeginDownload + cmd::selectLogo(5) + logo + cmd::kDeselect);
    EXPECT_EQ(progress.sent(), logo.size());
    EXPECT_EQ(op.offLine, 0);
}

TEST_F(Sequences, AGraphicIsFollowedByTheFeed) {
    connect();
    const QByteArray raster = cmd::kRasterLine + QByteArray(72, '\x55');
    TransferProgress progress;
    EXPECT_EQ(sendGraphic(link, file(raster), 50, progress), TransferEnd::Complete);
    EXPECT_EQ(printer->received(), raster + cmd::kFeed);
}

TEST_F(Sequences, SampleReceiptEndsWithTheStatusRequestAndItsAnswer) {
    connect();
    auto timer = clock.createTimer();
    EXPECT_TRUE(printSampleReceipt(link, *timer, {"one\n", cmd::kFeed}));
    EXPECT_EQ(printer->received(), QByteArray("one\n") + cmd::kFeed + cmd::kStatusRequest);
    EXPECT_FALSE(timer->isEnabled());
    EXPECT_NE(link.InputBufferCount(), 0);
}

TEST_F(Sequences, SampleLinesReadAsThePrinterHasAlwaysPrintedThem) {
    EXPECT_EQ(sampleLine(1), QByteArray("Sample Receipt Item  1\n"));
    EXPECT_EQ(sampleLine(20), QByteArray("Sample Receipt Item  20\n"));
    SendingPrintSample sample(g);
    EXPECT_TRUE(g.gSendingPrintSample);
}

namespace {

QByteArray sampleLines() {
    QByteArray lines;
    for (int i = 1; i <= 20; ++i) lines += "Sample Receipt Item  " + QByteArray::number(i) + '\n';
    return lines;
}

const QByteArray kSmallLogo = cmd::kLogoDefinition + cmd::bytes({0x01, 0x01, 0x01}) + QByteArray(8, '\0');

}  // namespace

TEST_F(Sequences, AWatermarkIsDefinedFromTheLogoJustDownloaded) {
    const struct {
        WatermarkDefinition d;
        bytes definition;
    } cases[] = {
        {{5, 80, 9}, {0x1B, 0x61, 0x01, 0x1D, 0x8B, 5, 80, 9, 0x1B, 0x61, 0x00}},
        {{239, 0, 241}, {0x1B, 0x61, 0x01, 0x1D, 0x8B, 239, 0, 241, 0x1B, 0x61, 0x00}},
    };
    connect();
    const QString path = file(kSmallLogo);
    for (const auto& c : cases) {
        printer->clearReceived();
        TransferProgress progress;
        const WatermarkResult r = defineWatermark(link, batch, path, c.d, 4, progress);
        EXPECT_EQ(r.end, WatermarkEnd::Defined);
        EXPECT_EQ(r.logoBytes, kSmallLogo.size());
        EXPECT_EQ(progress.total(), kSmallLogo.size() + 8);
        EXPECT_EQ(printer->received(), wire({0x1D, 0x22, 0x01, 0x1D, 0x23, c.d.logo}) + kSmallLogo +
                                           wire({0x1D, 0x23, 0x00}) + wire(c.definition));
    }
}

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

TEST_F(Sequences, WatermarkAndMarginSamplesSwitchTheFeatureOnAroundTheLines) {
    connect();
    const struct {
        std::function<bool()> print;
        bytes on, off;
    } cases[] = {
        {[&] { return printWatermarkSample(link, 9); }, {0x1D, 0x8C, 0x01, 9}, {0x1D, 0x8C, 0x00, 9}},
        {[&] { return printWatermarkSample(link, 241); }, {0x1D, 0x8C, 0x01, 241}, {0x1D, 0x8C, 0x00, 241}},
        {[&] { return printMarginSample(link, MarginSide::Left, 17); },
         {0x1D, 0x99, 0x01, 17, 0x32, 0x00},
         {0x1D, 0x99, 0x00, 17, 0x32, 0x00}},
        {[&] { return printMarginSample(link, MarginSide::Right, 242); },
         {0x1D, 0x99, 0x02, 242, 0x32, 0x00},
         {0x1D, 0x99, 0x00, 242, 0x32, 0x00}},
    };
    for (const auto& c : cases) {
        printer->clearReceived();
        EXPECT_TRUE(c.print());
        EXPECT_EQ(printer->received(), wire(c.on) + sampleLines() + wire(c.off) + wire({0x1B, 0x4A, 0xFF, 0x19}));
    }
}

TEST_F(Sequences, LegacyColorizationIsConfiguredCommandByCommand) {
    const struct {
        legacy::Options o;
        bytes sent;
    } cases[] = {
        {{},
         {0x1F, 0x03, 0x16, 0x01, 0x00, 0x00, 0x1F, 0x03, 0x16, 0x04, 0x00, 0x00, 0x1F, 0x03, 0x16, 0x03, 0x00, 0x00,
          0x00, 0x1F, 0x03, 0x16, 0x02, 0x00, 0x00, 0x1D, 0xFF}},
        {{true, false, false, true, 6},
         {0x1F, 0x03, 0x16, 0x01, 0x06, 0x30, 0x1F, 0x03, 0x16, 0x04, 0x00, 0x00, 0x1F, 0x03, 0x16, 0x03, 0x00, 0x00,
          0x00, 0x1F, 0x03, 0x16, 0x02, 0x32, 0x19, 0x1D, 0xFF}},
        // Beside a margin message the bottom logo 243 is overwritten by a blank one.
        {{true, true, true, true, 128},
         {0x1F, 0x03, 0x16, 0x01, 0x80, 0x30, 0x1F, 0x03, 0x16, 0x04, 0x30, 0xA0, 0x1F, 0x03, 0x16, 0x03,
          0x01, 0x07, 0x01, 0x1D, 0x23, 0xF3, 0x1D, 0x84, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x1D, 0x23, 0x00, 0x1F, 0x03, 0x16, 0x04, 0x01, 0xA0, 0x1F, 0x03, 0x16, 0x02,
          0x32, 0x19, 0x1F, 0x03, 0x16, 0x04, 0x01, 0xA0, 0x1D, 0xFF}},
    };
    connect();
    for (const auto& c : cases) {
        printer->clearReceived();
        EXPECT_TRUE(legacy::enableSelected(link, batch, c.o));
        EXPECT_EQ(printer->received(), wire(c.sent));
    }
}

TEST_F(Sequences, ASubstitutionEntryIsStoredInTheFlash) {
    const struct {
        uint8_t n;
        AttributeSet set;
        bytes sent;
    } cases[] = {
        {1, 0, {0x1F, 0x03, 0x17, 0x01, 0x00, 0x00, 0x1D, 0xFF}},
        {2, AttributeSet(textsub::from(0) | textsub::to(8)), {0x1F, 0x03, 0x17, 0x02, 0x01, 0x80, 0x1D, 0xFF}},
    };
    connect();
    for (const auto& c : cases) {
        printer->clearReceived();
        EXPECT_TRUE(textsub::sendEntry(link, batch, c.n, c.set));
        EXPECT_EQ(printer->received(), wire(c.sent));
    }
}

TEST_F(Sequences, TheLegacySampleReceiptPrintsTheSaleLineInColour) {
    connect();
    auto timer = clock.createTimer();
    EXPECT_TRUE(printSampleReceipt(link, *timer, legacy::sampleReceipt()));
    const QByteArray sent = printer->received();
    EXPECT_TRUE(sent.startsWith(wire({0x19, 0x1B, 0x61, 0x01}) + "Welcome to the Vru Rastiv\n"));
    EXPECT_TRUE(sent.contains("Item   1" + QByteArray(23, ' ') + " $ 1.00\n"));
    EXPECT_TRUE(sent.contains(wire({0x1B, 0x72, 0x02}) + "Item  15  *** Now On Sale ***  $ 15.00\n" +
                              wire({0x1B, 0x72, 0x00})));
    EXPECT_TRUE(sent.endsWith(wire({0x1B, 0x21, 0x00, ' ', 0x1B, 0x4A, 0x80, 0x1B, 0x6D, 0x1B, 0x76})));
}

TEST_F(Sequences, TheSubstitutionSampleNamesTheTickedAttributes) {
    const struct {
        AttributeSet set;
        QByteArray combined;
    } cases[] = {
        {0, wire({0x1B, 0x21, 0x00}) + "This text has all attributes selected in the left column on the screen ().  "
                                       "It should appear with all the attributes selected in the right column on the "
                                       "screen ().  "},
        {AttributeSet(textsub::from(0) | textsub::from(1) | textsub::to(7)),
         wire({0x1B, 0x49, 0x01, 0x1B, 0x21, 0x08}) +
             "This text has all attributes selected in the left column on the screen (bold italic ).  It should "
             "appear with all the attributes selected in the right column on the screen (color ).  "},
    };
    connect();
    for (const auto& c : cases) {
        printer->clearReceived();
        auto timer = clock.createTimer();
        EXPECT_TRUE(printSampleReceipt(link, *timer, textsub::sampleReceipt(c.set)));
        EXPECT_TRUE(printer->received().contains(c.combined)) << printer->received().toHex(' ').constData();
        EXPECT_TRUE(printer->received().endsWith(wire({0x1B, 0x4A, 0xFF, 0x19, 0x1B, 0x76})));
    }
}
