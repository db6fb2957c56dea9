// [SECTION] Helpers
// [SECTION] Notices
// [SECTION] Friends
// [SECTION] Player search and private lines by name
// [SECTION] Game filters
// [SECTION] While you were away
// [SECTION] Chat history
// [SECTION] Tag dispatcher
#include <algorithm>
#include <ctime>

#include "baselib/cfgfile.h"
#include "baselib/logsys.h"
#include "frontend/game_filters.h"
#include "frontend/mainmap.h"
#include "gui/gui_widgets.h"
#include "scripting/menu_lua.h"
#include "scripting/menu_tags.h"

namespace vorlane::frontend {

namespace {

using gui::ColourRole;

// [SECTION] Helpers

// "%s" in a text becomes `name`; a text without it gets the name in front.
std::string WithName(const std::string& text, const std::string& name) {
    const size_t at = text.find("%s");
    if (at == std::string::npos)
        return name + " " + text;
    return text.substr(0, at) + name + text.substr(at + 2);
}

bool IsVisible(MAINMAP& map, const char* name) {
    GUI_OBJECT* object = map.Object(name);
    return object && object->IsVisible();
}

}  // namespace

// "10:42" today, "03.12. 10:42" on another day, "" for no time.
std::string MAINMAP::ClockText(uint32_t unix_seconds) const {
    if (unix_seconds == 0)
        return "";
    const std::time_t when = std::time_t(unix_seconds);
    const std::time_t now = std::time(nullptr);
    std::tm at{}, today{};
    localtime_r(&when, &at);
    localtime_r(&now, &today);
    char text[32];
    if (at.tm_year == today.tm_year && at.tm_yday == today.tm_yday) {
        std::strftime(text, sizeof text, "%H:%M", &at);
    } else {
        std::strftime(text, sizeof text, "%d.%m. %H:%M", &at);
    }
    return text;
}

std::string MAINMAP::PresenceText(const net::FriendEntry& entry) const {
    switch (entry.state) {
        case net::kPresenceOnline:
            return LobbyText("LOBBY_PRESENCE_ONLINE");
        case net::kPresenceInChannel:
            return WithName(LobbyText("LOBBY_PRESENCE_CHANNEL"), entry.where);
        case net::kPresenceInGame:
            return WithName(LobbyText("LOBBY_PRESENCE_GAME"), entry.where);
        case net::kPresenceLan:
            return LobbyText("LOBBY_PRESENCE_LAN");
        default:
            return LobbyText("LOBBY_PRESENCE_OFFLINE");
    }
}

// [SECTION] Notices

void MAINMAP::ShowSocialNotice(const std::string& text) {
    // Shown without the menu sound: the click is the notice's own.
    if (context_.menus)
        context_.menus->ShowMenu("menu.socialnotice");
    SetText("menu.socialnotice.obj_label1", text);
    PlayEffect("lobby.sound.click");
    LOGSYS_Info("LOBBYNET: notice: %s", text.c_str());
    ++notices_shown_;
    // The window may be in the background: it must draw the notice now.
    if (context_.attention)
        context_.attention();
}

// [SECTION] Friends

void MAINMAP::FriendsChanged(const std::vector<net::FriendEntry>& friends,
                             const net::FriendChanged* change) {
    if (change) {
        const std::string& name = change->entry.name;
        switch (change->event) {
            case net::kFriendCameOnline:
                // As many as a friend list holds, whatever the server sends.
                if (came_online_.size() < net::kMaxFriendListEntries &&
                    std::find(came_online_.begin(), came_online_.end(), name) == came_online_.end())
                    came_online_.push_back(name);
                ShowSocialNotice(WithName(LobbyText("LOBBY_NOTICE_ONLINE"), name));
                break;
            case net::kFriendOpenedGame:
                ShowSocialNotice(WithName(LobbyText("LOBBY_NOTICE_GAME"), name) + " " +
                                 change->entry.where);
                break;
            case net::kFriendAsks:
                ShowSocialNotice(WithName(LobbyText("LOBBY_NOTICE_ASKS"), name));
                break;
            default:
                break;
        }
    }
    (void)friends;
    FillFriends();
    // Friends' games may have come or gone from the filtered game list.
    if (filter_games_ && context_.lobby)
        GameListChanged(context_.lobby->games(), nullptr, nullptr);
}

void MAINMAP::FillFriends() {
    GUI_LIST* list = List("menu.friends.obj_list_friends");
    if (!list || !context_.lobby)
        return;
    std::string selected;
    if (const net::FriendEntry* entry = SelectedFriend())
        selected = entry->name;
    list->Clear();
    // Requests first, then friends online, then the rest, each by name.
    std::vector<net::FriendEntry> entries = context_.lobby->friends();
    auto rank = [](const net::FriendEntry& e) {
        if (e.relation == net::kRelationAsksYou)
            return 0;
        if (e.relation == net::kRelationFriend)
            return e.state != net::kPresenceOffline ? 1 : 2;
        return e.relation == net::kRelationYouAsked ? 3 : 4;
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a.name < b.name;
    });
    for (const net::FriendEntry& entry : entries) {
        std::string text = entry.name + " - ";
        gui::ItemColour colour;
        switch (entry.relation) {
            case net::kRelationAsksYou:
                text += LobbyText("LOBBY_FRIENDS_ASKS");
                break;
            case net::kRelationYouAsked:
                text += LobbyText("LOBBY_FRIENDS_ASKED");
                colour = ColourRole::kUnavailable;
                break;
            case net::kRelationBlocked:
                text += LobbyText("LOBBY_FRIENDS_BLOCKED");
                colour = ColourRole::kError;
                break;
            default:
                text += PresenceText(entry);
                if (entry.since != 0)
                    text += " " + LobbyText("LOBBY_SINCE") + " " + ClockText(entry.since);
                colour = entry.state == net::kPresenceOffline ? ColourRole::kUnavailable
                                                              : ColourRole::kFriend;
                break;
        }
        const int row =
            list->AddItem(text.c_str(), false, colour, std::make_shared<net::FriendEntry>(entry));
        if (row >= 0 && entry.name == selected)
            list->SetSelection(row);
    }
    if (entries.empty())
        list->AddItem(LobbyText("LOBBY_FRIENDS_NONE").c_str(), false, ColourRole::kUnavailable);
}

