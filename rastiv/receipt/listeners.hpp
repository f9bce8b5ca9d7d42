// Where a till reaches the emulated printer: a TCP port (the raw port 9100 of
// device servers) or a pseudo-terminal that looks like a serial printer.
// One client at a time; the others wait their turn.  The listener only moves
// bytes: what they print is the caller's.
//
// Nothing a client does may stop the others being served: answers wait in a
// bounded buffer per connection and go out as the client takes them; a
// client that does not take them is not read further until it does; a read
// hands over a bounded amount before the event loop runs again; a client
// that is gone or silent too long is dropped.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace rastiv {

class Clock;
class Timer;

class PrinterListener : public QObject {
public:
    // Answers waiting for a client beyond this: it is not read further until
    // it takes them.
    static constexpr qsizetype kAnswerBacklog = 64 * 1024;

    ~PrinterListener() override;

    // A client came (named by its address, or the terminal's path), sent
    // bytes, or went (`why` says how, "closed" for an orderly end).
    std::function<void(const QString& client)> connected;
    std::function<void(QByteArrayView bytes)> received;
    std::function<void(const QString& why)> disconnected;
    // Asked before a waiting client is taken: false keeps it waiting (another
    // listener's client is being served); serveNext() asks again.
    std::function<bool()> mayServe;

    // Queues the printer's answer for the client under way, if any.  Never
    // blocks, and never ends the client from inside the caller: a write that
    // fails ends it once the bytes being handed over have been handled.
    void send(QByteArrayView bytes);
    virtual void close() = 0;
    // Takes the next waiting client, if any and if mayServe allows.
    virtual void serveNext() {}
    bool clientConnected() const { return clientFd_ >= 0; }
    // Takes in what the client has sent and not yet been read, as far as it
    // goes without waiting and without passing the answer backlog.
    void drain() {
        if (clientFd_ >= 0) readClient();
    }
    // A client that sends nothing for `seconds` is dropped ("idle for N s");
    // 0: never.
    void setIdleTimeout(Clock& clock, int seconds);

protected:
    void startClient(int fd, bool isSocket, const QString& name);
    void readClient();
    void dropClient(const QString& why);
    virtual void clientGone() {}

    int clientFd_ = -1;
    bool idleDrop_ = false;  // set while a client is dropped as idle

private:
    void flush();
    void dropIfBroken();
    void touched();
    void updateNotifiers();

    bool isSocket_ = false;
    QByteArray pending_;  // answers the client has not taken yet
    QString broken_;      // why the last write failed; the client ends with it
    std::unique_ptr<QSocketNotifier> readNotifier_, writeNotifier_;
    std::unique_ptr<Timer> idle_;
    int idleSeconds_ = 0;
};

class TcpPrinterListener final : public PrinterListener {
public:
    // Clients accepted and waiting their turn, beyond which they wait in the
    // kernel's queue: the bound keeps the descriptors within the process's.
    static constexpr size_t kWaitingClients = 512;

    TcpPrinterListener();
    ~TcpPrinterListener() override;
    // Listens on host:port (port 0: one the system chooses); false with the
    // reason when it cannot.
    bool listen(const QString& host, quint16 port, QString& problem);
    // "127.0.0.1:9100", with the port really listened on.
    QString address() const;
    void close() override;
    void serveNext() override;

private:
    void accept();
    void clientGone() override;

    struct Waiting {
        int fd;
        QString name;
    };
    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> acceptNotifier_;
    std::deque<Waiting> waiting_;
    QString address_;
};

// A pseudo-terminal in raw mode; `linkPath`, when given, is made a symbolic
// link to it so that the till's configuration need not change between runs.
// Only a link an earlier run made (one into /dev/pts/) is replaced; anything
// else there is refused.  The link is removed at the end while it still
// leads to this terminal.  A client is there while it holds the terminal
// open; the terminal is watched for one every 100 ms meanwhile.  A client
// dropped as idle that still holds it is served again when it next sends.
class PtyPrinterListener final : public PrinterListener {
public:
    explicit PtyPrinterListener(Clock& clock);
    ~PtyPrinterListener() override;
    bool open(const QString& linkPath, QString& problem);
    QString path() const { return path_; }
    void close() override;
    void serveNext() override { watch(); }

private:
    bool makeLink(const QString& linkPath, QString& problem);
    void watch();
    void clientGone() override;

    int masterFd_ = -1;
    bool waitForBytes_ = false;  // the holder was dropped as idle
    QString path_, link_;
    std::unique_ptr<Timer> watch_;
};

// "HOST:PORT" (IPv6 in brackets) taken apart; false with the reason.
bool parseListenAddress(const QString& text, QString& host, quint16& port, QString& problem);

}  // namespace rastiv
