// SEQ_CTRL implementation: elements, modifiers, steps and the frame update.
//
// Index:
// [SECTION] Elements
// [SECTION] Modifiers
// [SECTION] Identifier containers
// [SECTION] Playing
#include "video/seq_ctrl.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "baselib/logsys.h"
#include "baselib/timer.h"
#include "media/osgfx.h"
#include "resources/qntfont.h"
#include "scripting/lua_glue.h"
#include "scripting/text_multiline.h"
#include "video/videosys.h"

namespace vorlane::video {

namespace {
SEQ_CTRL* g_seq = nullptr;
}

SEQ_CTRL* SEQ_Get() {
    return g_seq;
}

// [SECTION] Elements

namespace {

class ElementGfx : public ELEMENT_BASE {
  public:
    ElementGfx() : ELEMENT_BASE(kElemGfx) {}
    void Draw(media::OSGFX* screen) override {
        if (screen && picture && !picture->empty())
            picture->PasteAt(
                screen, x, y,
                (flags & kElemAlphaOrMultiline) ? media::kPasteAlpha : media::kPasteOpaque);
    }
    // The archive's surface, shared with everyone who shows the picture.
    std::shared_ptr<const media::OSGFX> picture;
};

class ElementVideo : public ELEMENT_BASE {
  public:
    ElementVideo(VIDEOSYS* videos) : ELEMENT_BASE(kElemVideo), videos_(videos) {}
    ~ElementVideo() override {
        if (videos_ && stream_id >= 0)
            videos_->Close(stream_id);
    }
    void Draw(media::OSGFX* screen) override {
        if (screen == nullptr || surface.empty())
            return;
        if (w > 0 && h > 0)
            surface.PasteScaled(screen, x, y, w, h);
        else
            surface.PasteAt(screen, x, y);
    }
    void Play() override {
        if (videos_ && !videos_->IsActive(stream_id))
            videos_->Play(stream_id);
    }
    void Restart() override {
        if (videos_)
            videos_->Restart(stream_id);
    }
    void SetLoop(bool loop) override {
        if (videos_)
            videos_->SetLoop(stream_id, loop);
    }
    bool IsLooping() const override { return videos_ && videos_->IsLooping(stream_id); }
    bool IsFinished() const override { return !videos_ || !videos_->IsActive(stream_id); }

    media::OSGFX surface;
    int stream_id = -1;

  private:
    VIDEOSYS* videos_;
};

// Without a font a text is drawn in the surface's own 8-pixel glyphs.
class BuiltinGlyphs : public TEXT_MEASURE {
  public:
    int16_t TextWidth(const char* text) const override {
        return int16_t(std::min<size_t>(std::strlen(text) * 8, INT16_MAX));
    }
};

class ElementText : public ELEMENT_BASE {
  public:
    ElementText() : ELEMENT_BASE(kElemText) {}
    const TEXT_MEASURE& Measure() const {
        static const BuiltinGlyphs builtin;
        return font ? static_cast<const TEXT_MEASURE&>(*font) : builtin;
    }
    int TextWidth(const std::string& s) const { return Measure().TextWidth(s.c_str()); }
    void SetText(const char* value) override {
        text = value ? value : "";
        if (text.empty())
            flags &= ~kElemVisible;
        else
            flags |= kElemVisible;
        flags |= kElemLayoutOutdated;
    }
    void SetFont(resources::QNTFONT_BASE* f) override {
        font = f;
        line_height = (f && f->font_height) ? f->font_height : 8;
        flags |= kElemLayoutOutdated;
    }
    void DrawLine(media::OSGFX* screen, int px, int py, const std::string& s) {
        if (screen == nullptr)
            return;
        if (font)
            font->DrawText(screen, px, py, s.c_str(), 0);
        else
            screen->DirectSimpleText(px, py, s.c_str(), 0xFFFFFFFFu);
    }
    void Draw(media::OSGFX* screen) override {
        if (!(flags & kElemAlphaOrMultiline) || w <= 0 || h <= 0) {
            lines_drawn = 1;
            DrawLine(screen, x, y, text);
            return;
        }
        // A new area width wraps again too, not only a new text or font.
        if ((flags & kElemLayoutOutdated) || layout.GetWidth() != uint32_t(w)) {
            layout.Clear();
            layout.SetFont(&Measure());
            layout.SetWidth(uint32_t(w));
            layout.SetText(text.c_str(), 0);
            flags &= ~kElemLayoutOutdated;
        }
        const int count =
            std::min<int>(int(layout.GetLineCount()), line_height ? h / line_height : 0);
        int top = y;
        if (flags & kElemVCenter)
            top += (h - line_height * count) / 2;
        for (int i = 0; i < count; ++i) {
            int left = x;
            if (flags & kElemHCenter)
                left += (w - layout.GetLineWidth(uint32_t(i))) / 2;
            DrawLine(screen, left, top + i * line_height, layout.GetLine(uint32_t(i)));
        }
        lines_drawn = count;
    }

