// MAINMAP: the one program frame of the front end. It runs the menu script,
// keeps the state of the menus, reacts to every menu event through the tag
// dispatcher and implements the notifications of the lobby client.
//
// Screen flow (online):
//   menu.login --log-in--> menu.connectinfo --profiles--> menu.profile
//   (menu.connectinfo --cancel--> menu.login)
//   --select--> menu.profileinfo --channel list--> menu.channel
//   --join--> menu.channelinfo --entered--> menu.lobby <--> menu.game
//   Back buttons walk the chain back; errors show menu.loginerror or
//   menu.channelerror over the current menu; connection lost -> menu.login.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "baselib/cfgfile.h"
#include "frontend/lan_list.h"
#include "gui/gui_event.h"
#include "gui/gui_palette.h"
#include "net/lobbynet.h"
#include "shell/program_frame.h"

class GUI_OBJECT;
class GUI_LIST;
class MENU_LUA;
class VORL_MISSION_CTRL;
namespace vorlane::media {
class OSGFX;
}
namespace vorlane::resources {
class RAMA_CTRL;
class TEXTLIB;
}  // namespace vorlane::resources

namespace vorlane::frontend {

// What the main map works with; nothing here is owned.
struct MainMapContext {
    MENU_LUA* menus = nullptr;
    LOBBYNET* lobby = nullptr;
    resources::TEXTLIB* textlib = nullptr;
    resources::RAMA_CTRL* rama = nullptr;
    // Sets the program state (2 quit, 6 start the game).
    std::function<void(int32_t)> set_program_state;
    // Draws one frame at once (start frame, Draw, end frame).
    std::function<void()> draw_now;
    // Draws the GUI onto the screen.
    std::function<void()> draw_gui;
    // The screen surface sequences and the console draw onto (null: none).
    std::function<media::OSGFX*()> screen;
    // Draws the shell's presentation layer over everything else.
    std::function<void()> draw_presentation;
    std::string lobby_cfg_path = "data/lobby.cfg";
    std::string mplayer_cfg_path = "data/mplayer.cfg";
    // The menu script; empty: the archive resource "lobby.script.menu".
    std::string menu_script;
    // The player's preferences file, where the game filters and the chosen
    // visibility are kept (empty: none read or written).
    std::string preferences_path;
    // Something the player should see came while the window may be in the
    // background: draw the next frame even so.
    std::function<void()> attention;
};

inline constexpr int kPortraitCount = 8;
// Portrait resources in index order (alphabetical by character name).
extern const char* const kPortraitNames[kPortraitCount];
// Colour button resources for the colour numbers 1 to 5.
extern const char* const kColourButtonNames[5];

class MAINMAP : public ProgramFrame, public LobbyFrontend {
  public:
    explicit MAINMAP(MainMapContext context);
    ~MAINMAP() override;

    // The live main map (the tag dispatcher's target), or null.
    static MAINMAP* Get();

    int IsReady() const override { return ready; }
    bool Init(uint16_t start_mode);
    int OnInput(IOEVE* event) override;
    void Update() override;
    void Draw() override;
    uint32_t MsUntilChange() override;
    uint32_t MsUntilOtherChange() override;

    // The tag dispatcher; 1 or 0.
    int Dispatch(int32_t tag, const GUI_EVENT& event);
    int Click(int32_t tag, uint8_t buttons = 0);

    // [LobbyFrontend]
    void LoginError(const char* text_id) override;
    void FirstLoginError(const char* text_id) override;
    void ServerKeyNotice(const char* text_id, const char* fingerprint) override;
    void AccountCreated() override;
    void ConnectionLost() override;
    void ChannelError() override;
    void ChannelEntered() override;
    void ChatLine(const char* text, uint32_t sender, bool is_private) override;
    void GameListChanged(const std::vector<net::GameRecord>& games, const net::GameRecord* added,
                         const net::GameRecord* removed) override;
    void ChannelList(const std::vector<uint8_t>& table, bool automatic) override;
    void LoginRunning() override;
    void LoginFinished() override;
    void ProfilesComplete(const std::array<net::Profile, 4>& profiles) override;
    void UserListChanged(const std::vector<net::UserRecord>& users, const net::UserRecord* added,
                         const net::UserRecord* removed) override;
    void LoginRefused(const std::string& reason, uint32_t seconds_left) override;
    void Notice(const net::ServerNotice& notice) override;
    void RejoinOffer(const net::GameAlert* offer) override;
    void FriendsChanged(const std::vector<net::FriendEntry>& friends,
                        const net::FriendChanged* change) override;
    void SearchResultReceived(const net::SearchResult& result) override;
    void GameAlertReceived(const net::GameAlert& alert) override;
    void StoredLineReceived(const net::StoredLine& line) override;
    void HistoryLineReceived(const net::StoredLine& line) override;
    void AwaySummaryReceived(const net::AwaySummary& summary) override;

    // State, for the screens and tests.
    int16_t portrait() const { return portrait_; }
    int32_t private_target() const { return private_target_; }
    uint16_t network_mode() const { return network_mode_; }
    const std::vector<std::pair<uint32_t, uint32_t>>& ignore_list() const { return ignore_; }
    const std::vector<net::GameFilter>& game_filters() const { return filters_; }
    const std::string& private_name() const { return private_name_; }
    int notices_shown() const { return notices_shown_; }
    CFGFILE& lobby_config() { return lobby_cfg_; }
    uint32_t draw_flags = 0xFFFFFFFF;

