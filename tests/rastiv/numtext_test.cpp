#include "core/numtext.hpp"
#include "ui/picture/frmResize.hpp"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace rastiv;

TEST(NumberText, LeadingNumberReadsOnlyTheNumberAtTheStart) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        const char* text;
        double value;
    } rows[] = {
        {"1e3", 1000},   {"12.9", 12.9},  {"-5", -5},     {"abc", 0},       {"", 0},
        {"  42abc", 42}, {"\t3", 3},      {"+7", 7},      {".5", 0.5},      {"1e", 1},
        {"1e+2", 100},   {"2E-1", 0.2},   {"5-", 5},      {"1.2.3", 1.2},   {"- 5", 0},
        {"inf", 0},      {"nan", 0},      {"0x10", 0},    {"-.5e1", -5},    {".", 0},
        {" 240", 240},   {"1e400", inf},  {"-1e400", -inf}, {"007", 7},
    };
    for (const Row& r : rows)
        EXPECT_EQ(leadingNumber(QString::fromUtf8(r.text)), r.value) << "text: \"" << r.text << '"';
    // Digits of other scripts are not the operator's numbers here.
    EXPECT_EQ(leadingNumber(QStringLiteral("\u0663")), 0);
}

TEST(NumberText, RoundingSendsHalvesToTheEvenNeighbour) {
    struct Row {
        double in, out;
    } rows[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
                {2.4, 2}, {2.6, 3}, {127.5, 128}, {128.5, 128}, {255.49, 255}, {7, 7}};
    for (const Row& r : rows) EXPECT_EQ(roundHalfEven(r.in), r.out) << "in: " << r.in;
    EXPECT_TRUE(std::isinf(roundHalfEven(std::numeric_limits<double>::infinity())));
}

TEST(ResizeWidth, TypedWidthsAreCorrectedNeverRefused) {
    struct Row {
        const char* typed;
        const char* normalised;
        const char* shown;
        int32_t width;
    } rows[] = {
        {"1e3", " 1000", "576", 576}, {"600", " 600", "576", 576}, {"abc", " 0", "10", 10},
        {"", " 0", "10", 10},         {"-5", "-5", "10", 10},      {"12.9", " 12", " 12", 12},
        {"300", " 300", " 300", 300}, {"576", " 576", " 576", 576}, {"577", " 577", "576", 576},
        {"10", " 10", " 10", 10},     {"9.99", " 9", "10", 10},    {" 42px", " 42", " 42", 42},
        {"1e400", " 2147483647", "576", 576}, {"-1e400", "-2147483648", "10", 10},
    };
    for (const Row& r : rows) {
        const WidthInput w = normaliseWidth(QString::fromUtf8(r.typed));
        EXPECT_EQ(w.normalised, QString::fromUtf8(r.normalised)) << r.typed;
        EXPECT_EQ(w.final, QString::fromUtf8(r.shown)) << r.typed;
        EXPECT_EQ(w.width, r.width) << r.typed;
    }
}
