// Automatic colour translation and manual colour mapping, with the real library.
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <set>
#include <gtest/gtest.h>

#include "fakes.hpp"
#include "ui/printer/frmPrint.hpp"
#include "core/colourwork.hpp"
#include "ui/picture/frmColorMap.hpp"
#include "ui/picture/frmColors.hpp"
#include "ui/picture/frmSaveOpts.hpp"
#include "core/nearestrendering.hpp"

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

using Refusal = ColourInputs::Refusal;

TEST(ColourInputs, AreCheckedInOrderAndReadAsWholeNumbers) {
    struct Row {
        const char* colours;
        const char* speed;
        Refusal refusal;
        int16_t speedTaken;
        int16_t coloursTaken;
    };
    const Row rows[] = {
        {"5", "10000", Refusal::None, 10000, 5},
        {"5", "10001", Refusal::SpeedTooHigh, 0, 0},
        {"5", "10000.5", Refusal::SpeedTooHigh, 0, 0},
        {"5", "abc", Refusal::SpeedTooLow, 0, 0},
        {"5", "0", Refusal::SpeedTooLow, 0, 0},
        {"5", "", Refusal::SpeedTooLow, 0, 0},
        {"5", "-3", Refusal::SpeedTooLow, -3, 0},
        {"5", "2.9", Refusal::None, 2, 5},
        {"9", "500", Refusal::None, 500, 9},
        {"9.9", "500", Refusal::None, 500, 9},
        {"10", "500", Refusal::TooManyColours, 500, 10},
        {"99999999999", "500", Refusal::TooManyColours, 500, INT16_MAX},
        {"", "500", Refusal::TooFewColours, 500, 0},
        {"0", "500", Refusal::TooFewColours, 500, 0},
        {"", "", Refusal::SpeedTooLow, 0, 0},  // the speed is looked at first
    };
    for (const Row& r : rows) {
        const ColourInputs in = readColourInputs(QString::fromLatin1(r.colours), QString::fromLatin1(r.speed));
        SCOPED_TRACE(std::string(r.colours) + " / " + r.speed);
        EXPECT_EQ(in.refusal, r.refusal);
        if (r.refusal == Refusal::None || r.refusal == Refusal::TooManyColours || r.refusal == Refusal::TooFewColours) {
            EXPECT_EQ(in.speed, r.speedTaken);
        }
        if (r.refusal == Refusal::None || r.refusal == Refusal::TooManyColours) {
            EXPECT_EQ(in.colours, r.coloursTaken);
        }
    }
    EXPECT_EQ(percentText(25), QStringLiteral(" 25%"));
    EXPECT_EQ(percentText(0), QStringLiteral("<1%"));
    EXPECT_EQ(percentText(100), QStringLiteral(" 100%"));
}

// A picture of `n` colour bands besides a black and a white band, in an
// 8-bit palette: band k (k = 0..n-1) is a shade of its own.
std::vector<uint32_t> bandedPicture(const QString& path, int n, int width = 60, int height = 40) {
    std::vector<uint32_t> shades;
    BmpBuilder b(width, height, 8);
    b.entry(0, kBlack).entry(1, kWhite);
    for (int k = 0; k < n; ++k) {
        const uint32_t c = rgb(uint8_t(40 + k * 9), uint8_t(200 - k * 7), uint8_t(90 + (k * 37) % 120));
        shades.push_back(c);
        b.entry(uint32_t(2 + k), c);
    }
    for (uint32_t i = uint32_t(2 + n); i < 256; ++i) b.entry(i, kWhite);
    const int bands = n + 2;
    b.each([&](uint32_t x, uint32_t) {
        const int band = int(x) * bands / width;
        return uint32_t(band == 0 ? 0 : band == 1 ? 1 : band);
    });
    b.write(path.toStdString());
    return shades;
}

