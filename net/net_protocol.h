// The kernel's protocol constants and the fixed records carried in envelopes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reserved identifiers in the sender and receiver fields.
constexpr uint32_t NET_ID_SERVER = 0xEFFFFFCC;
constexpr uint32_t USR_ALL = 0xEFFFFFDD;
constexpr uint32_t NET_ID_UNKNOWN = 0xEFFFFFEE;

// Message types.
enum : uint32_t {
    NET_MSGTYPE_TIMESYNC = 1,
    NET_MSGTYPE_CUSTOMDATA = 2,
    NET_MSGTYPE_LOGMEON = 3,
    NET_MSGTYPE_LOGMEOFF = 4,
    NET_MSGTYPE_LOGONACCEPTED = 5,
    NET_MSGTYPE_LOGOFFACCEPTED = 6,
    NET_MSGTYPE_REMOVEUSER = 8,     // internal: carries the user
    NET_MSGTYPE_NEWCONNECTION = 9,  // internal: carries the accepted connection
    NET_MSGTYPE_STAYINGALIVE = 11,
    NET_MSGTYPE_FILE = 12,
    NET_MSGTYPE_GROUPDATA = 14,
    // Server -> client instead of LOGONACCEPTED: 0 reason (32). A client that
    // does not know the type ignores it and waits for its log-on time-out.
    NET_MSGTYPE_LOGONREFUSED = 20,
};

// Reasons of LOGONREFUSED.
enum : uint32_t {
    NET_LOGON_REFUSED_FULL = 1,  // the server has all the users it takes
};

// Log-on record (LOGMEON, LOGONACCEPTED), 52 bytes:
//   0 magic, 4 identifier, 8 name[32], 40 password[8], 48 flags.
// LOGMEOFF and LOGOFFACCEPTED carry the same size: the magic and 48 zeros.
constexpr size_t kLogonRecordSize = 52;
constexpr size_t kNameField = 32;     // at most 31 characters
constexpr size_t kPasswordField = 8;  // at most 7 characters

struct LOGON_RECORD {
    uint32_t id = NET_ID_UNKNOWN;
    std::string name;
    std::string password;
    uint32_t flags = 1;
};

std::vector<uint8_t> EncodeLogonRecord(const LOGON_RECORD& record);
// False when the payload is shorter than a record or the magic is wrong. Texts
// are bounded by their field (one byte kept for the terminating zero) even
// when the sender wrote no zero.
bool DecodeLogonRecord(const uint8_t* data, size_t size, LOGON_RECORD* record);
std::vector<uint8_t> EncodeLogoffRecord();

// File record (FILE): 0 name[128], 128 position of the contents, 132 length.
constexpr size_t kFileNameField = 128;
constexpr size_t kFileRecordHeader = 136;

struct FILE_RECORD {
    std::string name;
    const uint8_t* contents = nullptr;  // points into the decoded payload
    uint32_t length = 0;
};

std::vector<uint8_t> EncodeFileRecord(const std::string& name, const void* contents,
                                      uint32_t length);
// False unless the contents lie inside the payload.
bool DecodeFileRecord(const uint8_t* data, size_t size, FILE_RECORD* record);
// A received file may only be saved under a plain name in the folder set for
// files: letters, digits, '.', '_', '-', at most 64 characters, no leading dot.
bool IsSafeFileName(const std::string& name);
