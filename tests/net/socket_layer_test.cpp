// Socket layer: checksum, envelope framing and receive results, error texts,
// address formatting, the ID system, the call controller and the PL list.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "baselib/timer.h"
#include "net/call_ctrl.h"
#include "net/envelope.h"
#include "net/id_system.h"
#include "net/net_protocol.h"
#include "net/net_socket.h"
#include "net/pl_list.h"
#include "net_test_support.h"
#include "tests/support/log_capture.h"

using nettest::EnvelopeBytes;
using nettest::SocketPair;
using vorlane::testing::LogCapture;

namespace {

// Byte-at-a-time reference of the kernel checksum.
uint32_t ReferenceCrc(const uint8_t* data, size_t size) {
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    return crc;
}

class CaptureLog : public ::testing::Test {
  protected:
    void SetUp() override {
        log_ = LOGSYS_Create(0, kLogToCallback, nullptr);
        ASSERT_NE(log_, nullptr);
    }
    void TearDown() override { LOGSYS_Destroy(log_); }
    LOGSYS* log_ = nullptr;
    LogCapture capture_;
};

bool NothingPending(int socket) {
    uint8_t byte;
    return recv(socket, &byte, 1, MSG_DONTWAIT) < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

}  // namespace

TEST(NetCrc, MatchesReferenceWithZeroStartAndNoFinalInversion) {
    EXPECT_EQ(NET_Crc(nullptr, 0), 0u);
    EXPECT_EQ(NET_Crc("", 0), 0u);
    const char* abc = "abc";
    EXPECT_EQ(NET_Crc(abc, 3), 0xCA6598D0u);
    EXPECT_NE(NET_Crc(abc, 3), 0x352441C2u);  // the common CRC-32 of "abc"
    std::vector<uint8_t> big(100003);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 131 + 7);
    EXPECT_EQ(NET_Crc(big.data(), big.size()), ReferenceCrc(big.data(), big.size()));
    // Long inputs are folded in blocks and finished byte-wise: every length
    // around the block sizes, at odd addresses too.
    for (size_t size = 1; size < 300; ++size) {
        for (size_t offset : {0, 1, 7}) {
            ASSERT_EQ(NET_Crc(big.data() + offset, size), ReferenceCrc(big.data() + offset, size))
                << size << " bytes at +" << offset;
        }
    }
}

TEST(EnvelopeHeader, EncodesLittleEndianAndRoundTrips) {
    ENVELOPE_HEADER header;
    header.sender = 0x01020304;
    header.receiver = USR_ALL;
    header.type = 2;
    header.reserved = 0xAABBCCDD;
    header.length = 5;
    header.crc = 0x11223344;
    uint8_t bytes[kEnvelopeHeaderSize];
    EncodeEnvelopeHeader(header, bytes);
    const uint8_t magic[4] = {0xEF, 0xFB, 0xBA, 0xDA};
    EXPECT_EQ(std::memcmp(bytes, magic, 4), 0);
    EXPECT_EQ(bytes[4], 0x04);
    EXPECT_EQ(bytes[7], 0x01);
    ENVELOPE_HEADER back = DecodeEnvelopeHeader(bytes);
    EXPECT_EQ(back.magic, kEnvelopeMagic);
    EXPECT_EQ(back.sender, header.sender);
    EXPECT_EQ(back.receiver, header.receiver);
    EXPECT_EQ(back.type, header.type);
    EXPECT_EQ(back.reserved, header.reserved);
    EXPECT_EQ(back.length, header.length);
    EXPECT_EQ(back.crc, header.crc);
}

TEST_F(CaptureLog, SendEnvelopeRefusesEmptyPayloadAndSmallBlocks) {
    SocketPair pair;
    ENVELOPE* empty = NET_CreateEnvelope(nullptr, 0);
    EXPECT_EQ(NET_SendEnvelope(&pair.a, empty, 4096, log_), -1);
    EXPECT_TRUE(NothingPending(pair.b.socket));
    NET_FreeEnvelope(empty);

    ENVELOPE* envelope = NET_CreateEnvelope("hello", 5);
    EXPECT_EQ(NET_SendEnvelope(&pair.a, envelope, 27, log_), -1);
    EXPECT_TRUE(NothingPending(pair.b.socket));
    EXPECT_EQ(NET_SendEnvelope(&pair.a, envelope, 28, log_), 0);
    EXPECT_EQ(envelope->header.length, 5u);
    EXPECT_EQ(envelope->header.crc, NET_Crc("hello", 5));
    NET_FreeEnvelope(envelope);

    ENVELOPE* received = NET_ReceiveEnvelope(&pair.b, 28, log_);
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->result, kEnvComplete);
    EXPECT_EQ(std::string(received->data.begin(), received->data.end()), "hello");
    NET_FreeEnvelope(received);
}

