#include "link/commandtable.hpp"

#include <algorithm>
#include <array>

namespace rastiv {

namespace {

constexpr uint8_t DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D, US = 0x1F;

// What a command does besides its drawing, when it does anything: the last
// columns of a record.
struct Does {
    Answer answer = Answer::None;
    Flash flash = Flash::None;
    PastCap pastCap = PastCap::Ignored;
};
constexpr Does answers(Answer a) { return {a, Flash::None, PastCap::Ignored}; }
constexpr Does flash(Flash f) { return {Answer::None, f, PastCap::Obeyed}; }
constexpr Does kPastCap{Answer::None, Flash::None, PastCap::Obeyed};

constexpr CommandInfo c(Cmd id, const char* name, std::initializer_list<uint8_t> prefix, uint8_t params, Data data,
                        const char* what, Does does = {}) {
    CommandInfo i{id, name, {0, 0, 0}, uint8_t(prefix.size()), params, data, what, does.answer, does.flash, does.pastCap};
    std::copy(prefix.begin(), prefix.end(), i.prefix);
    return i;
}

using D = Data;
// In the order of Cmd.
constexpr CommandInfo kTable[] = {
    c(Cmd::DleEot, "DLE EOT", {DLE, 0x04}, 1, D::None, "real-time status n: the printer answers one byte", answers(Answer::RealTimeStatus)),
    c(Cmd::DleEnq, "DLE ENQ", {DLE, 0x05}, 1, D::None, "real-time request to recover from an error"),
    c(Cmd::DleDc4, "DLE DC4", {DLE, 0x14}, 0, D::DleDc4, "real-time: fn 1 drawer pulse, 2 power off, 8 clear buffers"),

    c(Cmd::PrintPageData, "ESC FF", {ESC, 0x0C}, 0, D::None, "print the page-mode data"),
    c(Cmd::CharSpacing, "ESC SP", {ESC, 0x20}, 1, D::None, "right-side character spacing n dots"),
    c(Cmd::PrintMode, "ESC !", {ESC, 0x21}, 1, D::None,
      "print mode bits: 01 font B, 08 bold, 10 double height, 20 double width, 80 underline"),
    c(Cmd::AbsolutePosition, "ESC $", {ESC, 0x24}, 2, D::None, "absolute print position nL + nH * 256 dots"),
    c(Cmd::UserCharsOn, "ESC %", {ESC, 0x25}, 1, D::None, "user-defined characters on or off"),
    c(Cmd::DefineUserChars, "ESC &", {ESC, 0x26}, 3, D::UserCharacters, "define user characters c1 to c2"),
    c(Cmd::ColumnImage, "ESC *", {ESC, 0x2A}, 3, D::ColumnImage, "bit image of 8- or 24-dot columns in the line"),
    c(Cmd::Underline, "ESC -", {ESC, 0x2D}, 1, D::None, "underline 0 off, 1 one dot, 2 two dots"),
    c(Cmd::DefaultLineSpacing, "ESC 2", {ESC, 0x32}, 0, D::None, "line spacing back to its default"),
    c(Cmd::LineSpacing, "ESC 3", {ESC, 0x33}, 1, D::None, "line spacing n dots"),
    c(Cmd::ReturnHome, "ESC <", {ESC, 0x3C}, 0, D::None, "return the head home"),
    c(Cmd::SelectPeripheral, "ESC =", {ESC, 0x3D}, 1, D::None, "select the peripheral device"),
    c(Cmd::CancelUserChar, "ESC ?", {ESC, 0x3F}, 1, D::None, "cancel user-defined character n"),
    c(Cmd::Reset, "ESC @", {ESC, 0x40}, 0, D::None, "initialise: buffer emptied, every text setting back", kPastCap),
    c(Cmd::TabStops, "ESC D", {ESC, 0x44}, 0, D::NulTerminated, "horizontal tab stops, ended by 00"),
    c(Cmd::Bold, "ESC E", {ESC, 0x45}, 1, D::None, "bold (emphasis) on or off"),
    c(Cmd::DoubleStrike, "ESC G", {ESC, 0x47}, 1, D::None, "double-strike on or off"),
    c(Cmd::Italic, "ESC I", {ESC, 0x49}, 1, D::None, "italic on or off"),
    c(Cmd::FeedDots, "ESC J", {ESC, 0x4A}, 1, D::None, "print the line and feed n dots"),
    c(Cmd::ReverseFeedDots, "ESC K", {ESC, 0x4B}, 1, D::None, "print and feed n dots backwards"),
    c(Cmd::PageMode, "ESC L", {ESC, 0x4C}, 0, D::None, "page mode"),
    c(Cmd::FontSelect, "ESC M", {ESC, 0x4D}, 1, D::None, "font A (0) or B (1)"),
    c(Cmd::CharacterSet, "ESC R", {ESC, 0x52}, 1, D::None, "international character set"),
    c(Cmd::StandardMode, "ESC S", {ESC, 0x53}, 0, D::None, "standard mode"),
    c(Cmd::PageDirection, "ESC T", {ESC, 0x54}, 1, D::None, "print direction in page mode"),
    c(Cmd::Unidirectional, "ESC U", {ESC, 0x55}, 1, D::None, "unidirectional printing"),
    c(Cmd::Rotate90, "ESC V", {ESC, 0x56}, 1, D::None, "characters turned 90 degrees clockwise"),
    c(Cmd::PageArea, "ESC W", {ESC, 0x57}, 8, D::None, "print area in page mode"),
    c(Cmd::RelativePosition, "ESC \\", {ESC, 0x5C}, 2, D::None, "relative print position, signed dots"),
    c(Cmd::Justify, "ESC a", {ESC, 0x61}, 1, D::None, "justification 0 left, 1 centre, 2 right"),
    c(Cmd::PanelAndSensors, "ESC c", {ESC, 0x63}, 2, D::None, "paper sensors and panel buttons (ESC c 3/4/5 n)"),
    c(Cmd::FeedLines, "ESC d", {ESC, 0x64}, 1, D::None, "print the line and feed n lines"),
    c(Cmd::ReverseFeedLines, "ESC e", {ESC, 0x65}, 1, D::None, "print and feed n lines backwards"),
    c(Cmd::FullCutOld, "ESC i", {ESC, 0x69}, 0, D::None, "full cut", kPastCap),
    c(Cmd::PartialCutOld, "ESC m", {ESC, 0x6D}, 0, D::None, "partial cut", kPastCap),
    c(Cmd::DrawerPulse, "ESC p", {ESC, 0x70}, 3, D::None, "cash drawer kick on pin m, t1 on and t2 off * 2 ms"),
    c(Cmd::PrintColour, "ESC r", {ESC, 0x72}, 1, D::None, "print colour 0 black, 1 or 2 the paper's second colour"),
    c(Cmd::CodePage, "ESC t", {ESC, 0x74}, 1, D::None, "character code table (code page) n"),
    c(Cmd::PeripheralStatus, "ESC u", {ESC, 0x75}, 1, D::None, "the printer answers the drawer status", answers(Answer::DrawerStatus)),
    c(Cmd::StatusQuery, "ESC v", {ESC, 0x76}, 0, D::None, "the printer answers its status byte", answers(Answer::StatusByte)),
    c(Cmd::UpsideDown, "ESC {", {ESC, 0x7B}, 1, D::None, "upside-down printing on or off"),
    c(Cmd::EscFunction, "ESC (", {ESC, 0x28}, 1, D::Length16, "extended function fn with pL pH bytes (beeper...)"),
    c(Cmd::Beep, "ESC B", {ESC, 0x42}, 2, D::None, "beep n times for t * 50 ms"),
    // Epson's ESC/P pair, without a parameter (FX and LQ references, and the
    // printers that emulate them): tills written for those printers send it.
    c(Cmd::ItalicOn, "ESC 4", {ESC, 0x34}, 0, D::None, "italic on"),
    c(Cmd::ItalicOff, "ESC 5", {ESC, 0x35}, 0, D::None, "italic off"),

    c(Cmd::KanjiMode, "FS !", {FS, 0x21}, 1, D::None, "Kanji print mode"),
    c(Cmd::KanjiOn, "FS &", {FS, 0x26}, 0, D::None, "Kanji characters on"),
    c(Cmd::KanjiUnderline, "FS -", {FS, 0x2D}, 1, D::None, "Kanji underline"),
    c(Cmd::KanjiOff, "FS .", {FS, 0x2E}, 0, D::None, "Kanji characters off"),
    c(Cmd::DefineKanji, "FS 2", {FS, 0x32}, 2, D::Kanji72, "define a user Kanji character"),
    c(Cmd::KanjiCode, "FS C", {FS, 0x43}, 1, D::None, "Kanji code system"),
    c(Cmd::KanjiSpacing, "FS S", {FS, 0x53}, 2, D::None, "Kanji character spacing"),
    c(Cmd::KanjiQuad, "FS W", {FS, 0x57}, 1, D::None, "Kanji quadruple size"),
    c(Cmd::PrintNvImage, "FS p", {FS, 0x70}, 2, D::None, "print NV bit image n in mode m"),
    c(Cmd::DefineNvImages, "FS q", {FS, 0x71}, 1, D::NvImages, "define the NV bit images", flash(Flash::Writes)),
    c(Cmd::FsFunction, "FS (", {FS, 0x28}, 1, D::Length16, "extended function fn with pL pH bytes"),

    c(Cmd::CharacterSize, "GS !", {GS, 0x21}, 1, D::None, "character size: width (high nibble) and height + 1"),
    c(Cmd::AbsoluteVertical, "GS $", {GS, 0x24}, 2, D::None, "absolute vertical position in page mode"),
    c(Cmd::GsFunction, "GS (", {GS, 0x28}, 1, D::Length16,
      "extended function fn with pL pH bytes: ( L graphics, ( k 2D codes, ( A, ( E, ( H, ( K, ( N ...", {Answer::None, Flash::ByFunction, PastCap::Ignored}),
    c(Cmd::DefineBitImage, "GS *", {GS, 0x2A}, 2, D::BitImage, "define the downloaded bit image"),
    c(Cmd::PrintBitImage, "GS /", {GS, 0x2F}, 1, D::None,
      "print the selected logo, or the downloaded bit image in mode m"),
    c(Cmd::GsFunction32, "GS 8", {GS, 0x38}, 1, D::Length32, "extended function with a 4-byte length: 8 L graphics", {Answer::None, Flash::ByFunction, PastCap::Ignored}),
    c(Cmd::MacroToggle, "GS :", {GS, 0x3A}, 0, D::None, "start or end a macro definition"),
    c(Cmd::Reverse, "GS B", {GS, 0x42}, 1, D::None, "white on black (reverse) on or off"),
    c(Cmd::HeadEnergy, "GS E", {GS, 0x45}, 1, D::None, "print head energy"),
    c(Cmd::HriPosition, "GS H", {GS, 0x48}, 1, D::None, "barcode text 0 none, 1 above, 2 below, 3 both"),
    c(Cmd::PrinterId, "GS I", {GS, 0x49}, 1, D::None, "the printer answers its id n", answers(Answer::PrinterId)),
    c(Cmd::LeftMargin, "GS L", {GS, 0x4C}, 2, D::None, "left margin nL + nH * 256 dots"),
    c(Cmd::MotionUnits, "GS P", {GS, 0x50}, 2, D::None, "motion units"),
    c(Cmd::VariableRaster, "GS Q 0", {GS, 0x51, 0x30}, 0, D::Raster, "variable-size raster bit image"),
    c(Cmd::HorizontalStart, "GS T", {GS, 0x54}, 1, D::None, "print position to the start of the line"),
    c(Cmd::CutPaper, "GS V", {GS, 0x56}, 1, D::Cut, "cut the paper (after feeding n dots for m 65, 66...)", kPastCap),
    c(Cmd::PrintAreaWidth, "GS W", {GS, 0x57}, 2, D::None, "print area width nL + nH * 256 dots"),
    c(Cmd::RelativeVertical, "GS \\", {GS, 0x5C}, 2, D::None, "relative vertical position in page mode"),
    c(Cmd::MacroRun, "GS ^", {GS, 0x5E}, 3, D::None, "run the macro"),
    c(Cmd::AutoStatus, "GS a", {GS, 0x61}, 1, D::None, "automatic status back on or off", answers(Answer::AutoStatus)),
    c(Cmd::Smoothing, "GS b", {GS, 0x62}, 1, D::None, "smoothing on or off"),
    c(Cmd::CounterPrint, "GS c", {GS, 0x63}, 0, D::None, "print the counter"),
    c(Cmd::HriFont, "GS f", {GS, 0x66}, 1, D::None, "barcode text font A (0) or B (1)"),
    c(Cmd::Counters, "GS g", {GS, 0x67}, 4, D::None, "maintenance counters"),
    c(Cmd::BarcodeHeight, "GS h", {GS, 0x68}, 1, D::None, "barcode height n dots"),
    c(Cmd::InkStatusBack, "GS j", {GS, 0x6A}, 1, D::None, "automatic ink status back"),
    c(Cmd::Barcode, "GS k", {GS, 0x6B}, 1, D::Barcode, "print barcode m"),
    c(Cmd::TransmitStatus, "GS r", {GS, 0x72}, 1, D::None, "the printer answers status n (1 paper, 2 drawer)", answers(Answer::TransmitStatus)),
    c(Cmd::RasterImage, "GS v 0", {GS, 0x76, 0x30}, 0, D::Raster, "raster bit image, x bytes by y rows"),
    c(Cmd::BarcodeWidth, "GS w", {GS, 0x77}, 1, D::None, "barcode module width n dots"),

    c(Cmd::BeginDownload, "GS \"", {GS, 0x22}, 1, D::None, "a logo download follows (n 1)", kPastCap),
    c(Cmd::SelectLogo, "GS #", {GS, 0x23}, 1, D::None, "select logo n; 0 ends a download", kPastCap),
    c(Cmd::EraseFlash, "GS @", {GS, 0x40}, 1, D::None, "erase every logo and user character set (n 31h)", flash(Flash::Writes)),
    c(Cmd::PaperType, "GS 81", {GS, 0x81}, 2, D::None, "paper type n, then FF", flash(Flash::Setting)),
    c(Cmd::RasterLine, "GS 82", {GS, 0x82}, 0, D::Fixed72, "one monochrome raster line of 576 dots"),
    c(Cmd::TwoColourRasterLine, "GS 83", {GS, 0x83}, 0, D::Fixed144, "one raster line: ink plane, black plane"),
    c(Cmd::LogoDefinition, "GS 84", {GS, 0x84}, 3, D::LogoDefinition, "logo definition kind X Y into the flash", flash(Flash::Writes)),
    c(Cmd::DefineWatermark, "GS 8B", {GS, 0x8B}, 3, D::None, "watermark W from logo L with shading S", flash(Flash::Writes)),
    c(Cmd::WatermarkSwitch, "GS 8C", {GS, 0x8C}, 2, D::None, "watermark W on or off"),
    c(Cmd::MarginMessage, "GS 99", {GS, 0x99}, 4, D::None, "margin message: side, logo n, 32h, 00"),
    c(Cmd::StoreSettings, "GS FF", {GS, 0xFF}, 0, D::None, "store the settings sent before it in the flash", flash(Flash::Writes)),
    c(Cmd::LegacySetting, "US 03 16", {US, 0x03, 0x16}, 1, D::LegacyFunction,
      "legacy colorization f: 1 top logo, 2 watermark, 3 margin message, 4 bottom logo", flash(Flash::Setting)),
    c(Cmd::TextSubstitution, "US 03 17", {US, 0x03, 0x17}, 3, D::None, "text attribute substitution n A B", flash(Flash::Setting)),
};
static_assert(std::size(kTable) == size_t(Cmd::Count));

constexpr bool inOrder() {
    for (size_t i = 0; i < std::size(kTable); ++i)
        if (size_t(kTable[i].id) != i) return false;
    return true;
}
static_assert(inOrder(), "the table is indexed by Cmd");

// The record of every two-byte start; a three-byte prefix is found among
// the records that share its first two bytes.
struct Index {
    std::array<std::array<const CommandInfo*, 256>, 5> byStart{};  // DLE, ESC, FS, GS, US
    Index() {
        for (const CommandInfo& i : kTable) {
            auto& slot = byStart[size_t(prefixRow(i.prefix[0]))][i.prefix[1]];
            if (!slot) slot = &i;
        }
    }
    static int prefixRow(uint8_t b) {
        switch (b) {
            case DLE: return 0;
            case ESC: return 1;
            case FS: return 2;
            case GS: return 3;
            case US: return 4;
            default: return -1;
        }
    }
};

const Index& index() {
    static const Index i;
    return i;
}

uint8_t at(QByteArrayView b, qsizetype i) { return static_cast<uint8_t>(b[i]); }

}  // namespace

const CommandInfo& commandInfo(Cmd id) { return kTable[size_t(id)]; }

const CommandInfo* findCommand(QByteArrayView start, bool& more) {
    more = false;
    if (start.isEmpty()) return more = true, nullptr;
    const int row = Index::prefixRow(at(start, 0));
    if (row < 0) return nullptr;
    if (start.size() < 2) return more = true, nullptr;
    const CommandInfo* first = index().byStart[size_t(row)][at(start, 1)];
    if (!first || first->prefixLength == 2) return first;
    if (start.size() < 3) return more = true, nullptr;
    for (const CommandInfo* i = first; i != std::end(kTable); ++i)
        if (i->prefix[0] == at(start, 0) && i->prefix[1] == at(start, 1) && i->prefix[2] == at(start, 2)) return i;
    return nullptr;
}

qsizetype commandLength(const CommandInfo& info, QByteArrayView u) {
    const qsizetype head = info.prefixLength + info.params;
    const qsizetype n = u.size();
    // Parameter k (0 the first after the prefix) and whether it has come yet.
    const auto has = [&](qsizetype k) { return n > info.prefixLength + k; };
    const auto p = [&](qsizetype k) -> qint64 { return at(u, info.prefixLength + k); };
    // Data ended by a 00 byte is short (tab stops, a barcode's digits): one
    // that has not ended within kMaxNulData bytes ends there.
    const auto nulFrom = [&](qsizetype from) -> qsizetype {
        for (qsizetype i = from; i < n && i < from + kMaxNulData; ++i)
            if (at(u, i) == 0) return i + 1;
        return n >= from + kMaxNulData ? from + kMaxNulData : 0;
    };
    switch (info.data) {
        case Data::None: return head;
        case Data::Fixed72: return head + 72;
        case Data::Fixed144: return head + 144;
        case Data::Kanji72: return head + 72;
        case Data::LogoDefinition:
            if (!has(2)) return 0;
            return head + p(1) * p(2) * 8 * (p(0) == 2 ? 2 : 1);
        case Data::ColumnImage:
            if (!has(2)) return 0;
            return head + (p(1) + p(2) * 256) * (p(0) >= 32 ? 3 : 1);
        case Data::BitImage:
            if (!has(1)) return 0;
            return head + p(0) * p(1) * 8;
        case Data::Raster:  // m xL xH yL yH
            if (!has(4)) return 0;
            return head + 5 + (p(1) + p(2) * 256) * (p(3) + p(4) * 256);
        case Data::Length16:  // fn pL pH
            if (!has(2)) return 0;
            return head + 2 + p(1) + p(2) * 256;
        case Data::Length32:  // fn p1 p2 p3 p4
            if (!has(4)) return 0;
            return head + 4 + (p(1) | p(2) << 8 | p(3) << 16 | p(4) << 24);
        case Data::NulTerminated: return nulFrom(head);
        case Data::Barcode:  // m, then data and 00 (function A) or n and n bytes (function B)
            if (!has(0)) return 0;
            if (p(0) <= 6) return nulFrom(head);
            if (!has(1)) return 0;
            return head + 1 + p(1);
        case Data::UserCharacters: {
            // y c1 c2, then per character x and y * x bytes; c2 below c1 defines none.
            if (!has(2)) return 0;
            qsizetype end = head;
            for (int ch = int(p(1)); ch <= int(p(2)); ++ch) {
                if (n <= end) return -(end + 1);
                end += 1 + qsizetype(at(u, end)) * p(0);
            }
            return end;
        }
        case Data::NvImages: {
            if (!has(0)) return 0;
            qsizetype end = head;
            for (int image = 0; image < p(0); ++image) {
                if (n < end + 4) return -(end + 4);
                const qint64 x = at(u, end) + at(u, end + 1) * 256, y = at(u, end + 2) + at(u, end + 3) * 256;
                end += 4 + x * y * 8;
            }
            return end;
        }
        case Data::DleDc4:  // fn and its parameters
            if (!has(0)) return 0;
            switch (p(0)) {
                case 1: case 2: return head + 3;  // fn m t / fn a b
                case 7: return head + 2;          // fn m
                case 8: return head + 8;          // fn d1..d7
                default: return head + 1;
            }
        case Data::Cut:
            if (!has(0)) return 0;
            switch (p(0)) {
                case 65: case 66: case 97: case 98: case 103: case 104: return head + 1;
                default: return head;
            }
        case Data::LegacyFunction:
            if (!has(0)) return 0;
            return head + (p(0) == 3 ? 3 : 2);
    }
    return head;
}

}  // namespace rastiv
