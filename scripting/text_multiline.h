// TEXT_MULTILINE: splits a text into lines that fit a pixel width in a font.
//
// The two-character pair "~" + any character ends a line and is dropped; the
// append form of SetText joins texts with "~n". Every change of text, font or
// width rewraps at once, so the lines are always current.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/text_measure.h"

class TEXT_MULTILINE {
  public:
    TEXT_MULTILINE() = default;

    // The font is not owned and may be null (no lines then).
    void SetFont(const TEXT_MEASURE* font);
    void SetWidth(uint32_t pixels);
    // Without a text yet, `text` becomes the text and `separator` is ignored;
    // otherwise `text` is appended, after "~n" when `separator` is non-zero.
    // 0 for a null text (nothing changes), else 1.
    int SetText(const char* text, int separator);

    uint32_t GetLineCount() const { return static_cast<uint32_t>(lines_.size()); }
    // The i-th line (from 0), null when there is no such line.
    const char* GetLine(uint32_t i) const;
    // The i-th line's width in pixels; 0 without a font or such a line.
    int16_t GetLineWidth(uint32_t i) const;
    // The source text, null when there is none.
    const char* GetText() const { return has_text_ ? text_.c_str() : nullptr; }
    uint32_t GetWidth() const { return width_; }

    void ClearLines() { lines_.clear(); }
    // Clears the lines and forgets the text.
    void Clear();

  private:
    void Rewrap();
    // Wraps one line starting at `start`; returns where the next line begins
    // (before blanks are skipped). Always beyond `start`.
    size_t WrapLine(size_t start);
    int32_t Measure(const std::string& text) const;

    std::vector<std::string> lines_;
    std::string text_;
    bool has_text_ = false;
    const TEXT_MEASURE* font_ = nullptr;
    uint32_t width_ = 0;
};
