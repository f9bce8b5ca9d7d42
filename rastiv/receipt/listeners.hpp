// Where a till reaches the emulated printer: a TCP port (the raw port 9100 of
// device servers) or a pseudo-terminal that looks like a serial printer.
// One client at a time; the next one is taken when the first has gone.  The
// listener only moves bytes: what they print is the caller's.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace rastiv {

class Clock;
class Timer;

class PrinterListener : public QObject {
public:
    ~PrinterListener() override;

    // A client came (named by its address, or the terminal's path), sent
    // bytes, or went (`why` says how, "closed" for an orderly end).
    std::function<void(const QString& client)> connected;
    std::function<void(QByteArrayView bytes)> received;
    std::function<void(const QString& why)> disconnected;

    // Sends the printer's answer to the client under way, if any.
    virtual void send(QByteArrayView bytes) = 0;
    virtual void close() = 0;
    bool clientConnected() const { return clientFd_ >= 0; }
    // Takes in what the client has sent and not yet been read.
    void drain() {
        if (clientFd_ >= 0) readClient();
    }

protected:
    void readClient();
    void dropClient(const QString& why);
    virtual void clientGone() {}

    int clientFd_ = -1;
    std::unique_ptr<QSocketNotifier> clientNotifier_;
};

class TcpPrinterListener final : public PrinterListener {
public:
    TcpPrinterListener();
    ~TcpPrinterListener() override;
    // Listens on host:port (port 0: one the system chooses); false with the
    // reason when it cannot.
    bool listen(const QString& host, quint16 port, QString& problem);
    // "127.0.0.1:9100", with the port really listened on.
    QString address() const;
    void send(QByteArrayView bytes) override;
    void close() override;

private:
    void accept();
    void clientGone() override;

    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> acceptNotifier_;
    QString address_;
};

// A pseudo-terminal in raw mode; `linkPath`, when given, is made a symbolic
// link to it (replacing an earlier link) so that the till's configuration
// need not change between runs.  A client is there while it holds the
// terminal open; the terminal is watched for one every 100 ms meanwhile.
class PtyPrinterListener final : public PrinterListener {
public:
    explicit PtyPrinterListener(Clock& clock);
    ~PtyPrinterListener() override;
    bool open(const QString& linkPath, QString& problem);
    QString path() const { return path_; }
    void send(QByteArrayView bytes) override;
    void close() override;

private:
    void watch();
    void clientGone() override;

    int masterFd_ = -1;
    QString path_, link_;
    std::unique_ptr<Timer> watch_;
};

// "HOST:PORT" (IPv6 in brackets) taken apart; false with the reason.
bool parseListenAddress(const QString& text, QString& host, quint16& port, QString& problem);

}  // namespace rastiv