TEST_F(CaptureLog, LargePayloadSurvivesSmallBlocks) {
    SocketPair pair;
    std::vector<uint8_t> payload(300000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i ^ (i >> 8));
    ENVELOPE* envelope = NET_CreateEnvelope(payload);
    envelope->header.type = 12;
    envelope->header.sender = 7;
    std::thread sender([&] { EXPECT_EQ(NET_SendEnvelope(&pair.a, envelope, 1000, log_), 0); });
    ENVELOPE* received = NET_ReceiveEnvelope(&pair.b, 333, log_);
    sender.join();
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->result, kEnvComplete);
    EXPECT_EQ(received->header.type, 12u);
    EXPECT_EQ(received->header.sender, 7u);
    EXPECT_EQ(received->data, payload);
    NET_FreeEnvelope(received);
    NET_FreeEnvelope(envelope);
}

// A batch is gathered across envelope boundaries into writes of one block;
// each envelope must still arrive whole and in order.
TEST_F(CaptureLog, BatchOfEnvelopesArrivesInOrderWhateverTheBlock) {
    SocketPair pair;
    std::vector<ENVELOPE*> batch;
    for (uint32_t i = 0; i < kNetMaxSendBatch; ++i) {
        std::vector<uint8_t> payload(1 + i * 37 % 500, uint8_t(i));
        batch.push_back(NET_CreateEnvelope(payload));
        batch.back()->header.type = i;
    }
    std::vector<ENVELOPE*> too_many(kNetMaxSendBatch + 1, batch[0]);
    EXPECT_EQ(NET_SendEnvelopes(&pair.a, too_many, 4096, log_), -1);
    EXPECT_TRUE(NothingPending(pair.b.socket));

    std::thread sender([&] { EXPECT_EQ(NET_SendEnvelopes(&pair.a, batch, 100, log_), 0); });
    for (uint32_t i = 0; i < kNetMaxSendBatch; ++i) {
        ENVELOPE* received = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        ASSERT_NE(received, nullptr);
        EXPECT_EQ(received->result, kEnvComplete);
        EXPECT_EQ(received->header.type, i);
        EXPECT_EQ(received->data, batch[i]->data);
        NET_FreeEnvelope(received);
    }
    sender.join();
    for (ENVELOPE* envelope : batch) NET_FreeEnvelope(envelope);
}

