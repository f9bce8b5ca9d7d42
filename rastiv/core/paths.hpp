// Where the program keeps its working files and finds its help.
#pragma once

#include <QString>

namespace rastiv {

// The help index beside the installed program (../share/rastiv/help with the
// usual folders), or in the source tree when running from a build that has
// not copied it.
QString locateHelpFile();

// A file name in the working folder: workFile(dir, "tmpfile.bmp").
inline QString workFile(const QString& dir, const char* name) {
    return dir + QStringLiteral("/") + QString::fromLatin1(name);
}

}  // namespace rastiv
