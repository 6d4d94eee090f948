// Where the ES calls come from in a browser: emscripten's WebGL 2 functions, named
// directly, so that the page's JavaScript carries only the ones the layer calls (a
// lookup by name would keep every one). Their emscripten_ names leave the plain gl*
// names to the layer, which answers the show with them.
#include "platform/gl/Es.h"
#include "platform/gl/Proc.h"

#include <cstring>

#define KAVLO_ES_DECLARE(name) extern "C" decltype(::gl##name) emscripten_gl##name;
KAVLO_ES_CALLS(KAVLO_ES_DECLARE)
#undef KAVLO_ES_DECLARE

namespace platform::gl {

void* SystemProc(const char* name) {
    struct Entry {
        const char* name;
        void* proc;
    };
#define KAVLO_ES_ENTRY(call) {"gl" #call, reinterpret_cast<void*>(&emscripten_gl##call)},
    static const Entry kEntries[] = {KAVLO_ES_CALLS(KAVLO_ES_ENTRY)};
#undef KAVLO_ES_ENTRY
    for (const Entry& e : kEntries)
        if (std::strcmp(e.name, name) == 0) return e.proc;
    return nullptr;
}

}  // namespace platform::gl
