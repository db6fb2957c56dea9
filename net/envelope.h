// Envelopes: the unit of transfer of the network kernel.
//
// On the wire an envelope is a 28-byte header of seven little-endian 32-bit
// words followed directly by the payload:
//
//   offset  0 magic     0xDABAFBEF
//   offset  4 sender    user identifier or reserved identifier
//   offset  8 receiver  user identifier or reserved identifier
//   offset 12 type      message type
//   offset 16 reserved  0 when created here; carried along unchanged
//   offset 20 length    payload bytes that follow
//   offset 24 crc       NET_Crc of the payload
//
// Received lengths are untrusted: a payload longer than the receiver's
// maximum is refused before anything is allocated (result kEnvOversized), and
// the buffer of an accepted payload grows only as bytes actually arrive, so a
// peer that announces a large payload and then stalls holds little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "baselib/logsys.h"
#include "net/net_socket.h"

struct NETUSR;

constexpr uint32_t kEnvelopeMagic = 0xDABAFBEF;
constexpr size_t kEnvelopeHeaderSize = 28;
// Default largest payload a receiver accepts. Lobby traffic stays far below
// 64 KiB; the 1 MiB leaves room for files sent with the FILE message.
constexpr uint32_t kNetDefaultMaxPayload = 1u << 20;

// Receive results (ENVELOPE::result).
enum : int32_t {
    kEnvSocketError = 1,  // socket error
    kEnvClosed = 2,       // connection closed by the peer
    kEnvNoMemory = 3,     // no memory for the payload
    kEnvComplete = 4,     // complete, checked envelope
    kEnvStray = 5,        // incomplete header
    kEnvForeign = 6,      // wrong magic
    kEnvIncomplete = 7,   // payload incomplete
    kEnvBadChecksum = 8,  // checksum mismatch
    kEnvOversized = 9,    // announced payload longer than the receiver accepts
};

struct ENVELOPE_HEADER {
    uint32_t magic = kEnvelopeMagic;
    uint32_t sender = 0;
    uint32_t receiver = 0;
    uint32_t type = 0;
    uint32_t reserved = 0;
    uint32_t length = 0;
    uint32_t crc = 0;
};

struct ENVELOPE {
    int32_t result = 0;
    std::vector<uint8_t> data;  // the payload
    ENVELOPE_HEADER header;
    // Filled by the driver after receipt; never transmitted, not owned.
    NET_CONNECTION* connection = nullptr;
    NETUSR* user = nullptr;
    // Set for the driver's own envelopes (types 8 and 9); a peer can never
    // produce one, whatever type it writes into a header.
    bool internal = false;
    // Bytes of header and payload already on the wire, when a send that must
    // not wait (NET_TrySendEnvelope) got only part of it out.
    uint32_t sent = 0;

    uint32_t data_size() const { return static_cast<uint32_t>(data.size()); }
};

// The kernel's checksum: the reflected CRC-32 (0xEDB88320) with initial value
// 0 and no final inversion. An empty input gives 0.
uint32_t NET_Crc(const void* data, size_t size);

void EncodeEnvelopeHeader(const ENVELOPE_HEADER& header, uint8_t out[kEnvelopeHeaderSize]);
ENVELOPE_HEADER DecodeEnvelopeHeader(const uint8_t in[kEnvelopeHeaderSize]);

// A new envelope owning `data`; magic and length are set, the rest is the caller's.
ENVELOPE* NET_CreateEnvelope(std::vector<uint8_t> data);
ENVELOPE* NET_CreateEnvelope(const void* data, uint32_t size);
void NET_FreeEnvelope(ENVELOPE* envelope);

// Sends `size` bytes in pieces of at most `block_size` (0: no limit). 0 or -1.
int16_t NET_SendBlock(int socket, const void* buffer, int32_t size, int32_t block_size,
                      LOGSYS* log);
// Receives exactly `size` bytes in pieces of at most `block_size` (0: no
// limit). Returns the count, 0 when the peer closed (even after some bytes), -1
// on a socket error.
int32_t NET_ReceiveBlock(int socket, void* buffer, int32_t size, int32_t block_size, LOGSYS* log);

// Sends header and payload (fills crc and length). -1 without sending when
// `block_size` is below 28 or the envelope has no payload.
int16_t NET_SendEnvelope(NET_CONNECTION* connection, ENVELOPE* envelope, int32_t block_size,
                         LOGSYS* log);
// The most envelopes one NET_SendEnvelopes call takes.
constexpr size_t kNetMaxSendBatch = 64;
// Sends several envelopes back to back, gathering them into writes of up to
// `block_size` bytes, so a writer that fell behind needs one system call per
// block rather than one per message. The same refusals as NET_SendEnvelope,
// for any of them, and for more than kNetMaxSendBatch; nothing is sent then.
int16_t NET_SendEnvelopes(NET_CONNECTION* connection, std::span<ENVELOPE* const> envelopes,
                          int32_t block_size, LOGSYS* log);
// Sends what the socket takes at once of one envelope of at most
// `block_size` bytes (header included), without waiting; the rest is left
// to NET_SendEnvelopes, which goes on from `sent`. 1 when all of it went, 0
// when some or none did, -1 for a refused envelope or a socket error (not
// logged: the blocking send that follows meets it again and reports it).
int16_t NET_TrySendEnvelope(NET_CONNECTION* connection, ENVELOPE* envelope, int32_t block_size);
// Takes one complete envelope out of the bytes a plain connection read ahead
// (NET_SetReadAhead), first reading what the socket holds when they are not
// enough and `*may_read` allows, without waiting; `*may_read` is cleared once
// the socket had no more to give. 1: `*out` is a complete, checked envelope. 0: the
// next one has not all arrived. -1: what comes next is for NET_ReceiveEnvelope
// to receive and report (a foreign or oversized header, a payload larger than
// the buffer or with a wrong checksum, the end of the stream, a failure, no
// memory); nothing of it was taken. Never -1 for bytes that only come late.
int NET_TakeEnvelope(NET_CONNECTION* connection, uint32_t max_payload, ENVELOPE** out,
                     bool* may_read);
// Receives one envelope; `result` says what happened. Null only when the
// envelope itself cannot be allocated. The caller frees it.
ENVELOPE* NET_ReceiveEnvelope(NET_CONNECTION* connection, int32_t block_size, LOGSYS* log,
                              uint32_t max_payload = kNetDefaultMaxPayload);
