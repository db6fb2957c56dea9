// [SECTION] index
//   Log lines, user calls, message loop, server operations, client operations,
//   timed calls.
#include "net/krnl.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <new>
#include <string>

#include "baselib/bl_file.h"
#include "baselib/byte_reader.h"
#include "baselib/log_channel.h"
#include "baselib/timer.h"
#include "net/net_protocol.h"

using vorlane::LogTo;

namespace {

// The 32-bit little-endian field a kernel message's data starts with (a group
// identifier, a refusal reason); 0 when the data is shorter.
uint32_t LeadingU32(const ENVELOPE* envelope) {
    vorlane::ByteReader reader(envelope->data.data(), envelope->data.size());
    const uint32_t value = reader.U32();
    return reader.ok() ? value : 0;
}

// [SECTION] Log lines

std::string ClockText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour % 100, local.tm_min % 100,
                  local.tm_sec % 100);
    return text;
}

std::string DateText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", (local.tm_mon + 1) % 100,
                  local.tm_mday % 100, local.tm_year % 100);
    return text;
}

std::string DurationText(uint32_t span_ms) {
    long ms = long(span_ms);
    char text[48];
    std::snprintf(text, sizeof text, "%2.2ld:%2.2ld:%2.2ld:%3.3ld", ms / 3600000, (ms / 60000) % 60,
                  (ms / 1000) % 60, ms % 1000);
    return text;
}

struct Counters {
    long bytes = 0;
    long envelopes = 0;
};

Counters ReadCounters(CONNECTION_DATA* data) {
    std::lock_guard lock(data->mutex);
    return {long(data->bytes), long(data->envelopes)};
}

void WriteLogin(NETDRV* driver, NETUSR* user) {
    char address[kNetAddressText];
    NET_FormatAddress(user->connection, address);
    std::string line = "- LOGIN   " + ClockText(user->reader->created_wall) + " " + address + " " +
                       (user->address ? user->address->name : "");
    LOGSYS_Text(driver->user_log, kLogInfo, line.c_str());
}

// [SECTION] User calls

int LogonCheck(CALL_PARAM* parameter) {
    auto* call = static_cast<USER_CALL_PARAM*>(parameter);
    NETDRV* driver = call->driver;
    if (!NETUSR_Contains(&driver->users, call->user)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Logon check: Connection already removed.");
    } else if (call->user->flags & kUsrLoggedOn) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Logon check: connection is ok.");
    } else {
        LOGSYS_Text(driver->net_log, kLogInfo, "Logon check: Remove connection !");
        KRNL_SendUsrRemoveMessage(driver, call->user);
    }
    return 0;
}

int SendAliveMessage(CALL_PARAM* parameter) {
    auto* call = static_cast<USER_CALL_PARAM*>(parameter);
    NETDRV* driver = call->driver;
    LOGSYS_Text(driver->user_log, kLogInfo, "SendAliveMessage: Called.");
    const uint8_t payload[2] = {0, 0};
    if (QueueForUser(driver, call->user, call->user->Id(), NET_ID_SERVER, NET_MSGTYPE_STAYINGALIVE,
                     payload, sizeof payload) != 0) {
        LOGSYS_Text(driver->net_log, kLogError, "SendAliveMessage: Cannot send message.");
    }
    return 0;
}

template <typename Param>
uint32_t AddUserCall(NETDRV* driver, NETUSR* user, CALL_FUNCTION function, uint32_t delay_ms,
                     uint32_t add_flags) {
    auto* parameter = new (std::nothrow) Param;
    if (!parameter)
        return 0;
    parameter->driver = driver;
    parameter->user = user;
    return CALL_Add(driver->calls, function, parameter, delay_ms, add_flags, 1, 1);
}

int MatchUser(CALL_PARAM* parameter, void* argument) {
    auto* call = dynamic_cast<USER_CALL_PARAM*>(parameter);
    return call && call->user == argument ? 1 : 0;
}

