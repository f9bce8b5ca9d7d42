// Where the printer's commands end: the one table the virtual printer and the
// receipt renderer share.
#include <gtest/gtest.h>

#include <QList>

#include "link/printercommands.hpp"

using namespace rastiv;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// Bytes that start no command, or do not tell their length yet.
TEST(UnitLength, TextControlBytesAndUnknownStarts) {
    const struct {
        const char* start;
        qsizetype length;
    } rows[] = {
        {"41", 1}, {"0A", 1}, {"19", 1},  // text, line feed, the byte after the final feed
        {"1B", 0}, {"1F 03 16", 0}, {"1D 84 02 01", 0},  // do not tell yet
        {"1F 03 20 00", 4}, {"1F 07", 2}, {"1D 10", 2},    // unknown: skipped as the bytes that showed it
    };
    for (const auto& r : rows) EXPECT_EQ(unitLength(hex(r.start)), r.length) << r.start;
}

// Every command whose length its own bytes tell, with its data: the splitter
// ends it at its last byte, never one byte sooner or later.
TEST(CommandSplitter, EveryCommandEndsAtItsLastByte) {
    const struct {
        Cmd id;
        const char* bytes;
        int data = 0;  // bytes of picture data after them (1D: they must not be read as commands)
    } rows[] = {
        {Cmd::DleDc4, "10 14 01 00 05"}, {Cmd::DleDc4, "10 14 08 01 03 14 01 06 02 08"}, {Cmd::DleDc4, "10 14 07 01"},
        {Cmd::DefineUserChars, "1B 26 03 41 42 02 01 02 03 04 05 06 01 07 08 09"},
        {Cmd::ColumnImage, "1B 2A 21 02 00", 6}, {Cmd::ColumnImage, "1B 2A 01 03 00", 3},
        {Cmd::TabStops, "1B 44 08 10 00"}, {Cmd::EscFunction, "1B 28 41 04 00 30 30 01 02"},
        {Cmd::DefineKanji, "1C 32 A1 A1", 72}, {Cmd::FsFunction, "1C 28 41 02 00 30 30"},
        {Cmd::DefineNvImages, "1C 71 02 01 00 01 00 01 02 03 04 05 06 07 08 02 00 01 00", 16},
        {Cmd::GsFunction, "1D 28 4C 02 00 30 32"}, {Cmd::DefineBitImage, "1D 2A 02 01", 16},
        {Cmd::GsFunction32, "1D 38 4C 0B 00 00 00 30 70 30 01 01 31 08 00 01 00 80"},
        {Cmd::VariableRaster, "1D 51 30 00 02 00 03 00", 6}, {Cmd::RasterImage, "1D 76 30 00 02 00 03 00", 6},
        {Cmd::CutPaper, "1D 56 42 10"}, {Cmd::CutPaper, "1D 56 01"},
        {Cmd::Barcode, "1D 6B 49 04 7B 42 31 32"}, {Cmd::Barcode, "1D 6B 04 41 42 43 00"},
        {Cmd::RasterLine, "1D 82", 72}, {Cmd::TwoColourRasterLine, "1D 83", 144},
        {Cmd::LogoDefinition, "1D 84 02 01 01", 16}, {Cmd::LogoDefinition, "1D 84 01 02 01", 16},
        {Cmd::LegacySetting, "1F 03 16 01 06 30"}, {Cmd::LegacySetting, "1F 03 16 03 00 00 00"},
    };
    for (const auto& r : rows) {
        const QByteArray bytes = hex(r.bytes) + QByteArray(r.data, '\x1D');
        SCOPED_TRACE(r.bytes);
        CommandSplitter splitter;
        QList<QByteArray> units;
        const CommandInfo* command = nullptr;
        const auto take = [&](const Unit& u) {
            units.append(u.bytes.toByteArray());
            if (!command) command = u.command;
        };
        splitter.feed(QByteArrayView(bytes).chopped(1), take);
        EXPECT_TRUE(units.isEmpty()) << "ended a byte early";
        EXPECT_TRUE(splitter.midUnit());
        splitter.feed(bytes.right(1) + hex("41"), take);
        EXPECT_EQ(units, (QList<QByteArray>{bytes, hex("41")}));
        ASSERT_NE(command, nullptr);
        EXPECT_EQ(command->id, r.id) << command->name;
        EXPECT_EQ(unitLength(bytes), bytes.size());
    }
}

TEST(CommandSplitter, UnitsComeOutWholeWhateverPiecesTheyArriveIn) {
    QByteArray raster = hex("1D 83") + QByteArray(144, '\x1D');  // picture bytes that look like commands
    QByteArray logo = hex("1D 84 01 01 01") + hex("1B 76 0A 1D 84 10 04 00");
    const QList<QByteArray> expected{hex("1B 4A FF"), hex("19"), raster, hex("41"),      logo,
                                     hex("0A"),       hex("1F 03 16 03 01 07 01"), hex("1D 23 05")};
    QByteArray stream;
    for (const QByteArray& u : expected) stream += u;
    for (qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(7), qsizetype(50), stream.size()}) {
        CommandSplitter splitter;
        QList<QByteArray> units;
        for (qsizetype at = 0; at < stream.size(); at += piece)
            splitter.feed(QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at)),
                          [&](QByteArrayView u) { units.append(u.toByteArray()); });
        EXPECT_EQ(units, expected) << "pieces of " << piece;
        EXPECT_FALSE(splitter.midUnit());
    }
}

