#include "core/loadproblem.hpp"

#include <QFileInfo>
#include <pixmill/pixmill.h>

#include "core/pixmill.hpp"

namespace rastiv {

namespace {

// What the operator can do about each reason.
QString wayOut(int32_t reason) {
    switch (reason) {
        case PIXMILL_REASON_ACCEPTED: break;
        case PIXMILL_REASON_MISSING: return QStringLiteral("Check its name and folder, then load it again.");
        case PIXMILL_REASON_NO_PERMISSION:
            return QStringLiteral("Copy it somewhere you may read it, or ask its owner.");
        case PIXMILL_REASON_NOT_A_FILE: return QStringLiteral("Choose a picture file.");
        case PIXMILL_REASON_IN_USE: break;  // the reason says it already
        case PIXMILL_REASON_NOT_BMP:
            return QStringLiteral("No picture reader accepts it either.  Load a BMP, PNG, JPEG, GIF, TIFF or WebP "
                                  "picture.");
        case PIXMILL_REASON_TOO_LARGE: return QStringLiteral("Make it smaller in a paint program first.");
        case PIXMILL_REASON_OS2_HEADER:
        case PIXMILL_REASON_COMPRESSED:
        case PIXMILL_REASON_BIT_DEPTH:
            return QStringLiteral("Save it as PNG, or as an uncompressed 24-bit BMP, in a paint program and load that.");
        default:
            return QStringLiteral("The file may be damaged: save it again from the program that made it, or use "
                                  "another copy.");
    }
    return {};
}

struct Diagnosis {
    int32_t reason = PIXMILL_REASON_ACCEPTED;
    QString words;  // empty when the library could not be asked
};

Diagnosis diagnosis(PixmillBinding& pm, const QString& path) {
    Diagnosis d;
    if (pm.DiagnoseBitmap(path, d.reason, d.words) != PIXMILL_OK) d = {};
    return d;
}

}  // namespace

// The image library's own diagnosis: it knows what its checks refuse.
QString loadProblem(PixmillBinding& pm, const QString& path) {
    const Diagnosis d = diagnosis(pm, path);
    if (d.words.isEmpty()) return QStringLiteral("The image library refused the file.");
    if (d.reason == PIXMILL_REASON_ACCEPTED)
        return QStringLiteral("The image library refused the file, although its header looks like an ordinary BMP "
                              "file.");
    return d.words;
}

QString loadProblemDetails(PixmillBinding& pm, const QString& path) {
    return QStringLiteral("File: %1\nReason: %2").arg(path, loadProblem(pm, path));
}

QString loadAdvice(PixmillBinding& pm, const QString& path) {
    const QString then = wayOut(diagnosis(pm, path).reason);
    return then.isEmpty() ? loadProblem(pm, path) : loadProblem(pm, path) + QStringLiteral("  ") + then;
}

bool leftToPictureReaders(PixmillBinding& pm, const QString& path) {
    const int32_t r = diagnosis(pm, path).reason;
    return r == PIXMILL_REASON_COMPRESSED || r == PIXMILL_REASON_BIT_DEPTH || r == PIXMILL_REASON_OS2_HEADER;
}

QString fileAdvice(PixmillBinding& pm, int32_t status, const QString& working, const QString& destination) {
    if (status != PIXMILL_E_OPEN && status != PIXMILL_E_MAP) return {};
    const Diagnosis w = diagnosis(pm, working);
    if (w.reason == PIXMILL_REASON_MISSING || w.reason == PIXMILL_REASON_EMPTY)
        return QStringLiteral("Rastiv's working copy of the picture is gone or empty (%1).  Load the picture again.")
            .arg(working);
    if (w.reason == PIXMILL_REASON_NO_PERMISSION || w.reason == PIXMILL_REASON_IN_USE)
        return QStringLiteral("Rastiv's working copy of the picture cannot be used: %1").arg(w.words);
    if (destination.isEmpty()) return {};
    const QFileInfo folder(QFileInfo(destination).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("The folder %1 does not exist.  Choose another folder.").arg(folder.filePath());
    return QStringLiteral("%1 cannot be written: the folder or the file is read-only, or another program holds the "
                          "file.  Choose another name or folder.")
        .arg(destination);
}

}  // namespace rastiv
