#include "printerapp/jobqueue.hpp"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <set>

#include "printerapp/statefile.hpp"

namespace rastiv::printerapp {

namespace {

// One release at a time, from the timer or a job thread: two could each see
// no job pending and let two go.
std::mutex gReleasing;
std::mutex gPausedLock;
std::set<pappl_printer_t*> gPaused;  // paused for a lost device, until their job ends
volatile std::sig_atomic_t gStopAsked = 0;

struct Queue {
    pappl_job_t* oldestHeld = nullptr;  // the oldest of ours to let go
    bool pending = false;
    bool printing = false;
    bool incoming = false;  // a job created without its document yet

    // Jobs that keep the printer from taking a stream now; a job held by its
    // client, or one whose document is yet to come, does not.
    bool waiting() const { return pending || printing || oldestHeld; }
};

void look(pappl_job_t* job, void* data) {
    auto* q = static_cast<Queue*>(data);
    switch (papplJobGetState(job)) {
    case IPP_JSTATE_PENDING:
        q->pending = true;
        break;
    case IPP_JSTATE_PROCESSING:
        q->printing = true;
        break;
    case IPP_JSTATE_HELD:
        if (papplJobGetReasons(job) & PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED) break;  // its client's to let go
        if (!papplJobGetFilename(job)) {
            q->incoming = true;
            break;
        }
        if (!q->oldestHeld || papplJobGetID(job) < papplJobGetID(q->oldestHeld)) q->oldestHeld = job;
        break;
    default:
        break;
    }
}

Queue queueOf(pappl_printer_t* printer) {
    Queue q;
    papplPrinterIterateActiveJobs(printer, look, &q, 1, papplPrinterGetNumberOfActiveJobs(printer));
    return q;
}

// Lets the oldest held job go when no other is pending (and, for an idle
// printer, none is printing): PAPPL then starts it, alone, as the printer
// comes free.  The caller holds gReleasing.
void releaseLocked(pappl_printer_t* printer, bool behindPrintingJob) {
    const Queue q = queueOf(printer);
    if (q.pending || (q.printing && !behindPrintingJob) || !q.oldestHeld) return;
    papplJobRelease(q.oldestHeld, nullptr);
}

// A PWG or Apple raster job (what CUPS's driverless queues send) prints as
// it streams in, so PAPPL refuses one while another job prints or waits:
// "busy" while a job prints, which CUPS's backend retries, but
// "not accepting jobs" while the printer holds new jobs, which makes it give
// the job up.  "spool-area-full" is what that backend checks before it
// creates a job: it then waits and asks again, so it sends its stream when
// the printer can take it.
void holdNewJobs(pappl_printer_t* printer) {
    if (!(papplPrinterGetReasons(printer) & PAPPL_PREASON_SPOOL_AREA_FULL))
        papplPrinterSetReasons(printer, PAPPL_PREASON_SPOOL_AREA_FULL, PAPPL_PREASON_NONE);
    if (!papplPrinterIsHoldingNewJobs(printer)) papplPrinterHoldNewJobs(printer);
}

// Never with a job whose document is still coming: PAPPL would start it as
// it lets the held jobs go, with nothing to print, and end the server.
// Streams are welcome again only once the printer no longer holds.
void stopHolding(pappl_printer_t* printer, const Queue& q, bool welcomeStreams) {
    if (q.incoming) return;
    if (papplPrinterIsHoldingNewJobs(printer)) papplPrinterReleaseHeldNewJobs(printer, nullptr);
    if (welcomeStreams && (papplPrinterGetReasons(printer) & PAPPL_PREASON_SPOOL_AREA_FULL))
        papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_SPOOL_AREA_FULL);
}

struct Output {
    int writer = 0;         // the job writing now, 0 when none
    std::set<int> waiting;  // jobs waiting to write, lowest first
    std::set<int> started;  // jobs that came to write (the recent ones)
};
std::mutex gOutputLock;
std::condition_variable gOutputFree;
std::map<pappl_printer_t*, Output> gOutputs;

// A writer whose job PAPPL has ended (or dropped) without its end reaching us.
bool writerDone(pappl_printer_t* printer, int id) {
    pappl_job_t* job = papplPrinterFindJob(printer, id);
    return !job || papplJobGetState(job) >= IPP_JSTATE_CANCELED;
}

void askedToStop(int) { gStopAsked = 1; }

struct Server {
    std::string stateFile;
    bool signalsTaken = false;
};

struct Survey {
    bool stopping = false;
    bool jobs = false;         // any job not yet done
    bool printingNow = false;  // a job going out to a printer that answers
};

void tend(pappl_printer_t* printer, void* data) {
    auto* s = static_cast<Survey*>(data);
    const ipp_pstate_t state = papplPrinterGetState(printer);
    s->jobs |= papplPrinterGetNumberOfActiveJobs(printer) > 0;
    s->printingNow |= state == IPP_PSTATE_PROCESSING && !(papplPrinterGetReasons(printer) & PAPPL_PREASON_OFFLINE);
    if (s->stopping) return;  // the queue stays as it is for the next start
    {
        const std::lock_guard<std::mutex> lock(gPausedLock);
        if (state == IPP_PSTATE_STOPPED && gPaused.erase(printer)) papplPrinterResume(printer);
    }
    const std::lock_guard<std::mutex> lock(gReleasing);
    const Queue q = queueOf(printer);
    if (papplPrinterGetState(printer) != IPP_PSTATE_IDLE || q.waiting())
        holdNewJobs(printer);
    else
        stopHolding(printer, q, true);
    releaseLocked(printer, false);
}

bool tick(pappl_system_t* system, void* data) {
    auto* server = static_cast<Server*>(data);
    if (!server->signalsTaken) {
        // PAPPL's own handlers wait up to a minute for jobs that cannot
        // print; ours ask for the same shutdown, which this timer finishes.
        struct sigaction action {};
        action.sa_handler = askedToStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        server->signalsTaken = true;
    }
    if (gStopAsked) papplSystemShutdown(system);
    Survey survey;
    survey.stopping = papplSystemIsShutdown(system);
    papplSystemIteratePrinters(system, tend, &survey);
    // With no job left PAPPL ends by itself; a job printing now may finish.
    // Otherwise the jobs wait for a printer that is away: they are kept, and
    // the server ends now rather than after PAPPL's minute.
    if (survey.stopping && survey.jobs && !survey.printingNow) {
        if (!server->stateFile.empty() && !saveState(system, server->stateFile))
            papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unable to keep the queued jobs in '%s'.", server->stateFile.c_str());
        papplLog(system, PAPPL_LOGLEVEL_INFO, "Shut down; the queued jobs print after the next start.");
        _exit(0);
    }
    return true;
}

}  // namespace

