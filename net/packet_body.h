// What the packet codecs (lobby_packets.cpp, social_packets.cpp) share when
// they read and write bodies; private to net/.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "baselib/byte_reader.h"
#include "net/lobby_packets.h"

namespace vorlane::net {

// A reader at the first body byte, just behind the header; failed (every
// read 0) for a packet shorter than the header.
inline ByteReader BodyReader(std::span<const uint8_t> packet) {
    ByteReader reader(packet);
    reader.Seek(kPacketHeaderSize);
    return reader;
}

// The finished packet with its checksum stored.
inline std::vector<uint8_t> Sealed(std::vector<uint8_t> packet) {
    PKTCHECK::Seal(packet);
    return packet;
}

}  // namespace vorlane::net