const net::FriendEntry* MAINMAP::SelectedFriend() const {
    GUI_LIST* list = List("menu.friends.obj_list_friends");
    if (!list || list->selection() < 0)
        return nullptr;
    return static_cast<const net::FriendEntry*>(list->GetItemRecord(list->selection()));
}

void MAINMAP::ShowFriends() {
    ShowMenu("menu.friends");
    const int visibility = context_.lobby ? context_.lobby->visibility() : -1;
    SetVisibilityBoxes(visibility < 0 ? net::kVisibleEveryone : visibility);
    if (context_.lobby)
        context_.lobby->RequestFriends();
    FillFriends();
}

void MAINMAP::FriendAction(uint16_t action) {
    const net::FriendEntry* entry = SelectedFriend();
    if (entry && context_.lobby)
        context_.lobby->SendSocialAction(action, entry->name);
}

void MAINMAP::UserAction(uint16_t action) {
    GUI_LIST* users = List("menu.lobby.obj_list_user");
    if (!users || users->selection() < 0 || !context_.lobby)
        return;
    auto* user = static_cast<net::UserRecord*>(users->GetItemRecord(users->selection()));
    if (!user)
        return;
    // Friends are accounts; a server that does not send the account's name
    // leaves the profile's, which is the account's for most players.
    std::string name = net::UserRecordAccount(*user);
    if (name.empty())
        name = net::UserRecordName(*user);
    context_.lobby->SendSocialAction(action, name);
}

void MAINMAP::AddFriendByName() {
    const std::string name = InputText("menu.friends.obj_input_name");
    if (name.empty() || !context_.lobby)
        return;
    context_.lobby->SendSocialAction(net::kActionBefriend, name);
    SetText("menu.friends.obj_input_name", "");
}

void MAINMAP::SetVisibilityBoxes(int visibility) {
    const char* boxes[] = {"menu.friends.obj_cbox_vis0", "menu.friends.obj_cbox_vis1",
                           "menu.friends.obj_cbox_vis2"};
    for (int i = 0; i < 3; ++i) {
        if (auto* box = static_cast<GUI_CHECKBOX*>(Object(boxes[i], GUI_TYPE_CHECKBOX)))
            box->SetChecked(i == visibility);
    }
}

void MAINMAP::ChooseVisibility(int visibility) {
    SetVisibilityBoxes(visibility);
    if (context_.lobby)
        context_.lobby->SetVisibility(uint16_t(visibility));
    SavePreferences();
}

// [SECTION] Player search and private lines by name

