#include "shell/preferences.h"

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "baselib/cfgfile.h"
#include "baselib/logsys.h"
#include "baselib/scfg/scfg.h"
#include "baselib/user_folder.h"
#include "media/display_device.h"

namespace vorlane::shell {

namespace {

constexpr const char* kDisplay = "display";
constexpr const char* kWindowScale = "window_scale";
constexpr const char* kUiPalette = "ui_palette";

struct ScfgDeleter {
    void operator()(SCFG* cfg) const { SCFG_Free(cfg); }
};

// A whole decimal number and nothing else but blanks around it.
bool ParseNumber(const char* text, int64_t* number) {
    if (!text || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r') ++end;
    if (*end != '\0')
        return false;
    *number = value;
    return true;
}

}  // namespace

bool ValidWindowScale(int64_t scale) {
    return scale >= 0 && scale <= media::kMaxWindowScale;
}

std::string PreferencesPath() {
    return baselib::UserFile("preferences.cfg", "data/preferences.cfg");
}

bool ReadPreferences(const std::string& path, Preferences* prefs) {
    std::unique_ptr<SCFG, ScfgDeleter> cfg(SCFG_Load(path.c_str()));
    if (!cfg)
        return false;
    if (const char* text = SCFG_Get(cfg.get(), kDisplay, kWindowScale)) {
        int64_t scale = 0;
        if (ParseNumber(text, &scale) && ValidWindowScale(scale)) {
            prefs->window_scale = int(scale);
        } else {
            LOGSYS_Warning("preferences: window_scale '%s' in %s is not 0 to %d; kept %d", text,
                           path.c_str(), media::kMaxWindowScale, prefs->window_scale);
        }
    }
    if (const char* text = SCFG_Get(cfg.get(), kDisplay, kUiPalette)) {
        if (!gui::ParsePaletteMode(text, &prefs->ui_palette)) {
            LOGSYS_Warning(
                "preferences: ui_palette '%s' in %s is not standard, colourblind or contrast; "
                "kept %s",
                text, path.c_str(), gui::PaletteModeName(prefs->ui_palette));
        }
    }
    return true;
}

bool WritePreferences(const std::string& path, const Preferences& prefs) {
    CFGFILE file;
    file.Read(path);  // none yet is fine: the file starts with this preference
    file.SetNumber(kDisplay, kWindowScale, prefs.window_scale);
    file.SetText(kDisplay, kUiPalette, gui::PaletteModeName(prefs.ui_palette));
    return file.Write(path);
}

}  // namespace vorlane::shell
