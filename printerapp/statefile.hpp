// The server's state file between runs.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace rastiv::printerapp {

// PAPPL saves a job that was printing as "processing" and, loading it again,
// never prints it: a job cut short by a crash or a power cut would stay in
// the queue for ever.  Before the state is loaded, every job not yet done
// goes back to "held", where the queue lets them go oldest first (the one
// cut short prints again from its start, as a job whose printer went away
// does).  The file is replaced whole; false when it could not be read or
// written (it is then left as it was).
bool holdUnfinishedJobs(const std::string& stateFile);

// The server's state written to a temporary file beside `stateFile`, then
// renamed over it: a crash mid-write leaves the last whole state.
bool saveState(pappl_system_t* system, const std::string& stateFile);

}  // namespace rastiv::printerapp
