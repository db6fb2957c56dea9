// [SECTION] index
//   The subsystems the program starts and releases, one Init/Release pair each.
//   - Input, Lua and file control
//   - Archive and texts
//   - Input device, sound and capture
//   - Fonts and release of the early subsystems
//   - 3D engine, video and sequences
//   - Lobby client, GUI and menu manager
//   - Release of everything
#include "app/global_control.h"

#include "app/window.h"
#include "baselib/bl_memory.h"
#include "baselib/ioeve.h"
#include "baselib/logsys.h"
#include "baselib/queue.h"
#include "baselib/user_folder.h"
#include "frontend/mob3d.h"
#include "gui/gui_control.h"
#include "gui/gui_media.h"
#include "media/gfx3d.h"
#include "media/input_queue.h"
#include "media/sdl_input.h"
#include "net/known_servers.h"
#include "net/lobbynet.h"
#include "scripting/menu_lua.h"
#include "sound/sound_lua.h"
#include "video/seq_ctrl.h"
#include "video/videosys.h"

namespace vorlane {

GLOBAL_CONTROL_BASE* g_control = nullptr;

// [SECTION] Input, Lua and file control
GLOBAL_CONTROL_BASE::GLOBAL_CONTROL_BASE() {
    app_flags.ClearAll();
    ready_ = true;
}

GLOBAL_CONTROL_BASE::~GLOBAL_CONTROL_BASE() {
    ReleaseAll();
    if (gfx_media_ && resources::RAMA_GetMedia() == gfx_media_.get())
        resources::RAMA_SetMedia(nullptr);
}

int16_t GLOBAL_CONTROL_BASE::InitReadeve() {
    input_queue_ = MTX_QLIST::Create();
    if (!input_queue_) {
        LOGSYS_Text(nullptr, kLogError,
                    "GLOBAL_CONTROL_BASE::InitReadeve: Cannot alloc mtx_qlist.");
        return -1;
    }
    return 0;
}

void GLOBAL_CONTROL_BASE::DrainInputEvents() {
    if (!input_queue_)
        return;
    while (void* event = input_queue_->Pop(nullptr)) BL_OrgFreeMem(event);
}

int16_t GLOBAL_CONTROL_BASE::InitLUA() {
    lua_.reset(LUA_CreateState());
    if (!lua_) {
        LOGSYS_Printf(nullptr, kLogError, "%s::%s: Cannot create LUA state.", "GLOBAL_CONTROL_BASE",
                      "InitLUA");
        return -1;
    }
    LuaHost host;
    host.lua = lua_.get();
    LUA_SetHost(host);
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitFileCtrl(const char* cfg, resources::FILECTRL_ENTRY* table,
                                          uint16_t count) {
    auto file_ctrl = std::make_unique<resources::FILECTRL>();
    if (file_ctrl->Init() != 0) {
        LOGSYS_Text(nullptr, kLogError, "GLOBAL_CONTROL_BASE::InitFileCtrl: Cannot init FILECTRL.");
        return -1;
    }
    // A missing configuration file leaves the search paths empty; the files are
    // then looked up relative to the working directory.
    file_ctrl->LoadConfigFile(cfg);
    file_ctrl->SetFileTable(table, count);
    file_ctrl_ = std::move(file_ctrl);
    return 0;
}

void GLOBAL_CONTROL_BASE::ReleaseReadeve() {
    if (!input_queue_)
        return;
    MTX_QLIST::Destroy(input_queue_, 1);
    input_queue_ = nullptr;
}

void GLOBAL_CONTROL_BASE::ReleaseLUA() {
    if (!lua_)
        return;
    LUA_ClearHost();
    lua_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseFileCtrl() {
    if (file_ctrl_)
        file_ctrl_->Exit();
    file_ctrl_.reset();
}

// [SECTION] Archive and texts
namespace {

constexpr int kInputSlots[] = {0, 3, 2, 5, 6, 12, 7, 8};

void LogError(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

}  // namespace

int16_t GLOBAL_CONTROL_BASE::InitRAMA() {
    // Patches load right after the archive: its media come first.
    InstallRamaMedia();
    auto rama = std::make_unique<resources::RAMA_CTRL>();
    const char* master = file_ctrl_ ? file_ctrl_->GetPath(resources::kMasterIndexFile) : nullptr;
    if (!master || rama->Init(master) != 1) {
        LogError("GLOBAL_CONTROL_BASE::InitRAMA: RAMA init failed.");
        return -1;
    }
    rama_ = std::move(rama);
    LuaHost host = LUA_GetHost();
    host.rama = rama_.get();
    LUA_SetHost(host);
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitTextLib(const char* name) {
    if (!rama_ || !lua_) {
        LogError("GLOBAL_CONTROL_BASE::InitTextLib: rama & lua must be init first");
        return -1;
    }
    auto textlib = std::make_unique<resources::TEXTLIB>();
    if (textlib->Init(lua_.get(), rama_.get()) != 1) {
        LogError("GLOBAL_CONTROL_BASE::InitTextLib: can't init text library");
        return -1;
    }
    if (textlib->AddTextResource(name) == 0) {
        LogError("GLOBAL_CONTROL_BASE::InitTextLib: can't load text library");
        return -1;
    }
    textlib_ = std::move(textlib);
    return 0;
}

// [SECTION] Input device, sound and capture
int16_t GLOBAL_CONTROL_BASE::InitDXInput(int screen_width, int screen_height) {
    auto source = std::make_unique<media::SdlInputSource>();
    media::SdlInputSource* events = source.get();
    events->SetScreen(screen_width, screen_height);
    // Each record becomes its own queued event, which the dispatcher frees.
    media::InputSink sink = media::QueueSink(input_queue_);
    dxinput_ = std::make_unique<media::DXINPUT>(std::move(source), std::move(sink), true,
                                                screen_width, screen_height);
    events->OpenControllers();
    MAIN_SetInputSource(events);
    LOGSYS_Text(nullptr, kLogInfo, "GLOBAL_CONTROL_BASE: DXInput initialized.");
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitSndCtrl() {
    auto api = std::make_unique<sound::SNDAPI>();
    if (api->InitSound() != 0) {
        // No audio device is no reason to stop the lobby: it runs silent.
        LOGSYS_Text(nullptr, kLogWarning, "GLOBAL_CONTROL_BASE::InitSndCtrl: no sound device.");
        return 0;
    }
    sound_ = std::move(api);
    sound::SNDAPI_Set(sound_.get());
    // Sound resources are made when their location loads, so the archive
    // learns about the sound system before any location is loaded.
    InstallRamaMedia();
    return 0;
}

// The archive's media: sounds through the sound system when there is one,
// everything else through the graphics media, which stays installed until the
// object goes (resources released late still give their textures back).
void GLOBAL_CONTROL_BASE::InstallRamaMedia() {
    if (!gfx_media_)
        gfx_media_ = std::make_unique<resources::GfxRamaMedia>();
    sound_media_.reset();
    if (sound_)
        sound_media_ = std::make_unique<sound::SoundRamaMedia>(sound_.get(), gfx_media_.get());
    resources::RAMA_SetMedia(sound_media_ ? static_cast<resources::RAMA_MEDIA*>(sound_media_.get())
                                          : gfx_media_.get());
}

void GLOBAL_CONTROL_BASE::ReleaseSndCtrl() {
    sound::SOUND_SetContext(nullptr, nullptr);
    std::unique_ptr<sound::SNDAPI> api = std::move(sound_);
    if (sound_media_)
        InstallRamaMedia();
    // Not freed under a service call of a MainThread that would not stop.
    sound::SNDAPI_Retire(std::move(api), 100);
}

int16_t GLOBAL_CONTROL_BASE::InitCaptureCtrl() {
    // The front end records nothing; the capture system only has to come up.
    capture_ready_ = true;
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitDave() {
    dave_ = DAVE_Create(64);
    if (!dave_) {
        LogError("MAIN: Cannot init dave callback system.");
        return -1;
    }
    if (dave_->AllocStandardSlots() != 0) {
        LogError("MAIN: Cannot generate dave default callbacks.");
        return -1;
    }
    LOGSYS_Text(nullptr, kLogInfo, "MAIN: Dave control ready.");
    return 0;
}

void GLOBAL_CONTROL_BASE::RegisterInputHandler(DAVE_CALLBACK handler) {
    input_handler_ = handler;
    if (!dave_)
        return;
    for (int slot : kInputSlots) dave_->AddCallback(slot, handler);
}

void GLOBAL_CONTROL_BASE::UnregisterInputHandler() {
    if (dave_ && input_handler_) {
        for (int slot : kInputSlots) dave_->RemoveCallback(slot, input_handler_);
    }
    input_handler_ = nullptr;
}

// [SECTION] Fonts and release of the early subsystems
int16_t GLOBAL_CONTROL_BASE::InitFontCtrl(const uint16_t* table, int count, media::GFXSYS3D* gfx) {
    auto fonts = std::make_unique<resources::QNTFONTCTRL_BASE>(count, gfx);
    if (!file_ctrl_ || fonts->LoadFonts(*file_ctrl_, table) != 0) {
        LogError("GLOBAL_CONTROL_BASE::InitFontCtrl: Cannot init FONTCTRL.");
        return -1;
    }
    if (count > 0 && !fonts->GetFont(0))
        return -1;
    font_ctrl_ = std::move(fonts);
    LOGSYS_Text(nullptr, kLogInfo, "GLOBAL_CONTROL_BASE: FONT MANAGER initialized.");
    return 0;
}

void GLOBAL_CONTROL_BASE::ReleaseFontCtrl() {
    font_ctrl_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseRAMA() {
    if (!rama_)
        return;
    LuaHost host = LUA_GetHost();
    host.rama = nullptr;
    LUA_SetHost(host);
    rama_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseTextLib() {
    textlib_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseDXInput() {
    if (!dxinput_)
        return;
    MAIN_SetInputSource(nullptr);
    dxinput_->Release();
    dxinput_.reset();
    LOGSYS_Text(nullptr, kLogInfo, "GLOBAL_CONTROL_BASE: DXInput released.");
}

void GLOBAL_CONTROL_BASE::ReleaseCaptureCtrl() {
    capture_ready_ = false;
}

void GLOBAL_CONTROL_BASE::ReleaseDave() {
    if (dave_)
        DAVE_Remove(dave_);
    dave_ = nullptr;
}

// [SECTION] 3D engine, video and sequences
int16_t GLOBAL_CONTROL_BASE::Init3DEngine(media::GFXSYS3D* gfx) {
    media::ENGINE3D& engine = media::Engine3D();
    if (engine.Startup(gfx) != 0) {
        LogError("GLOBAL_CONTROL_BASE::Init3DEngine: engine init failed");
        return -1;
    }
    engine3d_started_ = true;
    engine.layer()->SetCameraPosition({0.0f, 0.0f, 50.0f});
    engine.layer()->SetCameraRotation({-90.0f, 0.0f, 180.0f});
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::Init3DObjects(const char* name) {
    auto mob3d = std::make_unique<frontend::MOB3D_CTRL>(textlib_.get(), rama_.get());
    if (!mob3d->Init(lua_.get(), name)) {
        LogError("GLOBAL_CONTROL_BASE::Init3DObjects: 3D objects init failed");
        return -1;
    }
    mob3d_ = std::move(mob3d);
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitVideoSystem(resources::RAMA_CTRL* rama) {
    if (!rama) {
        LogError("GLOBAL_CONTROL_BASE::InitVideoSystem: no rama control");
        return -1;
    }
    auto videos = std::make_unique<video::VIDEOSYS>(rama);
    if (videos->InitCodec(8) != 0) {
        LogError("GLOBAL_CONTROL_BASE::InitVideoSystem: video system init failed");
        return -1;
    }
    videos_ = std::move(videos);
    video::VIDEOSYS_Set(videos_.get());
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitSequenceCtrl() {
    auto sequences = std::make_unique<video::SEQ_CTRL>(rama_.get(), textlib_.get(),
                                                       font_ctrl_.get(), videos_.get());
    using Result = video::SEQ_CTRL::InitResult;
    const Result result = sequences->InitSequenceCtrl(lua_.get());
    if (result != Result::kReady) {
        LOGSYS_Printf(nullptr, kLogError,
                      result == Result::kScriptingFailed ? "%s::%s: Cannot init sequence scripting."
                                                         : "%s::%s: Cannot init sequences.",
                      "GLOBAL_CONTROL_BASE", "InitSequenceCtrl");
        return -1;
    }
    sequences_ = std::move(sequences);
    return 0;
}

void GLOBAL_CONTROL_BASE::Release3DEngine() {
    if (!engine3d_started_)
        return;
    media::Engine3D().Shutdown();
    engine3d_started_ = false;
}

void GLOBAL_CONTROL_BASE::Release3DObjects() {
    mob3d_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseVideoSystem() {
    if (!videos_)
        return;
    if (video::VIDEOSYS_Get() == videos_.get())
        video::VIDEOSYS_Set(nullptr);
    videos_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseSequenceCtrl() {
    sequences_.reset();
}

// [SECTION] Lobby client, GUI and menu manager
int16_t GLOBAL_CONTROL_BASE::InitLobbynet() {
    auto lobby = std::make_unique<LOBBYNET>(nullptr, "version.hdr");
    // The keys of servers trusted on first use; a new one is shown to the
    // player on the log-in screen before it is trusted.
    lobby->set_known_servers_file(net::PlayerKnownServersFile());
    lobby->set_confirm_first_use(true);
    // The client reports -1, which is 65535 as the 16-bit result it keeps.
    const std::string log_dir = baselib::UserFolder() + "/logs/lobby";
    const int result = lobby->InitClientSystem(log_dir.c_str(), 0, "data/lobbynet.ini", 65535);
    if (result != 1) {
        LogError("GLOBAL_CONTROL_BASE::InitLobbynet: can't initialize loomex");
        lobby->RemoveSystem();
        return -1;
    }
    lobby_ = std::move(lobby);
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitGUI(int width, int height) {
    auto fonts = std::make_unique<gui::QntFontSource>(font_ctrl_.get());
    auto gui = std::make_unique<GUI_CONTROL>();
    if (!gui->Init(0, 0, width, height))
        return -1;
    gui_fonts_ = std::move(fonts);
    gui_ = std::move(gui);
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(gui_fonts_.get());
    return 0;
}

int16_t GLOBAL_CONTROL_BASE::InitMenuManager() {
    if (!lua_ || !textlib_) {
        LogError("GLOBAL_CONTROL_BASE::InitMenuManager: menu manager needs lua and textlib.");
        return -1;
    }
    auto menus = std::make_unique<MENU_LUA>();
    if (!menus->Init(lua_.get(), textlib_.get())) {
        LogError("GLOBAL_CONTROL_BASE::InitMenuManager: Can't init menu manager.");
        return -1;
    }
    menus_ = std::move(menus);
    return 0;
}

void GLOBAL_CONTROL_BASE::ReleaseLobbynet() {
    if (lobby_)
        lobby_->RemoveSystem();
    lobby_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseGUI() {
    gui_.reset();
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(nullptr);
    gui_fonts_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseMenuManager() {
    menus_.reset();
}

// [SECTION] Release of everything
void GLOBAL_CONTROL_BASE::ReleaseAll() {
    // The menus hold GUI objects and the sequences draw with the fonts, so
    // both go before what they use.
    ReleaseMenuManager();
    ReleaseGUI();
    ReleaseSequenceCtrl();
    ReleaseCaptureCtrl();
    ReleaseVideoSystem();
    Release3DObjects();
    Release3DEngine();
    ReleaseFileCtrl();
    ReleaseReadeve();
    ReleaseDXInput();
    ReleaseRAMA();
    ReleaseSndCtrl();
    ReleaseTextLib();
    ReleaseFontCtrl();
    ReleaseLUA();
    ReleaseLobbynet();
    ReleaseDave();
}

}  // namespace vorlane
