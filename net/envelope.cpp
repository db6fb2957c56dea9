// [SECTION] index
//   Checksum, header codec and envelopes, blocks, sending, receiving (read
//   ahead, the owner's take, the blocking receive).
#include "net/envelope.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "baselib/byte_reader.h"
#include "baselib/log_channel.h"
#include "net/net_tls.h"

using vorlane::ByteReader;

namespace {

// Payloads up to this size are allocated at once; larger ones grow per piece.
constexpr uint32_t kGrowStep = 64 * 1024;

size_t PieceSize(size_t remaining, int32_t block_size) {
    if (block_size <= 0)
        return remaining;
    return std::min(remaining, size_t(block_size));
}

}  // namespace

// [SECTION] Checksum

namespace {

// The checksum register carried on over `size` bytes by zlib, which inverts
// on entry and exit; pre- and post-inverting cancels both.
uint32_t ZlibCrc(uint32_t crc, const uint8_t* data, size_t size) {
    return uint32_t(crc32_z(crc ^ 0xFFFFFFFFul, data, size)) ^ 0xFFFFFFFFu;
}

#if defined(__x86_64__)
// Carry-less multiplication folds the payload 64 bytes a step (the classic
// folding for the reflected polynomial, with its published constants), at
// about twice zlib's speed here: each side of a transfer checksums every
// payload byte, which made it the largest cost of a stream in user space.

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x * k (high and low halves apart) + next: one 16-byte fold.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold16(__m128i k, __m128i x, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, next), low);
}

// The register after `size` bytes; `size` is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldedCrc(uint32_t crc, const uint8_t* data,
                                                            size_t size) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5k0 = _mm_set_epi64x(0x0000000000, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(int(crc)));
    __m128i x2 = Load(data + 16), x3 = Load(data + 32), x4 = Load(data + 48);
    for (data += 64, size -= 64; size >= 64; data += 64, size -= 64) {
        x1 = Fold16(k1k2, x1, Load(data));
        x2 = Fold16(k1k2, x2, Load(data + 16));
        x3 = Fold16(k1k2, x3, Load(data + 32));
        x4 = Fold16(k1k2, x4, Load(data + 48));
    }
    x1 = Fold16(k3k4, x1, x2);
    x1 = Fold16(k3k4, x1, x3);
    x1 = Fold16(k3k4, x1, x4);
    for (; size >= 16; data += 16, size -= 16) x1 = Fold16(k3k4, x1, Load(data));
    // 128 bits to 64, then a Barrett reduction to 32.
    const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask), k5k0, 0x00),
                       _mm_srli_si128(x1, 4));
    __m128i x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), poly, 0x10);
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, mask), poly, 0x00);
    return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2r), 1));
}

bool CanFold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}
#endif

}  // namespace

uint32_t NET_Crc(const void* data, size_t size) {
    if (!data || size == 0)
        return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0;
#if defined(__x86_64__)
    if (size >= 64 && CanFold()) {
        const size_t bulk = size & ~size_t(15);
        crc = FoldedCrc(crc, bytes, bulk);
        bytes += bulk;
        size -= bulk;
    }
#endif
    return ZlibCrc(crc, bytes, size);
}

// [SECTION] Header codec and envelopes

void EncodeEnvelopeHeader(const ENVELOPE_HEADER& header, uint8_t out[kEnvelopeHeaderSize]) {
    const uint32_t words[7] = {header.magic,    header.sender, header.receiver, header.type,
                               header.reserved, header.length, header.crc};
    for (size_t w = 0; w < 7; ++w) {
        for (size_t i = 0; i < 4; ++i) out[w * 4 + i] = uint8_t(words[w] >> (8 * i));
    }
}

ENVELOPE_HEADER DecodeEnvelopeHeader(const uint8_t in[kEnvelopeHeaderSize]) {
    ByteReader reader(in, kEnvelopeHeaderSize);
    ENVELOPE_HEADER header;
    header.magic = reader.U32();
    header.sender = reader.U32();
    header.receiver = reader.U32();
    header.type = reader.U32();
    header.reserved = reader.U32();
    header.length = reader.U32();
    header.crc = reader.U32();
    return header;
}

ENVELOPE* NET_CreateEnvelope(std::vector<uint8_t> data) {
    auto* envelope = new (std::nothrow) ENVELOPE;
    if (!envelope)
        return nullptr;
    envelope->data = std::move(data);
    envelope->header.magic = kEnvelopeMagic;
    envelope->header.length = envelope->data_size();
    return envelope;
}

