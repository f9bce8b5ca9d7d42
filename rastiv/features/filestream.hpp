// Streaming a printer file through SendData in pieces of gSendChunk bytes.
#pragma once

#include <QString>

namespace rastiv {

class CommLink;

enum class LastPiece {
    SkipEmpty,   // a file whose size is a multiple of the piece length ends with a full piece
    AlwaysSend,  // the last piece goes out even when empty (logo downloads)
};

// Sends the file piece by piece.  False when
// the file cannot be read or a SendData was cancelled.
bool streamFile(CommLink& link, const QString& path, int chunk, LastPiece last);

}  // namespace rastiv
