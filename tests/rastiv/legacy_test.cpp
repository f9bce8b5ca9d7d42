// Legacy colorization, text substitution, top logo spacing and paper type, byte for byte.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "core/batchmode.hpp"
#include "fakes.hpp"
#include "printerbench.hpp"
#include "ui/printer/frmLegacy.hpp"
#include "ui/printer/frmTextSub.hpp"
#include "ui/picture/frmAdvanced.hpp"
#include "ui/printer/frmComm.hpp"
#include "core/portdevices.hpp"
#include "link/virtualprinter.hpp"
#include "ui/main/frmMain.hpp"

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

const QByteArray kClose = hex("1D FF");

// A connected printer, the screen red and the spacing at its default.
struct Bench : PrinterBench {
    Bench() {
        w.g.gScreenRed = true;
        w.g.gTopLogoSpacing = 128;
        connect();
        w.link.ClearInputBuffer();
    }
    // Also the connection test's reply: the samples wait for replies of their own.
    void clear() {
        PrinterBench::clear();
        w.link.ClearInputBuffer();
    }
};

// The main window with a connected printer.
struct MainBench : Bench {
    frmMain window{w.env};
    MainBench() {
        window.endProgram = [] {};
        window.show();
        // Every run starts unconnected; this one keeps the bench's printer.
        connect();
        w.link.ClearInputBuffer();
    }
};

TEST(LegacyColorization, EverySetOfBoxesSendsTheWholeConfigurationInItsOrder) {
    // One letter per command: upper case on, lower case off; L is logo 243
    // blanked (three writes), X the bottom logo set beside the other features.
    const std::map<char, QList<QByteArray>> cmd{
        {'T', {hex("1F 03 16 01 80 30")}},    {'t', {hex("1F 03 16 01 00 00")}},
        {'B', {hex("1F 03 16 04 30 A0")}},    {'b', {hex("1F 03 16 04 00 00")}},
        {'M', {hex("1F 03 16 03 01 07 01")}}, {'m', {hex("1F 03 16 03 00 00 00")}},
        {'W', {hex("1F 03 16 02 32 19")}},    {'w', {hex("1F 03 16 02 00 00")}},
        {'X', {hex("1F 03 16 04 01 A0")}},    {'F', {kClose}},
        {'L', {hex("1D 23 F3"), hex("1D 84 01 01 01 00 00 00 00 00 00 00 00"), hex("1D 23 00")}},
    };
    const struct {
        const char* boxes;  // top, bottom, margin message, watermark
        const char* sent;
    } rows[] = {
        {"0000", "tbmwF"},   {"1000", "TbmwF"},   {"0100", "tBmwF"},      {"1100", "TBmwF"},
        {"0010", "tbMwF"},   {"1010", "TbMwF"},   {"0110", "tBMLXwF"},    {"1110", "TBMLXwF"},
        {"0001", "tbmWF"},   {"1001", "TbmWF"},   {"0101", "tBmWXF"},     {"1101", "TBmWXF"},
        {"0011", "tbMWF"},   {"1011", "TbMWF"},   {"0111", "tBMLXWXF"},   {"1111", "TBMLXWXF"},
    };
    Bench b;
    frmLegacy d(b.w.env);
    QCheckBox* boxes[] = {d.chkTopLogo, d.chkBottomLogo, d.chkRibbonLogo, d.chkWatermark};
    for (const auto& r : rows) {
        for (int i = 0; i < 4; ++i) boxes[i]->setChecked(r.boxes[i] == '1');
        QList<QByteArray> expected;
        for (const char* c = r.sent; *c; ++c) expected += cmd.at(*c);
        b.clear();
        b.record();
        const int flashWrites = b.printer->flashWrites();
        const qint64 t0 = b.w.clock.nowMs();
        d.cmdDefineLegacy->click();
        EXPECT_EQ(b.writes(), expected) << r.boxes;
        const bool blanked = QByteArray(r.sent).contains('L');
        // The printer took every parameter as a parameter: one flash write per pause.
        EXPECT_EQ(b.printer->flashWrites() - flashWrites, blanked ? 2 : 1) << r.boxes;
        EXPECT_GE(b.w.clock.nowMs() - t0, blanked ? 12000 : 6000) << r.boxes;
        // A pause marker after each flash write: the blank logo and 1D FF.
        QByteArray file;
        for (const QByteArray& s : expected)
            file += s == kClose || s == cmd.at('L')[1] ? s + kBatchPauseMarker : s;
        EXPECT_EQ(b.recorded(), file) << r.boxes;
        EXPECT_EQ(d.steps.shown(), 2);
        EXPECT_EQ(d.lblStatus->text().startsWith("Done: the printer now adds the top logo"), r.boxes[0] == '1');
        EXPECT_TRUE(d.isEnabled() && b.w.messages.shown.empty());
        d.steps.show(1);
    }
    // A cancelled send ends the run where it is.
    b.clear();
    b.printer->setPowered(false);
    b.w.messages.answers = {MsgResult::Cancel};
    d.cmdDefineLegacy->click();
    EXPECT_TRUE(b.writes().isEmpty());
    EXPECT_EQ(b.w.messages.shown.size(), 1u);
    EXPECT_EQ(d.steps.shown(), 1);
}

