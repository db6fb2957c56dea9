// BROADCAST: LAN game discovery over one UDP socket.
//
// Datagram (little-endian, no padding):
//   0      u32  total length = n + 12
//   4      u16  game identifier (low 16 bits of the object's)
//   6      u16  packet type (43 query, 44 announcement)
//   8      n    data
//   8 + n  u32  checksum: the bytes before it XOR-ed into one byte
//
// Every line goes to the default log at level 16.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr uint16_t kBroadcastHeaderSize = 12;
constexpr uint16_t kBroadcastQuery = 43;
constexpr uint16_t kBroadcastAnnouncement = 44;
constexpr uint32_t kGameRecordSize = 126;
// Where the receiver writes the sender's IPv4 address into a game record.
constexpr size_t kGameRecordAddressOffset = 96;
// The largest data part a UDP datagram can carry after the 12 header bytes.
constexpr uint32_t kBroadcastMaxData = 65507 - kBroadcastHeaderSize;

class BROADCAST {
  public:
    BROADCAST() = default;
    ~BROADCAST() { Done(); }
    BROADCAST(const BROADCAST&) = delete;
    BROADCAST& operator=(const BROADCAST&) = delete;

    // Opens the socket on `port` (any local address) with broadcasting on.
    // Datagrams from Send go to `destination` (dotted IPv4) on the same port.
    bool Init(uint32_t game_id, uint16_t port, uint32_t max_data,
              const char* destination = "255.255.255.255");
    void Done();

    bool Send(uint16_t type, const void* data, uint32_t size);
    bool SendTo(uint16_t type, const void* data, uint32_t size, const sockaddr_in* address);
    // True when a datagram is waiting (does not block).
    bool PacketReady();
    // The data part of the next datagram (owned by the caller), or null when it
    // was dropped. `sender` receives the sender's socket address.
    std::unique_ptr<uint8_t[]> Receive(uint16_t* type, uint32_t* size, sockaddr_in* sender);

    // Checks one received datagram of `received` bytes and copies its data
    // part out; null (with the log line) when it is dropped. Receive uses it;
    // it works without a socket.
    std::unique_ptr<uint8_t[]> Decode(const uint8_t* bytes, size_t received, uint16_t* type,
                                      uint32_t* size) const;

    // The four bytes of an IPv4 address in network order; 0.0.0.0 and false
    // for null.
    static bool SplitAddress(const sockaddr_in* address, uint8_t* a, uint8_t* b, uint8_t* c,
                             uint8_t* d);

    bool IsInitialised() const { return initialised_ != 0; }
    uint16_t GetPort() const { return port_; }
    uint32_t GetMaxData() const { return max_data_; }
    const sockaddr_in* GetDestination() const { return destination_.get(); }

  private:
    uint16_t port_ = 0;
    int socket_ = -1;
    uint32_t game_id_ = 0;
    uint32_t max_data_ = 0;
    std::unique_ptr<sockaddr_in> destination_;
    uint16_t initialised_ = 0;
    uint16_t header_size_ = kBroadcastHeaderSize;
};

// The XOR of `size` bytes, the datagram checksum.
uint32_t BROADCAST_Checksum(const uint8_t* bytes, size_t size);

// Fills `record` (kGameRecordSize bytes) from an announcement's data part:
// the bytes present are copied, a shorter part is padded with zeros, and the
// sender's IPv4 address goes to bytes 96 to 99. False for null arguments.
bool BROADCAST_GameRecord(const uint8_t* data, uint32_t size, const sockaddr_in* sender,
                          uint8_t* record);