int MatchLogonCheck(CALL_PARAM* parameter, void* argument) {
    auto* call = dynamic_cast<LOGON_CHECK_PARAM*>(parameter);
    return call && call->user == argument ? 1 : 0;
}

// [SECTION] Server operations

// The sender the server believes: a logged-on peer's own identifier, so a
// peer cannot speak in another user's name.
bool TrustedSender(NETUSR* user, uint32_t* sender) {
    if (!user || !user->address)
        return false;
    *sender = user->address->id;
    return true;
}

// Tells the server application that a client's message was dropped. 0: the
// drop itself is no failure of the kernel.
int16_t Refused(NETDRV* driver, uint32_t sender, uint32_t type) {
    if (driver->api)
        driver->api->SrvDataRefused(sender, type);
    return 0;
}

int16_t DistributeCustomData(NETDRV* driver, ENVELOPE* envelope) {
    uint32_t sender = 0;
    if (!TrustedSender(envelope->user, &sender))
        return -1;
    const uint32_t receiver = envelope->header.receiver;
    if (receiver == NET_ID_SERVER) {
        if (driver->api)
            driver->api->SrvCustomData(sender, envelope->data.data(), envelope->data_size());
        return 0;
    }
    // With relaying switched off data for other users is dropped on purpose.
    if (!driver->relay)
        return Refused(driver, sender, NET_MSGTYPE_CUSTOMDATA);
    return SendSingleMessage(driver, sender, receiver, NET_MSGTYPE_CUSTOMDATA,
                             envelope->data.data(), envelope->data_size());
}

// Saves a received file and tells the application. 0 or -1.
int16_t SaveFile(NETDRV* driver, ENVELOPE* envelope) {
    FILE_RECORD record;
    const bool server = driver->mode == kModeServer;
    // Without a folder for them files are not taken at all: nothing lands in
    // the working folder because a peer chose to send it.
    if (driver->file_dir.empty()) {
        LOGSYS_Text(driver->net_log, kLogWarning, "FILE REFUSED: no folder takes files.");
        uint32_t sender = 0;
        if (server && TrustedSender(envelope->user, &sender))
            Refused(driver, sender, NET_MSGTYPE_FILE);
        DecodeFileRecord(envelope->data.data(), envelope->data.size(), &record);
        if (driver->api) {
            server ? driver->api->SrvFileFailed(record.name.c_str())
                   : driver->api->CltFileFailed(record.name.c_str());
        }
        return 0;
    }
    bool saved = DecodeFileRecord(envelope->data.data(), envelope->data.size(), &record) &&
                 IsSafeFileName(record.name) &&
                 FILE_Save((driver->file_dir + "/" + record.name).c_str(), record.contents,
                           record.length) >= 0;
    if (saved) {
        std::string line = "FILE RECEIVED: " + record.name;
        LOGSYS_Text(driver->net_log, kLogInfo, line.c_str());
    }
    if (driver->api) {
        if (saved) {
            server ? driver->api->SrvFileReceived(record.name.c_str())
                   : driver->api->CltFileReceived(record.name.c_str());
        } else {
            server ? driver->api->SrvFileFailed(record.name.c_str())
                   : driver->api->CltFileFailed(record.name.c_str());
        }
    }
    return saved ? 0 : -1;
}

int16_t DistributeFile(NETDRV* driver, ENVELOPE* envelope) {
    uint32_t sender = 0;
    if (!TrustedSender(envelope->user, &sender))
        return -1;
    if (envelope->header.receiver == NET_ID_SERVER)
        return SaveFile(driver, envelope);
    if (!driver->relay)
        return Refused(driver, sender, NET_MSGTYPE_FILE);
    return SendSingleMessage(driver, sender, envelope->header.receiver, NET_MSGTYPE_FILE,
                             envelope->data.data(), envelope->data_size());
}

