#include "resources/rama_gfx_media.h"

#include <span>
#include <vector>

#include "baselib/log_channel.h"
#include "resources/bcf_library.h"

namespace vorlane::resources {

namespace {

// Textures name their source after the archive, so a failed restore says
// where the texture came from.
constexpr const char* kTextureSource = "RAMA";

media::DX3D_TEXMGR* TextureManager() {
    return media::Engine3D().texmgr();
}

}  // namespace

std::unique_ptr<RamaObject> GfxRamaMedia::CreateGraphic() {
    return std::make_unique<RamaGraphic>(std::make_shared<media::OSGFX>(0));
}

bool GfxRamaMedia::InitGraphic(RamaObject& graphic, const uint8_t* data, uint32_t size) {
    auto* target = dynamic_cast<RamaGraphic*>(&graphic);
    return target && target->surface() &&
           target->surface()->InitFromImage(std::span(data, data ? size : 0)) == 0;
}

std::unique_ptr<RamaObject> GfxRamaMedia::CreateModel() {
    return std::make_unique<RamaModel>();
}

bool GfxRamaMedia::InitModel(RamaObject& model, const uint8_t* data, uint32_t size) {
    auto* target = dynamic_cast<RamaModel*>(&model);
    return target && target->model().Init(std::span(data, data ? size : 0)) == 0;
}

std::unique_ptr<RamaObject> GfxRamaMedia::CreateTexture(const uint8_t* data, uint32_t size) {
    media::DX3D_TEXMGR* textures = TextureManager();
    if (!textures || !data)
        return nullptr;
    int id = textures->RegisterTexture(std::span(data, size), kTextureSource);
    if (id < 0)
        return nullptr;
    return std::make_unique<RamaTexture>(id);
}

int GfxRamaMedia::RegisterTextureGroup(const uint8_t* data, uint32_t size) {
    media::DX3D_TEXMGR* textures = TextureManager();
    if (!textures || !data)
        return -1;
    std::vector<BCF_INFO> info;
    std::optional<BcfObjectList> list = LoadBCFObjectList(data, data + size, info);
    if (!list)
        return -1;
    std::vector<std::span<const uint8_t>> objects;
    objects.reserve(list->Count());
    for (size_t i = 0; i < list->Count(); ++i)
        objects.emplace_back(data + list->offsets[i], list->SizeOf(i));
    return textures->RegisterTextureGroup(objects, kTextureSource);
}

void GfxRamaMedia::FreeTexture(int texture_id) {
    // The engine may have shut down before the archive; its groups went with it.
    if (media::DX3D_TEXMGR* textures = TextureManager())
        textures->RemoveTextureGroup(texture_id);
}

std::shared_ptr<media::OSGFX> RAMA_GetGraphic(const RAMA_RES* resource) {
    if (!resource || resource->type < kRamaTypeGraphicFirst ||
        resource->type > kRamaTypeGraphicLast)
        return nullptr;
    auto* graphic = dynamic_cast<const RamaGraphic*>(resource->graphic.get());
    return graphic ? graphic->surface() : nullptr;
}

media::OSGFX* RAMA_GetTexture(const RAMA_RES* resource) {
    media::DX3D_TEXMGR* textures = TextureManager();
    if (!resource || !textures || resource->type < kRamaTypeTextureFirst ||
        resource->type > kRamaTypeTextureLast || resource->texture_id < 0)
        return nullptr;
    return textures->GetTextureSurface(resource->texture_id, 0);
}

}  // namespace vorlane::resources