TEST(LegacyColorization, TheSpacingSetUnderAdvancedIsSentAsItsByte) {
    Bench b;
    for (const char* typed : {"254", "27", "29", "16"}) {
        frmAdvanced advanced(b.w.env);
        advanced.rbTLSOther->click();
        advanced.tbOther->setText(QString::fromLatin1(typed));
        advanced.cmdOK->click();
        frmLegacy d(b.w.env);
        d.chkTopLogo->click();
        b.clear();
        const int flashWrites = b.printer->flashWrites();
        d.cmdDefineLegacy->click();
        EXPECT_EQ(b.writes().first(), hex("1F 03 16 01") + char(atoi(typed)) + '\x30') << typed;
        EXPECT_EQ(b.printer->flashWrites() - flashWrites, 1) << typed;
        EXPECT_EQ(b.w.link.InputBufferCount(), 0) << typed;
    }
}

TEST(LegacyColorization, SampleReceiptGoesPieceByPieceAndWaitsAtMostTenSecondsForTheAnswer) {
    QList<QByteArray> expected{hex("19"), hex("1B 61 01"), "Welcome to the Vru Rastiv\n",
                               "Receipt Colorization Utility!\n\n", hex("1B 61 00")};
    for (int i = 1; i <= 20; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i == 15) {
            expected += {hex("1B 72 02"), "Item ", " 15  *** Now On Sale ***  ", "$ 15.00\n", hex("1B 72 00")};
        } else if (i < 10) {
            expected += {"Item ", " ", " " + n + QByteArray(23, ' '), " ", "$ " + n + ".00\n"};
        } else {
            expected += {"Item ", " " + n + QByteArray(23, ' '), "$ " + n + ".00\n"};
        }
    }
    expected += {hex("1B 45 01") + QByteArray(25, ' ') + "Total $210.00" + hex("1B 45 00") + "\n\n",
                 hex("1B 21 00 20"), hex("1B 4A 80 1B 6D"), hex("1B 76")};
    Bench b;
    frmLegacy d(b.w.env);
    b.record();
    qint64 t0 = b.w.clock.nowMs();
    d.cmdPrintSample->click();
    const qint64 answered = b.w.clock.nowMs() - t0;
    EXPECT_EQ(b.writes(), expected);
    EXPECT_EQ(d.steps.shown(), 3);
    EXPECT_FALSE(b.w.batch.sendingPrintSample());
    EXPECT_TRUE(b.recorded().isEmpty());  // print samples stay out of recordings

    // No answer: the sample ends after ten seconds; an old reply still
    // waiting in the input buffer is no answer.
    d.steps.show(1);
    b.w.link.WritePort(hex("1B 76"));
    b.w.clock.advance(100);
    ASSERT_GT(b.w.link.InputBufferCount(), 0);
    b.printer->clearReceived();
    b.printer->setReplyDelayMs(15000);
    t0 = b.w.clock.nowMs();
    d.cmdPrintSample->click();
    const qint64 unanswered = b.w.clock.nowMs() - t0;
    EXPECT_EQ(b.writes(), expected);
    EXPECT_GE(unanswered - answered, 9900);
    EXPECT_LE(unanswered - answered, 10100);
    EXPECT_EQ(d.steps.shown(), 3);
}

