// Times Convert24to8Bits on one file through the public interface.
//
//   convert_bench IN.bmp OUT.bmp [RUNS]
//
// Prints each run's time in seconds and then the median, the way
// convert_bench.sh reads it.  Exits with the conversion's code when it fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pixmill/pixmill.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IN.bmp OUT.bmp [RUNS]\n", argv[0]);
        return 2;
    }
    int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        int32_t code = Convert24to8Bits(argv[1], argv[2]);
        auto t1 = std::chrono::steady_clock::now();
        if (code != 0) {
            std::fprintf(stderr, "Convert24to8Bits returned %d\n", code);
            return code;
        }
        seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
        std::printf("run %d: %.3f s\n", i + 1, seconds.back());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("median: %.3f s\n", seconds[seconds.size() / 2]);
    return 0;
}
