#include "core/playback.hpp"

#include "core/env.hpp"

namespace rastiv {

Playback playBatchFile(Env& env, const QString& path, TransferProgress& progress,
                       const std::function<void(bool waiting)>& waiting) {
    return playBatchFile(env.link, env.batch, path, progress, waiting);
}

}  // namespace rastiv
