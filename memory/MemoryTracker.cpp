// The memory tracker: allocation units with guards and fill patterns, kept in a hash
// table on the reported address, with "memory.log" for problems and "memleaks.log"
// for the leak report.
//
// Sections:
//   1. switches, patterns and records
//   2. tracker state (one record, constant-initialised, behind one lock)
//   3. formatters
//   4. logging and validation
//   5. allocation and release
//   6. the leak report
#include "MemoryTracker.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define KAVLO_TRACKER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAVLO_TRACKER_ASAN 1
#endif
#endif
#ifdef KAVLO_TRACKER_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// ---------------------------------------------------------------------------------
// 1. Switches, patterns and records

constexpr bool fillMemory = true;
constexpr bool randomFill = false;
constexpr bool logEveryCall = false;
constexpr bool validateOnEveryCall = false;
// Set at run time: KAVLO_CHECK_GUARDS=1 checks the guards of each block as it is
// released, and of every live block at the exit step.
constexpr const char* kCheckGuardsVariable = "KAVLO_CHECK_GUARDS";

constexpr uint32_t guardFrontPattern = 0xBAADF00D;
constexpr uint32_t guardBackPattern = 0xDEADC0DE;
constexpr uint32_t freshFillPattern = 0xFEEDFACE;
constexpr uint32_t freedFillPattern = 0xDEADBEEF;

constexpr unsigned kGuardBytes = 16;
constexpr unsigned kHashSize = 4096;
constexpr unsigned kPoolBlockUnits = 256;
// Sizes are recorded in 32 bits; a larger request is refused as out of memory.
constexpr size_t kMaxReportedSize = 0xFFFFFFFFu - 2 * kGuardBytes;

const char* const kTypeNames[] = {"Unknown", "new",    "new[]",    "malloc", "calloc",
                                  "realloc", "delete", "delete[]", "free"};

struct AllocationUnit {
    uint32_t actualSize;
    uint32_t reportedSize;
    unsigned char* actualAddress;
    unsigned char* reportedAddress;
    char sourceFile[40];
    char sourceFunc[40];
    int sourceLine;
    AllocationType allocationType;
    bool breakOnDealloc;
    bool breakOnRealloc;
    uint32_t allocationNumber;
    AllocationUnit* next;
    AllocationUnit* prev;
    bool fromLibrary;  // allocated by a shared library, not by the program's own code
};

// ---------------------------------------------------------------------------------
// 2. Tracker state
//
// Shared libraries and other threads reach operator new before this file's static
// initialisers could run, so the state needs none: every member is constant-initialised
// (zero, or a constant), and std::mutex has a constexpr constructor.

struct TrackerState {
    std::mutex lock;
    AllocationUnit* hashTable[kHashSize] = {};
    AllocationUnit* reservoir = nullptr;         // free list of spare units
    AllocationUnit** reservoirBlocks = nullptr;  // every pool block, to release them
    unsigned reservoirBlockCount = 0;
    uint32_t allocationCount = 0;
    unsigned liveUnits = 0;
    bool exitReportWritten = false;
    bool clearLogPending = true;  // clearLogAtStart is on
    bool logsHeld = false;        // no log file until the program is in its log folder
    // The guard check switch: -1 until the environment was read (under the lock, on
    // first use, which may come before main or from any thread), then 0 or 1.
    int checkGuards = -1;
};

TrackerState state;

struct OwnerRecord {
    const char* file;
    int line;
    const char* function;
};
// Per thread, so that the audio thread's allocations never take the main thread's owner.
thread_local OwnerRecord currentOwner = {"??", 0, "??"};

void ResetAllocationOwner() { currentOwner = {"??", 0, "??"}; }

thread_local int libraryScopeDepth = 0;

unsigned HashOf(const void* reportedAddress) {
    return static_cast<unsigned>((reinterpret_cast<uintptr_t>(reportedAddress) >> 4) &
                                 (kHashSize - 1));
}

