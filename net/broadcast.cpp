#include "net/broadcast.h"

#include <arpa/inet.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "baselib/byte_reader.h"
#include "baselib/logsys.h"

namespace {

// The classic socket error for "the socket system was not started".
constexpr int kNotInitialisedError = 10093;

void LogError(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

// The classic socket error numbers the log lines speak of.
int SocketErrorCode(int error) {
    switch (error) {
        case EBADF:
            return 10009;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
            return 10024;
        case ENOTSOCK:
            return 10038;
        case EPROTONOSUPPORT:
            return 10043;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENOBUFS:
            return 10055;
        default:
            return error;
    }
}

std::unique_ptr<uint8_t[]> Allocate(size_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
}

}  // namespace

uint32_t BROADCAST_Checksum(const uint8_t* bytes, size_t size) {
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum ^= bytes[i];
    return sum;
}

bool BROADCAST::Init(uint32_t game_id, uint16_t port, uint32_t max_data, const char* destination) {
    if (initialised_) {
        LogError("BROADCAST: this class already initialized\n");
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (!destination || inet_pton(AF_INET, destination, &target.sin_addr) != 1) {
        LogError("BROADCAST: ERROR: invalid broadcast address.\n");
        return false;
    }
    // The receive buffer is sized from max_data; a UDP datagram cannot be
    // larger than this anyway.
    if (max_data > kBroadcastMaxData)
        max_data = kBroadcastMaxData;
    game_id_ = game_id;
    port_ = port;
    max_data_ = max_data;
    header_size_ = kBroadcastHeaderSize;

    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        LOGSYS_Printf(nullptr, kLogError, "BroadCastInit: Invalid socket: %d",
                      SocketErrorCode(errno));
        return false;
    }
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        int code = SocketErrorCode(errno);
        LogError("BroadCastInit: SetSockOpt Error");
        if (code == kNotInitialisedError)
            LogError("BROADCAST: ERROR: WSA was not initialized.\n");
        ::close(fd);
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        LogError("BROADCAST: ERROR: bind socket failed.\n");
        ::close(fd);
        return false;
    }
    destination_ = std::make_unique<sockaddr_in>(target);
    socket_ = fd;
    initialised_ = 1;
    return true;
}

void BROADCAST::Done() {
    if (!initialised_)
        return;
    destination_.reset();
    ::shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    socket_ = -1;
    initialised_ = 0;
}

bool BROADCAST::Send(uint16_t type, const void* data, uint32_t size) {
    return SendTo(type, data, size, destination_.get());
}

bool BROADCAST::SendTo(uint16_t type, const void* data, uint32_t size, const sockaddr_in* address) {
    if (!initialised_) {
        LogError("BROADCAST: SENDERROR: broadcast not initialized\n");
        return false;
    }
    if (size > max_data_) {
        LogError("BROADCAST: SENDERROR: packetsize exceeded maximumsize\n");
        return false;
    }
    std::vector<uint8_t> packet;
    try {
        packet.reserve(size + header_size_);
    } catch (const std::bad_alloc&) {
        LogError("BROADCAST: SENDERROR: Unable to allocate memory for send package\n");
        return false;
    }
    vorlane::ByteWriter writer(packet);
    writer.U32(size + header_size_);
    writer.U16(static_cast<uint16_t>(game_id_));
    writer.U16(type);
    if (data && size >= 1) {
        writer.Bytes(data, size);
    } else {
        writer.Zeros(size);
    }
    writer.U32(BROADCAST_Checksum(packet.data(), packet.size()));
    if (!address || ::sendto(socket_, packet.data(), packet.size(), 0,
                             reinterpret_cast<const sockaddr*>(address),
                             sizeof *address) != static_cast<ssize_t>(packet.size())) {
        LogError("BROADCAST: SENDERROR: sendto() failed\n");
        return false;
    }
    return true;
}

bool BROADCAST::PacketReady() {
    if (!initialised_) {
        LogError("BROADCAST: PACKETREADYERROR: broadcast not initialized\n");
        return false;
    }
    if (socket_ >= FD_SETSIZE)
        return false;
    fd_set read_set;
    FD_ZERO(&read_set);
    FD_SET(socket_, &read_set);
    timeval zero{};
    return ::select(socket_ + 1, &read_set, nullptr, nullptr, &zero) > 0;
}

std::unique_ptr<uint8_t[]> BROADCAST::Receive(uint16_t* type, uint32_t* size, sockaddr_in* sender) {
    if (!initialised_) {
        LogError("BROADCAST: RECVERROR: broadcast not initialized\n");
        return nullptr;
    }
    size_t capacity = size_t(max_data_) + header_size_;
    std::unique_ptr<uint8_t[]> buffer = Allocate(capacity);
    if (!buffer) {
        LogError("BROADCAST: RECVERROR: unable to allocate memory for incoming packet\n");
        return nullptr;
    }
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    ssize_t received = ::recvfrom(socket_, buffer.get(), capacity, 0,
                                  reinterpret_cast<sockaddr*>(&from), &from_length);
    if (received < 0) {
        LogError("BROADCAST: RECVERROR: recvfrom() failed\n");
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> data =
        Decode(buffer.get(), static_cast<size_t>(received), type, size);
    if (data && sender)
        *sender = from;
    return data;
}

std::unique_ptr<uint8_t[]> BROADCAST::Decode(const uint8_t* bytes, size_t received, uint16_t* type,
                                             uint32_t* size) const {
    vorlane::ByteReader reader(bytes, received);
    uint32_t total = reader.U32();
    uint16_t game = reader.U16();
    uint16_t packet_type = reader.U16();
    // The length field is checked against what really arrived, so neither the
    // data copy nor the checksum can read past the datagram.
    if (!reader.ok() || total < header_size_ || total > received)
        return nullptr;
    if (game != static_cast<uint16_t>(game_id_)) {
        LOGSYS_Printf(nullptr, kLogError,
                      "BROADCAST: RECVWARNING: received packet from other game: %d", game);
        return nullptr;
    }
    uint32_t data_size = total - header_size_;
    std::unique_ptr<uint8_t[]> data = Allocate(data_size);
    if (!data) {
        LogError("BROADCAST: RECVERROR: unable to allocate memory for datapacket\n");
        return nullptr;
    }
    reader.Bytes(data.get(), data_size);
    uint32_t stored = reader.U32();
    if (!reader.ok() || stored != BROADCAST_Checksum(bytes, total - 4)) {
        LogError("BROADCAST: RECVERROR: CRC-checksum failed\n");
        return nullptr;
    }
    if (type)
        *type = packet_type;
    if (size)
        *size = data_size;
    return data;
}

bool BROADCAST::SplitAddress(const sockaddr_in* address, uint8_t* a, uint8_t* b, uint8_t* c,
                             uint8_t* d) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (address)
        std::memcpy(bytes, &address->sin_addr.s_addr, 4);
    if (a)
        *a = bytes[0];
    if (b)
        *b = bytes[1];
    if (c)
        *c = bytes[2];
    if (d)
        *d = bytes[3];
    return address != nullptr;
}

bool BROADCAST_GameRecord(const uint8_t* data, uint32_t size, const sockaddr_in* sender,
                          uint8_t* record) {
    if (!record || !sender)
        return false;
    std::memset(record, 0, kGameRecordSize);
    uint32_t present = size < kGameRecordSize ? size : kGameRecordSize;
    if (data && present)
        std::memcpy(record, data, present);
    std::memcpy(record + kGameRecordAddressOffset, &sender->sin_addr.s_addr, 4);
    return true;
}
