#include "net/net_protocol.h"

#include "baselib/byte_reader.h"
#include "net/envelope.h"

using vorlane::ByteReader;
using vorlane::ByteWriter;

std::vector<uint8_t> EncodeLogonRecord(const LOGON_RECORD& record) {
    std::vector<uint8_t> out;
    ByteWriter writer(out);
    writer.U32(kEnvelopeMagic);
    writer.U32(record.id);
    writer.FixedString(record.name.substr(0, kNameField - 1), kNameField);
    writer.FixedString(record.password.substr(0, kPasswordField - 1), kPasswordField);
    writer.U32(record.flags);
    return out;
}

bool DecodeLogonRecord(const uint8_t* data, size_t size, LOGON_RECORD* record) {
    ByteReader reader(data, size);
    if (reader.U32() != kEnvelopeMagic || !reader.ok())
        return false;
    record->id = reader.U32();
    record->name = reader.FixedString(kNameField);
    record->password = reader.FixedString(kPasswordField);
    record->flags = reader.U32();
    if (!reader.ok())
        return false;
    if (record->name.size() >= kNameField)
        record->name.resize(kNameField - 1);
    if (record->password.size() >= kPasswordField)
        record->password.resize(kPasswordField - 1);
    return true;
}

std::vector<uint8_t> EncodeLogoffRecord() {
    std::vector<uint8_t> out;
    ByteWriter writer(out);
    writer.U32(kEnvelopeMagic);
    writer.Zeros(kLogonRecordSize - 4);
    return out;
}

std::vector<uint8_t> EncodeFileRecord(const std::string& name, const void* contents,
                                      uint32_t length) {
    std::vector<uint8_t> out;
    ByteWriter writer(out);
    writer.FixedString(name.substr(0, kFileNameField - 1), kFileNameField);
    writer.U32(uint32_t(kFileRecordHeader));
    writer.U32(length);
    if (contents && length)
        writer.Bytes(contents, length);
    return out;
}

bool DecodeFileRecord(const uint8_t* data, size_t size, FILE_RECORD* record) {
    ByteReader reader(data, size);
    record->name = reader.FixedString(kFileNameField);
    uint32_t position = reader.U32();
    uint32_t length = reader.U32();
    if (!reader.ok() || record->name.size() >= kFileNameField)
        return false;
    if (position > size || length > size - position)
        return false;
    record->contents = data + position;
    record->length = length;
    return true;
}

bool IsSafeFileName(const std::string& name) {
    // A plain name: letters, digits, '.', '_' and '-', no leading dot, short
    // enough for any file system. Nothing a shell or a path could read twice.
    if (name.empty() || name.size() > 64 || name[0] == '.')
        return false;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain)
            return false;
    }
    return true;
}
