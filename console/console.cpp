// CONSOLE implementation.
//
// Index:
// [SECTION] Words and splitting
// [SECTION] Construction and registry
// [SECTION] Printing
// [SECTION] Executing
// [SECTION] Built-in commands
// [SECTION] Input
// [SECTION] Update and drawing
#include "console/console.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "baselib/bl_file.h"
#include "baselib/bl_memory.h"
#include "baselib/ioeve.h"
#include "baselib/logsys.h"
#include "baselib/user_folder.h"
#include "media/keycodes.h"
#include "media/osgfx.h"
#include "resources/qntfont.h"

namespace vorlane::console {

namespace {

CONSOLE* g_console = nullptr;

// Commands that run other command lines (aliases, "exec") can refer to
// themselves; this bounds the nesting so such a loop ends instead of
// exhausting the stack.
constexpr int kMaxExecuteDepth = 16;
int g_execute_depth = 0;

constexpr uint32_t kBackColour = 0xC0101828u;
constexpr uint32_t kTextColour = 0xFFE0E0E0u;

}  // namespace

CONSOLE* CONSOLE_Get() {
    return g_console;
}
void CONSOLE_Set(CONSOLE* console) {
    g_console = console;
}

// [SECTION] Words and splitting

bool ConsoleWord(const char* line, int n, std::string* word) {
    if (line == nullptr || n < 0)
        return false;
    const char* p = line;
    while (*p == ' ') ++p;
    for (int i = 0;; ++i) {
        if (*p == '\0')
            return false;
        const char* end = std::strchr(p, ' ');
        size_t len = end ? size_t(end - p) : std::strlen(p);
        if (i == n) {
            word->assign(p, std::min<size_t>(len, kLineChars));
            return true;
        }
        if (end == nullptr)
            return false;
        p = end;
        while (*p == ' ') ++p;
    }
}

bool ConsoleRest(const char* line, std::string* rest) {
    if (line == nullptr)
        return false;
    const char* p = line;
    while (*p == ' ') ++p;
    const char* blank = std::strchr(p, ' ');
    if (blank == nullptr || blank[1] == '\0')
        return false;
    const char* start = blank + 1;
    rest->assign(start, std::min<size_t>(std::strlen(start), kLineChars));
    return true;
}

void ConsoleSplit(const std::string& text, std::string* first, std::string* second) {
    second->clear();
    if (text.size() <= size_t(kLineChars)) {
        *first = text;
        return;
    }
    size_t split = kLineChars;
    size_t next = kLineChars;
    if (text[kLineChars] == ' ') {
        next = kLineChars + 1;
    } else {
        for (size_t i = kLineChars - 1; i >= 1; --i) {
            if (text[i] == ' ') {
                split = i;
                next = i + 1;
                break;
            }
        }
    }
    *first = text.substr(0, split);
    *second = text.substr(next, kLineChars);
}

// [SECTION] Construction and registry

CONSOLE::CONSOLE() = default;

CONSOLE::~CONSOLE() {
    if (g_console == this)
        g_console = nullptr;
}

bool CONSOLE::Init(uint16_t width, uint16_t height, resources::QNTFONT_BASE* font,
                   media::GFXSYS3D* gfx, media::OSGFX* target, uint8_t echo_lines) {
    width_ = width;
    height_ = height;
    font_ = font;
    gfx_ = gfx;
    target_ = target;
    echo = echo_lines;
    font_height_ = (font != nullptr && font->font_height > 0) ? font->font_height : 8;
    max_lines_ = uint16_t(height_ / font_height_);
    surface_ = std::make_unique<media::OSGFX>();
    if (width_ > 0 && height_ > 0 && surface_->Create(width_, height_) != 0) {
        LOGSYS_Text(nullptr, kLogError, "CONSOLE: unable to create bufferobject");
        surface_.reset();
        return false;
    }
    if (g_console == nullptr)
        g_console = this;
    ready_ = true;
    AddCommand(
        "alias",
        [](const char* r) {
            if (g_console)
                g_console->CmdAlias(r);
        },
        1);
    AddCommand(
        "list",
        [](const char* r) {
            if (g_console)
                g_console->CmdList(r);
        },
        1);
    AddCommand(
        "save",
        [](const char* r) {
            if (g_console)
                g_console->CmdSave(r);
        },
        1);
    AddCommand(
        "exec",
        [](const char* r) {
            if (g_console)
                g_console->CmdExec(r);
        },
        1);
    Print("Lathe, console v1.3");
    Print("type <list> to get a list of all known symbols");
    return true;
}

bool CONSOLE::NameUsed(const std::string& name) const {
    for (const auto& v : variables_)
        if (v.name == name)
            return true;
    for (const auto& c : commands_)
        if (c.name == name)
            return true;
    for (const auto& a : aliases_)
        if (a.name == name)
            return true;
    return false;
}

ConsoleVariable* CONSOLE::FindVariable(const std::string& name) {
    for (auto& v : variables_)
        if (v.name == name)
            return &v;
    return nullptr;
}

ConsoleCommand* CONSOLE::FindCommand(const std::string& name) {
    for (auto& c : commands_)
        if (c.name == name)
            return &c;
    return nullptr;
}

ConsoleAlias* CONSOLE::FindAlias(const std::string& name) {
    for (auto& a : aliases_)
        if (a.name == name)
            return &a;
    return nullptr;
}

static std::string CutName(const char* name) {
    return std::string(name, strnlen(name, kNameChars));
}

bool CONSOLE::AddCommand(const char* name, ConsoleHandler handler, uint8_t listed) {
    if (disabled || name == nullptr || *name == '\0')
        return false;
    std::string n = CutName(name);
    if (NameUsed(n)) {
        Printf("<%s> already exists", n.c_str());
        return false;
    }
    commands_.push_back({n, handler, listed});
    dirty = 1;
    return true;
}

bool CONSOLE::AddVariable(const char* name, void* storage, uint8_t type, uint16_t max_len,
                          ConsoleChange change) {
    if (disabled || name == nullptr || *name == '\0' || storage == nullptr || type < kVarInt16 ||
        type > kVarBool || (type == kVarString && max_len == 0))
        return false;
    std::string n = CutName(name);
    if (NameUsed(n)) {
        Printf("<%s> already exists", n.c_str());
        return false;
    }
    variables_.push_back({n, storage, type, max_len, change});
    dirty = 1;
    return true;
}

bool CONSOLE::AddAlias(const char* name, const char* command) {
    if (disabled || name == nullptr || *name == '\0' || command == nullptr)
        return false;
    std::string n = CutName(name);
    if (NameUsed(n)) {
        Printf("<%s> already exists", n.c_str());
        return false;
    }
    aliases_.push_back({n, std::string(command, strnlen(command, kLineChars))});
    dirty = 1;
    return true;
}

bool CONSOLE::RemoveAlias(const char* name) {
    if (disabled || name == nullptr)
        return false;
    std::string n = CutName(name);
    for (auto it = aliases_.begin(); it != aliases_.end(); ++it) {
        if (it->name == n) {
            aliases_.erase(it);
            dirty = 1;
            return true;
        }
    }
    return false;
}

// [SECTION] Printing

void CONSOLE::AddLine(std::string line) {
    if (echo)
        LOGSYS_Printf(nullptr, kLogInfo, "CONSOLE: %s", line.c_str());
    lines_.push_back(std::move(line));
    while (lines_.size() > max_lines_ && !lines_.empty()) lines_.pop_front();
    dirty = 1;
}

void CONSOLE::Print(const char* text) {
    if (disabled || !ready_ || text == nullptr)
        return;
    std::string first;
    std::string second;
    ConsoleSplit(text, &first, &second);
    AddLine(std::move(first));
    if (!second.empty())
        AddLine(std::move(second));
}

void CONSOLE::Printf(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    Print(buffer);
}

// [SECTION] Executing

std::string CONSOLE::VariableText(const ConsoleVariable& v) const {
    char buffer[1024];
    const char* n = v.name.c_str();
    switch (v.type) {
        case kVarInt16:
            std::snprintf(buffer, sizeof buffer, "%s %d", n, *static_cast<int16_t*>(v.storage));
            break;
        case kVarUInt16:
            std::snprintf(buffer, sizeof buffer, "%s %d", n, *static_cast<uint16_t*>(v.storage));
            break;
        case kVarInt32:
            std::snprintf(buffer, sizeof buffer, "%s %d", n, *static_cast<int32_t*>(v.storage));
            break;
        case kVarUInt32:
            std::snprintf(buffer, sizeof buffer, "%s %d", n,
                          int(*static_cast<uint32_t*>(v.storage)));
            break;
        case kVarUInt8:
            std::snprintf(buffer, sizeof buffer, "%s %d", n, *static_cast<uint8_t*>(v.storage));
            break;
        case kVarFloat:
            std::snprintf(buffer, sizeof buffer, "%s %f", n,
                          double(*static_cast<float*>(v.storage)));
            break;
        case kVarDouble:
            std::snprintf(buffer, sizeof buffer, "%s %f", n, *static_cast<double*>(v.storage));
            break;
        case kVarString: {
            const char* s = static_cast<const char*>(v.storage);
            std::snprintf(buffer, sizeof buffer, "%s %.*s", n, int(strnlen(s, v.max_len)), s);
            break;
        }
        case kVarBool:
            std::snprintf(buffer, sizeof buffer, "%s %s", n,
                          *static_cast<uint8_t*>(v.storage) ? "true" : "false");
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "%s", n);
            break;
    }
    return buffer;
}

