// BASELIB MEM: the base library's allocator front. Every allocation and release
// of the plain path is serialised by one process-wide mutex. A tracking path
// (BL_DebugGetMem) keeps block records for the leak report written at exit.
#pragma once

#include <cstdint>

#include "baselib/logsys.h"

// Memory system flags.
constexpr uint32_t kMemInitialised = 0x01;
constexpr uint32_t kMemKeepMode = 0x02;
constexpr uint32_t kMemGuarded = 0x20;

// Statistics record: 8 words. Indexes of the words the exit report reads.
constexpr int kMemStatWords = 8;
constexpr int kMemStatCurrent = 0;  // bytes in tracked blocks now
constexpr int kMemStatBlocks = 1;   // tracked blocks now
constexpr int kMemStatGetMem = 4;   // tracked allocations
constexpr int kMemStatFreeMem = 5;  // tracked releases
constexpr int kMemStatHighest = 6;  // highest bytes in use

// Tracked block record: 8 little-endian 32-bit words before the user data,
// then (guarded layout) 16 guard bytes 0xCC on each side of the user data.
constexpr int kMemRecordSize = 32;
constexpr int kMemGuardSize = 16;
constexpr uint8_t kMemGuardByte = 0xCC;
constexpr uint32_t kMemBlockGuards = 0x10;

// BL_CheckMemBlock results.
constexpr int kMemCheckNull = -1;
constexpr int kMemCheckHeader = -2;
constexpr int kMemCheckBothGuards = -3;
constexpr int kMemCheckFrontGuard = -4;
constexpr int kMemCheckBackGuard = -5;

int16_t BL_Init();
int16_t BL_Exit();
int16_t BL_InitMemSystem(uint32_t flags);
int16_t BL_ExitMemSystem();
uint32_t BL_GetMemFlags();

// A block of `size` bytes (below 1 taken as 1), or null.
void* BL_OrgGetMem(int32_t size);
int16_t BL_OrgFreeMem(void* pointer);

void BL_MemCopy(const void* source, void* destination, int32_t count);
void BL_MemSet(void* destination, uint8_t value, int32_t count);
// A new block holding `first` then `second`; with `free_inputs` both inputs are
// released. Null when the sizes are negative or the allocation fails.
void* BL_JoinMem(void* first, int32_t first_size, void* second, int32_t second_size,
                 int free_inputs);

// Copies the 8 statistics words; -1 for a null record.
int16_t BL_GetMemStatistics(uint32_t* record);
// Checks a tracked block record (and its guards): 0 or kMemCheck*.
int BL_CheckMemBlock(const void* record);
// Writes the leak report of the tracked blocks, one line per call of `line_sink`.
void BL_DumpMem(LOGSYS_LINE_SINK line_sink);

// Tracking allocator: a block with a record naming its source (line 0 = never
// reported), counted in the statistics.
void* BL_DebugGetMem(int32_t size, const char* file, uint32_t line);
int16_t BL_DebugFreeMem(void* pointer);
// Releases every tracked block.
void BL_FreeAllMem();
// Address of the record of a tracked block's user data.
void* BL_RecordOf(void* pointer);
