// A receipt page of CUPS raster through rastertotintarex to the printer's
// bytes: the time a page takes and the filter's peak memory.  A benchmark,
// never a test.
//
//   raster_bench [rows (3000)] [runs (5)]
#include <cups/raster.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const unsigned rows = argc > 1 ? unsigned(std::atoi(argv[1])) : 3000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const unsigned width = 576;
    char path[] = "/tmp/raster_bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return 1;
    // A photo-like page: smooth tones in both inks' hues, with detail.
    cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    cups_page_header2_t h{};
    h.HWResolution[0] = h.HWResolution[1] = 203;
    h.cupsWidth = width, h.cupsHeight = rows, h.cupsBitsPerColor = 8, h.cupsBitsPerPixel = 24;
    h.cupsBytesPerLine = width * 3, h.cupsColorSpace = CUPS_CSPACE_RGB, h.cupsNumColors = 3, h.cupsMediaType = 1;
    cupsRasterWriteHeader2(r, &h);
    std::vector<unsigned char> line(h.cupsBytesPerLine);
    for (unsigned y = 0; y < rows; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const double t = 0.5 + 0.5 * std::sin(x * 0.02 + y * 0.013) * std::cos(y * 0.007);
            line[x * 3] = static_cast<unsigned char>(255 * t);
            line[x * 3 + 1] = static_cast<unsigned char>(255 * t * t);
            line[x * 3 + 2] = static_cast<unsigned char>(255 * t * (1 - t) * 2);
        }
        cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine);
    }
    cupsRasterClose(r);
    ::close(fd);

    std::vector<double> ms;
    long bytes = 0;
    for (int i = 0; i < runs; ++i) {
        const std::string out = std::string(path) + ".out";
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(o, 1);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, 2);
            ::execl(RASTERTOTINTAREX, "rastertotintarex", "1", "bench", "page", "1", "", path, nullptr);
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "the filter failed (status %d)\n", status);
            return 1;
        }
        FILE* f = std::fopen(out.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        bytes = std::ftell(f);
        std::fclose(f);
        ::unlink(out.c_str());
    }
    ::unlink(path);
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    std::sort(ms.begin(), ms.end());
    std::printf("%u x %u page, photo separation on red paper: %ld bytes for the printer\n", width, rows, bytes);
    std::printf("median %.1f ms, best %.1f ms over %d runs; filter's peak memory %ld KiB\n", ms[ms.size() / 2],
                ms.front(), runs, usage.ru_maxrss);
    return 0;
}
