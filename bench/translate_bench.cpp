// Times the library work of one automatic colour translation run: the calls
// the "Color Translation" dialog makes, through the public interface, on a
// 576 x 400 photo-like picture reduced to 5 colours, at speed 500 and 50.
//
//   translate_bench [RUNS] [--trace FILE]
//
// RUNS (default 5) fresh copies of the picture are translated per speed; each
// line gives the number of library calls and the median wall time (and the
// median CPU time of the process), then the result.  With
// --trace, one extra untimed run per speed writes every call, its result and
// out-values, and an FNV-1a hash of the whole file after it, so that two
// builds of the library can be compared call by call (diff the two traces).
//
// A benchmark, not a test: nothing here fails on a slow machine.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "pixmill/pixmill.h"

namespace {

constexpr int kWidth = 576;   // one full printer line
constexpr int kHeight = 400;
constexpr int kUserColours = 5;  // the dialog's default
constexpr int32_t kThresholdLimit = 30000;

using Bytes = std::vector<uint8_t>;

// Diamond-square plasma on a 1025 x 1025 grid, integers only, so that every
// machine makes the same picture.  Values end up in 0..255.
std::vector<int> plasma(uint32_t seed) {
    constexpr int n = 1025;
    std::mt19937 rng(seed);
    auto jitter = [&](int amplitude) { return static_cast<int>(rng() % (2u * amplitude + 1)) - amplitude; };
    std::vector<int> g(static_cast<size_t>(n) * n);
    auto at = [&](int x, int y) -> int& { return g[static_cast<size_t>(y) * n + x]; };
    for (int y : {0, n - 1})
        for (int x : {0, n - 1}) at(x, y) = static_cast<int>(rng() % 65536);
    int amplitude = 32768;
    for (int step = n - 1; step > 1; step /= 2, amplitude = amplitude * 3 / 4 + 1) {
        const int half = step / 2;
        for (int y = half; y < n; y += step)
            for (int x = half; x < n; x += step)
                at(x, y) = (at(x - half, y - half) + at(x + half, y - half) + at(x - half, y + half) +
                            at(x + half, y + half)) / 4 + jitter(amplitude);
        for (int y = 0; y < n; y += half) {
            for (int x = (y / half) % 2 == 0 ? half : 0; x < n; x += step) {
                int sum = 0, count = 0;
                if (x >= half) sum += at(x - half, y), ++count;
                if (x + half < n) sum += at(x + half, y), ++count;
                if (y >= half) sum += at(x, y - half), ++count;
                if (y + half < n) sum += at(x, y + half), ++count;
                at(x, y) = sum / count + jitter(amplitude);
            }
        }
    }
    for (int& v : g) v = std::clamp(v, 0, 65535) >> 8;
    return g;
}

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A 24-bit picture: one plasma per channel plus a little per-pixel noise, the
// way a photograph is smooth and grainy at once.
Bytes photo() {
    const std::vector<int> red = plasma(1), green = plasma(2), blue = plasma(3);
    const uint32_t stride = kWidth * 3;  // already a multiple of 4
    Bytes b(54 + static_cast<size_t>(stride) * kHeight, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<uint32_t>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, kWidth);
    put32(b, 22, kHeight);
    b[26] = 1;
    b[28] = 24;
    put32(b, 34, stride * kHeight);
    std::mt19937 rng(4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const size_t g = static_cast<size_t>(y) * 1025 + x;
            uint8_t* p = b.data() + 54 + static_cast<size_t>(y) * stride + 3 * x;
            const int channel[3] = {blue[g], green[g], red[g]};
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(channel[c] + static_cast<int>(rng() % 13) - 6, 0, 255));
        }
    }
    return b;
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// User and system time of this process: on a shared machine it says what the
// calls cost with less of the neighbours' noise than the wall clock.
double processCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

uint64_t fnv1a(const Bytes& bytes) {
    uint64_t h = 0xcbf29ce484222325u;
    for (uint8_t c : bytes) h = (h ^ c) * 0x100000001b3u;
    return h;
}

// Counts the calls and, when tracing, logs each with the file it left behind.
class Library {
public:
    Library(const std::string& path, FILE* trace) : path_(path), trace_(trace) {}

    int32_t mergeBandW() { return log(MergeBandW(path_.c_str()), "MergeBandW()"); }
    int32_t numColors(int32_t white, int32_t black) {
        return log(NumColors(path_.c_str(), white, black), "NumColors(%d,%d)", white, black);
    }
    int32_t findMajorColor(int32_t rank, int32_t white, int32_t black, uint32_t& colour, int32_t& percent) {
        int32_t r = FindMajorColor(path_.c_str(), rank, white, black, &colour, &percent);
        return log(r, "FindMajorColor(%d,%d,%d) colour %08x percent %d", rank, white, black, r == 0 ? colour : 0,
                   r == 0 ? percent : -1);
    }
    int32_t mergeColors(uint32_t colour, int32_t threshold) {
        return log(MergeColors(path_.c_str(), colour, threshold), "MergeColors(%08x,%d)", colour, threshold);
    }
    long calls() const { return calls_; }

private:
    template <typename... A>
    int32_t log(int32_t result, const char* format, A... args) {
        ++calls_;
        if (trace_) {
            std::fprintf(trace_, "%ld ", calls_);
            std::fprintf(trace_, format, args...);
            std::fprintf(trace_, " = %d file %016llx\n", result,
                         static_cast<unsigned long long>(fnv1a(readFile(path_))));
        }
        return result;
    }

