// The printer's picture formats: graphics files (one raster command per row)
// and logo files (one logo definition), both as two bit planes per row.
#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "ops.hpp"

namespace pixmill {

namespace {

// Printer commands that frame picture data.
constexpr uint8_t kGS = 0x1D;
constexpr uint8_t kRasterTwoColour = 0x83;  // 1D 83: ink plane + black plane, 72 bytes each
constexpr uint8_t kRasterMono = 0x82;       // 1D 82: black plane, 72 bytes
constexpr uint8_t kLogoDefine = 0x84;       // 1D 84 kind X Y, then the planes
constexpr uint8_t kKindTwoColour = 2;
constexpr uint8_t kKindMono = 1;

constexpr uint32_t kGfxPlaneBytes = 72;  // 576 dots, one printer line
constexpr uint32_t kGfxMaxWidth = kGfxPlaneBytes * 8;
constexpr uint32_t kGfxRecordMax = 2 + 2 * kGfxPlaneBytes;
constexpr uint32_t kLogoMaxSide = 255 * 8;  // X and Y are single bytes counting 8 pixels

enum class Ink : uint8_t { None, Highlight, Black, Unprintable };

// Class of every palette index for this paper.  Paper kinds other than 1
// and 2 have no highlight colour at all.
std::array<Ink, 256> classify(const BmpView& v, int32_t paperKind) {
    std::array<Ink, 256> ink{};
    for (uint32_t i = 0; i < 256; ++i) {
        Bgr c = bgrOf(v.entry(i));
        if (c == kBlack)
            ink[i] = Ink::Black;
        else if (c == kWhite)
            ink[i] = Ink::None;
        else if ((paperKind == PIXMILL_PAPER_RED && c == kPureRed) ||
                 (paperKind == PIXMILL_PAPER_BLUE && c == kPureBlue))
            ink[i] = Ink::Highlight;
        else
            ink[i] = Ink::Unprintable;
    }
    return ink;
}

std::array<bool, 256> usedIndices(const BmpView& v) {
    std::array<bool, 256> used{};
    for (uint32_t y = 0; y < v.height(); ++y)
        for (uint32_t x = 0; x < v.width(); ++x) used[getIndex(v.row(y), x, v.bits())] = true;
    return used;
}

struct Picture {
    bool twoColour = false;
    std::array<Ink, 256> ink{};
};

// A picture is two-colour as soon as a pixel uses an entry that is neither
// black nor white; it is printable when every such used entry is the
// paper's highlight colour.
bool inspect(const BmpView& v, int32_t paperKind, Picture& pic) {
    std::array<bool, 256> used = usedIndices(v);
    pic.ink = classify(v, paperKind);
    for (uint32_t i = 0; i < 256; ++i) {
        Bgr c = bgrOf(v.entry(i));
        if (used[i] && !(c == kBlack || c == kWhite)) pic.twoColour = true;
    }
    if (!pic.twoColour) return true;
    for (uint32_t i = 0; i < 256; ++i)
        if (used[i] && pic.ink[i] == Ink::Unprintable) return false;
    return true;
}

// Sets the planes of picture row y (bottom-up index); bits beyond the
// picture's width stay 0.
void fillPlanes(const BmpView& v, const Picture& pic, uint32_t y, uint8_t* inkPlane, uint8_t* blackPlane) {
    const uint8_t* row = v.row(y);
    for (uint32_t x = 0; x < v.width(); ++x) {
        const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
        switch (pic.ink[getIndex(row, x, v.bits())]) {
            case Ink::Black:
                inkPlane[x >> 3] |= bit;
                blackPlane[x >> 3] |= bit;
                break;
            case Ink::Highlight: inkPlane[x >> 3] |= bit; break;
            default: break;
        }
    }
}

// Rewrites the first byte of a pair the printer would act on in real time
// (10 04 / 10 05 status requests, 1D 03..05) so picture data cannot be taken
// for a command.  Examines `pairs` overlapping pairs from `at`, all inside the file.
void scrubPairs(MutableBytes b, size_t at, uint64_t pairs) {
    for (uint64_t k = 0; k < pairs && at + 1 < b.size(); ++k, ++at) {
        uint8_t& first = b[at];
        const uint8_t second = b[at + 1];
        if (first == 0x10 && (second == 0x04 || second == 0x05))
            first = 0x30;
        else if (first == 0x1D && (second == 0x03 || second == 0x04 || second == 0x05))
            first = 0x3D;
    }
}

// One raster-line record of a graphics file from one row of ink codes
// (width at most 576, codes checked by the caller), scrubbed as the whole
// file is: the scrub never reaches past a record's data, so records
// scrubbed one by one are the file scrubbed at once.  Returns its length.
size_t gfxRecord(const uint8_t* inks, uint32_t width, bool twoColour, uint8_t* out) {
    uint8_t* inkPlane = out + 2;
    uint8_t* blackPlane = twoColour ? inkPlane + kGfxPlaneBytes : inkPlane;
    const size_t length = 2 + (twoColour ? 2 : 1) * kGfxPlaneBytes;
    out[0] = kGS;
    out[1] = twoColour ? kRasterTwoColour : kRasterMono;
    std::fill(out + 2, out + length, uint8_t{0});
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
        if (inks[x] == kInkBlack) {
            inkPlane[x >> 3] |= bit;
            blackPlane[x >> 3] |= bit;
        } else if (inks[x] == kInkHighlight) {
            inkPlane[x >> 3] |= bit;
        }
    }
    scrubPairs(MutableBytes(out, length), 2, length - 3);
    return length;
}

// One printer format: the largest picture it can describe, and how it
// writes one.
struct Format {
    bool (*fits)(uint32_t width, uint32_t height);
    void (*write)(const BmpView&, const Picture&, Writer&);
};

// Planes are 72 bytes (one printer line) whatever the picture's width.  A
// picture without rows would be an empty file, which no printer takes for
// a picture.
bool gfxFits(uint32_t width, uint32_t height) { return width <= kGfxMaxWidth && height > 0; }

void writeGfx(const BmpView& v, const Picture& pic, Writer& w) {
    std::array<uint8_t, kGfxMaxWidth> inks{};
    std::array<uint8_t, kGfxRecordMax> record{};
    for (uint32_t y = v.height(); y-- > 0;) {  // top row first
        const uint8_t* row = v.row(y);
        for (uint32_t x = 0; x < v.width(); ++x) {
            const Ink ink = pic.ink[getIndex(row, x, v.bits())];
            inks[x] = ink == Ink::Black ? kInkBlack : ink == Ink::Highlight ? kInkHighlight : kInkPaper;
        }
        w.put(std::span<const uint8_t>(record.data(), gfxRecord(inks.data(), v.width(), pic.twoColour, record.data())));
    }
}

// X and Y are single bytes counting 8 pixels.
bool logoFits(uint32_t width, uint32_t height) { return width <= kLogoMaxSide && height <= kLogoMaxSide; }

void writeLogo(const BmpView& v, const Picture& pic, Writer& w) {
    const uint32_t X = (v.width() + 7) / 8;
    const uint32_t Y = (v.height() + 7) / 8;
    w.byte(kGS);
    w.byte(kLogoDefine);
    w.byte(pic.twoColour ? kKindTwoColour : kKindMono);
    w.byte(static_cast<uint8_t>(X));
    w.byte(static_cast<uint8_t>(Y));
    std::vector<uint8_t> inkPlane(X), blackPlane(X);
    for (uint32_t y = v.height(); y-- > 0;) {
        std::fill(inkPlane.begin(), inkPlane.end(), 0);
        std::fill(blackPlane.begin(), blackPlane.end(), 0);
        fillPlanes(v, pic, y, inkPlane.data(), blackPlane.data());
        if (pic.twoColour) w.put(inkPlane);
        w.put(blackPlane);
    }
    // Rows after the picture up to a whole number of 8-row bands.
    w.zeros(static_cast<size_t>(Y * 8 - v.height()) * X * (pic.twoColour ? 2 : 1));
}

constexpr Format kGfx{gfxFits, writeGfx};
constexpr Format kLogo{logoFits, writeLogo};

// Cheap refusals come first: the header's dimensions before the scan of
// every pixel for printable colours, so a picture far too wide is refused at
// once instead of after a scan of millions of pixels.  The destination is
// prepared where it always was created, so that when several things are
// wrong the same code wins as before.
int32_t encode(const char* source, const char* destination, int32_t paperKind, const Format& format) {
    Bitmap src;
    if (int32_t r = openHeader(source, Open::Inspect, Accept{true, false, true}, src); r != kOk) return r;
    OutputFile out;
    if (!out.create(destination)) return kOpen;
    if (!format.fits(src.in.layout.width, src.in.layout.height)) return kFormat;
    if (int32_t r = loadPixels(src); r != kOk) return r;
    Picture pic;
    if (!inspect(src.view, paperKind, pic)) return kFormat;
    // At most 9.5 MB (a graphics file of 65535 rows): encoded in memory, so
    // the scrub sees the whole file before a byte of it is written.
    std::vector<uint8_t> encoded;
    {
        Writer w(encoded);
        format.write(src.view, pic, w);
    }
    scrubControlBytes(encoded);
    Writer w(out);
    w.put(encoded);
    return w.flush() && out.commit() ? kOk : kIo;
}

}  // namespace

