#include "media/gfx3d.h"

#include <atomic>

#include "baselib/log_channel.h"
#include "media/gfxsys.h"
#include "media/image_data.h"

namespace vorlane::media {
namespace {
std::atomic<int> g_live_buffers{0};
}  // namespace

// [SECTION] scene layer

bool GFXSYS_DX3D::Startup(int width, int height) {
    if (width <= 0 || height <= 0) {
        Log(kLogError, "GFXSYS_DX3D::startup, Couldn't set current viewport to device");
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

void GFXSYS_DX3D::SetCamera(const Vec3& position, const Vec3& rotation_degrees) {
    SetCameraPosition(position);
    SetCameraRotation(rotation_degrees);
}

// [SECTION] texture manager

int DX3D_TEXMGR::FreeSlot() const {
    for (int i = 0; i < kMaxGroups; ++i)
        if (!groups_[i])
            return i;
    return -1;
}

int DX3D_TEXMGR::group_count() const {
    int n = 0;
    for (const auto& g : groups_) n += g ? 1 : 0;
    return n;
}

int DX3D_TEXMGR::RegisterTextureGroup(int count, int flag) {
    int slot = FreeSlot();
    if (slot < 0) {
        Log(kLogError, "DX3D_TEXMGR:RegisterTextureGroup, failed to alloc any more groups!");
        return -1;
    }
    // A group's slots are counted in 16 bits.
    if (count < 0 || count > 0xFFFF)
        return -1;
    auto group = std::make_unique<Group>();
    group->flag = flag;
    group->textures.resize(size_t(count));
    group->flags.assign(size_t(count), 0);
    groups_[slot] = std::move(group);
    return slot;
}

int DX3D_TEXMGR::RegisterTextureGroup(const std::vector<std::span<const uint8_t>>& objects,
                                      const std::string& source_name, int flags) {
    int index = RegisterTextureGroup(int(objects.size()), flags);
    if (index < 0)
        return -1;
    Group* group = groups_[index].get();
    if (!group) {
        Log(kLogError, "DX3D_TEXMGR:RegisterTextureGroup, failed to get texture group!");
        return -1;
    }
    group->source_kind = kSourceObjectList;
    group->source_name = source_name;
    for (size_t i = 0; i < objects.size(); ++i) {
        group->source_objects.emplace_back(objects[i].begin(), objects[i].end());
        group->textures[i] = MakeSurface(objects[i], flags);
    }
    return index;
}

int DX3D_TEXMGR::RegisterTexture(std::span<const uint8_t> image, const std::string& source_name,
                                 int flags) {
    std::unique_ptr<OSGFX> texture = MakeSurface(image, flags);
    if (!texture)
        return -1;
    int index = RegisterTextureGroup(1, flags);
    if (index < 0)
        return -1;
    Group& group = *groups_[index];
    group.source_kind = kSourceImage;
    group.source_name = source_name;
    group.source_objects.emplace_back(image.begin(), image.end());
    group.textures[0] = std::move(texture);
    return index;
}

int DX3D_TEXMGR::RemoveTextureGroup(int index) {
    if (index < 0 || index >= kMaxGroups || !groups_[index]) {
        Log(kLogError, "DX3D_TEXMGR:RemoveTextureGroup, requested group is not initalized (%d)!",
            index);
        return -1;
    }
    groups_[index].reset();
    return 0;
}

OSGFX* DX3D_TEXMGR::GetTextureSurface(int group, int number) {
    if (group < 0 || group >= kMaxGroups || !groups_[group]) {
        Log(kLogError, "DX3D_TEXMGR:GetTextureSurface, id range failed (%d)!", group);
        return nullptr;
    }
    Group& g = *groups_[group];
    if (number < 0 || size_t(number) >= g.textures.size()) {
        Log(kLogError, "DX3D_TEXMGR:GetTextureSurface, nr range failed (%d)!", number);
        return nullptr;
    }
    return g.textures[size_t(number)].get();
}

int DX3D_TEXMGR::SetTextureSurface(int group, int number, std::unique_ptr<OSGFX> surface) {
    if (group < 0 || group >= kMaxGroups || !groups_[group])
        return -1;
    Group& g = *groups_[group];
    if (number < 0 || size_t(number) >= g.textures.size())
        return -1;
    g.textures[size_t(number)] = std::move(surface);
    return 0;
}

std::unique_ptr<OSGFX> DX3D_TEXMGR::MakeSurface(std::span<const uint8_t> image, int flags) {
    ImageHeader header;
    ImageError error = ParseImageHeader(image, header);
    if (error == ImageError::kNone || error == ImageError::kTooLarge) {
        if (header.width < 1 || header.height < 1 || header.width > kMaxTextureSide ||
            header.height > kMaxTextureSide) {
            Log(kLogError, "DX3D_TEXMGR:MakeSurface, trying to create texture of dimension: %dx%d!",
                header.width, header.height);
            return nullptr;
        }
    }
    auto surface = std::make_unique<OSGFX>(kOsgfxTextureFlag);
    if (surface->InitFromImage(image, flags) != 0)
        return nullptr;
    return surface;
}

int DX3D_TEXMGR::RegisterSurface(const OSGFX* surface) {
    if (!surface || surface->kind() != OSGFX::kKindTexture) {
        Log(kLogError, "TEXMGR detected non-3D OSGFX");
        return -1;
    }
    if (surface->empty()) {
        Log(kLogError, "TEXMGR detected OSGFX without surface");
        return -1;
    }
    return 0;
}

int DX3D_TEXMGR::RestoreAllTextures() {
    int result = 0;
    for (int i = 0; i < kMaxGroups; ++i) {
        Group* g = groups_[i].get();
        if (!g || (g->source_kind != kSourceObjectList && g->source_kind != kSourceImage))
            continue;
        for (size_t n = 0; n < g->source_objects.size(); ++n) {
            g->textures[n] = MakeSurface(g->source_objects[n], g->flag);
            if (g->textures[n]) {
                continue;
            } else if (g->source_kind == kSourceImage) {
                Log(kLogError, "DX3D_TEXMGR:RestoreTexture, failed to create texture for GRO (%s)",
                    g->source_name.c_str());
            } else {
                Log(kLogError,
                    "DX3D_TEXMGR:RestoreAllTexture, failed to create texture for GRO (%d) in BCF "
                    "(%s)",
                    i, g->source_name.c_str());
            }
            result = -1;
        }
    }
    return result;
}

// [SECTION] vertex buffers

DX3D_3DBUFFER::DX3D_3DBUFFER(int count) : vertices_(size_t(count > 0 ? count : 0)) {
    ++g_live_buffers;
}
DX3D_3DBUFFER::~DX3D_3DBUFFER() {
    --g_live_buffers;
}
int DX3D_3DBUFFER::live_count() {
    return g_live_buffers.load();
}

int DX3D_3DBUFFER::Lock() {
    if (locked_) {
        Log(kLogError, "DX3D_3DBUFFER:Lock, 3d buffer has already been locked!");
        return -1;
    }
    locked_ = true;
    return 0;
}

int DX3D_3DBUFFER::Unlock() {
    locked_ = false;
    return 0;
}

int DX3D_3DBUFFER::SetVertex(int index, const Vertex3D& vertex) {
    if (index < 0 || index >= count()) {
        Log(kLogError, "DX3D_3DBUFFER:SetVertex, invalid range: %d(%d)", index, count());
        return -1;
    }
    vertices_[size_t(index)] = vertex;
    return 0;
}

int DX3D_3DBUFFER::GetVertex(int index, Vertex3D& vertex) const {
    if (index < 0 || index >= count()) {
        Log(kLogError, "DX3D_3DBUFFER:GetVertex, invalid range: %d(%d)", index, count());
        return -1;
    }
    vertex = vertices_[size_t(index)];
    return 0;
}

// [SECTION] model and engine

int MODEL3D::Init(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return -1;
    bytes_.assign(bytes.begin(), bytes.end());
    changed_ = true;
    return 0;
}

int ENGINE3D::Startup(GFXSYS3D* gfx) {
    Log(kLogInfo, "3D::startup()");
    if (!gfx || !gfx->screen())
        return -1;
    Log(kLogInfo, "dx3d: %d,%d", gfx->width(), gfx->height());
    layer_ = std::make_unique<GFXSYS_DX3D>();
    if (!layer_->Startup(gfx->width(), gfx->height())) {
        Log(kLogError, "3D: GFXSYS_DX3D failed to initialized.");
        layer_.reset();
        return -1;
    }
    // Surfaces are A8R8G8B8: alpha pixels are always available.
    texmgr_ = std::make_unique<DX3D_TEXMGR>();
    return 0;
}

void ENGINE3D::Shutdown() {
    Log(kLogInfo, "3D::shutdown()");
    int lost = DX3D_3DBUFFER::live_count();
    if (lost > 0)
        Log(kLogWarning, "3D, %d lost DX3D_BUFFER3Ds detected!", lost);
    texmgr_.reset();
    layer_.reset();
}

void ENGINE3D::BeginFrame() {
    rendered_ = 0;
    if (layer_)
        layer_->ApplyCamera();
}

void ENGINE3D::EndFrame() {}

void ENGINE3D::Render(MODEL3D& model) {
    model.Update();
    ++rendered_;
}

ENGINE3D& Engine3D() {
    static ENGINE3D engine;
    return engine;
}

}  // namespace vorlane::media
