// The serial backend as CUPS runs it, on devices that are not serial lines.
#include <cups/backend.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Runs the backend on a print file for `device`, as root would with no
// test setting in its environment; its exit status and job log.
std::pair<int, std::string> print(const std::string& device) {
    char job[] = "/tmp/backend_test-job-XXXXXX";
    const int fd = ::mkstemp(job);
    EXPECT_EQ(::write(fd, "\x1B@receipt\n", 10), 10);
    ::close(fd);
    const std::string command = "env -u TINTAREX_ALLOW_PSEUDO_TERMINAL DEVICE_URI='tintarex:" + device + "' " +
                                TINTAREX_BACKEND + " 1 user title 1 '' " + job + " 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string log;
    for (int c; (c = std::fgetc(pipe)) != EOF;) log += char(c);
    const int status = ::pclose(pipe);
    ::unlink(job);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, log};
}

// A terminal (another user's session) and a plain file are refused with the
// queue stopped and the reason in the job's log, before a byte goes out or a
// terminal setting changes.
TEST(SerialBackend, RefusesWhatIsNotASerialLine) {
    int master = -1, terminal = -1;
    ASSERT_EQ(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(terminal, &before), 0);
    char file[] = "/tmp/backend_test-device-XXXXXX";
    ::close(::mkstemp(file));
    for (const std::string& device : {std::string(::ttyname(terminal)), std::string(file), std::string("/dev/null")}) {
        const auto [status, log] = print(device);
        EXPECT_EQ(status, CUPS_BACKEND_STOP) << device << log;
        EXPECT_NE(log.find("ERROR: " + device + " is not a serial line"), std::string::npos) << log;
    }
    termios after{};
    ASSERT_EQ(::tcgetattr(terminal, &after), 0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char byte;
    EXPECT_EQ(::read(master, &byte, 1), -1);  // nothing was written to the terminal
    struct stat written {};
    EXPECT_EQ(::stat(file, &written), 0);
    EXPECT_EQ(written.st_size, 0);
    ::unlink(file);
    ::close(master);
    ::close(terminal);
}

}  // namespace
