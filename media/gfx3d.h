// The 3D layer: the least the front end asks of it. The engine holds the
// camera, a texture manager with texture groups, vertex buffers and a model
// object; the front end's 3D object list stays empty, so the renderer only
// counts what it is handed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/osgfx.h"

namespace vorlane::media {

class GFXSYS3D;

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// The scene layer: viewport and camera.
class GFXSYS_DX3D {
  public:
    // Sets up the layer for a screen size; false on failure.
    bool Startup(int width, int height);
    void SetCamera(const Vec3& position, const Vec3& rotation_degrees);
    void SetCameraPosition(const Vec3& position) { position_ = position, position_changed_ = true; }
    void SetCameraRotation(const Vec3& rotation) { rotation_ = rotation, rotation_changed_ = true; }
    const Vec3& camera_position() const { return position_; }
    const Vec3& camera_rotation() const { return rotation_; }
    bool position_changed() const { return position_changed_; }
    bool rotation_changed() const { return rotation_changed_; }
    // Applies pending camera changes (clears the changed marks).
    void ApplyCamera() { position_changed_ = rotation_changed_ = false; }
    int viewport_width() const { return width_; }
    int viewport_height() const { return height_; }

  private:
    int width_ = 0, height_ = 0;
    Vec3 position_{0, 10, 5};
    Vec3 rotation_{359, 0, 180};
    bool position_changed_ = false, rotation_changed_ = false;
};

// Texture groups: numbered sets of texture surfaces, restorable from their source.
class DX3D_TEXMGR {
  public:
    static constexpr int kMaxGroups = 100;
    static constexpr int kMaxTextureSide = 1024;
    static constexpr int kSourceNone = 0;
    static constexpr int kSourceImage = 1;
    static constexpr int kSourceObjectList = 3;

    // A group of `count` empty slots; the group index or -1.
    int RegisterTextureGroup(int count, int flag);
    // A group made from the image objects of a block-container object list
    // (one texture per object, slot = object number), remembered as the
    // group's source under `source_name`. -1 when no group slot is free.
    int RegisterTextureGroup(const std::vector<std::span<const uint8_t>>& objects,
                             const std::string& source_name, int flags = 0);
    // A group holding one texture made from image bytes, which it keeps to
    // make the texture again after a device reset. -1 when the bytes make no
    // texture or no group slot is free.
    int RegisterTexture(std::span<const uint8_t> image, const std::string& source_name,
                        int flags = 0);
    int RemoveTextureGroup(int index);
    // The texture in a group slot, or null.
    OSGFX* GetTextureSurface(int group, int number);
    int SetTextureSurface(int group, int number, std::unique_ptr<OSGFX> surface);
    // A texture from image bytes (sides 1..1024), or null.
    std::unique_ptr<OSGFX> MakeSurface(std::span<const uint8_t> image, int flags);
    // Checks that a surface can serve as a texture; 0 or -1.
    int RegisterSurface(const OSGFX* surface);
    // Rebuilds every group from its source (after a device reset); 0 or -1.
    int RestoreAllTextures();
    int group_count() const;

  private:
    struct Group {
        int flag = 0;
        int source_kind = kSourceNone;
        std::string source_name;
        std::vector<std::vector<uint8_t>> source_objects;  // kept to restore from
        std::vector<std::unique_ptr<OSGFX>> textures;
        std::vector<uint8_t> flags;
    };
    int FreeSlot() const;
    std::array<std::unique_ptr<Group>, kMaxGroups> groups_;
};

struct Vertex3D {
    float x = 0, y = 0, z = 0;
    uint32_t colour = 0xFFFFFFFFu;
    float u = 0, v = 0;
};

// A vertex buffer with lock/unlock and range-checked access.
class DX3D_3DBUFFER {
  public:
    explicit DX3D_3DBUFFER(int count);
    ~DX3D_3DBUFFER();
    DX3D_3DBUFFER(const DX3D_3DBUFFER&) = delete;
    DX3D_3DBUFFER& operator=(const DX3D_3DBUFFER&) = delete;

    int Lock();
    int Unlock();
    int SetVertex(int index, const Vertex3D& vertex);
    int GetVertex(int index, Vertex3D& vertex) const;
    int count() const { return int(vertices_.size()); }
    // Buffers alive now (reported as lost when the engine shuts down).
    static int live_count();

  private:
    std::vector<Vertex3D> vertices_;
    bool locked_ = false;
};

// A 3D model: position, rotation and a third triple with changed marks; its
// bytes are the model resource as stored in the archive.
class MODEL3D {
  public:
    // 0 on success, -1 for no bytes.
    int Init(std::span<const uint8_t> bytes);
    void SetPosition(const Vec3& p) { position_ = p, changed_ = true; }
    void SetRotation(const Vec3& r) { rotation_ = r, changed_ = true; }
    void SetThird(const Vec3& t) { third_ = t; }
    // Applies pending changes.
    void Update() { changed_ = false; }
    bool changed() const { return changed_; }
    const Vec3& position() const { return position_; }
    const Vec3& rotation() const { return rotation_; }
    const Vec3& third() const { return third_; }
    size_t size() const { return bytes_.size(); }

  private:
    std::vector<uint8_t> bytes_;
    Vec3 position_, rotation_, third_;
    bool changed_ = false;
};

// The 3D engine: one per program.
class ENGINE3D {
  public:
    // Starts the scene layer and the texture manager on a started graphics
    // system; 0 or -1.
    int Startup(GFXSYS3D* gfx);
    void Shutdown();
    bool started() const { return layer_ != nullptr; }
    GFXSYS_DX3D* layer() { return layer_.get(); }
    DX3D_TEXMGR* texmgr() { return texmgr_.get(); }
    void BeginFrame();
    void EndFrame();
    // Hands a model to the renderer for this frame.
    void Render(MODEL3D& model);
    int rendered() const { return rendered_; }

  private:
    std::unique_ptr<GFXSYS_DX3D> layer_;
    std::unique_ptr<DX3D_TEXMGR> texmgr_;
    int rendered_ = 0;
};

// The program's 3D engine.
ENGINE3D& Engine3D();

}  // namespace vorlane::media
