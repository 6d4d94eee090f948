// Proc: the system's lookup, unless a test has put another in its place.
#include "platform/gl/Proc.h"

namespace platform::gl {

namespace {
ProcLookup replacement = nullptr;
}

void* Proc(const char* name) { return replacement ? replacement(name) : SystemProc(name); }

void UseProcLookup(ProcLookup lookup) { replacement = lookup; }

}  // namespace platform::gl