int16_t DistributeGroupData(NETDRV* driver, ENVELOPE* envelope) {
    uint32_t sender = 0;
    if (!TrustedSender(envelope->user, &sender) || envelope->data.size() < 4)
        return -1;
    // A client's group data always goes to other users. The server's own
    // group data does not pass here (NETGRP_SendToAll), so it still goes out.
    if (!driver->relay)
        return Refused(driver, sender, NET_MSGTYPE_GROUPDATA);
    // The group identifier stays in front, as the receiving client expects it.
    return NETGRP_SendToAll(driver, LeadingU32(envelope), envelope->data.data(),
                            envelope->data_size());
}

// [SECTION] Client operations

int16_t LogonAccepted(NETDRV* driver, ENVELOPE* envelope) {
    LOGSYS_Text(driver->net_log, kLogInfo, "Server game tick: Server accepted LOGMEON.");
    NETUSR* user = envelope->user;
    LOGON_RECORD record;
    if (!user || !NETUSR_Contains(&driver->users, user) ||
        !DecodeLogonRecord(envelope->data.data(), envelope->data.size(), &record)) {
        return -1;
    }
    if (user->address)
        return -1;  // already logged on: a repeated reply changes nothing
    auto lock = NETUSR_Lock(&driver->users);
    ADDR_RECORD* address = ADDR_Insert(&driver->users.addr, record.name, record.password);
    if (!address) {
        LOGSYS_Text(driver->net_log, kLogError,
                    "Server game tick: ServerAcceptedLOGON: Insert usradr failed.");
        return -1;
    }
    address->id = record.id;
    user->address = address;
    user->flags |= kUsrLoggedOn;
    lock.unlock();
    if (driver->api)
        driver->api->CltLogonAccepted(record.id);
    LOGSYS_Text(driver->net_log, kLogInfo, "Server game tick: LOGON completed.");
    LogTo(driver->net_log, kLogInfo, "YOUR ID IS: << %ld >>", long(record.id));
    if (!AddUserCall<USER_CALL_PARAM>(driver, user, SendAliveMessage,
                                      driver->settings.srv_sendalive,
                                      kCallTimed | kCallStoreInterval | kCallRepeat)) {
        LOGSYS_Text(driver->net_log, kLogError, "SendAliveMessage: Cannot alloc message.");
    }
    return 0;
}

// The server refused the log-on: the application learns why, and the
// connection goes at once instead of waiting for the log-on time-out.
int16_t LogonRefused(NETDRV* driver, ENVELOPE* envelope) {
    NETUSR* user = envelope->user;
    if (!user || !NETUSR_Contains(&driver->users, user) || user->address)
        return -1;
    const uint32_t reason = LeadingU32(envelope);
    LogTo(driver->net_log, kLogWarning, "Server refused LOGMEON (reason %lu).",
          (unsigned long)reason);
    if (driver->api)
        driver->api->CltLogonRefused(reason);
    return KRNL_SendUsrRemoveMessage(driver, user);
}

int16_t ClientGroupData(NETDRV* driver, ENVELOPE* envelope) {
    if (envelope->data.size() < 4)
        return -1;
    if (driver->api) {
        driver->api->CltGroupData(envelope->header.receiver, envelope->header.sender,
                                  LeadingU32(envelope), envelope->data.data() + 4,
                                  envelope->data_size() - 4);
    }
    return 0;
}

// [SECTION] Message loop

void Failed(NETDRV* driver, int16_t result, const char* line) {
    if (result != 0)
        LOGSYS_Text(driver->net_log, kLogError, line);
}

using EnvelopeStep = int16_t (*)(NETDRV* driver, ENVELOPE* envelope);

// The message types server and client treat alike, apart from who takes a
// file and group data; anything else is unknown.
void HandleShared(NETDRV* driver, ENVELOPE* envelope, EnvelopeStep file, EnvelopeStep group_data) {
    LOGSYS* log = driver->net_log;
    switch (envelope->header.type) {
        case NET_MSGTYPE_STAYINGALIVE:
            if (driver->Verbose(kVerboseLoop)) {
                LOGSYS_Text(log, kLogInfo, "MAIN: MessageLoop got STAYINGALIVE msg.");
            }
            break;
        case NET_MSGTYPE_FILE:
            Failed(driver, file(driver, envelope), "MAIN: MessageLoop distritbute FILE failed.");
            break;
        case NET_MSGTYPE_GROUPDATA:
            Failed(driver, group_data(driver, envelope),
                   "MAIN: MessageLoop: Distribute GROUPDATA failed.");
            break;
        default:
            LOGSYS_Text(log, kLogWarning, "MAIN: MessageLoop got UNKNOWN msg type !!!");
            break;
    }
}

