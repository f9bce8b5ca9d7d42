#include "cli/printerjobs.hpp"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <algorithm>
#include <mutex>

#include "cli/interrupts.hpp"
#include "link/clock.hpp"
#include "core/pixmill.hpp"
#include "core/portname.hpp"
#include "link/batch.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/messages.hpp"
#include "link/operator.hpp"

namespace rastiv::cli {

namespace {

// Why a port got nothing when the printer did not answer the status query.
constexpr char kNoAnswer[] =
    "the printer does not answer its status query (nothing attached, switched off, or another port?); "
    "--no-status-check sends without asking";

// The piece length the communication dialog sets once the printer answered.
constexpr int kSendChunk = 50;

// The line as the job sees it, counting what is handed to it, so that the
// progress lines and the summary can be read from another thread.
class CountingPort final : public SerialPort {
public:
    CountingPort(std::unique_ptr<SerialPort> inner, std::atomic<qint64>& count)
        : inner_(std::move(inner)), count_(count) {
        connect(inner_.get(), &SerialPort::transmitEvent, this, &SerialPort::transmitEvent);
        connect(inner_.get(), &SerialPort::lost, this, &SerialPort::lost);
    }
    bool open(const PortSettings& s, PortError& e) override { return inner_->open(s, e); }
    void close() override { inner_->close(); }
    bool portOpen() const override { return inner_->portOpen(); }
    void output(const QByteArray& bytes) override {
        inner_->output(bytes);
        count_ += bytes.size();
    }
    QByteArray input() override { return inner_->input(); }
    int inBufferCount() override { return inner_->inBufferCount(); }
    void clearInBuffer() override { inner_->clearInBuffer(); }
    int outBufferCount() override { return inner_->outBufferCount(); }
    int undeliveredCount() override { return inner_->undeliveredCount(); }
    bool dsrHolding() override { return inner_->dsrHolding(); }
    bool ctsHolding() override { return inner_->ctsHolding(); }

private:
    std::unique_ptr<SerialPort> inner_;
    std::atomic<qint64>& count_;
};

// Serialises the workers' lines on the shared streams.
std::mutex& streamLock() {
    static std::mutex m;
    return m;
}

struct Worker;
thread_local Worker* tCurrent = nullptr;

struct Worker {
    PortTarget target;
    std::unique_ptr<PixmillBinding> pixmill;
    std::unique_ptr<BatchRecording> batch;
    std::atomic<qint64> bytes{0};
    std::atomic<qint64> total{0};
    std::atomic<int> state{0};  // 0 starting, 1 sending, 2 waiting, 3 done, 4 failed
    QString firstProblem;       // the first box that means this port failed
    QString lineCause;          // what happened to the line, once it was lost
    PortResult result;
    const JobOptions* options = nullptr;
    std::unique_ptr<MessageBoxes> said;