struct ColourWorld : PictureWorld {
    // Runs the translation with the two inputs; returns what it handed over
    // (nothing when it did not get that far).
    std::optional<ColourHandOver> translate(const QString& colours, const QString& speed,
                                            std::function<void(frmColors&)> during = {}) {
        frmColors dialog(env, picture, main);
        std::optional<ColourHandOver> handed;
        dialog.openMapping = [&](ColourSession& s) {
            handed = s.colours;
            codes = s.codes;
        };
        dialog.tbNumUserColors->setText(colours);
        dialog.tbColorSpeed->setText(speed);
        if (during) during(dialog);
        dialog.cmdSetUpRemap_Click();
        lastNumber = dialog.lblNumber->text();
        lastThreshold = dialog.lblThreshold->text();
        boxTexts = {dialog.tbNumUserColors->text(), dialog.tbColorSpeed->text()};
        return handed;
    }
    std::vector<int32_t> codes;  // as handed over
    QString lastNumber, lastThreshold;
    std::pair<QString, QString> boxTexts;
};

TEST(ColourTranslation, RefusedInputsTellPutTheDefaultBackAndKeepTheDialog) {
    struct Row {
        const char* colours;
        const char* speed;
        const char* text;
        std::pair<const char*, const char*> boxesAfter;
    };
    const Row rows[] = {
        {"5", "10001", "The maximum value for the color speed is 10000", {"5", "500"}},
        {"5", "abc", "The minimum value for the color speed is 1", {"5", "500"}},
        {"10", "50", "The maximum value for the number of user colors is 9", {"5", "50"}},
        {"", "50", "The minimum value for the number of user colors is 1", {"5", "50"}},
    };
    for (const Row& r : rows) {
        ColourWorld w;
        bandedPicture(w.working(), 3);
        const auto handed = w.translate(QString::fromLatin1(r.colours), QString::fromLatin1(r.speed));
        EXPECT_FALSE(handed.has_value());
        ASSERT_EQ(w.messages.shown.size(), 1u);
        EXPECT_EQ(w.messages.shown[0].text, QString::fromLatin1(r.text));
        EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("Try Again!"));
        EXPECT_TRUE(w.messages.shown[0].hasHelpButton());
        EXPECT_EQ(w.boxTexts.first, QString::fromLatin1(r.boxesAfter.first));
        EXPECT_EQ(w.boxTexts.second, QString::fromLatin1(r.boxesAfter.second));
        EXPECT_EQ(w.main.enables, 1);
    }
}

TEST(ColourTranslation, FewColoursGoStraightToCollectingWithTheirShares) {
    ColourWorld w;
    const auto shades = bandedPicture(w.working(), 3);  // five bands of 12 columns: 20 % each
    const auto handed = w.translate("5", "500");
    ASSERT_TRUE(handed.has_value());
    EXPECT_TRUE(w.messages.shown.empty());
    ASSERT_EQ(handed->size(), 5u);  // three shades, black and white
    for (const ImageColour& c : *handed) EXPECT_EQ(c.percent, 20);
    EXPECT_EQ(w.codes, std::vector<int32_t>(5, 0));
    EXPECT_EQ(w.main.shown.size(), 1u);  // no colour merged: only the final showing
    EXPECT_TRUE(w.main.pictures.empty());
    EXPECT_EQ(w.lastNumber, QStringLiteral("Number of User Colors =  1"));
    EXPECT_EQ(w.lastThreshold, QStringLiteral("Color Threshold =  500"));
}

TEST(ColourTranslation, ReducesToTheRequestedNumberAndShowsEachStep) {
    ColourWorld w;
    bandedPicture(w.working(), 12);
    const auto handed = w.translate("3", "100");
    ASSERT_TRUE(handed.has_value());
    EXPECT_EQ(handed->size(), 5u);  // three colours besides black and white
    ASSERT_GT(w.main.pictures.size(), 2u);  // each fold, from memory; the last is what the file holds
    EXPECT_EQ(w.main.pictures.back().convertToFormat(QImage::Format_RGB32),
              QImage(w.working()).convertToFormat(QImage::Format_RGB32));
    int total = 0;
    for (const ImageColour& c : *handed) total += c.percent;
    EXPECT_NEAR(total, 100, 5);
    // Most frequent first.
    for (size_t i = 1; i < handed->size(); ++i) EXPECT_GE((*handed)[i - 1].percent, (*handed)[i].percent);
}

