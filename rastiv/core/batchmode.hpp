// Choosing batch files.  The recording and the playback themselves are the
// printer link's (link/batch.hpp).
#pragma once

#include <QByteArray>
#include <QString>

#include "core/filedialogs.hpp"
#include "link/batch.hpp"
#include <cstdint>

namespace rastiv {

// The Open dialog for batch files, in the folder used last for them.
FileRequest batchFileRequest(const QString& startFolder, const QString& defaultExtension);

struct Env;
// The file for a new recording, from the same dialog: a new name is
// accepted, and an existing file is replaced only when the operator agrees
// (a recording replaced by mistake is lost work); declining shows the
// dialog again.  Cancelled when no file was chosen.
FileChoice chooseRecordingFile(const Env& env);

}  // namespace rastiv
