#include "resources/rama_index.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "baselib/log_channel.h"

namespace vorlane::resources {

namespace {

// Walks the quoted fields of an index text (checked for NUL bytes before).
// Quotes are found with a memchr-speed search rather than byte by byte.
class QuotedFields {
  public:
    explicit QuotedFields(std::string_view text) : text_(text) {}

    // The next finished field; false at the end of the text.
    bool Next() {
        size_t open = FindQuote(position_);
        if (open == std::string_view::npos)
            return End(false);
        size_t close = FindQuote(open + 1);
        if (close == std::string_view::npos)
            return End(true);
        std::string_view raw = text_.substr(open + 1, close - open - 1);
        position_ = close + 1;
        ++finished_;
        field_.clear();
        if (raw.find_first_of("\r\n") == std::string_view::npos) {
            field_.assign(raw.substr(0, kIndexFieldMax));
            return true;
        }
        for (char c : raw) {
            if (c == '\r' || c == '\n')
                continue;
            if (field_.size() == kIndexFieldMax)
                break;
            field_ += c;
        }
        return true;
    }
    const std::string& Field() const { return field_; }
    // True when the text ended inside an open quote.
    bool Inside() const { return inside_; }
    size_t Finished() const { return finished_; }

  private:
    // Fields and the gaps between them are short: a plain loop over the first
    // bytes beats a library search call; long runs go to the library search.
    size_t FindQuote(size_t from) const {
        size_t stop = std::min(text_.size(), from + 32);
        for (size_t i = from; i < stop; ++i) {
            if (text_[i] == '"')
                return i;
        }
        return stop < text_.size() ? text_.find('"', stop) : std::string_view::npos;
    }

    bool End(bool inside) {
        inside_ = inside;
        position_ = text_.size();
        return false;
    }

    std::string_view text_;
    size_t position_ = 0;
    std::string field_;
    bool inside_ = false;
    size_t finished_ = 0;
};

// Digits only, read as decimal; saturates instead of wrapping.
uint32_t DigitsValue(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            continue;
        value = value * 10 + uint64_t(c - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return std::numeric_limits<uint32_t>::max();
    }
    return uint32_t(value);
}

// Decimal up to the first character that is not a digit.
uint32_t LeadingValue(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + uint64_t(c - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return std::numeric_limits<uint32_t>::max();
    }
    return uint32_t(value);
}

bool HasNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

}  // namespace

bool ParseMasterIndexText(std::string_view text, MasterIndex& out, const char* class_name) {
    static constexpr const char* kOp = "ParseMasterIndex";
    out = MasterIndex{};
    const char* reason = nullptr;
    QuotedFields fields(text);
    if (text.empty())
        reason = "parsing failed";
    if (!reason && HasNul(text))
        reason = "invalid 0 char found";
    if (!reason) {
        while (fields.Next()) {
            const std::string& field = fields.Field();
            switch (fields.Finished()) {
                case 1:
                    out.project = field;
                    break;
                case 2:
                    out.date = field;
                    break;
                case 3:
                    out.build = DigitsValue(field);
                    break;
                case 4:
                    out.declared_count = DigitsValue(field);
                    break;
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
        if (fields.Inside())
            ++state;
        if (state < 8)
            reason = "parsing failed";
    }
    if (reason) {
        Log(kLogError, "%s::%s: %s", class_name, kOp, reason);
        out = MasterIndex{};
        return false;
    }
    if (out.read_count != out.declared_count) {
        Log(kLogWarning, "%s::%s: parsing ended unbalanced: %u != %u", class_name, kOp,
            out.read_count, out.declared_count);
    }
    return true;
}

bool ParseLocationIndexText(std::string_view text, LocationIndex& out) {
    static constexpr const char* kClass = "RAMA_LOC";
    static constexpr const char* kOp = "ParseFromMemory";
    out = LocationIndex{};
    const char* reason = nullptr;
    if (HasNul(text))
        reason = "invalid 0 char found";
    QuotedFields fields(text);
    LocationRecord record;
    if (!reason) {
        while (fields.Next()) {
            const std::string& field = fields.Field();
            size_t finished = fields.Finished();
            if (finished == 1) {
                out.name = field;
                if (out.name.compare(0, 5, "patch") == 0) {
                    out.patch = true;
                    Log(kLogInfo, "* PATCHLOCATION: %s", out.name.c_str());
                }
                continue;
            }
            switch ((finished - 2) % 4) {
                case 0:
                    record.address = field;
                    break;
                case 1:
                    record.number = DigitsValue(field);
                    break;
                case 2:
                    record.short_text = field.substr(0, kShortTextMax);
                    break;
                case 3:
                    record.type = DigitsValue(field);
                    if (record.type >= 21) {
                        Log(kLogWarning, "%s::%s: resource type (%d) out of bounds: %s", kClass,
                            kOp,
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
        if (fields.Inside())
            ++state;
        out.final_state = state;
        if (state != 2) {
            Log(kLogWarning, "%s::%s: out of order pstate (%d)", kClass, kOp, state);
            if (state < 2)
                reason = "nothing to parse";
        }
    }
    if (reason) {
        Log(kLogError, "%s::%s: %s", kClass, kOp, reason);
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
