// The front end as the end-to-end tests run it: the shell with the front end
// installed, ending with the status the automation script asked for.
//
// E2E_LOG=FILE writes every log line, muted or not, to FILE as "LEVEL text",
// so a scenario can check what a whole run logged.
#include <cstdio>
#include <cstdlib>

#include "app/frontend_setup.h"
#include "app/startup.h"
#include "baselib/log_channel.h"

int main(int argc, char** argv) {
    std::FILE* log = nullptr;
    if (const char* path = std::getenv("E2E_LOG")) {
        log = std::fopen(path, "w");
        if (log) {
            vorlane::RedirectLog([log](uint32_t level, const char* text) {
                // Flushed per line: an assertion ends the process without
                // closing files.
                std::fprintf(log, "%u %s\n", unsigned(level), text ? text : "");
                std::fflush(log);
            });
        }
    }
    vorlane::FRONTEND_Install();
    int status = vorlane::MAIN_Entry(argc, argv);
    int requested = vorlane::FRONTEND_ExitStatus();
    if (log) {
        vorlane::RedirectLog(nullptr);
        std::fclose(log);
    }
    return requested >= 0 ? requested : status;
}