void CONSOLE::SetVariable(ConsoleVariable& v, const std::string& text) {
    const char* t = text.c_str();
    switch (v.type) {
        case kVarInt16:
            *static_cast<int16_t*>(v.storage) = int16_t(std::strtol(t, nullptr, 10));
            break;
        case kVarUInt16:
            *static_cast<uint16_t*>(v.storage) = uint16_t(std::strtol(t, nullptr, 10));
            break;
        case kVarInt32:
            *static_cast<int32_t*>(v.storage) = int32_t(std::strtol(t, nullptr, 10));
            break;
        case kVarUInt32:
            *static_cast<uint32_t*>(v.storage) = uint32_t(std::strtoll(t, nullptr, 10));
            break;
        case kVarUInt8:
            *static_cast<uint8_t*>(v.storage) = uint8_t(std::strtol(t, nullptr, 10));
            break;
        case kVarFloat:
            *static_cast<float*>(v.storage) = std::strtof(t, nullptr);
            break;
        case kVarDouble:
            *static_cast<double*>(v.storage) = std::strtod(t, nullptr);
            break;
        case kVarString: {
            // The storage holds max_len bytes: keep room for the terminator so
            // the value can always be read back as a string.
            char* s = static_cast<char*>(v.storage);
            size_t n = std::min<size_t>(text.size(), size_t(v.max_len) - 1);
            std::memcpy(s, t, n);
            s[n] = '\0';
            break;
        }
        case kVarBool: {
            uint8_t value = 0;
            if (strcasecmp(t, "TRUE") == 0)
                value = 1;
            else if (strcasecmp(t, "FALSE") == 0)
                value = 0;
            else if (t[0] == '1')
                value = 1;
            *static_cast<uint8_t*>(v.storage) = value;
            break;
        }
        default:
            break;
    }
    if (v.change)
        v.change();
    dirty = 1;
}