void MAINMAP::StartSearch(uint16_t page) {
    if (page == 0)
        search_prefix_ = InputText("menu.lobby.obj_input_search");
    if (search_prefix_.empty() || !context_.lobby)
        return;
    search_page_ = page;
    context_.lobby->SearchPlayers(search_prefix_, page);
    ShowMenu("menu.search");
    SetText("menu.search.head", LobbyText("LOBBY_SEARCH_HEAD") + " " + search_prefix_ + "...");
    if (GUI_LIST* list = List("menu.search.obj_list_result"))
        list->Clear();
    EnableMenu("menu.search.obj_button_prev", false);
    EnableMenu("menu.search.obj_button_next", false);
}

void MAINMAP::SearchResultReceived(const net::SearchResult& result) {
    GUI_LIST* list = List("menu.search.obj_list_result");
    if (!list)
        return;
    list->Clear();
    for (const net::FriendEntry& entry : result.entries) {
        std::string text = entry.name + " - " + PresenceText(entry);
        list->AddItem(
            text.c_str(), false,
            entry.relation == net::kRelationFriend ? ColourRole::kFriend : ColourRole::kNone,
            std::make_shared<net::FriendEntry>(entry));
    }
    if (result.entries.empty())
        list->AddItem(LobbyText("LOBBY_SEARCH_NONE").c_str(), false, ColourRole::kUnavailable);
    else
        list->SetSelection(0);
    search_page_ = result.page;
    SetText("menu.search.obj_label_page",
            LobbyText("LOBBY_SEARCH_PAGE") + " " + std::to_string(result.page + 1));
    EnableMenu("menu.search.obj_button_prev", result.page > 0);
    EnableMenu("menu.search.obj_button_next", result.more != 0);
}

const net::FriendEntry* MAINMAP::SelectedResult() const {
    GUI_LIST* list = List("menu.search.obj_list_result");
    if (!list || list->selection() < 0)
        return nullptr;
    return static_cast<const net::FriendEntry*>(list->GetItemRecord(list->selection()));
}

void MAINMAP::PrivateTo(const std::string& name) {
    if (name.empty())
        return;
    private_target_ = -1;
    private_name_ = name;
    SetText("menu.lobby.obj_frame_name.obj_label1", LobbyText("LOBBY_CHAT_TO") + " " + name);
}

void MAINMAP::JoinChannelOf(const net::FriendEntry* entry) {
    if (!entry || entry->state != net::kPresenceInChannel || !context_.lobby)
        return;
    bool games = false;
    for (const net::ChannelEntry& channel :
         net::DecodeChannelTable(context_.lobby->channel_table())) {
        if (channel.number == entry->channel)
            games = (channel.flags & net::kChannelGames) != 0;
    }
    if (context_.lobby->JoinChannel(entry->channel) == 0)
        return;
    for (const char* menu : {"menu.search", "menu.friends", "menu.lobbycontext"}) HideMenu(menu);
    EnableMenu("menu.lobby.obj_button_create", games);
    EnableMenu("menu.lobby.obj_button_join", games);
    ShowMenu("menu.channelinfo");
}

// [SECTION] Game filters

void MAINMAP::LoadSocialPreferences() {
    if (context_.preferences_path.empty())
        return;
    CFGFILE file;
    if (!file.Read(context_.preferences_path))
        return;
    filters_ = ReadSavedFilters(file);
    const int visibility = ReadSavedVisibility(file);
    if (context_.lobby) {
        context_.lobby->SetGameFilters(filters_);
        if (visibility >= 0)
            context_.lobby->set_visibility(uint16_t(visibility));
    }
}

void MAINMAP::SavePreferences() {
    if (context_.preferences_path.empty())
        return;
    CFGFILE file;
    file.Read(context_.preferences_path);  // none yet is fine; other keys stay
    PutSavedFilters(file, filters_);
    if (context_.lobby && context_.lobby->visibility() >= 0)
        PutSavedVisibility(file, context_.lobby->visibility());
    if (!file.Write(context_.preferences_path))
        LOGSYS_Warning("MAINMAP: cannot write %s", context_.preferences_path.c_str());
}

