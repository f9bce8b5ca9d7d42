// Each printer's queue in the order its jobs came, and a server that stops
// when asked even while a job waits for a printer.
//
// PAPPL 1.3 starts the newest pending job first, and when a job ends just as
// another arrives both threads may start the same pending job.  So a busy
// printer holds new jobs (PAPPL then does not look for a job to start when a
// document comes in), and exactly one is let go at a time: the oldest, either
// while the job before it prints (it starts the moment that one ends) or, on
// an idle printer, from the server's timer.  With one pending job at most and
// no check on arrival, no two threads can pick the same job.
//
// A PWG raster or Apple raster job, which PAPPL prints as it streams in,
// cannot wait in that queue: PAPPL turns it away while the printer prints or
// holds new jobs.  So a busy printer also says "spool-area-full", on which
// CUPS's IPP backend waits before it creates its job; an idle one holds
// nothing, and neither does a job created whose document is still to come
// (CUPS creates its job, then sends the stream), so that stream prints at once.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace rastiv::printerapp {

// Each job's output passes here, one job of a printer at a time.  PAPPL 1.3
// can start two jobs at once when they reach an idle printer together (its
// check for a job in progress reads without a lock), and both would write to
// the one device, or one job twice.  enterOutput waits until no other job of
// the printer writes and no lower-numbered job waits; it returns false when
// PAPPL started this very job twice and the other thread has printed it
// (this one then prints nothing).  leaveOutput lets the next one in; a job
// that never leaves (aborted before its end) is passed over once it is done.
bool enterOutput(pappl_job_t* job);
void leaveOutput(pappl_job_t* job);

// From the job thread as a job starts printing: the next job queues behind it.
void releaseNextJob(pappl_printer_t* printer);

// From the job thread as a job ends: with nothing else queued the printer
// stops holding, so that a raster stream coming next is not turned away.
void jobEnding(pappl_printer_t* printer);

// A printer whose device went away mid-job: paused now, so that no other
// job starts behind the one waiting, and resumed by the timer once that job
// has ended (a next job then waits for the device with the printer stopped,
// and prints when the device answers).
void pauseForLostDevice(pappl_printer_t* printer);

// Starts the server's timer: busy printers hold new jobs, idle ones let
// their oldest go and welcome streams again; SIGTERM and SIGINT shut the
// server down; once shut down with jobs that cannot print
// now (their printer is away), the state is kept in `stateFile` (when not
// empty) and the process ends at once: the jobs print after the next start.
void keepJobsInOrder(pappl_system_t* system, const std::string& stateFile);

}  // namespace rastiv::printerapp
