// CONSOLE: the drop-down developer console. It keeps an output area of lines of
// at most 80 characters, one input line with a history, and a registry of named
// commands, variables and aliases that the input line or a saved file address.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include "baselib/timer.h"

struct IOEVE;
namespace vorlane::media {
class OSGFX;
class GFXSYS3D;
}  // namespace vorlane::media
namespace vorlane::resources {
class QNTFONT_BASE;
}

namespace vorlane::console {

// How a variable's storage is read and written.
enum ConsoleVarType : uint8_t {
    kVarInt16 = 1,
    kVarUInt16 = 2,
    kVarInt32 = 3,
    kVarUInt32 = 4,
    kVarUInt8 = 5,
    kVarFloat = 6,
    kVarDouble = 7,
    kVarString = 8,
    kVarBool = 9,
};

class CONSOLE;
// Receives the rest of the input line after the command word (null when none).
using ConsoleHandler = void (*)(const char* rest);
using ConsoleChange = void (*)();

constexpr int kLineChars = 80;
constexpr int kNameChars = 20;
constexpr int kHistoryMax = 40;
constexpr uint32_t kBlinkMs = 500;
constexpr uint32_t kKeyRepeatMs = 110;

struct ConsoleCommand {
    std::string name;
    ConsoleHandler handler = nullptr;
    uint8_t listed = 0;
};

struct ConsoleVariable {
    std::string name;
    void* storage = nullptr;
    uint8_t type = 0;
    uint16_t max_len = 0;
    ConsoleChange change = nullptr;
};

struct ConsoleAlias {
    std::string name;
    std::string command;
};

class CONSOLE {
  public:
    CONSOLE();
    ~CONSOLE();
    CONSOLE(const CONSOLE&) = delete;
    CONSOLE& operator=(const CONSOLE&) = delete;

    // Sets up the geometry, the surface and the built-in commands; false on failure.
    // `font` and `gfx` may be null (a console without drawing, as in tests).
    bool Init(uint16_t width, uint16_t height, resources::QNTFONT_BASE* font, media::GFXSYS3D* gfx,
              media::OSGFX* target, uint8_t echo);

    bool AddCommand(const char* name, ConsoleHandler handler, uint8_t listed);
    bool AddVariable(const char* name, void* storage, uint8_t type, uint16_t max_len,
                     ConsoleChange change);
    bool AddAlias(const char* name, const char* command);
    bool RemoveAlias(const char* name);

    void Print(const char* text);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Execute(const char* line);
    // True when the console took the record.
    bool ProcessInput(const IOEVE& record);
    void Update();
    void Draw();

    // Opens or closes the drop-down (the front end's toggle key).
    void SetOpen(bool open);
    void Toggle() { SetOpen(!open); }
    // True while any of the drop-down is on the screen (open, or sliding).
    bool Showing() const { return !disabled && ready_ && (open || shown_height_ > 0); }
    void SetTarget(media::OSGFX* target) { target_ = target; }
    // Where "save" and "exec" take a relative file name ("" = the working
    // directory); the front end's is the player's user folder.
    void SetFileFolder(std::string folder) { file_folder_ = std::move(folder); }

    // The shown form of a variable ("name value").
    std::string VariableText(const ConsoleVariable& variable) const;

    // Read access for drawing and tests.
    const std::list<std::string>& lines() const { return lines_; }
    const std::list<std::string>& history() const { return history_; }
    const char* input() const { return input_; }
    int16_t cursor() const { return cursor_; }
    uint16_t max_lines() const { return max_lines_; }
    uint16_t shown_height() const { return shown_height_; }
    uint16_t width() const { return width_; }
    uint16_t height() const { return height_; }
    const media::OSGFX* surface() const { return surface_.get(); }

    uint8_t echo = 0;
    uint8_t open = 0;
    uint8_t dirty = 0;
    uint8_t disabled = 0;
    uint8_t cursor_on = 1;
    char cursor_char = '|';
    char prompt_char = '>';

  private:
    bool NameUsed(const std::string& name) const;
    ConsoleVariable* FindVariable(const std::string& name);
    ConsoleCommand* FindCommand(const std::string& name);
    ConsoleAlias* FindAlias(const std::string& name);
    void AddLine(std::string line);
    void SetVariable(ConsoleVariable& variable, const std::string& text);
    void TouchInput();
    void RecallHistory(const std::string& entry);
    void Enter();
    void PrintNameList(const char* head, const std::list<std::string>& names);

    // Built-in commands.
    void CmdAlias(const char* rest);
    void CmdList(const char* rest);
    void CmdSave(const char* rest);
    void CmdExec(const char* rest);

    std::list<ConsoleVariable> variables_;
    std::list<ConsoleCommand> commands_;
    std::list<ConsoleAlias> aliases_;
    std::string file_folder_;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    media::GFXSYS3D* gfx_ = nullptr;
    media::OSGFX* target_ = nullptr;
    std::unique_ptr<media::OSGFX> surface_;
    resources::QNTFONT_BASE* font_ = nullptr;
    uint16_t font_height_ = 8;
    std::list<std::string> lines_;
    uint16_t max_lines_ = 0;
    std::list<std::string> history_;
    int history_pos_ = -1;  // index into history_ counted from the oldest, -1 none
    int16_t cursor_ = 0;
    char input_[kLineChars + 1] = {};
    baselib::CountdownTimer blink_{kBlinkMs};
    baselib::CountdownTimer key_repeat_{0};
    uint16_t shown_height_ = 0;
    bool ready_ = false;
};

// The process-wide console the built-in commands and the program's own
// commands use (not owned; null when there is none).
CONSOLE* CONSOLE_Get();
void CONSOLE_Set(CONSOLE* console);

// Command-line word helpers: word n (from 0) of a line, at most 80 characters;
// false when the line has fewer words.
bool ConsoleWord(const char* line, int n, std::string* word);
// Everything after the blank that follows word 0, at most 80 characters.
bool ConsoleRest(const char* line, std::string* rest);
// The line split for display: one or two lines.
void ConsoleSplit(const std::string& text, std::string* first, std::string* second);

}  // namespace vorlane::console