void CONSOLE::Execute(const char* line) {
    if (disabled || !ready_ || line == nullptr)
        return;
    std::string word0;
    if (!ConsoleWord(line, 0, &word0))
        return;
    if (g_execute_depth >= kMaxExecuteDepth) {
        Printf("<%s> nested too deeply, not run", word0.c_str());
        return;
    }
    ++g_execute_depth;
    if (ConsoleVariable* v = FindVariable(word0)) {
        std::string value;
        if (ConsoleWord(line, 1, &value))
            SetVariable(*v, value);
        else
            Print(VariableText(*v).c_str());
    } else if (ConsoleCommand* c = FindCommand(word0)) {
        std::string rest;
        bool has_rest = ConsoleRest(line, &rest);
        if (c->handler)
            c->handler(has_rest ? rest.c_str() : nullptr);
    } else if (ConsoleAlias* a = FindAlias(word0)) {
        std::string command = a->command;  // the alias may be removed while it runs
        Printf("alias<%s>: %s", a->name.c_str(), command.c_str());
        Execute(command.c_str());
    } else {
        Printf("<%s> is not a known command/variable/alias", word0.c_str());
    }
    --g_execute_depth;
}

// [SECTION] Built-in commands

void CONSOLE::CmdAlias(const char* rest) {
    std::string name;
    if (!ConsoleWord(rest, 0, &name)) {
        Print("syntax<create>: alias <name> <command>");
        Print("syntax<delete>: alias <name>");
        return;
    }
    std::string command;
    if (ConsoleRest(rest, &command)) {
        if (AddAlias(name.c_str(), command.c_str()))
            Printf("alias <%s> created", name.c_str());
    } else {
        Print(RemoveAlias(name.c_str()) ? "alias removed" : "could not remove: alias not found");
    }
}

void CONSOLE::PrintNameList(const char* head, const std::list<std::string>& names) {
    std::string line = head;
    bool first = true;
    for (const auto& name : names) {
        std::string candidate = first ? line + name : line + " " + name;
        if (candidate.size() >= size_t(kLineChars) && !first) {
            Print(line.c_str());
            line = name;
        } else {
            line = std::move(candidate);
        }
        first = false;
    }
    Print(line.c_str());
}

