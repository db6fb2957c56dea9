// LOGSYS implementation.
//
// [SECTION] Process-wide state
// [SECTION] Redirection
// [SECTION] Log file access
// [SECTION] Line output
// [SECTION] Create / destroy
// [SECTION] Writes
// [SECTION] Switches and indentation
// [SECTION] Hex dump and error reports
#include "baselib/logsys.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "baselib/bl_file.h"
#include "baselib/bl_memory.h"
#include "baselib/bl_time.h"
#include "baselib/log_channel.h"
#include "baselib/mutex.h"

// [SECTION] Process-wide state

namespace {

std::atomic<LOGSYS*> g_default_log{nullptr};
std::atomic<int16_t> g_mute{0};
std::atomic<int16_t> g_no_files{0};
std::atomic<int16_t> g_files_to_stdout{0};
std::atomic<int16_t> g_indent{0};

constexpr int kLineBufferSize = 512;
constexpr int kFormatBufferSize = 1024;
constexpr int kFormatBufferCount = 8;

const char kLevelPrefix[8][16] = {
    "**DEBUG: ", "MESSAGE: ", "INFO: ", "WARNING: ", "! ERROR: ", "! FAILURE: ", ": ", ""};

// [SECTION] Redirection
//
// The flag keeps the unredirected path free of the lock; the lock keeps a sink
// alive while it runs, so RedirectLog returning means the old sink is done.

std::atomic<bool> g_redirected{false};

std::mutex& RedirectMutex() {
    static std::mutex mutex;
    return mutex;
}

vorlane::LogSink& Redirect() {
    static vorlane::LogSink sink;
    return sink;
}

// True when the line was taken by the redirect sink (or filtered for it).
bool RedirectLine(const LOGSYS* log, uint32_t level, uint32_t log_class, const char* text) {
    if (!g_redirected.load(std::memory_order_acquire))
        return false;
    const uint32_t level_mask = log ? log->level_mask : 0xFF;
    const uint32_t class_mask = log ? log->class_mask : kLogAllClasses;
    std::lock_guard lock(RedirectMutex());
    if (!Redirect())
        return false;
    if ((class_mask & log_class) && (level_mask & level))
        Redirect()(level, text ? text : "");
    return true;
}

// [SECTION] Log file access
//
// Log files go through the base-library file table (modes 4 append and 8
// truncate). Its failures are reported by the file layer itself.

uint16_t LogFileOpen(const char* name, int mode) {
    return BL_OpenFile(name, mode);
}

void LogFileWrite(uint16_t handle, const char* data, size_t count) {
    BL_WriteFile(handle, data, static_cast<uint32_t>(count));
}

void LogFileClose(uint16_t handle) {
    if (handle != kLogNoFile)
        BL_CloseFile(handle);
}

void LocalTimeString(char* out, size_t size) {
    char text[16] = {};
    TIME_GetTimeString(text);
    std::snprintf(out, size, "%s", text);
}

// [SECTION] Line output

int LevelIndex(uint32_t level) {
    for (int bit = 0; bit < 8; ++bit)
        if (level & (1u << bit))
            return bit;
    return 7;  // levels without a low bit never pass the 0xFF mask; empty prefix
}

void BuildPrefix(LOGSYS* log, uint32_t level) {
    std::string prefix;
    if (!(log->flags & kLogNoPrefix)) {
        prefix += kLevelPrefix[LevelIndex(level)];
        if (!(log->flags & kLogNoTime)) {
            LocalTimeString(log->time_buffer, sizeof(log->time_buffer));
            prefix += "(";
            prefix += log->time_buffer;
            prefix += ") ";
        }
    }
    std::snprintf(log->prefix_buffer, sizeof(log->prefix_buffer), "%s", prefix.c_str());
}

int16_t FileLine(LOGSYS* log, const char* text) {
    if (log->flags & kLogOpenPerLine) {
        log->file_handle = LogFileOpen(log->file_name, 4);
        if (log->file_handle > 65534)
            return -1;
    }
    if (log->file_handle > 65534)
        return -1;
    int16_t indent = g_indent.load(std::memory_order_relaxed);
    if (indent > 0) {
        char blanks[128];
        int width = std::snprintf(blanks, sizeof(blanks), "%*c", indent, ' ');
        LogFileWrite(log->file_handle, blanks, static_cast<size_t>(width));
    }
    if (!(log->flags & kLogNoPrefix))
        LogFileWrite(log->file_handle, log->prefix_buffer, std::strlen(log->prefix_buffer));
    LogFileWrite(log->file_handle, text, std::strlen(text));
    if (log->flags & kLogCrLf)
        LogFileWrite(log->file_handle, "\r\n", 2);
    else
        LogFileWrite(log->file_handle, "\r", 1);
    if (log->flags & kLogOpenPerLine) {
        LogFileClose(log->file_handle);
        log->file_handle = kLogNoFile;
    }
    return 0;
}

// The output step; the caller holds the log's mutex.
int16_t OutputStep(LOGSYS* log, uint32_t level, const char* text) {
    if (!text)
        text = "";
    BuildPrefix(log, level);
    int16_t result = 0;
    if (log->outputs & kLogToStdout) {
        // One write per line: several logs, each under its own mutex, may
        // share standard output (a service's journal), and their lines must
        // not interleave.
        std::string line = (log->flags & kLogNoPrefix) ? std::string() : log->prefix_buffer;
        line.append(text).push_back('\n');
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    // The file layer reports its own failures on the default log. When that log
    // is this one, the nested line skips the file so a failing file cannot
    // recurse without end.
    thread_local const LOGSYS* in_file_line = nullptr;
    if ((log->outputs & kLogToFile) && in_file_line != log) {
        const LOGSYS* outer = in_file_line;
        in_file_line = log;
        result = FileLine(log, text) != 0 ? -1 : 0;
        in_file_line = outer;
    }
    if ((log->outputs & kLogToCallback) && log->callback)
        log->callback(text);
    return result;
}

// Formats into the calling thread's own line buffer (cut at 511 characters).
const char* FormatLine(const char* format, va_list args, int* length) {
    thread_local char line[kLineBufferSize];
    if (!format)
        format = "(NO MESSAGE)";
    int written = std::vsnprintf(line, sizeof(line), format, args);
    if (written < 0) {
        line[0] = '\0';
        written = 0;
    }
    *length = static_cast<int>(std::strlen(line));
    return line;
}

// Writes a formatted line on the default log (LOGSYS_Info and its siblings).
int DefaultLogWrite(uint32_t level, const char* format, va_list args) {
    int length = 0;
    const char* line = FormatLine(format, args, &length);
    LOGSYS* log = g_default_log.load();
    if (RedirectLine(log, level, kLogAllClasses, line))
        return 0;
    if (!log || g_mute.load(std::memory_order_relaxed) == 1)
        return length;
    MUTX_Lock(log->mutex, kMutxNoTimeout);
    int result = 0;
    if (log->class_mask != 0 && (log->level_mask & level))
        result = OutputStep(log, level, line);
    MUTX_Unlock(log->mutex);
    return result;
}

void ReleaseLogObject(LOGSYS* log) {
    log->~LOGSYS();
    BL_OrgFreeMem(log);
}

}  // namespace

// [SECTION] Create / destroy

LOGSYS* LOGSYS_Create(uint32_t flags, uint32_t outputs, const char* file_name) {
    void* memory = BL_OrgGetMem(sizeof(LOGSYS));
    if (!memory)
        return nullptr;
    LOGSYS* log = new (memory) LOGSYS;
    log->mutex = MUTX_Create(0);
    if (!log->mutex) {
        ReleaseLogObject(log);
        return nullptr;
    }
    if (!(flags & (kLogCrLf | kLogCr)))
        flags |= kLogCrLf;
    if (!(flags & (kLogNoTime | kLogTime | kLogTimeAlt)))
        flags |= kLogNoTime;
    log->flags = flags;
    log->level_mask = 0xFF;
    log->class_mask = 0xFFFFFFFF;
    if (g_no_files.load(std::memory_order_relaxed) == 1)
        outputs &= ~kLogToFile;
    if ((outputs & kLogToFile) && g_files_to_stdout.load(std::memory_order_relaxed) == 1)
        outputs = (outputs & ~kLogToFile) | kLogToStdout;
    log->outputs = outputs;
    log->file_name = file_name;
    if (outputs & kLogToFile) {
        if (!log->file_name)
            log->file_name = "LOGFILE.TXT";
        log->file_handle = LogFileOpen(log->file_name, (flags & kLogTruncate) ? 8 : 4);
        if (log->file_handle > 65534) {
            MUTX_Destroy(log->mutex, 1);
            ReleaseLogObject(log);
            return nullptr;
        }
        if (flags & kLogOpenPerLine) {
            LogFileClose(log->file_handle);
            log->file_handle = kLogNoFile;
        }
    }
    return log;
}

int16_t LOGSYS_Destroy(LOGSYS* log) {
    if (!log)
        return -1;
    LOGSYS* expected = log;
    g_default_log.compare_exchange_strong(expected, nullptr);
    MUTX_Lock(log->mutex, kMutxNoTimeout);
    if ((log->outputs & kLogToFile) && !(log->flags & kLogOpenPerLine)) {
        LogFileClose(log->file_handle);
        log->file_handle = kLogNoFile;
    }
    MUTX_Unlock(log->mutex);
    if (MUTX_Destroy(log->mutex, 1) != 0)
        return -1;
    log->mutex = nullptr;
    ReleaseLogObject(log);
    return 0;
}

void LOGSYS_SetDefault(LOGSYS* log) {
    if (log)
        log->flags |= kLogIsDefault;
    g_default_log.store(log);
}

LOGSYS* LOGSYS_GetDefault() {
    return g_default_log.load();
}

void LOGSYS_SetCallback(LOGSYS* log, LOGSYS_CALLBACK callback) {
    if (!log)
        return;
    MUTX_Lock(log->mutex, kMutxNoTimeout);
    log->callback = callback;
    MUTX_Unlock(log->mutex);
}

// [SECTION] Writes

int16_t LOGSYS_Write(LOGSYS* log, uint32_t level, uint32_t log_class, const char* text) {
    if (!log)
        log = g_default_log.load();
    if (RedirectLine(log, level, log_class, text))
        return 0;
    if (!log)
        return -1;
    if (g_mute.load(std::memory_order_relaxed) == 1)
        return 0;
    MUTX_Lock(log->mutex, kMutxNoTimeout);
    int16_t result = 0;
    if ((log->class_mask & log_class) && (log->level_mask & level))
        result = OutputStep(log, level, text);
    MUTX_Unlock(log->mutex);
    return result;
}

int16_t LOGSYS_Text(LOGSYS* log, uint32_t level, const char* text) {
    return LOGSYS_Write(log, level, kLogAllClasses, text);
}

int16_t LOGSYS_Raw(LOGSYS* log, const char* text) {
    return LOGSYS_Write(log, kLogRaw, kLogAllClasses, text);
}

int16_t LOGSYS_Printf(LOGSYS* log, uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = 0;
    const char* line = FormatLine(format, args, &length);
    va_end(args);
    return LOGSYS_Write(log, level, kLogAllClasses, line);
}

int LOGSYS_Info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = DefaultLogWrite(kLogInfo, format, args);
    va_end(args);
    return result;
}

