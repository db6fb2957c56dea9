// A RAMA_MEDIA that makes the archive's sound resources (type 13) through the
// sound API and hands every other kind of resource to an inner RAMA_MEDIA.
#pragma once

#include "resources/rama_res.h"

namespace vorlane::sound {

class SNDAPI;

class SoundRamaMedia : public resources::RAMA_MEDIA {
  public:
    // Neither pointer is owned; either may be null.
    SoundRamaMedia(SNDAPI* sound, resources::RAMA_MEDIA* inner) : sound_(sound), inner_(inner) {}

    std::unique_ptr<resources::RamaObject> CreateGraphic() override;
    bool InitGraphic(resources::RamaObject& graphic, const uint8_t* data, uint32_t size) override;
    bool MakesSounds() const override { return sound_ != nullptr; }
    int CreateSound(const uint8_t* data, uint32_t size) override;
    void FreeSound(int sound_id) override;
    std::unique_ptr<resources::RamaObject> CreateModel() override;
    bool InitModel(resources::RamaObject& model, const uint8_t* data, uint32_t size) override;
    std::unique_ptr<resources::RamaObject> CreateTexture(const uint8_t* data,
                                                         uint32_t size) override;
    int RegisterTextureGroup(const uint8_t* data, uint32_t size) override;
    void FreeTexture(int texture_id) override;

  private:
    SNDAPI* sound_;
    resources::RAMA_MEDIA* inner_;
};

}  // namespace vorlane::sound
