// The one way to GL calls that are not linked: fetched by name from the current context.
#pragma once

namespace platform::gl {

using ProcLookup = void* (*)(const char* name);

// The current context's entry point of that name; null where it has none. The system's
// lookup (SystemProc), or the one UseProcLookup set.
void* Proc(const char* name);

// Where Proc looks from now on; null for the system's lookup again. For tests, to play
// a driver that lacks a call.
void UseProcLookup(ProcLookup lookup);

// The system's lookup (ProcSdl.cpp or ProcWeb.cpp, one per system).
void* SystemProc(const char* name);

// Fills `call` with the entry point `lookup` gives for `name`; false where it gives none.
template <class F>
bool LoadProc(ProcLookup lookup, const char* name, F* call) {
    *call = reinterpret_cast<F>(lookup(name));
    return *call != nullptr;
}

}  // namespace platform::gl
