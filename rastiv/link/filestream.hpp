// Streaming a printer file through SendData in pieces of gSendChunk bytes.
#pragma once

#include <QByteArray>
#include <QString>

#include "link/transferprogress.hpp"

namespace rastiv {

class CommLink;

enum class LastPiece {
    SkipEmpty,   // a file whose size is a multiple of the piece length ends with a full piece
    AlwaysSend,  // the last piece goes out even when empty (logo downloads)
};

// Where a Cancel takes effect.
enum class StopAt {
    Piece,       // after the piece on the line: nothing more of the file
    CommandEnd,  // and then what completes the command that piece was part of
};

// Sends the file piece by piece, counting each into `progress` (which the
// caller has started) and holding the next piece back once Cancel has been
// pressed, as long as some of the file is left.  Abandoned when the file
// cannot be read or a SendData was cancelled.
TransferEnd streamFile(CommLink& link, const QString& path, int chunk, LastPiece last, TransferProgress& progress,
                       StopAt stop = StopAt::Piece);
// The same for a file read (and checked) before: exactly these bytes go out.
TransferEnd streamBytes(CommLink& link, const QByteArray& file, int chunk, LastPiece last, TransferProgress& progress,
                        StopAt stop = StopAt::Piece);

// A printed graphic: the graphics file, then the paper feed.  A Cancel
// stops at the end of the raster line under way (the printer would take
// the feed as the rest of the line) and still feeds the paper, so that
// what was printed comes out.  The progress counts the file.
TransferEnd sendGraphic(CommLink& link, const QString& path, int chunk, TransferProgress& progress);
TransferEnd sendGraphic(CommLink& link, const QByteArray& file, int chunk, TransferProgress& progress);

}  // namespace rastiv
