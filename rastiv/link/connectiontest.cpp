#include "link/connectiontest.hpp"

#include "link/commlink.hpp"

namespace rastiv {

bool printerAnswers(CommLink& link, int waitMs) {
    link.ClearInputBuffer();
    link.WritePort(kStatusQuery);
    link.startWatchdog(waitMs);
    while (link.watchdogRunning()) {
        link.yield();
        if (link.InputBufferCount() != 0) link.stopWatchdog();
    }
    return link.InputBufferCount() != 0;
}

}  // namespace rastiv
