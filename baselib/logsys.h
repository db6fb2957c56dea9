// LOGSYS: the process-wide logging facility. A log sends each line to a file, to
// standard output and/or to a callback, with an optional level prefix and time
// stamp. Most callers write to the default log: LOGSYS_Text(nullptr, 16, "...").
#pragma once

#include <cstdint>

struct MUTX;

// Receives the bare text of a line (no prefix, no line end).
using LOGSYS_CALLBACK = void (*)(const char* text);
// Receives one finished line of a report (hex dump, leak report).
using LOGSYS_LINE_SINK = void (*)(const char* line);

// Log flags.
constexpr uint32_t kLogCrLf = 0x004;         // line end "\r\n"
constexpr uint32_t kLogCr = 0x008;           // line end "\r"
constexpr uint32_t kLogNoPrefix = 0x010;     // neither level prefix nor time stamp
constexpr uint32_t kLogNoTime = 0x020;       // no time stamp
constexpr uint32_t kLogTime = 0x040;         // time-stamped prefix
constexpr uint32_t kLogTimeAlt = 0x080;      // time-stamped prefix
constexpr uint32_t kLogIsDefault = 0x200;    // set by LOGSYS_SetDefault
constexpr uint32_t kLogTruncate = 0x400;     // file opened truncated at creation
constexpr uint32_t kLogOpenPerLine = 0x800;  // file reopened for every line

// Log outputs.
constexpr uint32_t kLogToCallback = 0x2;
constexpr uint32_t kLogToFile = 0x4;
constexpr uint32_t kLogToStdout = 0x8;

// Levels used by the program.
constexpr uint32_t kLogDebug = 1;
constexpr uint32_t kLogMessage = 2;
constexpr uint32_t kLogInfo = 4;
constexpr uint32_t kLogWarning = 8;
constexpr uint32_t kLogError = 16;
constexpr uint32_t kLogFailure = 32;
constexpr uint32_t kLogRaw = 64;

constexpr uint16_t kLogNoFile = 65535;

struct LOGSYS {
    uint32_t flags = 0;
    MUTX* mutex = nullptr;
    uint32_t level_mask = 0xFF;
    uint32_t class_mask = 0xFFFFFFFF;
    uint32_t outputs = 0;
    const char* file_name = nullptr;  // not owned
    uint16_t file_handle = kLogNoFile;
    char prefix_buffer[128] = {};
    char time_buffer[130] = {};
    LOGSYS_CALLBACK callback = nullptr;
};

// Creates a log; null when its file cannot be opened.
LOGSYS* LOGSYS_Create(uint32_t flags, uint32_t outputs, const char* file_name);
// 0, or -1 (object kept) when its mutex cannot be destroyed.
int16_t LOGSYS_Destroy(LOGSYS* log);
void LOGSYS_SetDefault(LOGSYS* log);
LOGSYS* LOGSYS_GetDefault();
// Sets the function that output 0x2 calls with every line's bare text.
void LOGSYS_SetCallback(LOGSYS* log, LOGSYS_CALLBACK callback);

// The core write: -1 without a log, else 0, or -1 when the file line failed.
int16_t LOGSYS_Write(LOGSYS* log, uint32_t level, uint32_t log_class, const char* text);
int16_t LOGSYS_Text(LOGSYS* log, uint32_t level, const char* text);
int16_t LOGSYS_Raw(LOGSYS* log, const char* text);
// Formatted writes (lines longer than 511 characters are cut). Each thread
// formats into its own buffer.
int16_t LOGSYS_Printf(LOGSYS* log, uint32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Formatted writes to the default log at levels 4, 8 and 16. Return the
// formatted length when nothing could be written (no default log, muted),
// else the write's result (0 or -1).
int LOGSYS_Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LOGSYS_Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LOGSYS_Error(const char* format, ...) __attribute__((format(printf, 1, 2)));

void LOGSYS_MuteAll();
void LOGSYS_DisableFiles();
// Logs created afterwards that would write a file write standard output
// instead (a service whose journal collects it); no call clears it.
void LOGSYS_FilesToStdout();
void LOGSYS_IndentIn();
void LOGSYS_IndentOut();
int16_t LOGSYS_GetIndent();

// Lines "DUMP 0x%08X: <hex> <text>" for each group of 16 bytes.
void LOGSYS_HexDump(LOGSYS_LINE_SINK line_sink, const void* address, int32_t length);

// Writes `text` on the default log: level 16 for kind 0, 8 for kind 1, else 4.
void ReportError(const char* text, int kind);
// Formats into the next of eight rotating buffers of 1024 characters (one ring
// per thread); a null format gives "(NO MESSAGE)".
const char* FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Test support: clears the mute, no-files and standard-output switches, the
// indentation and the default log (the process itself never clears them).
void LOGSYS_ResetForTests();