    // Menu helpers (objects are found by dotted name; missing ones are skipped).
    GUI_OBJECT* Object(const char* name) const;
    GUI_OBJECT* Object(const char* name, int32_t type) const;
    GUI_LIST* List(const char* name) const;
    void ShowMenu(const char* name);
    void HideMenu(const char* name);
    void EnableMenu(const char* name, bool enabled);
    void SetVisible(const char* name, bool visible);
    void SetText(const char* name, const std::string& text);
    std::string InputText(const char* name) const;
    // The text of a text id, or the id itself when it is missing.
    std::string LobbyText(const char* id) const;
    // Puts the archive picture `resource` (null clears) into image slot 3.
    void PutImage(const char* object_name, const char* resource);
    void PutPortrait(const char* object_name, int index);
    // The first of ".frame3.radio_color1" ... 5 that is on gives 1 ... 5; else 1.
    int ColourNumber(const char* menu) const;

  private:
    // [screens: online lobby]
    void ActionLogin(bool create);
    // Cancel on the connection notice: back to a usable log-in screen.
    void CancelLogin();
    void ShowLoginError(const char* text_id_or_text, bool is_id);
    // Every online screen closes; the log-in screen waits behind `text`.
    void BackToLogin(const std::string& text);
    // "HEAD Reason: REASON. Time left: 2 h 5 min." from the texts.
    std::string SanctionText(const char* head_id, const std::string& reason,
                             uint32_t seconds_left) const;
    // A line of the server's in the chat, in `colour`.
    void AddChatNotice(const std::string& line, gui::ItemColour colour);
    void ProfilePreview();
    void ProfileChoice(bool select);
    void ProfileStore();
    void FillProfileView(const std::string& prefix, const uint8_t* profile, size_t size);
    void ChannelJoin();
    void Send();
    void Private();
    void ToAll();
    void Ignore();
    void UserContext(const GUI_EVENT& event);
    void ShowProfile();
    // Shows "menu.lobby.obj_button_rejoin" with the offered game's name, or
    // hides it without an offer (rejoin_button.cpp).
    void ShowRejoin();
    // [screens: games]
    void MissionDetails();
    void FillMissionList();
    void ReturnFromGame();
    void StartLogo();
    bool SkipSequences(const IOEVE& event);
    bool IsIgnored(uint32_t id, uint32_t second) const;
    void AddUserRow(GUI_LIST& list, const net::UserRecord& user);
    // [screens: friends, search, filters, news] (social_screens.cpp)
    bool DispatchSocial(int32_t tag);
    std::string ClockText(uint32_t unix_seconds) const;
    std::string PresenceText(const net::FriendEntry& entry) const;
    void ShowSocialNotice(const std::string& text);
    void ShowFriends();
    void FillFriends();
    const net::FriendEntry* SelectedFriend() const;
    void FriendAction(uint16_t action);
    // An action on the player selected in the channel's user list.
    void UserAction(uint16_t action);
    void AddFriendByName();
    void SetVisibilityBoxes(int visibility);
    void ChooseVisibility(int visibility);
    void StartSearch(uint16_t page);
    const net::FriendEntry* SelectedResult() const;
    // Chat lines go to the account `name`, wherever it is (or kept for it).
    void PrivateTo(const std::string& name);
    void JoinChannelOf(const net::FriendEntry* entry);
    void LoadSocialPreferences();
    void SavePreferences();
    void FillFilters();
    void FilterSelected();
    void StoreFilter(bool add);
    void RemoveFilter();
    void FiltersChanged();
    bool GameShown(const net::GameRecord& game) const;
    bool HasAwayNews() const;
    std::vector<std::string> CameOnline() const;
    void ShowAway();
    void FillAway();
    void AwayDelete(bool all);

    MainMapContext context_;
    int32_t private_target_ = -1;
    CFGFILE lobby_cfg_;
    bool lobby_cfg_reached_ = false;  // the constructor got as far as reading it
    const net::UserRecord* context_user_ = nullptr;
    int16_t portrait_ = 0;
    std::vector<std::pair<uint32_t, uint32_t>> ignore_;
    uint16_t network_mode_ = 1;
    uint32_t other_due_ = 0;  // MsUntilOtherChange's answer, worked out by MsUntilChange
    LanList lan_list_;
    std::unique_ptr<VORL_MISSION_CTRL> missions_;
    int dispatch_depth_ = 0;
    bool started_ = false;          // Init has finished
    bool swallow_release_ = false;  // the release of a press that skipped sequences
    std::string private_name_;      // chat target by account name (private lines by name)
    std::vector<net::GameFilter> filters_;
    bool filter_games_ = false;  // the game list shows only what the filters match
    std::string search_prefix_;
    uint16_t search_page_ = 0;
    std::vector<std::string> came_online_;  // friends who came online since the log-in
    bool away_due_ = false;                 // a log-in's news waits for the lobby to be entered
    int notices_shown_ = 0;
};

// A menu sound effect at the player's effects volume (none with sound off).
void PlayEffect(const char* name);

// The menu hook installed by MAINMAP: passes (tag, event) to the live main map.
bool MAINMAP_MenuHook(int32_t tag, const GUI_EVENT& event);

}  // namespace vorlane::frontend
