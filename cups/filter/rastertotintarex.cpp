// rastertotintarex: the CUPS filter of the Tintarex receipt printers.  It
// reads CUPS raster (8-bit RGB or grey, as tintarex.ppd asks for) and writes
// the printer's raster-line commands; the pages themselves are rasterjob.cpp.
//
// A cancelled job (SIGTERM) ends on a whole line followed by the paper feed
// that ends a cancelled print in Rastiv, so the printer is never left inside
// a command.
//
// Pictures come here too (tintarex.drv sends the picture formats here rather
// than to CUPS's imagetoraster): imagetoraster turns a landscape picture on
// its side to fill the page unless the job names an orientation, and a roll
// has no page to fill.  It still makes the raster, run from here and told to
// keep the picture upright unless the job chose an orientation itself.
//
//   rastertotintarex job user title copies options [file]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Starts imagetoraster on the job's picture (the file, or our standard
// input) and returns the end of the pipe its raster comes out of; -1 when
// it cannot be started.
int rasterOfPicture(char* argv[], int argc, pid_t& child) {
    cups_option_t* parsed = nullptr;
    const int count = cupsParseOptions(argv[5], 0, &parsed);
    std::string options = argv[5];
    if (!cupsGetOption("orientation-requested", count, parsed) && !cupsGetOption("landscape", count, parsed))
        options += " orientation-requested=3";  // portrait: upright
    cupsFreeOptions(count, parsed);
    const char* serverBin = std::getenv("CUPS_SERVERBIN");
    const std::string program = std::string(serverBin ? serverBin : "/usr/lib/cups") + "/filter/imagetoraster";
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return -1;
    child = ::fork();
    if (child == 0) {
        ::signal(SIGPIPE, SIG_DFL);  // it ends when we stop reading
        ::dup2(pipe[1], STDOUT_FILENO);
        char* args[] = {argv[0], argv[1], argv[2], argv[3], argv[4], options.data(), argc == 7 ? argv[6] : nullptr,
                        nullptr};
        ::execv(program.c_str(), args);
        std::fprintf(stderr, "ERROR: Unable to run %s: %s\n", program.c_str(), std::strerror(errno));
        ::_exit(1);
    }
    ::close(pipe[1]);
    if (child < 0) {
        ::close(pipe[0]);
        return -1;
    }
    return pipe[0];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return 1;
    }
    const char* type = std::getenv("CONTENT_TYPE");
    const bool picture = type && std::strncmp(type, "image/", 6) == 0;
    pid_t child = -1;
    int fd = STDIN_FILENO;
    if (picture && (fd = rasterOfPicture(argv, argc, child)) < 0) {
        std::fprintf(stderr, "ERROR: Unable to convert the picture to raster: %s\n", std::strerror(errno));
        return 1;
    }
    if (!picture && argc == 7 && (fd = ::open(argv[6], O_RDONLY | O_CLOEXEC)) < 0) {
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
    int status = tintarex::printRaster(raster, out, tintarex::Limits{}, gCancelled, stderr);
    cupsRasterClose(raster);
    if (fd != STDIN_FILENO) ::close(fd);
    if (child > 0) {
        // Not read to its end (refused): imagetoraster stops on the closed pipe.
        // Cancelled: it may still be reading a large picture, so it is told.
        if (gCancelled) ::kill(child, SIGTERM);
        int converted = 0;
        while (::waitpid(child, &converted, 0) < 0 && errno == EINTR) {
        }
        if (status == 0 && !gCancelled && !(WIFEXITED(converted) && WEXITSTATUS(converted) == 0)) {
            std::fputs("ERROR: The picture could not be converted to raster.\n", stderr);
            status = 1;
        }
    }
    return status;
}