TEST(ColourTranslation, CancelDuringARunEndsAtTheNextPassAndWarns) {
    ColourWorld w;
    bandedPicture(w.working(), 40, 200, 20);
    auto canceller = w.clock.createTimer();
    bool wasRunning = false;
    const auto handed = w.translate("1", "1", [&](frmColors& d) {
        canceller->setInterval(50);  // five event pumps into the run
        canceller->onTimer = [&] {
            canceller->setEnabled(false);
            wasRunning = d.running();
            d.cmdCancel_Click();
        };
        canceller->setEnabled(true);
    });
    EXPECT_TRUE(wasRunning);
    EXPECT_FALSE(handed.has_value());
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("Bitmap Modified?"));
    EXPECT_EQ(w.messages.shown[0].text,
              QStringLiteral("Your bitmap may have been modified even though you hit 'Cancel'.  Reload the original "
                             "bitmap before further processing."));
    EXPECT_EQ(w.main.enables, 1);
    EXPECT_GT(w.pixmill.NumColors(w.working(), 1, 1), 20);  // stopped long before one colour was left
}

TEST(ColourTranslation, ALibraryErrorIsReportedAndTheMappingStillOpens) {
    ColourWorld w;
    writeFile(w.working().toStdString(), ByteVec{'B', 'M', 0, 0});  // refused by every export
    const auto handed = w.translate("5", "500");
    ASSERT_TRUE(handed.has_value());
    EXPECT_TRUE(handed->empty());
    ASSERT_GE(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("Color Swap Error"));
    EXPECT_EQ(w.messages.shown[0].text, QStringLiteral("Error modifying colors.\r\nError # 12"));
}

ColourHandOver handOver(int n) {
    ColourHandOver c;
    for (int i = 0; i < n; ++i) c.push_back({rgb(uint8_t(i * 20), 0, 0), n - i});
    return c;
}

TEST(ColourMapping, TwelveColoursScrollNineAtATime) {
    ColourWorld w;
    frmColorMap d(w.env, w.picture, w.main, handOver(12));
    ASSERT_EQ(d.UserColor.size(), 12);
    EXPECT_FALSE(d.vscSrcColor->isHidden());
    EXPECT_EQ(d.vscSrcColor->minimum(), 0);
    EXPECT_EQ(d.vscSrcColor->maximum(), 3);
    EXPECT_EQ(d.vscSrcColor->value(), 0);
    EXPECT_TRUE(d.UserColor[9]->isHidden());
    for (int i : {0, 3}) d.UserColor_MouseDown(i), d.MapColor_MouseUp(0);
    d.vscSrcColor->setValue(3);
    // No line from colour 1, out of view above: it would cross the instructions.
    EXPECT_EQ(d.lines(), (QList<std::pair<int, int>>{{3, 0}}));
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.UserColor[i]->isHidden(), i < 3);
        EXPECT_EQ(d.lbPercentage[i]->isHidden(), i < 3);
        EXPECT_EQ(d.UserColor[i]->y(), frmColorMap::boxTop(i - 3));
        EXPECT_EQ(d.lbPercentage[i]->y(), frmColorMap::labelTop(i - 3));
    }
    EXPECT_EQ(d.lbPercentage[0]->text(), QStringLiteral(" 12%"));

    frmColorMap few(w.env, w.picture, w.main, handOver(9));
    EXPECT_TRUE(few.vscSrcColor->isHidden());
}

