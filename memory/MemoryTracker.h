// The memory tracker: tracked allocation behind every new and delete of the system,
// with guard patterns, fill patterns, an owner record per block, "memory.log" for
// problems and "memleaks.log" for the blocks still live at exit.
//
// Two libraries: kavlo_memory holds the tracker and its entry points; linking
// kavlo_memory_operators as well replaces the global operator new / delete with the
// tracked ones and registers the exit report (the demo and the tracker's tests do).
// Without the operators, SetAllocationOwner only records an owner and the tracked
// malloc/free entry points still work, so tools can use the system's code.
//
// Thread safety: every entry point may be called from any thread at any time, even
// before static initialisation; the tracker's state sits behind one lock and the
// current owner is kept per thread.
#pragma once

#include <cstddef>
#include <cstdint>

enum AllocationType {
    kAllocUnknown = 0,
    kAllocNew = 1,
    kAllocNewArray = 2,
    kAllocMalloc = 3,
    kAllocCalloc = 4,
    kAllocRealloc = 5,
    kAllocDelete = 6,
    kAllocDeleteArray = 7,
    kAllocFree = 8,
};

// Stores the owner of the next tracked allocation or release on this thread. The
// system's sources call it before every new and delete with "??" as the function.
void SetAllocationOwner(const char* file, int line, const char* function);

// Returns the reported address of a new block of `size` bytes (filled with 0xFEEDFACE
// words, or zeros for kAllocCalloc), or null after logging the reason. The caller owns
// the block and releases it with TrackedDeallocate.
void* TrackedAllocate(const char* file, int line, const char* function, AllocationType type,
                      size_t size);

// As TrackedAllocate, for a request with no owner set that a shared library made (the
// OpenGL driver; the C++ runtime for itself or for such a library, not for the program's
// templates compiled into it). The block is tracked, filled and guarded like any other,
// but the leak report gives such blocks one line after its table instead of a row each:
// a library keeps memory until exit that the program can neither release nor mend, and
// a real leak of ours would drown in it.
void* TrackedAllocateForLibrary(AllocationType type, size_t size);

// Releases the block whose reported address is `address`. An address the tracker did
// not hand out is logged ("Request to deallocate RAM that was never allocated") and
// left alone. With KAVLO_CHECK_GUARDS=1 in the environment the block's guards are
// checked first and any damage is logged to "memory.log".
void TrackedDeallocate(const char* file, int line, const char* function, AllocationType type,
                       void* address);

// The system's allocation helpers: each records the calling source line as the owner.
#define KAVLO_NEW(Type, ...) (SetAllocationOwner(__FILE__, __LINE__, "??"), new Type(__VA_ARGS__))
#define KAVLO_NEW_ARRAY(Type, count) (SetAllocationOwner(__FILE__, __LINE__, "??"), new Type[count])
#define KAVLO_DELETE(p) (SetAllocationOwner(__FILE__, __LINE__, "??"), delete (p))
#define KAVLO_DELETE_ARRAY(p) (SetAllocationOwner(__FILE__, __LINE__, "??"), delete[] (p))
#define KAVLO_MALLOC(size) TrackedAllocate(__FILE__, __LINE__, "??", kAllocMalloc, (size))
#define KAVLO_CALLOC(size) TrackedAllocate(__FILE__, __LINE__, "??", kAllocCalloc, (size))
#define KAVLO_FREE(p) TrackedDeallocate(__FILE__, __LINE__, "??", kAllocFree, (p))

// Inspection and report entry points, used by the exit step, tools and tests.
namespace MemoryTracker {

// While one lives on a thread, the allocations that thread makes with no owner set count
// as a library's (see TrackedAllocateForLibrary). Our stand-ins for the closed libraries
// the demo was written against hold one in their entry points: the originals' memory
// never reached the tracker, and the sound library keeps a loaded song to the end.
class LibraryScope {
public:
    LibraryScope();
    ~LibraryScope();
    LibraryScope(const LibraryScope&) = delete;
    LibraryScope& operator=(const LibraryScope&) = delete;
};
bool InLibraryScope();

// Whether `address` is the reported address of a live block.
bool IsTracked(const void* address);
// Number of blocks currently live (the libraries' blocks included).
unsigned LiveUnitCount();
// Value of the allocation counter (the number the last allocation request got).
unsigned AllocationCount();
// Writes "memleaks.log" now (also done at exit, and after every release after that).
void WriteLeakReport();
// Checks the guards of every live block, logging what is damaged; true when all are
// intact and the table is consistent.
bool ValidateAllAllocationUnits();
// Sets the exit-report flag and writes the report; from then on every release rewrites
// it. With KAVLO_CHECK_GUARDS=1, checks every live block's guards first. Called by the
// exit step that kavlo_memory_operators registers.
void OnProgramExit();
// Deletes "memory.log" if that has not been done yet: programs call it once they are in
// the folder they write their logs to; the first logged message does it otherwise.
// It also ends HoldLogs.
void ClearLogAtStart();
// For programs that choose their log folder at run time: until ClearLogAtStart says
// they are in it, no log is written, and a program that ends before then (after
// --help, a bad option, no data) leaves none. Messages meanwhile are dropped.
void HoldLogs();
// The owner that the next allocation on this thread will be recorded with.
void CurrentOwner(const char** file, int* line, const char** function);

// Formatters of the report and log, exposed for their tests.
const char* FormatOwner(const char* file, int line, const char* function);
const char* FormatMemorySize(size_t size);
const char* FormatThousands(unsigned value);
const char* StripSourcePath(const char* path);

}  // namespace MemoryTracker