// ---------------------------------------------------------------------------------
// 3. Formatters (their buffers are per thread, as callers may be on any thread)

thread_local char ownerText[90];
thread_local char sizeText[64];
thread_local char thousandsText[32];

const char* StripPath(const char* path) {
    if (!path) return "??";
    const char* slash = std::strrchr(path, '\\');
    if (!slash) slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

const char* Thousands(uint64_t value) {
    char digits[24];
    int n = std::snprintf(digits, sizeof digits, "%" PRIu64, value);
    char* out = thousandsText;
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) *out++ = ',';
        *out++ = digits[i];
    }
    *out = '\0';
    return thousandsText;
}

const char* MemorySize(size_t size) {
    const unsigned value = static_cast<unsigned>(size);
    if (value > 1048576) {
        const float mb = static_cast<float>(value) * 9.5367431640625e-07f;
        std::snprintf(sizeText, sizeof sizeText, "%10s (%7.2fM)", Thousands(value), mb);
    } else if (value > 1024) {
        const float kb = static_cast<float>(value) * 0.0009765625f;
        std::snprintf(sizeText, sizeof sizeText, "%10s (%7.2fK)", Thousands(value), kb);
    } else {
        std::snprintf(sizeText, sizeof sizeText, "%10s bytes     ", Thousands(value));
    }
    return sizeText;
}

const char* Owner(const char* file, int line, const char* function) {
    std::snprintf(ownerText, sizeof ownerText, "%s(%05d)::%s", StripPath(file), line,
                  function ? function : "??");
    return ownerText;
}

// ---------------------------------------------------------------------------------
// 4. Logging and validation (callers hold the lock)

void LogMemoryMessage(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (state.logsHeld) return;
    if (state.clearLogPending) {
        std::remove("memory.log");
        state.clearLogPending = false;
    }
    std::FILE* file = std::fopen("memory.log", "ab");
    if (!file) return;
    std::fprintf(file, "%s\r\n", buffer);
    std::fclose(file);
}

uint32_t Pattern(uint32_t pattern) {
    if (randomFill) {
        uint32_t r = 0;
        for (int i = 0; i < 4; ++i) r = (r << 8) | (static_cast<unsigned>(std::rand()) & 0xFF);
        return r;
    }
    return pattern;
}

void WriteWords(unsigned char* at, uint32_t word, unsigned count) {
    for (unsigned i = 0; i < count; ++i) std::memcpy(at + 4 * i, &word, 4);
}

void FillAllocationUnit(AllocationUnit* unit, uint32_t pattern, uint32_t fromOffset) {
    pattern = Pattern(pattern);
    if (fillMemory && unit->reportedSize > fromOffset) {
        unsigned char* p = unit->reportedAddress + fromOffset;
        const uint32_t length = unit->reportedSize - fromOffset;
        WriteWords(p, pattern, length / 4);
        for (uint32_t i = length & ~3u; i < length; ++i)
            p[i] = static_cast<unsigned char>(pattern >> (8 * (i & 3)));
    }
    WriteWords(unit->actualAddress, guardFrontPattern, 4);
    WriteWords(unit->actualAddress + unit->actualSize - kGuardBytes, guardBackPattern, 4);
}

// Under AddressSanitizer the guards of a live block are poisoned: they lie inside the
// C runtime's block, so a write into them would otherwise pass unseen; poisoned, it is
// reported where it happens. The tracker opens them around its own reads and writes.
void SealGuards(const AllocationUnit* unit) {
#ifdef KAVLO_TRACKER_ASAN
    ASAN_POISON_MEMORY_REGION(unit->actualAddress, kGuardBytes);
    ASAN_POISON_MEMORY_REGION(unit->actualAddress + unit->actualSize - kGuardBytes, kGuardBytes);
#else
    (void)unit;
#endif
}

void OpenGuards(const AllocationUnit* unit) {
#ifdef KAVLO_TRACKER_ASAN
    ASAN_UNPOISON_MEMORY_REGION(unit->actualAddress, kGuardBytes);
    ASAN_UNPOISON_MEMORY_REGION(unit->actualAddress + unit->actualSize - kGuardBytes,
                                kGuardBytes);
#else
    (void)unit;
#endif
}

