// [SECTION] index
//   POSIX sockets behind the kernel's NET_ functions.
//   - Helpers
//   - Error codes and texts
//   - Service start and stop
//   - Connect, listen and accept
//   - Close and addresses
#include "net/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "baselib/log_channel.h"

// [SECTION] Helpers
namespace {

struct ErrorRow {
    int32_t code;
    const char* text;
};

// Searched in order; texts as the kernel has always written them.
constexpr ErrorRow kErrorTable[] = {
    {10093, "WSA system not initialized."},
    {10050, "Network subsystem has failed."},
    {10057, "The socket is not connected."},
    {10004, "The blocking call was canceled."},
    {10036, "Blocking sockets operation in progress."},
    {10038, "The descriptor is not a socket."},
    {10045, "MSG_OOB specified but socket not SOCK_STREAM."},
    {10058, "The socket has been shut down."},
    {10035, "Socket nonblocking but operation would block."},
    {10040, "Datagram to large to fit in buffer."},
    {10022, "The socket has not been bound with bind."},
    {10053, "Virtual circuit aborted: timeout or failure."},
    {10054, "Virtual circuit was reset by other side."},
    {10013, "Requested address is broadcast addr, flag not set."},
    {10014, "The buf argument not valid part of user address space"},
    {10052, "Connection must be reset: sockets dropped it."},
    {10055, "Socket report a buffer deadlock."},
    {10048, "The address is already in use."},
    {10049, "The address is not available from local computer."},
    {10047, "The adresses cannot be used with this socket."},
    {10061, "The attempt to connect was forcefully rejected."},
    {10039, "A destination address is required."},
    {10056, "The socket is already connected."},
    {10024, "No more file descriptors available."},
    {10051, "The network cannot be reached."},
    {10060, "Connect timed out withour connection."},
    {10041, "The prototype is wrong for this socket."},
    {10042, "The option is unknown or unsupported."},
};

// Send buffer of an accepted connection (the system doubles it for its own
// bookkeeping).
constexpr int kAcceptedSendBuffer = 128 * 1024;

void SetNoDelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool SetBlocking(int fd, bool blocking) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

// Waits for `events` on one socket; >0 ready, 0 time-out, <0 failure.
int WaitSocket(int fd, short events, uint32_t timeout_ms) {
    pollfd entry{fd, events, 0};
    int timeout = timeout_ms > 0x7FFFFFFFu ? 0x7FFFFFFF : int(timeout_ms);
    for (;;) {
        int ready = poll(&entry, 1, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready;
    }
}

}  // namespace

// [SECTION] Error codes and texts
int NET_ErrorCodeFromErrno(int error) {
    switch (error) {
        case ENETDOWN:
            return 10050;
        case ENOTCONN:
            return 10057;
        case EINTR:
            return 10004;
        case EINPROGRESS:
        case EALREADY:
            return 10036;
        case ENOTSOCK:
        case EBADF:
            return 10038;
        case EOPNOTSUPP:
            return 10045;
        case EPIPE:
        case ESHUTDOWN:
            return 10058;
        case EAGAIN:
            return 10035;
        case EMSGSIZE:
            return 10040;
        case EINVAL:
            return 10022;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case ENETRESET:
            return 10052;
        case ENOBUFS:
        case ENOMEM:
            return 10055;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case EAFNOSUPPORT:
            return 10047;
        case ECONNREFUSED:
            return 10061;
        case EDESTADDRREQ:
            return 10039;
        case EISCONN:
            return 10056;
        case EMFILE:
        case ENFILE:
            return 10024;
        case ENETUNREACH:
        case EHOSTUNREACH:
            return 10051;
        case ETIMEDOUT:
            return 10060;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        default:
            return 0;
    }
}

const char* NET_ErrorText(int code) {
    for (const ErrorRow& row : kErrorTable) {
        if (row.code == code)
            return row.text;
    }
    return nullptr;
}

int NET_ReportErrorCode(int code, LOGSYS* log, uint32_t log_class, int report) {
    const char* text = NET_ErrorText(code);
    if (!text) {
        LOGSYS_Write(log, kLogError, log_class, "NET_ReportError: Unknown error code. Sorry.");
        return 0;
    }
    if ((report & 1) && log)
        LOGSYS_Write(log, kLogError, log_class, text);
    return 1;
}

int NET_ReportError(int /*ignored*/, LOGSYS* log, uint32_t log_class, int report) {
    return NET_ReportErrorCode(NET_ErrorCodeFromErrno(errno), log, log_class, report);
}

// [SECTION] Service start and stop
NET_SERVICE* NET_Init(uint16_t port, LOGSYS* log) {
    auto* service = new (std::nothrow) NET_SERVICE;
    if (!service) {
        LOGSYS_Text(log, kLogError, "NET_Init: Cannot get WSA !");
        return nullptr;
    }
    service->port = port;
    service->log = log;
    service->socket = -1;
    return service;
}

int16_t NET_Done(NET_SERVICE* service) {
    delete service;
    return 0;
}

// [SECTION] Connect, listen and accept
NET_CONNECTION* NET_ConnectStart(uint16_t port, uint8_t a, uint8_t b, uint8_t c, uint8_t d,
                                 LOGSYS* log, uint32_t bind_address) {
    auto* connection = new (std::nothrow) NET_CONNECTION;
    if (!connection)
        return nullptr;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        NET_ReportError(0, log, kLogAllClasses, 1);
        delete connection;
        return nullptr;
    }
    connection->socket = fd;
    connection->peer.sin_family = AF_INET;
    connection->peer.sin_port = htons(port);
    connection->peer.sin_addr.s_addr =
        htonl((uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8) | d);
    if (bind_address != 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(bind_address);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            NET_ReportError(0, log, kLogAllClasses, 1);
            NET_Close(connection);
            return nullptr;
        }
    }
    // Non-blocking until it is connected: neither an unreachable host nor a
    // slow one may hold the caller.
    SetBlocking(fd, false);
    int result =
        connect(fd, reinterpret_cast<sockaddr*>(&connection->peer), sizeof connection->peer);
    if (result != 0 && errno != EINPROGRESS) {
        NET_ReportError(0, log, kLogAllClasses, 1);
        NET_Close(connection);
        return nullptr;
    }
    return connection;
}

