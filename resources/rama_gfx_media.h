// The archive's graphics media: what graphic, model and texture resources
// become when their location loads.
//
//   type      object                                        bytes kept
//   5 to 8    a surface of the graphics system (RamaGraphic)  no
//   15        a 3D model (RamaModel)                          yes
//   16 to 19  a texture of the texture manager (RamaTexture)  no
//   20        a texture group of the texture manager          yes
//
// A picture is decoded once, when its location loads; its users share the
// surface (RAMA_GetGraphic), so a surface someone still holds outlives the
// location. Sounds are the sound media's (sound/sound_media.h), which hands
// everything else on to this one.
#pragma once

#include <memory>

#include "media/gfx3d.h"
#include "media/osgfx.h"
#include "resources/rama_res.h"

namespace vorlane::resources {

// A graphic resource's surface.
class RamaGraphic : public RamaObject {
  public:
    explicit RamaGraphic(std::shared_ptr<media::OSGFX> surface) : surface_(std::move(surface)) {}
    int Kind() const override { return media::OSGFX::kKindSurface; }
    const std::shared_ptr<media::OSGFX>& surface() const { return surface_; }

  private:
    std::shared_ptr<media::OSGFX> surface_;
};

// A model resource's 3D model.
class RamaModel : public RamaObject {
  public:
    media::MODEL3D& model() { return model_; }

  private:
    media::MODEL3D model_;
};

// A texture resource: a one-texture group of the texture manager, which keeps
// what it needs to make the texture again after a device reset.
class RamaTexture : public RamaObject {
  public:
    explicit RamaTexture(int texture_id) : texture_id_(texture_id) {}
    int Kind() const override { return kKindTexture; }
    int TextureId() const override { return texture_id_; }

  private:
    int texture_id_;
};

class GfxRamaMedia : public RAMA_MEDIA {
  public:
    // Surfaces are drawn in software and need no device; textures go to the
    // texture manager of the program's 3D engine.
    std::unique_ptr<RamaObject> CreateGraphic() override;
    bool InitGraphic(RamaObject& graphic, const uint8_t* data, uint32_t size) override;
    // Sounds are not made here.
    bool MakesSounds() const override { return false; }
    int CreateSound(const uint8_t*, uint32_t) override { return -1; }
    void FreeSound(int) override {}
    std::unique_ptr<RamaObject> CreateModel() override;
    bool InitModel(RamaObject& model, const uint8_t* data, uint32_t size) override;
    std::unique_ptr<RamaObject> CreateTexture(const uint8_t* data, uint32_t size) override;
    // The bytes are a block container of images, one texture each.
    int RegisterTextureGroup(const uint8_t* data, uint32_t size) override;
    void FreeTexture(int texture_id) override;
};

// The surface of a graphic resource (types 5 to 8), or null.
std::shared_ptr<media::OSGFX> RAMA_GetGraphic(const RAMA_RES* resource);
// The texture of a texture resource (types 16 to 19) as the texture manager
// holds it now, or null. A device reset replaces it: fetch it per use.
media::OSGFX* RAMA_GetTexture(const RAMA_RES* resource);

}  // namespace vorlane::resources