void HandleServer(NETDRV* driver, ENVELOPE* envelope) {
    LOGSYS* log = driver->net_log;
    switch (envelope->header.type) {
        case NET_MSGTYPE_TIMESYNC:
            LOGSYS_Text(log, kLogWarning, "MAIN: MessageLoop: Server got wrong SYNCTIME msg !!!");
            break;
        case NET_MSGTYPE_CUSTOMDATA:
            Failed(driver, DistributeCustomData(driver, envelope),
                   "MAIN: MessageLoop distritbute CUSTOMDATA failed.");
            break;
        case NET_MSGTYPE_LOGMEON:
            Failed(driver, KRNL_LogClientOn(driver, envelope),
                   "MAIN: MessageLoop could not log on client.");
            break;
        case NET_MSGTYPE_LOGMEOFF:
            Failed(driver, KRNL_LogClientOff(driver, envelope),
                   "MAIN: MessageLoop could not log client off.");
            break;
        case NET_MSGTYPE_LOGONACCEPTED:
            LOGSYS_Text(log, kLogWarning,
                        "MAIN: MessageLoop: Server got wrong LOGONACCEPTED msg !!!");
            break;
        case NET_MSGTYPE_LOGOFFACCEPTED:
            LOGSYS_Text(log, kLogWarning,
                        "MAIN: MessageLoop: Server got wrong LOGOFFACCEPTED msg !!!");
            break;
        case NET_MSGTYPE_NEWCONNECTION: {
            NET_CONNECTION* connection = envelope->connection;
            envelope->connection = nullptr;
            Failed(driver, KRNL_InitUser(driver, connection),
                   "MAIN: MessageLoop could not init user.");
            break;
        }
        default:
            HandleShared(driver, envelope, DistributeFile, DistributeGroupData);
            break;
    }
}

void HandleClient(NETDRV* driver, ENVELOPE* envelope) {
    LOGSYS* log = driver->net_log;
    switch (envelope->header.type) {
        case NET_MSGTYPE_TIMESYNC:
            LOGSYS_Text(log, kLogInfo, "MAIN: MessageLoop got TIMESYNC msg.");
            break;
        case NET_MSGTYPE_CUSTOMDATA:
            if (driver->api) {
                driver->api->CltCustomData(envelope->header.receiver, envelope->header.sender,
                                           envelope->data.data(), envelope->data_size());
            }
            break;
        case NET_MSGTYPE_LOGMEON:
            LOGSYS_Text(log, kLogWarning, "MAIN: MessageLoop: Client got wrong LOGMEON msg !!!");
            break;
        case NET_MSGTYPE_LOGMEOFF:
            LOGSYS_Text(log, kLogWarning, "MAIN: MessageLoop: Client got wrong LOGMEOFF msg !!!");
            break;
        case NET_MSGTYPE_LOGONACCEPTED:
            Failed(driver, LogonAccepted(driver, envelope),
                   "MAIN: MessageLoop LOGONACCEPTED failed.");
            break;
        case NET_MSGTYPE_LOGONREFUSED:
            Failed(driver, LogonRefused(driver, envelope),
                   "MAIN: MessageLoop LOGONREFUSED failed.");
            break;
        case NET_MSGTYPE_LOGOFFACCEPTED: {
            LOGSYS_Text(log, kLogInfo, "MAIN: MessageLoop got LOGOFFACCEPTED.");
            NETUSR* user = envelope->user;
            if (!user || !NETUSR_Contains(&driver->users, user)) {
                LOGSYS_Text(log, kLogError, "MAIN: MessageLoop LOGOFFACCEPTED failed.");
            } else if (driver->api) {
                driver->api->CltLogoffAccepted(user->Id());
            }
            break;
        }
        default:
            HandleShared(driver, envelope, SaveFile, ClientGroupData);
            break;
    }
}

}  // namespace

