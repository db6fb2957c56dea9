#include "server/cluster_messages.h"

#include <algorithm>

#include "baselib/byte_reader.h"

namespace vorlane::server {

namespace {

constexpr uint8_t kVersion = 1;

// Writes the fields Walk names.
struct Writer {
    ByteWriter out;
    void U16(uint16_t v) { out.U16(v); }
    void U32(uint32_t v) { out.U32(v); }
    void U64(uint64_t v) { out.U64(v); }
    void I64(int64_t v) { out.U64(uint64_t(v)); }
    void Text(const std::string& text, size_t max) {
        const size_t length = std::min(text.size(), max);
        out.U16(uint16_t(length));
        out.Bytes(text.data(), length);
    }
    void Profile(const net::Profile& profile) {
        size_t length = profile.size();
        while (length > 0 && profile[length - 1] == 0) --length;
        out.U16(uint16_t(length));
        out.Bytes(profile.data(), length);
    }
    void Record(const net::GameRecord& record) { out.Bytes(record.data(), record.size()); }
    void Seats(const std::vector<ClusterSeat>& seats) {
        const size_t count = std::min(seats.size(), kClusterSeatsMax);
        out.U16(uint16_t(count));
        for (size_t i = 0; i < count; ++i) {
            out.U32(seats[i].account);
            out.U16(seats[i].profile);
        }
    }
};

// Reads them, each within its bound; a failure is sticky (ByteReader).
struct Reader {
    ByteReader in;
    void U16(uint16_t& v) { v = in.U16(); }
    void U32(uint32_t& v) { v = in.U32(); }
    void U64(uint64_t& v) { v = in.U64(); }
    void I64(int64_t& v) { v = int64_t(in.U64()); }
    // Fails the reader: a bound was broken.
    void Fail() { in.Need(in.remaining() + 1); }
    void Text(std::string& text, size_t max) {
        const uint16_t length = in.U16();
        if (length > max) {
            Fail();
            return;
        }
        const auto bytes = in.View(length);
        text.assign(bytes.begin(), bytes.end());
    }
    void Profile(net::Profile& profile) {
        const uint16_t length = in.U16();
        profile.fill(0);
        if (length > profile.size()) {
            Fail();
            return;
        }
        in.Bytes(profile.data(), length);
    }
    void Record(net::GameRecord& record) { in.Bytes(record.data(), record.size()); }
    void Seats(std::vector<ClusterSeat>& seats) {
        const uint16_t count = in.U16();
        if (count > kClusterSeatsMax) {
            Fail();
            return;
        }
        seats.clear();
        for (uint16_t i = 0; i < count && in.ok(); ++i) {
            ClusterSeat seat;
            seat.account = in.U32();
            seat.profile = in.U16();
            seats.push_back(seat);
        }
    }
};

// The fields of each kind, in order, for writing (M const) and reading alike.
// False for a kind this version does not know.
template <typename Io, typename M>
bool Walk(Io& io, M& m) {
    switch (m.kind) {
        case ClusterKind::kHello:
        case ClusterKind::kHeartbeat:
        case ClusterKind::kGone:
            io.U64(m.incarnation);
            return true;
        case ClusterKind::kStateRequest:
            io.U32(m.request);
            return true;
        case ClusterKind::kStateEnd:
            io.U64(m.incarnation);
            io.U32(m.request);
            return true;
        case ClusterKind::kUser:
            io.U32(m.user);
            io.U32(m.account);
            io.U16(m.channel);
            io.U16(m.profile_number);
            io.Text(m.name, kClusterNameMax);
            io.Profile(m.profile);
            return true;
        case ClusterKind::kUserLeft:
            io.U32(m.user);
            io.U16(m.channel);
            return true;
        case ClusterKind::kUserOff:
            io.U32(m.user);
            return true;
        case ClusterKind::kChat:
            io.U32(m.user);
            io.U16(m.channel);
            io.Text(m.text, kClusterTextMax);
            return true;
        case ClusterKind::kPrivate:
            io.U32(m.user);
            io.U32(m.target);
            io.U16(m.channel);
            io.Text(m.text, kClusterTextMax);
            return true;
        case ClusterKind::kGame:
            io.U16(m.channel);
            io.U32(m.user);
            io.Record(m.record);
            io.Seats(m.seats);
            return true;
        case ClusterKind::kGameRemoved:
            io.U16(m.channel);
            io.U32(m.game);
            return true;
        case ClusterKind::kSeat:
            io.U16(m.channel);
            io.U32(m.game);
            io.U32(m.account);
            io.U16(m.profile_number);
            return true;
        case ClusterKind::kMute:
            io.U32(m.account);
            io.I64(m.expires);
            io.Text(m.text, kClusterTextMax);
            return true;
        case ClusterKind::kUnmute:
        case ClusterKind::kStats:
            io.U32(m.account);
            return true;
        case ClusterKind::kDismiss:
            io.U32(m.user);
            io.U32(m.account);
            io.U32(m.address);
            io.U32(m.code);
            io.U32(m.seconds);
            io.Text(m.text, kClusterTextMax);
            return true;
        case ClusterKind::kSay:
            io.Text(m.text, kClusterTextMax);
            return true;
        case ClusterKind::kPresence:
            io.U32(m.user);
            io.U32(m.account);
            io.U16(m.event);
            io.U16(m.state);
            io.U16(m.visibility);
            io.I64(m.since);
            io.Text(m.text, kClusterTextMax);
            return true;
        case ClusterKind::kSocial:
            io.U32(m.account);
            io.U32(m.target);
            io.U16(m.event);
            io.U16(m.relation);
            io.Text(m.name, kClusterNameMax);
            return true;
        case ClusterKind::kLine:
            io.U32(m.account);
            io.I64(m.since);
            io.Text(m.name, kClusterNameMax);
            io.Text(m.text, kClusterTextMax);
            return true;
    }
    return false;
}

}  // namespace

std::vector<uint8_t> EncodeClusterMessage(const ClusterMessage& message) {
    std::vector<uint8_t> bytes;
    Writer writer{ByteWriter(bytes)};
    writer.out.U8('V');
    writer.out.U8('L');
    writer.out.U8(kVersion);
    writer.out.U8(uint8_t(message.kind));
    writer.out.U16(message.server);
    if (!Walk(writer, message))
        bytes.clear();
    return bytes;
}

std::optional<ClusterMessage> DecodeClusterMessage(std::span<const uint8_t> bytes) {
    Reader reader{ByteReader(bytes)};
    ClusterMessage message;
    if (reader.in.U8() != 'V' || reader.in.U8() != 'L' || reader.in.U8() != kVersion)
        return std::nullopt;
    message.kind = ClusterKind(reader.in.U8());
    message.server = reader.in.U16();
    if (!Walk(reader, message) || !reader.in.ok() || reader.in.remaining() != 0)
        return std::nullopt;
    return message;
}

}  // namespace vorlane::server