// A send that must not wait takes what the socket has room for; the writer's
// send goes on from there, and the peer sees whole envelopes in order.
TEST_F(CaptureLog, WhatATrySendLeftIsFinishedByTheNextSend) {
    SocketPair pair;
    const int small = 4096;
    setsockopt(pair.a.socket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    std::vector<uint8_t> first(12000), second(300, 'z');
    for (size_t i = 0; i < first.size(); ++i) first[i] = uint8_t(i * 7);
    ENVELOPE* big = NET_CreateEnvelope(first);
    ENVELOPE* small_one = NET_CreateEnvelope(second);
    EXPECT_EQ(NET_TrySendEnvelope(&pair.a, big, 16384), 0);
    EXPECT_GT(big->sent, 0u);
    EXPECT_LT(big->sent, kEnvelopeHeaderSize + first.size());
    ENVELOPE* rest[] = {big, small_one};
    std::thread writer([&] { EXPECT_EQ(NET_SendEnvelopes(&pair.a, rest, 1000, log_), 0); });
    for (const std::vector<uint8_t>* payload : {&first, &second}) {
        ENVELOPE* received = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        ASSERT_NE(received, nullptr);
        EXPECT_EQ(received->result, kEnvComplete);
        EXPECT_EQ(received->data, *payload);
        NET_FreeEnvelope(received);
    }
    writer.join();
    NET_FreeEnvelope(big);
    NET_FreeEnvelope(small_one);
}

TEST_F(CaptureLog, ReceiveResultsForBrokenInput) {
    {  // the peer closes after 10 header bytes: closed, not stray
        SocketPair pair;
        std::vector<uint8_t> bytes = EnvelopeBytes(1, 2, 2, {1, 2, 3});
        send(pair.a.socket, bytes.data(), 10, 0);
        pair.CloseA();
        ENVELOPE* envelope = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        EXPECT_EQ(envelope->result, kEnvClosed);
        NET_FreeEnvelope(envelope);
    }
    {  // foreign magic: no payload is read
        SocketPair pair;
        std::vector<uint8_t> bytes = EnvelopeBytes(1, 2, 2, {9, 9, 9}, 0x12345678);
        send(pair.a.socket, bytes.data(), bytes.size(), 0);
        ENVELOPE* envelope = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        EXPECT_EQ(envelope->result, kEnvForeign);
        EXPECT_TRUE(envelope->data.empty());
        uint8_t rest[3];
        EXPECT_EQ(recv(pair.b.socket, rest, 3, MSG_DONTWAIT), 3);
        NET_FreeEnvelope(envelope);
    }
    {  // checksum mismatch
        SocketPair pair;
        std::vector<uint8_t> bytes = EnvelopeBytes(1, 2, 2, {1, 2, 3, 4});
        bytes.back() ^= 0xFF;
        send(pair.a.socket, bytes.data(), bytes.size(), 0);
        ENVELOPE* envelope = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        EXPECT_EQ(envelope->result, kEnvBadChecksum);
        NET_FreeEnvelope(envelope);
    }
    {  // payload cut short by the peer closing
        SocketPair pair;
        std::vector<uint8_t> bytes = EnvelopeBytes(1, 2, 2, std::vector<uint8_t>(100, 5));
        send(pair.a.socket, bytes.data(), bytes.size() - 40, 0);
        pair.CloseA();
        ENVELOPE* envelope = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        EXPECT_EQ(envelope->result, kEnvClosed);
        NET_FreeEnvelope(envelope);
    }
    {  // an announced length above the maximum: refused, nothing allocated or read
        SocketPair pair;
        ENVELOPE_HEADER header;
        header.length = 0xFFFFFFF0u;
        uint8_t bytes[kEnvelopeHeaderSize];
        EncodeEnvelopeHeader(header, bytes);
        send(pair.a.socket, bytes, sizeof bytes, 0);
        ENVELOPE* envelope = NET_ReceiveEnvelope(&pair.b, 4096, log_, 65536);
        EXPECT_EQ(envelope->result, kEnvOversized);
        EXPECT_EQ(envelope->data.capacity(), 0u);
        NET_FreeEnvelope(envelope);
    }
    {  // a zero-length payload is accepted with checksum 0
        SocketPair pair;
        std::vector<uint8_t> bytes = EnvelopeBytes(1, 2, 11, {});
        send(pair.a.socket, bytes.data(), bytes.size(), 0);
        ENVELOPE* envelope = NET_ReceiveEnvelope(&pair.b, 4096, log_);
        EXPECT_EQ(envelope->result, kEnvComplete);
        NET_FreeEnvelope(envelope);
    }
}

TEST_F(CaptureLog, BlockFunctionsHandleEdgesAndPeerClose) {
    SocketPair pair;
    EXPECT_EQ(NET_SendBlock(pair.a.socket, "x", 0, 10, log_), 0);
    uint8_t buffer[8];
    EXPECT_EQ(NET_ReceiveBlock(pair.b.socket, buffer, 0, 10, log_), 0);
    EXPECT_EQ(NET_SendBlock(pair.a.socket, "abcdefgh", 8, 3, log_), 0);
    EXPECT_EQ(NET_ReceiveBlock(pair.b.socket, buffer, 8, 3, log_), 8);
    EXPECT_EQ(std::memcmp(buffer, "abcdefgh", 8), 0);
    EXPECT_EQ(NET_SendBlock(pair.a.socket, "ab", 2, 0, log_), 0);
    pair.CloseA();
    EXPECT_EQ(NET_ReceiveBlock(pair.b.socket, buffer, 4, 4, log_), 0);
    EXPECT_EQ(NET_SendBlock(-1, "ab", 2, 2, log_), -1);
    EXPECT_TRUE(LogCapture::Contains("The descriptor is not a socket."));
}

TEST_F(CaptureLog, ErrorTextsAndUnknownCodes) {
    EXPECT_EQ(NET_ReportErrorCode(10061, log_, 0xFFFFFFFF, 1), 1);
    EXPECT_TRUE(LogCapture::Contains("The attempt to connect was forcefully rejected."));
    LogCapture::Clear();
    EXPECT_EQ(NET_ReportErrorCode(10054, log_, 0xFFFFFFFF, 0), 1);
    EXPECT_FALSE(LogCapture::Contains("reset"));
    EXPECT_EQ(NET_ReportErrorCode(12345, log_, 0xFFFFFFFF, 0), 0);
    EXPECT_TRUE(LogCapture::Contains("NET_ReportError: Unknown error code. Sorry."));
    errno = ECONNREFUSED;
    EXPECT_EQ(NET_ReportError(0, log_, 0xFFFFFFFF, 1), 1);
    EXPECT_EQ(NET_ErrorCodeFromErrno(ETIMEDOUT), 10060);
    EXPECT_STREQ(NET_ErrorText(10060), "Connect timed out withour connection.");
    EXPECT_EQ(NET_ErrorText(1), nullptr);
}

TEST(NetAddress, FormatsThreeDigitParts) {
    NET_CONNECTION connection;
    connection.peer.sin_addr.s_addr = htonl(0x7F000007);
    char text[kNetAddressText];
    NET_FormatAddress(&connection, text);
    EXPECT_STREQ(text, "127.000.000.007");
    connection.peer.sin_addr.s_addr = htonl(0x7FA80105);
    NET_FormatAddress(&connection, text);
    EXPECT_STREQ(text, "127.168.001.005");
}

TEST_F(CaptureLog, LoopbackConnectAcceptAndRefusal) {
    NET_CONNECTION* listener = NET_Listen(0, log_, INADDR_LOOPBACK);
    ASSERT_NE(listener, nullptr);
    const uint16_t port = NET_LocalPort(listener);
    ASSERT_NE(port, 0);
    EXPECT_EQ(NET_Accept(listener, 10, log_), nullptr);  // nobody there: time-out
    NET_CONNECTION* client = NET_Connect(port, 127, 0, 0, 1, 1000, log_);
    ASSERT_NE(client, nullptr);
    NET_CONNECTION* server = NET_Accept(listener, 1000, log_);
    ASSERT_NE(server, nullptr);
    char text[kNetAddressText];
    NET_FormatAddress(server, text);
    EXPECT_STREQ(text, "127.000.000.001");
    NET_Close(client);
    NET_Close(server);
    // A client may choose the local address it connects from.
    client = NET_Connect(port, 127, 0, 0, 1, 1000, log_, 0x7F000002);
    ASSERT_NE(client, nullptr);
    server = NET_Accept(listener, 1000, log_);
    ASSERT_NE(server, nullptr);
    NET_FormatAddress(server, text);
    EXPECT_STREQ(text, "127.000.000.002");
    NET_Close(client);
    NET_Close(server);
    NET_Close(listener);
    // The port is free again: connecting is refused.
    EXPECT_EQ(NET_Connect(port, 127, 0, 0, 1, 1000, log_), nullptr);
    EXPECT_TRUE(LogCapture::Contains("The attempt to connect was forcefully rejected."));
}

TEST(IdSystem, HandsOutLowestFreeIdentifier) {
    ID_SYSTEM* ids = ID_Create(3);
    EXPECT_EQ(ID_Get(ids), 1u);
    EXPECT_EQ(ID_Get(ids), 2u);
    EXPECT_EQ(ID_Get(ids), 3u);
    EXPECT_EQ(ID_Get(ids), 0u);
    ID_Release(ids, 2);
    ID_Release(ids, 0);
    ID_Release(ids, 99);
    EXPECT_EQ(ID_Get(ids), 2u);
    ID_Destroy(ids);
    ID_SYSTEM* none = ID_Create(0);
    EXPECT_EQ(ID_Get(none), 0u);
    ID_Destroy(none);
}

namespace {

struct Counter : CALL_PARAM {
    int runs = 0;
    int result = 0;
    int* destroyed = nullptr;
    ~Counter() override {
        if (destroyed)
            ++*destroyed;
    }
};

int CountRun(CALL_PARAM* parameter) {
    auto* counter = static_cast<Counter*>(parameter);
    ++counter->runs;
    return counter->result;
}

CALL_CTRL* g_ctrl = nullptr;

int RemoveSelf(CALL_PARAM* parameter) {
    for (auto& entry : g_ctrl->calls) {
        if (entry && entry->parameter.get() == parameter) {
            CALL_Remove(g_ctrl, entry.get(), 1);
            break;
        }
    }
    return 0;
}

int MatchRuns(CALL_PARAM* parameter, void* argument) {
    return static_cast<Counter*>(parameter)->runs == *static_cast<int*>(argument) ? 1 : 0;
}

}  // namespace

TEST(CallCtrl, FullControllerAddsNothing) {
    ID_SYSTEM* ids = ID_Create(10);
    CALL_CTRL* ctrl = CALL_Create(2, ids);
    int destroyed = 0;
    auto make = [&] {
        auto* counter = new Counter;
        counter->destroyed = &destroyed;
        return counter;
    };
    EXPECT_EQ(CALL_Add(ctrl, CountRun, make(), 0, 0, 1, 1), 1u);
    EXPECT_EQ(CALL_Add(ctrl, CountRun, make(), 0, 0, 1, 1), 2u);
    EXPECT_EQ(CALL_Add(ctrl, CountRun, make(), 0, 0, 1, 1), 0u);
    EXPECT_EQ(destroyed, 1);  // the refused parameter is not leaked
    EXPECT_EQ(CALL_Count(ctrl), 2);
    CALL_Destroy(ctrl, 1);
    EXPECT_EQ(destroyed, 3);
    ID_Destroy(ids);
}

TEST(CallCtrl, TimedOneShotAndRepeatingCalls) {
    vorlane::baselib::ManualClock clock(1000);
    vorlane::baselib::ScopedSteadyClock use_clock(clock);
    ID_SYSTEM* ids = ID_Create(10);
    CALL_CTRL* ctrl = CALL_Create(4, ids);
    auto* once = new Counter;
    auto* repeat = new Counter;
    CALL_Add(ctrl, CountRun, once, 40, 0x20, 1, 1);
    CALL_Add(ctrl, CountRun, repeat, 40, 0x64, 1, 1);
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 0);  // not yet due
    EXPECT_EQ(once->runs, 0);
    clock.Advance(39);
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 0);
    clock.Advance(1);
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 2);
    EXPECT_EQ(repeat->runs, 1);
    EXPECT_EQ(CALL_Count(ctrl), 1);      // the one-shot is gone
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 0);  // re-armed
    clock.Advance(40);
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 1);
    EXPECT_EQ(repeat->runs, 2);
    CALL_Destroy(ctrl, 1);
    ID_Destroy(ids);
}