TEST(LegacyColorization, BoxesShowTheirPreviewAndTheSubstitutionButtonsOpenTheirEntry) {
    Bench b;
    b.w.g.gScreenRed = false;
    frmLegacy d(b.w.env);
    EXPECT_EQ(d.steps.frame(1)->colour(), QColor(0, 0, 255));
    EXPECT_TRUE(d.imReceipt->isVisibleTo(&d) && !d.imReceiptWatermark->isVisibleTo(&d));
    d.chkWatermark->click();
    d.chkRibbonLogo->click();
    d.chkTopLogo->click();
    EXPECT_TRUE(!d.imReceipt->isVisibleTo(&d) && d.imReceiptWatermark->isVisibleTo(&d));
    EXPECT_TRUE(d.imRibbonLogoL->isVisibleTo(&d) && d.imRibbonLogoR->isVisibleTo(&d) && d.imTopLogo->isVisibleTo(&d));
    EXPECT_FALSE(d.imBottomLogo->isVisibleTo(&d));
    d.chkWatermark->click();
    EXPECT_TRUE(d.imReceipt->isVisibleTo(&d) && !d.imReceiptWatermark->isVisibleTo(&d));

    std::vector<QString> seen;
    for (QPushButton* button : {d.cmdTextAttribSub, d.cmdTextAttribSub2}) {
        whenModal([&](QDialog* opened) {
            auto* sub = static_cast<frmTextSub*>(opened);
            seen.insert(seen.end(), {sub->windowTitle(), sub->cmdSubOn->text(), sub->cmdSubOff->text()});
            EXPECT_EQ(d.steps.shown(), 3);
            sub->chkBold->click();
            sub->cmdSubOn->click();
            sub->cmdExit->click();
        });
        button->click();
        EXPECT_EQ(d.steps.shown(), 4);
    }
    EXPECT_EQ(seen, (std::vector<QString>{
                        "Legacy Colorization - Text Attribute Substitution # 1", "Turn Substitution # 1 ON",
                        "Turn Substitution # 1 OFF", "Legacy Colorization - Text Attribute Substitution # 2",
                        "Turn Substitution # 2 ON", "Turn Substitution # 2 OFF"}));
    EXPECT_EQ(b.writes(), (QList<QByteArray>{hex("1F 03 17 01 01 00"), kClose, hex("1F 03 17 02 01 00"), kClose}));
}

TEST(TextSubstitution, EachBoxSetsItsBitAndNoAttributeByteIsTakenForACommand) {
    Bench b;
    frmTextSub d(b.w.env, 2);
    // The boxes in the order of their bits: A 01 to 80, then B 01 to 80.
    QCheckBox* const bitOrder[] = {d.chkBold,       d.chkItalic,      d.chkReverse,      d.chkUnderline,
                                   d.chkDblHigh,    d.chkDblWide,     d.chkCompressed,   d.chkBoldSub,
                                   d.chkItalicSub,  d.chkReverseSub,  d.chkUnderlineSub, d.chkDblHighSub,
                                   d.chkDblWideSub, d.chkCompressedSub, d.chkColorSub,   d.chkColorReverseSub};
    struct Row {
        std::vector<QCheckBox*> ticked;
        QByteArray ab;
    };
    std::vector<Row> rows{
        {std::vector<QCheckBox*>(std::begin(bitOrder), std::end(bitOrder)), hex("FF FF")},
        {{}, hex("00 00")},
        // Bytes that would be commands: GS 84 (a logo definition), DLE EOT, ESC v.
        {{d.chkBold, d.chkReverse, d.chkUnderline, d.chkDblHigh, d.chkUnderlineSub, d.chkColorReverseSub},
         hex("1D 84")},
        {{d.chkDblHigh, d.chkUnderlineSub}, hex("10 04")},
        {{d.chkBold, d.chkItalic, d.chkUnderline, d.chkDblHigh, d.chkReverseSub, d.chkUnderlineSub,
          d.chkDblWideSub, d.chkCompressedSub, d.chkColorSub},
         hex("1B 76")},
    };
    for (int k = 0; k < 16; ++k) rows.push_back({{bitOrder[k]}, k < 8 ? QByteArray(1, char(1 << k)) + '\0'
                                                                       : QByteArray(1, '\0') + char(1 << (k - 8))});
    for (const Row& r : rows) {
        for (QCheckBox* box : bitOrder) box->setChecked(false);
        d.steps.show(3);
        for (QCheckBox* box : r.ticked) box->click();
        EXPECT_EQ(d.steps.shown(), r.ticked.empty() ? 3 : 1);
        b.clear();
        const int flashWrites = b.printer->flashWrites();
        d.cmdSubOn->click();
        EXPECT_EQ(b.writes(), (QList<QByteArray>{hex("1F 03 17 02") + r.ab, kClose})) << r.ab.toHex(' ').data();
        EXPECT_EQ(b.printer->flashWrites() - flashWrites, 1) << r.ab.toHex(' ').data();
        EXPECT_EQ(b.w.link.InputBufferCount(), 0) << r.ab.toHex(' ').data();
        EXPECT_EQ(d.steps.shown(), 2);
    }
    b.clear();
    b.record();
    d.cmdSubOff->click();  // the boxes do not matter
    EXPECT_EQ(b.writes(), (QList<QByteArray>{hex("1F 03 17 02 00 00"), kClose}));
    EXPECT_EQ(b.recorded(), hex("1F 03 17 02 00 00") + kClose + kBatchPauseMarker);
}