void KRNL_HandleEnvelope(NETDRV* driver, ENVELOPE* envelope) {
    if (!envelope)
        return;
    const uint32_t type = envelope->header.type;
    const bool internal_type = type == NET_MSGTYPE_REMOVEUSER || type == NET_MSGTYPE_NEWCONNECTION;
    if (internal_type != envelope->internal) {
        LOGSYS_Text(driver->net_log, kLogWarning, "MAIN: MessageLoop got UNKNOWN msg type !!!");
    } else if (type == NET_MSGTYPE_REMOVEUSER) {
        Failed(driver, KRNL_RemoveUser(driver, envelope->user),
               "MAIN: MessageLoop could not remove user.");
    } else if (type == NET_MSGTYPE_NEWCONNECTION && driver->mode != kModeServer) {
        NET_Close(envelope->connection);
        envelope->connection = nullptr;
    } else if (driver->mode == kModeServer) {
        HandleServer(driver, envelope);
    } else {
        HandleClient(driver, envelope);
    }
    NET_FreeEnvelope(envelope);
}

uint32_t KRNL_MessageLoop(NETDRV* driver) {
    if (!driver)
        return 0;
    ENVELOPE* envelope = PopReadQueue(driver);
    if (!envelope)
        return 0;
    const uint32_t type = envelope->header.type;
    KRNL_HandleEnvelope(driver, envelope);
    return type;
}

// [SECTION] Users

int16_t KRNL_SendUsrRemoveMessage(NETDRV* driver, NETUSR* user) {
    if (!user)
        return -1;
    if (user->flags.fetch_or(kUsrRemoveRequested) & kUsrRemoveRequested)
        return 0;
    ENVELOPE* envelope = NET_CreateEnvelope(nullptr, 0);
    if (!envelope) {
        user->flags &= ~kUsrRemoveRequested;
        LOGSYS_Text(driver->net_log, kLogError,
                    "KRNL_SendUsrRemoveMessage: Cannot allocate envelope.");
        return -1;
    }
    envelope->header.type = NET_MSGTYPE_REMOVEUSER;
    envelope->user = user;
    envelope->internal = true;
    PushReadQueue(driver, envelope);
    return 0;
}

int16_t KRNL_RemoveUser(NETDRV* driver, NETUSR* user) {
    LOGSYS_Text(driver->net_log, kLogInfo, "KRNL_RemoveUser: Removing user.");
    if (!NETUSR_Contains(&driver->users, user))
        return 0;
    const bool server = driver->mode == kModeServer;
    if (server)
        KRNL_WriteLogout(driver, user);
    const uint32_t id = user->Id();
    if (driver->api)
        server ? driver->api->SrvUserRemoved(id) : driver->api->CltUserRemoved(id);
    KRNL_CancelUserCalls(driver, user);
    if (server && id)
        NETGRP_RemoveUserEverywhere(driver->groups, id);
    {
        auto lock = NETUSR_Lock(&driver->users);
        ADDR_Remove(&driver->users.addr, user->address);
        user->address = nullptr;
    }
    NETUSR_RemoveUser(driver, user);
    return 0;
}

void KRNL_ConnectionLost(NETDRV* driver, NETUSR* user) {
    LOGSYS_Text(driver->net_log, kLogWarning, "Server game tick: CONNECTION LOST.");
    LOGSYS_Text(nullptr, kLogInfo, "*** KRNL_ConnectionLost");
    const uint32_t id = user->Id();
    if (id && driver->api) {
        driver->mode == kModeServer ? driver->api->SrvConnectionLost(id)
                                    : driver->api->CltConnectionLost(id);
    }
    KRNL_SendUsrRemoveMessage(driver, user);
}