    std::string path_;
    FILE* trace_;
    long calls_ = 0;
};

struct Outcome {
    long calls = 0;
    int32_t error = 0;             // the library's code when the run stopped on one
    std::vector<uint32_t> colours; // handed to manual mapping, most frequent first
    std::vector<int32_t> percents;
};

// One translation run as the dialog makes it:
//
//   MergeBandW
//   threshold = speed
//   pass:  rank = 1
//          repeat:  n = NumColors(ignore white, ignore black)
//                   if n <= wanted colours: collect
//                   FindMajorColor(rank, ignore white and black)
//                   if it returns 18: threshold += speed, next pass
//                   if threshold > 30000: collect
//                   MergeColors(that colour, threshold)
//                   rank += 1
//   collect: FindMajorColor(k, counting white and black) for k = 1, 2, ...
//            until it returns 18
//
// Any other non-zero result ends the run as an error, before collecting.
Outcome translate(const std::string& path, int32_t speed, FILE* trace) {
    Library lib(path, trace);
    Outcome out;
    auto finish = [&](int32_t error) {
        out.calls = lib.calls();
        out.error = error;
        return out;
    };
    if (int32_t r = lib.mergeBandW(); r != 0) return finish(r);
    int32_t threshold = speed;
    bool collect = false;
    while (!collect) {
        for (int32_t rank = 1;; ++rank) {
            int32_t n = lib.numColors(1, 1);
            if (n == -1) return finish(-1);
            if (n <= kUserColours) {
                collect = true;
                break;
            }
            uint32_t colour = 0;
            int32_t percent = 0;
            int32_t r = lib.findMajorColor(rank, 1, 1, colour, percent);
            if (r == PIXMILL_E_RANK) {
                threshold += speed;
                break;
            }
            if (r != 0) return finish(r);
            if (threshold > kThresholdLimit) {
                collect = true;
                break;
            }
            if (int32_t m = lib.mergeColors(colour, threshold); m != 0) return finish(m);
        }
    }
    for (int32_t k = 1;; ++k) {
        uint32_t colour = 0;
        int32_t percent = 0;
        int32_t r = lib.findMajorColor(k, 0, 0, colour, percent);
        if (r == PIXMILL_E_RANK) break;
        if (r != 0) return finish(r);
        out.colours.push_back(colour);
        out.percents.push_back(percent);
    }
    return finish(0);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    const char* tracePath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0 && i + 1 < argc)
            tracePath = argv[++i];
        else if (std::atoi(argv[i]) > 0)
            runs = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: %s [RUNS] [--trace FILE]\n", argv[0]);
            return 2;
        }
    }

    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/translate-bench-XXXXXX";
    if (!::mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string truecolour = dir + "/photo24.bmp", loaded = dir + "/photo8.bmp", work = dir + "/tmpfile.bmp";
    writeFile(truecolour, photo());
    // The program converts a true-colour picture into its working bitmap on load.
    if (int32_t r = Convert24to8Bits(truecolour.c_str(), loaded.c_str()); r != 0) {
        std::fprintf(stderr, "Convert24to8Bits returned %d\n", r);
        return 1;
    }
    const Bytes original = readFile(loaded);
    std::printf("%d x %d photo-like picture, %d colours after loading, reduced to %d; %d runs per speed\n", kWidth,
                kHeight, NumColors(loaded.c_str(), 0, 0), kUserColours, runs);

    FILE* trace = tracePath ? std::fopen(tracePath, "w") : nullptr;
    if (tracePath && !trace) {
        std::perror(tracePath);
        return 1;
    }
    int status = 0;
    for (int32_t speed : {500, 50}) {
        if (trace) {
            std::fprintf(trace, "speed %d\n", speed);
            writeFile(work, original);
            translate(work, speed, trace);
        }
        std::vector<double> seconds, cpuSeconds;
        Outcome outcome;
        for (int i = 0; i < runs; ++i) {
            writeFile(work, original);
            const double cpu0 = processCpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            outcome = translate(work, speed, nullptr);
            const auto t1 = std::chrono::steady_clock::now();
            cpuSeconds.push_back(processCpuSeconds() - cpu0);
            seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpuSeconds.begin(), cpuSeconds.end());
        std::printf("speed %5d: %6ld calls, median %.3f s (fastest %.3f, slowest %.3f; CPU %.3f s)\n", speed,
                    outcome.calls, seconds[seconds.size() / 2], seconds.front(), seconds.back(),
                    cpuSeconds[cpuSeconds.size() / 2]);
        std::printf("             result file %016llx,", static_cast<unsigned long long>(fnv1a(readFile(work))));
        if (outcome.error != 0) {
            std::printf(" stopped on error %d\n", outcome.error);
            status = 1;
            continue;
        }
        std::printf(" %zu colours:", outcome.colours.size());
        for (size_t k = 0; k < outcome.colours.size(); ++k)
            std::printf(" %08x %d%%", outcome.colours[k], outcome.percents[k]);
        std::printf("\n");
    }
    if (trace) std::fclose(trace);
    std::remove(truecolour.c_str());
    std::remove(loaded.c_str());
    std::remove(work.c_str());
    ::rmdir(dir.c_str());
    return status;
}
