// BASELIB MEM implementation.
//
// [SECTION] Process-wide state
// [SECTION] Start and stop
// [SECTION] Plain path
// [SECTION] Byte helpers
// [SECTION] Tracked block records
// [SECTION] Tracking allocator
// [SECTION] Leak report
//
// Tracked block records are 8 little-endian 32-bit words. A 64-bit process
// cannot keep pointers in 32-bit words, so the words that name other things
// hold numbers instead: word 3 is the record's own serial number, words 1 and 2
// the serial numbers of the previous and next record (0 = none), and word 7 the
// number of the source-file name in a table of names. A side table maps serial
// numbers back to records, so the leak report can follow word 2.
#include "baselib/bl_memory.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "baselib/bl_file.h"
#include "baselib/mutex.h"

// [SECTION] Process-wide state

namespace {

const char kModule[] = "BASELIB MEM";

struct MemState {
    uint8_t* list_head = nullptr;
    uint8_t* list_snapshot = nullptr;
    uint8_t* list_tail = nullptr;
    std::atomic<uint32_t> flags{0};
    std::atomic<MUTX*> mutex{nullptr};
    uint32_t statistics[kMemStatWords] = {};
    uint32_t next_serial = 1;
    std::unordered_map<uint32_t, uint8_t*> records;        // serial -> record
    std::unordered_map<const uint8_t*, uint32_t> serials;  // record -> serial
    std::vector<const char*> file_names;                   // number - 1 -> name
};

MemState& State() {
    static MemState* state = new MemState;  // never destroyed: used until the very end
    return *state;
}

bool Initialised() {
    return State().flags.load() & kMemInitialised;
}

// Holds the memory mutex while the system is initialised; warns otherwise
// (unless `function` is null).
class MemLock {
  public:
    explicit MemLock(const char* function) {
        if (!Initialised()) {
            if (function) {
                LOGSYS_Printf(nullptr, kLogWarning, "%s:%s : MEMORY SYSTEM NOT INITIALIZED !",
                              kModule, function);
            }
            return;
        }
        mutex_ = State().mutex.load();
        if (mutex_ && !MUTX_Lock(mutex_, kMutxNoTimeout))
            mutex_ = nullptr;
    }
    ~MemLock() {
        if (mutex_)
            MUTX_Unlock(mutex_);
    }
    MemLock(const MemLock&) = delete;
    MemLock& operator=(const MemLock&) = delete;

  private:
    MUTX* mutex_ = nullptr;
};

}  // namespace

// [SECTION] Start and stop

int16_t BL_InitMemSystem(uint32_t flags) {
    MemState& state = State();
    if (Initialised()) {
        LOGSYS_Printf(nullptr, kLogWarning, "%s:%s : MEMORY SYSTEM ALREADY INITIALIZED !", kModule,
                      "BL_InitMemSystem");
        return 0;
    }
    if (state.list_head) {
        LOGSYS_Printf(nullptr, kLogWarning, "%s:%s : DIRTY MEMORY SYSTEM REINITIALIZED !", kModule,
                      "BL_InitMemSystem");
    }
    uint32_t current = state.flags.load();
    uint32_t chosen = (current & kMemKeepMode) ? current : flags;
    state.flags.store(chosen & ~kMemInitialised);
    // The mutex is made once and kept (see BL_ExitMemSystem).
    if (!state.mutex.load()) {
        MUTX* mutex = MUTX_Create(0);
        if (!mutex)
            return -1;
        state.mutex.store(mutex);
    }
    state.flags.fetch_or(kMemInitialised);
    state.list_snapshot = state.list_head;
    return 0;
}

int16_t BL_ExitMemSystem() {
    MemState& state = State();
    if (!Initialised()) {
        LOGSYS_Printf(nullptr, kLogError, "%s:%s : MEMORY SYSTEM NOT INITIALIZED !", kModule,
                      "BL_ExitMemSystem");
        return -1;
    }
    state.flags.fetch_and(~kMemInitialised);
    // Waits for the thread inside an allocation to leave it, then retires the
    // mutex without deleting it: another thread may have seen the system
    // started and be on its way to lock it, or be waiting for it, and every
    // thread allocates. A later start uses it again.
    MUTX* mutex = state.mutex.load();
    if (MUTX_Lock(mutex, kMutxNoTimeout))
        MUTX_Unlock(mutex);
    return 0;
}

