#include "content/mission_ctrl.h"

#include <sys/stat.h>

#include <cstdio>
#include <new>

#include "baselib/log_channel.h"
#include "resources/rama_ctrl.h"
#include "scripting/lua_glue.h"

using vorlane::Log;

namespace {

constexpr const char* kTag = "VRLMISS";

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

VORL_MISSION_CTRL::VORL_MISSION_CTRL(vorlane::resources::RAMA_CTRL* rama,
                                     vorlane::resources::TEXTLIB* texts)
    : rama_(rama), texts_(texts) {}

int VORL_MISSION_CTRL::MissionList_CreateFromRama(const char* prefix) {
    static constexpr const char* kOp = "MissionList_CreateFromRama";
    if (!prefix)
        return 0;
    MissionList_Clear();
    vorlane::resources::RAMA_CTRL* rama = rama_ ? rama_ : LUA_GetHost().rama;
    for (uint32_t n = 1; n <= kMissionSlots && rama; ++n) {
        char name[256];
        std::snprintf(name, sizeof name, "%s.%u", prefix, n);
        if (rama->GetResourceID(name).first < 0)
            continue;
        std::unique_ptr<VORL_MISSION> mission(new (std::nothrow) VORL_MISSION());
        if (!mission) {
            Log(kLogError, "%s::%s: can't alloc mission data", kTag, kOp);
            RebuildCampaigns();
            return 0;
        }
        mission->SetTextLibrary(texts_);
        bool ok = mission->InitMissionData(name) == 1;
        AddMission(std::move(mission), ok, kOp, name);
    }
    RebuildCampaigns();
    return 1;
}

int VORL_MISSION_CTRL::MissionList_CreateFromFiles(const char* prefix) {
    static constexpr const char* kOp = "MissionList_CreateFromFiles";
    if (!prefix)
        return 0;
    for (uint32_t n = 1; n <= kMissionSlots; ++n) {
        char name[256];
        std::snprintf(name, sizeof name, "missions/%s_%u.lua", prefix, n);
        std::string path = base_directory_.empty() ? name : base_directory_ + "/" + name;
        if (!IsFile(path))
            continue;
        std::unique_ptr<VORL_MISSION> mission(new (std::nothrow) VORL_MISSION());
        if (!mission) {
            Log(kLogError, "%s::%s: can't alloc mission data", kTag, kOp);
            RebuildCampaigns();
            return 0;
        }
        mission->SetTextLibrary(texts_);
        bool ok = mission->InitMissionDataFromFile(path.c_str()) == 1;
        AddMission(std::move(mission), ok, kOp, path);
    }
    RebuildCampaigns();
    return 1;
}

void VORL_MISSION_CTRL::AddMission(std::unique_ptr<VORL_MISSION> mission, bool ok,
                                   const char* operation, const std::string& name) {
    if (!ok) {
        char text[512];
        std::snprintf(text, sizeof text, "%s::%s: mission init failed: %s", kTag, operation,
                      name.c_str());
        if (message_box_) {
            message_box_(text);
        } else {
            Log(kLogError, "%s", text);
        }
        return;
    }
    try {
        missions_.push_back(std::move(mission));
    } catch (const std::bad_alloc&) {
        Log(kLogError, "%s::%s: can't add mission to list", kTag, operation);
    }
}

VORL_MISSION* VORL_MISSION_CTRL::MissionList_GetFirst() {
    cursor_ = 0;
    return MissionList_GetNext();
}

VORL_MISSION* VORL_MISSION_CTRL::MissionList_GetNext() {
    if (cursor_ >= missions_.size())
        return nullptr;
    return missions_[cursor_++].get();
}

void VORL_MISSION_CTRL::MissionList_Clear() {
    campaigns_.clear();
    missions_.clear();
    cursor_ = 0;
}

VORL_CAMPAIGN* VORL_MISSION_CTRL::FindCampaign(const char* name) {
    if (!name)
        return nullptr;
    for (auto& campaign : campaigns_) {
        if (campaign->name == name)
            return campaign.get();
    }
    return nullptr;
}

void VORL_MISSION_CTRL::RebuildCampaigns() {
    campaigns_.clear();
    for (auto& mission : missions_) {
        if (!mission->campaign_anchor)
            continue;
        auto campaign = std::make_unique<VORL_CAMPAIGN>();
        campaign->name = mission->campaign_name;
        campaign->anchor = mission.get();
        campaigns_.push_back(std::move(campaign));
    }
    for (auto& mission : missions_) {
        if (VORL_CAMPAIGN* campaign = FindCampaign(mission->campaign_name.c_str())) {
            campaign->missions.push_back(mission.get());
        }
    }
}