TEST(CallCtrl, KeepResultMasksSelfRemovalAndForEach) {
    ID_SYSTEM* ids = ID_Create(10);
    CALL_CTRL* ctrl = CALL_Create(4, ids);
    auto* keep = new Counter;
    keep->result = kCallKeep;
    CALL_Add(ctrl, CountRun, keep, 0, 0x20, 1, 1);  // one-shot, but returns 2
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 1);
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 1);
    EXPECT_EQ(keep->runs, 2);
    EXPECT_EQ(CALL_Run(ctrl, 2, 1), 0);  // group mask does not meet
    ctrl->blocked_classes = 1;
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 0);
    ctrl->blocked_classes = 0;

    g_ctrl = ctrl;
    CALL_Add(ctrl, RemoveSelf, new Counter, 0, 0x04, 1, 1);
    EXPECT_EQ(CALL_Run(ctrl, 1, 1), 2);
    EXPECT_EQ(CALL_Count(ctrl), 1);

    int runs = 99;
    CALL_ForEach(ctrl, MatchRuns, &runs);  // no match: nothing removed
    EXPECT_EQ(CALL_Count(ctrl), 1);
    CALL_Add(ctrl, CountRun, new Counter, 100000, 0x20, 1, 1);
    runs = 0;
    CALL_ForEach(ctrl, MatchRuns, &runs);  // removes the entry that never ran
    EXPECT_EQ(CALL_Count(ctrl), 1);
    keep->result = 0;
    CALL_Run(ctrl, 1, 1);  // fourth run; now removed as a one-shot
    EXPECT_EQ(CALL_Count(ctrl), 0);
    // Identifiers go back to the shared ID system.
    EXPECT_EQ(ID_Get(ids), 1u);
    CALL_Destroy(ctrl, 1);
    ID_Destroy(ids);
}