ENVELOPE* NET_CreateEnvelope(const void* data, uint32_t size) {
    std::vector<uint8_t> copy;
    if (data && size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        copy.assign(bytes, bytes + size);
    }
    return NET_CreateEnvelope(std::move(copy));
}

void NET_FreeEnvelope(ENVELOPE* envelope) {
    delete envelope;
}

// [SECTION] Blocks

int16_t NET_SendBlock(int socket, const void* buffer, int32_t size, int32_t block_size,
                      LOGSYS* log) {
    if (size < 1)
        return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t sent = 0;
    while (sent < size_t(size)) {
        ssize_t result =
            send(socket, bytes + sent, PieceSize(size_t(size) - sent, block_size), MSG_NOSIGNAL);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            NET_ReportError(0, log, kLogAllClasses, 1);
            return -1;
        }
        if (result == 0)
            return -1;
        sent += size_t(result);
    }
    return 0;
}

int32_t NET_ReceiveBlock(int socket, void* buffer, int32_t size, int32_t block_size, LOGSYS* log) {
    if (size < 1)
        return 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t received = 0;
    while (received < size_t(size)) {
        ssize_t result =
            recv(socket, bytes + received, PieceSize(size_t(size) - received, block_size), 0);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            NET_ReportError(0, log, kLogAllClasses, 1);
            return -1;
        }
        if (result == 0)
            return 0;
        received += size_t(result);
    }
    return int32_t(received);
}

// [SECTION] Sending

int16_t NET_SendEnvelope(NET_CONNECTION* connection, ENVELOPE* envelope, int32_t block_size,
                         LOGSYS* log) {
    return NET_SendEnvelopes(connection, std::span<ENVELOPE* const>(&envelope, 1), block_size, log);
}

namespace {

// Each header and its payload are two pieces of one gathered write per block,
// so a small message is one segment on the wire (two small writes meet the
// delayed-acknowledgement stall).
struct SendPieces {
    uint8_t headers[kNetMaxSendBatch][kEnvelopeHeaderSize];
    iovec pieces[2 * kNetMaxSendBatch];
    size_t count = 0;
    size_t piece = 0, offset = 0;  // the first byte not yet sent

    // False (nothing prepared) for the refusals NET_SendEnvelopes documents.
    bool Prepare(std::span<ENVELOPE* const> envelopes) {
        if (envelopes.empty() || envelopes.size() > kNetMaxSendBatch)
            return false;
        for (const ENVELOPE* envelope : envelopes) {
            if (!envelope || envelope->data.empty())
                return false;
        }
        for (size_t i = 0; i < envelopes.size(); ++i) {
            ENVELOPE* envelope = envelopes[i];
            envelope->header.crc = NET_Crc(envelope->data.data(), envelope->data.size());
            envelope->header.length = envelope->data_size();
            EncodeEnvelopeHeader(envelope->header, headers[i]);
            pieces[count++] = {headers[i], kEnvelopeHeaderSize};
            pieces[count++] = {envelope->data.data(), envelope->data.size()};
        }
        Advance(envelopes[0]->sent);
        return true;
    }
    bool Done() const { return piece == count; }

    // At most `block_size` bytes from the cursor on; returns sendmsg's result.
    ssize_t Send(int socket, int32_t block_size, int flags) {
        iovec out[2 * kNetMaxSendBatch];
        size_t used = 0;
        size_t budget = PieceSize(SIZE_MAX, block_size);
        for (size_t i = piece, skip = offset; i < count && budget > 0; ++i, skip = 0) {
            const size_t take = std::min(pieces[i].iov_len - skip, budget);
            out[used++] = {static_cast<uint8_t*>(pieces[i].iov_base) + skip, take};
            budget -= take;
        }
        msghdr message{};
        message.msg_iov = out;
        message.msg_iovlen = used;
        return sendmsg(socket, &message, flags | MSG_NOSIGNAL);
    }

    // The pieces from the cursor on; their number.
    size_t Rest(iovec* out) const {
        size_t used = 0;
        for (size_t i = piece, skip = offset; i < count; ++i, skip = 0)
            out[used++] = {static_cast<uint8_t*>(pieces[i].iov_base) + skip,
                           pieces[i].iov_len - skip};
        return used;
    }

    void Advance(size_t done) {
        while (done > 0 && piece < count) {
            const size_t left = pieces[piece].iov_len - offset;
            if (done < left) {
                offset += done;
                return;
            }
            done -= left;
            ++piece;
            offset = 0;
        }
    }
};

}  // namespace

