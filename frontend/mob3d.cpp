#include "frontend/mob3d.h"

#include <cmath>
#include <lua.hpp>

#include "baselib/logsys.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_res.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"

namespace vorlane::frontend {

namespace {
MOB3D_CTRL* g_mob3d = nullptr;
constexpr const char* kClass = "MOB3D_CTRL";
}  // namespace

MOB3D_CTRL* MOB3D_Get() {
    return g_mob3d;
}

float MOB3D_NormaliseAngle(float degrees) {
    // Stepping by 360 would take forever for huge values and never end for
    // infinities; the remainder gives the same result for ordinary angles.
    if (!std::isfinite(degrees))
        return 0.0f;
    float a = std::fmod(degrees, 360.0f);
    if (a < 0)
        a += 360.0f;
    if (a >= 360.0f)
        a -= 360.0f;
    return a;
}

void MOB3D_NormaliseAngles(media::Vec3* angles) {
    angles->x = MOB3D_NormaliseAngle(angles->x);
    angles->y = MOB3D_NormaliseAngle(angles->y);
    angles->z = MOB3D_NormaliseAngle(angles->z);
}

MOB3D_CTRL::MOB3D_CTRL(resources::TEXTLIB* textlib, resources::RAMA_CTRL* rama)
    : textlib_(textlib), rama_(rama) {
    g_mob3d = this;
}

MOB3D_CTRL::~MOB3D_CTRL() {
    RemoveAll(false);
    if (g_mob3d == this)
        g_mob3d = nullptr;
}

bool MOB3D_CTRL::Init(lua_State* lua, const char* name) {
    if (lua == nullptr || name == nullptr) {
        LOGSYS_Error("%s::%s: invalid parameters", kClass, "Init");
        return false;
    }
    RemoveAll(false);
    resources::RAMA_CTRL* rama = rama_ ? rama_ : LUA_GetHost().rama;
    resources::RAMA_RES* res = rama ? rama->GetResource(name) : nullptr;
    uint32_t size = 0;
    const uint8_t* data = res ? res->GetData(&size) : nullptr;
    if (data == nullptr) {
        LOGSYS_Error("%s::%s: no script resource: %s", kClass, "Init", name);
        return false;
    }
    std::string script(reinterpret_cast<const char*>(data), size);
    return InitFromBuffer(lua, script.data(), script.size());
}

bool MOB3D_CTRL::InitFromBuffer(lua_State* lua, const void* script, size_t size) {
    if (lua == nullptr || script == nullptr) {
        LOGSYS_Error("%s::%s: invalid parameters", kClass, "Init");
        return false;
    }
    RemoveAll(true);
    lua_pushcfunction(lua, MOB_Register);
    LUA_RawSetGlobal(lua, "MOB_Register");
    LUA_ExecuteBuffer(lua, script, size, "mobtypes");
    return true;
}

void MOB3D_CTRL::RemoveAll(bool recreate) {
    objects_.reset();
    if (recreate)
        objects_ = std::make_unique<std::vector<std::unique_ptr<Mob3dObject>>>();
}

size_t MOB3D_CTRL::AddObject(std::unique_ptr<Mob3dObject> object) {
    if (!objects_)
        RemoveAll(true);
    objects_->push_back(std::move(object));
    return objects_->size() - 1;
}

void MOB3D_CTRL::DrawAll(media::ENGINE3D& engine) {
    if (!objects_)
        return;
    for (auto& object : *objects_) {
        if (!object || !object->visible || !object->model)
            continue;
        MOB3D_NormaliseAngles(&object->rotation);
        object->model->SetPosition(object->position);
        object->model->SetRotation(object->rotation);
        object->model->SetThird(object->third);
        object->model->Update();
        engine.Render(*object->model);
    }
}

bool MOB3D_CTRL::ParseType(lua_State* lua, int index, MOB3D_TYPE* entry) {
    int32_t type_class = LUA_GetNumber(lua, "type", index, -1);
    if (type_class != 0) {
        LOGSYS_Error("%s::%s: invalid type: %d", "MOB3D_TYPE", "LUA_Parse", type_class);
        return false;
    }
    MOB3D_TYPE parsed;
    parsed.type_class = 0;
    std::string text_id;
    if (LUA_GetString(lua, "name", index, &text_id, "") && textlib_ != nullptr) {
        const char* text = textlib_->GetTextC(text_id.c_str());
        if (text)
            parsed.name = text;
    }
    LUA_GetString(lua, "pst", index, &parsed.pst, "");
    if (parsed.pst.empty())
        LOGSYS_Warning("%s::%s: can't get pst address", "MOB3D_TYPE", "LUA_Parse");
    LOGSYS_Info("%s::%s: type (%d) name '%s' pst '%s'", "MOB3D_TYPE", "LUA_Parse", type_class,
                parsed.name.c_str(), parsed.pst.c_str());
    parsed.some_value = LUA_GetNumber(lua, "some_value", index, 0);
    parsed.used = true;
    *entry = std::move(parsed);
    return true;
}

void MOB3D_CTRL::RegisterFromLua(lua_State* lua) {
    if (!lua_istable(lua, 1)) {
        LOGSYS_Error("%s::%s: no table", kClass, "LUA_RegisterType");
        return;
    }
    int32_t id = LUA_GetNumber(lua, "id", 1, -1);
    if (uint32_t(id) >= uint32_t(kMob3dTypeCount)) {
        LOGSYS_Error("%s::%s: invalid ID: %d", kClass, "LUA_RegisterType", id);
        return;
    }
    LOGSYS_Info("%s::%s: parsing ID: %d", kClass, "LUA_RegisterType", id);
    if (!ParseType(lua, 1, &types_[size_t(id)]))
        LOGSYS_Error("%s::%s: error parsing ID: %d", kClass, "LUA_RegisterType", id);
}

int MOB_Register(lua_State* lua) {
    if (g_mob3d != nullptr)
        g_mob3d->RegisterFromLua(lua);
    return 0;
}

}  // namespace vorlane::frontend
