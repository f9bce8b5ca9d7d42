#include "batch/batchrecording.hpp"

#include "app/env.hpp"

namespace rastiv {

void CloseBatchFile(Env& /*env*/) {}

}  // namespace rastiv
