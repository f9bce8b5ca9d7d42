#include "link/filestream.hpp"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/printercommands.hpp"
#include "link/regularfile.hpp"

namespace rastiv {

namespace {

// After a Cancel held `piece` back: sends of it, and of the file after it,
// only what completes the command the printer is inside.
TransferEnd finishCommand(CommLink& link, QIODevice& file, QByteArray piece, qsizetype size, CommandTracker& printer,
                          TransferProgress& progress) {
    while (printer.midCommand() && !piece.isEmpty()) {
        const QByteArray part = piece.left(printer.toFinishCommand(piece));
        if (!link.SendData(part)) return TransferEnd::Abandoned;
        progress.add(part.size());
        printer.sent(part);
        if (part.size() < piece.size()) return TransferEnd::Cancelled;
        piece = file.read(size);
    }
    // The command may have run to the end of the file: then all of it went out.
    return piece.isEmpty() && file.atEnd() ? TransferEnd::Complete : TransferEnd::Cancelled;
}

TransferEnd streamDevice(CommLink& link, QIODevice& file, int chunk, LastPiece last, TransferProgress& progress,
                         StopAt stop) {
    // No clearing of the output first: what is still on its way is the
    // command just sent for this file (a logo number, a status query), and a
    // printer that misses it stores or prints the file wrongly.
    const qsizetype size = chunk > 0 ? chunk : 50;
    CommandTracker printer;
    for (;;) {
        const QByteArray piece = file.read(size);
        const bool lastPiece = piece.size() < size;
        if (piece.isEmpty()) {
            // Nothing of the file is left to hold back.
            if (last == LastPiece::SkipEmpty) return TransferEnd::Complete;
            return link.SendData(piece) ? TransferEnd::Complete : TransferEnd::Abandoned;
        }
        const TransferEnd sent = link.SendPiece(piece, progress);
        if (sent == TransferEnd::Abandoned) return sent;
        if (sent == TransferEnd::Cancelled) {
            if (stop == StopAt::Piece) return sent;
            return finishCommand(link, file, piece, size, printer, progress);
        }
        printer.sent(piece);
        if (lastPiece) return TransferEnd::Complete;
    }
}

TransferEnd endGraphic(CommLink& link, TransferEnd sent) {
    if (sent == TransferEnd::Abandoned) return sent;
    // Its result does not matter: nothing follows it.
    link.SendData(cmd::kFeed);
    return sent;
}

}  // namespace

TransferEnd streamFile(CommLink& link, const QString& path, int chunk, LastPiece last, TransferProgress& progress,
                       StopAt stop) {
    QFile file(path);
    if (!notRegularFileProblem(path).isEmpty() || !file.open(QIODevice::ReadOnly)) return TransferEnd::Abandoned;
    return streamDevice(link, file, chunk, last, progress, stop);
}

TransferEnd streamBytes(CommLink& link, const QByteArray& file, int chunk, LastPiece last, TransferProgress& progress,
                        StopAt stop) {
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    return streamDevice(link, buffer, chunk, last, progress, stop);
}

TransferEnd sendGraphic(CommLink& link, const QString& path, int chunk, TransferProgress& progress) {
    progress.start(QFileInfo(path).size());
    return endGraphic(link, streamFile(link, path, chunk, LastPiece::SkipEmpty, progress, StopAt::CommandEnd));
}

TransferEnd sendGraphic(CommLink& link, const QByteArray& file, int chunk, TransferProgress& progress) {
    progress.start(file.size());
    return endGraphic(link, streamBytes(link, file, chunk, LastPiece::SkipEmpty, progress, StopAt::CommandEnd));
}

}  // namespace rastiv
