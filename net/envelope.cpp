#include "net/envelope.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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

uint32_t NET_Crc(const void* data, size_t size) {
    if (!data || size == 0)
        return 0;
    // zlib inverts on entry and exit; pre- and post-inverting cancels both.
    return uint32_t(crc32_z(0xFFFFFFFFul, static_cast<const Bytef*>(data), size)) ^ 0xFFFFFFFFu;
}

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

namespace {

// NET_ReceiveBlock's results, taking from the bytes read ahead first. A
// piece at least as large as the buffer goes straight to its destination.
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
        const size_t want = size_t(size) - got;
        const bool direct = want >= connection->ahead_size;
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
