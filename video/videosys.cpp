// VIDEOSYS implementation.
//
// [SECTION] index
//   - VIDEOSTREAM: one pvf stream
//   - Controls: open, bind and close
//   - Playback switches
//   - Per-frame update and decoding
#include "video/videosys.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "baselib/byte_reader.h"
#include "baselib/logsys.h"
#include "baselib/timer.h"
#include "media/osgfx.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_res.h"
#include "scripting/lua_glue.h"

namespace vorlane::video {

namespace {
VIDEOSYS* g_videosys = nullptr;
}

VIDEOSYS* VIDEOSYS_Get() {
    return g_videosys;
}
void VIDEOSYS_Set(VIDEOSYS* system) {
    g_videosys = system;
}

// [SECTION] VIDEOSTREAM: one pvf stream
bool VIDEOSTREAM::ReadHeader(const uint8_t* data, size_t size, const char* stream_name) {
    ByteReader r(data, size);
    if (data == nullptr || !r.Need(kPvfHeaderSize))
        return false;
    std::memcpy(header, data, kPvfHeaderSize);
    r.Skip(12);
    frame_count = r.U32();
    uint32_t w = r.U32();
    uint32_t h = r.U32();
    fps = r.U32();
    if (!r.ok() || w == 0 || h == 0 || w > uint32_t(kMaxVideoSide) || h > uint32_t(kMaxVideoSide))
        return false;
    width = int(w);
    height = int(h);
    name = stream_name ? stream_name : "";
    return true;
}

bool VIDEOSTREAM::InitFromMemory(const uint8_t* data, size_t size, const char* stream_name) {
    if (!ReadHeader(data, size, stream_name))
        return false;
    owned_.assign(data, data + size);
    bytes_ = owned_.data();
    size_ = owned_.size();
    flags = (flags & ~kStreamArchiveData) | kStreamOpen;
    Rewind();
    return true;
}

bool VIDEOSTREAM::InitFromArchive(const uint8_t* data, size_t size, const char* stream_name) {
    if (!ReadHeader(data, size, stream_name))
        return false;
    owned_.clear();
    bytes_ = data;
    size_ = size;
    archive_checked = resources::RAMA_BytesFreedCount();
    flags |= kStreamOpen | kStreamArchiveData;
    Rewind();
    return true;
}

void VIDEOSTREAM::Detach() {
    bytes_ = nullptr;
    size_ = 0;
    flags &= ~kStreamOpen;
    Rewind();
}

void VIDEOSTREAM::Rewind() {
    frame_offset_ = kPvfHeaderSize;
    frame_index = 0;
}

bool VIDEOSTREAM::CurrentFrame(const uint8_t** frame, size_t* size) const {
    ByteReader r(bytes_, size_);
    if (!r.Seek(frame_offset_) || !r.Skip(8))
        return false;
    uint32_t length = r.U32();
    if (!r.Skip(8) || !r.Need(length))
        return false;
    *frame = r.current();
    *size = length;
    return true;
}

bool VIDEOSTREAM::Next() {
    ByteReader r(bytes_, size_);
    if (!r.Seek(frame_offset_) || !r.Skip(8))
        return false;
    uint32_t length = r.U32();
    if (!r.Skip(8) || !r.Skip(length))
        return false;
    frame_offset_ = r.offset();
    return true;
}

// [SECTION] Controls: open, bind and close
VIDEOSYS::VIDEOSYS(resources::RAMA_CTRL* rama, int max_count)
    : rama_(rama), max_count_(max_count), factory_(CreateTheoraDecoder) {}

VIDEOSYS::~VIDEOSYS() {
    Shutdown();
    if (g_videosys == this)
        g_videosys = nullptr;
}

int VIDEOSYS::InitCodec(int /*value*/) {
    return 0;
}

VideoControl* VIDEOSYS::Get(int id) const {
    if (id < 0 || size_t(id) >= controls_.size())
        return nullptr;
    return controls_[size_t(id)].get();
}

const VideoControl* VIDEOSYS::control(int id) const {
    return Get(id);
}

void VIDEOSYS::AddNamedStream(const std::string& name, std::vector<uint8_t> bytes) {
    named_.emplace_back(name, std::move(bytes));
}

int VIDEOSYS::Open(const char* name, VideoRead read) {
    if (read == VideoRead::kStreamed) {
        LOGSYS_Error("VIDEO_STREAM streaming not supported !!!");
        LOGSYS_Error("vidstream init read failed");
        return -1;
    }
    for (const auto& [stream_name, bytes] : named_)
        if (name && stream_name == name)
            return OpenFromMemory(bytes.data(), bytes.size(), name);
    resources::RAMA_CTRL* rama = rama_ ? rama_ : LUA_GetHost().rama;
    resources::RAMA_RES* res = (rama && name) ? rama->GetResource(name) : nullptr;
    uint32_t size = 0;
    const uint8_t* data = res ? res->GetData(&size) : nullptr;
    auto stream = std::make_unique<VIDEOSTREAM>();
    if (data == nullptr || !stream->InitFromArchive(data, size, name)) {
        LOGSYS_Error("vidstream init read failed");
        return -1;
    }
    return AddControl(std::move(stream));
}

int VIDEOSYS::OpenFile(const char* name, VideoRead read) {
    std::vector<uint8_t> bytes;
    bool read_whole = false;
    if (name && read == VideoRead::kWhole) {
        char path[1024];
        std::snprintf(path, sizeof path, "%s.pvf", name);
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        const std::streamoff length = file ? std::streamoff(file.tellg()) : -1;
        if (length >= 0 && size_t(length) <= kMaxVideoFileBytes) {
            bytes.resize(size_t(length));
            file.seekg(0);
            read_whole = bool(file.read(reinterpret_cast<char*>(bytes.data()), length));
        }
    }
    if (!read_whole) {
        LOGSYS_Error("vidstream init read failed");
        return -1;
    }
    return OpenFromMemory(bytes.data(), bytes.size(), name);
}

int VIDEOSYS::OpenFromMemory(const uint8_t* data, size_t size, const char* name) {
    auto stream = std::make_unique<VIDEOSTREAM>();
    if (data == nullptr || !stream->InitFromMemory(data, size, name)) {
        LOGSYS_Error("vidstream init read failed");
        return -1;
    }
    return AddControl(std::move(stream));
}

int VIDEOSYS::AddControl(std::unique_ptr<VIDEOSTREAM> stream) {
    int used = 0;
    for (const auto& c : controls_)
        if (c)
            ++used;
    if (used >= max_count_) {
        LOGSYS_Error("video IDs are used up");
        return -1;
    }
    auto control = std::make_unique<VideoControl>();
    control->stream = std::move(stream);
    control->flags = kVideoActive;
    control->next_frame_time = baselib::AppClock().NowMs();
    int id = -1;
    for (size_t i = 0; i < controls_.size(); ++i)
        if (!controls_[i]) {
            id = int(i);
            break;
        }
    if (id < 0) {
        controls_.push_back(nullptr);
        id = int(controls_.size() - 1);
    }
    control->id = id;
    controls_[size_t(id)] = std::move(control);
    Start(*controls_[size_t(id)]);
    return id;
}

void VIDEOSYS::Start(VideoControl& c) {
    c.stream->Rewind();
    c.decoder = factory_ ? factory_(c.stream->width, c.stream->height) : nullptr;
    if (!c.decoder) {
        c.flags &= ~kVideoActive;
        return;
    }
    c.flags &= ~kVideoAdvancing;
    FrameStep(c, baselib::AppClock().NowMs());
    c.flags |= kVideoAdvancing;
}

int VIDEOSYS::BindSurface(int id, media::OSGFX* surface) {
    VideoControl* c = Get(id);
    if (c == nullptr)
        return -1;
    c->target = surface;
    c->texture_ids[0] = c->texture_ids[1] = -1;
    c->flags &= ~kVideoTexturePair;
    return 0;
}

// [SECTION] Playback switches
int VIDEOSYS::Play(int id) {
    VideoControl* c = Get(id);
    if (c == nullptr)
        return 0;
    if (c->stream->frame_index + 1 >= c->stream->frame_count)
        Restart(id);
    c->flags |= kVideoActive;
    c->flags &= ~kVideoPaused;
    c->next_frame_time = baselib::AppClock().NowMs() - 1;
    return 1;
}

int VIDEOSYS::Restart(int id) {
    VideoControl* c = Get(id);
    if (c == nullptr)
        return -1;
    c->flags &= ~kVideoActive;
    c->next_frame_time = baselib::AppClock().NowMs();
    Start(*c);
    return 0;
}

int VIDEOSYS::SetLoop(int id, bool loop) {
    VideoControl* c = Get(id);
    if (c == nullptr)
        return -1;
    if (loop)
        c->flags |= kVideoLoop;
    else
        c->flags &= ~kVideoLoop;
    return 0;
}

bool VIDEOSYS::IsLooping(int id) const {
    VideoControl* c = Get(id);
    return c && (c->flags & kVideoLoop);
}

bool VIDEOSYS::IsActive(int id) const {
    VideoControl* c = Get(id);
    return c && (c->flags & kVideoActive);
}

int VIDEOSYS::Pause(int id, bool paused) {
    VideoControl* c = Get(id);
    if (c == nullptr)
        return -1;
    if (paused)
        c->flags |= kVideoPaused;
    else
        c->flags &= ~kVideoPaused;
    return 0;
}

int VIDEOSYS::Close(int id) {
    if (Get(id) == nullptr)
        return -1;
    controls_[size_t(id)].reset();
    if (exclusive_ == id)
        exclusive_ = -1;
    return 0;
}

// [SECTION] Per-frame update and decoding
void VIDEOSYS::Update() {
    uint32_t now = baselib::AppClock().NowMs();
    for (auto& owned : controls_) {
        if (!owned)
            continue;
        if (exclusive_ >= 0 && owned->id != exclusive_) {
            owned->next_frame_time = now;
        } else if (owned->flags & kVideoActive) {
            FrameStep(*owned, now);
        }
    }
}

bool VIDEOSYS::AnyPlaying() const {
    for (const auto& owned : controls_) {
        if (owned && (owned->flags & kVideoActive) && !(owned->flags & kVideoPaused))
            return true;
    }
    return false;
}

void VIDEOSYS::Shutdown() {
    controls_.clear();
    exclusive_ = -1;
}

bool VIDEOSYS::StillReadable(VIDEOSTREAM& s) const {
    const uint64_t freed = resources::RAMA_BytesFreedCount();
    if (!(s.flags & kStreamArchiveData) || !(s.flags & kStreamOpen) || s.archive_checked == freed)
        return true;
    // Some resource gave up its bytes: is ours still there?
    resources::RAMA_CTRL* rama = rama_ ? rama_ : LUA_GetHost().rama;
    resources::RAMA_RES* res = rama ? rama->GetResource(s.name.c_str()) : nullptr;
    uint32_t size = 0;
    const uint8_t* data = res ? res->GetData(&size) : nullptr;
    if (data != s.bytes() || size != s.size()) {
        s.Detach();
        return false;
    }
    s.archive_checked = freed;
    return true;
}

void VIDEOSYS::FrameStep(VideoControl& c, uint32_t now) {
    // A control whose decoder could not be made (Play may have set it active
    // again) or whose archive bytes went away has nothing to show.
    if (!c.decoder || !StillReadable(*c.stream)) {
        c.flags &= ~kVideoActive;
        return;
    }
    c.output_ready = true;
    if (c.flags & kVideoPaused) {
        c.next_frame_time = now;
        return;
    }
    bool advancing = c.flags & kVideoAdvancing;
    uint32_t target = advancing ? now : c.next_frame_time + 1;
    // Times wrap with the 32-bit millisecond clock: compare by difference.
    if (int32_t(target - c.next_frame_time) <= 0)
        return;
    uint32_t frame_ms = 1000 / (c.stream->fps ? c.stream->fps : 25);
    if (frame_ms == 0)
        frame_ms = 1;
    VIDEOSTREAM& s = *c.stream;
    for (int tries = kMaxCatchUpFrames; tries > 0; --tries) {
        if (advancing) {
            if (!(s.flags & kStreamOpen)) {
                c.flags &= ~kVideoActive;
                return;
            }
            ++s.frame_index;
            if (s.frame_index >= s.frame_count) {
                if (!(c.flags & kVideoLoop)) {
                    c.flags &= ~kVideoActive;
                    return;
                }
                s.Rewind();
            } else if (!s.Next()) {
                // The header promised more records than the data holds.
                c.flags &= ~kVideoActive;
                return;
            }
        }
        c.next_frame_time += frame_ms;
        const uint8_t* frame = nullptr;
        size_t size = 0;
        if (s.CurrentFrame(&frame, &size)) {
            c.decoder->DecodeFrame(frame, size);
            ++c.decoded;
        }
        bool reached = int32_t(target - c.next_frame_time) <= 0;
        if (reached || tries == 1)
            WritePicture(c);
        if (reached)
            break;
    }
}

void VIDEOSYS::WritePicture(VideoControl& c) {
    if (c.target == nullptr || c.target->empty())
        return;
    ptrdiff_t pitch = 0;
    uint32_t* pixels = c.target->BeginDraw(&pitch);
    if (pixels == nullptr)
        return;
    const uint32_t* picture = c.decoder->Picture();
    int w = std::min(c.stream->width, c.target->width());
    int h = std::min(c.stream->height, c.target->height());
    // The picture is stored bottom-up: its last stored row is the top row.
    for (int y = 0; y < h; ++y) {
        const uint32_t* src = picture + size_t(c.stream->height - 1 - y) * size_t(c.stream->width);
        std::memcpy(pixels + ptrdiff_t(y) * pitch, src, size_t(w) * 4);
    }
    c.target->EndDraw();
    ++c.blits;
}

}  // namespace vorlane::video
