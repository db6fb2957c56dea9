// The Lua side of the sequence player: the eight global functions, their
// property tables and Sequence_Execute. Errors are logged and the function
// returns nothing; no Lua error is raised.
//
// [SECTION] index
//   - Argument helpers
//   - Element_Create
//   - Element_Props
//   - Sequence_Create, Step_Create
//   - Modifier_Create, Modifier_Props
//   - Sequence_Play, Textlib_Get
//   - Registration and Sequence_Execute
#include <algorithm>
#include <lua.hpp>
#include <optional>
#include <string>

#include "baselib/logsys.h"
#include "resources/qntfont.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_gfx_media.h"
#include "resources/rama_res.h"
#include "resources/textlib.h"
#include "scripting/lua_args.h"
#include "scripting/lua_glue.h"
#include "video/seq_ctrl.h"

namespace vorlane::video {

// [SECTION] Argument helpers
namespace {

using scripting::ArgInt;
using scripting::ArgString;
using scripting::OptInt;

// The controller, with argument 1 read as an integer into `value`; null when
// there is no controller or (logged) argument 1 is not a number. A number
// that stands for no 32-bit integer (NaN, out of range) counts as none: it
// names no element, sequence or modifier.
SEQ_CTRL* ControllerWithNumber(lua_State* lua, const char* fn, int32_t* value) {
    SEQ_CTRL* ctrl = SEQ_Get();
    if (ctrl == nullptr)
        return nullptr;
    if (!ArgInt(lua, 1, value)) {
        LOGSYS_Error("%s: first param not a number", fn);
        return nullptr;
    }
    return ctrl;
}

void SetFlag(uint32_t& flags, uint32_t flag, bool on) {
    if (on)
        flags |= flag;
    else
        flags &= ~flag;
}

// Sets `flag` from the boolean argument 3 of a property call, or logs that
// the property needs one.
void SetFlagFromArg(lua_State* lua, const char* name, const char* prop, uint32_t& flags,
                    uint32_t flag) {
    if (lua_isboolean(lua, 3))
        SetFlag(flags, flag, lua_toboolean(lua, 3));
    else
        LOGSYS_Error("%s: property %s needs boolean", name, prop);
}

int NoElement(const char* fn) {
    LOGSYS_Error("%s: no element was created", fn);
    return 0;
}

// [SECTION] Element_Create
int LuaElementCreate(lua_State* lua) {
    const char* fn = "LUA_Seq_Element_Create";
    if (SEQ_Get() == nullptr)
        return 0;
    int32_t type = 0;
    SEQ_CTRL* ctrl = ControllerWithNumber(lua, fn, &type);
    if (ctrl == nullptr)
        return NoElement(fn);
    std::unique_ptr<ELEMENT_BASE> element;
    const char* tag = nullptr;
    switch (type) {
        case kElemGfx: {
            const char* name = ArgString(lua, 2);
            if (name == nullptr) {
                LOGSYS_Error("%s: gfx needs resource name", fn);
                return NoElement(fn);
            }
            resources::RAMA_CTRL* rama = ctrl->rama();
            std::shared_ptr<const media::OSGFX> picture =
                resources::RAMA_GetGraphic(rama ? rama->GetResource(name) : nullptr);
            if (!picture) {
                LOGSYS_Error("%s: gfx resource not found", fn);
                return NoElement(fn);
            }
            element = MakeGfxElement(std::move(picture));
            tag = "Element_Create_GFX";
            break;
        }
        case kElemVideo: {
            const char* name = ArgString(lua, 2);
            if (name == nullptr) {
                LOGSYS_Error("%s: video needs resource name", fn);
                return NoElement(fn);
            }
            element = MakeVideoElement(ctrl->videos(), name);
            tag = "Element_Create_VIDEO";
            break;
        }
        case kElemText: {
            const char* text = ArgString(lua, 2);
            int32_t font_id = 0;
            if (text == nullptr || !ArgInt(lua, 3, &font_id)) {
                LOGSYS_Error("%s: text needs text id & font id", fn);
                return NoElement(fn);
            }
            // The text is a text identifier when the text library knows it,
            // else it is shown as given.
            const char* found = ctrl->textlib() ? ctrl->textlib()->GetTextC(text) : nullptr;
            resources::QNTFONT_BASE* font =
                ctrl->fonts() ? ctrl->fonts()->GetFont(font_id) : nullptr;
            element = MakeTextElement(found ? found : text, font);
            tag = "Element_Create_TEXT";
            break;
        }
        case kElemSpeech: {
            int32_t take = 0;
            if (!ArgInt(lua, 2, &take)) {
                LOGSYS_Error("%s: speech needs take number", fn);
                return NoElement(fn);
            }
            int id = ctrl->ReserveElement();
            lua_pushinteger(lua, id);
            return 1;
        }
        case 3:
        case 4:
            return NoElement(fn);
        default:
            LOGSYS_Error("%s: invalid element type: %d", fn, type);
            return NoElement(fn);
    }
    if (!element) {
        LOGSYS_Error("%s::%s: can't create element", "SEQ_CTRL", tag);
        return NoElement(fn);
    }
    lua_pushinteger(lua, ctrl->CreateElement(std::move(element)));
    return 1;
}

// [SECTION] Element_Props
// Reads arguments 3 and 4 as a pair of integers, or logs that `prop` needs them.
bool NeedXY(lua_State* lua, const char* name, const char* prop, int32_t* x, int32_t* y) {
    if (ArgInt(lua, 3, x) && ArgInt(lua, 4, y))
        return true;
    LOGSYS_Error("%s: property %s needs %s", name, prop,
                 std::string(prop) == "AREA" || std::string(prop) == "SIZE" ? "w & h" : "x & y");
    return false;
}

int LuaElementProps(lua_State* lua) {
    const char* fn = "LUA_Seq_Element_Props";
    int32_t id = 0;
    SEQ_CTRL* ctrl = ControllerWithNumber(lua, fn, &id);
    if (ctrl == nullptr)
        return 0;
    ELEMENT_BASE* e = ctrl->GetElement(id);
    if (e == nullptr) {
        LOGSYS_Error("%s: element not found: %d", fn, id);
        return 0;
    }
    int32_t prop = OptInt(lua, 2, 0);
    const char* name = e->type == kElemGfx     ? "PROP_Elem_Gfx"
                       : e->type == kElemVideo ? "PROP_Elem_Video"
                                               : "PROP_Elem_Text";
    if (e->type != kElemGfx && e->type != kElemVideo && e->type != kElemText) {
        LOGSYS_Error("%s: unknown element type: %d", fn, e->type);
        return 0;
    }
    bool text = e->type == kElemText, gfx = e->type == kElemGfx, video = e->type == kElemVideo;
    switch (prop) {
        case 1: {
            int32_t x = 0, y = 0;
            if (NeedXY(lua, name, "POSITION", &x, &y))
                e->SetPosition(x, y);
            return 0;
        }
        case 3:
            if (!gfx)
                break;
            SetFlagFromArg(lua, name, "ALPHA", e->flags, kElemAlphaOrMultiline);
            return 0;
        case 5:
            if (!text)
                break;
            SetFlagFromArg(lua, name, "MULTILINE", e->flags,
                           kElemAlphaOrMultiline | kElemLayoutOutdated);
            return 0;
        case 6:
            SetFlagFromArg(lua, name, "VISIBLE", e->flags, kElemVisible);
            return 0;
        case 7: {
            if (gfx)
                break;
            int32_t w = 0, h = 0;
            if (NeedXY(lua, name, video ? "AREA" : "SIZE", &w, &h)) {
                e->SetSize(w, h);
                e->flags |= kElemLayoutOutdated;
            }
            return 0;
        }
        case 8:
            if (!text)
                break;
            SetFlagFromArg(lua, name, "H CENTER", e->flags, kElemHCenter);
            return 0;
        case 9:
            if (!text)
                break;
            SetFlagFromArg(lua, name, "V CENTER", e->flags, kElemVCenter);
            return 0;
        default:
            break;
    }
    LOGSYS_Error("%s: invalid property id: %d", name, prop);
    return 0;
}

// [SECTION] Sequence_Create, Step_Create
int LuaSequenceCreate(lua_State* lua) {
    SEQ_CTRL* ctrl = SEQ_Get();
    int id = ctrl ? ctrl->CreateSequence() : 0;
    if (id == 0) {
        LOGSYS_Error("%s: can't create sequence", "LUA_Seq_Sequence_Create");
        return 0;
    }
    lua_pushinteger(lua, id);
    return 1;
}

int LuaStepCreate(lua_State* lua) {
    const char* fn = "LUA_Seq_Step_Create";
    int32_t seq = 0;
    SEQ_CTRL* ctrl = ControllerWithNumber(lua, fn, &seq);
    if (ctrl == nullptr)
        return 0;
    int id = ctrl->CreateStep(seq);
    if (id == 0) {
        LOGSYS_Error("%s: failed to create step for seq: %d", fn, seq);
        return 0;
    }
    lua_pushinteger(lua, id);
    return 1;
}

// [SECTION] Modifier_Create, Modifier_Props
int LuaModifierCreate(lua_State* lua) {
    const char* fn = "LUA_Seq_Modifier_Create";
    int32_t type = 0;
    SEQ_CTRL* ctrl = ControllerWithNumber(lua, fn, &type);
    if (ctrl == nullptr)
        return 0;
    int32_t seq = 0, step = 0;
    if (!ArgInt(lua, 2, &seq) || !ArgInt(lua, 3, &step)) {
        LOGSYS_Error("%s: seq_id & step_id not found", fn);
        return 0;
    }
    int32_t fourth = OptInt(lua, 4, 0);
    auto filter = std::make_unique<FILTER>();
    filter->type = type;
    bool ok = true;
    const char* tag = type == kFilterMove   ? "Filter_Create_Move"
                      : type == kFilterPlay ? "Filter_Create_Play"
                                            : "Filter_Create_Text";
    switch (type) {
        case kFilterMove:
        case kFilterPlay:
        case kFilterText:
            if (ctrl->GetElement(fourth) == nullptr) {
                LOGSYS_Error("%s::%s: can't find element", "SEQ_CTRL", tag);
                ok = false;
                break;
            }
            filter->element_id = fourth;
            if (type == kFilterMove)
                filter->flags |= kFilterBySpeed | kFilterFromElement;
            if (const char* text = ArgString(lua, 5); type == kFilterText && text)
                filter->text = text;
            break;
        case kFilterWait:
            filter->duration = uint32_t(std::max(0, fourth));
            break;
        default:
            ok = false;
            break;
    }
    if (!ok) {
        LOGSYS_Error("%s: no modifier created for %d, %d, %d, %d", fn, type, seq, step, fourth);
        return 0;
    }
    int id = ctrl->CreateFilter(std::move(filter));
    if (!ctrl->AttachFilter(seq, step, id))
        LOGSYS_Error("%s: adding modifier to step failed", fn);
    lua_pushinteger(lua, id);
    return 1;
}

int LuaModifierProps(lua_State* lua) {
    const char* fn = "LUA_Seq_Modifier_Props";
    int32_t id = 0;
    SEQ_CTRL* ctrl = ControllerWithNumber(lua, fn, &id);
    if (ctrl == nullptr)
        return 0;
    FILTER* f = ctrl->GetFilter(id);
    if (f == nullptr) {
        LOGSYS_Error("%s: modifier not found: %d", fn, id);
        return 0;
    }
    int32_t prop = OptInt(lua, 2, 0);
    const char* name = f->type == kFilterMove   ? "PROP_Mod_Move"
                       : f->type == kFilterWait ? "PROP_Mod_Wait"
                       : f->type == kFilterPlay ? "PROP_Mod_Play"
                                                : "PROP_Mod_Text";
    bool move = f->type == kFilterMove;
    int32_t x = 0, y = 0, value = 0;
    switch (prop) {
        case 1:
            SetFlagFromArg(lua, name, "IGNORE_DONE", f->flags, kFilterIgnoreDone);
            return 0;
        case 2:
            if (!move)
                break;
            if (NeedXY(lua, name, "FROM", &x, &y)) {
                f->from_x = x;
                f->from_y = y;
                f->flags &= ~kFilterFromElement;
            }
            return 0;
        case 3:
            if (!move)
                break;
            if (NeedXY(lua, name, "TO", &x, &y)) {
                f->to_x = x;
                f->to_y = y;
                f->flags &= ~kFilterDone;
            }
            return 0;
        case 4:
            if (!move && f->type != kFilterWait)
                break;
            if (!ArgInt(lua, 3, &value))
                LOGSYS_Error("%s: property TIME needs time", name);
            else {
                f->duration = uint32_t(std::max(0, value));
                if (move)
                    f->flags &= ~kFilterBySpeed;
            }
            return 0;
        case 5:
            if (!move)
                break;
            if (!ArgInt(lua, 3, &value))
                LOGSYS_Error("%s: property SPEED needs speed", name);
            else {
                f->speed = value;
                f->flags |= kFilterBySpeed;
            }
            return 0;
        case 6:
            if (f->type != kFilterPlay)
                break;
            SetFlagFromArg(lua, name, "LOOP", f->flags, kFilterLoop);
            return 0;
        case 7:
            if (f->type != kFilterText)
                break;
            if (const char* text = ArgString(lua, 3))
                f->text = text;
            else
                LOGSYS_Error("%s: property TEXT needs string", name);
            return 0;
        case 8:
            if (!move)
                break;
            if (!ArgInt(lua, 3, &value))
                LOGSYS_Error("%s: property STARTWAIT needs time", name);
            else
                f->start_wait = uint32_t(std::max(0, value));
            return 0;
        default:
            break;
    }
    LOGSYS_Error("%s: invalid property id: %d", name, prop);
    return 0;
}

// [SECTION] Sequence_Play, Textlib_Get
int LuaSequencePlay(lua_State* lua) {
    const char* fn = "LUA_Seq_Sequence_Play";
    SEQ_CTRL* ctrl = SEQ_Get();
    if (ctrl == nullptr)
        return 0;
    const char* first = ArgString(lua, 1);
    if (first == nullptr) {
        LOGSYS_Error("%s: first param not a string", fn);
        return 0;
    }
    std::string name = first;
    std::string args;
    bool has_args = LUA_ToText(lua, 2, &args);
    if (ctrl->Sequence_Execute(name.c_str(), has_args ? args.c_str() : nullptr) == 0)
        LOGSYS_Error("%s: can't exec sequence '%s'", fn, name.c_str());
    return 0;
}

int LuaTextlibGet(lua_State* lua) {
    SEQ_CTRL* ctrl = SEQ_Get();
    const char* id = ArgString(lua, 1);
    if (id == nullptr) {
        LOGSYS_Error("%s: first param not a string", "LUA_Seq_Textlib_Get");
        return 0;
    }
    const char* text = (ctrl && ctrl->textlib()) ? ctrl->textlib()->GetTextC(id) : nullptr;
    lua_pushstring(lua, text ? text : "");
    return 1;
}

}  // namespace

// [SECTION] Registration and Sequence_Execute
void SEQ_CTRL::RegisterFunctions(lua_State* lua) {
    lua_ = lua;
    const struct {
        const char* name;
        lua_CFunction fn;
    } table[] = {
        {"Sequence_Create", LuaSequenceCreate}, {"Element_Create", LuaElementCreate},
        {"Element_Props", LuaElementProps},     {"Step_Create", LuaStepCreate},
        {"Modifier_Create", LuaModifierCreate}, {"Modifier_Props", LuaModifierProps},
        {"Sequence_Play", LuaSequencePlay},     {"Textlib_Get", LuaTextlibGet},
    };
    for (const auto& f : table) {
        lua_pushcfunction(lua, f.fn);
        LUA_RawSetGlobal(lua, f.name);
    }
}

SEQ_CTRL::InitResult SEQ_CTRL::InitSequenceCtrl(lua_State* lua) {
    if (lua == nullptr)
        return InitResult::kScriptingFailed;
    RegisterFunctions(lua);
    struct Stage {
        const char* name;
        InitResult failure;
    };
    for (const Stage& stage : {Stage{"script.seq.internal", InitResult::kScriptingFailed},
                               Stage{"script.seq.defines", InitResult::kSequencesFailed}}) {
        resources::RAMA_CTRL* rama = this->rama();
        resources::RAMA_RES* res = rama ? rama->GetResource(stage.name) : nullptr;
        uint32_t size = 0;
        const uint8_t* data = res ? res->GetData(&size) : nullptr;
        if (data == nullptr) {
            LOGSYS_Error("%s::%s: no script resource: %s", "SEQ_CTRL", "InitSequenceCtrl",
                         stage.name);
            return stage.failure;
        }
        if (LUA_ExecuteBuffer(lua, data, size, stage.name) != 1)
            return stage.failure;
    }
    return InitResult::kReady;
}

int SEQ_CTRL::Sequence_Execute(const char* name, const char* arguments) {
    if (lua_ == nullptr || name == nullptr)
        return 0;
    std::string chunk = "return SEQUENCES.";
    chunk += name;
    chunk += "(";
    if (arguments)
        chunk += arguments;
    chunk += ")";
    int top = lua_gettop(lua_);
    if (luaL_loadbuffer(lua_, chunk.data(), chunk.size(), "Sequence_Execute") != LUA_OK ||
        lua_pcall(lua_, 0, 1, 0) != LUA_OK) {
        LOGSYS_Error("%s: execution failed sequence '%s'", "Sequence_Execute", name);
        if (lua_isstring(lua_, -1))
            LOGSYS_Error("LUAERROR: %s", lua_tostring(lua_, -1));
        lua_settop(lua_, top);
        return 0;
    }
    // The sequence script returns its sequence's id.
    std::optional<int32_t> returned =
        lua_type(lua_, -1) == LUA_TNUMBER ? scripting::ToInt32(lua_, -1) : std::nullopt;
    lua_settop(lua_, top);
    if (!returned) {
        LOGSYS_Error("%s: no sequence created for '%s'", "Sequence_Execute", name);
        return 0;
    }
    int id = *returned;
    SEQUENCE* s = GetSequence(id);
    if (s == nullptr) {
        LOGSYS_Error("%s: no sequence created for '%s'", "Sequence_Execute", name);
        return 0;
    }
    s->current = 0;
    s->flags |= kSeqPlaying;
    s->flags &= ~kSeqFinished;
    return id;
}

}  // namespace vorlane::video