int NET_ConnectPoll(NET_CONNECTION* connection, uint32_t timeout_ms, LOGSYS* log) {
    if (!connection || connection->socket < 0)
        return -1;
    const int fd = connection->socket;
    int ready = WaitSocket(fd, POLLOUT, timeout_ms);
    if (ready == 0)
        return 0;
    int error = 0;
    socklen_t length = sizeof error;
    if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        LOGSYS_Text(log, kLogError, "NET_Connect: Select failed.");
        return -1;
    }
    if (error != 0) {
        errno = error;
        NET_ReportError(0, log, kLogAllClasses, 1);
        return -1;
    }
    // The reader and writer threads work with blocking calls.
    SetBlocking(fd, true);
    SetNoDelay(fd);
    return 1;
}

NET_CONNECTION* NET_Connect(uint16_t port, uint8_t a, uint8_t b, uint8_t c, uint8_t d,
                            uint32_t timeout_ms, LOGSYS* log, uint32_t bind_address) {
    NET_CONNECTION* connection = NET_ConnectStart(port, a, b, c, d, log, bind_address);
    if (!connection)
        return nullptr;
    const int connected = NET_ConnectPoll(connection, timeout_ms, log);
    if (connected == 1)
        return connection;
    if (connected == 0)
        LOGSYS_Text(log, kLogError, "NET_Connect: Select failed.");
    NET_Close(connection);
    return nullptr;
}

NET_CONNECTION* NET_Listen(uint16_t port, LOGSYS* log, uint32_t bind_address, int backlog) {
    auto* connection = new (std::nothrow) NET_CONNECTION;
    if (!connection)
        return nullptr;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        NET_ReportError(0, log, kLogAllClasses, 1);
        delete connection;
        return nullptr;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(bind_address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        LOGSYS_Text(log, kLogError, "NET_Init: Bind failed !");
        close(fd);
        delete connection;
        return nullptr;
    }
    if (listen(fd, backlog > 0 ? backlog : 5) != 0) {
        NET_ReportError(0, log, kLogAllClasses, 1);
        close(fd);
        delete connection;
        return nullptr;
    }
    connection->socket = fd;
    connection->peer = address;
    return connection;
}

NET_CONNECTION* NET_Accept(NET_CONNECTION* listener, uint32_t timeout_ms, LOGSYS* log) {
    if (!listener || listener->socket < 0)
        return nullptr;
    if (WaitSocket(listener->socket, POLLIN, timeout_ms) <= 0)
        return nullptr;
    auto* connection = new (std::nothrow) NET_CONNECTION;
    if (!connection)
        return nullptr;
    socklen_t length = sizeof connection->peer;
    int fd = accept4(listener->socket, reinterpret_cast<sockaddr*>(&connection->peer), &length,
                     SOCK_CLOEXEC);
    if (fd < 0) {
        NET_ReportError(0, log, kLogAllClasses, 1);
        delete connection;
        return nullptr;
    }
    connection->socket = fd;
    SetNoDelay(fd);
    // The system would let an accepted socket's send buffer grow to megabytes
    // for a peer that stops reading; a fixed one keeps what waits for a slow
    // reader in the server's own queue, under its per-user cap.
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kAcceptedSendBuffer, sizeof kAcceptedSendBuffer);
    return connection;
}

// [SECTION] Close and addresses
void NET_Shutdown(NET_CONNECTION* connection) {
    if (connection && connection->socket >= 0)
        shutdown(connection->socket, SHUT_RDWR);
}

int16_t NET_Close(NET_CONNECTION* connection) {
    if (!connection)
        return 0;
    if (connection->socket >= 0) {
        shutdown(connection->socket, SHUT_RDWR);
        close(connection->socket);
    }
    delete connection;
    return 0;
}

uint16_t NET_LocalPort(const NET_CONNECTION* connection) {
    if (!connection || connection->socket < 0)
        return 0;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(connection->socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool NET_SetReadAhead(NET_CONNECTION* connection, uint32_t size) {
    if (!connection || size == 0)
        return false;
    // Left uninitialised: pages of an idle connection's buffer that no bytes
    // ever reached take no memory.
    connection->ahead.reset(new (std::nothrow) uint8_t[size]);
    connection->ahead_size = connection->ahead ? size : 0;
    connection->ahead_begin = connection->ahead_end = 0;
    connection->ahead_status = 0;
    return connection->ahead != nullptr;
}

bool NET_HasReadAhead(const NET_CONNECTION* connection) {
    return connection && connection->ahead_end > connection->ahead_begin;
}

bool NET_HasReadAheadOrStatus(const NET_CONNECTION* connection) {
    return NET_HasReadAhead(connection) || (connection && connection->ahead_status != 0);
}

void NET_FormatAddress(const NET_CONNECTION* connection, char* buffer) {
    if (!buffer)
        return;
    uint32_t address = connection ? ntohl(connection->peer.sin_addr.s_addr) : 0;
    std::snprintf(buffer, kNetAddressText, "%.3d.%.3d.%.3d.%.3d", int(address >> 24),
                  int((address >> 16) & 0xFF), int((address >> 8) & 0xFF), int(address & 0xFF));
}