TEST(PlList, InsertRemoveAndChecks) {
    PL_LIST* list = PL_Init(3);
    int a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(PL_Check(list, -1), 0);
    EXPECT_EQ(PL_Check(list, 3), -1);
    EXPECT_EQ(PL_Check(list, 0), -3);
    EXPECT_EQ(PL_Append(list, &a), 0);
    EXPECT_EQ(PL_Check(list, -1), -2);
    EXPECT_EQ(PL_InsertAfter(list, -1, &b), -1);  // -1 only into an empty list
    EXPECT_EQ(PL_Append(list, &b), 1);
    EXPECT_EQ(PL_InsertAfter(list, 0, &c), 2);  // a c b
    EXPECT_EQ(PL_Append(list, &d), -1);         // full
    EXPECT_EQ(list->head, 0);
    EXPECT_EQ(list->slots[0].next, 2);
    EXPECT_EQ(list->slots[2].next, 1);
    EXPECT_EQ(list->tail, 1);
    EXPECT_EQ(PL_Remove(list, 0, 1), 0);
    EXPECT_EQ(list->head, 2);
    EXPECT_EQ(list->slots[2].prev, -1);
    EXPECT_EQ(PL_Remove(list, 0, 1), -1);  // already free
    EXPECT_EQ(PL_Remove(list, 5, 1), -1);
    EXPECT_EQ(PL_FindFree(list), 0);
    EXPECT_EQ(PL_Remove(list, 1, 0), 0);  // the slot comes back either way
    EXPECT_EQ(list->tail, 2);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(PL_Append(list, &d), 0);
    EXPECT_EQ(list->slots[2].next, 0);
    PL_Destroy(list);
}

