#include "frontend/return_check.h"

#include "baselib/cfgfile.h"

namespace vorlane::frontend {

bool CheckReturnFromGame(const std::string& mplayer_path, ReturnLogin* login) {
    CFGFILE handover;
    if (!handover.Read(mplayer_path))
        return false;
    if (handover.GetNumber("game", "return_from_game", 0) != 1)
        return false;
    if (login) {
        const char* user = handover.GetText("user", "username");
        const char* pass = handover.GetText("user", "password");
        login->username = user ? user : "";
        login->password = pass ? pass : "";
        login->profile = handover.GetNumber("user", "profid", -1);
        login->channel = handover.GetNumber("user", "lastchannel", -1);
    }
    handover.SetNumber("game", "return_from_game", 0);
    handover.Write(mplayer_path);
    return true;
}

uint16_t ReturnSelection(int64_t number) {
    if (number < 0 || number >= 0xFFFF)
        return 0xFFFF;
    return uint16_t(number);
}

}  // namespace vorlane::frontend