void MAINMAP::FillFilters() {
    GUI_LIST* list = List("menu.filters.obj_list_filters");
    if (!list)
        return;
    const int selected = list->selection();
    list->Clear();
    for (const net::GameFilter& filter : filters_) {
        std::string text;
        if (!filter.name.empty())
            text += "\"" + filter.name + "\"";
        if (!filter.mission.empty())
            text += (text.empty() ? "" : " ") + LobbyText("LOBBY_FILTERS_MISSION") + " \"" +
                    filter.mission + "\"";
        if (text.empty())
            text = LobbyText("LOBBY_FILTERS_ANY");
        if (filter.flags & net::kFilterFreeSeats)
            text += " - " + LobbyText("LOBBY_FILTERS_FREE");
        if (filter.flags & net::kFilterNoPassword)
            text += " - " + LobbyText("LOBBY_FILTERS_NOPASSWORD");
        if (filter.flags & net::kFilterFriendsGames)
            text += " - " + LobbyText("LOBBY_FILTERS_FRIENDS");
        list->AddItem((std::to_string(filter.slot) + ". " + text).c_str());
    }
    if (filters_.empty())
        list->AddItem(LobbyText("LOBBY_FILTERS_NONE").c_str(), false, ColourRole::kUnavailable);
    else if (selected >= 0 && selected < int(filters_.size()))
        list->SetSelection(selected);
}

void MAINMAP::FilterSelected() {
    GUI_LIST* list = List("menu.filters.obj_list_filters");
    const int index = list ? list->selection() : -1;
    if (index < 0 || index >= int(filters_.size()))
        return;
    const net::GameFilter& filter = filters_[size_t(index)];
    SetText("menu.filters.obj_input_name", filter.name);
    SetText("menu.filters.obj_input_mission", filter.mission);
    const std::pair<const char*, uint16_t> boxes[] = {
        {"menu.filters.obj_cbox_free", net::kFilterFreeSeats},
        {"menu.filters.obj_cbox_nopassword", net::kFilterNoPassword},
        {"menu.filters.obj_cbox_friends", net::kFilterFriendsGames}};
    for (const auto& [name, flag] : boxes) {
        if (auto* box = static_cast<GUI_CHECKBOX*>(Object(name, GUI_TYPE_CHECKBOX)))
            box->SetChecked((filter.flags & flag) != 0);
    }
}

void MAINMAP::StoreFilter(bool add) {
    net::GameFilter filter;
    filter.flags = net::kFilterActive;
    filter.name = InputText("menu.filters.obj_input_name");
    filter.mission = InputText("menu.filters.obj_input_mission");
    const std::pair<const char*, uint16_t> boxes[] = {
        {"menu.filters.obj_cbox_free", net::kFilterFreeSeats},
        {"menu.filters.obj_cbox_nopassword", net::kFilterNoPassword},
        {"menu.filters.obj_cbox_friends", net::kFilterFriendsGames}};
    for (const auto& [name, flag] : boxes) {
        auto* box = static_cast<GUI_CHECKBOX*>(Object(name, GUI_TYPE_CHECKBOX));
        if (box && box->IsChecked())
            filter.flags |= flag;
    }
    GUI_LIST* list = List("menu.filters.obj_list_filters");
    const int index = list ? list->selection() : -1;
    if (add) {
        if (filters_.size() >= kMaxSavedFilters) {
            ShowSocialNotice(LobbyText("LOBBY_FILTERS_FULL"));
            return;
        }
        filters_.push_back(filter);
    } else if (index >= 0 && index < int(filters_.size())) {
        filters_[size_t(index)] = filter;
    } else {
        return;
    }
    FiltersChanged();
}

void MAINMAP::RemoveFilter() {
    GUI_LIST* list = List("menu.filters.obj_list_filters");
    const int index = list ? list->selection() : -1;
    if (index < 0 || index >= int(filters_.size()))
        return;
    filters_.erase(filters_.begin() + index);
    FiltersChanged();
}

void MAINMAP::FiltersChanged() {
    for (size_t i = 0; i < filters_.size(); ++i) filters_[i].slot = uint16_t(i + 1);
    if (context_.lobby) {
        context_.lobby->SetGameFilters(filters_);
        GameListChanged(context_.lobby->games(), nullptr, nullptr);
    }
    SavePreferences();
    FillFilters();
}

bool MAINMAP::GameShown(const net::GameRecord& game) const {
    if (!filter_games_ || filters_.empty() || !context_.lobby)
        return true;
    return GameMatchesAny(game, filters_, context_.lobby->friends());
}

void MAINMAP::GameAlertReceived(const net::GameAlert& alert) {
    ShowSocialNotice(LobbyText("LOBBY_NOTICE_ALERT") + " " + net::GameRecordName(alert.game));
}

// [SECTION] While you were away

