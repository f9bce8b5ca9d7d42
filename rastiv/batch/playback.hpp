// Playing a batch file to the connected printer, without the dialog: the
// recorded bytes in pieces of at most 100, each pause answered with
// WaitForPrinter, and a Cancel that never leaves the printer inside a
// command or a logo download.
#pragma once

#include <QString>
#include <functional>

#include "link/transferprogress.hpp"

namespace rastiv {

struct Env;

struct Playback {
    TransferEnd end = TransferEnd::Complete;  // Abandoned also when the file could not be opened
    bool downloadEnded = false;               // Cancel came inside a logo download, which playback then ended
};

// Plays the file at `path`.  `progress` is started with the file's size and
// counts every byte read past, a pause marker's too; `waiting` is told when
// the printer is waited for (true) and when sending goes on (false).
//
// A Cancel takes effect between two pieces.  When the printer is then inside
// a command, the file is played on to that command's end (and no further),
// so that no half command goes out; when it is inside a logo download, the
// download is ended with 1D 23 00, after the wait for the flash write when
// the logo had gone out whole.
Playback playBatchFile(Env& env, const QString& path, TransferProgress& progress,
                       const std::function<void(bool waiting)>& waiting);

}  // namespace rastiv
