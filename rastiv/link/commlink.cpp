#include "link/commlink.hpp"

#include <algorithm>

#include "link/clock.hpp"

namespace rastiv {

namespace {

constexpr int kFlashPauseMs = 6000;
constexpr int kBackOnLineMs = 5000;
constexpr int kSettleMs = 10000;

}  // namespace

CommLink::CommLink(Clock& clock, MessageBoxes& messages, const QString& helpFile)
    : CommLink(clock, std::make_unique<MessageBoxOperator>(messages, helpFile)) {}

CommLink::CommLink(Clock& clock, std::unique_ptr<Operator> boxes)
    : clock_(clock), boxes_(std::move(boxes)), operator_(*boxes_), tCommTimer_(clock.createTimer()) {
    setUpWatchdog();
}

CommLink::CommLink(Clock& clock, Operator& op)
    : clock_(clock), operator_(op), tCommTimer_(clock.createTimer()) {
    setUpWatchdog();
}

void CommLink::setUpWatchdog() {
    tCommTimer_->setInterval(2000);
    tCommTimer_->onTimer = [this] { tCommTimer_->setEnabled(false); };
}

CommLink::~CommLink() = default;

void CommLink::setPort(std::unique_ptr<SerialPort> port, const PortSettings& line) {
    if (port_) port_->disconnect(this);
    port_ = std::move(port);
    line_ = line;
    if (!port_) return;
    if (port_->portOpen()) gPortState = 1;
    connect(port_.get(), &SerialPort::transmitEvent, this, [this] { MSComm1_OnComm(); });
    // An unplugged adapter: the port is closed already and its lines read
    // low, so a send in progress ends in its retry dialog; the next printer
    // tool asks for the connection again.
    connect(port_.get(), &SerialPort::lost, this, [this] { gCommEstablished = false; });
}

bool CommLink::lineOpen() const { return gPortState == 1; }

bool CommLink::printerAnswering() const { return gCommEstablished; }

int32_t CommLink::sendChunk() const { return gSendChunk; }

void CommLink::setSendChunk(int32_t bytes) { gSendChunk = bytes; }

void CommLink::printerAnswered() { gCommEstablished = gPortState == 1; }

void CommLink::startUnconnected() {
    gPortState = 0;
    gCommEstablished = false;
}

void CommLink::MSComm1_OnComm() { gSendDone = true; }

void CommLink::WritePort(const QByteArray& outStr) {
    if (gPortState != 1 || !port_) return;
    port_->output(outStr);
    if (batchCopy_) batchCopy_(outStr);
}

QByteArray CommLink::ReadPort() { return gPortState == 1 && port_ ? port_->input() : QByteArray(); }

void CommLink::ClearInputBuffer() {
    if (gPortState == 1 && port_) port_->clearInBuffer();
}

int16_t CommLink::InputBufferCount() {
    if (gPortState != 1 || !port_) return 0;
    return static_cast<int16_t>(std::min(port_->inBufferCount(), 32767));
}

void CommLink::ClosePort() {
    if (port_ && port_->portOpen()) port_->close();
    gPortState = 0;
    gCommEstablished = false;
}

void CommLink::startWatchdog(int ms) {
    tCommTimer_->setEnabled(false);
    tCommTimer_->setInterval(ms);
    tCommTimer_->setEnabled(true);
}

void CommLink::stopWatchdog() { tCommTimer_->setEnabled(false); }

bool CommLink::watchdogRunning() const { return tCommTimer_->isEnabled(); }

void CommLink::yield() { clock_.pumpEvents(); }

bool CommLink::retry(SendProblem problem) {
    if (operator_.sendFailed(problem) == RetryAnswer::Stop) return false;
    tCommTimer_->setEnabled(true);  // the same 5000 ms again
    return true;
}

bool CommLink::SendData(const QByteArray& outStr) {
    if (gPortState != 1) {
        gSendDone = false;
        WritePort(outStr);
        return true;
    }
    if (!waitUntilReady()) return false;
    gSendDone = false;
    WritePort(outStr);
    return true;
}

TransferEnd CommLink::SendPiece(const QByteArray& piece, TransferProgress& progress) {
    if (gPortState == 1) {
        if (!waitUntilReady()) return TransferEnd::Abandoned;
        // The waits let the operator's clicks through: the last moment at
        // which this piece can still be kept back.
        if (progress.cancelRequested()) return TransferEnd::Cancelled;
    }
    gSendDone = false;
    WritePort(piece);
    progress.add(piece.size());
    return TransferEnd::Complete;
}

// SendData's three waits, each with its retry dialog; false when one was
// cancelled.
bool CommLink::waitUntilReady() {
    // A line lost during the waits (an unplugged adapter) is not ready: go
    // round again, so the operator gets the retry dialog rather than a
    // write into nothing reported as sent.
    do {
        // The printer is ready (DSR), ...
        startWatchdog(kReadyWaitMs);
        while (!(port_ && port_->dsrHolding())) {
            yield();
            if (!watchdogRunning() && !retry(SendProblem::Timeout)) return false;
        }
        // ... the previous data has left the output buffer, ...
        startWatchdog(kReadyWaitMs);
        while (port_->outBufferCount() > 0) {
            yield();
            if (!watchdogRunning() && !retry(SendProblem::OutputBuffer)) return false;
        }
        // ... and the line has reported its transmit buffer empty.
        startWatchdog(kReadyWaitMs);
        while (!gSendDone) {
            yield();
            if (!watchdogRunning() && !retry(SendProblem::General)) return false;
        }
    } while (!port_->portOpen());
    stopWatchdog();
    return true;
}

int CommLink::waitUntilDelivered() {
    if (!port_) return 0;
    startWatchdog(kReadyWaitMs);
    while (port_->undeliveredCount() > 0 && watchdogRunning()) yield();
    stopWatchdog();
    return port_->undeliveredCount();
}

void CommLink::WaitForPrinter() {
    // A fixed pause in which the printer may drop its ready lines.
    startWatchdog(kFlashPauseMs);
    while (watchdogRunning()) yield();

    startWatchdog(kBackOnLineMs);
    while (watchdogRunning()) {
        yield();
        if (port_ && port_->ctsHolding()) stopWatchdog();
    }
    if (!(port_ && port_->ctsHolding())) {
        operator_.printerOffLine();
        return;
    }
    startWatchdog(kSettleMs);
    while (watchdogRunning()) {
        yield();
        if (port_ && port_->dsrHolding() && port_->outBufferCount() == 0) stopWatchdog();
    }
}

}  // namespace rastiv
