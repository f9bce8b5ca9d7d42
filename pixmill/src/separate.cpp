#include "separate.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include "ops.hpp"

namespace pixmill {

namespace {

// ---- sRGB to CIELAB ----

// v held to lo..hi; written so that the compiler makes min and max of it,
// not jumps: in the pixel loops the outcome changes from dot to dot.
inline float bounded(float v, float lo, float hi) {
    v = v < lo ? lo : v;
    return v > hi ? hi : v;
}

// CIELAB's f(t) by table from t = -1 to 2: colours need 0 to 1, and the
// light a diffusion wants, its error bounded to one unit, stays in -1..2.
constexpr int kCubeSteps = 4096;  // a unit of t
constexpr float kCubeFrom = -1, kCubeTo = 2;
constexpr int kCubeEntries = static_cast<int>(kCubeTo - kCubeFrom) * kCubeSteps + 2;

struct ColourTables {
    float linear[256];    // sRGB byte -> linear light
    float f[kCubeEntries];
    ColourTables() {
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            linear[i] = static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        for (int i = 0; i < kCubeEntries; ++i) {
            const double t = std::min<double>(kCubeTo, kCubeFrom + static_cast<double>(i) / kCubeSteps);
            constexpr double d = 6.0 / 29.0;
            f[i] = static_cast<float>(t > d * d * d ? std::cbrt(t) : t / (3 * d * d) + 4.0 / 29.0);
        }
    }
    float cube(float t) const {
        t = (bounded(t, kCubeFrom, kCubeTo) - kCubeFrom) * kCubeSteps;
        const int i = static_cast<int>(t);
        const float frac = t - static_cast<float>(i);
        return f[i] + (f[i + 1] - f[i]) * frac;
    }
};

const ColourTables& tables() {
    static const ColourTables t;
    return t;
}

// sRGB primaries with D65 white, rows scaled by the white point so that
// white comes out as (1, 1, 1) and paper white as L 100, a 0, b 0.
constexpr float kXw = 0.4124564f + 0.3575761f + 0.1804375f;
constexpr float kZw = 0.0193339f + 0.1191920f + 0.9503041f;
constexpr float kM[3][3] = {{0.4124564f / kXw, 0.3575761f / kXw, 0.1804375f / kXw},
                            {0.2126729f, 0.7151522f, 0.0721750f},
                            {0.0193339f / kZw, 0.1191920f / kZw, 0.9503041f / kZw}};

Lab labOf(const ColourTables& t, uint8_t r8, uint8_t g8, uint8_t b8) {
    const float r = t.linear[r8], g = t.linear[g8], b = t.linear[b8];
    const float fx = t.cube(kM[0][0] * r + kM[0][1] * g + kM[0][2] * b);
    const float fy = t.cube(kM[1][0] * r + kM[1][1] * g + kM[1][2] * b);
    const float fz = t.cube(kM[2][0] * r + kM[2][1] * g + kM[2][2] * b);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

// Luminance (0 black, 1 white) of a CIELAB lightness, and back.  Both
// continue past black and white: a diffusion's wanted light may.
float luminanceOfL(float L) {
    const float fy = (L + 16) / 116;
    constexpr float d = 6.0f / 29.0f;
    return fy > d ? fy * fy * fy : 3 * d * d * (fy - 4.0f / 29.0f);
}

float lightnessOfY(const ColourTables& t, float y) { return 116 * t.cube(y) - 16; }

// ---- Inks ----

struct Inks {
    int count = 2;            // paper and black, and the highlight when there is one
    Lab lab[3];
    float hueA = 0, hueB = 0;  // unit vector of the highlight's hue
    float chroma = 0;          // the highlight's chroma
    float light[3] = {1, 0, 0};  // luminance of each ink
};

Inks inksFor(int32_t paperKind) {
    const ColourTables& t = tables();
    Inks k;
    k.lab[kInkPaper] = {100, 0, 0};
    k.lab[kInkBlack] = {0, 0, 0};
    if (paperKind == 0) return k;
    k.count = 3;
    k.lab[kInkHighlight] = paperKind == 2 ? labOf(t, 0, 0, 255) : labOf(t, 255, 0, 0);
    const Lab& h = k.lab[kInkHighlight];
    k.chroma = std::sqrt(h.a * h.a + h.b * h.b);
    k.hueA = h.a / k.chroma;
    k.hueB = h.b / k.chroma;
    k.light[kInkHighlight] = luminanceOfL(h.L);
    return k;
}

// ---- Tone ----

constexpr int kToneSteps = 1000;  // tenths of a unit of lightness

std::vector<float> toneCurve(const SeparationSettings& s) {
    std::vector<float> curve(kToneSteps + 2);
    const double exponent = 100.0 / s.gamma;
    // The slope through middle grey: tan of 45 degrees turned by the
    // contrast, never quite flat nor quite vertical.
    const double slope = std::tan((0.98 * s.contrast / 100.0 + 1) * std::numbers::pi / 4);
    const double lift = s.brightness / 200.0;
    for (int i = 0; i <= kToneSteps + 1; ++i) {
        double l = std::min(1.0, static_cast<double>(i) / kToneSteps);
        l = std::pow(l, exponent);
        l = 0.5 + (l - 0.5) * slope + lift;
        curve[i] = static_cast<float>(std::clamp(l, 0.0, 1.0) * 100);
    }
    return curve;
}

float applyTone(const std::vector<float>& curve, float L) {
    const float x = bounded(L, 0, 100) * (kToneSteps / 100.0f);
    const int i = static_cast<int>(x);
    return curve[i] + (curve[i + 1] - curve[i]) * (x - static_cast<float>(i));
}

// The 8 x 8 Bayer threshold (0..63) at a position: the bits of x ^ y and y
// interleaved and reversed, so that each level adds the dot farthest from
// those already set.
constexpr uint32_t bayer(uint32_t x, uint32_t y) {
    const uint32_t u = (x ^ y) & 7, v = y & 7;
    return ((u & 1) << 5) | ((v & 1) << 4) | ((u & 2) << 2) | ((v & 2) << 1) | ((u & 4) >> 1) | ((v & 4) >> 2);
}

}  // namespace

bool parseSettings(int32_t paperKind, int32_t method, int32_t brightness, int32_t contrast, int32_t gamma,
                   int32_t sharpen, SeparationSettings& out) {
    if (paperKind < PIXMILL_PAPER_BLACK_ONLY || paperKind > PIXMILL_PAPER_BLUE) return false;
    if (method < PIXMILL_SEPARATE_DIFFUSION || method > PIXMILL_SEPARATE_NEAREST) return false;
    if (brightness < -100 || brightness > 100 || contrast < -100 || contrast > 100) return false;
    if (gamma < 10 || gamma > 1000 || sharpen < 0 || sharpen > 100) return false;
    out = {paperKind, static_cast<Method>(method), brightness, contrast, gamma, sharpen};
    return true;
}

// Chooses the dots of one row at a time.  Diffusion keeps the rows of error
// still to be spread: this row's and the next one's.
class Separator::Dither {
public:
    Dither(uint32_t width, const SeparationSettings& s)
        : width_(width), method_(s.method), inks_(inksFor(s.paperKind)) {
        if (method_ == Method::Diffusion)
            for (auto& r : errors_) r.assign(width + 2, Lab{0, 0, 0});
    }

