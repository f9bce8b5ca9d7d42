// The emulated printer behind `rastiv-cli serve`: the bytes of each client
// are printed by a ReceiptEngine, status requests are answered as the
// printer answers them, and every receipt (up to a cut, or to the end of its
// client's connection) is written as OUT/NNNN.png and OUT/NNNN.txt with one
// JSON line in OUT/receipts.jsonl:
//   {"receipt":1,"png":"0001.png","text":"0001.txt","time":"2024-05-01T10:00:00.123Z",
//    "client":"127.0.0.1:40312","bytes":812,"dots":1034,"ended":"cut",
//    "commands":{"ESC @":1,"GS V":1,"text":640},"notes":[...],"warnings":[...]}
// A receipt with no ink and no text (the line feed after a cut) is not kept.
// Every receipt's counts, notes and warnings are its own, never an earlier
// connection's.  What the printer stores (logos, watermarks, settings, the
// paper type) is kept in a state file when one is given, written at most
// once a second and when stopping.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "receipt/printermemory.hpp"
#include "receipt/receiptengine.hpp"

namespace rastiv {

class Clock;
class PngStream;
class Timer;

struct EmulatorOptions {
    QString outDir;
    QString statePath;           // empty: nothing kept between runs
    QColor highlight{255, 0, 0}; // the second colour until a paper type says otherwise
};

class Emulator final : private PaperSink {
public:
    // The notes and warnings kept per receipt; the rest are counted.
    static constexpr int kListed = 100;
    // The longest state file read: the flash's 4 MiB written out as text.
    static constexpr qint64 kMaxStateBytes = qint64(32) << 20;

    Emulator(const EmulatorOptions& options, Clock& clock);
    ~Emulator() override;

    // Reads the state file, finds the next receipt number and cuts away half
    // a record a kill left at the end of receipts.jsonl (told through
    // `remark`); false with the reason when the folder or
    // the state cannot be used.
    bool start(QString& problem);

    // A client's connection: its name, and where the printer's answers go.
    void connect(const QString& client, std::function<void(QByteArrayView)> answer);
    void receive(QByteArrayView bytes);
    // The connection ended (`why`: "closed", or what broke it); the receipt
    // under way is written.
    void disconnect(const QString& why);
    // Stopping: the receipt under way is written, marked with `why`, and the
    // state file brought up to date.
    void stop(const QString& why);
    // Writes the state file now if the flash changed since it was written.
    void flushState();

    int receiptsWritten() const { return written_; }
    // Called after each receipt is written, with its JSON line.
    std::function<void(const QByteArray& jsonLine)> receiptWritten;
    // A file could not be written: the reason.
    std::function<void(const QString& problem)> failed;
    // Something worth saying that is not a failure.
    std::function<void(const QString& text)> remark;

private:
    void rows(const uint8_t* dots, int count) override;
    void textLine(const QString& line) override;
    void cut() override;
    void finishReceipt(const QString& ended);
    void forgetReceipt();
    bool appendRecord(const QByteArray& line);
    void saveState();
    bool numberTaken(qint64 n) const;

    EmulatorOptions o_;
    PrinterMemory memory_;
    std::unique_ptr<ReceiptEngine> engine_;
    std::function<void(QByteArrayView)> answer_;
    QString client_;
    qint64 next_ = 1;
    int written_ = 0;
    std::unique_ptr<Timer> stateTimer_;
    bool stateDirty_ = false;
    // The receipt under way.
    std::unique_ptr<PngStream> png_;
    bool ink_ = false, overLength_ = false;
    QStringList text_, notes_, warnings_;
    int notesLeftOut_ = 0, warningsLeftOut_ = 0;
    std::map<QString, int> commands_;
    qint64 received_ = 0;         // bytes of every connection so far
    qint64 connectionStart_ = 0;  // where the one under way began
    qint64 unitEnd_ = 0;          // where the last unit read ended
    qint64 receiptStart_ = 0;
    QString pngName_;
};

}  // namespace rastiv
