// The tone-preserving separation: a picture's pixels become dots of paper
// white, black and the highlight ink, row by row, top row first.  The file
// export and the streaming exports share this one separator, so both give
// the same dots for the same pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pixmill/pixmill.h"

namespace pixmill {

enum class Method : int32_t {
    Diffusion = PIXMILL_SEPARATE_DIFFUSION,
    Ordered = PIXMILL_SEPARATE_ORDERED,
    Nearest = PIXMILL_SEPARATE_NEAREST,
};

// Ink codes as the streaming exports write them.
enum InkCode : uint8_t { kInkPaper = 0, kInkBlack = 1, kInkHighlight = 2 };

struct SeparationSettings {
    int32_t paperKind = PIXMILL_PAPER_RED;  // or PIXMILL_PAPER_BLUE, PIXMILL_PAPER_BLACK_ONLY
    Method method = Method::Diffusion;
    int32_t brightness = 0;  // -100..100
    int32_t contrast = 0;    // -100..100
    int32_t gamma = 100;     // hundredths, 10..1000
    int32_t sharpen = 0;     // 0..100
};

// False for any argument out of range (the exports' 17).
bool parseSettings(int32_t paperKind, int32_t method, int32_t brightness, int32_t contrast, int32_t gamma,
                   int32_t sharpen, SeparationSettings& out);

// A colour in CIELAB (D65 white, sRGB primaries): white paper is L 100.
struct Lab {
    float L, a, b;
};

class Separator {
public:
    // Throws std::bad_alloc when the row buffers cannot be had.
    Separator(uint32_t width, const SeparationSettings& settings);
    ~Separator();
    Separator(const Separator&) = delete;
    Separator& operator=(const Separator&) = delete;

    uint32_t width() const { return width_; }
    bool flushed() const { return flushed_; }
    // One row of width RGB triplets in; true when a finished row of width
    // ink codes was written to `inks` (sharpening holds one row back).
    bool push(const uint8_t* rgb, uint8_t* inks);
    // The row held back, if any; the separator takes no rows after this.
    bool flush(uint8_t* inks);

private:
    class Dither;
    void toLab(const uint8_t* rgb, Lab* out) const;
    void toLabOne(const uint8_t* rgb, Lab& out) const;
    void finishRow(const Lab* above, const Lab* row, const Lab* below, uint8_t* inks);

    uint32_t width_;
    SeparationSettings settings_;
    std::vector<float> tone_;       // lightness in, lightness out, by tenths of a unit
    std::vector<Lab> rows_[3];      // the last three rows in, for sharpening
    std::vector<Lab> work_;         // the row being dithered
    Lab white_{};                   // white paper (255, 255, 255) after the tone controls
    std::unique_ptr<Dither> dither_;
    uint64_t rowsIn_ = 0;
    uint64_t rowsOut_ = 0;
    bool flushed_ = false;
};

}  // namespace pixmill
