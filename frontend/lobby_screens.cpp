// [SECTION] Log-in and account creation
// [SECTION] Notifications
// [SECTION] Profiles
// [SECTION] Channels
// [SECTION] Lobby: users, chat, ignore list
#include <algorithm>
#include <cstring>
#include <utility>

#include "baselib/logsys.h"
#include "frontend/mainmap.h"
#include "gui/gui_style.h"
#include "gui/gui_widgets.h"
#include "scripting/menu_lua.h"
#include "scripting/menu_tags.h"

namespace vorlane::frontend {

namespace {

// Coloured rows say what they are; the palette decides how that looks.
using gui::ColourRole;
constexpr size_t kProfileNameWidth = 15;
constexpr size_t kProfileContactWidth = 40;
// Rows the chat box keeps unless "data/lobby.cfg" says otherwise (main/chat_lines).
constexpr int64_t kDefaultChatRows = 500;
constexpr int64_t kMostChatRows = 100000;

int32_t ProfileI32(const uint8_t* profile, size_t size, size_t offset) {
    if (offset + 4 > size)
        return 0;
    return int32_t(net::GetU32(std::span<const uint8_t>(profile, size), offset));
}

std::string ProfileText(const uint8_t* profile, size_t size, size_t offset, size_t width) {
    if (offset >= size)
        return {};
    return net::GetText(std::span<const uint8_t>(profile, size), offset,
                        std::min(width, size - offset));
}

}  // namespace

// [SECTION] Log-in and account creation

void MAINMAP::ShowLoginError(const char* text, bool is_id) {
    HideMenu("menu.connectinfo");
    ShowMenu("menu.loginerror");
    if (GUI_OBJECT* label = Object("menu.loginerror.obj_label1", GUI_TYPE_TEXT))
        label->SetText(is_id ? LobbyText(text).c_str() : text);
}

void MAINMAP::ActionLogin(bool create) {
    ShowMenu("menu.connectinfo");
    EnableMenu("menu.login", false);
    std::string user = InputText("menu.login.obj_input_uname");
    std::string password = InputText("menu.login.obj_input_password");
    std::string email = InputText("menu.login.obj_input_email");
    if (context_.draw_now)
        context_.draw_now();
    bool complete = !user.empty() && !password.empty() && (!create || !email.empty());
    if (complete && context_.lobby) {
        int16_t result = create ? context_.lobby->FirstLogin(user.c_str(), password.c_str(), "",
                                                             email.c_str(), true)
                                : context_.lobby->Login(user.c_str(), password.c_str(), "",
                                                        email.c_str(), true, 0xFFFF, 0xFFFF);
        if (result != 0)
            return;
    }
    const char* id = "LOBBY_LOGIN_IMPOSSIBLE";
    if (create && email.empty())
        id = "LOBBY_LOGIN_NOEMAIL";
    else if (user.empty())
        id = "LOBBY_LOGIN_NOUSERNAME";
    else if (password.empty())
        id = "LOBBY_LOGIN_NOPASSWORD";
    ShowLoginError(id, true);
}

void MAINMAP::CancelLogin() {
    if (context_.lobby)
        context_.lobby->CancelLogin();
    HideMenu("menu.connectinfo");
    // The return from a game comes here with the log-in screen hidden.
    ShowMenu("menu.login");
    EnableMenu("menu.login", true);
    LoginFinished();
}

// [SECTION] Notifications

void MAINMAP::LoginError(const char* text_id) {
    std::string text = LobbyText(text_id);
    ShowLoginError(text.c_str(), false);
    LOGSYS_Info("LOBBYNET: %s", text.c_str());
}

void MAINMAP::FirstLoginError(const char* text_id) {
    LoginError(text_id);
}

void MAINMAP::ServerKeyNotice(const char* text_id, const char* fingerprint) {
    const std::string text = LobbyText(text_id) + " " + (fingerprint ? fingerprint : "");
    ShowLoginError(text.c_str(), false);
    LOGSYS_Info("LOBBYNET: %s", text.c_str());
}

void MAINMAP::AccountCreated() {
    ShowLoginError("LOBBY_ACCOUNT_OK", true);
}

void MAINMAP::ConnectionLost() {
    BackToLogin(LobbyText("LOBBY_CONNECTION_LOST"));
    LOGSYS_Text(nullptr, kLogInfo, "LOBBYNET: Verbindung zum Server verloren");
}

void MAINMAP::BackToLogin(const std::string& text) {
    for (const char* menu :
         {"menu.connectinfo", "menu.profileinfo", "menu.channelinfo", "menu.profile",
          "menu.profileyesno", "menu.lobby", "menu.lobbycontext", "menu.lobby_profileview",
          "menu.create", "menu.channel", "menu.friends", "menu.search", "menu.filters", "menu.away",
          "menu.socialnotice"})
        HideMenu(menu);
    ShowMenu("menu.login");
    EnableMenu("menu.login", false);
    EnableMenu("menu.profile", true);
    EnableMenu("menu.channel", true);
    ShowLoginError(text.c_str(), false);
}

std::string MAINMAP::SanctionText(const char* head_id, const std::string& reason,
                                  uint32_t seconds_left) const {
    std::string text = LobbyText(head_id);
    if (!reason.empty()) {
        text += " " + LobbyText("LOBBY_REASON") + " " + reason;
        if (std::strchr(".!?", reason.back()) == nullptr)
            text += ".";
    }
    if (seconds_left == net::kNoEnd) {
        text += " " + LobbyText("LOBBY_NO_END");
    } else if (seconds_left != 0) {
        // The two largest units say enough: "2 d 3 h", "4 min 10 s".
        const uint32_t units[] = {86400, 3600, 60, 1};
        const char* names[] = {"LOBBY_TIME_DAYS", "LOBBY_TIME_HOURS", "LOBBY_TIME_MINUTES",
                               "LOBBY_TIME_SECONDS"};
        std::string left;
        int shown = 0;
        uint32_t rest = seconds_left;
        for (size_t i = 0; i < std::size(units) && shown < 2; ++i) {
            const uint32_t count = rest / units[i];
            rest %= units[i];
            if (count == 0 && shown == 0)
                continue;
            ++shown;
            if (count != 0)
                left +=
                    (left.empty() ? "" : " ") + std::to_string(count) + " " + LobbyText(names[i]);
        }
        text += " " + LobbyText("LOBBY_TIME_LEFT") + " " + left + ".";
    }
    return text;
}

void MAINMAP::LoginRefused(const std::string& reason, uint32_t seconds_left) {
    const std::string text = SanctionText("LOBBY_BANNED", reason, seconds_left);
    ShowLoginError(text.c_str(), false);
    LOGSYS_Info("LOBBYNET: %s", text.c_str());
}

void MAINMAP::AddChatNotice(const std::string& line, gui::ItemColour colour) {
    if (GUI_LIST* chat = List("menu.lobby.obj_list_chat"))
        chat->AddItem(line.c_str(), false, colour);
}

void MAINMAP::Notice(const net::ServerNotice& notice) {
    std::string text;
    switch (notice.kind) {
        case net::kNoticeMuted:
            text = SanctionText("LOBBY_MUTED", notice.text, notice.seconds);
            AddChatNotice(text, ColourRole::kError);
            break;
        case net::kNoticeServerLine:
            text = "[" + LobbyText("LOBBY_SERVER") + "]: " + notice.text;
            AddChatNotice(text, ColourRole::kChatServer);
            break;
        case net::kNoticeKicked:
        case net::kNoticeBanned:
            text = SanctionText(notice.kind == net::kNoticeKicked ? "LOBBY_KICKED" : "LOBBY_BANNED",
                                notice.text, notice.seconds);
            BackToLogin(text);
            break;
        case net::kNoticeChannelRemoved:
            // The channel list is up already (the server sent it first).
            for (const char* menu :
                 {"menu.lobby", "menu.lobbycontext", "menu.lobby_profileview", "menu.game"})
                HideMenu(menu);
            text = LobbyText("LOBBY_CHANNEL_REMOVED") + " (" + notice.text + ")";
            ShowLoginError(text.c_str(), false);
            break;
        default:
            return;
    }
    LOGSYS_Info("LOBBYNET: %s", text.c_str());
}

void MAINMAP::ChannelError() {
    ShowMenu("menu.channelerror");
    EnableMenu("menu.channel", false);
}

void MAINMAP::ChannelEntered() {
    HideMenu("menu.channel");
    HideMenu("menu.channelinfo");
    HideMenu("menu.connectinfo");
    EnableMenu("menu.channel", true);
    ShowMenu("menu.lobby");
    if (GUI_LIST* games = List("menu.lobby.obj_list_game"))
        games->Clear();
    if (GUI_LIST* users = List("menu.lobby.obj_list_user"))
        users->Clear();
    if (GUI_LIST* chat = List("menu.lobby.obj_list_chat")) {
        chat->Clear();
        chat->SetDisplayOnly(true);
        chat->SetMaxRows(int(std::clamp<int64_t>(
            lobby_cfg_.GetNumber("main", "chat_lines", kDefaultChatRows), 1, kMostChatRows)));
    }
    private_target_ = -1;
    private_name_.clear();
    SetText("menu.lobby.obj_frame_name.obj_label1", LobbyText("LOBBY_CHAT_TOALL"));
    ShowRejoin();
    // The news of a log-in, once the player is in the lobby (the automatic
    // log-in back from a game comes straight here).
    if (std::exchange(away_due_, false) && HasAwayNews())
        ShowAway();
}

void MAINMAP::LoginRunning() {
    EnableMenu("menu.login.obj_button1", false);
    EnableMenu("menu.login.obj_button2", false);
}

void MAINMAP::LoginFinished() {
    EnableMenu("menu.login.obj_button1", true);
    EnableMenu("menu.login.obj_button2", true);
}

// [SECTION] Profiles

void MAINMAP::ProfilesComplete(const std::array<net::Profile, 4>& profiles) {
    for (const char* menu :
         {"menu.connectinfo", "menu.profilefetchinfo", "menu.channel", "menu.login"})
        HideMenu(menu);
    EnableMenu("menu.login", true);
    ShowMenu("menu.profile");
    EnableMenu("menu.profile", true);
    EnableMenu("menu.channel", true);
    if (GUI_LIST* list = List("menu.profile.obj_list1")) {
        list->Clear();
        for (const net::Profile& profile : profiles) {
            bool active = net::GetU16(profile, net::kProfActive) != 0;
            std::string text = active ? ProfileText(profile.data(), profile.size(), net::kProfName,
                                                    kProfileNameWidth)
                                      : LobbyText("LOBBY_PROFILE_EMPTY");
            list->AddItem(text.c_str());
        }
        list->SetSelection(0);
    }
    Click(MENU_TAG_PROFILE_LIST);  // the preview of slot 0
}

void MAINMAP::ProfilePreview() {
    HideMenu("menu.profilemodify");
    GUI_LIST* list = List("menu.profile.obj_list1");
    int slot = list ? list->selection() : -1;
    if (!context_.lobby || slot < 0 || slot > 3) {
        FillProfileView("menu.profile.frame1", nullptr, 0);
        return;
    }
    const net::Profile& profile = context_.lobby->profiles()[size_t(slot)];
    bool active = net::GetU16(profile, net::kProfActive) != 0;
    FillProfileView("menu.profile.frame1", active ? profile.data() : nullptr, profile.size());
    SetText("menu.profile.obj_button3",
            LobbyText(active ? "LOBBY_PROFILE_OVERWRITE" : "LOBBY_PROFILE_CREATE"));
}

void MAINMAP::ProfileChoice(bool select) {
    GUI_LIST* list = List("menu.profile.obj_list1");
    int slot = list ? list->selection() : -1;
    if (!context_.lobby || slot < 0 || slot > 3)
        return;
    bool active = net::GetU16(context_.lobby->profiles()[size_t(slot)], net::kProfActive) != 0;
    if (select) {
        if (!active)
            return;
        ShowMenu("menu.profileinfo");
        EnableMenu("menu.profile", false);
        context_.lobby->SelectProfile(uint16_t(slot), false);
        return;
    }
    if (InputText("menu.profilemodify.obj_input_name").empty())
        return;
    if (active) {
        EnableMenu("menu.profile", false);
        ShowMenu("menu.profileyesno");
    } else {
        Click(MENU_TAG_PROFILE_YES);
    }
}

void MAINMAP::ProfileStore() {
    GUI_LIST* list = List("menu.profile.obj_list1");
    int slot = list ? list->selection() : -1;
    std::string name = InputText("menu.profilemodify.obj_input_name");
    HideMenu("menu.profileyesno");
    if (name.empty() || !context_.lobby || slot < 0 || slot > 3)
        return;
    net::Profile& profile = context_.lobby->profiles()[size_t(slot)];
    net::PutU16(profile, net::kProfActive, 1);
    net::PutText(profile, net::kProfName, name, kProfileNameWidth);
    std::string email = InputText("menu.profilemodify.obj_input_email");
    if (!email.empty())
        net::PutText(profile, net::kProfContact, email, kProfileContactWidth);
    net::PutU32(profile, net::kProfPortrait, uint32_t(int32_t(portrait_)));
    net::PutU32(profile, net::kProfColour, uint32_t(ColourNumber("menu.profilemodify")));
    HideMenu("menu.profilemodify");
    ShowMenu("menu.profileinfo");
    EnableMenu("menu.profile", false);
    SetVisible("menu.profile.frame1", true);
    context_.lobby->SelectProfile(uint16_t(slot), true);
}

void MAINMAP::FillProfileView(const std::string& prefix, const uint8_t* profile, size_t size) {
    PutImage((prefix + ".frame2").c_str(), nullptr);
    if (!profile)
        return;
    SetText((prefix + ".obj_frame_name.obj_label1").c_str(),
            ProfileText(profile, size, net::kProfName, kProfileNameWidth));
    SetText((prefix + ".obj_frame_contact.obj_label1").c_str(),
            ProfileText(profile, size, net::kProfContact, kProfileContactWidth));
    struct Field {
        const char* name;
        size_t offset;
    };
    static const Field kFields[] = {
        {".obj_frame_points.label_win_num", net::kProfWon},
        {".obj_frame_points.label_loss_num", net::kProfLost},
        {".obj_frame_points.label_disc_num", net::kProfDisconnected},
        {".obj_frame_points.label_score_num", net::kProfScore},
        {".obj_frame_points.label_camp1_num", 75},
        {".obj_frame_points.label_camp2_num", 79},
        {".obj_frame_points.label_camp3_num", 83},
        {".obj_frame_points.label_camp4_num", 87},
    };
    for (const Field& field : kFields) {
        SetText((prefix + field.name).c_str(),
                std::to_string(ProfileI32(profile, size, field.offset)));
    }
    PutPortrait((prefix + ".frame2").c_str(), ProfileI32(profile, size, net::kProfPortrait));
    int colour = ProfileI32(profile, size, net::kProfColour);
    const char* button = colour >= 1 && colour <= 5 ? kColourButtonNames[colour - 1] : nullptr;
    PutImage("menu.profile.frame1.frame3", button);
    PutImage("menu.lobby_profileview.frame3", button);
}

// [SECTION] Channels

void MAINMAP::ChannelList(const std::vector<uint8_t>& table, bool automatic) {
    if (!automatic) {
        HideMenu("menu.profileinfo");
        HideMenu("menu.profile");
        EnableMenu("menu.profile", true);
        ShowMenu("menu.channel");
    }
    GUI_LIST* list = List("menu.channel.obj_list1");
    if (!list)
        return;
    list->Clear();
    for (const net::ChannelEntry& channel : net::DecodeChannelTable(table)) {
        std::string text = channel.name + "(" + std::to_string(channel.players) + " " +
                           LobbyText("LOBBY_CHANNEL_PLAYER");
        if (channel.flags & net::kChannelGames) {
            text += "/" + std::to_string(channel.games) + " " + LobbyText("LOBBY_CHANNEL_GAME");
        }
        text += ")";
        list->AddItem(text.c_str());
    }
    list->SetSelection(0);
}

void MAINMAP::ChannelJoin() {
    GUI_LIST* list = List("menu.channel.obj_list1");
    if (!list || !context_.lobby)
        return;
    const std::vector<net::ChannelEntry> channels =
        net::DecodeChannelTable(context_.lobby->channel_table());
    int index = list->selection();
    if (index < 0 || size_t(index) >= channels.size())
        return;
    const net::ChannelEntry& channel = channels[size_t(index)];
    if (context_.lobby->JoinChannel(channel.number) == 0)
        return;
    bool games = (channel.flags & net::kChannelGames) != 0;
    EnableMenu("menu.lobby.obj_button_create", games);
    EnableMenu("menu.lobby.obj_button_join", games);
    ShowMenu("menu.channelinfo");
    EnableMenu("menu.channel", false);
}

// [SECTION] Lobby: users, chat, ignore list

bool MAINMAP::IsIgnored(uint32_t id, uint32_t second) const {
    return std::find(ignore_.begin(), ignore_.end(), std::make_pair(id, second)) != ignore_.end();
}

void MAINMAP::AddUserRow(GUI_LIST& list, const net::UserRecord& user) {
    int index = list.AddItem(net::UserRecordName(user).c_str(), true, 0,
                             std::make_shared<net::UserRecord>(user));
    if (IsIgnored(net::UserRecordId(user), net::UserRecordSecond(user)) && index >= 0)
        const_cast<GUI_STRING*>(list.GetItem(index))->SetColourRole(ColourRole::kUnavailable);
}

// A join, a leave or a changed record touches one row: a channel of a
// thousand players is not laid out again for each, and the selection stays.
void MAINMAP::UserListChanged(const std::vector<net::UserRecord>& users,
                              const net::UserRecord* added, const net::UserRecord* removed) {
    GUI_LIST* list = List("menu.lobby.obj_list_user");
    if (!list)
        return;
    if (!added && !removed) {
        context_user_ = nullptr;
        list->Clear();
        for (const net::UserRecord& user : users) AddUserRow(*list, user);
        return;
    }
    // A record that comes again replaces its row.
    const uint32_t id = net::UserRecordId(removed ? *removed : *added);
    for (int row = 0; row < list->ItemCount(); ++row) {
        auto* record = static_cast<const net::UserRecord*>(list->GetItemRecord(row));
        if (!record || net::UserRecordId(*record) != id)
            continue;
        if (record == context_user_)
            context_user_ = nullptr;
        list->RemoveItem(row);
        break;
    }
    if (added)
        AddUserRow(*list, *added);
    if (removed && List("menu.lobby.obj_list_chat") &&
        int32_t(net::UserRecordId(*removed)) == private_target_)
        Click(MENU_TAG_LOBBY_TOALL);
}

void MAINMAP::GameListChanged(const std::vector<net::GameRecord>& games,
                              const net::GameRecord* /*added*/,
                              const net::GameRecord* /*removed*/) {
    GUI_LIST* list = List("menu.lobby.obj_list_game");
    if (!list)
        return;
    uint32_t selected = 0;
    if (list->selection() >= 0) {
        if (auto* record = static_cast<net::GameRecord*>(list->GetItemRecord(list->selection())))
            selected = net::GameRecordId(*record);
    }
    list->Clear();
    for (const net::GameRecord& game : games) {
        if (!GameShown(game))
            continue;
        std::string text = net::GameRecordName(game);
        if (net::GetU16(game, net::kGamePasswordFlag) != 0)
            text += LobbyText("LOBBY_GAME_PASSWORD_SUFF");
        bool full = net::GetU16(game, net::kGamePlayers) == net::GetU16(game, net::kGameMaxPlayers);
        list->AddItem(text.c_str(), true, full ? ColourRole::kUnavailable : ColourRole::kNone,
                      std::make_shared<net::GameRecord>(game));
    }
    for (int i = 0; selected != 0 && i < list->ItemCount(); ++i) {
        auto* record = static_cast<net::GameRecord*>(list->GetItemRecord(i));
        if (record && net::GameRecordId(*record) == selected) {
            list->SetSelection(i);
            break;
        }
    }
}

void MAINMAP::ChatLine(const char* text, uint32_t sender, bool is_private) {
    if (!text || !context_.lobby)
        return;
    const net::UserRecord* from = nullptr;
    for (const net::UserRecord& user : context_.lobby->users()) {
        if (net::UserRecordId(user) != sender)
            continue;
        if (IsIgnored(net::UserRecordId(user), net::UserRecordSecond(user)))
            continue;
        from = &user;
        break;
    }
    GUI_LIST* chat = List("menu.lobby.obj_list_chat");
    if (!from || !chat)
        return;
    std::string name = net::UserRecordName(*from);
    std::string line = is_private ? LobbyText("LOBBY_CHAT_FROM") + " [" + name + "]: " + text
                                  : "[" + name + "]: " + text;
    // The list itself keeps the newest line in view unless the player scrolled up.
    chat->AddItem(line.c_str(), false, is_private ? ColourRole::kChatPrivate : ColourRole::kNone);
}

void MAINMAP::Send() {
    GUI_OBJECT* input = Object("menu.lobby.obj_input_chat", GUI_TYPE_INPUTBOX);
    if (!input)
        return;
    std::string text = input->GetText() ? input->GetText() : "";
    input->SetText("");
    if (text.empty())
        return;
    if (!private_name_.empty()) {
        if (context_.lobby)
            context_.lobby->SendPrivateByName(private_name_, text);
        std::string line = LobbyText("LOBBY_CHAT_TO") + " [" + private_name_ + "]: " + text;
        AddChatNotice(line, ColourRole::kChatPrivate);
        return;
    }
    if (context_.lobby)
        context_.lobby->SendChat(text.c_str(), private_target_);
    if (private_target_ == -1)
        return;
    std::string name;
    if (GUI_LIST* users = List("menu.lobby.obj_list_user")) {
        for (int i = 0; i < users->ItemCount(); ++i) {
            auto* user = static_cast<net::UserRecord*>(users->GetItemRecord(i));
            if (user && int32_t(net::UserRecordId(*user)) == private_target_) {
                name = net::UserRecordName(*user);
                break;
            }
        }
    }
    if (GUI_LIST* chat = List("menu.lobby.obj_list_chat")) {
        std::string line = LobbyText("LOBBY_CHAT_TO") + " [" + name + "]: " + text;
        chat->AddItem(line.c_str(), false, ColourRole::kChatPrivate);
    }
}

void MAINMAP::Private() {
    GUI_LIST* users = List("menu.lobby.obj_list_user");
    if (!users || users->selection() < 0)
        return;
    auto* user = static_cast<net::UserRecord*>(users->GetItemRecord(users->selection()));
    if (!user)
        return;
    private_target_ = int32_t(net::UserRecordId(*user));
    private_name_.clear();
    SetText("menu.lobby.obj_frame_name.obj_label1",
            LobbyText("LOBBY_CHAT_TO") + " " + net::UserRecordName(*user));
}

void MAINMAP::ToAll() {
    private_target_ = -1;
    private_name_.clear();
    SetText("menu.lobby.obj_frame_name.obj_label1", LobbyText("LOBBY_CHAT_TOALL"));
}

void MAINMAP::Ignore() {
    GUI_LIST* users = List("menu.lobby.obj_list_user");
    if (!users || users->selection() < 0)
        return;
    int index = users->selection();
    auto* user = static_cast<net::UserRecord*>(users->GetItemRecord(index));
    if (!user)
        return;
    auto pair = std::make_pair(net::UserRecordId(*user), net::UserRecordSecond(*user));
    // The list hands out its items read-only; their colour is the list's own
    // business, which this is.
    auto* item = const_cast<GUI_STRING*>(users->GetItem(index));
    auto found = std::find(ignore_.begin(), ignore_.end(), pair);
    if (found == ignore_.end()) {
        ignore_.push_back(pair);
        if (item)
            item->SetColourRole(ColourRole::kUnavailable);
    } else {
        ignore_.erase(found);
        if (item)
            item->ClearColour();
    }
}

void MAINMAP::UserContext(const GUI_EVENT& event) {
    if (!(event.buttons & GUI_BUTTON_RIGHT))
        return;
    GUI_LIST* users = List("menu.lobby.obj_list_user");
    ShowMenu("menu.lobbycontext");
    if (GUI_OBJECT* menu = Object("menu.lobbycontext"))
        menu->SetPos(event.x + 5, event.y + 5);
    context_user_ = users && users->selection() >= 0
                        ? static_cast<net::UserRecord*>(users->GetItemRecord(users->selection()))
                        : nullptr;
}

void MAINMAP::ShowProfile() {
    GUI_LIST* users = List("menu.lobby.obj_list_user");
    if (!users || users->selection() < 0)
        return;
    auto* user = static_cast<net::UserRecord*>(users->GetItemRecord(users->selection()));
    if (!user)
        return;
    ShowMenu("menu.lobby_profileview");
    FillProfileView("menu.lobby_profileview", user->data() + net::kUserProfileOffset,
                    user->size() - net::kUserProfileOffset);
}

}  // namespace vorlane::frontend
