// The printer commands of rastiv-cli run on several ports at once: one
// worker thread per port, each with a session of its own (link, line, clock,
// operator, Pixmill binding and recording), so that nothing but the library's
// message hook (set once, before the workers start) is shared between them.
// A port that fails never stops the others.
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

// What a job has to work with on its port: the link, open on that port and
// answered by the tool's operator (see JobOptions::retries), the recording
// that copies what it sends, and the clock its waits run on.
struct PortSession {
    CommLink& link;
    BatchRecording& batch;
    Clock& clock;
    TransferProgress& progress;
    // The job says when it waits for the printer (true) and goes on (false).
    std::function<void(bool waiting)> waiting;
};

// A job's verdict on its port: empty when everything went out as it should,
// else why not, as a sentence.
using Job = std::function<QString(PortSession&)>;
using ClockFactory = std::function<std::unique_ptr<Clock>()>;

struct JobOptions {
    // Each wait that runs out (printer not ready, output stuck) is given
    // another this many times per port, then the send stops.
    int retries = 2;
    // Asks the printer for its status before the job, as the connection
    // dialog does, and gives up on a port where nothing answers: a serial
    // line with nothing attached takes every byte all the same.
    bool askStatusFirst = false;
    // Played (read) before the job, by every worker: the job needs it open
    // for reading.  Empty: none.
    QString playback;
    // Where the first port's worker records what it sends, as the program's
    // batch recording does.  Empty: no recording.
    QString record;
    // When not null: a line per port on this stream, rewritten in place.
    QTextStream* progress = nullptr;
    // When not null: what every worker had to give up on, one line each.
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
