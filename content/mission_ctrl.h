// VORL_MISSION_CTRL: the mission list and its campaigns.
//
// Missions are found by numbered names, in the archive ("<prefix>.1" to
// "<prefix>.128") and in files ("missions/<prefix>_1.lua" ...). Gaps in the
// numbering are skipped. After each scan the campaigns are rebuilt: every
// anchor mission starts one, and every mission joins the first campaign of its
// campaign name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "content/mission.h"

namespace vorlane::resources {
class RAMA_CTRL;
class TEXTLIB;
}  // namespace vorlane::resources

inline constexpr uint32_t kMissionSlots = 128;

struct VORL_CAMPAIGN {
    std::string name;                     // the anchor's campaign_name, 31
    VORL_MISSION* anchor = nullptr;       // not owned
    std::vector<VORL_MISSION*> missions;  // not owned, list order
};

class VORL_MISSION_CTRL {
  public:
    // The archive is the one scripts run from when null is given here, the
    // host's (LUA_GetHost). Neither is owned.
    explicit VORL_MISSION_CTRL(vorlane::resources::RAMA_CTRL* rama = nullptr,
                               vorlane::resources::TEXTLIB* texts = nullptr);
    ~VORL_MISSION_CTRL() { MissionList_Clear(); }
    VORL_MISSION_CTRL(const VORL_MISSION_CTRL&) = delete;
    VORL_MISSION_CTRL& operator=(const VORL_MISSION_CTRL&) = delete;

    // Empties the list and reads "<prefix>.1" ... "<prefix>.128" from the archive.
    int MissionList_CreateFromRama(const char* prefix);
    // Adds "missions/<prefix>_1.lua" ... that exist (the list is not emptied).
    int MissionList_CreateFromFiles(const char* prefix);
    VORL_MISSION* MissionList_GetFirst();
    VORL_MISSION* MissionList_GetNext();
    void MissionList_Clear();

    // The first campaign with exactly this name, or null.
    VORL_CAMPAIGN* FindCampaign(const char* name);
    const std::vector<std::unique_ptr<VORL_CAMPAIGN>>& Campaigns() const { return campaigns_; }
    size_t MissionCount() const { return missions_.size(); }

    // Where the "missions" folder lies ("" = the working directory).
    void SetBaseDirectory(const std::string& directory) { base_directory_ = directory; }
    // Shows the "mission init failed" box; by default it becomes an error line.
    void SetMessageBox(std::function<void(const char*)> show) { message_box_ = std::move(show); }

  private:
    void AddMission(std::unique_ptr<VORL_MISSION> mission, bool ok, const char* operation,
                    const std::string& name);
    void RebuildCampaigns();

    std::vector<std::unique_ptr<VORL_MISSION>> missions_;
    std::vector<std::unique_ptr<VORL_CAMPAIGN>> campaigns_;
    size_t cursor_ = 0;
    vorlane::resources::RAMA_CTRL* rama_;
    vorlane::resources::TEXTLIB* texts_;
    std::string base_directory_;
    std::function<void(const char*)> message_box_;
};
