#include "link/legacysequences.hpp"

#include "link/batch.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

using cmd::kBottomLogoOff;
using cmd::kBottomLogoOn;
using cmd::kBottomLogoWithOthers;
using cmd::kTopLogoOff;
using cmd::topLogoOn;
const QByteArray& kMarginOn = cmd::kLegacyMarginOn;
const QByteArray& kMarginOff = cmd::kLegacyMarginOff;
const QByteArray& kWatermarkOn = cmd::kLegacyWatermarkOn;
const QByteArray& kWatermarkOff = cmd::kLegacyWatermarkOff;
// Logo 243, the bottom logo, defined afresh: a monochrome logo of 1 × 1
// blocks of 8 × 8 dots (1D 84, kind 1, X 1, Y 1), every dot white.
constexpr uint8_t kBottomLogo = 243;
const QByteArray kBlankLogo = cmd::kLogoDefinition + cmd::bytes({0x01, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0});

enum From { Bold, Italic, Reverse, Underline, DblHigh, DblWide, Compressed };

// ESC ! n print mode bits of the "From" attributes that have one; italic
// and reverse video have commands of their own.
struct PrintModeBit {
    From attribute;
    uint8_t bit;
};
constexpr PrintModeBit kPrintMode[] = {{Bold, 0x08}, {Underline, 0x80}, {DblHigh, 0x10}, {DblWide, 0x20},
                                       {Compressed, 0x01}};

using cmd::kReset;
using cmd::printMode;

}  // namespace

namespace legacy {

std::vector<Command> configuration(const Options& o) {
    std::vector<Command> c;
    c.push_back({o.topLogo ? topLogoOn(o.spacing) : kTopLogoOff});
    c.push_back({o.bottomLogo ? kBottomLogoOn : kBottomLogoOff});
    if (o.marginMessage) {
        c.push_back({kMarginOn});
        // Beside a margin message the bottom logo is blanked: logo 243 is
        // overwritten by an all-white one (the stored bottom logo is lost)
        // and the bottom logo takes the form it has with the other features.
        if (o.bottomLogo) {
            c.push_back({cmd::selectLogo(kBottomLogo)});
            c.push_back({kBlankLogo, true});
            c.push_back({cmd::kDeselect});
            c.push_back({kBottomLogoWithOthers});
        }
    } else {
        c.push_back({kMarginOff});
    }
    if (o.watermark) {
        c.push_back({kWatermarkOn});
        if (o.bottomLogo) c.push_back({kBottomLogoWithOthers});
    } else {
        c.push_back({kWatermarkOff});
    }
    c.push_back({cmd::kStoreSettings, true});
    return c;
}

bool enableSelected(CommLink& link, BatchRecording& batch, const Options& o) {
    for (const Command& c : configuration(o)) {
        if (!link.SendData(c.bytes)) return false;
        if (c.flashWrite) {
            link.WaitForPrinter();
            batch.InsertBatchPlayWait();
        }
    }
    return true;
}

QList<QByteArray> sampleReceipt() {
    QList<QByteArray> s{cmd::kSampleStart, cmd::kCentre, "Welcome to the Vru Rastiv\n",
                        "Receipt Colorization Utility!\n\n", cmd::kLeftJustify};
    // Twenty item lines 38 characters wide; the fifteenth in colour (ESC r).
    for (int i = 1; i <= 20; ++i) {
        // The number as the printer has always printed it: a blank stands
        // where a minus sign would.
        const QByteArray number = ' ' + QByteArray::number(i);
        if (i == 15) s << cmd::printColour(2);
        s << "Item ";
        if (i < 10) s << " ";
        s << number + (i == 15 ? QByteArray("  *** Now On Sale ***  ") : QByteArray(23, ' '));
        if (i < 10) s << " ";
        s << "$" + number + ".00\n";
        if (i == 15) s << cmd::printColour(0);
    }
    s << cmd::bold(true) + "                         Total $210.00" + cmd::bold(false) + "\n\n";
    // Print mode 0 and a space, in one string.
    s << cmd::printMode(0x00) + ' ';
    // Feed 128 dots past the cutter, then cut.
    s << cmd::feedDots(0x80) + cmd::kCut;
    return s;
}

}  // namespace legacy

namespace textsub {

const char* attributeWord(int k) {
    // The targets are the sources' attributes, then the two colour ones.
    static const char* const kWords[kToCount] = {
        "bold ",         "italic ",           "reverse video ", "underline ",    "double high ",
        "double wide ",  "compressed pitch ", "color ",         "reverse color ",
    };
    return kWords[k < kFromCount ? k : k - kFromCount];
}

QByteArray entry(uint8_t n, AttributeSet set) {
    return cmd::textSubstitution(n, set);
}

bool sendEntry(CommLink& link, BatchRecording& batch, uint8_t n, AttributeSet set) {
    if (!link.SendData(entry(n, set))) return false;
    if (!link.SendData(cmd::kStoreSettings)) return false;
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();
    return true;
}

QList<QByteArray> sampleReceipt(AttributeSet set) {
    QList<QByteArray> s{kReset,
                        "The following text sample contains words \n",
                        "with the attributes you have selected to \n",
                        "substitute for.  Don't forget that there \n",
                        "are two attribute remapping entries, so  \n",
                        "the other remapping might affect the     \n",
                        "printed output.\n\n"};
    // Each attribute on, its line, and off again.
    const struct {
        QByteArray on, text, off;
    } lines[] = {
        {cmd::bold(true), "This line was originally bold text\n", cmd::bold(false)},
        {cmd::italic(true), "This line was originally italicized text\n", cmd::italic(false)},
        {cmd::reverse(true), "This line was originally reverse video text\n", cmd::reverse(false)},
        {cmd::underline(true), "This line was originally underlined text\n", cmd::underline(false)},
        {printMode(0x10), "This line was originally double high text\n", printMode(0)},
        {printMode(0x20), "This was originally\n  double wide text\n", printMode(0)},
        {printMode(0x01), "This line was originally compressed pitch text\n", printMode(0)},
    };
    for (const auto& l : lines) s << l.on << l.text << l.off;
    s << "\n";

    // One line with every "From" attribute at once.
    if (set & from(Italic)) s << cmd::italic(true);
    if (set & from(Reverse)) s << cmd::reverse(true);
    uint8_t m = 0;
    for (const PrintModeBit& p : kPrintMode)
        if (set & from(p.attribute)) m |= p.bit;
    s << printMode(m);
    s << "This text has all attributes selected in the left column on the screen (";
    for (int i = 0; i < kFromCount; ++i)
        if (set & from(i)) s << attributeWord(i);
    s << ").  It should appear with all the attributes selected in the right column on the screen (";
    for (int i = 0; i < kToCount; ++i)
        if (set & to(i)) s << attributeWord(kFromCount + i);
    // "ramapping" is how the printed receipt has always read.
    s << ").  Don't forget that there are two attribute " << "ramapping entries, so the other remapping might "
      << "affect the printed output.\n";

    s << kReset;
    s << "\nIf you need any help using this utility, the\n"
      << " "
      << "help file that is included contains tips \n"
      << "and instructions to enable you to take full\n"
      << "advantage of Vru's Rastiv thermal printing\n"
      << "features.\n";
    s << cmd::kFeed;
    return s;
}

}  // namespace textsub

}  // namespace rastiv