// Found by fuzzing: 1D 76 names no command unless 30 follows (GS v 0); the
// byte after it starts the next unit, whatever piece it came in.
TEST(CommandSplitter, AnUnknownStartGivesBackTheByteThatShowedIt) {
    for (qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(3)}) {
        CommandSplitter splitter;
        QList<QByteArray> units;
        const QByteArray stream = hex("1D 76 03 41 1B 21 00");
        for (qsizetype at = 0; at < stream.size(); at += piece)
            splitter.feed(QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at)),
                          [&](QByteArrayView u) { units.append(u.toByteArray()); });
        EXPECT_EQ(units, (QList<QByteArray>{hex("1D 76"), hex("03"), hex("41"), hex("1B 21 00")})) << piece;
    }
}

// FS q's second size stands behind 134 MB of its first image: the command is
// reported oversize at once, not buffered while the bytes keep coming.
TEST(CommandSplitter, ACommandThatCannotTellItsLengthWithinTheCapIsSkippedAsItComes) {
    CommandSplitter splitter;
    QList<Unit> units;
    splitter.feed(hex("1C 71 02 FF FF 00 01"), [&](const Unit& u) { units.append(u); });
    const QByteArray piece(1 << 20, '\0');
    for (int i = 0; i < 20; ++i) splitter.feed(piece, [&](const Unit& u) { units.append(u); });
    ASSERT_EQ(units.size(), 1);
    EXPECT_TRUE(units[0].oversize);
    EXPECT_GT(units[0].length, kMaxUnitBytes);
    EXPECT_TRUE(splitter.midUnit());  // the rest of the first image is still passed over
}

}  // namespace

namespace {

// Where a stop leaves the printer: after these bytes, is it inside a command
// or a logo download, and how much of what comes next completes the command.
TEST(CommandTracker, KnowsWhatThePrinterIsInsideAndWhatCompletesIt) {
    const QByteArray definition = hex("1D 84 01 01 01") + QByteArray(8, '\x1D');  // picture bytes like commands
    const struct {
        QByteArray sent;
        bool midCommand, inDownload, storing;
        QByteArray next;
        qsizetype toFinish;
    } rows[] = {
        {"abc\n", false, false, false, "def", 0},
        {hex("1B 4A"), true, false, false, hex("FF 19 41"), 1},
        {hex("1D"), true, false, false, hex("82") + QByteArray(80, 'x'), 73},  // its length still unknown
        {hex("1F 03 16"), true, false, false, hex("03 01 07 01 0A"), 4},
        {hex("1D 83") + QByteArray(10, 'x'), true, false, false, QByteArray(50, 'x'), 50},  // not enough yet
        // Between the download's 1D 22 01 and its logo number, 1D 23 00
        // would name logo 0: the number belongs to the command.
        {hex("1D 22 01"), true, true, false, hex("1D 23 05") + definition, 3},
        {hex("1D 22 01 1D"), true, true, false, hex("23 05 1D 84"), 2},
        {hex("1D 22 01 1D 23 05"), false, true, false, definition, 0},
        {hex("1D 22 01 1D 23 05") + definition.left(7), true, true, false, definition.mid(7) + hex("1D 23 00"), 6},
        {hex("1D 22 01 1D 23 05") + definition, false, true, true, hex("1D 23 00"), 0},
        {hex("1D 22 01 1D 23 05") + definition + hex("1D 23 00"), false, false, false, "x", 0},
        {hex("1D 22 01 1D 23 00"), false, true, false, definition, 0},  // a download to logo 0
        {hex("1D 23 05 1D 2F 00 1B 4A FF 19 1D 23 00"), false, false, false, "x", 0},  // printing a logo
    };
    for (const auto& r : rows) {
        // The same, whether the bytes came in one piece or one by one.
        for (bool bytewise : {false, true}) {
            CommandTracker printer;
            if (bytewise) {
                for (qsizetype i = 0; i < r.sent.size(); ++i) printer.sent(QByteArrayView(r.sent).sliced(i, 1));
            } else {
                printer.sent(r.sent);
            }
            const std::string row = r.sent.toHex(' ').toStdString();
            EXPECT_EQ(printer.midCommand(), r.midCommand) << row;
            EXPECT_EQ(printer.inDownload(), r.inDownload) << row;
            EXPECT_EQ(printer.definitionStoring(), r.storing) << row;
            EXPECT_EQ(printer.toFinishCommand(r.next), r.toFinish) << row;
            printer.sent(QByteArrayView(r.next).first(r.toFinish));
            EXPECT_FALSE(printer.midCommand() && r.toFinish < r.next.size()) << row;
        }
    }
}

TEST(CommandTracker, TheWaitForTheFlashWriteEndsTheStoring) {
    CommandTracker printer;
    printer.sent(hex("1D 22 01 1D 23 05 1D 84 01 01 01") + QByteArray(8, 'x'));
    EXPECT_TRUE(printer.definitionStoring());
    printer.waited();
    EXPECT_FALSE(printer.definitionStoring());
    EXPECT_TRUE(printer.inDownload());
    printer.sent(hex("1D 23 00"));
    EXPECT_FALSE(printer.inDownload());
}

}  // namespace
