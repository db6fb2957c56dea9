// Mission records: what one mission script describes.
//
// A mission script leaves the global table `vorl_mission_init`; its keys fill
// the record. Texts are cut to their capacity, and a missing key or a value of
// the wrong kind leaves the field at its default ("not-set" for texts).
#pragma once

#include <cstdint>
#include <string>

struct lua_State;

namespace vorlane::resources {
class TEXTLIB;
}

inline constexpr const char* kMissionNotSet = "not-set";
inline constexpr const char* kMissionTableGlobal = "vorl_mission_init";

// The base part of a mission record.
class MISSION {
  public:
    MISSION() = default;
    virtual ~MISSION() = default;

    // Reads the archive resource `resource` / the file `file` as this record's
    // script; 1 on success, 0 (logged) when it fails.
    int InitMissionData(const char* resource);
    int InitMissionDataFromFile(const char* file);

    // The text library that names campaigns (not owned, may be null).
    void SetTextLibrary(vorlane::resources::TEXTLIB* texts) { texts_ = texts; }

    bool valid = true;
    std::string key_name = kMissionNotSet;              // mission_keyname, 31
    std::string script_name = kMissionNotSet;           // the resource or file, 62
    std::string title = kMissionNotSet;                 // mission_title_resname, 63
    std::string description = kMissionNotSet;           // mission_description_resname, 63
    std::string creator = kMissionNotSet;               // mission_creator, 63
    std::string graphic = kMissionNotSet;               // mission_graphic_resname, 63
    int available = 1;                                  // mission_avail
    std::string enable = kMissionNotSet;                // mission_enable, 31
    std::string textlib = kMissionNotSet;               // mission_textlib_resname, 63
    std::string sequence_script = kMissionNotSet;       // sequence_script_resname, 63
    std::string intro_sequence = kMissionNotSet;        // intro_seq_resname, 63
    int32_t intro_sound = 0;                            // intro_sound_id
    std::string extro_won_sequence = kMissionNotSet;    // extro_won_seq_resname, 63
    std::string extro_lost_sequence = kMissionNotSet;   // extro_lost_seq_resname, 63
    int32_t winpoints_won = 0;                          // mission_winpoints_won
    int32_t winpoints_lost = 0;                         // mission_winpoints_lost
    int32_t multi_playable = 0;                         // multi_playable
    int campaign_anchor = 0;                            // campaign_anchor
    int32_t campaign_winpoints_needed = 1;              // campaign_winpoints_needed
    std::string campaign_title = kMissionNotSet;        // the text named by campaign_name, 63
    std::string campaign_name = kMissionNotSet;         // campaign_name, 31
    std::string campaign_description = kMissionNotSet;  // campaign_description, 63
    std::string campaign_graphic = kMissionNotSet;      // campaign_graphic_resname, 63
    std::string campaign_next_anchor = kMissionNotSet;  // campaign_next_anchor, 31
    std::string campaign_extro = kMissionNotSet;        // campaign_extro_sequence, 63
    int campaign_available = 1;                         // campaign_avail

  protected:
    // Runs the script (from the archive or the file named by script_name) and
    // reads the table; 1/0. The game part extends it.
    virtual int ParseMissionDataScript(bool from_file);
    // Reads the base keys from the table at the stack top.
    void ReadBase(lua_State* lua);

  private:
    int InitFrom(const char* name, bool from_file);

    vorlane::resources::TEXTLIB* texts_ = nullptr;
};

// What the front end shows for a mission text field (title, description):
// text starting with "~" is literal (without the "~"); anything else is a text
// identifier looked up in `texts`. Null when the identifier is unknown.
const char* ResolveMissionText(const std::string& field, vorlane::resources::TEXTLIB* texts);

// The mission records the mission list holds: the base part and the game part.
class VORL_MISSION : public MISSION {
  public:
    std::string cardregister_script = kMissionNotSet;  // script_cardregister_resname, 255
    int cardregister_fromfile = 0;                     // script_cardregister_fromfile
    std::string cardlist_script = kMissionNotSet;      // script_cardlist_resname, 255
    int cardlist_fromfile = 0;                         // script_cardlist_fromfile
    std::string gamestart_script = kMissionNotSet;     // script_gamestart_resname, 255
    int gamestart_fromfile = 0;                        // script_gamestart_fromfile
    std::string location = kMissionNotSet;             // mission_location, 63
    int32_t graphic_x = 0;                             // mission_graphic_xpos
    int32_t graphic_y = 0;                             // mission_graphic_ypos
    std::string picture = kMissionNotSet;              // mission_picture, 63
    std::string sector_map = kMissionNotSet;           // campaign_sector_map, 63
    int32_t mood_win_condition = 1;                    // mood_win_condition

  protected:
    int ParseMissionDataScript(bool from_file) override;
};