int16_t NET_SendEnvelopes(NET_CONNECTION* connection, std::span<ENVELOPE* const> envelopes,
                          int32_t block_size, LOGSYS* log) {
    SendPieces pieces;
    if (!connection || block_size < int32_t(kEnvelopeHeaderSize) || !pieces.Prepare(envelopes))
        return -1;
    if (NET_IsTls(connection)) {
        iovec rest[2 * kNetMaxSendBatch];
        const size_t count = pieces.Rest(rest);
        return NET_TlsSend(connection, rest, count, true, nullptr, log) < 0 ? -1 : 0;
    }
    while (!pieces.Done()) {
        const ssize_t result = pieces.Send(connection->socket, block_size, 0);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            NET_ReportError(0, log, kLogAllClasses, 1);
            return -1;
        }
        if (result == 0)
            return -1;
        pieces.Advance(size_t(result));
    }
    return 0;
}

int16_t NET_TrySendEnvelope(NET_CONNECTION* connection, ENVELOPE* envelope, int32_t block_size) {
    SendPieces pieces;
    if (!connection || block_size < int32_t(kEnvelopeHeaderSize) ||
        !pieces.Prepare(std::span<ENVELOPE* const>(&envelope, 1)) ||
        kEnvelopeHeaderSize + envelope->data.size() > size_t(block_size)) {
        return -1;
    }
    if (NET_IsTls(connection)) {
        // Sealed records cannot be taken back: once encrypted, the envelope
        // counts as sent, and what the socket did not take waits in the
        // session for the writer's next send.
        iovec rest[2];
        const size_t count = pieces.Rest(rest);
        bool encrypted = false;
        const int result = NET_TlsSend(connection, rest, count, false, &encrypted, nullptr);
        if (encrypted)
            envelope->sent = uint32_t(kEnvelopeHeaderSize + envelope->data.size());
        return result < 0 ? -1 : int16_t(result);
    }
    ssize_t result;
    do {
        result = pieces.Send(connection->socket, block_size, MSG_DONTWAIT);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    envelope->sent += uint32_t(result);
    return envelope->sent == kEnvelopeHeaderSize + envelope->data.size() ? 1 : 0;
}

// [SECTION] Receiving

namespace {

// NET_ReceiveBlock's results, taking from the bytes read ahead first.
int32_t ReceiveAhead(NET_CONNECTION* connection, uint8_t* out, int32_t size, LOGSYS* log) {
    size_t got = 0;
    while (got < size_t(size)) {
        const size_t waiting = connection->ahead_end - connection->ahead_begin;
        if (waiting > 0) {
            const size_t take = std::min(waiting, size_t(size) - got);
            std::memcpy(out + got, connection->ahead.get() + connection->ahead_begin, take);
            connection->ahead_begin += uint32_t(take);
            got += take;
            continue;
        }
        connection->ahead_begin = connection->ahead_end = 0;
        if (const int status = std::exchange(connection->ahead_status, 0)) {
            if (status == kAheadClosed)
                return 0;
            errno = status;
            NET_ReportError(0, log, kLogAllClasses, 1);
            return -1;
        }
        const size_t want = size_t(size) - got;
        // A large piece goes straight to its destination: copying it through
        // the buffer would cost more than the receive it spares.
        const bool direct = want >= connection->ahead_size / 4;
        const ssize_t result =
            recv(connection->socket, direct ? out + got : connection->ahead.get(),
                 direct ? want : connection->ahead_size, 0);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            NET_ReportError(0, log, kLogAllClasses, 1);
            return -1;
        }
        if (result == 0)
            return 0;
        if (direct)
            got += size_t(result);
        else
            connection->ahead_end = uint32_t(result);
    }
    return int32_t(got);
}

int32_t ReceiveExact(NET_CONNECTION* connection, void* buffer, int32_t size, int32_t block_size,
                     LOGSYS* log) {
    if (NET_IsTls(connection))
        return NET_TlsReceive(connection, buffer, size, log);
    if (connection->ahead && size > 0)
        return ReceiveAhead(connection, static_cast<uint8_t*>(buffer), size, log);
    return NET_ReceiveBlock(connection->socket, buffer, size, block_size, log);
}

}  // namespace

