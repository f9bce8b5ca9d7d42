#include "app/loadproblem.hpp"

#include <QFile>

#include "diagnose.hpp"

namespace rastiv {

// The image library's own diagnosis: it knows what its checks refuse.
QString loadProblem(const QString& path) {
    const pixmill::Diagnosis d = pixmill::diagnose(QFile::encodeName(path).toStdString());
    if (d.reason == pixmill::Reason::Accepted)
        return QStringLiteral("The image library refused the file, although its header looks like an ordinary BMP "
                              "file.");
    return QString::fromStdString(d.plainWords);
}

QString loadProblemDetails(const QString& path) {
    return QStringLiteral("File: %1\nReason: %2").arg(path, loadProblem(path));
}

}  // namespace rastiv