bool enterOutput(pappl_job_t* job) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    const int id = papplJobGetID(job);
    std::unique_lock<std::mutex> lock(gOutputLock);
    Output& out = gOutputs[printer];
    if (!out.started.insert(id).second) {
        // Started twice: once the other thread has written it, this one is done.
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Started a second time; printed once.");
        while (out.writer == id || out.waiting.count(id)) gOutputFree.wait_for(lock, std::chrono::milliseconds(200));
        return false;
    }
    out.started.erase(out.started.begin(), out.started.lower_bound(id - 1000));
    out.waiting.insert(id);
    if (out.writer) papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Waits for job %d to print.", out.writer);
    for (;;) {
        if (out.writer && writerDone(printer, out.writer)) out.writer = 0;
        if (!out.writer && *out.waiting.begin() == id) break;
        gOutputFree.wait_for(lock, std::chrono::milliseconds(200));
    }
    out.waiting.erase(id);
    out.writer = id;
    return true;
}

void leaveOutput(pappl_job_t* job) {
    const std::lock_guard<std::mutex> lock(gOutputLock);
    Output& out = gOutputs[papplJobGetPrinter(job)];
    if (out.writer == papplJobGetID(job)) out.writer = 0;
    gOutputFree.notify_all();
}

void releaseNextJob(pappl_printer_t* printer) {
    const std::lock_guard<std::mutex> lock(gReleasing);
    holdNewJobs(printer);
    if (!papplSystemIsShutdown(papplPrinterGetSystem(printer))) releaseLocked(printer, true);
}

void jobEnding(pappl_printer_t* printer) {
    const std::lock_guard<std::mutex> lock(gReleasing);
    const Queue q = queueOf(printer);
    // The ending job still prints until PAPPL is done with it: a stream sent
    // now would be refused, so clients are told to wait until the timer sees
    // the printer idle.
    if (!q.pending && !q.oldestHeld) stopHolding(printer, q, false);
}

void pauseForLostDevice(pappl_printer_t* printer) {
    const std::lock_guard<std::mutex> lock(gPausedLock);
    gPaused.insert(printer);
    papplPrinterPause(printer);
}

void keepJobsInOrder(pappl_system_t* system, const std::string& stateFile) {
    static Server server;  // the timer keeps the pointer for the server's life
    server.stateFile = stateFile;
    papplSystemAddTimerCallback(system, time(nullptr), 1, tick, &server);
}

}  // namespace rastiv::printerapp