    void row(const Lab* in, uint8_t* out, uint64_t y) {
        switch (method_) {
            case Method::Diffusion: diffuse(in, out); break;
            case Method::Ordered: ordered(in, out, y); break;
            case Method::Nearest:
                for (uint32_t x = 0; x < width_; ++x) out[x] = nearest(in[x]);
                break;
        }
    }

    // A row all of `white`, in one step where row() would give the same
    // dots and leave the same state: false when it cannot (row() then).
    bool whiteRow(const Lab& white, uint8_t* out) {
        uint8_t ink = nearest(white);
        if (method_ == Method::Ordered) return false;  // its dots follow the page's position
        if (method_ == Method::Diffusion) {
            // No error carried, and white is the paper itself: every dot is
            // paper and hands on exactly nothing, so the errors stay nil.
            if (!calm_ || white.a != 0 || white.b != 0 || luminanceOfL(white.L) != inks_.light[kInkPaper]) return false;
            ink = nearest(Lab{lightnessOfY(tables_, inks_.light[kInkPaper]), 0, 0});
            if (ink != kInkPaper) return false;
            ++rows_;  // the serpentine turns as it would have
        }
        std::fill(out, out + width_, ink);
        return true;
    }

private:
    // How much error a dot takes from its neighbours: light (luminance x
    // 100) and hue (CIELAB a and b).
    static constexpr float kLightBound = 100, kChromaBound = 30;

