#include "core/loadproblem.hpp"

#include <QFile>
#include <QFileInfo>

#include "diagnose.hpp"

namespace rastiv {

namespace {

// What the operator can do about each reason.
QString wayOut(pixmill::Reason r) {
    using R = pixmill::Reason;
    switch (r) {
        case R::Accepted: break;
        case R::Missing: return QStringLiteral("Check its name and folder, then load it again.");
        case R::NoPermission: return QStringLiteral("Copy it somewhere you may read it, or ask its owner.");
        case R::NotAFile: return QStringLiteral("Choose a picture file.");
        case R::InUse: break;  // the reason says it already
        case R::NotBmp:
            return QStringLiteral("No picture reader accepts it either.  Load a BMP, PNG, JPEG, GIF, TIFF or WebP "
                                  "picture.");
        case R::TooLarge: return QStringLiteral("Make it smaller in a paint program first.");
        case R::Os2Header:
        case R::Compressed:
        case R::BitDepth:
            return QStringLiteral("Save it as PNG, or as an uncompressed 24-bit BMP, in a paint program and load that.");
        default:
            return QStringLiteral("The file may be damaged: save it again from the program that made it, or use "
                                  "another copy.");
    }
    return {};
}

pixmill::Diagnosis diagnosis(const QString& path) { return pixmill::diagnose(QFile::encodeName(path).toStdString()); }

}  // namespace

// The image library's own diagnosis: it knows what its checks refuse.
QString loadProblem(const QString& path) {
    const pixmill::Diagnosis d = diagnosis(path);
    if (d.reason == pixmill::Reason::Accepted)
        return QStringLiteral("The image library refused the file, although its header looks like an ordinary BMP "
                              "file.");
    return QString::fromStdString(d.plainWords);
}

QString loadProblemDetails(const QString& path) {
    return QStringLiteral("File: %1\nReason: %2").arg(path, loadProblem(path));
}

QString loadAdvice(const QString& path) {
    const pixmill::Diagnosis d = diagnosis(path);
    const QString then = wayOut(d.reason);
    return then.isEmpty() ? loadProblem(path) : loadProblem(path) + QStringLiteral("  ") + then;
}

bool leftToPictureReaders(const QString& path) {
    using R = pixmill::Reason;
    const R r = diagnosis(path).reason;
    return r == R::Compressed || r == R::BitDepth || r == R::Os2Header;
}

QString fileAdvice(int32_t status, const QString& working, const QString& destination) {
    if (status != 10 && status != 11) return {};
    const pixmill::Diagnosis w = diagnosis(working);
    if (w.reason == pixmill::Reason::Missing || w.reason == pixmill::Reason::Empty)
        return QStringLiteral("Rastiv's working copy of the picture is gone or empty (%1).  Load the picture again.")
            .arg(working);
    if (w.reason == pixmill::Reason::NoPermission || w.reason == pixmill::Reason::InUse)
        return QStringLiteral("Rastiv's working copy of the picture cannot be used: %1")
            .arg(QString::fromStdString(w.plainWords));
    if (destination.isEmpty()) return {};
    const QFileInfo folder(QFileInfo(destination).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("The folder %1 does not exist.  Choose another folder.").arg(folder.filePath());
    return QStringLiteral("%1 cannot be written: the folder or the file is read-only, or another program holds the "
                          "file.  Choose another name or folder.")
        .arg(destination);
}

}  // namespace rastiv