uint32_t ReadWord(const unsigned char* at) {
    uint32_t word;
    std::memcpy(&word, at, 4);
    return word;
}

// Bytes still holding the fresh pattern. The last word compared may reach into the
// back guard (a 5-byte block counts 4), as the report has always shown it.
uint32_t CountUntouchedBytes(const AllocationUnit* unit) {
    uint32_t count = 0;
    const uint32_t words = (unit->reportedSize + 3) / 4;
    for (uint32_t i = 0; i < words; ++i)
        if (ReadWord(unit->reportedAddress + 4 * i) == freshFillPattern) count += 4;
    return count;
}

void DumpAllocationUnit(const AllocationUnit* unit, const char* prefix) {
    LogMemoryMessage("%sAddress (reported): 0x%016" PRIXPTR, prefix,
                     reinterpret_cast<uintptr_t>(unit->reportedAddress));
    LogMemoryMessage("%sAddress (actual)  : 0x%016" PRIXPTR, prefix,
                     reinterpret_cast<uintptr_t>(unit->actualAddress));
    LogMemoryMessage("%sSize (reported)   : 0x%08X (%s)", prefix, unit->reportedSize,
                     MemorySize(unit->reportedSize));
    LogMemoryMessage("%sSize (actual)     : 0x%08X (%s)", prefix, unit->actualSize,
                     MemorySize(unit->actualSize));
    LogMemoryMessage("%sOwner             : %s(%d)::%s", prefix, unit->sourceFile,
                     unit->sourceLine, unit->sourceFunc);
    LogMemoryMessage("%sAllocation type   : %s", prefix, kTypeNames[unit->allocationType]);
    LogMemoryMessage("%sAllocation number : %d", prefix, unit->allocationNumber);
}

bool ValidateAllocationUnit(const AllocationUnit* unit) {
    bool errors = false;
    const unsigned char* front = unit->actualAddress;
    const unsigned char* back = unit->actualAddress + unit->actualSize - kGuardBytes;
    for (int i = 0; i < 4; ++i) {
        if (ReadWord(front + 4 * i) != guardFrontPattern) {
            LogMemoryMessage("A memory allocation unit was corrupt because of an underrun:");
            DumpAllocationUnit(unit, "  ");
            errors = true;
        }
        if (ReadWord(back + 4 * i) != guardBackPattern) {
            LogMemoryMessage("A memory allocation unit was corrupt because of an overrun:");
            DumpAllocationUnit(unit, "  ");
            errors = true;
        }
    }
    return !errors;
}

bool ValidateAllLocked() {
    unsigned errors = 0;
    unsigned count = 0;
    for (AllocationUnit* head : state.hashTable) {
        for (AllocationUnit* unit = head; unit; unit = unit->next) {
            ++count;
            OpenGuards(unit);
            if (!ValidateAllocationUnit(unit)) ++errors;
            SealGuards(unit);
        }
    }
    if (count != state.liveUnits) {
        LogMemoryMessage("Memory tracking hash table corrupt!");
        ++errors;
    }
    if (errors)
        LogMemoryMessage(
            "While validting all allocation units, %d allocation unit(s) were found to have "
            "problems",
            errors);
    return errors == 0;
}

// Callers hold the lock. Off unless the variable is set to something other than "0".
bool CheckGuardsLocked() {
    if (state.checkGuards < 0) {
        const char* value = std::getenv(kCheckGuardsVariable);
        state.checkGuards = value && *value && std::strcmp(value, "0") != 0 ? 1 : 0;
    }
    return state.checkGuards == 1;
}

AllocationUnit* FindAllocationUnit(const void* reportedAddress) {
    for (AllocationUnit* unit = state.hashTable[HashOf(reportedAddress)]; unit; unit = unit->next)
        if (unit->reportedAddress == reportedAddress) return unit;
    return nullptr;
}

