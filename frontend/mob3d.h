// MOB3D_CTRL: the table of 3D object types that the type script fills through
// the Lua function MOB_Register, and the list of 3D objects drawn every frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/gfx3d.h"

struct lua_State;
namespace vorlane::resources {
class RAMA_CTRL;
class TEXTLIB;
}  // namespace vorlane::resources

namespace vorlane::frontend {

constexpr int kMob3dTypeCount = 256;

struct MOB3D_TYPE {
    uint32_t type_class = 0;
    std::string name;
    std::string pst;
    int32_t some_value = 0;
    bool used = false;  // registered by the script
};

// One 3D object of the list.
struct Mob3dObject {
    std::unique_ptr<media::MODEL3D> model;
    media::Vec3 position;
    media::Vec3 rotation;
    media::Vec3 third;
    bool visible = true;
};

class MOB3D_CTRL {
  public:
    // Neither pointer is owned; the archive defaults to the Lua host's.
    explicit MOB3D_CTRL(resources::TEXTLIB* textlib = nullptr,
                        resources::RAMA_CTRL* rama = nullptr);
    ~MOB3D_CTRL();
    MOB3D_CTRL(const MOB3D_CTRL&) = delete;
    MOB3D_CTRL& operator=(const MOB3D_CTRL&) = delete;

    // Runs the type script held by the archive resource `name`.
    bool Init(lua_State* lua, const char* name);
    // The same with the script's bytes given directly.
    bool InitFromBuffer(lua_State* lua, const void* script, size_t size);

    // Draws every visible object that has a model through `engine`.
    void DrawAll(media::ENGINE3D& engine);
    // Removes every object; with `recreate` a new empty list is made.
    void RemoveAll(bool recreate);
    // Adds an object (the front end itself never does); its index.
    size_t AddObject(std::unique_ptr<Mob3dObject> object);
    size_t object_count() const { return objects_ ? objects_->size() : 0; }

    const MOB3D_TYPE& type(int id) const { return types_[size_t(id & 0xFF)]; }
    // Parses the table at the top of the stack into `entry`; false on failure.
    bool ParseType(lua_State* lua, int index, MOB3D_TYPE* entry);
    void RegisterFromLua(lua_State* lua);

  private:
    resources::TEXTLIB* textlib_;
    resources::RAMA_CTRL* rama_;
    std::unique_ptr<std::vector<std::unique_ptr<Mob3dObject>>> objects_;
    std::array<MOB3D_TYPE, kMob3dTypeCount> types_{};
};

// The controller MOB_Register reaches (set at construction, cleared at destruction).
MOB3D_CTRL* MOB3D_Get();

// The Lua function MOB_Register(table).
int MOB_Register(lua_State* lua);

// Brings each of the three angles into [0, 360).
void MOB3D_NormaliseAngles(media::Vec3* angles);
float MOB3D_NormaliseAngle(float degrees);

}  // namespace vorlane::frontend
