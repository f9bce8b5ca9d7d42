#include "features/filestream.hpp"

#include <QFile>

#include "link/commlink.hpp"

namespace rastiv {

bool streamFile(CommLink& link, const QString& path, int chunk, LastPiece last) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // No clearing of the output first: what is still on its way is the
    // command just sent for this file (a logo number, a status query), and a
    // printer that misses it stores or prints the file wrongly.
    const qsizetype size = chunk > 0 ? chunk : 50;
    for (;;) {
        QByteArray piece = file.read(size);
        if (piece.size() == size) {
            if (!link.SendData(piece)) return false;
            continue;
        }
        // The end of the file: what is left is the last piece.
        file.close();
        if (piece.isEmpty() && last == LastPiece::SkipEmpty) return true;
        return link.SendData(piece);
    }
}

}  // namespace rastiv
