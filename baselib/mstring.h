// mstring: a heap string with an optional maximum size. The buffer is sized
// exactly (capacity counts the terminator) and never grows past max_size;
// longer text is cut. A refused allocation leaves the string empty and logs
// "error ocurred in mstring.cpp".
#pragma once

#include <cstddef>
#include <cstdint>

class mstring {
  public:
    // Largest buffer an unlimited string takes.
    static constexpr int32_t kMaxCapacity = int32_t(1) << 30;
    static constexpr size_t kFormatBuffer = 2048;

    explicit mstring(int32_t max_size = -1) : max_size(max_size) {}
    explicit mstring(const char* text, int32_t max_size = -1);
    // The decimal text of `value`.
    static mstring FromInt(int value);
    // A new string holding `a` followed by `b`.
    static mstring Concat(const mstring& a, const mstring& b);

    ~mstring();
    mstring(const mstring& other);
    mstring& operator=(const mstring& other);
    mstring(mstring&& other) noexcept;
    mstring& operator=(mstring&& other) noexcept;

    // `length` -1 takes the text up to its terminator; a given length must not
    // pass the text's end. 0, or -1 when memory is refused.
    int Assign(const char* source, int32_t length = -1);
    int Append(const char* source, int32_t length = -1);
    int AppendChar(char c);
    // Copies into `buffer` of `size` bytes, always terminated (when size > 0).
    void CopyOut(char* buffer, size_t size) const;
    void ToUpper();
    // printf-style, formatted through a buffer of kFormatBuffer bytes.
    int Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Never null: "" for an empty string.
    const char* c_str() const { return text ? text : ""; }
    size_t Length() const;

    char* text = nullptr;
    int32_t capacity = 0;
    int32_t max_size = -1;

  private:
    // A buffer of `wanted` bytes (cut to max_size); frees the old one. False when refused.
    bool Reserve(int64_t wanted, bool keep_text);
};
