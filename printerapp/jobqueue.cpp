#include "printerapp/jobqueue.hpp"

#include <signal.h>
#include <unistd.h>

#include <csignal>
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
    pappl_job_t* oldestHeld = nullptr;
    bool pending = false;
    bool printing = false;
    bool held = false;  // any held job, ours to let go or not
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
        q->held = true;
        // Held by its client, or its document still coming: not ours to let go.
        if ((papplJobGetReasons(job) & PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED) || !papplJobGetFilename(job)) break;
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
// comes free.
void release(pappl_printer_t* printer, bool behindPrintingJob) {
    const std::lock_guard<std::mutex> lock(gReleasing);
    const Queue q = queueOf(printer);
    if (q.pending || (q.printing && !behindPrintingJob) || !q.oldestHeld) return;
    papplJobRelease(q.oldestHeld, nullptr);
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
    const bool idle = state == IPP_PSTATE_IDLE && papplPrinterGetNumberOfActiveJobs(printer) == 0;
    if (idle && papplPrinterIsHoldingNewJobs(printer))
        papplPrinterReleaseHeldNewJobs(printer, nullptr);
    else if (!idle && !papplPrinterIsHoldingNewJobs(printer))
        papplPrinterHoldNewJobs(printer);
    {
        const std::lock_guard<std::mutex> lock(gPausedLock);
        if (state == IPP_PSTATE_STOPPED && gPaused.erase(printer)) papplPrinterResume(printer);
    }
    release(printer, false);
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

void releaseNextJob(pappl_printer_t* printer) {
    if (!papplPrinterIsHoldingNewJobs(printer)) papplPrinterHoldNewJobs(printer);
    if (!papplSystemIsShutdown(papplPrinterGetSystem(printer))) release(printer, true);
}

void jobEnding(pappl_printer_t* printer) {
    const std::lock_guard<std::mutex> lock(gReleasing);
    const Queue q = queueOf(printer);
    if (!q.pending && !q.held && papplPrinterIsHoldingNewJobs(printer)) papplPrinterReleaseHeldNewJobs(printer, nullptr);
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
