// The printer commands of rastiv-cli run on several ports at once: one
// worker thread per port, each with its own link, line, clock, shared state,
// Pixmill binding and recording, so that nothing but the library's message
// hook (set once, before the workers start) is shared between them.  A port
// that fails never stops the others.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "link/serialport.hpp"
#include "link/transferprogress.hpp"

namespace rastiv {
class BatchRecording;
class Clock;
class CommLink;
class PixmillBinding;
struct Env;
struct modGlobal;
}  // namespace rastiv

namespace rastiv::cli {

// A port as named on the command line, with the line settings to open it.
struct PortTarget {
    QString name;     // as given: "COM3", "/dev/ttyUSB0", "virtual"
    QString shown;    // for messages and the summary: "COM3 (/dev/ttyUSB0)"
    PortSettings line;
    QString problem;  // not empty: the name stands for nothing usable (why)
};

// How one port fared.
struct PortResult {
    QString port;          // PortTarget::shown
    bool ok = false;
    qint64 bytes = 0;      // handed to the line
    double seconds = 0;
    QString reason;        // empty when ok
};

// What a job has to work with on its port: an Env whose link is open on
// that port (the file and desktop seams refuse: nobody is there).
struct JobContext {
    Env& env;
    TransferProgress& progress;
    // The job says when it waits for the printer (true) and goes on (false).
    std::function<void(bool waiting)> waiting;
};

// A job's verdict on its port: empty when everything went out as it should,
// else why not, as a sentence.
using Job = std::function<QString(JobContext&)>;
using ClockFactory = std::function<std::unique_ptr<Clock>()>;

struct JobOptions {
    // Each retry box (printer not ready, output stuck) is answered "keep
    // trying" this many times per port, then "stop".
    int retries = 2;
    // Played (read) before the job, by every worker: the job needs it open
    // for reading.  Empty: none.
    QString playback;
    // Where the first port's worker records what it sends, as the program's
    // batch recording does.  Empty: no recording.
    QString record;
    // When not null: a line per port on this stream, rewritten in place.
    QTextStream* progress = nullptr;
    // When not null: every worker's boxes and reasons, one line each.
    QTextStream* log = nullptr;
    // Only for tests: how each worker makes its clock (RealClock by default).
    ClockFactory clock;
    // Only for tests: the Pixmill library to load (the default search otherwise).
    QStringList pixmillCandidates;
};

// Runs `job` on every port at once and waits for all of them.  The results
// are in the order of `ports`.
std::vector<PortResult> runOnPorts(const std::vector<PortTarget>& ports, const Job& job, const JobOptions& options);

// The summary as a table for people, and as JSON.
QString summaryTable(const std::vector<PortResult>& results);
QByteArray summaryJson(const std::vector<PortResult>& results);

}  // namespace rastiv::cli
