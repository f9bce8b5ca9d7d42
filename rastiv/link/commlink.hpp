// The one path by which bytes reach the printer: the port routines of
// `Module1` and the two public operations `SendData` and `WaitForPrinter`,
// with the watchdog `tCommTimer` they share.  The communication dialog owns
// one CommLink for the whole run, so the port stays open between uses.
#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

#include "link/operator.hpp"
#include "link/serialport.hpp"
#include "link/transferprogress.hpp"

namespace rastiv {

class Clock;
class Timer;
class MessageBoxes;
class Operator;

class CommLink : public QObject {
    Q_OBJECT
public:
    // `op` answers the waits that run out.
    CommLink(Clock& clock, Operator& op);
    // The same answered with the program's message boxes, which offer
    // `helpFile` (read at each box, so it may be named after the link is made).
    CommLink(Clock& clock, MessageBoxes& messages, const QString& helpFile);
    ~CommLink() override;

    // The serial control (`MSComm1`): a real device or the virtual printer,
    // opened with `line` (which sets how long the bytes take).  The link
    // alone says whether its line is open (gPortState) and whether a printer
    // answered on it (gCommEstablished): an open port makes the line open.
    void setPort(std::unique_ptr<SerialPort> port, const PortSettings& line = {});
    // A printer answered on the open line.
    void printerAnswered();
    // The program starts counting the line closed and no printer answering,
    // whatever port was set before.
    void startUnconnected();
    SerialPort* port() const { return port_.get(); }
    // Whether the line is open (gPortState 1).
    bool lineOpen() const;
    // Whether a printer answered on the open line (gCommEstablished).
    bool printerAnswering() const;
    // The piece length of file transfers (gSendChunk; 0: 50 bytes).
    int32_t sendChunk() const;
    void setSendChunk(int32_t bytes);
    // Whether the line has reported its transmit buffer empty since the last
    // send (gSendDone).
    bool transmitDone() const { return gSendDone; }
    // A line just opened has nothing on its way: the first send need not
    // wait for a transmit event that only a write raises.
    void lineIdle() { gSendDone = true; }
    const PortSettings& lineSettings() const { return line_; }

    // Where `WritePort` copies what it writes (the recording decides whether
    // to keep it).
    void setBatchCopy(std::function<void(const QByteArray&)> copy) { batchCopy_ = std::move(copy); }

    // ---- Port routines: each does nothing unless gPortState is 1. ----
    void WritePort(const QByteArray& outStr);
    QByteArray ReadPort();
    void ClearInputBuffer();
    int16_t InputBufferCount();
    // Closes the line; no printer is answering on it then.
    void ClosePort();

    // ---- Sending. ----
    // True when handed to the port (or the port is not open); False when the
    // operator cancelled a retry dialog.
    bool SendData(const QByteArray& outStr);
    // Pauses 6 to 21 s while the printer writes its flash; warns when it
    // stays off line.
    void WaitForPrinter();
    // How long each of SendData's waits lasts before its retry dialog.
    static constexpr int kReadyWaitMs = 5000;
    // Waits as long as one of SendData's waits for the far end to confirm
    // every byte, as far as the line can tell (see undeliveredCount); the
    // bytes still unconfirmed then, 0 when the port is closed.
    int waitUntilDelivered();
    // One piece of a transfer the operator can cancel: SendData's waits, and
    // then, unless Cancel was pressed meanwhile, the write, counted into
    // `progress`.  A Cancel that comes while the previous piece is still on
    // the line so holds back this one.  Complete when written (or the port is
    // not open), Cancelled when held back, Abandoned when a retry dialog was
    // cancelled.
    TransferEnd SendPiece(const QByteArray& piece, TransferProgress& progress);

    // ---- The watchdog `tCommTimer`: its tick only disables it. ----
    void startWatchdog(int ms);
    void stopWatchdog();
    bool watchdogRunning() const;

    // Lets events run once (between two polls of a wait).
    void yield();

    // ---- Command sequences under way (see Transfer below). ----
    void beginTransfer() { ++transfers_; }
    void endTransfer() { --transfers_; }
    bool transferring() const { return transfers_ > 0; }

private:
    void MSComm1_OnComm();
    CommLink(Clock& clock, std::unique_ptr<Operator> boxes);
    void setUpWatchdog();
    bool retry(SendProblem problem);
    bool waitUntilReady();

    Clock& clock_;
    std::unique_ptr<Operator> boxes_;  // when built with message boxes
    Operator& operator_;
    std::unique_ptr<SerialPort> port_;
    PortSettings line_;
    std::unique_ptr<Timer> tCommTimer_;
    std::function<void(const QByteArray&)> batchCopy_;
    int transfers_ = 0;
    bool gCommEstablished = false;  // a printer answered the connection test on this line
    int32_t gPortState = 0;         // 1 while the line is open; the port routines do nothing otherwise
    bool gSendDone = false;         // set by the transmit event, cleared by each send
    int32_t gSendChunk = 0;         // piece length of file transfers (0: 50 bytes)
};

// A command sequence to the printer from its first byte to its last.  While
// one runs, nothing may close its dialog or end the program: a sequence cut
// short leaves the printer waiting for the rest of a logo, which it then
// takes from whatever comes next, and leaves a recording truncated.
class Transfer {
public:
    explicit Transfer(CommLink& link) : link_(link) { link_.beginTransfer(); }
    ~Transfer() { link_.endTransfer(); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

private:
    CommLink& link_;
};

}  // namespace rastiv