int LOGSYS_Warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = DefaultLogWrite(kLogWarning, format, args);
    va_end(args);
    return result;
}

int LOGSYS_Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = DefaultLogWrite(kLogError, format, args);
    va_end(args);
    return result;
}

vorlane::LogSink vorlane::RedirectLog(LogSink sink) {
    std::lock_guard lock(RedirectMutex());
    g_redirected.store(bool(sink), std::memory_order_release);
    return std::exchange(Redirect(), std::move(sink));
}

// [SECTION] Switches and indentation

void LOGSYS_MuteAll() {
    g_mute.store(1);
}
void LOGSYS_DisableFiles() {
    g_no_files.store(1);
}

void LOGSYS_FilesToStdout() {
    g_files_to_stdout.store(1);
}

void LOGSYS_IndentIn() {
    int16_t indent = g_indent.load(std::memory_order_relaxed);
    if (indent + 4 < 100)
        g_indent.store(static_cast<int16_t>(indent + 4));
}

void LOGSYS_IndentOut() {
    int16_t indent = g_indent.load(std::memory_order_relaxed);
    if (indent > -32000)
        g_indent.store(static_cast<int16_t>(indent - 4));  // no wrap to positive
}

int16_t LOGSYS_GetIndent() {
    return g_indent.load();
}

