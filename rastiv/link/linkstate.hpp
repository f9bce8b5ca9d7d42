// The part of the program's shared state that belongs to the printer link:
// whether the line is open and answered, the handshake flag the transmit
// event sets, the piece length of file transfers and the batch recording's
// switches.  The program's modGlobal extends it, so the dialogs and the link
// read the same values; the command-line tool keeps one of its own.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

struct LinkState {
    QString gHelpFile;              // the help index; also the help of every message box
    bool gCommEstablished = false;  // a printer answered the connection test on this line
    int32_t gPortState = 0;         // 1 while the line is open; the port routines do nothing otherwise
    bool gSendDone = false;         // set by the transmit event, cleared by each send
    int32_t gSendChunk = 0;         // piece length of file transfers (0: 50 bytes)
    bool gBatchModeEnabled = false;
    bool gOmitPrintSampleData = true;
    bool gSendingPrintSample = false;
    int32_t gBatchFileHandle = 0;
};

}  // namespace rastiv
