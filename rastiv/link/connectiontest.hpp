// The proof that a printer is on the line: the status query and the wait for
// any reply, as the communication dialog's connection test makes it and as
// the command-line tool's status check repeats it.
#pragma once

#include <QByteArray>

namespace rastiv {

class CommLink;

// ESC v, then a line feed: the printer answers with its status byte.  Any
// reply, of any value, means a printer is there.
inline const QByteArray kStatusQuery("\x1B\x76\x0A", 3);
inline constexpr int kConnectWaitMs = 5000;

// With the port open (gPortState 1): discards the input, writes the status
// query through WritePort (no flow-control wait precedes it, and a recording
// copies it), then lets events run until a reply is waiting or waitMs have
// passed on the link's watchdog.  True when a reply is waiting; it is left
// in the input buffer.
bool printerAnswers(CommLink& link, int waitMs = kConnectWaitMs);

}  // namespace rastiv
