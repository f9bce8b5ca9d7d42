#include "link/regularfile.hpp"

#include <QFile>
#include <sys/stat.h>

namespace rastiv {

QString notRegularFileProblem(const QString& path) {
    struct stat st {};
    // stat never opens the file, so a FIFO without a writer cannot block it.
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    return QStringLiteral("%1 cannot be read: it is not a regular file").arg(path);
}

}  // namespace rastiv
