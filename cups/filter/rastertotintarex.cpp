// rastertotintarex: the CUPS filter of the Tintarex receipt printers.  It
// reads CUPS raster (8-bit RGB or grey, as tintarex.ppd asks for) and writes
// the printer's raster-line commands; the pages themselves are rasterjob.cpp.
//
// A cancelled job (SIGTERM) ends on a whole line followed by the paper feed
// that ends a cancelled print in Rastiv, so the printer is never left inside
// a command.
//
//   rastertotintarex job user title copies options [file]
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "rasterjob.hpp"

namespace {

volatile sig_atomic_t gCancelled = 0;

void onTerm(int) { gCancelled = 1; }

// The backend's pipe.  A command is written completely even when a signal
// interrupts the write; false once the backend has gone.
class StandardOutput final : public tintarex::Output {
public:
    bool write(const unsigned char* bytes, size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                std::fprintf(stderr, "ERROR: Unable to send print data to the backend: %s\n", std::strerror(errno));
                return false;
            }
            bytes += n;
            size -= size_t(n);
        }
        return true;
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return 1;
    }
    int fd = STDIN_FILENO;
    if (argc == 7 && (fd = ::open(argv[6], O_RDONLY | O_CLOEXEC)) < 0) {
        std::fprintf(stderr, "ERROR: Unable to open the raster file \"%s\": %s\n", argv[6], std::strerror(errno));
        return 1;
    }
    // The backend may stop reading (its printer gone): a failed write says so.
    ::signal(SIGPIPE, SIG_IGN);
    struct sigaction term {};
    term.sa_handler = onTerm;
    term.sa_flags = SA_RESTART;  // a line being written is finished
    sigemptyset(&term.sa_mask);
    sigaction(SIGTERM, &term, nullptr);

    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    StandardOutput out;
    const int status = tintarex::printRaster(raster, out, tintarex::Limits{}, gCancelled, stderr);
    cupsRasterClose(raster);
    if (fd != STDIN_FILENO) ::close(fd);
    return status;
}
