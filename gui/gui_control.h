// GUI_CONTROL: the one GUI of the process. It owns the roots of the object tree,
// turns input records into GUI events, keeps the focus, hover and tooltip
// references and runs the per-frame update and draw passes.
//
// Time comes from the application clock (baselib/timer.h).
//
// Use:
//   GUI_STYLE_OLD_PRIMITIVE::SetFonControl(&font_source); // e.g. QntFontSource (gui_media.h)
//   auto gui = std::make_unique<GUI_CONTROL>();
//   gui->Init(0, 0, screen_w, screen_h);
//   per input record:   gui->Process(record)              // IOEVE
//   once per frame:     gui->Update();
//   while drawing:      OsgfxCanvas canvas(screen); gui->Draw(canvas); gui->DrawTooltip(canvas);
// The newest GUI_CONTROL is the process-wide one that the objects reach through
// GUI_CONTROL::Get(); destroying it restores the previous one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "baselib/ioeve.h"
#include "gui/gui_canvas.h"
#include "gui/gui_event.h"
#include "gui/gui_object.h"
#include "gui/gui_style.h"

// Runs deferred actions bound to objects: when the current action's object has
// a result, the result is taken (cleared) and passed to the action.
class GUI_ACTIONHANDLER {
  public:
    using Action = std::function<void(GUI_OBJECT* object, int16_t result)>;
    void SetAction(GUI_OBJECT* object, Action action);
    void ClearAction();
    void Forget(const GUI_OBJECT* object);
    void Run();

  private:
    GUI_OBJECT* object_ = nullptr;
    Action action_;
};

class GUI_CONTROL {
  public:
    GUI_CONTROL();
    GUI_CONTROL(const GUI_CONTROL&) = delete;
    GUI_CONTROL& operator=(const GUI_CONTROL&) = delete;
    ~GUI_CONTROL();

    // The process-wide control (null when none exists).
    static GUI_CONTROL* Get();

    bool Init(int x, int y, int w, int h);
    void Release();
    void EnableInput() { input_disabled_ = 0; }
    void DisableInput() { input_disabled_ = 1; }

    int32_t AddObject(std::unique_ptr<GUI_OBJECT> object);
    template <typename T>
    T* Add(std::unique_ptr<T> object) {
        return top_ ? top_->Add(std::move(object)) : nullptr;
    }
    std::unique_ptr<GUI_OBJECT> ReleaseObject(GUI_OBJECT* object);
    bool DeleteObject(GUI_OBJECT* object);

    // Translates one input record; true when the GUI used it.
    bool Process(const IOEVE& record);
    void Update();
    void Draw(vorlane::gui::GuiCanvas& target);
    void DrawTooltip(vorlane::gui::GuiCanvas& target);

    GUI_OBJECT* top() const { return top_.get(); }
    GUI_OBJECT* overlay() const { return overlay_.get(); }
    void SetOverlay(std::unique_ptr<GUI_OBJECT> overlay);
    int Width() const { return top_ ? top_->w() : 0; }
    int Height() const { return top_ ? top_->h() : 0; }

    GUI_OBJECT* focus() const { return focus_; }
    GUI_OBJECT* hover() const { return hover_; }
    GUI_OBJECT* tooltip_object() const { return tooltip_object_; }
    int16_t mouse_x() const { return mouse_x_; }
    int16_t mouse_y() const { return mouse_y_; }
    uint16_t mouse_buttons() const { return mouse_buttons_; }
    uint32_t move_time() const { return move_time_; }
    void SetScale(float sx, float sy) {
        scale_x_ = sx > 0 ? sx : 1.0f;
        scale_y_ = sy > 0 ? sy : 1.0f;
    }

    GUI_STYLE* default_style() const { return default_style_.get(); }
    void SetDefaultStyle(std::unique_ptr<GUI_STYLE> style);
    GUI_ACTIONHANDLER* action_handler() const { return action_handler_.get(); }

    // Numbering of attached objects.
    int32_t TakeId() { return next_id_++; }

    // Reference upkeep, used by the objects.
    void SetFocusRef(GUI_OBJECT* object) { focus_ = object; }
    void SetHoverRef(GUI_OBJECT* object) { hover_ = object; }
    // The first object that claims the hover during one pointer move keeps it:
    // children are asked before their parents and upper siblings before lower
    // ones, so that is the innermost, topmost object under the pointer.
    void ClaimHover(GUI_OBJECT* object) {
        if (hover_serial_ == move_serial_)
            return;
        hover_serial_ = move_serial_;
        hover_ = object;
    }
    void SetTooltipObject(GUI_OBJECT* object);
    void ForgetObject(const GUI_OBJECT* object);
    // Nesting depth of running dispatches (deletion is deferred while > 0).
    int dispatch_depth() const { return dispatch_depth_; }
    void EnterDispatch() { ++dispatch_depth_; }
    void LeaveDispatch() { --dispatch_depth_; }

    static constexpr uint32_t kTooltipDelay = 750;
    static constexpr uint32_t kDclickInterval = 300;

  private:
    bool SendToTarget(const GUI_EVENT& event);
    bool ProcessMouse(const IOEVE& record, uint32_t now);
    bool ProcessKeyDown(const IOEVE& record, uint32_t now);
    static void UpdateTree(GUI_OBJECT* object);
    static void DrawTree(GUI_OBJECT* object, int ox, int oy);

    std::unique_ptr<GUI_OBJECT> top_;
    std::unique_ptr<GUI_OBJECT> overlay_;
    GUI_OBJECT* focus_ = nullptr;
    GUI_OBJECT* hover_ = nullptr;
    uint32_t move_time_ = 0;
    uint32_t tooltip_delay_ = kTooltipDelay;
    GUI_OBJECT* tooltip_object_ = nullptr;
    std::unique_ptr<GUI_ACTIONHANDLER> action_handler_;
    int32_t next_id_ = 1;
    std::unique_ptr<GUI_STYLE> default_style_;
    int16_t mouse_x_ = 0, mouse_y_ = 0;
    uint16_t mouse_buttons_ = 0;
    uint32_t last_press_time_ = 0;
    bool pressed_before_ = false;
    uint32_t dclick_interval_ = kDclickInterval;
    float scale_x_ = 1.0f, scale_y_ = 1.0f;
    uint8_t alt_down_ = 0;
    uint32_t repeat_time_ = 0;
    uint32_t repeat_key_ = 0;
    int repeat_state_ = 0;
    uint32_t input_disabled_ = 0;
    int dispatch_depth_ = 0;
    uint32_t move_serial_ = 1;
    uint32_t hover_serial_ = 0;
    GUI_CONTROL* previous_ = nullptr;
};
