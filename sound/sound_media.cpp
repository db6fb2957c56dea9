#include "sound/sound_media.h"

#include "sound/sndapi.h"

namespace vorlane::sound {

using resources::RamaObject;

std::unique_ptr<RamaObject> SoundRamaMedia::CreateGraphic() {
    return inner_ ? inner_->CreateGraphic() : nullptr;
}
bool SoundRamaMedia::InitGraphic(RamaObject& graphic, const uint8_t* data, uint32_t size) {
    return inner_ && inner_->InitGraphic(graphic, data, size);
}
int SoundRamaMedia::CreateSound(const uint8_t* data, uint32_t size) {
    return sound_ ? sound_->LoadSoundFromMem(data, size, 0) : -1;
}
void SoundRamaMedia::FreeSound(int sound_id) {
    if (sound_)
        sound_->RemoveSound(sound_id);
}
std::unique_ptr<RamaObject> SoundRamaMedia::CreateModel() {
    return inner_ ? inner_->CreateModel() : nullptr;
}
bool SoundRamaMedia::InitModel(RamaObject& model, const uint8_t* data, uint32_t size) {
    return inner_ && inner_->InitModel(model, data, size);
}
std::unique_ptr<RamaObject> SoundRamaMedia::CreateTexture(const uint8_t* data, uint32_t size) {
    return inner_ ? inner_->CreateTexture(data, size) : nullptr;
}
int SoundRamaMedia::RegisterTextureGroup(const uint8_t* data, uint32_t size) {
    return inner_ ? inner_->RegisterTextureGroup(data, size) : -1;
}
void SoundRamaMedia::FreeTexture(int texture_id) {
    if (inner_)
        inner_->FreeTexture(texture_id);
}

}  // namespace vorlane::sound
