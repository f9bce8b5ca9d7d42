// Batch recording: everything sent to the printer copied into a file.
#pragma once

namespace rastiv {

struct Env;

// Ends an open batch recording; nothing to do while none can be started.
void CloseBatchFile(Env& env);

}  // namespace rastiv
