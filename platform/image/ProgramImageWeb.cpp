// Whose code is where in a browser: one wasm module holds the program, the C++ runtime
// and every library it links, so all of its code is the program's.
#include "platform/image/ProgramImage.h"

namespace platform {

CodeOwner OwnerOfCode(const void*) { return CodeOwner::kProgram; }

CodeOwner OwnerPastRuntime(const void*) { return CodeOwner::kProgram; }

}  // namespace platform