void WriteLeakReportLocked();

// ---------------------------------------------------------------------------------
// 5. Allocation and release

// Takes a zeroed unit from the pool, refilling it with a block of 256; null if the
// tracker cannot get memory for its records.
AllocationUnit* TakeUnit() {
    if (!state.reservoir) {
        auto* block =
            static_cast<AllocationUnit*>(std::malloc(sizeof(AllocationUnit) * kPoolBlockUnits));
        if (!block) return nullptr;
        std::memset(block, 0, sizeof(AllocationUnit) * kPoolBlockUnits);
        for (unsigned i = 0; i + 1 < kPoolBlockUnits; ++i) block[i].next = &block[i + 1];
        state.reservoir = block;
        auto** grown = static_cast<AllocationUnit**>(std::realloc(
            state.reservoirBlocks, sizeof(AllocationUnit*) * (state.reservoirBlockCount + 1)));
        if (grown) {
            state.reservoirBlocks = grown;
            state.reservoirBlocks[state.reservoirBlockCount++] = block;
        }
    }
    AllocationUnit* unit = state.reservoir;
    state.reservoir = unit->next;
    std::memset(unit, 0, sizeof *unit);
    return unit;
}

void ReturnUnit(AllocationUnit* unit) {
    std::memset(unit, 0, sizeof *unit);
    unit->next = state.reservoir;
    state.reservoir = unit;
}

void CopyText(char (&to)[40], const char* from) {
    std::snprintf(to, sizeof to, "%s", from ? from : "??");
}

}  // namespace

void SetAllocationOwner(const char* file, int line, const char* function) {
    currentOwner = {file, line, function};
}

namespace {

void* AllocateLocked(const char* file, int line, const char* function, AllocationType type,
                     size_t size, bool fromLibrary) {
    const uint32_t number = ++state.allocationCount;
    if (logEveryCall)
        LogMemoryMessage("%05d %-40s %8s            : %s", number, Owner(file, line, function),
                         kTypeNames[type], MemorySize(size));

    AllocationUnit* unit = TakeUnit();
    if (!unit) {
        LogMemoryMessage("Unable to allocate RAM for internal memory tracking data");
        ResetAllocationOwner();
        return nullptr;
    }
    unsigned char* actual =
        size <= kMaxReportedSize
            ? static_cast<unsigned char*>(std::malloc(size + 2 * kGuardBytes))
            : nullptr;
    if (!actual) {
        ReturnUnit(unit);
        LogMemoryMessage("Request for allocation failed. Out of memory.");
        ResetAllocationOwner();
        return nullptr;
    }
    unit->actualSize = static_cast<uint32_t>(size + 2 * kGuardBytes);
    unit->reportedSize = static_cast<uint32_t>(size);
    unit->actualAddress = actual;
    unit->reportedAddress = actual + kGuardBytes;
    CopyText(unit->sourceFile, file ? StripPath(file) : "??");
    CopyText(unit->sourceFunc, function);
    unit->sourceLine = line;
    unit->allocationType = type;
    unit->allocationNumber = number;
    unit->fromLibrary = fromLibrary;

    const unsigned bucket = HashOf(unit->reportedAddress);
    if (state.hashTable[bucket]) state.hashTable[bucket]->prev = unit;
    unit->next = state.hashTable[bucket];
    unit->prev = nullptr;
    state.hashTable[bucket] = unit;
    ++state.liveUnits;

    FillAllocationUnit(unit, freshFillPattern, 0);
    if (type == kAllocCalloc) std::memset(unit->reportedAddress, 0, unit->reportedSize);
    SealGuards(unit);
    if (validateOnEveryCall) ValidateAllLocked();
    if (logEveryCall)
        LogMemoryMessage("%65sOK: 0x%016" PRIXPTR " (hash: %d)", "",
                         reinterpret_cast<uintptr_t>(unit->reportedAddress), bucket);
    ResetAllocationOwner();
    return unit->reportedAddress;
}

}  // namespace

