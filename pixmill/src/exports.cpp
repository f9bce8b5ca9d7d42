// The C boundary: each export checks its pointers, calls the internal
// function and returns its code.  No exception crosses this file.
#define PIXMILL_BUILDING 1
#include "pixmill/pixmill.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "diagnose.hpp"
#include "ops.hpp"

namespace {

// Runs f, turning an allocation failure into 15 and anything else into
// `otherwise` (each export knows what a failure looks like to its caller).
template <typename F>
int32_t guarded(int32_t otherwise, F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return otherwise == 0 || otherwise == -1 ? otherwise : pixmill::kNoMem;
    } catch (...) {
        return otherwise;
    }
}

}  // namespace

// The separator behind the streaming exports' opaque handle.
struct PixmillSeparator {
    PixmillSeparator(uint32_t width, const pixmill::SeparationSettings& settings) : impl(width, settings) {}
    pixmill::Separator impl;
};

using namespace pixmill;

extern "C" {

PIXMILL_API int32_t IsBitmap(const char* path) {
    return path ? guarded(0, [&] { return isBitmap(path); }) : 0;
}
PIXMILL_API int32_t Is24BitsPerPixel(const char* path) {
    return path ? guarded(0, [&] { return is24BitsPerPixel(path); }) : 0;
}
PIXMILL_API int32_t IsRBWBitmap(const char* path) {
    return path ? guarded(0, [&] { return isRBWBitmap(path); }) : 0;
}
PIXMILL_API int32_t SaveBMP(const char* source, const char* destination) {
    return source && destination ? guarded(kIo, [&] { return saveBmp(source, destination); }) : kOpen;
}
PIXMILL_API int32_t CleanBMP(const char* path) {
    return path ? guarded(kIo, [&] { return cleanBmp(path); }) : kOpen;
}
PIXMILL_API int32_t Convert24to8Bits(const char* source, const char* destination) {
    if (!source) return kOpen;
    if (!destination) return kCreate;
    return guarded(kIo, [&] { return convert24to8(source, destination); });
}
PIXMILL_API int32_t NumColors(const char* path, int32_t ignoreWhite, int32_t ignoreBlack) {
    return path ? guarded(-1, [&] { return numColors(path, ignoreWhite, ignoreBlack); }) : -1;
}
PIXMILL_API int32_t FindMajorColor(const char* path, int32_t rank, int32_t ignoreWhite, int32_t ignoreBlack,
                                   uint32_t* colour, int32_t* percent) {
    if (!path) return kOpen;
    return guarded(kIo, [&] { return findMajorColor(path, rank, ignoreWhite, ignoreBlack, colour, percent); });
}
PIXMILL_API int32_t MergeColors(const char* path, uint32_t colour, int32_t threshold) {
    // The threshold is compared as an unsigned number: a negative one merges everything near.
    return path ? guarded(kIo, [&] { return mergeColors(path, colour, static_cast<uint32_t>(threshold)); }) : kOpen;
}
PIXMILL_API int32_t MergeBandW(const char* path) {
    return path ? guarded(kIo, [&] { return mergeBandW(path); }) : kOpen;
}
PIXMILL_API int32_t TranslateColors(const char* path, int32_t maxColours, int32_t speed, int32_t limit,
                                    PixmillTranslationStep step, void* user) {
    return path ? guarded(kIo, [&] { return translateColors(path, maxColours, speed, limit, step, nullptr, user); })
                : kOpen;
}
PIXMILL_API int32_t TranslateColorsShown(const char* path, int32_t maxColours, int32_t speed, int32_t limit,
                                         PixmillTranslationStep step, PixmillTranslationShown shown, void* user) {
    return path ? guarded(kIo, [&] { return translateColors(path, maxColours, speed, limit, step, shown, user); })
                : kOpen;
}
PIXMILL_API int32_t MergePixels(const char* path, uint32_t colour) {
    return path ? guarded(kIo, [&] { return mergePixels(path, colour); }) : kOpen;
}
PIXMILL_API int32_t ColorSwap(const char* path, uint32_t source, uint32_t target) {
    return path ? guarded(kIo, [&] { return colorSwap(path, source, target); }) : kOpen;
}
PIXMILL_API int32_t DitheredColorSwap(const char* path, uint32_t source, int32_t code, int32_t paperKind) {
    return path ? guarded(kIo, [&] { return ditheredColorSwap(path, source, code, paperKind); }) : kOpen;
}
PIXMILL_API int32_t Flash(const char* path, uint32_t colour) {
    return path ? guarded(kIo, [&] { return flash(path, colour); }) : kOpen;
}
PIXMILL_API int32_t RotateBitmap(const char* source, const char* destination, int32_t direction) {
    return source && destination ? guarded(kIo, [&] { return rotateBitmap(source, destination, direction); })
                                 : kOpen;
}
PIXMILL_API int32_t StretchBitmap(int32_t newWidth, const char* destination, const char* source) {
    if (!source) return kOpen;
    if (!destination) return kCreate;
    return guarded(kIo, [&] { return stretchBitmap(newWidth, destination, source); });
}
PIXMILL_API int32_t MakeMMBitmap(const char* source, const char* destination, int32_t bottomMargin,
                                 int32_t topMargin, int32_t leftMargin, int32_t rightMargin) {
    if (!source) return kOpen;
    if (!destination) return kCreate;
    return guarded(kIo, [&] {
        return makeMMBitmap(source, destination, bottomMargin, topMargin, leftMargin, rightMargin);
    });
}
PIXMILL_API int32_t SaveBMPAsGfx(const char* source, const char* destination, int32_t paperKind) {
    return source && destination ? guarded(kIo, [&] { return saveAsGfx(source, destination, paperKind); }) : kOpen;
}
PIXMILL_API int32_t SaveBMPAsLogo(const char* source, const char* destination, int32_t paperKind) {
    return source && destination ? guarded(kIo, [&] { return saveAsLogo(source, destination, paperKind); })
                                 : kOpen;
}
PIXMILL_API int32_t EncodeGfxRow(const unsigned char* inks, int32_t width, int32_t paperKind, unsigned char* out,
                                 int32_t* length) {
    return guarded(kNothing, [&] { return encodeGfxRow(inks, width, paperKind, out, length); });
}
PIXMILL_API int32_t SeparateBitmap(const char* source, const char* destination, int32_t paperKind, int32_t method,
                                   int32_t brightness, int32_t contrast, int32_t gamma, int32_t sharpen) {
    SeparationSettings s;
    if (!parseSettings(paperKind, method, brightness, contrast, gamma, sharpen, s)) return kNothing;
    if (!source) return kOpen;
    if (!destination) return kCreate;
    return guarded(kIo, [&] { return separateBitmap(source, destination, s); });
}
PIXMILL_API int32_t SeparatorOpen(PixmillSeparator** separator, int32_t width, int32_t paperKind, int32_t method,
                                  int32_t brightness, int32_t contrast, int32_t gamma, int32_t sharpen) {
    SeparationSettings s;
    if (!separator || width < 1 || static_cast<uint32_t>(width) > kMaxDimension ||
        !parseSettings(paperKind, method, brightness, contrast, gamma, sharpen, s))
        return kNothing;
    return guarded(kNoMem, [&] {
        *separator = new PixmillSeparator(static_cast<uint32_t>(width), s);
        return kOk;
    });
}
PIXMILL_API int32_t SeparatorPushRow(PixmillSeparator* separator, const unsigned char* rgb, unsigned char* inks,
                                     int32_t* ready) {
    if (ready) *ready = 0;
    if (!separator || !rgb || !inks || !ready || separator->impl.flushed()) return kNothing;
    return guarded(kNoMem, [&] {
        *ready = separator->impl.push(rgb, inks) ? 1 : 0;
        return kOk;
    });
}
PIXMILL_API int32_t SeparatorFlush(PixmillSeparator* separator, unsigned char* inks, int32_t* ready) {
    if (ready) *ready = 0;
    if (!separator || !inks || !ready || separator->impl.flushed()) return kNothing;
    *ready = separator->impl.flush(inks) ? 1 : 0;
    return kOk;
}
PIXMILL_API void SeparatorClose(PixmillSeparator* separator) { delete separator; }
PIXMILL_API int32_t DiagnoseBitmap(const char* path, int32_t* reason, char* text, int32_t size) {
    if (!path || !reason || size < 0 || (!text && size > 0)) return kNothing;
    return guarded(kNoMem, [&] {
        const Diagnosis d = diagnose(path);
        *reason = static_cast<int32_t>(d.reason);
        if (size > 0) {
            const size_t n = std::min(d.plainWords.size(), static_cast<size_t>(size) - 1);
            std::memcpy(text, d.plainWords.data(), n);
            text[n] = '\0';
        }
        return kOk;
    });
}
PIXMILL_API int32_t BatchOpenForWrite(const char* path) {
    return path ? guarded(-1, [&] { return batchOpenForWrite(path); }) : -1;
}
PIXMILL_API int32_t BatchOpenForRead(const char* path) {
    return path ? guarded(-1, [&] { return batchOpenForRead(path); }) : -1;
}
// Null pointers are reported like any other bad argument, by the functions themselves.
PIXMILL_API int32_t BatchWrite(int32_t handle, const unsigned char* buffer, int32_t count) {
    return guarded(0, [&] { return batchWrite(handle, buffer, count); });
}
PIXMILL_API int32_t BatchRead(int32_t handle, unsigned char* buffer, int32_t* count, int32_t* pause) {
    return guarded(0, [&] { return batchRead(handle, buffer, count, pause); });
}
PIXMILL_API int32_t BatchClose(int32_t handle) {
    return guarded(0, [&] { return batchClose(handle); });
}
PIXMILL_API void PixmillSetMessageHook(PixmillMessageHook hook, void* user) {
    setMessageHook(hook, user);
}

}  // extern "C"