void MAINMAP::AwaySummaryReceived(const net::AwaySummary& /*summary*/) {
    // A new log-in: what came before it was seen or kept already.
    came_online_.clear();
    away_due_ = true;
}

void MAINMAP::StoredLineReceived(const net::StoredLine& line) {
    if (line.id == 0) {
        // A line by name that reached the player at once.
        std::string text = LobbyText("LOBBY_CHAT_FROM") + " [" + line.name + "]: " + line.text;
        AddChatNotice(text, ColourRole::kChatPrivate);
        return;
    }
    if (IsVisible(*this, "menu.away"))
        FillAway();
}

bool MAINMAP::HasAwayNews() const {
    if (!context_.lobby)
        return false;
    const net::AwaySummary& away = context_.lobby->away();
    return !context_.lobby->stored_lines().empty() || away.stored != 0 ||
           (away.outcome != net::kOutcomeNone && away.ended >= away.away_since) ||
           !CameOnline().empty();
}

std::vector<std::string> MAINMAP::CameOnline() const {
    std::vector<std::string> names;
    if (!context_.lobby)
        return names;
    const uint32_t since = context_.lobby->away().away_since;
    for (const net::FriendEntry& entry : context_.lobby->friends()) {
        if (entry.relation == net::kRelationFriend && entry.state != net::kPresenceOffline &&
            since != 0 && entry.since >= since)
            names.push_back(entry.name);
    }
    for (const std::string& name : came_online_) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

void MAINMAP::ShowAway() {
    ShowMenu("menu.away");
    FillAway();
}

void MAINMAP::FillAway() {
    if (!context_.lobby)
        return;
    const net::AwaySummary& away = context_.lobby->away();
    SetText("menu.away.obj_label_since",
            away.away_since ? LobbyText("LOBBY_AWAY_SINCE") + " " + ClockText(away.away_since)
                            : std::string());
    std::string game;
    if (away.outcome != net::kOutcomeNone) {
        const char* outcome = away.outcome == net::kOutcomeWon    ? "LOBBY_AWAY_WON"
                              : away.outcome == net::kOutcomeLost ? "LOBBY_AWAY_LOST"
                                                                  : "LOBBY_AWAY_DISCONNECTED";
        game = LobbyText("LOBBY_AWAY_LAST_GAME") + " " + away.game + ": " + LobbyText(outcome) +
               ", " + LobbyText("LOBBY_AWAY_SCORE") + " " + (away.score >= 0 ? "+" : "") +
               std::to_string(away.score);
    }
    SetText("menu.away.obj_label_game", game);
    if (GUI_LIST* lines = List("menu.away.obj_list_lines")) {
        lines->Clear();
        // In the order they were sent; the server sends them oldest first.
        for (const net::StoredLine& line : context_.lobby->stored_lines()) {
            std::string text = ClockText(line.sent) + " [" + line.name + "]: " + line.text;
            if (line.flags & net::kLineWhileInGame)
                text += " " + LobbyText("LOBBY_AWAY_IN_GAME");
            lines->AddItem(text.c_str(), false, ColourRole::kChatPrivate,
                           std::make_shared<uint32_t>(line.id));
        }
        if (context_.lobby->stored_lines().empty())
            lines->AddItem(LobbyText("LOBBY_AWAY_NOTHING").c_str(), false,
                           ColourRole::kUnavailable);
    }
    if (GUI_LIST* friends = List("menu.away.obj_list_friends")) {
        friends->Clear();
        for (const std::string& name : CameOnline())
            friends->AddItem(name.c_str(), false, ColourRole::kFriend);
    }
}

// Delete one: the selected line. Delete all and "read" remove every line the
// server holds: while the player is in the lobby new lines reach them live,
// so what the server holds is what this panel shows.
void MAINMAP::AwayDelete(bool all) {
    if (!context_.lobby)
        return;
    if (all) {
        context_.lobby->DeleteStoredLine(0);
    } else {
        GUI_LIST* lines = List("menu.away.obj_list_lines");
        const int row = lines ? lines->selection() : -1;
        auto* id = row >= 0 ? static_cast<uint32_t*>(lines->GetItemRecord(row)) : nullptr;
        if (!id)
            return;
        context_.lobby->DeleteStoredLine(*id);
    }
    FillAway();
}

// [SECTION] Chat history

void MAINMAP::HistoryLineReceived(const net::StoredLine& line) {
    std::string text = "(" + LobbyText("LOBBY_HISTORY") + " " + ClockText(line.sent) + ") [" +
                       line.name + "]: " + line.text;
    AddChatNotice(text, ColourRole::kChatHistory);
}

// [SECTION] Tag dispatcher

bool MAINMAP::DispatchSocial(int32_t tag) {
    switch (tag) {
        case MENU_TAG_LOBBY_SEARCH:
            StartSearch(0);
            return true;
        case MENU_TAG_LOBBY_FRIENDS:
            ShowFriends();
            return true;
        case MENU_TAG_LOBBY_FILTERS:
            ShowMenu("menu.filters");
            FillFilters();
            return true;
        case MENU_TAG_LOBBY_AWAY:
            ShowAway();
            return true;
        case MENU_TAG_LOBBY_FILTERTOGGLE: {
            auto* box =
                static_cast<GUI_CHECKBOX*>(Object("menu.lobby.obj_cbox_filter", GUI_TYPE_CHECKBOX));
            filter_games_ = box && box->IsChecked();
            if (context_.lobby)
                GameListChanged(context_.lobby->games(), nullptr, nullptr);
            return true;
        }
        case MENU_TAG_LOBBY_BEFRIEND:
            UserAction(net::kActionBefriend);
            return true;
        case MENU_TAG_LOBBY_BLOCK:
            UserAction(net::kActionBlock);
            return true;
        case MENU_TAG_FRIENDS_ACCEPT:
            FriendAction(net::kActionBefriend);
            return true;
        case MENU_TAG_FRIENDS_REMOVE:
            FriendAction(net::kActionUnfriend);
            return true;
        case MENU_TAG_FRIENDS_BLOCK:
            FriendAction(net::kActionBlock);
            return true;
        case MENU_TAG_FRIENDS_UNBLOCK:
            FriendAction(net::kActionUnblock);
            return true;
        case MENU_TAG_FRIENDS_PRIVATE:
            if (const net::FriendEntry* entry = SelectedFriend()) {
                PrivateTo(entry->name);
                HideMenu("menu.friends");
            }
            return true;
        case MENU_TAG_FRIENDS_JOIN:
            JoinChannelOf(SelectedFriend());
            return true;
        case MENU_TAG_FRIENDS_ADD:
            AddFriendByName();
            return true;
        case MENU_TAG_FRIENDS_VIS_ALL:
        case MENU_TAG_FRIENDS_VIS_FRIENDS:
        case MENU_TAG_FRIENDS_VIS_NOBODY:
            ChooseVisibility(tag - MENU_TAG_FRIENDS_VIS_ALL);
            return true;
        case MENU_TAG_FRIENDS_CLOSE:
            HideMenu("menu.friends");
            return true;
        case MENU_TAG_SEARCH_PREV:
            if (search_page_ > 0)
                StartSearch(uint16_t(search_page_ - 1));
            return true;
        case MENU_TAG_SEARCH_NEXT:
            StartSearch(uint16_t(search_page_ + 1));
            return true;
        case MENU_TAG_SEARCH_PRIVATE:
            if (const net::FriendEntry* entry = SelectedResult()) {
                PrivateTo(entry->name);
                HideMenu("menu.search");
            }
            return true;
        case MENU_TAG_SEARCH_JOIN:
            JoinChannelOf(SelectedResult());
            return true;
        case MENU_TAG_SEARCH_CLOSE:
            HideMenu("menu.search");
            return true;
        case MENU_TAG_FILTERS_LIST:
            FilterSelected();
            return true;
        case MENU_TAG_FILTERS_ADD:
            StoreFilter(true);
            return true;
        case MENU_TAG_FILTERS_CHANGE:
            StoreFilter(false);
            return true;
        case MENU_TAG_FILTERS_REMOVE:
            RemoveFilter();
            return true;
        case MENU_TAG_FILTERS_CLOSE:
            HideMenu("menu.filters");
            return true;
        case MENU_TAG_AWAY_DELETE:
            AwayDelete(false);
            return true;
        case MENU_TAG_AWAY_DELETEALL:
            AwayDelete(true);
            return true;
        case MENU_TAG_AWAY_DONE:
            AwayDelete(true);
            [[fallthrough]];
        case MENU_TAG_AWAY_KEEP:
            HideMenu("menu.away");
            return true;
        case MENU_TAG_NOTICE_OK:
            HideMenu("menu.socialnotice");
            return true;
        default:
            return false;
    }
}

}  // namespace vorlane::frontend
