// SIGINT and SIGTERM in rastiv-cli.  A printer command must not stop in the
// middle of a command on the line (a logo download left open keeps the
// printer taking what follows for picture), and a conversion must not leave
// its working folder behind; neither happens if the signal just ends the
// process.  So while a command runs, the signal is only noted, and a thread
// of its own (woken through a pipe: a handler may do nothing more) takes it
// the command's way.
#pragma once

#include <QString>
#include <functional>
#include <thread>

struct sigaction;

namespace rastiv::cli {

class Interrupts {
public:
    // Catches SIGINT and SIGTERM until the object goes; `taken` runs once, on
    // the watching thread, at the first of them.  It may end the process.
    explicit Interrupts(std::function<void(int signo)> taken = {});
    ~Interrupts();
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;

    // The first signal caught, 0 when none was; any thread may ask.
    static int received();
    // "SIGTERM", "SIGINT".
    static QString name(int signo);

private:
    std::function<void(int)> taken_;
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
    struct Saved;
    Saved* saved_ = nullptr;
};

// Removes, beside `destination`, the temporary files the image library was
// writing for it in this process (written whole or not at all, an output is
// first a hidden temporary file).  For a process about to end at once.
void removeOwnPartialOutput(const QString& destination);

}  // namespace rastiv::cli