void CONSOLE::CmdList(const char* rest) {
    static const char* kUse = "use: <list> <cmd/alias/var> to only list cmd/var/alias";
    std::list<std::string> vars, cmds, aliases;
    for (const auto& v : variables_) vars.push_back(v.name);
    for (const auto& c : commands_)
        if (c.listed)
            cmds.push_back(c.name);
    for (const auto& a : aliases_) aliases.push_back(a.name);
    std::string what;
    if (!ConsoleWord(rest, 0, &what)) {
        Print(kUse);
        Print("use: <list> alias <name> to show contents of an alias");
        PrintNameList("VARS:  ", vars);
        PrintNameList("CMDS:  ", cmds);
        PrintNameList("ALIASES:  ", aliases);
    } else if (what == "cmd") {
        Print(kUse);
        PrintNameList("CMDS:  ", cmds);
    } else if (what == "var") {
        Print(kUse);
        PrintNameList("VARS:  ", vars);
    } else if (what == "alias") {
        std::string name;
        if (ConsoleWord(rest, 1, &name)) {
            if (ConsoleAlias* a = FindAlias(name))
                Printf("alias<%s>: %s", a->name.c_str(), a->command.c_str());
            else
                Printf("alias<%s>: not found", name.c_str());
        } else {
            Print(kUse);
            PrintNameList("ALIASES:  ", aliases);
        }
    }
}

void CONSOLE::CmdSave(const char* rest) {
    std::string file;
    if (!ConsoleWord(rest, 0, &file)) {
        Print("save <filename>: writes all variables/aliases to <filename>");
        return;
    }
    file = baselib::InFolder(file_folder_, file);
    std::string text;
    for (const auto& a : aliases_) text += "alias " + a.name + " " + a.command + "\r\n";
    for (const auto& v : variables_) text += VariableText(v) + "\r\n";
    if (BL_FileExists(file.c_str()))
        BL_DeleteFile(file.c_str());
    if (FILE_Save(file.c_str(), text.data(), uint32_t(text.size())) < 0) {
        Printf("unable to write to <%s>", file.c_str());
        return;
    }
    Printf("data saved to <%s>", file.c_str());
}

void CONSOLE::CmdExec(const char* rest) {
    std::string file;
    if (!ConsoleWord(rest, 0, &file)) {
        Print("exec <filename>: executes a file written by <save>");
        return;
    }
    file = baselib::InFolder(file_folder_, file);
    uint32_t length = 0;
    void* data = FILE_Load(file.c_str(), nullptr, &length);
    if (data == nullptr) {
        Printf("unable to open <%s>", file.c_str());
        return;
    }
    std::string text(static_cast<const char*>(data), length);
    BL_OrgFreeMem(data);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        size_t cr = line.find('\r');
        if (cr != std::string::npos)
            line.resize(cr);
        // The input line holds 80 characters; a longer line is cut there.
        if (line.size() > size_t(kLineChars))
            line.resize(kLineChars);
        if (!line.empty())
            Execute(line.c_str());
        pos = end + 1;
    }
    Printf("all data restored<%s>", file.c_str());
}

// [SECTION] Input

void CONSOLE::TouchInput() {
    blink_.Restart(kBlinkMs);
    cursor_on = 1;
    dirty = 1;
}

void CONSOLE::RecallHistory(const std::string& entry) {
    std::memset(input_, 0, sizeof input_);
    size_t n = std::min<size_t>(entry.size(), kLineChars - 1);
    std::memcpy(input_, entry.data(), n);
    cursor_ = int16_t(n);
}

void CONSOLE::Enter() {
    if (input_[0] == '\0')
        return;
    std::string line = input_;
    history_.push_back(line);
    while (history_.size() > size_t(kHistoryMax)) history_.pop_front();
    history_pos_ = -1;
    Printf("%c %s", prompt_char, line.c_str());
    std::memset(input_, 0, sizeof input_);
    cursor_ = 0;
    Execute(line.c_str());
}

