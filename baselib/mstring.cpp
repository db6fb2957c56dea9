#include "baselib/mstring.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "baselib/logsys.h"

namespace {

void ReportFailure() {
    LOGSYS_Text(nullptr, kLogError, "error ocurred in mstring.cpp");
}

// Bytes of `source` to take: up to its terminator, or the given length.
size_t SourceLength(const char* source, int32_t length) {
    if (!source)
        return 0;
    if (length < 0)
        return std::strlen(source);
    return size_t(length);
}

}  // namespace

mstring::mstring(const char* source, int32_t max_size) : max_size(max_size) {
    Assign(source);
}

mstring mstring::FromInt(int value) {
    mstring result;
    result.Format("%d", value);
    return result;
}

mstring mstring::Concat(const mstring& a, const mstring& b) {
    mstring result;
    result.Assign(a.c_str());
    result.Append(b.c_str());
    return result;
}

mstring::~mstring() {
    std::free(text);
}

mstring::mstring(const mstring& other) : max_size(other.max_size) {
    if (other.text)
        Assign(other.text);
}

mstring& mstring::operator=(const mstring& other) {
    if (this != &other) {
        max_size = other.max_size;
        Assign(other.c_str());
    }
    return *this;
}

mstring::mstring(mstring&& other) noexcept
    : text(std::exchange(other.text, nullptr)),
      capacity(std::exchange(other.capacity, 0)),
      max_size(other.max_size) {}

mstring& mstring::operator=(mstring&& other) noexcept {
    if (this != &other) {
        std::free(text);
        text = std::exchange(other.text, nullptr);
        capacity = std::exchange(other.capacity, 0);
        max_size = other.max_size;
    }
    return *this;
}

size_t mstring::Length() const {
    return text ? std::strlen(text) : 0;
}

bool mstring::Reserve(int64_t wanted, bool keep_text) {
    if (max_size >= 0 && wanted > max_size)
        wanted = max_size;
    if (wanted > kMaxCapacity)
        wanted = kMaxCapacity;
    if (wanted < 1)
        wanted = 1;
    char* buffer = static_cast<char*>(std::malloc(size_t(wanted)));
    if (!buffer) {
        ReportFailure();
        return false;
    }
    buffer[0] = '\0';
    if (keep_text && text) {
        const size_t keep = std::min(std::strlen(text), size_t(wanted - 1));
        std::memcpy(buffer, text, keep);
        buffer[keep] = '\0';
    }
    std::free(text);
    text = buffer;
    capacity = int32_t(wanted);
    return true;
}

int mstring::Assign(const char* source, int32_t length) {
    const size_t count = SourceLength(source, length);
    // Copying from our own buffer: take a private copy first.
    if (source && text && source >= text && source < text + capacity) {
        mstring copy;
        if (copy.Assign(source, int32_t(count)) != 0)
            return -1;
        return Assign(copy.c_str(), int32_t(count));
    }
    if (!text || int64_t(count) + 1 > capacity) {
        if (!Reserve(int64_t(count) + 1, false)) {
            std::free(text);
            text = nullptr;
            capacity = 0;
            return -1;
        }
    }
    const size_t take = std::min(count, size_t(capacity - 1));
    if (take)
        std::memcpy(text, source, take);
    text[take] = '\0';
    return 0;
}

int mstring::Append(const char* source, int32_t length) {
    const size_t count = SourceLength(source, length);
    if (count == 0)
        return 0;
    if (source && text && source >= text && source < text + capacity) {
        mstring copy;
        if (copy.Assign(source, int32_t(count)) != 0)
            return -1;
        return Append(copy.c_str(), int32_t(count));
    }
    const size_t old_length = Length();
    const int64_t wanted = int64_t(old_length) + int64_t(count) + 1;
    if (!text || wanted > capacity) {
        if (!Reserve(wanted, true))
            return -1;
    }
    const size_t room = size_t(capacity - 1) - std::min(old_length, size_t(capacity - 1));
    const size_t take = std::min(count, room);
    std::memcpy(text + old_length, source, take);
    text[old_length + take] = '\0';
    return 0;
}

int mstring::AppendChar(char c) {
    const size_t old_length = Length();
    if (int64_t(old_length) + 2 > capacity) {
        if (max_size >= 0 && int64_t(old_length) + 2 > max_size)
            return -1;  // full
        if (!Reserve(int64_t(old_length) + 2, true))
            return -1;
    }
    text[old_length] = c;
    text[old_length + 1] = '\0';
    return 0;
}

void mstring::CopyOut(char* buffer, size_t size) const {
    if (!buffer || size == 0)
        return;
    const size_t take = std::min(Length(), size - 1);
    if (take)
        std::memcpy(buffer, text, take);
    buffer[take] = '\0';
}

void mstring::ToUpper() {
    if (!text)
        return;
    for (char* c = text; *c; ++c) *c = char(std::toupper(static_cast<unsigned char>(*c)));
}

int mstring::Format(const char* format, ...) {
    if (!format)
        return -1;
    char buffer[kFormatBuffer];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return Assign(buffer);
}