    // The ink nearest to a colour, lightness counting twice as much as hue
    // and chroma: a mid grey stays black and white (not pink), while a
    // colour near the highlight's hue takes the highlight over black.
    uint8_t nearest(const Lab& c) const {
        constexpr float kChromaWeight = 0.5f;
        const auto distance = [&](int i) {
            const Lab& k = inks_.lab[i];
            const float dL = c.L - k.L, da = c.a - k.a, db = c.b - k.b;
            return dL * dL + kChromaWeight * (da * da + db * db);
        };
        // Written without branches: which ink wins is as good as random
        // from one dot to the next, and a mispredicted jump costs more than
        // the arithmetic.
        const float paper = distance(kInkPaper), black = distance(kInkBlack);
        const float highlight = inks_.count == 3 ? distance(kInkHighlight) : paper + black + 1;
        const bool blackWins = black < paper;
        const float best = blackWins ? black : paper;
        const uint8_t ink = blackWins ? uint8_t{kInkBlack} : uint8_t{kInkPaper};
        return highlight < best ? uint8_t{kInkHighlight} : ink;
    }

    // Floyd-Steinberg, serpentine.  The lightness error is carried in light
    // (luminance x 100): the eye mixes dots and paper in light, so a tone
    // made of dots looks right only when the dots' light averages to the
    // tone's, where an average of CIELAB lightness would print every middle
    // tone far too light.  The hue error stays in CIELAB, 80 % of it passed
    // on and bounded to +-30: a colour no ink can make (green on red paper)
    // would otherwise pile up error until it bursts out as a streak of
    // highlight far from where it came from.
    void diffuse(const Lab* in, uint8_t* out) {
        constexpr float kChromaKept = 0.8f;
        constexpr uint32_t kMargin = 1;  // the kernel reaches one pixel either side
        std::vector<Lab>& here = errors_[0];
        std::vector<Lab>& next = errors_[1];
        const bool rightward = (rows_++ & 1) == 0;
        const int dir = rightward ? 1 : -1;
        for (uint32_t k = 0; k < width_; ++k) {
            const uint32_t x = rightward ? k : width_ - 1 - k;
            const uint32_t at = x + kMargin;
            const Lab& e = here[at];
            const float light = luminanceOfL(in[x].L) + bounded(e.L, -kLightBound, kLightBound) / 100;
            const Lab want{lightnessOfY(tables_, light), in[x].a + bounded(e.a, -kChromaBound, kChromaBound),
                           in[x].b + bounded(e.b, -kChromaBound, kChromaBound)};
            const uint8_t ink = nearest(want);
            out[x] = ink;
            const Lab& got = inks_.lab[ink];
            const Lab err{100 * (light - inks_.light[ink]), kChromaKept * (want.a - got.a),
                          kChromaKept * (want.b - got.b)};
            const auto spread = [&err](Lab& to, float w) {
                to.L += err.L * w;
                to.a += err.a * w;
                to.b += err.b * w;
            };
            spread(here[at + dir], 7.0f / 16);
            spread(next[at - dir], 3.0f / 16);
            spread(next[at], 5.0f / 16);
            spread(next[at + dir], 1.0f / 16);
        }
        // The next row's errors move up; what fell off the edges is dropped.
        std::swap(errors_[0], errors_[1]);
        std::fill(errors_[1].begin(), errors_[1].end(), Lab{0, 0, 0});
        calm_ = std::all_of(here.begin(), here.end(), [](const Lab& e) { return e.L == 0 && e.a == 0 && e.b == 0; });
    }

    // Each pixel's shares of highlight, black and paper, from its chroma
    // along the highlight's hue and its light, are laid against an 8 x 8
    // Bayer threshold anchored to the page: the same pixels give the same
    // dots wherever they are cut.
    void ordered(const Lab* in, uint8_t* out, uint64_t y) {
        for (uint32_t x = 0; x < width_; ++x) out[x] = orderedInk(in[x], bayer(x, static_cast<uint32_t>(y)));
    }

    uint8_t orderedInk(const Lab& c, uint32_t level) const {
        const float threshold = (static_cast<float>(level) + 0.5f) / 64;
        float highlight = 0;
        if (inks_.count == 3) {
            const float along = c.a * inks_.hueA + c.b * inks_.hueB;
            const float across = std::abs(c.a * inks_.hueB - c.b * inks_.hueA);
            highlight = bounded((along - 0.5f * across) / inks_.chroma, 0, 1);
        }
        const float paper = bounded(luminanceOfL(c.L) - inks_.light[kInkHighlight] * highlight, 0, 1 - highlight);
        const float black = 1 - highlight - paper;
        return threshold < black ? kInkBlack : threshold < black + highlight ? kInkHighlight : kInkPaper;
    }


