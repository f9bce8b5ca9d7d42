#include "printerapp/statefile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rastiv::printerapp {

namespace {

// A state file holds printers, their settings and up to MaxCompletedJobs
// jobs a printer: a few hundred kilobytes.  Anything far larger is not one.
constexpr off_t kMaxStateBytes = off_t(64) << 20;

bool readAll(int fd, std::string& text, mode_t& mode) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxStateBytes) return false;
    text.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    text.resize(got);  // a file that shrank meanwhile is taken as read
    mode = st.st_mode & 07777;
    return true;
}

bool writeAll(int fd, const std::string& text) {
    for (size_t put = 0; put < text.size();) {
        const ssize_t n = ::write(fd, text.data() + put, text.size() - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        put += size_t(n);
    }
    return ::fsync(fd) == 0;
}

}  // namespace

bool holdUnfinishedJobs(const std::string& stateFile) {
    const int fd = ::open(stateFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT;  // the first run: nothing to do
    std::string text;
    mode_t mode = 0600;
    const bool read = readAll(fd, text, mode);
    ::close(fd);
    if (!read) return false;
    // Job lines read `Job ... state="N" ...`: 3 pending, 5 processing and 6
    // processing-stopped become 4, held (IPP's job-state values).
    bool changed = false;
    for (size_t line = 0; line < text.size();) {
        size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        if (text.compare(line, 4, "Job ") == 0) {
            for (const char* from : {" state=\"3\"", " state=\"5\"", " state=\"6\""}) {
                const size_t at = text.find(from, line);
                if (at != std::string::npos && at < end) {
                    text[at + 8] = '4';
                    changed = true;
                }
            }
        }
        line = end + 1;
    }
    if (!changed) return true;
    std::string temporary = stateFile + ".XXXXXX";
    const int out = ::mkstemp(temporary.data());
    if (out < 0) return false;
    const bool written = writeAll(out, text) && ::fchmod(out, mode) == 0;
    if (::close(out) != 0 || !written || ::rename(temporary.c_str(), stateFile.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool saveState(pappl_system_t* system, const std::string& stateFile) {
    std::string temporary = stateFile + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    ::close(fd);  // PAPPL writes it by name
    if (!papplSystemSaveState(system, temporary.c_str()) || ::rename(temporary.c_str(), stateFile.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace rastiv::printerapp
