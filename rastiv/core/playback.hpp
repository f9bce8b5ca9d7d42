// Batch playback as the batch dialog starts it: the program's link and recording.
#pragma once

#include "link/batch.hpp"

namespace rastiv {

struct Env;

// playBatchFile on the environment's link and batch recording.
Playback playBatchFile(Env& env, const QString& path, TransferProgress& progress,
                       const std::function<void(bool waiting)>& waiting);

}  // namespace rastiv