TEST(ColourMapping, SelectingBlinksAndEveryWayBackShowsTheWorkingBitmap) {
    ColourWorld w;
    const auto shades = bandedPicture(w.working(), 2);
    const QString copy = w.env.workPath("tmpfile2.bmp");
    {
        frmColorMap d(w.env, w.picture, w.main, ColourHandOver{{shades[0], 50}, {shades[1], 50}});
        d.UserColor_MouseDown(1);
        EXPECT_TRUE(d.blinking());
        EXPECT_FALSE(d.HighlightBox->isHidden());
        w.clock.advance(500);
        w.clock.advance(500);
        w.clock.advance(500);
        ASSERT_EQ(w.main.shown.size(), 3u);
        EXPECT_EQ(w.main.shown[0], copy);  // the first tick shows the inverted copy
        EXPECT_EQ(w.main.shown[1], w.working());
        EXPECT_EQ(w.main.shown[2], copy);
        // The copy has the colour inverted, the working bitmap is untouched.
        EXPECT_NE(readFile(copy.toStdString()), readFile(w.working().toStdString()));

        d.MapColor_MouseUp(7);  // 50 % colour
        EXPECT_FALSE(d.blinking());
        EXPECT_EQ(w.main.shown.back(), w.working());
        EXPECT_EQ(d.session().codes[1], 8);
        EXPECT_TRUE(d.UserColor[1]->crossed());
        EXPECT_FALSE(d.UserColor[0]->crossed());
        EXPECT_TRUE(d.HighlightBox->isHidden());

        d.MapColor_MouseUp(0);  // a second choice for the same colour wins
        EXPECT_EQ(d.session().codes[1], 1);

        d.UserColor_MouseDown(0);
        w.clock.advance(500);
        EXPECT_EQ(w.main.shown.back(), copy);
        d.cmdCancel_Click();  // stops the blink: the working bitmap is shown again
        EXPECT_EQ(w.main.shown.back(), w.working());
        EXPECT_EQ(w.main.enables, 1);
    }
    const size_t shows = w.main.shown.size();
    w.clock.advance(2000);
    EXPECT_EQ(w.main.shown.size(), shows);  // no blink survives the dialog
}

// The colour each band ends up in after Re-Map, by the band's first column.
std::vector<std::set<uint32_t>> bandColours(const QString& path, int bands) {
    const Decoded d = decode(readFile(path.toStdString()));
    std::vector<std::set<uint32_t>> out{size_t(bands)};
    for (uint32_t y = 0; y < d.height; ++y)
        for (uint32_t x = 0; x < d.width; ++x) out[size_t(int(x) * bands / int(d.width))].insert(d.colourOf(d.at(x, y)));
    return out;
}

TEST(ColourMapping, ReMapRendersEveryCodeOnBothPapers) {
    struct Row {
        bool screenRed;
        std::array<int, 4> codes;  // for the four shades
    };
    const Row rows[] = {
        {true, {1, 5, 6, 6}},    // solid: black, white, red twice
        {false, {6, 1, 5, 1}},   // solid on blue paper
        {true, {2, 7, 11, 10}},  // dithered black and red
        {false, {3, 8, 4, 9}},   // dithered black and blue
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.screenRed ? "red" : "blue");
        ColourWorld w;
        w.g.gScreenRed = r.screenRed;
        const auto shades = bandedPicture(w.working(), 4, 96, 16);
        ColourSession colours;
        for (int i = 0; i < 4; ++i) {
            colours.colours.push_back({shades[size_t(i)], 16});
            colours.codes.push_back(r.codes[size_t(i)]);
        }
        frmColorMap d(w.env, w.picture, w.main, colours);
        d.cmdMap_Click();
        EXPECT_TRUE(w.messages.shown.empty()) << w.messages.shown[0].text.toStdString();
        ASSERT_EQ(w.main.markerSteps, std::vector<int>{4});
        EXPECT_EQ(w.main.shown.back(), w.working());
        const uint32_t ink = r.screenRed ? kRed : kBlue;
        const auto bands = bandColours(w.working(), 6);
        EXPECT_EQ(bands[0], std::set<uint32_t>{kBlack});
        EXPECT_EQ(bands[1], std::set<uint32_t>{kWhite});
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const int code = r.codes[size_t(i)];
            const std::set<uint32_t>& got = bands[size_t(i + 2)];
            switch (code) {
                case 1: EXPECT_EQ(got, std::set<uint32_t>{kBlack}); break;
                case 5: EXPECT_EQ(got, std::set<uint32_t>{kWhite}); break;
                case 6: EXPECT_EQ(got, std::set<uint32_t>{ink}); break;
                default: {
                    const uint32_t dots = (code >= 7 && code <= 10) ? ink : kBlack;
                    EXPECT_EQ(got, (std::set<uint32_t>{dots, kWhite}));
                }
            }
        }
        // Printable now, in both printer formats.
        EXPECT_EQ(w.pixmill.SaveBMPAsLogo(w.working(), w.path("out/x.lgo"), w.g.paperKind()), 0);
        EXPECT_EQ(w.pixmill.SaveBMPAsGfx(w.working(), w.path("out/x.gfx"), w.g.paperKind()), 0);
    }
}

