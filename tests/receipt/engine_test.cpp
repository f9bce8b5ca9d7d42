// What the printer prints, from byte streams written after the published
// command layouts, from a receipt a point-of-sale encoder made, and checked
// against zint's own symbols.
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <zint.h>

#include <functional>
#include <memory>

#include "receipt/codepages.hpp"
#include "receipt/receiptengine.hpp"
#include "receipt/receiptrenderer.hpp"

using namespace rastiv;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// Everything a stream printed.
struct Printed : PaperSink {
    std::vector<uint8_t> dots;
    QStringList lines, warnings, notes;
    QList<int> cuts;
    PrinterMemory memory;
    void rows(const uint8_t* d, int count) override { dots.insert(dots.end(), d, d + size_t(count) * kPaperWidth); }
    void textLine(const QString& l) override { lines << l; }
    void cut() override { cuts << height(); }
    int height() const { return int(dots.size() / kPaperWidth); }
    uint8_t at(int x, int y) const { return dots[size_t(y) * kPaperWidth + size_t(x)]; }
    int count(uint8_t dot, int top = 0, int bottom = -1) const {
        if (bottom < 0) bottom = height();
        return int(std::count(dots.begin() + qsizetype(top) * kPaperWidth, dots.begin() + qsizetype(bottom) * kPaperWidth, dot));
    }
    QStringList words() const { return lines.join(u' ').split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts); }
};

std::unique_ptr<Printed> print(const QByteArray& bytes) {
    auto p = std::make_unique<Printed>();
    ReceiptEngine e(*p, p->memory);
    e.warning = [&](qint64 at, const QString& w) { p->warnings << QStringLiteral("%1: %2").arg(at).arg(w); };
    e.note = [&](const QString& n) { p->notes << n; };
    e.feed(bytes);
    e.finish();
    return p;
}

QByteArray fill(int n, uint8_t v) { return QByteArray(n, char(v)); }

// Each command with byte v as its first parameter (and as its picture data),
// as the references lay them out.
const struct {
    const char* name;
    std::function<QByteArray(uint8_t)> make;
} kLayouts[] = {
    {"ESC ! n", [](uint8_t v) { return hex("1B 21") + char(v); }},
    {"ESC - n", [](uint8_t v) { return hex("1B 2D") + char(v); }},
    {"ESC 3 n", [](uint8_t v) { return hex("1B 33") + char(v); }},
    {"ESC J n", [](uint8_t v) { return hex("1B 4A") + char(v); }},
    {"ESC a n", [](uint8_t v) { return hex("1B 61") + char(v); }},
    {"ESC d n", [](uint8_t v) { return hex("1B 64") + char(v % 8); }},
    {"ESC t n", [](uint8_t v) { return hex("1B 74") + char(v); }},
    {"ESC r n", [](uint8_t v) { return hex("1B 72") + char(v) + hex("1B 72 00"); }},
    {"ESC p m t1 t2", [](uint8_t v) { return hex("1B 70") + char(v) + char(v) + char(v); }},
    {"ESC * m nL nH d", [](uint8_t v) { return hex("1B 2A") + char(v) + hex("02 00") + fill(v >= 32 ? 6 : 2, v); }},
    {"GS ! n", [](uint8_t v) { return hex("1D 21") + char(v) + hex("1D 21 00"); }},
    {"GS B n", [](uint8_t v) { return hex("1D 42") + char(v) + hex("1D 42 00"); }},
    {"GS h n", [](uint8_t v) { return hex("1D 68") + char(v); }},
    {"GS w n", [](uint8_t v) { return hex("1D 77") + char(v); }},
    {"GS v 0 m xL xH yL yH d", [](uint8_t v) { return hex("1D 76 30") + char(v) + hex("02 00 03 00") + fill(6, v); }},
    {"GS ( L store and print",
     [](uint8_t v) { return hex("1D 28 4C 0C 00 30 70 30 01 01 31 10 00 01 00") + fill(2, v) + hex("1D 28 4C 02 00 30 32"); }},
    {"GS 8 L", [](uint8_t v) { return hex("1D 38 4C 0C 00 00 00 30 70 30 01 01 31 10 00 01 00") + fill(2, v); }},
    {"GS ( k QR size", [](uint8_t v) { return hex("1D 28 6B 03 00 31 43") + char(v); }},
    {"GS k m=73 n d", [](uint8_t v) { return hex("1D 6B 49") + char(v % 16) + fill(v % 16, v); }},
    {"DLE EOT n", [](uint8_t v) { return hex("10 04") + char(v); }},
    {"DLE ENQ n", [](uint8_t v) { return hex("10 05") + char(v); }},
    {"GS 83 raster line", [](uint8_t v) { return hex("1D 83") + fill(144, v); }},
    {"GS 84 logo", [](uint8_t v) { return hex("1D 23 07 1D 84 02 01 01") + fill(16, v) + hex("1D 23 00"); }},
    {"US 03 16 f", [](uint8_t v) { return hex("1F 03 16") + char(v) + fill(v == 3 ? 3 : 2, 0); }},
    {"GS 8C on W", [](uint8_t v) { return hex("1D 8C") + char(v) + hex("01 1D 8C 00 01"); }},
};