TEST(TextSubstitution, SampleReceiptPrintsEachAttributeThenTheLeftColumnCombined) {
    Bench b;
    frmTextSub d(b.w.env, 1);
    for (QCheckBox* box : {d.chkBold, d.chkItalic, d.chkReverse, d.chkCompressed, d.chkBoldSub, d.chkColorSub})
        box->click();
    d.cmdPrintSample->click();
    const QList<QByteArray> head{
        hex("1B 40"),
        "The following text sample contains words \n",
        "with the attributes you have selected to \n",
        "substitute for.  Don't forget that there \n",
        "are two attribute remapping entries, so  \n",
        "the other remapping might affect the     \n",
        "printed output.\n\n",
        hex("1B 45 01"), "This line was originally bold text\n", hex("1B 45 00"),
        hex("1B 49 01"), "This line was originally italicized text\n", hex("1B 49 00"),
        hex("1D 42 01"), "This line was originally reverse video text\n", hex("1D 42 00"),
        hex("1B 2D 01"), "This line was originally underlined text\n", hex("1B 2D 00"),
        hex("1B 21 10"), "This line was originally double high text\n", hex("1B 21 00"),
        hex("1B 21 20"), "This was originally\n  double wide text\n", hex("1B 21 00"),
        hex("1B 21 01"), "This line was originally compressed pitch text\n", hex("1B 21 00"),
        "\n"};
    const QByteArray combinedOpen = "This text has all attributes selected in the left column on the screen (";
    const QByteArray middle = ").  It should appear with all the attributes selected in the right column on the screen (";
    const QList<QByteArray> tail{").  Don't forget that there are two attribute ",
                                 "ramapping entries, so the other remapping might ", "affect the printed output.\n",
                                 hex("1B 40"), "\nIf you need any help using this utility, the\n", " ",
                                 "help file that is included contains tips \n",
                                 "and instructions to enable you to take full\n",
                                 "advantage of Vru's Rastiv thermal printing\n", "features.\n", hex("1B 4A FF 19"),
                                 hex("1B 76")};
    const QList<QByteArray> combined{hex("1B 49 01"), hex("1D 42 01"), hex("1B 21 09"), combinedOpen,
                                     "bold ", "italic ", "reverse video ", "compressed pitch ", middle,
                                     "bold ", "color "};
    EXPECT_EQ(b.writes(), head + combined + tail);
    for (qsizetype i = 1; i <= 5; ++i) EXPECT_EQ(head[i].size(), 42);
    EXPECT_EQ(d.steps.shown(), 3);

    b.clear();
    for (QCheckBox* box : {d.chkBold, d.chkItalic, d.chkReverse, d.chkCompressed, d.chkBoldSub, d.chkColorSub})
        box->click();
    d.cmdPrintSample->click();
    const QList<QByteArray> none{hex("1B 21 00"), combinedOpen, middle};
    EXPECT_EQ(b.writes(), head + none + tail);
}

TEST(PaperType, EachMediaItemSetsItsTypeAndHasThePrinterStoreIt) {
    MainBench m;
    const struct {
        QAction* item;
        const char* sent;
    } rows[] = {{m.window.mnuColorMediaType0, "1D 81 00 FF"},    {m.window.mnuColorMediaType1, "1D 81 01 FF"},
                {m.window.mnuColorMediaType4, "1D 81 04 FF"},    {m.window.mnuColorMediaType5[0], "1D 81 05 FF"},
                {m.window.mnuColorMediaType5[1], "1D 81 05 FF"}, {m.window.mnuColorMediaType5[2], "1D 81 05 FF"}};
    for (const auto& r : rows) {
        m.clear();
        const int flashWrites = m.printer->flashWrites();
        r.item->trigger();
        EXPECT_EQ(m.writes(), (QList<QByteArray>{hex(r.sent), kClose})) << r.sent;
        EXPECT_EQ(m.printer->flashWrites() - flashWrites, 1);
        EXPECT_TRUE(m.window.cmdLegacy->isEnabled() && m.w.messages.shown.empty());
    }
    m.clear();
    m.record();
    m.window.mnuColorMediaType1->trigger();
    EXPECT_EQ(m.recorded(), hex("1D 81 01 FF") + kClose + kBatchPauseMarker);
}

