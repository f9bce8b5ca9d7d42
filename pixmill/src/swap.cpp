// Colour swapping, dithering and flashing.  ColorSwap and DitheredColorSwap
// flag every entry they produce (fourth palette byte = 1) and never take a
// flagged entry as a source, so mapping image colours one after the other
// cannot map an already mapped colour a second time.
//
// Only entries the file stores are ever written.  A pixel whose index has no
// stored entry shows as black, so for rewriting pixels such an index matches
// black, but only when some pixel uses it.
#include <array>
#include <optional>
#include <type_traits>

#include "ops.hpp"

namespace pixmill {
namespace {

constexpr uint8_t kFinal = 1;

using Used = std::array<bool, 256>;

Used usedIndices(const BmpView& v) {
    Used used{};
    withBits(v.bits(), [&](auto bits) {
        for (uint32_t y = 0; y < v.height(); ++y) {
            const uint8_t* row = v.row(y);
            for (uint32_t x = 0; x < v.width(); ++x) used[getIndex(row, x, bits)] = true;
        }
    });
    return used;
}

bool isFinal(const uint8_t* entry) { return entry[3] == kFinal; }

void setEntry(uint8_t* entry, Bgr c, uint8_t flag) {
    entry[0] = c.b;
    entry[1] = c.g;
    entry[2] = c.r;
    entry[3] = flag;
}


// The 8 x 8 dither patterns, indexed [stored row mod 8][column mod 8], stored
// row 0 being the bottom of the picture.  'X' is ink, '.' is paper.  Anchoring
// to the picture rather than to a colour's region lets neighbouring regions
// of different shades meet without seams.
using Pattern = std::array<const char*, 8>;

constexpr Pattern k75 = {
    "XX.XXX.X",
    ".XXX.XXX",
    "XXX.XXX.",
    "X.XXX.XX",
    "XX.XXX.X",
    ".XXX.XXX",
    "XXX.XXX.",
    "X.XXX.XX",
};
constexpr Pattern k50 = {
    ".X.X.X.X",
    "X.X.X.X.",
    ".X.X.X.X",
    "X.X.X.X.",
    ".X.X.X.X",
    "X.X.X.X.",
    ".X.X.X.X",
    "X.X.X.X.",
};
constexpr Pattern k25 = {
    "..X...X.",
    "X...X...",
    "...X...X",
    ".X...X..",
    "..X...X.",
    "X...X...",
    "...X...X",
    ".X...X..",
};
constexpr Pattern k37 = {
    "..X..X.X",
    "X..X..X.",
    ".XX..X..",
    "..X.X..X",
    "X...X.X.",
    "XX....X.",
    "...X.X.X",
    "X.X.X...",
};

// The renderings that dither, black and highlight alike.
const Pattern* patternFor(int32_t code) {
    switch (code) {
        case PIXMILL_RENDER_BLACK_75: case PIXMILL_RENDER_HIGHLIGHT_75: return &k75;
        case PIXMILL_RENDER_BLACK_50: case PIXMILL_RENDER_HIGHLIGHT_50: return &k50;
        case PIXMILL_RENDER_BLACK_25: case PIXMILL_RENDER_HIGHLIGHT_25: return &k25;
        case PIXMILL_RENDER_BLACK_37: case PIXMILL_RENDER_HIGHLIGHT_37: return &k37;
        default: return nullptr;
    }
}

bool isHighlightCode(int32_t code) {
    return code >= PIXMILL_RENDER_HIGHLIGHT_75 && code <= PIXMILL_RENDER_HIGHLIGHT_37;
}
bool isBlackCode(int32_t code) {
    return (code >= PIXMILL_RENDER_BLACK_75 && code <= PIXMILL_RENDER_BLACK_25) || code == PIXMILL_RENDER_BLACK_37;
}

// Finds the flagged entry of a printer colour, or makes one in a free entry.
class PrinterEntries {
public:
    explicit PrinterEntries(const MutableBmpView& v) : v_(v) {}