TEST(ReceiptEngine, EveryByteAsAFirstParameterOrAsPictureDataLeavesTheTextAroundIt) {
    for (const auto& layout : kLayouts)
        for (int v = 0; v < 256; ++v) {
            const auto p = print("ABC\n" + layout.make(uint8_t(v)) + "DEF\n");
            const QStringList printed = p->lines.filter(QRegularExpression(QStringLiteral("\\S")));
            ASSERT_EQ(printed, (QStringList{"ABC", "DEF"})) << layout.name << " with " << v;
            ASSERT_TRUE(p->warnings.filter(QStringLiteral("skipped")).isEmpty()) << layout.name << " with " << v;
        }
}

TEST(ReceiptEngine, CodePagesByEscT) {
    const struct {
        int page;
        const char* bytes;
        const char* text;
    } rows[] = {
        {0, "47 72 94 e1 65", "Größe"},
        {2, "9d 72 65", "Øre"},
        {15, "c1 e8 de ed e1", "Αθήνα"},
        {16, "43 61 66 e9 20 63 72 e8 6d 65 20 34 2e 35 30 20 80", "Café crème 4.50 €"},
        {17, "8f e0 a8 a2 a5 e2", "Привет"},
        {18, "9d a2 64 ab", "Łódź"},
        {19, "43 61 66 82 20 63 72 8a 6d 65 20 34 2e 35 30 20 d5", "Café crème 4.50 €"},
        {13, "98 73 74 61 6e 62 75 6c", "İstanbul"},
    };
    for (const auto& r : rows) {
        const auto p = print(hex("1B 74") + char(r.page) + hex(r.bytes) + "\n" + hex("1B 40") + hex(r.bytes) + "\n");
        EXPECT_EQ(p->lines.value(0), QString::fromUtf8(r.text)) << r.page;
        if (r.page != 0) {
            EXPECT_NE(p->lines.value(1), QString::fromUtf8(r.text)) << r.page << ": ESC @ goes back to PC437";
        }
    }
}

