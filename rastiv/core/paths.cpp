#include "core/paths.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace rastiv {

QString locateHelpFile() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    QStringList candidates{exeDir + QStringLiteral("/" RASTIV_DATADIR_FROM_BINDIR "/rastiv/help/index.html")};
#ifdef RASTIV_SOURCE_HELP
    candidates << QStringLiteral(RASTIV_SOURCE_HELP "/index.html");
#endif
    for (const QString& c : candidates)
        if (QFileInfo::exists(c)) return QFileInfo(c).canonicalFilePath();
    return QDir::cleanPath(candidates.constFirst());
}

}  // namespace rastiv
