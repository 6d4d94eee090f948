// Fills the ES call table.
#include "platform/gl/Es.h"
#include "platform/gl/Proc.h"

#include <cstdio>

namespace platform::gl {

EsCalls es;

bool LoadEsCalls() {
    bool complete = true;
#define KAVLO_ES_LOAD(name)                                                        \
    if (!LoadProc(Proc, "gl" #name, &es.name)) {                                  \
        std::fprintf(stderr, "kavlo: OpenGL ES has no gl%s\n", #name);            \
        complete = false;                                                         \
    }
    KAVLO_ES_CALLS(KAVLO_ES_LOAD)
#undef KAVLO_ES_LOAD
    return complete;
}

}  // namespace platform::gl