int16_t KRNL_InitUser(NETDRV* driver, NET_CONNECTION* connection) {
    NETUSR* user = InitUser(driver, connection);
    if (!user) {
        NET_Close(connection);
        LOGSYS_Text(driver->net_log, kLogError, "KRNL_InitUser: Cannot init user.");
        return -1;
    }
    if (!KRNL_AddLogonCheck(driver, user, driver->settings.usr_logoncheck)) {
        LOGSYS_Text(driver->net_log, kLogError, "KRNL_InitUser: Cannot alloc parameter.");
    }
    PostToUserThreads(user, kSigStart);
    return 0;
}

int16_t KRNL_LogClientOn(NETDRV* driver, ENVELOPE* envelope) {
    if (driver->Verbose(kVerboseLoop)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Server game tick: Log on Client.");
    }
    NETUSR* user = envelope->user;
    if (!NETUSR_Contains(&driver->users, user)) {
        LOGSYS_Text(driver->net_log, kLogError,
                    "KRNL_LogClientOn: User not found, already removed ?");
        return -1;
    }
    LOGON_RECORD request;
    if (!DecodeLogonRecord(envelope->data.data(), envelope->data.size(), &request))
        return -1;
    // A second log-on on the same connection would leak its first record.
    if (user->address)
        return -1;
    auto lock = NETUSR_Lock(&driver->users);
    if (ADDR_IsFull(&driver->users.addr)) {
        // Said plainly, so that the client need not wait for its time-out.
        LOGSYS_Text(driver->net_log, kLogWarning,
                    "Server game tick: LogClientOn: server full, Logon refused.");
        const uint8_t reason[4] = {uint8_t(NET_LOGON_REFUSED_FULL), 0, 0, 0};
        QueueForUser(driver, user, NET_ID_SERVER, NET_ID_UNKNOWN, NET_MSGTYPE_LOGONREFUSED, reason,
                     sizeof reason);
        lock.unlock();
        // Its place is kept only until the refusal is out.
        KRNL_AddLogonCheck(
            driver, user,
            std::min(driver->settings.srv_sendlogofftimeout, driver->settings.usr_logoncheck));
        return 0;
    }
    ADDR_RECORD* address = ADDR_Insert(&driver->users.addr, request.name, request.password);
    if (!address) {
        LOGSYS_Text(driver->net_log, kLogError,
                    "Server game tick: LogClientOn: ID System refused Logon.");
        return -1;
    }
    user->address = address;
    user->flags |= kUsrLoggedOn;
    LOGON_RECORD reply;
    reply.id = address->id;
    reply.name = address->name;
    reply.password.clear();
    reply.flags = address->flags;
    std::vector<uint8_t> payload = EncodeLogonRecord(reply);
    if (QueueForUser(driver, user, NET_ID_SERVER, address->id, NET_MSGTYPE_LOGONACCEPTED,
                     payload.data(), uint32_t(payload.size())) != 0) {
        user->flags &= ~kUsrLoggedOn;
        LOGSYS_Text(
            driver->net_log, kLogError,
            "Server game tick: LogClientOn: Send message NET_MSGTYPE_LOGONACCEPTED failed.");
        return -1;
    }
    lock.unlock();
    if (driver->api)
        driver->api->SrvUserLoggedOn(address->id);
    WriteLogin(driver, user);
    CALL_ForEach(driver->calls, MatchLogonCheck, user);
    return 0;
}

int16_t KRNL_LogClientOff(NETDRV* driver, ENVELOPE* envelope) {
    if (driver->Verbose(kVerboseLoop)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Server game tick: LogClientOff.");
    }
    NETUSR* user = envelope->user;
    if (!NETUSR_Contains(&driver->users, user) || !user->address) {
        LOGSYS_Text(driver->net_log, kLogError,
                    "KRNL_LogClientOff: User not found, already removed ?");
        return -1;
    }
    const uint32_t id = user->address->id;
    if (driver->api)
        driver->api->SrvUserLoggedOff(id);
    std::vector<uint8_t> payload = EncodeLogoffRecord();
    if (QueueForUser(driver, user, NET_ID_SERVER, id, NET_MSGTYPE_LOGOFFACCEPTED, payload.data(),
                     uint32_t(payload.size())) != 0) {
        LOGSYS_Text(
            driver->net_log, kLogError,
            "Server game tick: LogClientOff: Send message NET_MSGTYPE_LOGOFFACCEPTED failed.");
        return -1;
    }
    {
        std::lock_guard user_lock(user->mutex);
        user->reader->signals.Post(kSigStop);
        KRNL_AddLogonCheck(driver, user, driver->settings.srv_sendlogofftimeout);
        user->flags &= ~kUsrLoggedOn;
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "Server game tick: LogClientOff completed.");
    return 0;
}