uint32_t BL_GetMemFlags() {
    return State().flags.load();
}

int16_t BL_Init() {
    int16_t memory = BL_InitMemSystem(kMemGuarded);
    int16_t files = InitBL();
    return (memory != 0 || files != 0) ? -1 : 0;
}

int16_t BL_Exit() {
    FreeBL();
    return BL_ExitMemSystem();
}

// [SECTION] Plain path

void* BL_OrgGetMem(int32_t size) {
    if (size < 1)
        size = 1;
    MemLock lock("BL_OrgGetMem");
    void* block = std::malloc(static_cast<size_t>(size));
    if (!block) {
        LOGSYS_Printf(nullptr, kLogError, "%s:%s : CANNOT ALLOC DOS MEMORY (SIZE: %ld) !", kModule,
                      "BL_OrgGetMem", static_cast<long>(size));
        return nullptr;  // the lock is released on this path too
    }
    return block;
}

int16_t BL_OrgFreeMem(void* pointer) {
    MemLock lock("BL_OrgFreeMem");
    std::free(pointer);
    return 0;
}

// [SECTION] Byte helpers

void BL_MemCopy(const void* source, void* destination, int32_t count) {
    if (count <= 0 || !source || !destination)
        return;
    const auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(destination);
    for (int32_t i = 0; i < count; ++i) to[i] = from[i];
}

void BL_MemSet(void* destination, uint8_t value, int32_t count) {
    if (count <= 0 || !destination)
        return;
    std::memset(destination, value, static_cast<size_t>(count));
}

void* BL_JoinMem(void* first, int32_t first_size, void* second, int32_t second_size,
                 int free_inputs) {
    if (first_size < 0 || second_size < 0)
        return nullptr;
    if ((first_size > 0 && !first) || (second_size > 0 && !second))
        return nullptr;
    int64_t total = int64_t(first_size) + int64_t(second_size);
    if (total > INT32_MAX) {
        LOGSYS_Printf(nullptr, kLogError, "%s:%s : CANNOT ALLOC DOS MEMORY (SIZE: %ld) !", kModule,
                      "BL_JoinMem", static_cast<long>(total));
        return nullptr;
    }
    auto* joined = static_cast<uint8_t*>(BL_OrgGetMem(static_cast<int32_t>(total)));
    if (!joined)
        return nullptr;  // the inputs stay with the caller
    if (first_size > 0)
        std::memcpy(joined, first, static_cast<size_t>(first_size));
    if (second_size > 0)
        std::memcpy(joined + first_size, second, static_cast<size_t>(second_size));
    if (free_inputs) {
        BL_OrgFreeMem(first);
        BL_OrgFreeMem(second);
    }
    return joined;
}

int16_t BL_GetMemStatistics(uint32_t* record) {
    if (!record)
        return -1;
    MemLock lock(nullptr);
    std::memcpy(record, State().statistics, sizeof(State().statistics));
    return 0;
}

// [SECTION] Tracked block records

