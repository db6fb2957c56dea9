#include "resources/rama_res.h"

#include <atomic>

#include "baselib/log_channel.h"

namespace vorlane::resources {

namespace {

RAMA_MEDIA* g_media = nullptr;
// Counts the times resource bytes were freed; see RAMA_BytesFreedCount.
std::atomic<uint64_t> g_bytes_freed{0};

constexpr const char* kClass = "RAMA_RES";
constexpr const char* kOp = "ReCreate";

bool HandsOutBytes(int type) {
    return (type >= 1 && type <= 4) || (type >= 9 && type <= 12) || type == 14;
}

}  // namespace

void RAMA_SetMedia(RAMA_MEDIA* media) {
    g_media = media;
}
RAMA_MEDIA* RAMA_GetMedia() {
    return g_media;
}

RAMA_RES::~RAMA_RES() {
    Release();
}

int RAMA_RES::Init(std::unique_ptr<uint8_t[]> bytes, uint32_t byte_count) {
    Release();
    data = std::move(bytes);
    size = data ? byte_count : 0;
    return ReCreate();
}

const uint8_t* RAMA_RES::GetData(uint32_t* size_out) const {
    if (!HandsOutBytes(type) || !data) {
        if (size_out)
            *size_out = 0;
        return nullptr;
    }
    if (size_out)
        *size_out = size;
    return data.get();
}

int RAMA_RES::LoadInto(const std::function<int(const uint8_t*, uint32_t)>& load) const {
    uint32_t length = 0;
    const uint8_t* bytes = GetData(&length);
    if (!bytes || !load)
        return -1;
    return load(bytes, length);
}

void RAMA_RES::FreeTextureId() {
    if (texture_id >= 0 && g_media)
        g_media->FreeTexture(texture_id);
    texture_id = -1;
}

void RAMA_RES::Release() {
    if (sound_id >= 0 && g_media)
        g_media->FreeSound(sound_id);
    sound_id = -1;
    FreeTextureId();
    graphic.reset();
    pst.reset();
    if (data)
        g_bytes_freed.fetch_add(1, std::memory_order_relaxed);
    data.reset();
    size = 0;
}

uint64_t RAMA_BytesFreedCount() {
    return g_bytes_freed.load(std::memory_order_relaxed);
}

int RAMA_RES::ReCreate() {
    if (!data)
        return 0;
    bool has_object = (type >= kRamaTypeGraphicFirst && type <= kRamaTypeGraphicLast) ||
                      type == kRamaTypeSound || type == kRamaTypeModel ||
                      (type >= kRamaTypeTextureFirst && type <= kRamaTypeTextureLast) ||
                      type == kRamaTypeTextureGroup;
    // Without a media subsystem the bytes stay for whoever installs one later;
    // so do a sound's when no sound system runs (the program runs silent).
    if (!has_object || !g_media || (type == kRamaTypeSound && !g_media->MakesSounds()))
        return 1;
    RAMA_MEDIA& media = *g_media;
    if (type <= kRamaTypeGraphicLast)
        return CreateGraphic(media);
    if (type == kRamaTypeSound)
        return CreateSound(media);
    if (type == kRamaTypeModel)
        return CreateModel(media);
    if (type <= kRamaTypeTextureLast)
        return CreateTexture(media);
    return CreateTextureGroup(media);
}

int RAMA_RES::CreateGraphic(RAMA_MEDIA& media) {
    if (!graphic) {
        graphic = media.CreateGraphic();
        if (!graphic) {
            Log(kLogError, "%s::%s: can't create OSGFX graphic", kClass, kOp);
            return 0;
        }
    }
    if (!media.InitGraphic(*graphic, data.get(), size)) {
        graphic.reset();
        Log(kLogError, "%s::%s: can't init OSGFX graphic", kClass, kOp);
        return 0;
    }
    data.reset();
    size = 0;
    return 1;
}

int RAMA_RES::CreateSound(RAMA_MEDIA& media) {
    if (sound_id >= 0)
        media.FreeSound(sound_id);
    sound_id = media.CreateSound(data.get(), size);
    if (sound_id < 0) {
        sound_id = -1;
        Log(kLogError, "%s::%s: can't create sound", kClass, kOp);
        return 0;
    }
    data.reset();
    size = 0;
    return 1;
}

int RAMA_RES::CreateModel(RAMA_MEDIA& media) {
    pst = media.CreateModel();
    if (!pst) {
        Log(kLogError, "%s::%s: can't create PST", kClass, kOp);
        return 0;
    }
    if (!media.InitModel(*pst, data.get(), size)) {
        pst.reset();
        Log(kLogError, "%s::%s: can't init PST", kClass, kOp);
        return 0;
    }
    return 1;
}

int RAMA_RES::CreateTexture(RAMA_MEDIA& media) {
    FreeTextureId();
    graphic.reset();
    std::unique_ptr<RamaObject> texture = media.CreateTexture(data.get(), size);
    if (!texture || texture->Kind() != RamaObject::kKindTexture) {
        Log(kLogError, "%s::%s: can't init texture OSGFX", kClass, kOp);
        return 0;
    }
    texture_id = texture->TextureId();
    graphic = std::move(texture);
    data.reset();
    size = 0;
    return 1;
}

int RAMA_RES::CreateTextureGroup(RAMA_MEDIA& media) {
    FreeTextureId();
    int id = media.RegisterTextureGroup(data.get(), size);
    if (id < 0) {
        Log(kLogError, "%s::%s: can't init texture group", kClass, kOp);
        return 0;
    }
    texture_id = id;
    return 1;
}

}  // namespace vorlane::resources
