// SEQ_CTRL: the sequence player. Lua scripts build elements (pictures, texts,
// videos, speech placeholders), sequences of steps and modifiers (FILTER) that
// act on elements; playing a sequence runs its steps one after another, a step
// ending when all its modifiers are done.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct lua_State;
namespace vorlane::media {
class OSGFX;
}
namespace vorlane::resources {
class RAMA_CTRL;
class TEXTLIB;
class QNTFONTCTRL_BASE;
class QNTFONT_BASE;
}  // namespace vorlane::resources

namespace vorlane::video {

class VIDEOSYS;

// Element flags.
constexpr uint32_t kElemVisible = 0x001;
constexpr uint32_t kElemAlphaOrMultiline = 0x100;
constexpr uint32_t kElemLayoutOutdated = 0x400;
constexpr uint32_t kElemHCenter = 0x800;
constexpr uint32_t kElemVCenter = 0x1000;

// Element types.
enum ElementType : int { kElemGfx = 1, kElemVideo = 2, kElemText = 5, kElemSpeech = 6 };

// Modifier flags and types.
constexpr uint32_t kFilterDone = 0x1;
constexpr uint32_t kFilterBySpeed = 0x100;
constexpr uint32_t kFilterFromElement = 0x200;
constexpr uint32_t kFilterIgnoreDone = 0x100000;
constexpr uint32_t kFilterLoop = 0x200000;
enum FilterType : int { kFilterMove = 1, kFilterWait = 2, kFilterPlay = 3, kFilterText = 4 };

// Sequence flags.
constexpr uint32_t kSeqPlaying = 0x1;
constexpr uint32_t kSeqFinished = 0x2;

class ELEMENT_BASE {
  public:
    explicit ELEMENT_BASE(int element_type) : type(element_type) {}
    virtual ~ELEMENT_BASE() = default;
    virtual void Draw(media::OSGFX* /*screen*/) {}
    virtual void SetPosition(int px, int py) { x = px, y = py; }
    int GetX() const { return x; }
    int GetY() const { return y; }
    virtual void SetSize(int pw, int ph) { w = pw, h = ph; }
    int GetW() const { return w; }
    int GetH() const { return h; }
    virtual void SetText(const char* /*text*/) {}
    virtual void SetFont(resources::QNTFONT_BASE* /*font*/) {}
    virtual void Play() {}
    virtual void Restart() {}
    virtual void SetLoop(bool /*loop*/) {}
    virtual bool IsLooping() const { return false; }
    virtual bool IsFinished() const { return false; }

    uint32_t flags = kElemVisible;
    int type;
    int x = 0, y = 0, w = 0, h = 0;
};

class SEQ_CTRL;

// A modifier ("FILTER"): acts on one element during its step.
struct FILTER {
    uint32_t flags = 0;
    int type = 0;
    int element_id = 0;
    // Move
    int32_t from_x = 0, from_y = 0, to_x = 0, to_y = 0;
    uint32_t start = 0, end = 0, base = 0, start_wait = 0;
    int32_t speed = 20;
    uint32_t duration = 0;  // Move and Wait
    // Text
    std::string text;

    void Start(SEQ_CTRL& ctrl, uint32_t now);
    void Update(SEQ_CTRL& ctrl, uint32_t now);
    bool IsDone() const { return (flags & kFilterIgnoreDone) || (flags & kFilterDone); }
};

struct STEPLIST {
    std::vector<int> modifier_ids;
    uint32_t flags = 0;
};

struct SEQUENCE {
    uint32_t flags = 0;
    std::vector<std::unique_ptr<STEPLIST>> steps;  // step id = index + 1
    int current = 0;                               // step id, 0 = before the first
    std::vector<int> element_ids;
    std::vector<int> modifier_ids;
};

class SEQ_CTRL {
  public:
    // None of the pointers is owned; any may be null (the archive then comes from
    // the Lua host).
    SEQ_CTRL(resources::RAMA_CTRL* rama, resources::TEXTLIB* textlib,
             resources::QNTFONTCTRL_BASE* fonts, VIDEOSYS* videos);
    ~SEQ_CTRL();
    SEQ_CTRL(const SEQ_CTRL&) = delete;
    SEQ_CTRL& operator=(const SEQ_CTRL&) = delete;

    enum class InitResult { kReady, kScriptingFailed, kSequencesFailed };
    // Registers the Lua functions, then runs "script.seq.internal" (the
    // scripting) and "script.seq.defines" (the sequences) from the archive; a
    // missing resource or a script error fails its stage.
    InitResult InitSequenceCtrl(lua_State* lua);
    // Registers the Lua functions only.
    void RegisterFunctions(lua_State* lua);

    // One frame at the application clock's time, or at `now`.
    void Update();
    void Update(uint32_t now);
    void DrawElements(media::OSGFX* screen);
    // Runs SEQUENCES.<name>(<arguments>) and starts the sequence it returns; its id or 0.
    int Sequence_Execute(const char* name, const char* arguments);
    // Stops every sequence (they are deleted by the next update).
    void SkipAll();
    bool AnyPlaying() const;

    // Object creation (the Lua functions use these); ids or 0.
    int CreateSequence();
    int CreateStep(int sequence_id);
    int CreateElement(std::unique_ptr<ELEMENT_BASE> element);
    int ReserveElement();
    int CreateFilter(std::unique_ptr<FILTER> filter);
    bool AttachFilter(int sequence_id, int step_id, int filter_id);

    ELEMENT_BASE* GetElement(int id) const;
    FILTER* GetFilter(int id) const;
    SEQUENCE* GetSequence(int id) const;
    size_t element_count() const;
    size_t sequence_count() const;

    resources::RAMA_CTRL* rama() const;
    resources::TEXTLIB* textlib() const { return textlib_; }
    resources::QNTFONTCTRL_BASE* fonts() const { return fonts_; }
    VIDEOSYS* videos() const { return videos_; }
    lua_State* lua() const { return lua_; }

  private:
    void Advance(SEQUENCE& sequence);
    void DeleteSequence(int id);

    resources::RAMA_CTRL* rama_;
    resources::TEXTLIB* textlib_;
    resources::QNTFONTCTRL_BASE* fonts_;
    VIDEOSYS* videos_;
    lua_State* lua_ = nullptr;
    uint32_t now_ = 0;
    struct ElementSlot {
        std::unique_ptr<ELEMENT_BASE> element;
        bool used = false;
    };
    std::vector<ElementSlot> elements_;
    std::vector<std::unique_ptr<FILTER>> filters_;
    std::vector<std::unique_ptr<SEQUENCE>> sequences_;
};

SEQ_CTRL* SEQ_Get();

// Element constructors (null on failure).
// A picture element showing the (shared) surface `picture`.
std::unique_ptr<ELEMENT_BASE> MakeGfxElement(std::shared_ptr<const media::OSGFX> picture);
std::unique_ptr<ELEMENT_BASE> MakeTextElement(const char* text, resources::QNTFONT_BASE* font);
std::unique_ptr<ELEMENT_BASE> MakeVideoElement(VIDEOSYS* videos, const char* name);

}  // namespace vorlane::video
