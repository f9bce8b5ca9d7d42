// The serial line as the printer link sees it.  The operations keep the
// meanings the sending code relies on:
//   output()          hands bytes to the line without blocking;
//   input()           returns and removes the bytes received so far (a
//                     line that chatters more than a status answer needs
//                     keeps only the first kInputKept of them);
//   inBufferCount()   bytes received and not yet taken;
//   outBufferCount()  bytes not yet transmitted (ours and the driver's);
//                     there is no way to take them back: a byte handed over
//                     is on its way to the printer, whatever follows;
//   undeliveredCount() bytes not yet confirmed by the far end, as far as the
//                     line can tell (a TCP peer's acknowledgement; a serial
//                     driver's empty queue); at least outBufferCount();
//   dsrHolding(), ctsHolding()  the printer's ready lines;
//   transmitEvent     raised once the transmit buffer has become empty after
//                     an output (also after an empty one), during event processing.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <utility>

namespace rastiv {

// A failure the operator can act on: a number and a plain description.
struct PortError {
    PortError() = default;
    PortError(int n, QString text, QString why = {})
        : number(n), description(std::move(text)), cause(std::move(why)) {}
    int number = 0;
    QString description;
    // What happened to the connection, in a few words for a summary line
    // ("the printer hung up"); empty when the line cannot say.
    QString cause;
};

// The most a port keeps of what the printer sends before it is taken: the
// program reads only short answers (a status byte or a few), so a line that
// floods us costs no more memory than this.
inline constexpr int kInputKept = 4096;

struct PortSettings {
    QString device;   // a tty path, kVirtualPrinterDevice or "tcp://HOST:PORT"
    int baud = 9600;
    char parity = 'N';  // 'N', 'E' or 'O'; always 8 data bits and 1 stop bit, XON/XOFF

    // What one byte costs on the line: a start bit, 8 data bits and a stop
    // bit (10 at 8N1), and the parity bit when there is one.
    int bitsPerCharacter() const { return parity == 'N' ? 10 : 11; }
};

class SerialPort : public QObject {
    Q_OBJECT
public:
    ~SerialPort() override = default;

    // Opens with the settings; false with `error` filled when it cannot.
    virtual bool open(const PortSettings& settings, PortError& error) = 0;
    virtual void close() = 0;
    virtual bool portOpen() const = 0;

    virtual void output(const QByteArray& bytes) = 0;
    virtual QByteArray input() = 0;
    virtual int inBufferCount() = 0;
    virtual void clearInBuffer() = 0;
    virtual int outBufferCount() = 0;
    virtual int undeliveredCount() { return outBufferCount(); }
    virtual bool dsrHolding() = 0;
    virtual bool ctsHolding() = 0;

signals:
    void transmitEvent();
    // The device went away (an unplugged adapter).  Raised once; the port is
    // closed by then and its ready lines read low.
    void lost(const rastiv::PortError& why);
};

}  // namespace rastiv