    const ColourTables& tables_ = tables();
    uint32_t width_;
    Method method_;
    Inks inks_;
    std::vector<Lab> errors_[2];
    bool calm_ = true;  // no error carried into the next row
    uint64_t rows_ = 0;
};

Separator::Separator(uint32_t width, const SeparationSettings& settings)
    : width_(width), settings_(settings), tone_(toneCurve(settings)) {
    for (auto& r : rows_) r.resize(width);
    work_.resize(width);
    dither_ = std::make_unique<Dither>(width, settings);
    const uint8_t white[3] = {255, 255, 255};
    toLabOne(white, white_);
}

Separator::~Separator() = default;

void Separator::toLab(const uint8_t* rgb, Lab* out) const {
    for (uint32_t x = 0; x < width_; ++x, rgb += 3) {
        // A pixel like the one before it has its colour already: paper, flat
        // fills and the blank end of a page are mostly such runs.
        if (x > 0 && std::memcmp(rgb, rgb - 3, 3) == 0) {
            out[x] = out[x - 1];
            continue;
        }
        toLabOne(rgb, out[x]);
    }
}

void Separator::toLabOne(const uint8_t* rgb, Lab& out) const {
    out = labOf(tables(), rgb[0], rgb[1], rgb[2]);
    out.L = applyTone(tone_, out.L);
}

void Separator::finishRow(const Lab* above, const Lab* row, const Lab* below, uint8_t* inks) {
    const Lab* source = row;
    if (settings_.sharpen > 0) {
        // Unsharp mask on lightness: each pixel is pushed away from the
        // average of its 3 x 3 neighbourhood, twice the difference at 100,
        // so that fine edges survive the scatter of the dots.
        const float gain = 2 * static_cast<float>(settings_.sharpen) / 100;
        const uint32_t last = width_ - 1;
        for (uint32_t x = 0; x < width_; ++x) {
            const uint32_t l = x == 0 ? 0 : x - 1, r = x == last ? last : x + 1;
            const float blur = (above[l].L + 2 * above[x].L + above[r].L + 2 * row[l].L + 4 * row[x].L +
                                2 * row[r].L + below[l].L + 2 * below[x].L + below[r].L) /
                               16;
            work_[x] = row[x];
            work_[x].L = bounded(row[x].L + gain * (row[x].L - blur), 0, 100);
        }
        source = work_.data();
    }
    dither_->row(source, inks, rowsOut_++);
}

bool Separator::push(const uint8_t* rgb, uint8_t* inks) {
    // White rows (the margins of a page, the paper between its parts) skip
    // the colour conversion and, where it keeps the dots, the dither.
    const size_t bytes = 3 * static_cast<size_t>(width_);
    if (settings_.sharpen == 0 && rgb[0] == 0xFF && std::memcmp(rgb, rgb + 1, bytes - 1) == 0 &&
        dither_->whiteRow(white_, inks)) {
        ++rowsIn_, ++rowsOut_;
        return true;
    }
    // rows_[0] the row before the last, rows_[1] the last, rows_[2] this one.
    std::swap(rows_[0], rows_[1]);
    std::swap(rows_[1], rows_[2]);
    toLab(rgb, rows_[2].data());
    ++rowsIn_;
    if (settings_.sharpen == 0) {
        finishRow(nullptr, rows_[2].data(), nullptr, inks);
        return true;
    }
    if (rowsIn_ == 1) return false;
    // The top row is its own neighbour above.
    const Lab* above = rowsIn_ == 2 ? rows_[1].data() : rows_[0].data();
    finishRow(above, rows_[1].data(), rows_[2].data(), inks);
    return true;
}

bool Separator::flush(uint8_t* inks) {
    if (flushed_) return false;
    flushed_ = true;
    if (settings_.sharpen == 0 || rowsIn_ == 0) return false;
    // The bottom row is its own neighbour below.
    const Lab* above = rowsIn_ == 1 ? rows_[2].data() : rows_[1].data();
    finishRow(above, rows_[2].data(), rows_[2].data(), inks);
    return true;
}

int32_t separateBitmap(const char* source, const char* destination, const SeparationSettings& settings) {
    Bitmap src;
    if (int32_t r = openHeader(source, Open::Read, Accept{true, true, true}, src); r != kOk) return r;
    const BmpLayout& layout = src.in.layout;
    const uint32_t W = layout.width, H = layout.height, bits = layout.bits;
    if (W == 0 || H == 0) return kFormat;
    constexpr uint32_t kEntries = 256;
    constexpr uint32_t kPixelOffset = kNormalPaletteOffset + 4 * kEntries;
    // Refused before the source's pixels are read or any memory is taken.
    if (!outputFits(W, H, 8, kPixelOffset)) return kNoMem;

    // The source's information header and palette; entries the file does
    // not hold stay black, as everywhere else.
    uint8_t sourceInfo[kInfoHeaderSize];
    std::array<uint8_t, 4 * kEntries> entries{};
    if (!src.in.file.readAt(kFileHeaderSize, sourceInfo, sizeof sourceInfo) ||
        !src.in.file.readAt(layout.paletteOffset, entries.data(), 4 * size_t{layout.paletteCount}))
        return kMap;
    std::array<uint8_t, 3 * kEntries> palette{};  // red, green, blue
    for (uint32_t i = 0; i < kEntries; ++i) {
        palette[3 * i] = entries[4 * i + 2];
        palette[3 * i + 1] = entries[4 * i + 1];
        palette[3 * i + 2] = entries[4 * i];
    }

    const size_t stride = static_cast<size_t>(strideFor(W, 8));
    Buffer pixels;
    if (!pixels.allocate(stride * H)) return kNoMem;
    // The source a band of about 1 MB at a time, top band first.
    const uint32_t band = static_cast<uint32_t>(std::clamp<size_t>((size_t{1} << 20) / layout.stride, 1, H));
    RowReader in(src.in, band);
    Separator separator(W, settings);
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(W));
    // Finished rows come out top row first; the file stores the bottom row first.
    uint32_t done = 0;
    const auto next = [&] { return pixels.data.get() + static_cast<size_t>(H - 1 - done) * stride; };
    const auto place = [&](bool ready) {
        if (!ready) return;
        std::memset(next() + W, 0, stride - W);
        ++done;
    };
    for (uint32_t top = 0; top < H; top += band) {
        const uint32_t n = std::min(band, H - top);
        if (!in.read(H - top - n, n)) return kMap;
        for (uint32_t k = 0; k < n; ++k) {
            const uint8_t* row = in.row(H - 1 - top - k);
            uint8_t* p = rgb.data();
            if (bits == 24) {
                for (uint32_t x = 0; x < W; ++x, row += 3, p += 3) {
                    p[0] = row[2];
                    p[1] = row[1];
                    p[2] = row[0];
                }
            } else {
                withBits(bits, [&](auto b) {
                    for (uint32_t x = 0; x < W; ++x, p += 3) std::memcpy(p, &palette[3 * getIndex(row, x, b)], 3);
                });
            }
            place(separator.push(rgb.data(), next()));
        }
    }
    if (done < H) place(separator.flush(next()));

