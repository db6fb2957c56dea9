// GLOBAL_CONTROL_BASE: the one object that owns every subsystem of the front end.
// Each Init… method creates one subsystem and stores it; each Release… method
// releases it again (a subsystem that was never created is skipped), so a
// partial start-up is undone exactly by the shutdown order of ReleaseAll().
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "baselib/dave.h"
#include "media/input.h"
#include "resources/filectrl.h"
#include "resources/qntfont.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_gfx_media.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "shell/flag_word.h"
#include "sound/sndapi.h"
#include "sound/sound_media.h"

class GUI_CONTROL;
class LOBBYNET;
class MENU_LUA;

namespace vorlane::frontend {
class MOB3D_CTRL;
}
namespace vorlane::gui {
class QntFontSource;
}
namespace vorlane::video {
class VIDEOSYS;
class SEQ_CTRL;
}  // namespace vorlane::video

struct LOGSYS;
class MTX_QLIST;

namespace vorlane {

class ProgramFrame;

// Application flag bits.
inline constexpr uint32_t kAppRepaint = 0x1;
inline constexpr uint32_t kAppInactive = 0x2;
inline constexpr uint32_t kAppExitRequested = 0x4;

// Program states.
inline constexpr int32_t kStateRun = 0;
inline constexpr int32_t kStateQuit = 2;
inline constexpr int32_t kStateStartGame = 6;

class GLOBAL_CONTROL_BASE {
  public:
    GLOBAL_CONTROL_BASE();
    ~GLOBAL_CONTROL_BASE();
    GLOBAL_CONTROL_BASE(const GLOBAL_CONTROL_BASE&) = delete;
    GLOBAL_CONTROL_BASE& operator=(const GLOBAL_CONTROL_BASE&) = delete;

    bool ready() const { return ready_; }

    int16_t InitReadeve();
    int16_t InitLUA();
    int16_t InitFileCtrl(const char* cfg, resources::FILECTRL_ENTRY* table, uint16_t count);
    int16_t InitRAMA();
    int16_t InitTextLib(const char* name);
    // Opens keyboard and mouse through the SDL input source.
    int16_t InitDXInput(int screen_width, int screen_height);
    int16_t InitCaptureCtrl();
    // The sound system; without an audio device the program runs silent.
    int16_t InitSndCtrl();
    // The font control for `count` fonts from a table of file-number pairs.
    int16_t InitFontCtrl(const uint16_t* table, int count, media::GFXSYS3D* gfx);
    // Creates the callback dispatcher with its standard slots; 0 or -1 (logged).
    int16_t InitDave();
    // Starts the 3D engine on `gfx` with the front end's camera.
    int16_t Init3DEngine(media::GFXSYS3D* gfx);
    // The 3D object types from the script resource `name`.
    int16_t Init3DObjects(const char* name);
    // The video system on the archive, its codec initialised.
    int16_t InitVideoSystem(resources::RAMA_CTRL* rama);
    // The sequence system with its two script resources.
    int16_t InitSequenceCtrl();
    // The lobby client on data/lobbynet.ini.
    int16_t InitLobbynet();
    // The GUI control over the screen, drawing text with the font control.
    int16_t InitGUI(int width, int height);
    // The menu manager on the Lua state and the text library.
    int16_t InitMenuManager();

    void ReleaseReadeve();
    void ReleaseLUA();
    void ReleaseFileCtrl();
    void ReleaseRAMA();
    void ReleaseTextLib();
    void ReleaseDXInput();
    void ReleaseCaptureCtrl();
    void ReleaseSndCtrl();
    void ReleaseFontCtrl();
    void ReleaseDave();
    void Release3DEngine();
    void Release3DObjects();
    void ReleaseVideoSystem();
    void ReleaseSequenceCtrl();
    void ReleaseLobbynet();
    void ReleaseGUI();
    void ReleaseMenuManager();

    // Adds `handler` to the dispatcher slots of window input (0, 3, 2, 5, 6,
    // 12, 7, 8) and removes it again.
    void RegisterInputHandler(DAVE_CALLBACK handler);
    void UnregisterInputHandler();
    // Releases every subsystem in the fixed shutdown order.
    void ReleaseAll();

    // The program log belongs to the shutdown sequence, which destroys it last.
    LOGSYS* program_log = nullptr;
    int32_t program_state = kStateRun;
    FlagWord app_flags;

    lua_State* lua() const { return lua_.get(); }
    resources::FILECTRL* file_ctrl() const { return file_ctrl_.get(); }
    resources::RAMA_CTRL* rama() const { return rama_.get(); }
    resources::TEXTLIB* textlib() const { return textlib_.get(); }
    media::DXINPUT* dxinput() const { return dxinput_.get(); }
    DAVE* dave() const { return dave_; }
    resources::QNTFONTCTRL_BASE* font_ctrl() const { return font_ctrl_.get(); }
    sound::SNDAPI* sound() const { return sound_.get(); }
    MTX_QLIST* input_queue() const { return input_queue_; }
    frontend::MOB3D_CTRL* mob3d() const { return mob3d_.get(); }
    video::VIDEOSYS* videos() const { return videos_.get(); }
    video::SEQ_CTRL* sequences() const { return sequences_.get(); }
    LOBBYNET* lobby() const { return lobby_.get(); }
    MENU_LUA* menus() const { return menus_.get(); }
    // Takes every queued input event out of the input queue and frees it.
    void DrainInputEvents();

  private:
    // Installs the archive's media for the subsystems that exist now.
    void InstallRamaMedia();

    bool ready_ = false;
    MTX_QLIST* input_queue_ = nullptr;  // released with MTX_QLIST::Destroy
    LuaStatePtr lua_;
    std::unique_ptr<resources::FILECTRL> file_ctrl_;
    std::unique_ptr<resources::RAMA_CTRL> rama_;
    std::unique_ptr<resources::TEXTLIB> textlib_;
    std::unique_ptr<media::DXINPUT> dxinput_;
    std::unique_ptr<resources::QNTFONTCTRL_BASE> font_ctrl_;
    std::unique_ptr<sound::SNDAPI> sound_;
    std::unique_ptr<resources::GfxRamaMedia> gfx_media_;
    std::unique_ptr<sound::SoundRamaMedia> sound_media_;
    std::unique_ptr<frontend::MOB3D_CTRL> mob3d_;
    std::unique_ptr<video::VIDEOSYS> videos_;
    std::unique_ptr<video::SEQ_CTRL> sequences_;
    std::unique_ptr<LOBBYNET> lobby_;
    std::unique_ptr<gui::QntFontSource> gui_fonts_;
    std::unique_ptr<GUI_CONTROL> gui_;
    std::unique_ptr<MENU_LUA> menus_;
    bool engine3d_started_ = false;
    DAVE* dave_ = nullptr;  // released with DAVE_Remove
    DAVE_CALLBACK input_handler_ = nullptr;
    bool capture_ready_ = false;
};

// Null before primary initialisation and after shutdown.
extern GLOBAL_CONTROL_BASE* g_control;

}  // namespace vorlane