uint32_t KRNL_AddLogonCheck(NETDRV* driver, NETUSR* user, uint32_t delay_ms) {
    return AddUserCall<LOGON_CHECK_PARAM>(driver, user, LogonCheck, delay_ms, kCallTimed);
}

void KRNL_CancelUserCalls(NETDRV* driver, NETUSR* user) {
    CALL_ForEach(driver->calls, MatchUser, user);
}

// [SECTION] Timed calls

void KRNL_WriteUserOnline(NETDRV* driver) {
    std::string line = "- ALIVE   " + ClockText(std::time(nullptr)) + " ";
    char count[32];
    std::snprintf(count, sizeof count, "USER ONLINE: %d", NETUSR_Count(&driver->users));
    line += count;
    LOGSYS_Text(driver->user_log, kLogInfo, line.c_str());
}

void KRNL_WriteLogout(NETDRV* driver, NETUSR* user) {
    if (user->logout_written)
        return;
    user->logout_written = true;
    const std::time_t now = std::time(nullptr);
    char address[kNetAddressText];
    NET_FormatAddress(user->connection, address);
    char plain[INET_ADDRSTRLEN] = "0.0.0.0";
    if (user->connection) {
        inet_ntop(AF_INET, &user->connection->peer.sin_addr, plain, sizeof plain);
    }
    const std::string duration =
        DurationText(vorlane::baselib::SteadyClock().NowMs() - user->reader->created);
    const Counters in = ReadCounters(user->reader.get());
    const Counters out = ReadCounters(user->writer.get());
    char tail[128];
    std::snprintf(tail, sizeof tail, " IN: %ld - %ld OUT: %ld - %ld ", in.bytes, in.envelopes,
                  out.bytes, out.envelopes);
    std::string line =
        "- LOGOUT  " + ClockText(now) + " " + address + " ONLINE: " + duration + tail;
    LOGSYS_Text(driver->user_log, kLogInfo, line.c_str());
    LogTo(driver->data_log, kLogData, "%s,%s,%s,%s,%ld,%ld,%ld,%ld", DateText(now).c_str(),
          ClockText(now).c_str(), plain, duration.c_str(), in.envelopes, in.bytes, out.envelopes,
          out.bytes);
}

int KRNL_PTR_CheckDeadConnections(CALL_PARAM* parameter) {
    NETDRV* driver = static_cast<DRIVER_CALL_PARAM*>(parameter)->driver;
    const uint32_t now = vorlane::baselib::SteadyClock().NowMs();
    const uint32_t silence = driver->settings.srv_checkdeadcon;
    std::vector<NETUSR*> dead;
    NETUSR_ForEach(&driver->users, [&](NETUSR* user) {
        if (user->flags & kUsrRemoveRequested)
            return;
        std::lock_guard lock(user->reader->mutex);
        if (uint32_t(now - user->reader->last_transfer) > silence)
            dead.push_back(user);
    });
    // Only this thread removes users, so the pointers stay valid meanwhile.
    for (NETUSR* user : dead) {
        KRNL_WriteLogout(driver, user);
        KRNL_ConnectionLost(driver, user);
    }
    return 0;
}

int KRNL_PTR_UserOnline(CALL_PARAM* parameter) {
    KRNL_WriteUserOnline(static_cast<DRIVER_CALL_PARAM*>(parameter)->driver);
    return 0;
}