// A true-colour picture without white: its converted palette is filled up
// with unused black entries, which a solid black swap flags.  The dithers
// still find entries for their white and ink.
TEST(ColourMapping, SolidBlackBesideADitherWorksOnAConvertedPictureWithoutWhite) {
    const int codes[] = {2, 3, 4, 7, 8, 9, 10, 11};
    for (int code : codes) {
        SCOPED_TRACE(code);
        World w;
        const QString truecolour = w.path("in/two.bmp");
        BmpBuilder(40, 8, 24).each([](uint32_t x, uint32_t) { return x < 20 ? kBlack : rgb(200, 30, 40); })
            .write(truecolour.toStdString());
        ASSERT_EQ(w.pixmill.Convert24to8Bits(truecolour, w.working()), 0);
        const std::vector<ColourMapping> mapping{{kBlack, 1}, {rgb(200, 30, 40), code}};
        ASSERT_EQ(applyColourMapping(w.pixmill, w.working(), mapping, kRed, 1), 0);
        const auto bands = bandColours(w.working(), 2);
        EXPECT_EQ(bands[0], std::set<uint32_t>{kBlack});
        const uint32_t ink = code >= 7 && code <= 10 ? kRed : kBlack;
        EXPECT_EQ(bands[1], (std::set<uint32_t>{ink, kWhite}));
        EXPECT_EQ(w.pixmill.SaveBMPAsLogo(w.working(), w.path("out/x.lgo"), 1), 0);
    }
}

TEST(ColourMapping, ReMapRefusesAnUnmatchedColourAndStopsAtALibraryError) {
    ColourWorld w;
    const auto shades = bandedPicture(w.working(), 3, 60, 10);
    const auto before = readFile(w.working().toStdString());
    {
        frmColorMap d(w.env, w.picture, w.main, ColourHandOver{{shades[0], 20}, {shades[1], 20}, {shades[2], 20}});
        d.session().codes = {1, 0, 5};
        d.cmdMap_Click();
        ASSERT_EQ(w.messages.shown.size(), 1u);
        EXPECT_EQ(w.messages.shown[0].title, QStringLiteral("Color Map Warning"));
        EXPECT_EQ(w.messages.shown[0].helpTopic, 3);
        EXPECT_EQ(readFile(w.working().toStdString()), before);
        EXPECT_TRUE(d.isEnabled());
        EXPECT_EQ(w.main.enables, 0);  // still open

        // Colour 2 is not in the picture: its dithered swap fails after colour
        // 1 went black in the solid pass; colour 3 is never reached.
        d.session().colours[1].colour = rgb(1, 2, 3);
        d.session().codes = {1, 3, 4};
        d.cmdMap_Click();
    }
    ASSERT_EQ(w.messages.shown.size(), 2u);
    EXPECT_EQ(w.messages.shown[1].text, QStringLiteral("Error mapping colors.\r\nError # 17"));
    EXPECT_EQ(w.messages.shown[1].title, QStringLiteral("Color Swap Error"));
    EXPECT_TRUE(w.main.markerSteps.empty());
    EXPECT_EQ(w.main.enables, 1);
    const auto bands = bandColours(w.working(), 5);
    EXPECT_EQ(bands[2], std::set<uint32_t>{kBlack});
    EXPECT_EQ(bands[4], std::set<uint32_t>{shades[2]});
}