    std::string text;
    resources::QNTFONT_BASE* font = nullptr;
    int line_height = 8;
    TEXT_MULTILINE layout;
    int lines_drawn = 0;
};

}  // namespace

std::unique_ptr<ELEMENT_BASE> MakeGfxElement(std::shared_ptr<const media::OSGFX> picture) {
    if (!picture || picture->empty())
        return nullptr;
    auto e = std::make_unique<ElementGfx>();
    e->w = picture->width();
    e->h = picture->height();
    e->picture = std::move(picture);
    return e;
}

std::unique_ptr<ELEMENT_BASE> MakeTextElement(const char* text, resources::QNTFONT_BASE* font) {
    auto e = std::make_unique<ElementText>();
    e->SetFont(font);
    e->SetText(text);
    e->w = e->TextWidth(e->text);
    e->h = e->line_height;
    return e;
}

std::unique_ptr<ELEMENT_BASE> MakeVideoElement(VIDEOSYS* videos, const char* name) {
    if (videos == nullptr)
        return nullptr;
    auto e = std::make_unique<ElementVideo>(videos);
    e->stream_id = videos->Open(name);
    const VideoControl* c = videos->control(e->stream_id);
    if (c == nullptr || e->surface.Create(c->stream->width, c->stream->height) != 0)
        return nullptr;
    videos->BindSurface(e->stream_id, &e->surface);
    videos->Restart(e->stream_id);  // shows the first frame in the new surface
    return e;
}

// [SECTION] Modifiers

void FILTER::Start(SEQ_CTRL& ctrl, uint32_t now) {
    ELEMENT_BASE* element = ctrl.GetElement(element_id);
    switch (type) {
        case kFilterMove: {
            if ((flags & kFilterFromElement) && element) {
                from_x = element->GetX();
                from_y = element->GetY();
            }
            if ((flags & kFilterBySpeed) && speed != 0) {
                double dx = double(to_x) - from_x, dy = double(to_y) - from_y;
                int64_t distance = std::llround(std::sqrt(dx * dx + dy * dy));
                duration =
                    uint32_t(std::max<int64_t>(0, distance * 1000 / std::abs(int64_t(speed))));
            }
            base = now;
            start = start_wait + now;
            end = duration + start;
            flags &= ~kFilterDone;
            break;
        }
        case kFilterWait:
            start = now;
            flags &= ~kFilterDone;
            break;
        case kFilterPlay:
            if (element) {
                element->SetLoop(flags & kFilterLoop);
                element->Play();
            }
            flags &= ~kFilterDone;
            break;
        case kFilterText:
            if (element)
                flags &= ~kFilterDone;
            break;
        default:
            break;
    }
}

void FILTER::Update(SEQ_CTRL& ctrl, uint32_t now) {
    if (flags & kFilterDone)
        return;
    ELEMENT_BASE* element = ctrl.GetElement(element_id);
    switch (type) {
        case kFilterMove: {
            double p;
            if (int32_t(now - start) < 0)
                p = 0;
            else if (start == end || int32_t(now - end) >= 0)
                p = 1;
            else
                p = double(now - start) / double(end - start);
            if (p >= 1) {
                flags |= kFilterDone;
                if (element)
                    element->SetPosition(to_x, to_y);
                start -= base;
                end -= base;
            } else if (element) {
                element->SetPosition(int(from_x + (to_x - from_x) * p),
                                     int(from_y + (to_y - from_y) * p));
            }
            break;
        }
        case kFilterWait:
            if (int32_t(now - (start + duration)) > 0)
                flags |= kFilterDone;
            break;
        case kFilterPlay:
            if (element == nullptr || element->IsLooping() || element->IsFinished())
                flags |= kFilterDone;
            break;
        case kFilterText:
            if (element)
                element->SetText(text.c_str());
            flags |= kFilterDone;
            break;
        default:
            flags |= kFilterDone;
            break;
    }
}

// [SECTION] Identifier containers

namespace {
template <typename T>
int StoreId(std::vector<std::unique_ptr<T>>& table, std::unique_ptr<T> item) {
    for (size_t i = 0; i < table.size(); ++i)
        if (!table[i]) {
            table[i] = std::move(item);
            return int(i + 1);
        }
    table.push_back(std::move(item));
    return int(table.size());
}
template <typename T>
T* FindId(const std::vector<std::unique_ptr<T>>& table, int id) {
    if (id <= 0 || size_t(id) > table.size())
        return nullptr;
    return table[size_t(id - 1)].get();
}
}  // namespace

SEQ_CTRL::SEQ_CTRL(resources::RAMA_CTRL* rama, resources::TEXTLIB* textlib,
                   resources::QNTFONTCTRL_BASE* fonts, VIDEOSYS* videos)
    : rama_(rama), textlib_(textlib), fonts_(fonts), videos_(videos) {
    g_seq = this;
}

SEQ_CTRL::~SEQ_CTRL() {
    sequences_.clear();
    filters_.clear();
    elements_.clear();
    if (g_seq == this)
        g_seq = nullptr;
}

resources::RAMA_CTRL* SEQ_CTRL::rama() const {
    return rama_ ? rama_ : LUA_GetHost().rama;
}

int SEQ_CTRL::CreateSequence() {
    return StoreId(sequences_, std::make_unique<SEQUENCE>());
}

int SEQ_CTRL::CreateStep(int sequence_id) {
    SEQUENCE* s = GetSequence(sequence_id);
    if (s == nullptr)
        return 0;
    return StoreId(s->steps, std::make_unique<STEPLIST>());
}

int SEQ_CTRL::CreateElement(std::unique_ptr<ELEMENT_BASE> element) {
    for (size_t i = 0; i < elements_.size(); ++i)
        if (!elements_[i].used) {
            elements_[i] = {std::move(element), true};
            return int(i + 1);
        }
    elements_.push_back({std::move(element), true});
    return int(elements_.size());
}

int SEQ_CTRL::ReserveElement() {
    return CreateElement(nullptr);
}

int SEQ_CTRL::CreateFilter(std::unique_ptr<FILTER> filter) {
    return StoreId(filters_, std::move(filter));
}

bool SEQ_CTRL::AttachFilter(int sequence_id, int step_id, int filter_id) {
    SEQUENCE* s = GetSequence(sequence_id);
    STEPLIST* step = s ? FindId(s->steps, step_id) : nullptr;
    FILTER* f = GetFilter(filter_id);
    if (step == nullptr || f == nullptr)
        return false;
    step->modifier_ids.push_back(filter_id);
    step->flags &= ~1u;
    if (f->element_id > 0 && std::find(s->element_ids.begin(), s->element_ids.end(),
                                       f->element_id) == s->element_ids.end())
        s->element_ids.push_back(f->element_id);
    if (std::find(s->modifier_ids.begin(), s->modifier_ids.end(), filter_id) ==
        s->modifier_ids.end())
        s->modifier_ids.push_back(filter_id);
    return true;
}

ELEMENT_BASE* SEQ_CTRL::GetElement(int id) const {
    if (id <= 0 || size_t(id) > elements_.size())
        return nullptr;
    return elements_[size_t(id - 1)].element.get();
}

FILTER* SEQ_CTRL::GetFilter(int id) const {
    return FindId(filters_, id);
}
SEQUENCE* SEQ_CTRL::GetSequence(int id) const {
    return FindId(sequences_, id);
}

size_t SEQ_CTRL::element_count() const {
    return size_t(std::count_if(elements_.begin(), elements_.end(),
                                [](const ElementSlot& s) { return s.used; }));
}

size_t SEQ_CTRL::sequence_count() const {
    return size_t(std::count_if(sequences_.begin(), sequences_.end(),
                                [](const auto& s) { return s != nullptr; }));
}

// [SECTION] Playing

void SEQ_CTRL::Advance(SEQUENCE& s) {
    int next = s.current + 1;
    while (next <= int(s.steps.size()) && !s.steps[size_t(next - 1)]) ++next;
    if (next > int(s.steps.size())) {
        s.flags &= ~kSeqPlaying;
        s.flags |= kSeqFinished;
        return;
    }
    s.current = next;
    for (int id : s.steps[size_t(next - 1)]->modifier_ids)
        if (FILTER* f = GetFilter(id))
            f->Start(*this, now_);
}

void SEQ_CTRL::DeleteSequence(int id) {
    SEQUENCE* s = GetSequence(id);
    if (s == nullptr)
        return;
    for (int f : s->modifier_ids)
        if (GetFilter(f))
            filters_[size_t(f - 1)].reset();
    for (int e : s->element_ids)
        if (e > 0 && size_t(e) <= elements_.size())
            elements_[size_t(e - 1)] = {};
    sequences_[size_t(id - 1)].reset();
}

void SEQ_CTRL::Update() {
    Update(baselib::AppClock().NowMs());
}

void SEQ_CTRL::Update(uint32_t now) {
    now_ = now;
    for (size_t i = 0; i < sequences_.size(); ++i) {
        SEQUENCE* s = sequences_[i].get();
        if (s == nullptr)
            continue;
        if (s->flags & kSeqPlaying) {
            STEPLIST* step = FindId(s->steps, s->current);
            if (step) {
                step->flags &= ~1u;
                bool all_done = true;
                for (int id : step->modifier_ids) {
                    FILTER* f = GetFilter(id);
                    if (f == nullptr)
                        continue;
                    f->Update(*this, now);
                    if (!f->IsDone())
                        all_done = false;
                }
                if (all_done) {
                    step->flags |= 1u;
                    Advance(*s);
                }
            } else {
                Advance(*s);
            }
        }
        if (s->flags & kSeqFinished)
            DeleteSequence(int(i + 1));
    }
}

void SEQ_CTRL::DrawElements(media::OSGFX* screen) {
    for (auto& slot : elements_)
        if (slot.element && (slot.element->flags & kElemVisible))
            slot.element->Draw(screen);
}

void SEQ_CTRL::SkipAll() {
    for (auto& s : sequences_)
        if (s) {
            s->flags &= ~kSeqPlaying;
            s->flags |= kSeqFinished;
        }
}

bool SEQ_CTRL::AnyPlaying() const {
    for (const auto& s : sequences_)
        if (s && (s->flags & kSeqPlaying))
            return true;
    return false;
}

}  // namespace vorlane::video
