#include "resources/rama_index.h"

#include <cstdio>
#include <limits>

#include "resources/res_log.h"

namespace vorlane::resources {

namespace {

// Collects the quoted fields of an index text one byte at a time.
class QuotedFields {
public:
    // Feeds one byte; true when it finished a field (then Field() holds it).
    bool Feed(char c) {
        if (c == '"') {
            if (inside_) {
                inside_ = false;
                ++finished_;
                return true;
            }
            inside_ = true;
            field_.clear();
            return false;
        }
        if (!inside_ || c == '\r' || c == '\n') return false;
        if (field_.size() < kIndexFieldMax) field_ += c;
        return false;
    }
    const std::string& Field() const { return field_; }
    bool Inside() const { return inside_; }
    size_t Finished() const { return finished_; }

private:
    std::string field_;
    bool inside_ = false;
    size_t finished_ = 0;
};

// Digits only, read as decimal; saturates instead of wrapping.
uint32_t DigitsValue(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        value = value * 10 + uint64_t(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
    }
    return uint32_t(value);
}

// Decimal up to the first character that is not a digit.
uint32_t LeadingValue(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + uint64_t(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
    }
    return uint32_t(value);
}

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

}  // namespace

bool ParseMasterIndexText(std::string_view text, MasterIndex& out, const char* class_name) {
    static constexpr const char* kOp = "ParseMasterIndex";
    out = MasterIndex{};
    const char* reason = nullptr;
    QuotedFields fields;
    if (text.empty()) reason = "parsing failed";
    if (!reason && HasNul(text)) reason = "invalid 0 char found";
    if (!reason) {
        for (char c : text) {
            if (!fields.Feed(c)) continue;
            const std::string& field = fields.Field();
            switch (fields.Finished()) {
                case 1: out.project = field; break;
                case 2: out.date = field; break;
                case 3: out.build = DigitsValue(field); break;
                case 4: out.declared_count = DigitsValue(field); break;
                default:
                    // Numbers beyond the declared count are counted, not stored, so
                    // nothing is allocated from the declared count itself.
                    if (out.read_count < out.declared_count) {
                        out.locations.push_back(LeadingValue(field));
                    }
                    ++out.read_count;
                    break;
            }
        }
        size_t finished = fields.Finished();
        int state = finished < 4 ? int(2 * finished) : 8;
        if (fields.Inside()) ++state;
        if (state < 8) reason = "parsing failed";
    }
    if (reason) {
        ResLog(16, "%s::%s: %s", class_name, kOp, reason);
        out = MasterIndex{};
        return false;
    }
    if (out.read_count != out.declared_count) {
        ResLog(8, "%s::%s: parsing ended unbalanced: %u != %u", class_name, kOp, out.read_count,
               out.declared_count);
    }
    return true;
}

bool ParseLocationIndexText(std::string_view text, LocationIndex& out) {
    static constexpr const char* kClass = "RAMA_LOC";
    static constexpr const char* kOp = "ParseFromMemory";
    out = LocationIndex{};
    const char* reason = nullptr;
    if (HasNul(text)) reason = "invalid 0 char found";
    QuotedFields fields;
    LocationRecord record;
    if (!reason) {
        for (char c : text) {
            if (!fields.Feed(c)) continue;
            const std::string& field = fields.Field();
            size_t finished = fields.Finished();
            if (finished == 1) {
                out.name = field;
                if (out.name.compare(0, 5, "patch") == 0) {
                    out.patch = true;
                    ResLog(4, "* PATCHLOCATION: %s", out.name.c_str());
                }
                continue;
            }
            switch ((finished - 2) % 4) {
                case 0: record.address = field; break;
                case 1: record.number = DigitsValue(field); break;
                case 2: record.short_text = field.substr(0, kShortTextMax); break;
                case 3:
                    record.type = DigitsValue(field);
                    if (record.type >= 21) {
                        ResLog(8, "%s::%s: resource type (%d) out of bounds: %s", kClass, kOp,
                               int(std::min<uint32_t>(record.type, std::numeric_limits<int>::max())),
                               record.address.c_str());
                    }
                    out.records.push_back(std::move(record));
                    record = LocationRecord{};
                    break;
            }
        }
        size_t finished = fields.Finished();
        int state = finished == 0 ? 0 : int(2 + 2 * ((finished - 1) % 4));
        if (fields.Inside()) ++state;
        out.final_state = state;
        if (state != 2) {
            ResLog(8, "%s::%s: out of order pstate (%d)", kClass, kOp, state);
            if (state < 2) reason = "nothing to parse";
        }
    }
    if (reason) {
        ResLog(16, "%s::%s: %s", kClass, kOp, reason);
        int state = out.final_state;
        out = LocationIndex{};
        out.final_state = state;
        return false;
    }
    return true;
}

std::string LocationFileName(uint32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "data\\loc%04u.dix", number);
    return name;
}

namespace {

void AppendField(std::string& out, std::string_view field) {
    out += '"';
    out += field;
    out += '"';
}

}  // namespace

std::string WriteMasterIndexText(const MasterIndex& index) {
    std::string out = "// master index\r\n";
    AppendField(out, index.project);
    out += "\r\n";
    AppendField(out, index.date);
    out += "\r\n";
    AppendField(out, std::to_string(index.build));
    out += "\r\n";
    AppendField(out, std::to_string(index.locations.size()));
    out += "\r\n";
    for (uint32_t number : index.locations) {
        AppendField(out, std::to_string(number));
        out += "\r\n";
    }
    return out;
}

std::string WriteLocationIndexText(const LocationIndex& index) {
    std::string out;
    AppendField(out, index.name);
    out += "\r\n";
    for (const LocationRecord& record : index.records) {
        AppendField(out, record.address);
        out += ' ';
        AppendField(out, std::to_string(record.number));
        out += ' ';
        AppendField(out, record.short_text);
        out += ' ';
        AppendField(out, std::to_string(record.type));
        out += "\r\n";
    }
    return out;
}

}  // namespace vorlane::resources
