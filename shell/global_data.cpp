#include "shell/global_data.h"

#include <cstdio>

#include "baselib/logsys.h"

namespace vorlane {

GlobalSettings* g_settings = nullptr;
uint32_t g_starting_or_stopping = 1;
std::string g_critical_error;
std::string g_game_start_path;
std::string g_game_start_argument;

std::string MAIN_VersionText() {
    char line[160];
    std::snprintf(line, sizeof line, "%s Version: %s %s (build: %d,drv %d,krnl %d,api %d)",
                  kEditions[0], kAppVersion, kAppDate, kAppBuild, kNetDriverVersion,
                  kNetKernelVersion, kNetApiVersion);
    return line;
}

std::string MAIN_CriticalErrorTitle() {
    return std::string(kAppName) + " v" + kAppVersion + " -- Critical Error";
}

void MAIN_SetCriticalError(const std::string& text) {
    g_critical_error = text;
    LOGSYS_Text(nullptr, kLogError, text.c_str());
}

void MAIN_SetGameStart(const std::string& path, const std::string& argument) {
    g_game_start_path = path.substr(0, kGameStartFieldSize - 1);
    g_game_start_argument = argument.substr(0, kGameStartFieldSize - 1);
}

}  // namespace vorlane