    void note(const QString& text) {
        if (firstProblem.isEmpty()) firstProblem = text;
        if (options->log) {
            std::lock_guard lock(streamLock());
            *options->log << "rastiv-cli: " << target.shown << ": " << text << '\n';
            options->log->flush();
        }
    }
};

// What the link and the recording would show the operator, said on the
// worker's log instead: nobody is there to answer, so anything said at all
// means the port did not do all it should.
class NotedMessages final : public MessageBoxes {
public:
    explicit NotedMessages(Worker& w) : w_(w) {}
    MsgResult show(const Message& m) override {
        w_.note(m.title + QStringLiteral(": ") + m.text);
        return m.buttons == MsgButtons::OkCancel ? MsgResult::Cancel : MsgResult::Ok;
    }

private:
    Worker& w_;
};

// The tool at the controls of one port: a wait that ran out is given
// another `retries` times, then the send stops, worded as the program's
// boxes word it.
class ToolOperator final : public Operator {
public:
    explicit ToolOperator(Worker& w) : w_(w), said_(*w.said, helpFile_), left_(w.options->retries) {}
    RetryAnswer sendFailed(SendProblem problem) override {
        // After SIGINT or SIGTERM nobody waits for the printer any longer, and
        // a lost line stays closed: trying again can only wait in vain.
        if (left_ > 0 && !Interrupts::received() && w_.lineCause.isEmpty()) {
            --left_;
            return RetryAnswer::KeepTrying;
        }
        return said_.sendFailed(problem);
    }
    void printerOffLine() override { said_.printerOffLine(); }

private:
    Worker& w_;
    const QString helpFile_;
    MessageBoxOperator said_;
    int left_;
};

// The library's batch messages (a recording that cannot be read or
// written), from whichever worker's thread, to that worker.
void libraryMessage(const char* text, const char* title, void*) {
    const QString said = QString::fromLocal8Bit(title) + QStringLiteral(": ") + QString::fromLocal8Bit(text);
    if (tCurrent) tCurrent->note(said);
}

void runWorker(Worker& w, const Job& job) {
    tCurrent = &w;
    QElapsedTimer elapsed;
    elapsed.start();
    const JobOptions& o = *w.options;
    std::unique_ptr<Clock> clock = o.clock ? o.clock() : std::make_unique<RealClock>();
    ToolOperator answers(w);
    {
        CommLink link(*clock, answers);
        PortError error;
        std::unique_ptr<SerialPort> line = makeSerialPort(w.target.line.device, *clock);
        if (!line->open(w.target.line, error)) {
            w.result.reason = QStringLiteral("cannot be opened: %1").arg(error.description);
        } else {
            auto counting = std::make_unique<CountingPort>(std::move(line), w.bytes);
            QObject::connect(counting.get(), &SerialPort::lost, [&w](const PortError& why) {
                if (w.lineCause.isEmpty())
                    w.lineCause = why.cause.isEmpty() ? QStringLiteral("the line was lost") : why.cause;
            });
            link.setPort(std::move(counting), w.target.line);
            // The question is neither recorded nor counted: it is not the job's.
            if (o.askStatusFirst && !printerAnswers(link)) {
                w.result.reason = w.lineCause.isEmpty() ? QString::fromLatin1(kNoAnswer) : w.lineCause;
                w.bytes = 0;
                link.ClosePort();
            } else {
                link.ClearInputBuffer();
                w.bytes = 0;
                link.setBatchCopy([&w](const QByteArray& bytes) { w.batch->WriteBatchFile(bytes); });
                link.printerAnswered();
                link.setSendChunk(kSendChunk);
                // A line just opened has nothing on its way: the first send need not
                // wait for a transmit event that only a write raises.
                link.lineIdle();
                w.state = 1;
                TransferProgress progress(w.target.line);
                progress.onChange = [&] {
                    w.total = progress.total();
                    // SIGINT and SIGTERM are the operator's Cancel: what is on the
                    // line is finished (a download ended), the rest held back.
                    if (Interrupts::received() && progress.cancellable()) progress.requestCancel();
                };
                PortSession session{link, *w.batch, *clock, progress,
                                    [&w](bool waiting) { w.state = waiting ? 2 : 1; }};
                QString why = job(session);
                // "ok" only once the printer's side has confirmed every byte, as
                // far as the line can tell; closing earlier would also throw away
                // what is still queued.
                const int undelivered = link.waitUntilDelivered();
                // The loss reported meanwhile arrives with the events of the wait.
                link.yield();
                if (!w.lineCause.isEmpty())
                    why = w.lineCause;
                else if (undelivered > 0)
                    why = QStringLiteral("the printer is not reading: %1 bytes not taken within %2 s")
                              .arg(undelivered)
                              .arg(CommLink::kReadyWaitMs / 1000);
                link.ClosePort();
                if (why.isEmpty() && !w.firstProblem.isEmpty()) why = w.firstProblem;
                w.result.reason = why;
            }
        }
    }
    w.batch->CloseBatchFile();
    w.result.ok = w.result.reason.isEmpty();
    w.result.bytes = w.bytes;
    w.result.seconds = elapsed.nsecsElapsed() / 1e9;
    w.state = w.result.ok ? 3 : 4;
    tCurrent = nullptr;
}

void showProgress(QTextStream& s, const std::vector<std::unique_ptr<Worker>>& workers, bool again) {
    std::lock_guard lock(streamLock());
    // Back to the first line of the block written last, then each line anew.
    if (again) s << "\x1b[" << workers.size() << 'A';
    for (const auto& w : workers) {
        static const char* const kStates[] = {"starting", "sending", "waiting for the printer", "done", "failed"};
        const qint64 total = w->total;
        s << "\r\x1b[K" << w->target.shown << ": " << kStates[w->state] << ", " << byteCount(w->bytes) << " bytes";
        if (total > 0) s << " of about " << byteCount(total);
        s << '\n';
    }
    s.flush();
}

}  // namespace

std::vector<PortResult> runOnPorts(const std::vector<PortTarget>& ports, const Job& job, const JobOptions& options) {
    const QStringList candidates =
        options.pixmillCandidates.isEmpty() ? PixmillBinding::defaultCandidates() : options.pixmillCandidates;
    std::vector<std::unique_ptr<Worker>> workers;
    for (const PortTarget& t : ports) {
        auto w = std::make_unique<Worker>();
        w->target = t;
        w->options = &options;
        w->result.port = t.shown;
        // A binding each: its table of bound exports fills as it is used.
        w->pixmill = std::make_unique<PixmillBinding>(candidates);
        w->said = std::make_unique<NotedMessages>(*w);
        w->batch = std::make_unique<BatchRecording>(*w->pixmill, *w->said);
        workers.push_back(std::move(w));
    }

    // The recordings are opened here, one thread at a time: opening is where
    // a recording sets the library's message hook (once), and the hook is one
    // for the whole process.  Afterwards it is set to a sink that finds the
    // worker by its thread, before any worker runs.
    for (size_t i = 0; i < workers.size(); ++i) {
        Worker& w = *workers[i];
        if (!w.target.problem.isEmpty()) continue;
        tCurrent = &w;
        if (!options.playback.isEmpty()) {
            w.batch->OpenBatchFile(options.playback, false);
            w.batch->CloseBatchFile();
        }
        if (i == 0 && !options.record.isEmpty()) {
            w.batch->OpenBatchFile(options.record, true);
            w.batch->setEnabled(w.batch->isOpen());
        }
        tCurrent = nullptr;
    }
    PixmillBinding hookSetter(candidates);
    hookSetter.PixmillSetMessageHook(&libraryMessage, nullptr);

    std::vector<std::unique_ptr<QThread>> threads;
    for (auto& w : workers) {
        if (!w->target.problem.isEmpty()) {
            w->result.reason = w->target.problem;
            w->state = 4;
            continue;
        }
        if (!w->firstProblem.isEmpty()) {  // the recording could not be opened
            w->result.reason = w->firstProblem;
            w->state = 4;
            continue;
        }
        Worker* worker = w.get();
        threads.emplace_back(QThread::create([worker, &job] { runWorker(*worker, job); }));
        threads.back()->start();
    }
    const auto allDone = [&] {
        for (auto& t : threads)
            if (!t->isFinished()) return false;
        return true;
    };
    bool shown = false;
    while (!allDone()) {
        if (options.progress) {
            showProgress(*options.progress, workers, shown);
            shown = true;
        }
        for (auto& t : threads)
            if (!t->isFinished()) {
                t->wait(200);
                break;
            }
    }
    for (auto& t : threads) t->wait();
    // QThread::wait synchronises inside Qt, where a race detector built into
    // this program does not look; the state each worker stores last is the
    // hand-over of its result that it can see.
    for (auto& w : workers) (void)w->state.load(std::memory_order_acquire);
    if (options.progress) showProgress(*options.progress, workers, shown);

    std::vector<PortResult> results;
    for (auto& w : workers) results.push_back(w->result);
    return results;
}

QString summaryTable(const std::vector<PortResult>& results) {
    qsizetype width = 4;
    for (const PortResult& r : results) width = std::max(width, r.port.size());
    QString s = QStringLiteral("%1  %2  %3  %4  %5\n")
                    .arg(QStringLiteral("PORT").leftJustified(width), QStringLiteral("RESULT").leftJustified(6),
                         QStringLiteral("BYTES").rightJustified(10), QStringLiteral("SECONDS").rightJustified(8),
                         QStringLiteral("REASON"));
    for (const PortResult& r : results)
        s += QStringLiteral("%1  %2  %3  %4  %5\n")
                 .arg(r.port.leftJustified(width), QString::fromLatin1(r.ok ? "ok" : "failed").leftJustified(6),
                      QString::number(r.bytes).rightJustified(10),
                      QString::number(r.seconds, 'f', 2).rightJustified(8), r.reason);
    return s;
}

QByteArray summaryJson(const std::vector<PortResult>& results) {
    QJsonArray list;
    for (const PortResult& r : results) {
        QJsonObject o;
        o[QStringLiteral("port")] = r.port;
        o[QStringLiteral("result")] = r.ok ? QStringLiteral("ok") : QStringLiteral("failed");
        o[QStringLiteral("bytes")] = double(r.bytes);
        o[QStringLiteral("seconds")] = r.seconds;
        o[QStringLiteral("reason")] = r.reason;
        list.append(o);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Indented);
}

}  // namespace rastiv::cli
