#include "scripting/text_multiline.h"

#include <new>

#include "baselib/log_channel.h"

using vorlane::Log;

void TEXT_MULTILINE::SetFont(const TEXT_MEASURE* font) {
    font_ = font;
    Rewrap();
}

void TEXT_MULTILINE::SetWidth(uint32_t pixels) {
    width_ = pixels;
    Rewrap();
}

int TEXT_MULTILINE::SetText(const char* text, int separator) {
    if (!text)
        return 0;
    try {
        if (!has_text_) {
            text_ = text;
        } else {
            std::string joined;
            joined.reserve(text_.size() + std::char_traits<char>::length(text) + 3);
            joined += text_;
            if (separator)
                joined += "~n";
            joined += text;
            text_.swap(joined);
        }
        has_text_ = true;
    } catch (const std::bad_alloc&) {
        Log(kLogError, "TEXT_MULTILINE can't create text buffer");
        return 1;  // the text stays as it was
    }
    Rewrap();
    return 1;
}

const char* TEXT_MULTILINE::GetLine(uint32_t i) const {
    return i < lines_.size() ? lines_[i].c_str() : nullptr;
}

int16_t TEXT_MULTILINE::GetLineWidth(uint32_t i) const {
    if (!font_ || i >= lines_.size())
        return 0;
    return font_->TextWidth(lines_[i].c_str());
}

void TEXT_MULTILINE::Clear() {
    ClearLines();
    text_.clear();
    has_text_ = false;
}

int32_t TEXT_MULTILINE::Measure(const std::string& text) const {
    return font_->TextWidth(text.c_str());
}

void TEXT_MULTILINE::Rewrap() {
    ClearLines();
    if (!has_text_ || !font_ || width_ == 0 || text_.empty())
        return;
    try {
        size_t position = 0;
        while (position < text_.size()) {
            position = WrapLine(position);
            while (position < text_.size() && text_[position] == ' ') ++position;
        }
    } catch (const std::bad_alloc&) {
        // A line that cannot be copied ends the scan; the lines so far stay.
    }
}

// One line, word by word:
//   - a break is the nearer of the next blank and the next "~" (or the end);
//   - a "~x" pair at the scan position ends the line and is dropped;
//   - each candidate (line start up to the break) narrower than the width is
//     kept as the fitting one; the first that is not ends the line before it.
// Without any fitting candidate the first word is cut to the longest prefix
// not wider than the width, and the rest continues on the next line.
size_t TEXT_MULTILINE::WrapLine(size_t start) {
    const std::string& text = text_;
    const size_t end = text.size();
    const int64_t width = width_;
    // A "~" at the very end has no partner: it is an ordinary character, and
    // taking it as a break would leave the scan standing on it forever.
    auto is_pair = [&](size_t at) { return at + 1 < end && text[at] == '~'; };
    auto next_break = [&](size_t from) {
        for (size_t at = from; at < end; ++at) {
            if (text[at] == ' ' || is_pair(at))
                return at;
        }
        return end;
    };

    size_t scan = start;
    size_t brk = start;
    bool have_fit = false;
    std::string fit;
    size_t finish = start;
    for (;;) {
        if (scan >= end) {
            finish = end;
            break;
        }
        brk = next_break(scan);
        if (is_pair(scan)) {
            finish = scan + 2;
            break;
        }
        std::string candidate = text.substr(start, brk - start);
        size_t next = brk;
        if (next < end && text[next] == ' ') {
            while (next < end && text[next] == ' ') ++next;
        }
        if (Measure(candidate) < width) {
            fit.swap(candidate);
            have_fit = true;
            scan = next;
            continue;
        }
        finish = scan;
        break;
    }

    if (have_fit) {
        lines_.push_back(std::move(fit));
        return finish;
    }
    std::string cut = text.substr(start, brk - start);
    while (!cut.empty() && Measure(cut) > width) {
        cut.pop_back();
        --brk;
    }
    if (cut.empty() && brk == start && !is_pair(brk)) {
        // Not even one character fits: put one on the line anyway, so that
        // every line advances and the wrap ends.
        cut.assign(1, text[start]);
        brk = start + 1;
    }
    if (is_pair(brk))
        brk += 2;
    lines_.push_back(std::move(cut));
    return brk;
}
