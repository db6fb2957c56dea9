// RAMA_RES: one resource of the archive, made from its bytes when its location
// is loaded, and RAMA_MEDIA, the interface through which the graphics, sound and
// 3D subsystems turn resource bytes into their own objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace vorlane::resources {

// Resource types (the archive's type numbers).
enum RamaResourceType : int {
    kRamaTypeNone = 0,
    kRamaTypeGraphicFirst = 5,
    kRamaTypeGraphicLast = 8,
    kRamaTypeText = 11,
    kRamaTypeSound = 13,
    kRamaTypeModel = 15,
    kRamaTypeTextureFirst = 16,
    kRamaTypeTextureLast = 19,
    kRamaTypeTextureGroup = 20,
    kRamaTypeCount = 21,  // valid types are 0 to 20
};

// A graphic, texture or 3D model object that a subsystem made from resource bytes.
class RamaObject {
  public:
    static constexpr int kKindTexture = 4;
    virtual ~RamaObject() = default;
    // The object's kind; textures report kKindTexture.
    virtual int Kind() const { return 0; }
    // The texture manager's ID of a texture, -1 otherwise.
    virtual int TextureId() const { return -1; }
};

// Filled in by the media subsystem. Every call gets bytes that stay owned by the
// caller. Without an installed RAMA_MEDIA the resources keep their bytes.
class RAMA_MEDIA {
  public:
    virtual ~RAMA_MEDIA() = default;
    // Graphics (types 5 to 8): a new surface object, then its initialisation.
    virtual std::unique_ptr<RamaObject> CreateGraphic() = 0;
    virtual bool InitGraphic(RamaObject& graphic, const uint8_t* data, uint32_t size) = 0;
    // Sounds (type 13): a sound ID or a negative value; FreeSound gives one back.
    // Media without a sound system leave sound resources their bytes.
    virtual bool MakesSounds() const { return true; }
    virtual int CreateSound(const uint8_t* data, uint32_t size) = 0;
    virtual void FreeSound(int sound_id) = 0;
    // 3D models (type 15).
    virtual std::unique_ptr<RamaObject> CreateModel() = 0;
    virtual bool InitModel(RamaObject& model, const uint8_t* data, uint32_t size) = 0;
    // Textures (types 16 to 19): null on failure.
    virtual std::unique_ptr<RamaObject> CreateTexture(const uint8_t* data, uint32_t size) = 0;
    // Texture groups (type 20): a texture ID or a negative value.
    virtual int RegisterTextureGroup(const uint8_t* data, uint32_t size) = 0;
    // Gives back a texture or texture group ID.
    virtual void FreeTexture(int texture_id) = 0;
};

// Installs the media interface (not owned; null removes it).
void RAMA_SetMedia(RAMA_MEDIA* media);
RAMA_MEDIA* RAMA_GetMedia();

// Grows whenever a resource gives up its bytes (released, unloaded or
// destroyed): whoever reads an archive's bytes in place looks again when it
// changed.
uint64_t RAMA_BytesFreedCount();

class RAMA_RES {
  public:
    explicit RAMA_RES(int resource_type = kRamaTypeNone) : type(resource_type) {}
    virtual ~RAMA_RES();
    RAMA_RES(const RAMA_RES&) = delete;
    RAMA_RES& operator=(const RAMA_RES&) = delete;

    // Takes ownership of the bytes, then ReCreate; 1/0.
    virtual int Init(std::unique_ptr<uint8_t[]> bytes, uint32_t byte_count);
    // Builds the type's object from the bytes; 1/0 (0 also when there are no bytes).
    int ReCreate();
    // The bytes of raw data and text types (1 to 4, 9 to 12, 14), else null.
    const uint8_t* GetData(uint32_t* size_out) const;
    // Gives back sound and texture IDs, destroys the objects, frees the bytes.
    void Release();
    // Hands the bytes of a raw resource to another object's load-from-memory
    // operation; its result, or -1 when this resource hands out no bytes.
    int LoadInto(const std::function<int(const uint8_t* data, uint32_t size)>& load) const;

    int type;
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
    std::unique_ptr<RamaObject> graphic;  // graphic or texture
    int sound_id = -1;
    std::unique_ptr<RamaObject> pst;
    int texture_id = -1;

  private:
    int CreateGraphic(RAMA_MEDIA& media);
    int CreateSound(RAMA_MEDIA& media);
    int CreateModel(RAMA_MEDIA& media);
    int CreateTexture(RAMA_MEDIA& media);
    int CreateTextureGroup(RAMA_MEDIA& media);
    void FreeTextureId();
};

}  // namespace vorlane::resources