void LOGSYS_ResetForTests() {
    g_mute.store(0);
    g_no_files.store(0);
    g_files_to_stdout.store(0);
    g_indent.store(0);
    g_default_log.store(nullptr);
}

// [SECTION] Hex dump and error reports

void LOGSYS_HexDump(LOGSYS_LINE_SINK line_sink, const void* address, int32_t length) {
    if (!line_sink || !address || length <= 0)
        return;
    const auto* bytes = static_cast<const uint8_t*>(address);
    uintptr_t group_address = reinterpret_cast<uintptr_t>(address);
    char hex[16 * 3 + 1];
    char text[16 + 1];
    char line[128];
    int in_group = 0;
    auto flush = [&]() {
        hex[in_group * 3] = '\0';
        text[in_group] = '\0';
        std::snprintf(line, sizeof(line), "DUMP 0x%08" PRIXPTR ": %s %s", group_address, hex, text);
        line_sink(line);
        in_group = 0;
        group_address += 16;
    };
    for (int32_t i = 0; i < length; ++i) {
        if (in_group == 16)
            flush();
        uint8_t b = bytes[i];
        std::snprintf(hex + in_group * 3, 4, " %02X", b);
        text[in_group] = (b < 32 || b >= 128) ? '.' : static_cast<char>(b);
        ++in_group;
    }
    flush();
}

void ReportError(const char* text, int kind) {
    uint32_t level = kind == 0 ? kLogError : (kind == 1 ? kLogWarning : kLogInfo);
    LOGSYS_Text(nullptr, level, text);
}

const char* FormatText(const char* format, ...) {
    thread_local char ring[kFormatBufferCount][kFormatBufferSize];
    thread_local int next = 0;
    char* buffer = ring[next];
    next = (next + 1) % kFormatBufferCount;
    if (!format) {
        std::snprintf(buffer, kFormatBufferSize, "%s", "(NO MESSAGE)");
        return buffer;
    }
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(buffer, kFormatBufferSize, format, args) < 0)
        buffer[0] = '\0';
    va_end(args);
    return buffer;
}