    // Free means unflagged and used by no pixel, at every bit depth: repainting
    // an entry that pixels use would recolour part of the picture.  (On a
    // 1-bit picture no pixel is dithered, so nothing would repair that.)
    std::optional<uint32_t> findOrMake(Bgr wanted) {
        for (uint32_t i = 0; i < v_.paletteCount(); ++i)
            if (isFinal(v_.entry(i)) && bgrOf(v_.entry(i)) == wanted) return i;
        for (uint32_t i = 0; i < v_.paletteCount(); ++i) {
            if (isFinal(v_.entry(i)) || used()[i]) continue;
            setEntry(v_.mutableEntry(i), wanted, kFinal);
            return i;
        }
        return std::nullopt;
    }

    // Pixels do not change until every entry is made: one scan serves all.
    const Used& used() {
        if (!used_) used_ = usedIndices(v_);
        return *used_;
    }

private:
    const MutableBmpView& v_;
    std::optional<Used> used_;
};

}  // namespace

int32_t colorSwap(const char* path, uint32_t source, uint32_t target) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    zeroColourCounts(v);
    const Bgr from = fromColour(source);
    const Bgr to = fromColour(target);
    for (uint32_t i = 0; i < v.paletteCount(); ++i) {
        uint8_t* e = v.mutableEntry(i);
        if (!isFinal(e) && bgrOf(e) == from) setEntry(e, to, kFinal);
    }
    return bmp.save(kOk);
}

int32_t ditheredColorSwap(const char* path, uint32_t source, int32_t code, int32_t paperKind) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    // An unknown code changes nothing at all, not even the colour counts.
    const Pattern* pattern = patternFor(code);
    if (!pattern) return bmp.save(kNothing);
    PrinterEntries entries(v);

    // Entries made before the source colour turns out to be absent stay,
    // flagged and used by no pixel, so they do no harm.
    std::optional<uint32_t> paper = entries.findOrMake(kWhite);
    if (!paper) return bmp.save(kNothing);
    std::optional<uint32_t> ink;
    if (isHighlightCode(code)) {
        ink = entries.findOrMake(paperKind == PIXMILL_PAPER_BLUE ? kPureBlue : kPureRed);
        if (!ink) return bmp.save(kNothing);
    } else if (isBlackCode(code)) {
        ink = entries.findOrMake(kBlack);
        if (!ink) return bmp.save(kNothing);
    }
    zeroColourCounts(v);

    std::array<std::array<uint8_t, 8>, 8> fill{};
    for (size_t r = 0; r < 8; ++r)
        for (size_t c = 0; c < 8; ++c)
            fill[r][c] = static_cast<uint8_t>((*pattern)[r][c] == 'X' ? *ink : *paper);

    // The ink and paper entries are flagged, so no pixel given their index can
    // match a later source entry: one pass does all matching entries at once.
    const Bgr from = fromColour(source);
    std::array<bool, 256> matched{};
    bool found = false;
    for (uint32_t i = 0; i < v.paletteSize(); ++i) {
        const uint8_t* e = v.entry(i);
        if (isFinal(e) || bgrOf(e) != from) continue;
        if (i >= v.paletteCount() && !entries.used()[i]) continue;
        matched[i] = found = true;
    }
    // A 1-bit pixel cannot hold a third index; such pictures keep their pixels.
    if (found && v.bits() != 1) {
        withBits(v.bits(), [&](auto bits) {
            for (uint32_t y = 0; y < v.height(); ++y) {
                uint8_t* row = v.mutableRow(y);
                const auto& line = fill[y & 7];
                for (uint32_t x = 0; x < v.width(); ++x)
                    if (matched[getIndex(row, x, bits)]) setIndex(row, x, bits, line[x & 7]);
            }
        });
    }
    return bmp.save(found ? kOk : kNothing);
}

int32_t flash(const char* path, uint32_t colour) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    const Bgr wanted = fromColour(colour);
    bool found = false;
    for (uint32_t i = 0; i < v.paletteCount(); ++i) {
        uint8_t* e = v.mutableEntry(i);
        if (bgrOf(e) != wanted) continue;
        for (int k = 0; k < 3; ++k) e[k] = e[k] < 128 ? 255 : 0;
        found = true;
    }
    return bmp.save(found ? kOk : kNothing);
}

}  // namespace pixmill