TEST(LogonRecord, FieldsAreBoundedAndChecked) {
    LOGON_RECORD record;
    record.name = std::string(40, 'n');
    record.password = "password-too-long";
    std::vector<uint8_t> bytes = EncodeLogonRecord(record);
    ASSERT_EQ(bytes.size(), kLogonRecordSize);
    EXPECT_EQ(bytes[8 + 31], 0);
    LOGON_RECORD back;
    ASSERT_TRUE(DecodeLogonRecord(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(back.name, std::string(31, 'n'));
    EXPECT_EQ(back.password, "passwor");
    EXPECT_EQ(back.id, NET_ID_UNKNOWN);

    // A sender that wrote no terminating zero still gives bounded texts.
    std::memset(bytes.data() + 8, 'x', 40);
    ASSERT_TRUE(DecodeLogonRecord(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(back.name.size(), 31u);
    EXPECT_EQ(back.password.size(), 7u);

    EXPECT_FALSE(DecodeLogonRecord(bytes.data(), 51, &back));
    bytes[0] ^= 1;
    EXPECT_FALSE(DecodeLogonRecord(bytes.data(), bytes.size(), &back));
    EXPECT_EQ(EncodeLogoffRecord().size(), kLogonRecordSize);
}

TEST(FileRecord, ContentsMustLieInsideThePayload) {
    std::vector<uint8_t> bytes = EncodeFileRecord("map.dat", "abcd", 4);
    FILE_RECORD record;
    ASSERT_TRUE(DecodeFileRecord(bytes.data(), bytes.size(), &record));
    EXPECT_EQ(record.name, "map.dat");
    EXPECT_EQ(record.length, 4u);
    EXPECT_EQ(std::memcmp(record.contents, "abcd", 4), 0);
    bytes[132] = 5;  // length beyond the end
    EXPECT_FALSE(DecodeFileRecord(bytes.data(), bytes.size(), &record));
    bytes[132] = 4;
    bytes[128] = 0xFF;  // position beyond the end
    EXPECT_FALSE(DecodeFileRecord(bytes.data(), bytes.size(), &record));
    EXPECT_FALSE(DecodeFileRecord(bytes.data(), 100, &record));
    EXPECT_TRUE(IsSafeFileName("map.dat"));
    EXPECT_FALSE(IsSafeFileName("../etc/passwd"));
    EXPECT_FALSE(IsSafeFileName("dir/file"));
    EXPECT_FALSE(IsSafeFileName(".hidden"));
    EXPECT_FALSE(IsSafeFileName(""));
    EXPECT_FALSE(IsSafeFileName("a b;rm"));
    EXPECT_FALSE(IsSafeFileName("x\\y"));
    EXPECT_FALSE(IsSafeFileName(std::string(65, 'a')));
}
