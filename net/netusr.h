// The kernel's users: one per connection, kept in the user list together with
// the address system that hands out user identifiers.
//
// User flags:
//   0x01 logged on        0x02/0x04/0x08 threads set up   0x10 connected
//   0x20 created          0x40 removal requested    0x80 TLS handshake failed
//
// Life of a user:
//   created (0x20) -> threads running (0x0E) -> connected (0x10, client)
//   -> logged on (0x01) -> logged off (0x01 cleared) -> removal requested
//   (0x40) -> removed
//
// Lock order: the user list's mutex before a user's own mutex.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/envelope.h"
#include "net/id_system.h"
#include "net/pl_list.h"

struct NETDRV;

constexpr uint32_t kUsrLoggedOn = 0x01;
constexpr uint32_t kUsrThreads = 0x0E;
constexpr uint32_t kUsrConnected = 0x10;
constexpr uint32_t kUsrCreated = 0x20;
constexpr uint32_t kUsrRemoveRequested = 0x40;
// The connection's TLS handshake failed or ran out of time (server).
constexpr uint32_t kUsrHandshakeFailed = 0x80;

// Thread signals: to a thread ...
constexpr uint32_t kSigStop = 0x08;
constexpr uint32_t kSigStart = 0x10;
constexpr uint32_t kSigTerminate = 0x20;
// ... and from a thread.
constexpr uint32_t kSigRunning = 0x40;
constexpr uint32_t kSigEnded = 0x80;
constexpr uint32_t kSigDataReceived = 0x400;
constexpr uint32_t kSigProblem = 0x800;

constexpr uint32_t kReaderKind = 1212;
constexpr uint32_t kWriterKind = 3535;

// Address record: identifier, name, password, flags (bit 0 in use).
struct ADDR_RECORD {
    uint32_t id = 0;
    char name[32] = {};
    char password[8] = {};
    uint32_t flags = 0;
    uint32_t local_id = 0;  // identifier taken from this table's own ID system
};

struct ADDR_SYSTEM {
    std::vector<ADDR_RECORD> records;
    std::unique_ptr<ID_SYSTEM, void (*)(ID_SYSTEM*)> ids{nullptr, ID_Destroy};
    uint32_t capacity = 0;
    uint32_t used = 0;
    uint32_t id_base = 0;  // added to the table's own identifiers (NET_SETTINGS::srv_id_base)
};

bool ADDR_Init(ADDR_SYSTEM* addr, uint32_t capacity);
// The first unused record with the lowest free identifier; null when full.
ADDR_RECORD* ADDR_Insert(ADDR_SYSTEM* addr, const std::string& name, const std::string& password);
void ADDR_Remove(ADDR_SYSTEM* addr, ADDR_RECORD* record);
bool ADDR_IsFull(const ADDR_SYSTEM* addr);

// Signals between a thread and its controller, and the writer's queue.
struct SIGNAL_BLOCK {
    std::mutex mutex;
    std::condition_variable changed;
    uint32_t to_thread = 0;
    uint32_t from_thread = 0;

    void Post(uint32_t bits);    // to the thread
    void Report(uint32_t bits);  // from the thread
    bool TestReported(uint32_t bits);
    // Waits until all `bits` were reported or `timeout_ms` passed.
    bool WaitReported(uint32_t bits, uint32_t timeout_ms);
};

// One reader or writer thread with its counters.
struct CONNECTION_DATA {
    uint32_t kind = 0;
    std::mutex mutex;            // guards the counters and times below
    uint32_t last_transfer = 0;  // steady-clock milliseconds
    uint32_t created = 0;
    std::time_t created_wall = 0;
    uint64_t bytes = 0;
    uint64_t envelopes = 0;
    bool transferred = false;

    std::thread thread;
    SIGNAL_BLOCK signals;
    std::deque<ENVELOPE*> queue;  // writer only; guarded by signals.mutex
    // Writer only, guarded by signals.mutex: it was started and not stopped,
    // and it is sending what it took from `queue`.
    bool active = false;
    bool busy = false;
    uint64_t queued_bytes = 0;  // payload bytes in `queue`
    uint64_t queue_cap = 0;     // most payload bytes `queue` may hold (0 = the kernel's limit)
    // Reader only, guarded by the driver's read_mutex: what this connection
    // has waiting for the message loop.
    uint64_t inbound_bytes = 0;
    uint32_t inbound_envelopes = 0;
    bool held_back = false;  // the reader waits for room
    // Reader only: standing aside while the kernel's owner receives for it
    // (NETDRV_WaitForMessage). `receive_mutex` is held by whoever receives
    // from the connection while the reader is parked, and guards `parked`
    // and the connection's read-ahead then; `handback` (under signals.mutex)
    // asks the reader to receive what comes next itself.
    std::mutex receive_mutex;
    bool parked = false;
    bool handback = false;
    struct NETUSR* user = nullptr;
    NET_CONNECTION* connection = nullptr;

    ~CONNECTION_DATA();
    void CountTransfer(uint32_t size);
};

struct NETUSR {
    std::atomic<uint32_t> flags{0};
    std::recursive_mutex mutex;
    std::unique_ptr<CONNECTION_DATA> reader;
    std::unique_ptr<CONNECTION_DATA> writer;
    NET_CONNECTION* connection = nullptr;  // owned; closed when the user is removed
    int16_t slot = -1;
    ADDR_RECORD* address = nullptr;  // null until logged on
    NETDRV* driver = nullptr;
    bool logout_written = false;  // the log-out lines are written once

    uint32_t Id() const { return address ? address->id : 0; }
};

struct NETUSR_LIST {
    PL_LIST* list = nullptr;
    ADDR_SYSTEM addr;
};

// Locks the user list (recursive; the owner thread may nest).
std::unique_lock<std::recursive_mutex> NETUSR_Lock(NETUSR_LIST* users);
bool NETUSR_Contains(NETUSR_LIST* users, const NETUSR* user);
// The user whose address record has identifier `id`, or null. Caller holds the lock.
NETUSR* NETUSR_FindById(NETUSR_LIST* users, uint32_t id);
int NETUSR_Count(NETUSR_LIST* users);
// Calls `visit` for every user, under the list's lock.
template <typename Visit>
void NETUSR_ForEach(NETUSR_LIST* users, Visit visit) {
    auto lock = NETUSR_Lock(users);
    for (int16_t i = users->list->head; i >= 0;) {
        int16_t next = users->list->slots[size_t(i)].next;
        visit(static_cast<NETUSR*>(users->list->slots[size_t(i)].element));
        i = next;
    }
}