void scrubControlBytes(MutableBytes b) {
    size_t i = 0;
    while (i < b.size()) {
        uint64_t dataLength = 0;
        size_t header = 0;
        if (b[i] == kGS && i + 1 < b.size() && b[i + 1] == kRasterTwoColour) {
            header = 2;
            dataLength = 2 * kGfxPlaneBytes;
        } else if (b[i] == kGS && i + 1 < b.size() && b[i + 1] == kRasterMono) {
            header = 2;
            dataLength = kGfxPlaneBytes;
        } else if (b[i] == kGS && fits(b.size(), i, 5) && b[i + 1] == kLogoDefine &&
                   (b[i + 2] == kKindTwoColour || b[i + 2] == kKindMono)) {
            header = 5;
            dataLength = uint64_t{b[i + 3]} * b[i + 4] * 8 * (b[i + 2] == kKindTwoColour ? 2 : 1);
        } else {
            ++i;
            continue;
        }
        i += header;
        if (dataLength > 0) scrubPairs(b, i, dataLength - 1);
        if (dataLength >= b.size() - std::min(i, b.size())) break;
        i += static_cast<size_t>(dataLength);
    }
}

int32_t saveAsGfx(const char* source, const char* destination, int32_t paperKind) {
    return encode(source, destination, paperKind, kGfx);
}

int32_t saveAsLogo(const char* source, const char* destination, int32_t paperKind) {
    return encode(source, destination, paperKind, kLogo);
}

int32_t encodeGfxRow(const uint8_t* inks, int32_t width, int32_t paperKind, uint8_t* out, int32_t* length) {
    if (!inks || !out || !length || width < 1 || uint32_t(width) > kGfxMaxWidth ||
        paperKind < PIXMILL_PAPER_BLACK_ONLY || paperKind > PIXMILL_PAPER_BLUE)
        return kNothing;
    const uint8_t highest = paperKind == PIXMILL_PAPER_BLACK_ONLY ? kInkBlack : kInkHighlight;
    for (int32_t x = 0; x < width; ++x)
        if (inks[x] > highest) return kNothing;
    *length = static_cast<int32_t>(gfxRecord(inks, uint32_t(width), paperKind != PIXMILL_PAPER_BLACK_ONLY, out));
    return kOk;
}

}  // namespace pixmill
