// Writes a starting corpus for one fuzz target: small generated bitmaps (or,
// for the batch target, recordings with pause markers) plus any files named
// on the command line, each behind a few choices of the target's parameter bytes.
//   make_seeds bmp|batch <corpus-dir> <parameter-bytes> [file...]
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bmp_builder.hpp"

using namespace testing_support;

namespace {

const std::string kMarker = "Morvex<PaUsE-pAuSe-PaUsE>xevroM";

std::vector<std::pair<std::string, ByteVec>> bitmaps() {
    std::vector<std::pair<std::string, ByteVec>> out;
    auto checker = [](uint32_t x, uint32_t y) { return (x + y) % 2; };
    out.emplace_back("bw1", BmpBuilder(9, 5, 1).colours({kBlack, kWhite}).each(checker).build());
    BmpBuilder four(7, 3, 4);
    for (uint32_t i = 0; i < 16; ++i) four.entry(i, rgb(uint8_t(i * 17), uint8_t(255 - i * 17), uint8_t(i * 5)));
    four.entry(0, kBlack).entry(1, kWhite).entry(2, kRed).entry(3, kBlue);
    out.emplace_back("odd4", four.each([](uint32_t x, uint32_t y) { return (x * 3 + y) % 16; }).build());
    BmpBuilder eight(13, 6, 8);
    eight.colours({kBlack, kWhite, kRed, kBlue, kRed, rgb(128, 128, 128), rgb(250, 10, 10), kWhite});
    eight.entry(8, rgb(0, 0, 200), 1).entry(9, kBlack, 1);
    out.emplace_back("pal8", eight.each([](uint32_t x, uint32_t y) { return (x * y + x) % 10; }).build());
    out.emplace_back("short8", BmpBuilder(5, 4, 8).colours({kWhite, kRed, kBlack}).storedEntries(3)
                                   .each([](uint32_t x, uint32_t y) { return (x + 2 * y) % 3; }).build());
    out.emplace_back("v5top8", BmpBuilder(6, 3, 8).colours({kWhite, kBlue}).headerSize(124).topDown()
                                   .each(checker).build());
    out.emplace_back("rle8", BmpBuilder(4, 4, 8).compression(1).build());
    out.emplace_back("wide8", BmpBuilder(600, 2, 8).colours({kWhite, kBlack}).each(checker).build());
    out.emplace_back("ink24", BmpBuilder(10, 7, 24).fill(kWhite).pixel(3, 2, kBlack).pixel(6, 4, kRed)
                                  .pixel(7, 5, rgb(1, 2, 3)).build());
    out.emplace_back("grad24", BmpBuilder(33, 9, 24).each([](uint32_t x, uint32_t y) {
        return rgb(uint8_t(x * 7), uint8_t(y * 28), uint8_t((x ^ y) * 5));
    }).build());
    out.emplace_back("one24", BmpBuilder(1, 1, 24).fill(kBlack).build());
    // The refusals the load diagnosis names.
    out.emplace_back("os2", os2Bitmap());
    out.emplace_back("bits16", BmpBuilder(3, 2, 16).build());
    out.emplace_back("fields32", BmpBuilder(3, 2, 32).compression(3).build());
    ByteVec cut = BmpBuilder(7, 5, 8).colours({kBlack, kWhite}).each(checker).build();
    cut.resize(cut.size() - 3);
    out.emplace_back("cut8", cut);
    out.emplace_back("zero24", BmpBuilder(0, 3, 24).build());
    return out;
}

ByteVec text(const std::string& s) { return ByteVec(s.begin(), s.end()); }

std::vector<std::pair<std::string, ByteVec>> recordings() {
    const std::string logo = std::string("\x1d\x22\x01\x1d\x23\x05", 6) + std::string(200, '\x55');
    return {
        {"marker", text(kMarker)},
        {"logo", text(logo + kMarker + "\x1d\x23" + std::string(1, '\0'))},
        {"pauses", text("a" + kMarker + kMarker + "b" + kMarker)},
        {"doubled", text("xM" + kMarker + "Morvex<PaU" + kMarker)},
        {"near", text(kMarker.substr(0, 30) + "!" + kMarker.substr(0, 12))},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string kind = argv[1], dir = argv[2];
    const size_t prefixLen = std::stoul(argv[3]);
    std::filesystem::create_directories(dir);
    auto seeds = kind == "batch" ? recordings() : bitmaps();
    for (int i = 4; i < argc; ++i) seeds.emplace_back(std::filesystem::path(argv[i]).filename().string(), readFile(argv[i]));
    // A few parameter choices per file: small ranks, entries, codes, widths.
    const uint8_t choices[3][6] = {{2, 0, 1, 8, 0x21, 0x12}, {1, 3, 2, 3, 0x00, 0x00}, {4, 6, 0, 2, 0xF3, 0x3F}};
    for (const auto& [name, bytes] : seeds)
        for (int c = 0; c < (prefixLen == 0 ? 1 : 3); ++c) {
            ByteVec seed(choices[c], choices[c] + std::min<size_t>(prefixLen, 6));
            seed.resize(prefixLen, 0);
            seed.insert(seed.end(), bytes.begin(), bytes.end());
            writeFile(dir + "/seed-" + name + "-" + std::to_string(c), seed);
        }
    return 0;
}
