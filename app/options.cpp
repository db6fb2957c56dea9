#include "app/options.h"

#include <cstdio>
#include <cstring>

#include "baselib/logsys.h"
#include "shell/global_data.h"

namespace vorlane {

namespace {

// Option ids the evaluation switches on.
enum OptionId : uint8_t {
    kIdScript = 0,
    kIdHelp = 1,
    kIdTime = 2,
    kIdDebug = 3,
    kIdNoLogos = 4,
    kIdInfoMode = 5,
    kIdContinue = 6,
    kIdLan = 7,
    kIdDemo = 8,
};

constexpr uint32_t kSwitch = kOptSwitchOn | kOptSwitchOff;

OptionEntry MakeEntry(const char* name, uint32_t kinds, uint8_t id, const char* help) {
    OptionEntry entry;
    std::strncpy(entry.name, name, kOptNameSize - 1);
    entry.kinds = kinds;
    entry.id = id;
    entry.help = help;
    return entry;
}

OptionEntry g_table[kOptionCount];
std::vector<std::string> g_words;

void ResetTable() {
    const char* kHelpText = "displays all available options.";
    g_table[0] = MakeEntry("?", kOptKeyword, kIdHelp, kHelpText);
    g_table[1] = MakeEntry("help", kOptKeyword, kIdHelp, kHelpText);
    g_table[2] = MakeEntry("time", kOptVariable | kOptNumeric, kIdTime,
                           "set frame counter for synchronisation.");
    g_table[3] = MakeEntry("debug", kSwitch, kIdDebug, "turn debugging on/off.");
    g_table[4] =
        MakeEntry("script", kOptVariable, kIdScript, "executes the specified script file.");
    g_table[5] = MakeEntry("nologos", kSwitch, kIdNoLogos, "dont show any Logos at startup.");
    g_table[6] = MakeEntry("continue", kSwitch, kIdContinue, "continue last saved game.");
    g_table[7] = MakeEntry("lan", kSwitch, kIdLan, "start in LANGame mode.");
    g_table[8] = MakeEntry("demo", kSwitch, kIdDemo, "start in Demo-Mode.");
    g_table[9] = MakeEntry("infomode", kSwitch, kIdInfoMode, "show product infos on screen.");
}

}  // namespace

OptionEntry* MAIN_OptionTable() {
    return g_table;
}

int MAIN_ParseOptions(const std::vector<std::string>& words) {
    ResetTable();
    g_words = words;
    std::vector<const char*> argv;
    argv.reserve(g_words.size());
    for (const std::string& word : g_words) argv.push_back(word.c_str());
    return PARSECOMMANDLINE(int(argv.size()), argv.data(), g_table, kOptionCount);
}

void MAIN_EvaluateOptions() {
    if (!g_settings)
        return;
    GlobalSettings& s = *g_settings;
    for (const OptionEntry& entry : g_table) {
        if (entry.state == 0 || entry.id < kIdHelp || entry.id > kIdDemo)
            continue;
        bool on = entry.state > 0;
        switch (entry.id) {
            case kIdHelp:
                PrintOptions(g_table, kOptionCount);
                break;
            case kIdTime:
                std::printf("Timer set to: %ld\n", long(entry.number));
                break;
            case kIdDebug:
                LOGSYS_Text(nullptr, kLogInfo, on ? "Debugging ON." : "Debugging OFF.");
                break;
            case kIdNoLogos:
                if (!on)
                    s.show_logos = 0;
                break;
            case kIdInfoMode:
                // The presentation's info bit is cleared by the main program,
                // which owns the presentation.
                if (!on)
                    s.info_mode = 0;
                break;
            case kIdContinue:
                s.continue_start = on ? 1 : 0;
                break;
            case kIdLan:
                s.lan_start = on ? 1 : 0;
                break;
            case kIdDemo:
                s.demo_start = on ? 1 : 0;
                break;
        }
    }
    std::fflush(stdout);
}

bool MAIN_HelpRequested() {
    return g_table[0].state > 0 || g_table[1].state > 0;
}

std::string MAIN_ScriptOption() {
    const OptionEntry& script = g_table[4];
    return script.state > 0 && script.value ? script.value : "";
}

}  // namespace vorlane
