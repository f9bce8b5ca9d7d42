// Runs a library call in a child process, for the tests whose subject could
// otherwise take the test program down or hold it: a call that blocks for
// good, a crash, a resource limit, or a user without the tester's rights.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace testing_support {

struct ChildOutcome {
    bool finished = false;  // the call returned and its result is in `value`
    int32_t value = 0;
    std::string trouble;    // otherwise: how the child ended, or why it could not run the call
    std::string skipped;    // non-empty: the child could not be set up as asked (not a failure)
};

inline std::string describe(const ChildOutcome& c) {
    if (c.finished) return "returned " + std::to_string(c.value);
    return c.skipped.empty() ? c.trouble : "skipped: " + c.skipped;
}

struct ChildSetup {
    // Kills the child after this many seconds: a call that blocks for good
    // then fails its test instead of hanging the suite.  Never waited out by
    // a call that behaves.
    unsigned watchdogSeconds = 30;
    // Writes beyond this many bytes fail, as on a full disk (0: no limit).
    rlim_t fileSizeLimit = 0;
    // Runs as a user who may not write the tester's files: root becomes
    // "nobody"; anyone else stays who they are.
    bool unprivileged = false;
};

// Runs f in a forked child and reports what it returned.
inline ChildOutcome runInChild(const std::function<int32_t()>& f, const ChildSetup& setup = {}) {
    int fds[2];
    ChildOutcome out;
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        out.trouble = "no pipe";
        return out;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        auto say = [&](char kind, int32_t v) {
            char msg[5] = {kind};
            std::memcpy(msg + 1, &v, 4);
            (void)!::write(fds[1], msg, sizeof msg);
            ::_exit(0);
        };
        ::alarm(setup.watchdogSeconds);
        if (setup.fileSizeLimit != 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{setup.fileSizeLimit, setup.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) say('s', 1);
        }
        if (setup.unprivileged && ::geteuid() == 0) {
            const gid_t nobodyGroup = 65534;
            if (::setgroups(1, &nobodyGroup) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) say('s', 2);
        }
        say('r', f());
    }
    ::close(fds[1]);
    char msg[5] = {};
    ssize_t got;
    do {
        got = ::read(fds[0], msg, sizeof msg);
    } while (got < 0 && errno == EINTR);
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == 5 && msg[0] == 'r') {
        out.finished = true;
        std::memcpy(&out.value, msg + 1, 4);
    } else if (got == 5 && msg[0] == 's') {
        int32_t why;
        std::memcpy(&why, msg + 1, 4);
        out.skipped = why == 1 ? "cannot limit the file size" : "cannot drop root's rights (setuid to nobody)";
    } else if (WIFSIGNALED(status)) {
        out.trouble = std::string("killed by ") + ::strsignal(WTERMSIG(status));
    } else {
        out.trouble = "ended without a result (status " + std::to_string(status) + ")";
    }
    return out;
}

}  // namespace testing_support
