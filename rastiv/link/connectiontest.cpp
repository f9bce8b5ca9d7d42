#include "link/connectiontest.hpp"

#include "link/commlink.hpp"

namespace rastiv {

bool printerAnswers(CommLink& link, int waitMs, const QByteArray& query) {
    link.ClearInputBuffer();
    link.WritePort(query);
    link.startWatchdog(waitMs);
    while (link.watchdogRunning()) {
        link.yield();
        if (link.InputBufferCount() != 0) link.stopWatchdog();
    }
    return link.InputBufferCount() != 0;
}

Connection connectPrinter(CommLink& link, std::unique_ptr<SerialPort> line, const PortSettings& settings,
                          PortError& error, int waitMs) {
    link.ClosePort();
    if (!line->open(settings, error)) return Connection::CannotOpen;
    link.setPort(std::move(line), settings);
    if (!printerAnswers(link, waitMs)) return Connection::NoAnswer;
    link.printerAnswered();
    return Connection::Answered;
}

}  // namespace rastiv
