#include "app/global_control.h"

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"
#include "baselib/queue.h"

namespace vorlane {

GLOBAL_CONTROL_BASE* g_control = nullptr;

GLOBAL_CONTROL_BASE::GLOBAL_CONTROL_BASE() {
    app_flags.ClearAll();
    ready_ = true;
}

GLOBAL_CONTROL_BASE::~GLOBAL_CONTROL_BASE() { ReleaseAll(); }

int16_t GLOBAL_CONTROL_BASE::InitReadeve() {
    input_queue_ = MTX_QLIST::Create();
    if (!input_queue_) {
        LOGSYS_Text(nullptr, kLogError, "GLOBAL_CONTROL_BASE::InitReadeve: Cannot alloc mtx_qlist.");
        return -1;
    }
    return 0;
}

void GLOBAL_CONTROL_BASE::DrainInputEvents() {
    if (!input_queue_) return;
    while (void* event = input_queue_->Pop(nullptr)) BL_OrgFreeMem(event);
}

int16_t GLOBAL_CONTROL_BASE::InitLUA() {
    lua_.reset(LUA_CreateState());
    if (!lua_) {
        LOGSYS_Printf(nullptr, kLogError, "%s::%s: Cannot create LUA state.",
                      "GLOBAL_CONTROL_BASE", "InitLUA");
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
    if (!input_queue_) return;
    MTX_QLIST::Destroy(input_queue_, 1);
    input_queue_ = nullptr;
}

void GLOBAL_CONTROL_BASE::ReleaseLUA() {
    if (!lua_) return;
    LUA_ClearHost();
    lua_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseFileCtrl() {
    if (file_ctrl_) file_ctrl_->Exit();
    file_ctrl_.reset();
}

void GLOBAL_CONTROL_BASE::ReleaseAll() {
    // Later subsystems plug in here in the shutdown order: menu manager, GUI,
    // sequences, capture, video, 3D objects, 3D engine.
    ReleaseFileCtrl();
    ReleaseReadeve();
    // DirectInput, archive, sound, text library and fonts go here.
    ReleaseLUA();
    // The lobby client and the program-frame list follow.
}

}  // namespace vorlane
