// Where the printer's commands end: the one table the virtual printer and the
// receipt renderer share.
#include <gtest/gtest.h>

#include <QList>

#include "link/printercommands.hpp"

using namespace rastiv;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

TEST(UnitLength, EachCommandTakesItsParametersAndPictureData) {
    const struct {
        const char* start;  // the first bytes, enough to tell the length
        qsizetype length;
    } rows[] = {
        {"41", 1},              // text
        {"0A", 1},              // line feed
        {"19", 1},              // the byte after the final feed prints nothing but is no command
        {"1B", 0},              // ESC alone does not tell yet
        {"1B 76", 2},           // status query
        {"1B 40", 2},           // reset
        {"1B 6D", 2},           // cut
        {"1B 4A", 3},           // feed n dots
        {"1B 61", 3},           // justification
        {"1B 21", 3},           // print mode
        {"1B 72", 3},           // print colour
        {"10 04", 3},           // real-time status
        {"10 05", 3},           // DLE ENQ n: a request with its parameter
        {"1F 03 16", 0},        // the function number is still to come
        {"1F 03 16 01", 6},     // top logo
        {"1F 03 16 03", 7},     // margin message: three parameters
        {"1F 03 17 01", 6},     // text attribute substitution
        {"1F 03 20 00", 4},     // an unknown setting
        {"1F 07", 2},
        {"1D 82", 74},          // monochrome raster line
        {"1D 83", 146},         // two-colour raster line
        {"1D 84 02 01", 0},     // Y is still to come
        {"1D 84 02 0D 02", 5 + 13 * 2 * 16},
        {"1D 84 01 0D 02", 5 + 13 * 16},
        {"1D 84 02 00 05", 5},  // an empty logo
        {"1D 23", 3},
        {"1D 2F", 3},
        {"1D 22", 3},
        {"1D 40", 3},
        {"1D 42", 3},
        {"1D 81", 4},
        {"1D 8B", 5},
        {"1D 8C", 4},
        {"1D 99", 6},
        {"1D FF", 2},
        {"1D 10", 2},           // unknown
    };
    for (const auto& r : rows) EXPECT_EQ(unitLength(hex(r.start)), r.length) << r.start;
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