TEST(ReceiptEngine, StylesAndPicturesDrawWhatThePrinterPrints) {
    const auto plain = print("AB\n");
    const int plainInk = plain->count(kBlackDot);
    const auto flashFull = [](const Printed& p) {
        EXPECT_TRUE(p.memory.bytes() <= PrinterMemory::kFlashBytes && !p.warnings.filter("flash is full").isEmpty());
    };
    const struct {
        const char* what;
        QByteArray bytes;
        std::function<void(const Printed&)> check;
    } rows[] = {
        {"double width and height (GS !) make a 48-dot line of 24-dot cells", hex("1D 21 11") + "AB\n",
         [&](const Printed& p) {
             EXPECT_EQ(p.height(), 48);
             EXPECT_EQ(p.count(kBlackDot), 4 * plainInk);
         }},
        {"ESC ! 30 is double width and height too", hex("1B 21 30") + "AB\n",
         [&](const Printed& p) { EXPECT_EQ(p.count(kBlackDot), 4 * plainInk); }},
        {"font B: 9 x 17 cells", hex("1B 4D 01") + "AB\n", [&](const Printed& p) {
             EXPECT_EQ(p.height(), 24);  // the line spacing
             for (int y = 0; y < 24; ++y) EXPECT_EQ(p.at(18, y), kWhiteDot);
         }},
        {"two-dot underline spans the cells", hex("1B 2D 02") + "AB\n", [&](const Printed& p) {
             for (int x = 0; x < 24; ++x) EXPECT_EQ(p.at(x, 22) + p.at(x, 23), 2 * kBlackDot) << x;
             EXPECT_EQ(p.at(24, 23), kWhiteDot);
         }},
        {"white on black", hex("1D 42 01") + "AB\n",
         [&](const Printed& p) { EXPECT_EQ(p.count(kBlackDot, 0, 24), 24 * 24 - plainInk); }},
        {"bold strikes each dot twice", hex("1B 45 01") + "AB\n",
         [&](const Printed& p) { EXPECT_GT(p.count(kBlackDot), plainInk); }},
        {"the second colour", hex("1B 72 01") + "AB\n", [&](const Printed& p) {
             EXPECT_EQ(p.count(kHighlightDot), plainInk);
             EXPECT_EQ(p.count(kBlackDot), 0);
         }},
        {"upside down: the line turned half round", hex("1B 7B 01") + "AB\n", [&](const Printed& p) {
             for (int y = 0; y < 24; ++y)
                 for (int x = 0; x < 24; ++x) ASSERT_EQ(p.at(575 - x, 23 - y), plain->at(x, y)) << x << "," << y;
         }},
        {"a raster image centred, twice as wide (GS v 0 m 1)", hex("1B 61 01 1D 76 30 01 01 00 02 00 81 C0"),
         [&](const Printed& p) {
             EXPECT_EQ(p.height(), 2);
             for (int x : {280, 281, 294, 295}) EXPECT_EQ(p.at(x, 0), kBlackDot) << x;
             EXPECT_EQ(p.count(kBlackDot), 8);
         }},
        {"graphics in two colours: black over the second colour",
         hex("1D 28 4C 0B 00 30 70 30 01 01 31 08 00 01 00 80 1D 28 4C 0B 00 30 70 30 01 01 32 08 00 01 00 C0") +
             hex("1D 28 4C 02 00 30 32"),
         [&](const Printed& p) {
             EXPECT_EQ(p.at(0, 0), kBlackDot);
             EXPECT_EQ(p.at(1, 0), kHighlightDot);
         }},
        {"ESC 3 and the default spacing", hex("1B 33 40") + "A\n" + hex("1B 32") + "A\n",
         [&](const Printed& p) { EXPECT_EQ(p.height(), 64 + 24); }},
        {"left margin (GS L) and absolute position (ESC $)", hex("1D 4C 10 00 1B 24 20 00") + "A\n",
         [&](const Printed& p) {
             int first = 0;
             while (p.count(kBlackDot) > 0 && [&] {
                 for (int y = 0; y < 24; ++y)
                     if (p.at(first, y) != kWhiteDot) return false;
                 return true;
             }())
                 ++first;
             EXPECT_GE(first, 16 + 32);
             EXPECT_LT(first, 16 + 32 + 12);
         }},
        {"a drawer kick and a beep are noted", hex("1B 70 00 32 FA 10 14 01 01 05 1B 42 02 01"),
         [&](const Printed& p) {
             EXPECT_EQ(p.notes, (QStringList{"cash drawer kick on pin 2", "cash drawer kick on pin 5", "beep 2 times"}));
         }},
        {"cuts end receipts; the text keeps its lines", "one\n" + hex("1D 56 42 10") + "two\n" + hex("1B 69"),
         [&](const Printed& p) {
             EXPECT_EQ(p.cuts, (QList<int>{24 + 16, 24 + 16 + 24}));
             EXPECT_EQ(p.lines, (QStringList{"one", "two"}));
         }},
        {"an unknown command is skipped as two bytes and reported", "A" + hex("1B 5A") + "B\n",
         [&](const Printed& p) {
             EXPECT_EQ(p.lines, QStringList{"AB"});
             EXPECT_EQ(p.warnings, QStringList{"1: unknown command 1B 5A skipped (2 bytes)"});
         }},
        {"a command cut off at the end is reported", "A\n" + hex("1D 76 30 00 01 00 05 00 FF"),
         [&](const Printed& p) { EXPECT_EQ(p.warnings, QStringList{"2: the stream ends inside GS v 0; it was not printed"}); }},
        {"a length field claiming gigabytes is skipped unread", "A\n" + hex("1D 38 4C FF FF FF 7F 30 70") + "B\n",
         [&](const Printed& p) {
             EXPECT_EQ(p.lines, QStringList{"A"});
             EXPECT_TRUE(p.warnings.value(0).contains(QStringLiteral("GS 8 of 2147483654 bytes skipped")));
         }},
        {"a keyed definition too short for its sizes is refused", hex("1D 28 4C 09 00 30 43 30 20 20 01 08 00 01"),
         [&](const Printed& p) { EXPECT_TRUE(p.memory.nvGraphics.empty() && p.warnings.filter("too short").size() == 1); }},
        {"the other keyed definition too", hex("1D 28 4C 09 00 30 53 30 20 20 01 08 00 01"),
         [&](const Printed& p) { EXPECT_TRUE(p.memory.nvGraphics.empty() && p.warnings.filter("too short").size() == 1); }},
        {"lines of no height are paper too: 178500 of them pass the cap",
         hex("1B 33 00") + QByteArray(700, 0).replace(QByteArray(1, 0), hex("1B 64 FF")) + "after the cap\n",
         [&](const Printed& p) {
             EXPECT_LE(p.lines.size(), kMaxReceiptDots);
             EXPECT_FALSE(p.lines.contains(QStringLiteral("after the cap")));
             EXPECT_EQ(p.warnings.filter(QStringLiteral("longer than 20 m")).size(), 1);
         }},
        // NV graphics live in the same flash as the logos: 80 definitions of 60 KB, then 5 MB of FS q.
        {"NV graphics past the flash are refused", [] {
             QByteArray nv;
             for (int k = 0; k < 80; ++k)
                 nv += hex("1D 28 4C 0B F0 30 43 30 20") + char(0x20 + k) + hex("01 00 04 78 00 31") + fill(0xF000, 0x55);
             return nv;
         }(), flashFull},
        {"an FS q picture past the flash is refused", hex("1C 71 01 00 01 00 0A") + fill(256 * 2560 * 8, 0x55), flashFull},
        {"ESC 4 and ESC 5 draw what ESC I 1 and ESC I 0 draw", hex("1B 34") + "Ax" + hex("1B 35") + "Ax\n",
         [&](const Printed& p) {
             EXPECT_EQ(p.dots, print(hex("1B 49 01") + "Ax" + hex("1B 49 00") + "Ax\n")->dots);
             EXPECT_NE(p.dots, print("AxAx\n")->dots);
             EXPECT_TRUE(p.warnings.isEmpty()) << p.warnings.join(u'\n').toStdString();
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        r.check(*print(r.bytes));
    }
}

// The family's stored features: logos 240 and 243 around each receipt, the
// margin message (242) down the left edge, the watermark (241 from 239)
// behind the text, the substitution entries, the paper type.
TEST(ReceiptEngine, TheFamilysStoredFeaturesPrintAroundAndBehindEachReceipt) {
    const auto logo = [](uint8_t n, uint8_t row) {  // 8 x 8, every row `row`
        return hex("1D 22 01 1D 23") + char(n) + hex("1D 84 01 01 01") + fill(8, row) + hex("1D 23 00");
    };
    const QByteArray logos = logo(240, 0xFF) + logo(243, 0x0F) + logo(242, 0x80) + logo(239, 0xFF) +
                             hex("1B 61 01 1D 8B EF 00 F1 1B 61 00");
    const struct {
        const char* what;
        QByteArray settings;
        std::function<void(const Printed&)> check;
    } rows[] = {
        {"top logo 16 dots below the cut, bottom logo before the cut", hex("1F 03 16 01 10 30 1F 03 16 04 30 A0"),
         [](const Printed& p) {
             EXPECT_EQ(p.height(), 16 + 8 + 24 + 8);
             EXPECT_EQ(p.at(284, 16), kBlackDot);  // centred
             EXPECT_EQ(p.at(284 + 4, 48), kBlackDot);
             EXPECT_EQ(p.at(284, 48), kWhiteDot);
         }},
        {"margin message down the left edge, the text beside it", hex("1F 03 16 03 01 07 01"),
         [](const Printed& p) {
             for (int y = 0; y < 24; ++y) EXPECT_EQ(p.at(0, y), kBlackDot) << y;
             EXPECT_EQ(p.count(kBlackDot, 0, 24) - 24, print("X\n")->count(kBlackDot));
             for (int y = 0; y < 24; ++y) EXPECT_EQ(p.at(8, y), kWhiteDot);
         }},
        {"watermark of shading 0 behind the text, centred", hex("1F 03 16 02 32 19"),
         [](const Printed& p) { EXPECT_EQ(p.at(284, 0), kBlackDot); }},
        {"substitution 1: bold becomes the second colour", hex("1F 03 17 01 01 40 1B 45 01"),
         [](const Printed& p) {
             EXPECT_GT(p.count(kHighlightDot), 0);
             EXPECT_EQ(p.count(kBlackDot), 0);
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const auto p = print(logos + r.settings + "X\n" + hex("1D 56 00"));
        r.check(*p);
        EXPECT_EQ(p->lines, QStringList{"X"});
    }
    // The paper type sets the second colour the paper shows.
    ReceiptRenderer roll;
    for (const auto& [type, colour] : {std::pair{1, 0xFF0000u}, {4, 0x0000FFu}, {0, 0x000000u}}) {
        roll.feed(hex("1D 81") + char(type) + hex("FF 1B 72 01") + "X\n");
        EXPECT_EQ(roll.highlight().rgb() & 0xFFFFFF, colour) << type;
    }
}

TEST(ReceiptEngine, AReceiptStopsAtTwentyMetresAndTheRollKeepsNoMore) {
    const QByteArray logo = hex("1D 23 01 1D 84 01 48 FF") + fill(72 * 255 * 8, 0xAA);
    QByteArray printed;  // 100 times 2040 rows
    for (int i = 0; i < 100; ++i) printed += hex("1D 23 01 1D 2F 00");
    const auto p = print(logo + printed);
    EXPECT_EQ(p->height(), kMaxReceiptDots);
    EXPECT_EQ(p->warnings.filter(QStringLiteral("longer than 20 m")).size(), 1);
    ReceiptRenderer roll;
    for (int i = 0; i < 2; ++i) roll.feed(logo + printed + hex("1D 56 00"));
    EXPECT_LE(roll.height(), kMaxReceiptDots);
}

// A connection that ends without a cut must not leave the next one's receipt
// over length (the emulator calls finish() between connections).
TEST(ReceiptEngine, FinishEndsTheReceiptsPaperCount) {
    Printed p;
    ReceiptEngine e(p, p.memory);
    for (const int feeds : {100, 2}) {  // 100 times 255 lines of 255 dots is far past 20 m
        e.feed(hex("1B 33 FF") + QByteArray(feeds, 0).replace(QByteArray(1, 0), hex("1B 64 FF")));
        e.finish();
        EXPECT_EQ(e.receiptDots(), 0);
        EXPECT_FALSE(e.overLength());
    }
    EXPECT_EQ(p.height(), kMaxReceiptDots + 2 * 255 * 255);
}

// Modules of zint's own symbol, one per cell, sampled in the printed receipt
// at the module size the commands asked for.
TEST(ReceiptEngine, BarcodesAndTwoDimensionalCodesAreZintsOwnSymbols) {
    const struct {
        const char* what;
        int symbology;
        const char* data;
        QByteArray command;
        int moduleW, moduleH;
    } rows[] = {
        {"EAN-13", BARCODE_EANX, "4006381333931", hex("1D 77 02 1D 68 20 1D 6B 02") + "4006381333931" + hex("00"), 2, 32},
        {"EAN-8", BARCODE_EANX, "96385074", hex("1D 77 02 1D 68 20 1D 6B 44 08") + "96385074", 2, 32},
        {"UPC-A", BARCODE_UPCA, "03600029145", hex("1D 77 03 1D 68 20 1D 6B 00") + "03600029145" + hex("00"), 3, 32},
        {"CODE39", BARCODE_CODE39, "RASTIV-1", hex("1D 77 02 1D 68 20 1D 6B 04") + "RASTIV-1" + hex("00"), 2, 32},
        {"ITF", BARCODE_C25INTER, "12345678", hex("1D 77 02 1D 68 20 1D 6B 46 08") + "12345678", 2, 32},
        {"CODABAR", BARCODE_CODABAR, "A40156B", hex("1D 77 02 1D 68 20 1D 6B 47 07") + "A40156B", 2, 32},
        {"CODE128", BARCODE_CODE128, "Receipt 42", hex("1D 77 02 1D 68 20 1D 6B 49 0C") + "{BReceipt 42", 2, 32},
        {"QR Code", BARCODE_QRCODE, "https://example.com",
         hex("1D 28 6B 03 00 31 43 04 1D 28 6B 03 00 31 45 31 1D 28 6B 16 00 31 50 30") + "https://example.com" +
             hex("1D 28 6B 03 00 31 51 30"),
         4, 4},
        {"PDF417", BARCODE_PDF417, "Receipt 42",
         hex("1D 28 6B 03 00 30 41 02 1D 28 6B 03 00 30 43 02 1D 28 6B 03 00 30 44 03 1D 28 6B 0D 00 30 50 30") +
             "Receipt 42" + hex("1D 28 6B 03 00 30 51 30"),
         2, 6},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        zint_symbol* z = ZBarcode_Create();
        z->symbology = r.symbology;
        if (r.symbology == BARCODE_QRCODE) z->option_1 = 2;
        if (r.symbology == BARCODE_PDF417) z->option_2 = 2;
        z->output_options = BARCODE_NO_QUIET_ZONES;
        z->show_hrt = 0;
        z->scale = 0.5f;
        ASSERT_LT(ZBarcode_Encode_and_Buffer(z, reinterpret_cast<const unsigned char*>(r.data), int(strlen(r.data)), 0),
                  ZINT_ERROR);
        const int rows = std::max(1, z->rows);
        const auto p = print(r.command);
        ASSERT_EQ(p->height(), rows * r.moduleH);
        int first = 0;
        while (first < kPaperWidth && p->at(first, 0) == kWhiteDot) ++first;
        int wrong = 0;
        for (int row = 0; row < rows; ++row)
            for (int col = 0; col < z->width; ++col) {
                const int bx = (2 * col + 1) * z->bitmap_width / (2 * z->width);
                const int by = (2 * row + 1) * z->bitmap_height / (2 * rows);
                const bool dark = z->bitmap[(size_t(by) * size_t(z->bitmap_width) + size_t(bx)) * 3] < 128;
                const bool printed = p->at(first + col * r.moduleW, row * r.moduleH) == kBlackDot;
                wrong += dark != printed;
            }
        EXPECT_EQ(wrong, 0);
        ZBarcode_Delete(z);
    }
}

TEST(ReceiptEngine, AReceiptFromAPointOfSaleEncoderPrintsItsWordsAndItsPictureAlikeInBothImageModes) {
    QFile raster(QStringLiteral(RECEIPT_TESTDATA "/npm-receipt-raster.bin"));
    QFile column(QStringLiteral(RECEIPT_TESTDATA "/npm-receipt-column.bin"));
    ASSERT_TRUE(raster.open(QIODevice::ReadOnly) && column.open(QIODevice::ReadOnly));
    const auto r = print(raster.readAll());
    const auto c = print(column.readAll());
    EXPECT_EQ(r->words(), QString::fromUtf8("CAFE DU COIN Rue des Fleurs 12 Café crème 4.50 € Croissant 2.10 € Menu du "
                                            "jour TOTAL 6.60 Merci et à bientôt 3017620422003 Fin")
                              .split(u' '));
    EXPECT_TRUE(r->warnings.isEmpty()) << r->warnings.join(u'\n').toStdString();
    EXPECT_EQ(r->notes, QStringList{"cash drawer kick on pin 2"});
    EXPECT_EQ(r->cuts.size(), 1);
    EXPECT_EQ(c->dots, r->dots);
}


// A picture header claims what its data does not hold: nothing is allocated
// from the claim, and no more rows print than the data covers.
TEST(ReceiptEngine, APictureIsNoTallerThanItsDataWhateverItsHeaderClaims) {
    const QByteArray print112 = hex("1D 28 4C 02 00 30 32");
    const struct { const char* what; QByteArray bytes; int rows; /* at most */ } rows[] = {
        {"GS ( L fn 112, 65535 x 65535, no data", hex("1D 28 4C 0A 00 30 70 30 01 01 31 FF FF FF FF") + print112, 0},
        {"GS ( L fn 112, one row's data", hex("1D 28 4C 0A 20 30 70 30 02 02 31 FF FF FF FF") + fill(0x2000, 0xFF) + print112, 2},
        {"GS 8 L fn 112", hex("1D 38 4C 0A 00 00 00 30 70 30 01 01 31 FF FF FF FF") + print112, 0},
        {"GS ( L fn 83 + 85", hex("1D 28 4C 0B 00 30 53 30 20 20 01 FF FF FF FF 31 1D 28 4C 06 00 30 55 20 20 02 02"), 0},
        {"GS ( L fn 67 + 69", hex("1D 28 4C 0B 00 30 43 30 20 20 01 FF FF FF FF 31 1D 28 4C 06 00 30 45 20 20 01 01"), 0},
        {"FS q + FS p", hex("1C 71 01 FF FF FF FF 1C 70 01 00"), 0},
        {"ESC * of no columns: a line of its height", hex("1B 2A 21 00 00"), 24},
    };
    for (const auto& r : rows) EXPECT_LE(print(r.bytes)->height(), r.rows) << r.what;
}

// Every picture command draws a picture of any width where it was sent, dot
// for dot at its scale: a pattern whose last column is marked, 1 to 17 dots
// wide, 24 dots high on paper (layouts counted in bytes carry the width
// rounded up to whole bytes, their padding bits clear).
TEST(ReceiptEngine, EveryPictureCommandDrawsItsDotsAtEveryWidth) {
    constexpr int h = 24;
    using On = std::function<bool(int, int)>;
    const auto le = [](int v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8); };
    const auto rows = [](const On& on, int w) {  // row-major, each row whole bytes
        QByteArray d((w + 7) / 8 * h, '\0');
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (on(x, y)) d[y * ((w + 7) / 8) + x / 8] = char(d[y * ((w + 7) / 8) + x / 8] | 0x80 >> x % 8);
        return d;
    };
    const auto columns = [](const On& on, int columnCount, int high = 24) {  // column-major, top byte first
        const int n = high / 8;
        QByteArray d(columnCount * n, '\0');
        for (int x = 0; x < columnCount; ++x)
            for (int y = 0; y < high; ++y)
                if (on(x, y)) d[x * n + y / 8] = char(d[x * n + y / 8] | 0x80 >> y % 8);
        return d;
    };
    const auto keyed = [&](const char* define, const char* show, const On& on, int w) {
        const QByteArray body = hex("30") + hex(define) + hex("30 4B 31 01") + le(w) + le(h) + hex("31") + rows(on, w);
        return hex("1D 28 4C") + le(int(body.size())) + body + hex("1D 28 4C 06 00 30") + hex(show) + hex("4B 31 01 01");
    };
    const struct {
        const char* what;
        std::function<QByteArray(const On&, int w)> make;
        int sx = 1, sy = 1;  // how many dots of paper a dot of the picture takes
    } commands[] = {
        {"GS ( L fn 112", [&](const On& on, int w) {
             const QByteArray body = hex("30 70 30 01 01 31") + le(w) + le(h) + rows(on, w);
             return hex("1D 28 4C") + le(int(body.size())) + body + hex("1D 28 4C 02 00 30 32");
         }},
        {"GS 8 L fn 112", [&](const On& on, int w) {
             const QByteArray body = hex("30 70 30 01 01 31") + le(w) + le(h) + rows(on, w);
             return hex("1D 38 4C") + le(int(body.size())) + le(0) + body + hex("1D 28 4C 02 00 30 32");
         }},
        {"GS ( L fn 67 and 69", [&](const On& on, int w) { return keyed("43", "45", on, w); }},
        {"GS ( L fn 83 and 85", [&](const On& on, int w) { return keyed("53", "55", on, w); }},
        {"GS v 0", [&](const On& on, int w) { return hex("1D 76 30 00") + le((w + 7) / 8) + le(h) + rows(on, w); }},
        {"GS Q 0", [&](const On& on, int w) { return hex("1D 51 30 00") + le((w + 7) / 8) + le(h) + rows(on, w); }},
        {"ESC * 33", [&](const On& on, int w) { return hex("1B 2A 21") + le(w) + columns(on, w) + "\n"; }},
        {"ESC * 32", [&](const On& on, int w) { return hex("1B 2A 20") + le(w) + columns(on, w) + "\n"; }, 2},
        {"ESC * 1", [&](const On& on, int w) { return hex("1B 2A 01") + le(w) + columns(on, w, 8) + "\n"; }, 1, 3},
        {"ESC * 0", [&](const On& on, int w) { return hex("1B 2A 00") + le(w) + columns(on, w, 8) + "\n"; }, 2, 3},
        {"GS * and GS /", [&](const On& on, int w) {
             return hex("1D 2A") + char((w + 7) / 8) + char(h / 8) + columns(on, (w + 7) / 8 * 8) + hex("1D 2F 00");
         }},
        {"FS q and FS p", [&](const On& on, int w) {
             return hex("1C 71 01") + le((w + 7) / 8) + le(h / 8) + columns(on, (w + 7) / 8 * 8) + hex("1C 70 01 00");
         }},
        {"GS 84 logo and GS /", [&](const On& on, int w) {
             return hex("1D 23 07 1D 84 01") + char((w + 7) / 8) + char(h / 8) + rows(on, w) + hex("1D 23 00 1D 23 07 1D 2F 00");
         }},
    };
    for (const auto& c : commands)
        for (int w = 1; w <= 17; ++w) {
            const On on = [w](int x, int y) { return x < w && ((x + 2 * y) % 3 == 0 || (x == w - 1 && y % 4 == 0)); };
            const auto p = print(c.make(on, w));
            const auto paper = [&](int x, int y) { return on(x / c.sx, y / c.sy); };
            int expected = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w * c.sx; ++x) expected += paper(x, y);
            ASSERT_GE(p->height(), h) << c.what << " " << w << " dots wide";
            ASSERT_EQ(p->count(kBlackDot), expected) << c.what << " " << w << " dots wide";
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w * c.sx; ++x)
                    ASSERT_EQ(p->at(x, y), paper(x, y) ? kBlackDot : kWhiteDot) << c.what << " " << w << " at " << x << "," << y;
        }
}

// The euro sign where the printers print it, and its neighbours as they were.
TEST(CodePages, TheEuroSignStandsWhereThePrintersPrintIt) {
    const struct { int page; uint8_t byte; char32_t ch; } rows[] = {
        {13, 0xD5, U'\u20AC'}, {17, 0xFD, U'\u20AC'}, {19, 0xD5, U'\u20AC'},  // PC857, PC866, PC858
        {2, 0xD5, U'\u0131'},  {18, 0xAA, U'\u00AC'}, {17, 0xF2, U'\u0404'},  // PC850, PC852, PC866 unchanged
        {0, 0xD5, U'\u2552'},  {13, 0xD4, U'\u00C8'},
    };
    for (const auto& r : rows) EXPECT_EQ(decodeByte(uint8_t(r.page), r.byte), r.ch) << r.page << " " << int(r.byte);
}

}  // namespace
