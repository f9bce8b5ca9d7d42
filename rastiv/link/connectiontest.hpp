// The proof that a printer is on the line: the status query and the wait for
// any reply, as the communication dialog's connection test makes it and as
// the command-line tool's status check repeats it.
#pragma once

#include <QByteArray>
#include <memory>

#include "link/commands.hpp"
#include "link/serialport.hpp"

namespace rastiv {

class CommLink;

// Any reply to the status query, of any value, means a printer is there.
using cmd::kStatusQuery;
inline constexpr int kConnectWaitMs = 5000;

// With the port open (gPortState 1): discards the input, writes the status
// query (or `query`) through WritePort (no flow-control wait precedes it, and a recording
// copies it), then lets events run until a reply is waiting or waitMs have
// passed on the link's watchdog.  True when a reply is waiting; it is left
// in the input buffer.
bool printerAnswers(CommLink& link, int waitMs = kConnectWaitMs, const QByteArray& query = kStatusQuery);

}  // namespace rastiv

namespace rastiv {

enum class Connection {
    Answered,    // the line is open and a printer replied
    CannotOpen,  // the line did not open: the error says why
    NoAnswer,    // the line is open but nothing replied in time
};

// The connection test: closes what the link had open and forgets any
// earlier answer, opens `line` with `settings`, makes it the link's port
// (gPortState 1) and asks the printer for its status with printerAnswers.
// gCommEstablished is set only when it answered.
Connection connectPrinter(CommLink& link, std::unique_ptr<SerialPort> line, const PortSettings& settings,
                          PortError& error, int waitMs = kConnectWaitMs);

}  // namespace rastiv