TEST(ColourMapping, NearestMatchesOnlyTheColoursLeftAndReMapThenWorksAtOnce) {
    ColourWorld w;
    const auto shades = bandedPicture(w.working(), 3, 60, 10);
    w.g.gScreenRed = false;
    frmColorMap d(w.env, w.picture, w.main, ColourHandOver{{shades[0], 20}, {shades[1], 20}, {shades[2], 20}});
    EXPECT_FALSE(d.cmdPropose->accessibleName().isEmpty());
    d.session().codes[1] = 6;  // the operator's own choice stays
    QTest::keyClick(d.cmdPropose, Qt::Key_Space);
    EXPECT_EQ(d.session().codes, (std::vector<int32_t>{nearestRendering(shades[0], Highlight::Blue), 6,
                                                       nearestRendering(shades[2], Highlight::Blue)}));
    EXPECT_TRUE(d.UserColor[0]->crossed());
    EXPECT_EQ(d.focusWidget(), d.cmdMap);
    d.cmdMap_Click();
    EXPECT_TRUE(w.messages.shown.empty());
    EXPECT_EQ(w.main.markerSteps, std::vector<int>{4});
}

// The image colours say what they show and what they were given.
TEST(ColourMapping, BoxesAndSwatchesWorkByKeyboardAndSayWhatTheyHold) {
    ColourWorld w;
    const auto shades = bandedPicture(w.working(), 2);
    frmColorMap d(w.env, w.picture, w.main, ColourHandOver{{shades[0], 50}, {shades[1], 50}});
    EXPECT_EQ(d.UserColor[1]->accessibleName(), QStringLiteral("Image color 2, light green, 50 %"));
    EXPECT_EQ(d.UserColor[1]->accessibleDescription(), QStringLiteral("50% of the picture; no printer color yet"));
    QTest::keyClick(d.UserColor[1], Qt::Key_Space);
    EXPECT_EQ(d.selectedColor(), 2);
    QTest::keyClick(d.MapColor[3], Qt::Key_Return);
    EXPECT_EQ(d.session().codes[1], 4);
    EXPECT_EQ(d.UserColor[1]->accessibleDescription(),
              QStringLiteral("50% of the picture; printer color: 25% Black (2x2 Dithered)"));
    QTest::keyClick(d.UserColor[0], Qt::Key_Enter);
    EXPECT_EQ(d.selectedColor(), 1);
    QTest::keyClick(d.MapColor[4], Qt::Key_Space);
    EXPECT_EQ(d.session().codes[0], 5);
}

TEST(ColourMapping, RefusedPrinterFilesSayWhyInPlainView) {
    ColourWorld w;
    bandedPicture(w.working(), 2, 40, 8);
    w.picture.width = 40;
    {
        frmSaveOpts save(w.env, w.picture, w.main);
        w.files.choose(w.path("out/a.gfx"));
        save.cmdSaveGfx_Click();
    }
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_TRUE(w.messages.shown[0].text.startsWith("Error # 12")) << w.messages.shown[0].text.toStdString();
    EXPECT_EQ(w.messages.shown[0].informative,
              "The picture still has 2 colours the printer cannot print.  Use Modify Colors (or Photo) first.");

    w.messages.shown.clear();
    BmpBuilder(16, 8, 8).colours({kBlack, kWhite, kBlue}).each([](uint32_t x, uint32_t) { return x % 3; })
        .write(w.working().toStdString());
    {
        frmPrint print(w.env, w.picture, w.main);
        print.cmdSendBMP_Click();
    }
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_TRUE(w.messages.shown[0].informative.startsWith("The picture's highlight colour is blue"))
        << w.messages.shown[0].informative.toStdString();
}

}  // namespace