int NET_TakeEnvelope(NET_CONNECTION* connection, uint32_t max_payload, ENVELOPE** out,
                     bool* may_read) {
    *out = nullptr;
    if (!connection || !connection->ahead || NET_IsTls(connection))
        return -1;
    uint8_t* ahead = connection->ahead.get();
    for (bool filled = false;; filled = true) {
        const uint32_t waiting = connection->ahead_end - connection->ahead_begin;
        if (waiting >= kEnvelopeHeaderSize) {
            const uint8_t* bytes = ahead + connection->ahead_begin;
            const ENVELOPE_HEADER header = DecodeEnvelopeHeader(bytes);
            if (header.magic != kEnvelopeMagic || header.length > max_payload ||
                header.length > connection->ahead_size - kEnvelopeHeaderSize) {
                return -1;
            }
            if (waiting - kEnvelopeHeaderSize >= header.length) {
                const uint8_t* payload = bytes + kEnvelopeHeaderSize;
                if (NET_Crc(payload, header.length) != header.crc)
                    return -1;
                auto* envelope = new (std::nothrow) ENVELOPE;
                if (!envelope)
                    return -1;
                try {
                    envelope->data.assign(payload, payload + header.length);
                } catch (const std::bad_alloc&) {
                    delete envelope;
                    return -1;
                }
                envelope->header = header;
                envelope->result = kEnvComplete;
                connection->ahead_begin += uint32_t(kEnvelopeHeaderSize) + header.length;
                if (connection->ahead_begin == connection->ahead_end)
                    connection->ahead_begin = connection->ahead_end = 0;
                *out = envelope;
                return 1;
            }
        }
        if (connection->ahead_status != 0)
            return -1;
        if (filled || !*may_read)
            return 0;
        // Room at the end for what the socket holds.
        if (connection->ahead_begin > 0) {
            std::memmove(ahead, ahead + connection->ahead_begin, waiting);
            connection->ahead_begin = 0;
            connection->ahead_end = waiting;
        }
        ssize_t got;
        do {
            got = recv(connection->socket, ahead + connection->ahead_end,
                       connection->ahead_size - connection->ahead_end, MSG_DONTWAIT);
        } while (got < 0 && errno == EINTR);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            *may_read = false;
            return 0;
        }
        if (got <= 0) {
            // Kept for the blocking receive, which reports it as it would have.
            connection->ahead_status = got == 0 ? kAheadClosed : errno;
            return -1;
        }
        // Less than there was room for: the socket is empty for now.
        *may_read = uint32_t(got) == connection->ahead_size - connection->ahead_end;
        connection->ahead_end += uint32_t(got);
    }
}

ENVELOPE* NET_ReceiveEnvelope(NET_CONNECTION* connection, int32_t block_size, LOGSYS* log,
                              uint32_t max_payload) {
    auto* envelope = new (std::nothrow) ENVELOPE;
    if (!envelope)
        return nullptr;
    if (!connection) {
        envelope->result = kEnvSocketError;
        return envelope;
    }
    uint8_t header[kEnvelopeHeaderSize];
    int32_t got = ReceiveExact(connection, header, kEnvelopeHeaderSize, kEnvelopeHeaderSize, log);
    if (got == 0) {
        envelope->result = kEnvClosed;
        return envelope;
    }
    if (got < 0) {
        envelope->result = kEnvSocketError;
        return envelope;
    }
    if (got < int32_t(kEnvelopeHeaderSize)) {
        envelope->result = kEnvStray;
        return envelope;
    }
    envelope->header = DecodeEnvelopeHeader(header);
    if (envelope->header.magic != kEnvelopeMagic) {
        envelope->result = kEnvForeign;
        return envelope;
    }
    const uint32_t length = envelope->header.length;
    if (length > max_payload) {
        envelope->result = kEnvOversized;
        return envelope;
    }

    std::vector<uint8_t>& data = envelope->data;
    size_t received = 0;
    while (received < length) {
        size_t want = std::min<size_t>(length - received, kGrowStep);
        try {
            data.resize(received + want);
        } catch (const std::bad_alloc&) {
            data.clear();
            envelope->result = kEnvNoMemory;
            return envelope;
        }
        int32_t piece =
            ReceiveExact(connection, data.data() + received, int32_t(want), block_size, log);
        if (piece == 0) {
            envelope->result = kEnvClosed;
            return envelope;
        }
        if (piece < 0) {
            envelope->result = kEnvSocketError;
            return envelope;
        }
        if (size_t(piece) != want) {
            envelope->result = kEnvIncomplete;
            return envelope;
        }
        received += want;
    }
    envelope->result =
        NET_Crc(data.data(), data.size()) == envelope->header.crc ? kEnvComplete : kEnvBadChecksum;
    return envelope;
}