namespace {

enum RecordWord { kPrev = 0, kNext, kOwn, kBlockFlags, kSize, kChecksum, kFile, kLine };

uint32_t Word(const uint8_t* record, int word) {
    const uint8_t* p = record + word * 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void SetWord(uint8_t* record, int word, uint32_t value) {
    uint8_t* p = record + word * 4;
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

uint32_t HeaderXor(const uint8_t* record) {
    return Word(record, kPrev) ^ Word(record, kNext) ^ Word(record, kOwn) ^
           Word(record, kBlockFlags) ^ Word(record, kSize) ^ Word(record, kFile) ^
           Word(record, kLine);
}

void Seal(uint8_t* record) {
    uint32_t x = HeaderXor(record);
    SetWord(record, kChecksum, x == 0 ? 0xFFFFFFFF : x);
}

int DataOffset(const uint8_t* record) {
    return kMemRecordSize + ((Word(record, kBlockFlags) & kMemBlockGuards) ? kMemGuardSize : 0);
}

uint8_t* RecordBySerial(uint32_t serial) {
    if (serial == 0)
        return nullptr;
    auto found = State().records.find(serial);
    return found == State().records.end() ? nullptr : found->second;
}

uint32_t FileNameNumber(const char* file) {
    std::vector<const char*>& names = State().file_names;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == file)
            return static_cast<uint32_t>(i + 1);
    names.push_back(file);
    return static_cast<uint32_t>(names.size());
}

const char* FileNameOf(uint32_t number) {
    const std::vector<const char*>& names = State().file_names;
    if (number == 0 || number > names.size() || !names[number - 1])
        return "?";
    return names[number - 1];
}

}  // namespace

int BL_CheckMemBlock(const void* record_pointer) {
    if (!record_pointer)
        return kMemCheckNull;
    const auto* record = static_cast<const uint8_t*>(record_pointer);
    uint32_t x = HeaderXor(record);
    uint32_t stored = Word(record, kChecksum);
    if ((x != 0 && x != stored) || (x == 0 && stored != 0xFFFFFFFF))
        return kMemCheckHeader;
    if (!(Word(record, kBlockFlags) & kMemBlockGuards))
        return 0;
    const uint8_t* front = record + kMemRecordSize;
    const uint8_t* back = record + kMemRecordSize + kMemGuardSize + Word(record, kSize);
    static const uint8_t kIntact[4] = {kMemGuardByte, kMemGuardByte, kMemGuardByte, kMemGuardByte};
    for (int i = 0; i < kMemGuardSize; i += 4) {
        bool front_ok = std::memcmp(front + i, kIntact, 4) == 0;
        bool back_ok = std::memcmp(back + i, kIntact, 4) == 0;
        if (!front_ok)
            return back_ok ? kMemCheckFrontGuard : kMemCheckBothGuards;
        if (!back_ok)
            return kMemCheckBackGuard;
    }
    return 0;
}

// [SECTION] Tracking allocator

void* BL_DebugGetMem(int32_t size, const char* file, uint32_t line) {
    if (size < 1)
        size = 1;
    MemLock lock("BL_DebugGetMem");
    MemState& state = State();
    bool guarded = state.flags.load() & kMemGuarded;
    size_t guard = guarded ? kMemGuardSize : 0;
    size_t total = kMemRecordSize + 2 * guard + static_cast<size_t>(size);
    auto* record = static_cast<uint8_t*>(std::malloc(total));
    if (!record) {
        LOGSYS_Printf(nullptr, kLogError, "%s:%s : CANNOT ALLOC DOS MEMORY (SIZE: %ld) !", kModule,
                      "BL_DebugGetMem", static_cast<long>(size));
        state.statistics[7]++;
        return nullptr;
    }
    uint32_t serial = state.next_serial++;
    if (state.next_serial == 0)
        state.next_serial = 1;
    uint32_t tail_serial = state.list_tail ? Word(state.list_tail, kOwn) : 0;
    SetWord(record, kPrev, tail_serial);
    SetWord(record, kNext, 0);
    SetWord(record, kOwn, serial);
    SetWord(record, kBlockFlags, guarded ? kMemBlockGuards : 0);
    SetWord(record, kSize, static_cast<uint32_t>(size));
    SetWord(record, kFile, FileNameNumber(file));
    SetWord(record, kLine, line);
    Seal(record);
    if (guarded) {
        std::memset(record + kMemRecordSize, kMemGuardByte, guard);
        std::memset(record + kMemRecordSize + guard + size, kMemGuardByte, guard);
    }
    try {
        state.records[serial] = record;
        state.serials[record] = serial;
    } catch (...) {
        state.records.erase(serial);
        std::free(record);
        return nullptr;
    }
    if (state.list_tail) {
        SetWord(state.list_tail, kNext, serial);
        Seal(state.list_tail);
    } else {
        state.list_head = record;
    }
    state.list_tail = record;

    uint32_t* stats = state.statistics;
    stats[kMemStatCurrent] += static_cast<uint32_t>(size);
    stats[kMemStatBlocks]++;
    stats[2] += static_cast<uint32_t>(size);
    if (stats[kMemStatBlocks] > stats[3])
        stats[3] = stats[kMemStatBlocks];
    stats[kMemStatGetMem]++;
    if (stats[kMemStatCurrent] > stats[kMemStatHighest])
        stats[kMemStatHighest] = stats[kMemStatCurrent];
    return record + kMemRecordSize + guard;
}

void* BL_RecordOf(void* pointer) {
    if (!pointer)
        return nullptr;
    size_t guard = (State().flags.load() & kMemGuarded) ? kMemGuardSize : 0;
    return static_cast<uint8_t*>(pointer) - kMemRecordSize - guard;
}

namespace {

// Unlinks and frees one tracked record; the caller holds the memory lock.
void ReleaseRecord(uint8_t* record) {
    MemState& state = State();
    uint8_t* prev = RecordBySerial(Word(record, kPrev));
    uint8_t* next = RecordBySerial(Word(record, kNext));
    if (prev) {
        SetWord(prev, kNext, next ? Word(next, kOwn) : 0);
        Seal(prev);
    } else {
        state.list_head = next;
    }
    if (next) {
        SetWord(next, kPrev, prev ? Word(prev, kOwn) : 0);
        Seal(next);
    } else {
        state.list_tail = prev;
    }
    if (state.list_snapshot == record)
        state.list_snapshot = nullptr;
    uint32_t size = Word(record, kSize);
    state.records.erase(Word(record, kOwn));
    state.serials.erase(record);
    uint32_t* stats = state.statistics;
    stats[kMemStatCurrent] -= size <= stats[kMemStatCurrent] ? size : stats[kMemStatCurrent];
    if (stats[kMemStatBlocks] > 0)
        stats[kMemStatBlocks]--;
    stats[kMemStatFreeMem]++;
    std::free(record);
}

}  // namespace

int16_t BL_DebugFreeMem(void* pointer) {
    if (!pointer)
        return 0;
    MemLock lock("BL_DebugFreeMem");
    // Only blocks this allocator handed out are released; anything else is left
    // alone. Candidate record addresses are looked up, never read.
    for (int guard : {kMemGuardSize, 0}) {
        const auto* candidate = static_cast<const uint8_t*>(pointer) - kMemRecordSize - guard;
        auto found = State().serials.find(candidate);
        if (found == State().serials.end())
            continue;
        uint8_t* record = State().records[found->second];
        if (DataOffset(record) != kMemRecordSize + guard)
            continue;
        int check = BL_CheckMemBlock(record);
        if (check != 0) {
            LOGSYS_Printf(nullptr, kLogError, "%s : CORRUPTED MEMORY BLOCK HEADER (ERROR: %d) !",
                          kModule, check);
        }
        ReleaseRecord(record);
        return 0;
    }
    LOGSYS_Printf(nullptr, kLogError, "%s:%s : UNKNOWN MEMORY BLOCK !", kModule, "BL_DebugFreeMem");
    return -1;
}

void BL_FreeAllMem() {
    MemLock lock("BL_FreeAllMem");
    while (State().list_head) ReleaseRecord(State().list_head);
}

// [SECTION] Leak report

void BL_DumpMem(LOGSYS_LINE_SINK line_sink) {
    MemState& state = State();
    MemLock lock(nullptr);  // other threads wait while the list is walked
    if (!line_sink || !state.list_head)
        return;
    char line[512];
    size_t visited = 0;
    for (uint8_t* record = state.list_head; record;) {
        int check = BL_CheckMemBlock(record);
        // A link loop would never end: more steps than records means damage.
        if (check == 0 && ++visited > state.records.size())
            check = kMemCheckHeader;
        if (check != 0) {
            std::snprintf(line, sizeof(line), "%s : CORRUPTED MEMORY BLOCK HEADER (ERROR: %d) !",
                          kModule, check);
            line_sink(line);
            return;
        }
        const uint8_t* data = record + DataOffset(record);
        uint32_t size = Word(record, kSize);
        if (Word(record, kLine) != 0) {
            std::snprintf(line, sizeof(line), "ADR: 0x%08" PRIXPTR " LEN: %9ld FILE: %s(%u)",
                          reinterpret_cast<uintptr_t>(data), static_cast<long>(size),
                          FileNameOf(Word(record, kFile)), Word(record, kLine));
            line_sink(line);
            LOGSYS_HexDump(line_sink, data, static_cast<int32_t>(size < 64 ? size : 64));
        }
        uint32_t next_serial = Word(record, kNext);
        record = RecordBySerial(next_serial);
        if (next_serial != 0 && !record) {
            std::snprintf(line, sizeof(line), "%s : CORRUPTED MEMORY BLOCK HEADER (ERROR: %d) !",
                          kModule, kMemCheckHeader);
            line_sink(line);
            return;
        }
    }
}