bool CONSOLE::ProcessInput(const IOEVE& record) {
    if (disabled || !ready_)
        return false;
    if (record.class_flags == kEveKeyUp)
        return true;
    int len = int(std::strlen(input_));
    if (record.class_flags == kEveKeyDown) {
        if (!open || !key_repeat_.IsExpired())
            return false;
        key_repeat_.Restart(kKeyRepeatMs);
        int hsize = int(history_.size());
        switch (record.value) {
            case media::kKeyLeft:
                if (cursor_ > 0)
                    --cursor_;
                break;
            case media::kKeyRight:
                if (cursor_ < len && cursor_ < kLineChars - 1)
                    ++cursor_;
                break;
            case media::kKeyUp:
                if (hsize > 0) {
                    if (history_pos_ < 0)
                        history_pos_ = hsize - 1;
                    else if (history_pos_ > 0)
                        --history_pos_;
                    RecallHistory(*std::next(history_.begin(), history_pos_));
                }
                break;
            case media::kKeyDown:
                if (history_pos_ >= 0 && history_pos_ + 1 < hsize) {
                    ++history_pos_;
                    RecallHistory(*std::next(history_.begin(), history_pos_));
                } else {
                    history_pos_ = -1;
                    std::memset(input_, 0, sizeof input_);
                    cursor_ = 0;
                }
                break;
            case media::kKeyInsert:
                if (cursor_ <= len) {
                    std::memmove(input_ + cursor_ + 1, input_ + cursor_,
                                 size_t(kLineChars - 1 - cursor_));
                    input_[cursor_] = ' ';
                    input_[kLineChars] = '\0';
                }
                break;
            case media::kKeyDelete:
                if (cursor_ < len)
                    std::memmove(input_ + cursor_, input_ + cursor_ + 1, size_t(len - cursor_));
                break;
            case media::kKeyPageDown:
                std::memset(input_, 0, sizeof input_);
                cursor_ = 0;
                history_pos_ = -1;
                break;
            case media::kKeyHome:
                cursor_ = 0;
                break;
            case media::kKeyEnd:
                cursor_ = int16_t(std::min(len, kLineChars - 1));
                break;
            default:
                return true;
        }
        TouchInput();
        return true;
    }
    if (record.class_flags == kEveChar) {
        uint16_t c = record.character;
        if (c >= 32 && c <= 127 && c != 39) {
            if (cursor_ + 2 < kLineChars) {
                // Typing past the end of the text fills the gap with blanks.
                for (int i = len; i < cursor_; ++i) input_[i] = ' ';
                input_[cursor_++] = char(c);
            }
        } else if (c == 8) {
            if (cursor_ > 0 && cursor_ <= len) {
                std::memmove(input_ + cursor_ - 1, input_ + cursor_, size_t(len - cursor_ + 1));
                --cursor_;
            }
        } else if (c == 13) {
            Enter();
        }
        TouchInput();
        return true;
    }
    return false;
}

// [SECTION] Update and drawing

void CONSOLE::SetOpen(bool value) {
    open = value ? 1 : 0;
    dirty = 1;
}

void CONSOLE::Update() {
    if (disabled || !ready_)
        return;
    if (blink_.IsExpired()) {
        blink_.Restart(kBlinkMs);
        cursor_on = !cursor_on;
        dirty = 1;
    }
    if (open) {
        if (shown_height_ < height_) {
            int step = (height_ - shown_height_) / 14 + 2;
            shown_height_ = uint16_t(std::min<int>(height_, shown_height_ + step));
        }
    } else if (shown_height_ > 0) {
        int step = shown_height_ / 14 + 2;
        shown_height_ = uint16_t(std::max(0, int(shown_height_) - step));
    }
}

void CONSOLE::Draw() {
    if (disabled || !ready_ || !surface_ || surface_->empty())
        return;
    if (dirty) {
        surface_->Clear(kBackColour);
        int y = height_ - font_height_;
        std::string in(1, prompt_char);
        in += ' ';
        in += input_;
        auto draw = [&](int x, int yy, const char* text) {
            if (font_)
                font_->DrawTextEx(surface_.get(), x, yy, kTextColour, text, 0);
            else
                surface_->DirectSimpleText(x, yy, text, kTextColour);
        };
        draw(2, y, in.c_str());
        if (cursor_on) {
            std::string before = in.substr(0, size_t(cursor_) + 2);
            int x = font_ ? font_->TextWidth(before.c_str(), 0) : int(before.size()) * 8;
            char cursor_text[2] = {cursor_char, '\0'};
            draw(2 + x, y, cursor_text);
        }
        for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
            y -= font_height_;
            if (y < -int(font_height_))
                break;
            draw(2, y, it->c_str());
        }
        dirty = 0;
    }
    if (shown_height_ > 0 && target_ != nullptr)
        surface_->PasteAt(target_, 0, int(shown_height_) - int(height_));
}

}  // namespace vorlane::console