    OutputFile out;
    if (!out.create(destination)) return kCreate;
    Writer w(out);
    const uint32_t imageSize = static_cast<uint32_t>(stride * H);
    writeFileHeader(w, kPixelOffset + imageSize, 0, kPixelOffset);
    InfoHeader info(sourceInfo);
    info.set32(off::height, H)
        .set16(off::bitCount, 8)
        .set32(off::compression, 0)
        .set32(off::imageSize, imageSize)
        .set32(off::colorsUsed, 0)
        .set32(off::colorsImportant, 0);
    w.put(info.b, sizeof info.b);
    // Entry i is ink code i, each flagged as a printer colour already; a
    // picture for black only has no highlight entry.
    const Bgr highlight = settings.paperKind == 2 ? kPureBlue : kPureRed;
    const Bgr inks[] = {kWhite, kBlack, highlight};
    const uint32_t used = settings.paperKind == 0 ? 2 : 3;
    for (uint32_t i = 0; i < used; ++i) {
        const uint8_t entry[4] = {inks[i].b, inks[i].g, inks[i].r, 1};
        w.put(entry, 4);
    }
    w.zeros(4 * (kEntries - used));
    w.put(pixels.data.get(), stride * H);
    return w.flush() && out.commit() ? kOk : kIo;
}

}  // namespace pixmill
