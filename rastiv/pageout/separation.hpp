// How a picture's tones become dots of paper, black and the highlight ink:
// the settings of the library's separation, as the Photo dialog, the
// command-line tool, the CUPS filter and the printer application all hand
// them over.  The library's C interface and the C++ library only.
#pragma once

#include <pixmill/pixmill.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace rastiv {

// A PixmillSeparation.
enum class SeparationMethod : int32_t {
    Diffusion = PIXMILL_SEPARATE_DIFFUSION,
    Ordered = PIXMILL_SEPARATE_ORDERED,
    Nearest = PIXMILL_SEPARATE_NEAREST,
};

// Every method once, in the order a list offers them, the default first:
// its name on a command line, its caption in a dialog, and what it is for
// in a command's help.
struct SeparationMethodName {
    SeparationMethod method;
    const char* name;
    const char* caption;
    const char* use;
};
inline constexpr SeparationMethodName kSeparationMethods[] = {
    {SeparationMethod::Diffusion, "diffusion", "Diffusion (photographs)", "photographs, the default"},
    {SeparationMethod::Ordered, "ordered", "Ordered (line art, same dots)", "line art; the same dots on every run"},
    {SeparationMethod::Nearest, "nearest", "Nearest (graphics, no dither)", "no dither: text and graphics"},
};

// The method of a name, in any case; empty for a name of none.
inline std::optional<SeparationMethod> separationMethodNamed(std::string_view name) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (const SeparationMethodName& m : kSeparationMethods) {
        const std::string_view n(m.name);
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n.size() && same; ++i) same = n[i] == lower(name[i]);
        if (same) return m.method;
    }
    return std::nullopt;
}

struct SeparationSettings {
    SeparationMethod method = SeparationMethod::Diffusion;
    int32_t brightness = 0;  // -100..100
    int32_t contrast = 0;    // -100..100
    int32_t gamma = 100;     // hundredths, 10..1000
    int32_t sharpen = 0;     // 0..100
    bool operator==(const SeparationSettings&) const = default;
};

}  // namespace rastiv
