// The small exports: checks, the plain copy and the flag reset.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ops.hpp"

namespace pixmill {

int32_t isBitmap(const char* path) {
    MappedInput in;
    return in.open(path, true) == kOk && BmpView::hasSignature(in.map.bytes()) ? 1 : 0;
}

int32_t is24BitsPerPixel(const char* path) {
    // A user's own file: larger information headers and top-down rows are
    // fine, since the conversion reads them correctly.
    Bitmap bmp;
    return openBitmap(path, Open::Edit, Accept{false, true, true}, bmp) == kOk ? 1 : 0;
}

int32_t isRBWBitmap(const char* path) {
    Bitmap bmp;
    if (openBitmap(path, Open::Edit, kPaletteOnly, bmp) != kOk) return 0;
    const BmpView& v = bmp.view;
    zeroColourCounts(v);
    // Finds whether a used colour is other than black, white or pure red.
    // The answer is not reported: callers rely only on the header fields above.
    bool used[256] = {};
    for (uint32_t y = 0; y < v.height(); ++y)
        for (uint32_t x = 0; x < v.width(); ++x) used[getIndex(v.row(y), x, v.bits())] = true;
    for (uint32_t i = 0; i < v.paletteSize(); ++i) {
        Bgr c = bgrOf(v.entry(i));
        if (used[i] && !(c == kBlack || c == kWhite || c == kPureRed)) break;
    }
    return 0;
}

int32_t saveBmp(const char* source, const char* destination) {
    File in;
    if (!in.openExisting(source, false, Share::None)) return kOpen;
    File out;
    if (!out.create(destination)) return kOpen;
    std::vector<uint8_t> buffer(10000);
    for (;;) {
        ssize_t n = ::read(in.fd(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return kIo;
        if (n == 0) return kOk;
        for (ssize_t done = 0; done < n;) {
            ssize_t m = ::write(out.fd(), buffer.data() + done, static_cast<size_t>(n - done));
            if (m < 0 && errno == EINTR) continue;
            if (m <= 0) return kIo;
            done += m;
        }
    }
}

int32_t cleanBmp(const char* path) {
    Bitmap bmp;
    if (int32_t r = openBitmap(path, Open::Edit, kPaletteOnly, bmp); r != kOk) return r;
    for (uint32_t i = 0; i < bmp.view.paletteCount(); ++i) bmp.view.mutableEntry(i)[3] = 0;
    return kOk;
}

}  // namespace pixmill
