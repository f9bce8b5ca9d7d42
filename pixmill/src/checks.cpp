// The small exports: checks, the plain copy and the flag reset.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ops.hpp"

namespace pixmill {

int32_t isBitmap(const char* path) {
    File file;
    if (file.openExisting(path, Access::PreferReadWrite, Share::None) != OpenProblem::None) return 0;
    uint8_t signature[2];
    // An empty or one-byte file has no signature to read.
    return file.size() >= 2 && file.readAt(0, signature, 2) && BmpView::hasSignature(signature) ? 1 : 0;
}

int32_t is24BitsPerPixel(const char* path) {
    // A user's own file: larger information headers and top-down rows are
    // fine, since the conversion reads them correctly.  The header says it
    // all: the pixel rows are never read.
    Bitmap bmp;
    return openHeader(path, Open::Inspect, Accept{false, true, true}, bmp) == kOk ? 1 : 0;
}

int32_t isRBWBitmap(const char* path) {
    EditBitmap bmp;
    if (openForEdit(path, kPaletteOnly, bmp) != kOk) return 0;
    const MutableBmpView& v = bmp.view;
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
    bmp.save(0);
    return 0;
}

int32_t saveBmp(const char* source, const char* destination) {
    File in;
    if (in.openExisting(source, Access::Read, Share::None) != OpenProblem::None) return kOpen;
    OutputFile out;
    if (!out.create(destination)) return kOpen;
    std::vector<uint8_t> buffer(10000);
    for (;;) {
        ssize_t n = ::read(in.fd(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return kIo;
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t m = ::write(out.fd(), buffer.data() + done, static_cast<size_t>(n - done));
            if (m < 0 && errno == EINTR) continue;
            if (m <= 0) return kIo;
            done += m;
        }
    }
    return out.commit() ? kOk : kIo;
}

int32_t cleanBmp(const char* path) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    for (uint32_t i = 0; i < bmp.view.paletteCount(); ++i) bmp.view.mutableEntry(i)[3] = 0;
    return bmp.save(kOk);
}

}  // namespace pixmill