void* TrackedAllocate(const char* file, int line, const char* function, AllocationType type,
                      size_t size) {
    std::lock_guard<std::mutex> guard(state.lock);
    return AllocateLocked(file, line, function, type, size, false);
}

void* TrackedAllocateForLibrary(AllocationType type, size_t size) {
    std::lock_guard<std::mutex> guard(state.lock);
    return AllocateLocked("??", 0, "??", type, size, true);
}

void TrackedDeallocate(const char* file, int line, const char* function, AllocationType type,
                       void* address) {
    std::lock_guard<std::mutex> guard(state.lock);
    if (logEveryCall)
        LogMemoryMessage("      %-40s %8s(0x%016" PRIXPTR ")", Owner(file, line, function),
                         kTypeNames[type], reinterpret_cast<uintptr_t>(address));

    // Only the table is searched: an address we did not hand out is never touched.
    AllocationUnit* unit = FindAllocationUnit(address);
    if (!unit) {
        LogMemoryMessage("Request to deallocate RAM that was never allocated");
        ResetAllocationOwner();
        return;
    }
    // Before the freed fill rewrites the guards; the block is released either way, as
    // an overrun past its back guard has already reached the C runtime's heap.
    OpenGuards(unit);
    if (CheckGuardsLocked()) ValidateAllocationUnit(unit);
    FillAllocationUnit(unit, freedFillPattern, 0);
    std::free(unit->actualAddress);

    const unsigned bucket = HashOf(unit->reportedAddress);
    if (state.hashTable[bucket] == unit) {
        state.hashTable[bucket] = unit->next;
        if (unit->next) unit->next->prev = nullptr;
    } else {
        if (unit->prev) unit->prev->next = unit->next;
        if (unit->next) unit->next->prev = unit->prev;
    }
    --state.liveUnits;
    ReturnUnit(unit);
    ResetAllocationOwner();
    if (validateOnEveryCall) ValidateAllLocked();
    if (state.exitReportWritten) WriteLeakReportLocked();
}

namespace {

// ---------------------------------------------------------------------------------
// 6. The leak report

void DissolvePool() {
    for (unsigned i = 0; i < state.reservoirBlockCount; ++i) std::free(state.reservoirBlocks[i]);
    std::free(state.reservoirBlocks);
    state.reservoirBlocks = nullptr;
    state.reservoirBlockCount = 0;
    state.reservoir = nullptr;
}

void WriteLeakReportLocked() {
    if (state.logsHeld) return;
    std::FILE* file = std::fopen("memleaks.log", "w+b");
    if (!file) return;

    char rule[133];
    rule[0] = ' ';
    std::memset(rule + 1, '-', 130);
    rule[131] = ' ';
    rule[132] = '\0';

    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);

    std::fprintf(file, "%s\r\n", rule);
    std::fprintf(file, "|%42sMemory leak report for:  %02d/%02d/%04d %02d:%02d:%02d%44s|\r\n", "",
                 local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour,
                 local.tm_min, local.tm_sec, "");
    std::fprintf(file, "%s\r\n\r\n\r\n", rule);

    unsigned libraryUnits = 0;
    uint64_t libraryBytes = 0;
    for (AllocationUnit* head : state.hashTable) {
        for (AllocationUnit* unit = head; unit; unit = unit->next) {
            if (!unit->fromLibrary) continue;
            ++libraryUnits;
            libraryBytes += unit->reportedSize;
        }
    }
    const unsigned leaks = state.liveUnits - libraryUnits;
    if (leaks) {
        std::fprintf(file, "%d memory leak%s found:\r\n", leaks, leaks == 1 ? "" : "s");
    } else {
        std::fprintf(file, "Congratulations! No memory leaks found!\r\n");
        // The pool's blocks also hold the units of the libraries' live blocks.
        if (!state.liveUnits) DissolvePool();
    }
    std::fprintf(file, "\r\n");

