#include "printerapp/testpage.hpp"

#include <png.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace rastiv::printerapp {

namespace {

constexpr unsigned kWidth = 576;  // the printer's line
constexpr unsigned kBand = 48;    // rows of each part

// Row y of the sample, 8-bit sRGB: black squares, the highlight across the
// line, then a tone from paper through the highlight to black for the
// photo treatment; whatever the paper, each of its inks shows.
void sampleRow(unsigned y, unsigned char* rgb) {
    for (unsigned x = 0; x < kWidth; ++x) {
        std::array<unsigned char, 3> c{255, 255, 255};
        if (y < kBand) {
            if ((x / kBand + y / (kBand / 2)) % 2 == 0) c = {0, 0, 0};
        } else if (y < 2 * kBand) {
            c = {255, 0, 0};
        } else if (y >= 3 * kBand) {
            const unsigned t = x * 510 / (kWidth - 1);  // 0..510: paper, highlight, black
            const auto v = static_cast<unsigned char>(t <= 255 ? 255 - t : 0);
            c = t <= 255 ? std::array<unsigned char, 3>{255, v, v}
                         : std::array<unsigned char, 3>{static_cast<unsigned char>(510 - t), 0, 0};
        }
        std::memcpy(rgb + 3 * x, c.data(), 3);
    }
}

}  // namespace

const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t bufsize) {
    const int fd = papplPrinterOpenFile(printer, buffer, bufsize, nullptr, "testpage", "png", "w");
    if (fd < 0) return nullptr;
    constexpr unsigned kRows = 4 * kBand;
    std::vector<unsigned char> pixels(size_t(3) * kWidth * kRows);
    for (unsigned y = 0; y < kRows; ++y) sampleRow(y, pixels.data() + size_t(3) * kWidth * y);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kRows;
    image.format = PNG_FORMAT_RGB;
    FILE* file = ::fdopen(fd, "wb");
    bool ok = file && png_image_write_to_stdio(&image, file, 0, pixels.data(), 0, nullptr);
    if (file ? std::fclose(file) != 0 : ::close(fd) != 0) ok = false;
    if (!ok) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Unable to write the test page '%s'.", buffer);
        ::unlink(buffer);
        return nullptr;
    }
    return buffer;
}

}  // namespace rastiv::printerapp
