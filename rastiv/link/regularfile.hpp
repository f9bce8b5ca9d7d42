// Files that are read whole are plain files.  Opening a FIFO blocks until a
// writer comes, and a device such as /dev/zero never ends: both would hang
// the program or the tool with no word said, so they are turned away before
// anything opens them.
#pragma once

#include <QString>

namespace rastiv {

// "PATH cannot be read: it is not a regular file" when `path` names a FIFO,
// a device, a socket or a folder (links followed); empty for a regular file
// and for a path that names nothing, whose opening then says what is wrong.
// Never blocks.
QString notRegularFileProblem(const QString& path);

}  // namespace rastiv