    if (leaks) {
        std::fprintf(file,
                     "Alloc.   Addr       Size       Addr       Size                        "
                     "BreakOn BreakOn              \r\n");
        std::fprintf(file,
                     "Number Reported   Reported    Actual     Actual     Unused    Method  "
                     "Dealloc Realloc Allocated by \r\n");
        std::fprintf(file,
                     "------ ---------- ---------- ---------- ---------- ---------- -------- "
                     "------- ------- --------------------------------------------------- \r\n");
        for (AllocationUnit* head : state.hashTable) {
            for (AllocationUnit* unit = head; unit; unit = unit->next) {
                if (unit->fromLibrary) continue;
                OpenGuards(unit);  // the last word compared may reach into the back guard
                const uint32_t unused = CountUntouchedBytes(unit);
                SealGuards(unit);
                // Addresses at the full pointer width: they no longer fit 8 digits.
                std::fprintf(file,
                             "%06d 0x%016" PRIXPTR " 0x%08X 0x%016" PRIXPTR
                             " 0x%08X 0x%08X %-8s    %c       %c    %s\r\n",
                             unit->allocationNumber,
                             reinterpret_cast<uintptr_t>(unit->reportedAddress),
                             unit->reportedSize, reinterpret_cast<uintptr_t>(unit->actualAddress),
                             unit->actualSize, unused,
                             kTypeNames[unit->allocationType], unit->breakOnDealloc ? 'Y' : 'N',
                             unit->breakOnRealloc ? 'Y' : 'N',
                             Owner(unit->sourceFile, unit->sourceLine, unit->sourceFunc));
            }
        }
    }
    if (libraryUnits) {
        if (leaks) std::fprintf(file, "\r\n");
        std::fprintf(file,
                     "Not listed: %u block%s (%s bytes) still held by libraries (the OpenGL "
                     "driver, the C++ runtime, the sound library).\r\n",
                     libraryUnits, libraryUnits == 1 ? "" : "s",
                     Thousands(libraryBytes));
    }
    std::fclose(file);
}

}  // namespace

namespace MemoryTracker {

LibraryScope::LibraryScope() { ++libraryScopeDepth; }
LibraryScope::~LibraryScope() { --libraryScopeDepth; }
bool InLibraryScope() { return libraryScopeDepth > 0; }

bool IsTracked(const void* address) {
    std::lock_guard<std::mutex> guard(state.lock);
    return FindAllocationUnit(address) != nullptr;
}

unsigned LiveUnitCount() {
    std::lock_guard<std::mutex> guard(state.lock);
    return state.liveUnits;
}

unsigned AllocationCount() {
    std::lock_guard<std::mutex> guard(state.lock);
    return state.allocationCount;
}

void WriteLeakReport() {
    std::lock_guard<std::mutex> guard(state.lock);
    WriteLeakReportLocked();
}

bool ValidateAllAllocationUnits() {
    std::lock_guard<std::mutex> guard(state.lock);
    return ValidateAllLocked();
}

void OnProgramExit() {
    std::lock_guard<std::mutex> guard(state.lock);
    if (CheckGuardsLocked()) ValidateAllLocked();
    state.exitReportWritten = true;
    WriteLeakReportLocked();
}

void HoldLogs() {
    std::lock_guard<std::mutex> guard(state.lock);
    state.logsHeld = true;
}

void ClearLogAtStart() {
    std::lock_guard<std::mutex> guard(state.lock);
    state.logsHeld = false;
    if (state.clearLogPending) {
        std::remove("memory.log");
        state.clearLogPending = false;
    }
}

void CurrentOwner(const char** file, int* line, const char** function) {
    *file = currentOwner.file;
    *line = currentOwner.line;
    *function = currentOwner.function;
}

const char* FormatOwner(const char* file, int line, const char* function) {
    return Owner(file, line, function);
}
const char* FormatMemorySize(size_t size) { return MemorySize(size); }
const char* FormatThousands(unsigned value) { return Thousands(value); }
const char* StripSourcePath(const char* path) { return StripPath(path); }

}  // namespace MemoryTracker
