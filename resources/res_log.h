// Log output of the resources subsystem.
//
// Every message of the file control, the block container loader and the archive
// goes through ResLog, which writes it to the program's default log. Tests (and
// the pack tool) can install a sink that receives each line as well, so the
// exact messages can be checked without reading log files.
#pragma once

#include <functional>
#include <string>

namespace vorlane::resources {

// Receives every resources message with its level (4 info, 8 warning, 16 error).
using ResLogSink = std::function<void(int level, const std::string& text)>;

// Installs a sink (an empty function removes it); returns the previous one.
ResLogSink SetResLogSink(ResLogSink sink);

// Formats one message and writes it at `level`.
void ResLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace vorlane::resources