TEST(PaperType, WithoutAConnectionNothingIsSentAndTheOperatorIsTold) {
    World w;
    frmMain window(w.env);
    window.endProgram = [] {};
    whenModal([](QDialog* comm) {
        EXPECT_EQ(comm->windowTitle(), "Communication Configuration");
        comm->reject();
    });
    window.mnuColorMediaType5[2]->trigger();
    EXPECT_EQ(w.messages.boxes(),
              (std::vector<Box>{{"The utility did not establish communications with the printer, so it will not "
                                "configure the printer for the correct paper type.",
                                "Communication Message", MsgIcon::Information, 7, MsgButtons::Ok, false}}));
    EXPECT_TRUE(window.cmdLegacy->isEnabled() && window.cmdLoad->isEnabled());
}

TEST(TopLogoSpacing, OtherValuesAreCheckedStoredAsTypedAndUsedRoundedHalfToEven) {
    const struct {
        const char* typed;
        bool esc;
        int used;  // 0: refused
    } rows[] = {{"254", false, 254}, {"255", false, 0}, {"12.5", false, 12}, {"13.5", true, 14},
                {"7abc", false, 7},  {"0.9", true, 0},  {"abc", false, 0},   {"1", false, 1}};
    for (const auto& r : rows) {
        World w;
        w.settings.write(Key::TopLogoSpacing, "200");
        frmAdvanced d(w.env);
        d.show();
        EXPECT_TRUE(d.rbTLSOther->isChecked());
        EXPECT_EQ(d.tbOther->text(), "200");
        EXPECT_EQ(w.g.gTopLogoSpacing, 200);
        d.tbOther->setText(QString::fromLatin1(r.typed));
        if (r.esc)
            QTest::keyClick(d.tbOther, Qt::Key_Escape);
        else
            d.cmdOK->click();
        if (r.used) {
            EXPECT_EQ(w.settings.read(Key::TopLogoSpacing), QString::fromLatin1(r.typed));
            EXPECT_EQ(w.g.gTopLogoSpacing, r.used) << r.typed;
            EXPECT_FALSE(d.isVisible()) << r.typed;
            EXPECT_TRUE(w.messages.shown.empty()) << r.typed;
            continue;
        }
        EXPECT_TRUE(d.isVisible()) << r.typed;
        EXPECT_EQ(w.settings.read(Key::TopLogoSpacing), "200");
        EXPECT_EQ(w.g.gTopLogoSpacing, 128);
        EXPECT_EQ(d.tbOther->text(), "128");
        EXPECT_EQ(w.messages.boxes(),
                  (std::vector<Box>{{"The parameter must be in the range 1 to 254.\r\nSelect a proper value and click "
                                    "OK again.",
                                    "Parameter Error", MsgIcon::Information, 16}}))
            << r.typed;
    }
}

TEST(TopLogoSpacing, TheDefaultIsStoredWithABlankAndClosingTheWindowStoresNothing) {
    World w;
    frmMain window(w.env);  // start-up stores "128"
    window.endProgram = [] {};
    whenModal([](QDialog* d) {
        auto* advanced = static_cast<frmAdvanced*>(d);
        EXPECT_EQ(advanced->windowTitle(), "Advanced Settings");
        EXPECT_TRUE(advanced->rbTLS80H->isChecked() && !advanced->tbOther->isEnabled());
        advanced->rbTLSOther->click();
        EXPECT_EQ(advanced->tbOther->text(), "128");
        advanced->rbTLS80H->click();
        EXPECT_TRUE(advanced->tbOther->text().isEmpty());
        advanced->cmdOK->click();
    });
    window.mnuAdvancedTopLogoSpacing->trigger();
    EXPECT_EQ(w.settings.read(Key::TopLogoSpacing), " 128");

    // A value edited into the settings outside 1..255 is shown but not used.
    w.settings.write(Key::TopLogoSpacing, "-5");
    frmAdvanced d(w.env);
    d.show();
    EXPECT_EQ(d.tbOther->text(), "-5");
    EXPECT_EQ(w.g.gTopLogoSpacing, 128);
    d.close();
    EXPECT_EQ(w.settings.read(Key::TopLogoSpacing), "-5");
}

TEST(TopLogoSpacing, TheHelpGivesTheRangeTheDialogAccepts) {
    QFile help(QStringLiteral(RASTIV_SOURCE_HELP "/index.html"));
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(help.readAll()).simplified();
    const QString topic = page.mid(page.indexOf("id=\"topic-16\""), 600);
    EXPECT_TRUE(topic.contains("1 to 254")) << topic.toStdString();
}

}  // namespace
