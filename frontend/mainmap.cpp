// [SECTION] Names and the live instance
// [SECTION] Construction and destruction
// [SECTION] Init
// [SECTION] Program-frame operations
// [SECTION] Tag dispatcher
// [SECTION] Menu helpers
// [SECTION] Missions and the return from a game
#include "frontend/mainmap.h"

#include <algorithm>
#include <cstring>

#include "baselib/logsys.h"
#include "console/console.h"
#include "content/mission_ctrl.h"
#include "frontend/game_launch.h"
#include "frontend/mob3d.h"
#include "frontend/return_check.h"
#include "gui/gui_control.h"
#include "gui/gui_media.h"
#include "gui/gui_trace.h"
#include "gui/gui_widgets.h"
#include "media/gfx3d.h"
#include "resources/rama_ctrl.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "scripting/menu_lua.h"
#include "scripting/menu_tags.h"
#include "shell/global_data.h"
#include "sound/sound_lua.h"
#include "video/seq_ctrl.h"
#include "video/videosys.h"

namespace vorlane::frontend {

// [SECTION] Names and the live instance

const char* const kPortraitNames[kPortraitCount] = {
    "lobby.char.admiral", "lobby.char.broker",    "lobby.char.captain", "lobby.char.engineer",
    "lobby.char.miner",   "lobby.char.navigator", "lobby.char.pilot",   "lobby.char.smuggler",
};

const char* const kColourButtonNames[5] = {
    "lobby.button.blue.norm",    "lobby.button.green.norm",  "lobby.button.red.norm",
    "lobby.button.violett.norm", "lobby.button.yellow.norm",
};

namespace {

MAINMAP* g_mainmap = nullptr;

// How often the LAN game list looks for announcements while it is shown.
constexpr uint32_t kLanPollMs = 100;

void LogError(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

// Input-box typing limits set at construction.
struct TextLimit {
    const char* name;
    int limit;
};
constexpr TextLimit kTextLimits[] = {
    {"menu.login.obj_input_uname", 14},
    {"menu.login.obj_input_password", 9},
    {"menu.login.obj_input_email", 39},
    {"menu.profilemodify.obj_input_name", 14},
    {"menu.profilemodify_lanversion.obj_input_name", 14},
    {"menu.profilemodify.obj_input_email", 39},
    {"menu.lan.obj_input_name", 14},
    {"menu.lobby.obj_input_chat", 95},
    {"menu.game.obj_input_password", 9},
    {"menu.game.obj_input_name", 14},
    {"menu.lobby.obj_input_search", 14},
    {"menu.friends.obj_input_name", 14},
    {"menu.filters.obj_input_name", 34},
    {"menu.filters.obj_input_mission", 34},
};

// A text that starts with "~" is literal, anything else a text id (missing:
// no text at all).
bool ResolveDataText(resources::TEXTLIB* textlib, const std::string& value, std::string* out) {
    if (!value.empty() && value[0] == '~') {
        *out = value.substr(1);
        return true;
    }
    const char* text = textlib ? textlib->GetTextC(value.c_str()) : nullptr;
    if (!text)
        return false;
    *out = text;
    return true;
}

}  // namespace

void PlayEffect(const char* name) {
    if (g_settings && !g_settings->sound_onoff)
        return;
    sound::SOUND_PlayResource(name, g_settings ? g_settings->effects_volume : 100);
}

MAINMAP* MAINMAP::Get() {
    return g_mainmap;
}

bool MAINMAP_MenuHook(int32_t tag, const GUI_EVENT& event) {
    MAINMAP* map = MAINMAP::Get();
    if (!map)
        return false;
    // Every click a player makes on a menu object is heard.
    if (event.code == GEVE_MOUSE_CLICK)
        PlayEffect("lobby.sound.click");
    return map->Dispatch(tag, event) != 0;
}

// [SECTION] Construction and destruction

MAINMAP::MAINMAP(MainMapContext context) : context_(std::move(context)) {
    ready = 0;
    draw_flags = 0xFFFFFFFF;
    MENU_LUA* menus = context_.menus;
    if (!menus || !menus->RegisterEnums("vrlmenu", kMenuTagEnums)) {
        LOGSYS_Error("%s::%s: RegisterEnums failed !", "MAINMAP", "MAINMAP");
        return;
    }
    g_mainmap = this;
    menus->SetMenuHook(MAINMAP_MenuHook);
    if (!context_.menu_script.empty()) {
        menus->CreateFromScript(context_.menu_script.data(), context_.menu_script.size(), true);
    } else if (context_.rama) {
        resources::RAMA_RES* script = context_.rama->GetResource("lobby.script.menu");
        uint32_t size = 0;
        const uint8_t* bytes = script ? script->GetData(&size) : nullptr;
        if (bytes)
            menus->CreateFromScript(bytes, size, true);
    }
    if (context_.lobby)
        context_.lobby->set_frontend(this);
    for (const TextLimit& limit : kTextLimits) {
        if (auto* input = static_cast<GUI_INPUTBOX*>(Object(limit.name, GUI_TYPE_INPUTBOX)))
            input->SetTextMax(limit.limit);
    }
    if (auto* password =
            static_cast<GUI_INPUTBOX*>(Object("menu.login.obj_input_password", GUI_TYPE_INPUTBOX)))
        password->SetMasked(true);
    lobby_cfg_reached_ = true;
    if (lobby_cfg_.Read(context_.lobby_cfg_path)) {
        auto put = [this](const char* object, const char* key) {
            const char* value = lobby_cfg_.GetText("login", key);
            if (GUI_OBJECT* input = Object(object, GUI_TYPE_INPUTBOX))
                input->SetText(value ? value : "");
        };
        put("menu.login.obj_input_uname", "name");
        put("menu.login.obj_input_password", "passw");
        put("menu.login.obj_input_email", "email");
        const char* server = lobby_cfg_.GetText("main", "server");
        if (server && context_.lobby)
            context_.lobby->set_host(server);
    }
    if (GUI_LIST* desc = List("menu.game.obj_frame_border.obj_list_missiondesc"))
        desc->SetDisplayOnly(true);
    LoadSocialPreferences();
    ShowMenu("menu.login");
    ready = 1;
}

MAINMAP::~MAINMAP() {
    // A main map that stopped before it read the saved log-in has no inputs to
    // save and must not replace the file with empty ones.
    if (lobby_cfg_reached_) {
        lobby_cfg_.SetText("login", "name", InputText("menu.login.obj_input_uname").c_str());
        lobby_cfg_.SetText("login", "passw", InputText("menu.login.obj_input_password").c_str());
        lobby_cfg_.SetText("login", "email", InputText("menu.login.obj_input_email").c_str());
        lobby_cfg_.Write(context_.lobby_cfg_path);
    }
    if (g_settings) {
        g_settings->text_lines = nullptr;
        g_settings->missions = nullptr;
    }
    LOGSYS_Text(nullptr, kLogInfo, "MainMap: MAINMAP removed.");
    if (context_.lobby)
        context_.lobby->set_frontend(nullptr);
    if (context_.menus && context_.menus->menu_hook() == MAINMAP_MenuHook)
        context_.menus->SetMenuHook(nullptr);
    if (g_mainmap == this)
        g_mainmap = nullptr;
}

// [SECTION] Init

bool MAINMAP::Init(uint16_t start_mode) {
    network_mode_ = start_mode;
    if (g_settings)
        g_settings->network_mode = start_mode;
    if (context_.menus && context_.menus->lua()) {
        LUA_ExecuteString(context_.menus->lua(), "vrlsound = {}", "vrlsound");
        sound::SOUND_RegisterLua(context_.menus->lua());
    }
    missions_ = std::make_unique<VORL_MISSION_CTRL>(context_.rama, context_.textlib);
    if (g_settings)
        g_settings->missions = missions_.get();
    if (!missions_->MissionList_CreateFromRama("script.mission.qsx")) {
        LOGSYS_Error("%s::%s: init VORL_MISSION_CTRL failed (1)!", "MAINMAP", "Init");
        return false;
    }
    missions_->MissionList_CreateFromFiles("mission");
    FillMissionList();
    if (network_mode_ != 3) {
        ReturnFromGame();
    } else {
        HideMenu("menu.login");
        ShowMenu("menu.lan");
        ShowMenu("menu.profilemodify_lanversion");
        SetVisible("menu.game.obj_cbox_globchat", false);
        SetVisible("menu.game.obj_cbox_ranking", false);
        // Their captions go with them.
        SetVisible("menu.game.obj_label_globchat", false);
        SetVisible("menu.game.obj_label_ranking", false);
        if (!lobby_cfg_.GetText("main", "lan_bcast_port")) {
            LogError("MAINMAP::Init(): no broadcast port in ini file");
            return false;
        }
        if (!lan_list_.InitFromConfig(lobby_cfg_, LanNowMs()))
            return false;
    }
    PutPortrait("menu.profilemodify_lanversion.frame2.frame1", 0);
    PutPortrait("menu.profilemodify.frame2.frame1", 0);
    PutPortrait("menu.profile.frame1.frame2.frame1", 0);
    StartLogo();
    started_ = true;
    return true;
}

// The logo sequence plays over the log-in screen when the program starts
// online; it does not play again when a player comes back from a game.
void MAINMAP::StartLogo() {
    video::SEQ_CTRL* sequences = video::SEQ_Get();
    GUI_OBJECT* login = context_.menus ? context_.menus->GetObject("menu.login") : nullptr;
    if (!sequences || network_mode_ == 3 || !login || !login->IsVisible())
        return;
    int w = g_settings && g_settings->screen_width > 0 ? g_settings->screen_width : 1024;
    int h = g_settings && g_settings->screen_height > 0 ? g_settings->screen_height : 768;
    std::string size = std::to_string(w) + ", " + std::to_string(h);
    sequences->Sequence_Execute("logo", size.c_str());
}

// [SECTION] Program-frame operations

int MAINMAP::OnInput(IOEVE* event) {
    if (!event)
        return 0;
    bool mouse = (event->class_flags & kEveMouse) != 0;
    if (mouse && g_settings) {
        g_settings->mouse_x = event->x;
        g_settings->mouse_y = event->y;
    }
    if (mouse && SkipSequences(*event))
        return 1;
    GUI_CONTROL* gui = GUI_CONTROL::Get();
    if (gui && gui->Process(*event))
        return 1;
    if (mouse && g_settings) {
        uint32_t b = event->button_flags;
        if (b & kButtonLeft) {
            if (b & kButtonPressed)
                g_settings->left_held = g_settings->left_pressed = 1;
            if (b & kButtonReleased) {
                g_settings->left_held = 0;
                g_settings->left_released = 1;
            }
        }
        if (b & kButtonRight) {
            if (b & kButtonPressed)
                g_settings->right_held = g_settings->right_pressed = 1;
            if (b & kButtonReleased) {
                g_settings->right_held = 0;
                g_settings->right_released = 1;
            }
        }
    }
    // An open console was offered the record before the frame (the shell's
    // input dispatcher), so nothing is left for it here.
    return 0;
}

// A mouse button pressed while a sequence plays skips every sequence; the
// press and its release go no further, so the click that skips the logo never
// presses a button behind it.
bool MAINMAP::SkipSequences(const IOEVE& event) {
    uint32_t b = event.button_flags;
    bool left_or_right = (b & (kButtonLeft | kButtonRight)) != 0;
    bool press = left_or_right && (b & kButtonPressed);
    bool release = left_or_right && (b & kButtonReleased);
    if (release && swallow_release_) {
        swallow_release_ = false;
        return true;
    }
    video::SEQ_CTRL* sequences = video::SEQ_Get();
    if (!press || !sequences || !sequences->AnyPlaying())
        return false;
    sequences->SkipAll();
    swallow_release_ = true;
    return true;
}

void MAINMAP::Update() {
    if (console::CONSOLE* console = console::CONSOLE_Get())
        console->Update();
    if (video::VIDEOSYS* videos = video::VIDEOSYS_Get())
        videos->Update();
    if (video::SEQ_CTRL* sequences = video::SEQ_Get())
        sequences->Update();
    if (network_mode_ == 3) {
        GuiLanListView view(List("menu.lan.obj_list_game"));
        lan_list_.Update(&view, LanNowMs());
    }
}

uint32_t MAINMAP::MsUntilChange() {
    // The GUI's report is taken every time, so an old one never lingers.
    uint32_t due = vorlane::gui::TakeChangeDue();
    other_due_ = vorlane::gui::TakenOtherChangeDue();
    video::SEQ_CTRL* sequences = video::SEQ_Get();
    video::VIDEOSYS* videos = video::VIDEOSYS_Get();
    console::CONSOLE* console = console::CONSOLE_Get();
    if ((sequences && sequences->AnyPlaying()) || (videos && videos->AnyPlaying()) ||
        (console && console->Showing())) {
        other_due_ = 0;
        return 0;
    }
    // LAN announcements arrive as datagrams the loop does not hear: look for
    // them a few times a second.
    if (network_mode_ == 3) {
        due = std::min<uint32_t>(due, kLanPollMs);
        other_due_ = std::min<uint32_t>(other_due_, kLanPollMs);
    }
    return due;
}

uint32_t MAINMAP::MsUntilOtherChange() {
    return other_due_;
}

void MAINMAP::Draw() {
    media::ENGINE3D& engine = media::Engine3D();
    engine.BeginFrame();
    if ((draw_flags & 0x2) && MOB3D_Get())
        MOB3D_Get()->DrawAll(engine);
    engine.EndFrame();
    if ((draw_flags & 0x80) && context_.draw_gui && GUI_CONTROL::Get())
        context_.draw_gui();
    media::OSGFX* screen = context_.screen ? context_.screen() : nullptr;
    if (video::SEQ_CTRL* sequences = video::SEQ_Get(); sequences && screen)
        sequences->DrawElements(screen);
    if (console::CONSOLE* console = console::CONSOLE_Get(); console && screen) {
        console->SetTarget(screen);
        console->Draw();
    }
    if (context_.draw_presentation)
        context_.draw_presentation();
}

// [SECTION] Tag dispatcher

int MAINMAP::Click(int32_t tag, uint8_t buttons) {
    GUI_EVENT click = GUI_EVENT::Mouse(GEVE_MOUSE_CLICK, 0, 0, buttons);
    return Dispatch(tag, click);
}

int MAINMAP::Dispatch(int32_t tag, const GUI_EVENT& event) {
    // Synthesised clicks nest; a script of menus that clicks itself forever
    // must not overflow the stack.
    if (dispatch_depth_ > 8)
        return 0;
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(dispatch_depth_);

    if (event.code == GEVE_MOUSE_CLICK)
        HideMenu("menu.lobbycontext");
    switch (event.code) {
        case GEVE_MOUSE_CLICK:
            break;
        case GEVE_MOUSE_DCLICK:
            if (tag == MENU_TAG_PROFILE_LIST)
                return Click(MENU_TAG_PROFILE_SELECT);
            if (tag == MENU_TAG_CHANNEL_LIST)
                return Click(MENU_TAG_CHANNEL_SELECT);
            if (tag == MENU_TAG_LOBBY_USERLIST)
                return Click(MENU_TAG_LOBBY_SHOWPROFILE);
            return 0;
        case GEVE_KEY_ASCII:
            if (tag == MENU_TAG_LOBBY_CHATINPUT && event.character == 13)
                return Click(MENU_TAG_LOBBY_SEND);
            if (tag == MENU_TAG_LOBBY_SEARCHINPUT && event.character == 13)
                return Click(MENU_TAG_LOBBY_SEARCH);
            return 0;
        case GEVE_KEY_PRESS:
            if (tag == MENU_TAG_GAME_MISSIONLIST && event.stroke)
                return Click(MENU_TAG_GAME_MISSIONLIST);
            return 0;
        default:
            return 0;
    }

    switch (tag) {
        case MENU_TAG_LOGIN_LOGIN:
            ActionLogin(false);
            return 1;
        case MENU_TAG_LOGIN_CREATE:
            ActionLogin(true);
            return 1;
        case MENU_TAG_LOGIN_BACK:
        case MENU_TAG_LAN_BACK:
            if (context_.set_program_state)
                context_.set_program_state(2);
            return 1;
        case MENU_TAG_LOGIN_ERROROK: {
            EnableMenu("menu.login", true);
            HideMenu("menu.loginerror");
            // A log-in that failed on the return from a game has no screen
            // behind its message: the log-in screen is hidden there.
            bool behind = false;
            for (const char* name : {"menu.profile", "menu.channel", "menu.lobby", "menu.game"}) {
                GUI_OBJECT* screen = Object(name);
                behind = behind || (screen && screen->IsVisible());
            }
            if (!behind)
                ShowMenu("menu.login");
            return 0;
        }
        case MENU_TAG_LOGIN_CANCEL:
            CancelLogin();
            return 0;
        case MENU_TAG_PROFILE_BACK:
            HideMenu("menu.profile");
            if (context_.lobby)
                context_.lobby->Disconnect();
            ShowMenu("menu.login");
            return 1;
        case MENU_TAG_PROFILE_SELECT:
            ProfileChoice(true);
            return 0;
        case MENU_TAG_PROFILE_OVERCREATE:
            ProfileChoice(false);
            return 0;
        case MENU_TAG_PROFILE_SHOWMODIFY:
            ShowMenu("menu.profilemodify");
            PutPortrait("menu.profilemodify.frame2.frame1", portrait_);
            SetVisible("menu.profile.frame1", false);
            return 0;
        case MENU_TAG_PROFILE_LIST:
            ProfilePreview();
            return 0;
        case MENU_TAG_PROFILE_YES:
            ProfileStore();
            [[fallthrough]];
        case MENU_TAG_PROFILE_NO:
            EnableMenu("menu.profile", true);
            HideMenu("menu.profileyesno");
            return 0;
        case MENU_TAG_PROFMOD_LEFT:
        case MENU_TAG_PROFMOD_RIGHT:
            portrait_ = int16_t(tag == MENU_TAG_PROFMOD_LEFT ? portrait_ - 1 : portrait_ + 1);
            if (portrait_ < 0)
                portrait_ = 0;
            if (portrait_ > kPortraitCount - 1)
                portrait_ = kPortraitCount - 1;
            PutPortrait(network_mode_ == 3 ? "menu.profilemodify_lanversion.frame2"
                                           : "menu.profilemodify.frame2.frame1",
                        portrait_);
            return 0;
        case MENU_TAG_CHANNEL_BACK:
            if (context_.lobby)
                context_.lobby->RequestProfiles();
            EnableMenu("menu.channel", false);
            ShowMenu("menu.profilefetchinfo");
            return 0;
        case MENU_TAG_CHANNEL_SELECT:
            ChannelJoin();
            return 0;
        case MENU_TAG_CHANNEL_ERROROK:
            EnableMenu("menu.channel", true);
            HideMenu("menu.channelerror");
            return 0;
        case MENU_TAG_LOBBY_CREATE:
        case MENU_TAG_LAN_CREATE:
            HideMenu("menu.lobby");
            HideMenu("menu.lobby_profileview");
            HideMenu("menu.lan");
            HideMenu("menu.profilemodify_lanversion");
            ShowMenu("menu.game");
            return 0;
        case MENU_TAG_LOBBY_JOIN:
        case MENU_TAG_LAN_JOIN:
            LaunchJoinGame(*this, context_);
            return 0;
        case MENU_TAG_LOBBY_REJOIN:
            LaunchRejoinGame(*this, context_);
            return 0;
        case MENU_TAG_LOBBY_PRIVATE:
            Private();
            return 0;
        case MENU_TAG_LOBBY_TOALL:
            ToAll();
            return 0;
        case MENU_TAG_LOBBY_IGNORE:
            Ignore();
            return 0;
        case MENU_TAG_LOBBY_SEND:
            Send();
            return 0;
        case MENU_TAG_LOBBY_USERLIST:
            UserContext(event);
            return 0;
        case MENU_TAG_LOBBY_SHOWPROFILE:
            ShowProfile();
            return 0;
        case MENU_TAG_LOBBY_PROFILEOK:
            HideMenu("menu.lobby_profileview");
            return 0;
        case MENU_TAG_LOBBY_BACK:
            HideMenu("menu.lobby");
            ShowMenu("menu.channel");
            if (context_.lobby)
                context_.lobby->LeaveChannel();
            return 0;
        case MENU_TAG_GAME_BACK:
            HideMenu("menu.game");
            if (network_mode_ == 3) {
                ShowMenu("menu.lan");
                ShowMenu("menu.profilemodify_lanversion");
            } else {
                ShowMenu("menu.lobby");
            }
            return 0;
        case MENU_TAG_GAME_CREATE:
            LaunchCreateGame(*this, context_);
            return 0;
        case MENU_TAG_GAME_MISSIONLIST:
            MissionDetails();
            return 0;
        default:
            DispatchSocial(tag);
            return 0;
    }
}

// [SECTION] Menu helpers

GUI_OBJECT* MAINMAP::Object(const char* name) const {
    return context_.menus && name ? context_.menus->GetObject(name) : nullptr;
}

GUI_OBJECT* MAINMAP::Object(const char* name, int32_t type) const {
    GUI_OBJECT* object = Object(name);
    return object && object->type() == type ? object : nullptr;
}

GUI_LIST* MAINMAP::List(const char* name) const {
    return static_cast<GUI_LIST*>(Object(name, GUI_TYPE_LIST));
}

void MAINMAP::ShowMenu(const char* name) {
    if (!context_.menus)
        return;
    // A menu that opens while the player uses the program makes its sound.
    GUI_OBJECT* menu = started_ ? context_.menus->GetObject(name) : nullptr;
    if (menu && !menu->IsVisible())
        PlayEffect("lobby.sound.menu");
    context_.menus->ShowMenu(name);
}

void MAINMAP::HideMenu(const char* name) {
    if (context_.menus)
        context_.menus->HideMenu(name);
}

void MAINMAP::EnableMenu(const char* name, bool enabled) {
    if (GUI_OBJECT* object = Object(name)) {
        if (enabled)
            object->ClearFlags(GUI_FLAG_DISABLED);
        else
            object->SetFlags(GUI_FLAG_DISABLED);
    }
}

void MAINMAP::SetVisible(const char* name, bool visible) {
    if (GUI_OBJECT* object = Object(name))
        object->Show(visible);
}

void MAINMAP::SetText(const char* name, const std::string& text) {
    if (GUI_OBJECT* object = Object(name))
        object->SetText(text.c_str());
}

std::string MAINMAP::InputText(const char* name) const {
    GUI_OBJECT* input = Object(name, GUI_TYPE_INPUTBOX);
    const char* text = input ? input->GetText() : nullptr;
    return text ? text : "";
}

std::string MAINMAP::LobbyText(const char* id) const {
    const char* text = context_.textlib && id ? context_.textlib->GetTextC(id) : nullptr;
    return text ? text : (id ? id : "");
}

void MAINMAP::PutImage(const char* object_name, const char* resource) {
    GUI_OBJECT* object = Object(object_name);
    GUI_STYLE* style = object ? object->GetStyle() : nullptr;
    if (!style)
        return;
    if (!resource) {
        style->SetGfx(vorlane::gui::kSlotFrame, nullptr, false);
        return;
    }
    std::shared_ptr<const vorlane::gui::GuiPicture> picture =
        context_.menus ? context_.menus->FindPicture(resource) : nullptr;
    style->SetGfx(vorlane::gui::kSlotFrame, picture);
}

void MAINMAP::PutPortrait(const char* object_name, int index) {
    PutImage(object_name, index >= 0 && index < kPortraitCount ? kPortraitNames[index] : nullptr);
}

int MAINMAP::ColourNumber(const char* menu) const {
    for (int i = 1; i <= 5; ++i) {
        std::string name = std::string(menu) + ".frame3.radio_color" + std::to_string(i);
        auto* radio = static_cast<GUI_RADIO*>(Object(name.c_str(), GUI_TYPE_RADIO));
        if (radio && radio->state() == 1)
            return i;
    }
    return 1;
}

// [SECTION] Missions and the return from a game

void MAINMAP::FillMissionList() {
    GUI_LIST* list = List("menu.game.obj_list_mission");
    if (!list || !missions_)
        return;
    for (VORL_MISSION* mission = missions_->MissionList_GetFirst(); mission;
         mission = missions_->MissionList_GetNext()) {
        std::string title;
        if (!ResolveDataText(context_.textlib, mission->title, &title))
            continue;
        list->AddItem(title.c_str(), false, 0, std::shared_ptr<void>(mission, [](void*) {}));
    }
    if (list->ItemCount() > 0 && list->selection() < 0)
        list->SetSelection(0);
    Click(MENU_TAG_GAME_MISSIONLIST);
}

void MAINMAP::MissionDetails() {
    GUI_LIST* list = List("menu.game.obj_list_mission");
    if (!list || list->selection() < 0)
        return;
    auto* mission = static_cast<VORL_MISSION*>(list->GetItemRecord(list->selection()));
    const char* title = list->GetItemText(list->selection());
    SetText("menu.game.obj_frame_border.obj_label_mission_name", title ? title : "");
    if (!mission)
        return;
    if (GUI_LIST* desc = List("menu.game.obj_frame_border.obj_list_missiondesc")) {
        desc->Clear();
        std::string text;
        if (ResolveDataText(context_.textlib, mission->description, &text))
            desc->AddItem(text.c_str());
        desc->ScrollTo(0);
    }
    PutImage("menu.game.obj_frame_border.obj_frame_missionlogo", mission->picture.c_str());
}

void MAINMAP::ReturnFromGame() {
    ReturnLogin login;
    if (!CheckReturnFromGame(context_.mplayer_cfg_path, &login))
        return;
    HideMenu("menu.login");
    ShowMenu("menu.connectinfo");
    if (context_.draw_now)
        context_.draw_now();
    // A profile or channel number that does not fit the wire's 16 bits asks for no
    // selection rather than wrapping round to another profile or channel.
    if (context_.lobby)
        context_.lobby->Login(login.username.c_str(), login.password.c_str(), "", "", true,
                              ReturnSelection(login.profile), ReturnSelection(login.channel));
}

}  // namespace vorlane::frontend
