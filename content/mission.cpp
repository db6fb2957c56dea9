#include "content/mission.h"

#include "baselib/log_channel.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"

using vorlane::Log;

namespace {

constexpr size_t kScriptNameCapacity = 62;

// Reads a text field cut to `capacity` characters.
void ReadText(lua_State* lua, const char* key, std::string* field, size_t capacity) {
    LUA_GetString(lua, key, -1, field, kMissionNotSet);
    if (field->size() > capacity)
        field->resize(capacity);
}

// Pushes `vorl_mission_init`; false (and the stack as before) when it is not a table.
bool PushMissionTable(lua_State* lua, const char* tag) {
    LUA_RawGetGlobal(lua, kMissionTableGlobal);
    if (lua_istable(lua, -1))
        return true;
    Log(kLogError, "%s::%s: mission init: no table !", tag, "ParseMissionDataScript");
    lua_pop(lua, 1);
    return false;
}

}  // namespace

const char* ResolveMissionText(const std::string& field, vorlane::resources::TEXTLIB* texts) {
    if (!field.empty() && field[0] == '~')
        return field.c_str() + 1;
    return texts ? texts->GetTextC(field.c_str()) : nullptr;
}

int MISSION::InitMissionData(const char* resource) {
    return InitFrom(resource, false);
}

int MISSION::InitMissionDataFromFile(const char* file) {
    return InitFrom(file, true);
}

int MISSION::InitFrom(const char* name, bool from_file) {
    script_name = name ? name : kMissionNotSet;
    if (script_name.size() > kScriptNameCapacity)
        script_name.resize(kScriptNameCapacity);
    if (script_name == kMissionNotSet) {
        Log(kLogError, "%s::%s: mission script not set !", "MISSION",
            from_file ? "InitMissionDataFromFile" : "InitMissionData");
        return 0;
    }
    return ParseMissionDataScript(from_file);
}

int MISSION::ParseMissionDataScript(bool from_file) {
    static constexpr const char* kOp = "ParseMissionDataScript";
    lua_State* lua = LUA_GetHost().lua;
    // A table left by an earlier script must not be read as this one's.
    if (lua) {
        lua_pushnil(lua);
        LUA_RawSetGlobal(lua, kMissionTableGlobal);
    }
    int ran =
        from_file ? LUA_ExecuteFile(script_name.c_str()) : LUA_ExecuteRama(script_name.c_str());
    if (!lua || !ran) {
        Log(kLogError, "%s::%s: mission script execution failed !", "MISSION", kOp);
        return 0;
    }
    int top = lua_gettop(lua);
    if (!PushMissionTable(lua, "MISSION"))
        return 0;
    ReadText(lua, "mission_keyname", &key_name, 31);
    if (key_name == kMissionNotSet) {
        Log(kLogError, "%s::%s: no mission key name defined !", "MISSION", kOp);
        lua_settop(lua, top);
        return 0;
    }
    ReadBase(lua);
    lua_settop(lua, top);
    return 1;
}

void MISSION::ReadBase(lua_State* lua) {
    ReadText(lua, "mission_title_resname", &title, 63);
    ReadText(lua, "mission_description_resname", &description, 63);
    ReadText(lua, "mission_creator", &creator, 63);
    ReadText(lua, "mission_graphic_resname", &graphic, 63);
    available = LUA_GetBool(lua, "mission_avail", -1, 1);
    ReadText(lua, "mission_enable", &enable, 31);
    ReadText(lua, "mission_textlib_resname", &textlib, 63);
    ReadText(lua, "sequence_script_resname", &sequence_script, 63);
    ReadText(lua, "intro_seq_resname", &intro_sequence, 63);
    intro_sound = LUA_GetNumber(lua, "intro_sound_id", -1, 0);
    ReadText(lua, "extro_won_seq_resname", &extro_won_sequence, 63);
    ReadText(lua, "extro_lost_seq_resname", &extro_lost_sequence, 63);
    winpoints_won = LUA_GetNumber(lua, "mission_winpoints_won", -1, 0);
    winpoints_lost = LUA_GetNumber(lua, "mission_winpoints_lost", -1, 0);
    multi_playable = LUA_GetNumber(lua, "multi_playable", -1, 0);
    campaign_anchor = LUA_GetBool(lua, "campaign_anchor", -1, 0);
    campaign_winpoints_needed = LUA_GetNumber(lua, "campaign_winpoints_needed", -1, 0);
    ReadText(lua, "campaign_name", &campaign_name, 31);
    // The campaign's title is the text whose identifier is the campaign name.
    const std::string* named = texts_ ? texts_->GetText(campaign_name.c_str()) : nullptr;
    campaign_title = named ? named->substr(0, 63) : kMissionNotSet;
    ReadText(lua, "campaign_description", &campaign_description, 63);
    ReadText(lua, "campaign_graphic_resname", &campaign_graphic, 63);
    ReadText(lua, "campaign_next_anchor", &campaign_next_anchor, 31);
    ReadText(lua, "campaign_extro_sequence", &campaign_extro, 63);
    campaign_available = LUA_GetBool(lua, "campaign_avail", -1, 1);
}

int VORL_MISSION::ParseMissionDataScript(bool from_file) {
    if (!MISSION::ParseMissionDataScript(from_file))
        return 0;
    lua_State* lua = LUA_GetHost().lua;
    int top = lua_gettop(lua);
    if (!PushMissionTable(lua, "VRLMISS"))
        return 0;
    ReadText(lua, "script_cardregister_resname", &cardregister_script, 255);
    cardregister_fromfile = LUA_GetBool(lua, "script_cardregister_fromfile", -1, 0);
    ReadText(lua, "script_cardlist_resname", &cardlist_script, 255);
    cardlist_fromfile = LUA_GetBool(lua, "script_cardlist_fromfile", -1, 0);
    ReadText(lua, "script_gamestart_resname", &gamestart_script, 255);
    gamestart_fromfile = LUA_GetBool(lua, "script_gamestart_fromfile", -1, 0);
    ReadText(lua, "mission_location", &location, 63);
    graphic_x = LUA_GetNumber(lua, "mission_graphic_xpos", -1, 0);
    graphic_y = LUA_GetNumber(lua, "mission_graphic_ypos", -1, 0);
    ReadText(lua, "mission_picture", &picture, 63);
    ReadText(lua, "campaign_sector_map", &sector_map, 63);
    mood_win_condition = LUA_GetNumber(lua, "mood_win_condition", -1, 1);
    lua_settop(lua, top);
    return 1;
}
