// The server's state file between runs.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace rastiv::printerapp {

// PAPPL saves a job that was printing as "processing" and, loading it again,
// never prints it: a job cut short by a crash or a power cut would stay in
// the queue for ever.  Before the state is loaded, such jobs go back to
// "pending" (they print again from their start, as a job whose printer went
// away does).  The file is replaced whole; false when it could not be read
// or written (it is then left as it was).
bool requeueInterruptedJobs(const std::string& stateFile);

// PAPPL starts a printer's pending jobs when a job comes or ends, not when
// it loads them: once the server runs, each idle printer with jobs is
// started.
void startLoadedJobs(pappl_system_t* system);

}  // namespace rastiv::printerapp
