#include "gui/gui_string.h"

#include <algorithm>

#include "gui/gui_style.h"

using vorlane::gui::GuiCanvas;
using vorlane::gui::GuiFont;

namespace {
// Break positions are 16-bit: a processed text is never longer than this.
constexpr size_t kMaxProcessed = 65535;
constexpr unsigned char kMarkerChar = 0xA7;
}  // namespace

void GUI_STRING::Set(const char* text, const GUI_TEXT_SOURCE* source, int id) {
    Clear();
    if (text && *text) {
        source_ = text;
    } else if (source && id >= 0) {
        const char* looked_up = source->GetText(id);
        if (looked_up)
            source_ = looked_up;
    }
    Parse();
}

void GUI_STRING::Clear() {
    source_.clear();
    processed_.clear();
    marker_ = -1;
    second_position_ = -1;
    breaks_.clear();
    lines_.clear();
    layout_valid_ = false;
}

void GUI_STRING::Parse() {
    processed_.reserve(source_.size());
    const size_t n = source_.size();
    for (size_t i = 0; i < n && processed_.size() < kMaxProcessed; ++i) {
        const unsigned char c = static_cast<unsigned char>(source_[i]);
        if (c == kMarkerChar) {
            marker_ = int32_t(processed_.size());
        } else if (c == '\n') {
            breaks_.push_back(uint16_t(processed_.size()));
        } else if (c == '~' && i + 1 < n) {
            ++i;
            if (source_[i] == 'n') {
                breaks_.push_back(uint16_t(processed_.size()));
            } else {
                processed_.push_back(source_[i]);
            }
        } else {
            processed_.push_back(char(c));
        }
    }
    layout_valid_ = false;
}

// Fills lines character by character. A forced break ends the line; when the
// width would pass the maximum, the line ends after its last blank, or before
// the character that does not fit (a line always keeps at least one character,
// so a glyph wider than the maximum cannot stall the loop).
template <typename Measure>
void GUI_STRING::BreakLines(Measure&& char_width, int max_width) {
    lines_.clear();
    const int32_t n = int32_t(processed_.size());
    size_t next_break = 0;
    int32_t start = 0, width = 0, last_blank = -1;
    auto end_line = [&](int32_t end, int32_t line_width) {
        lines_.push_back(Line{start, end - start, line_width});
    };
    for (int32_t pos = 0; pos < n; ++pos) {
        while (next_break < breaks_.size() && breaks_[next_break] <= pos) {
            if (breaks_[next_break] == pos) {
                end_line(pos, width);
                start = pos;
                width = 0;
                last_blank = -1;
            }
            ++next_break;
        }
        const unsigned char c = static_cast<unsigned char>(processed_[size_t(pos)]);
        const int w = char_width(c);
        if (max_width > 0 && width + w > max_width && pos > start) {
            if (last_blank >= start) {
                int32_t head = 0;
                for (int32_t k = start; k <= last_blank; ++k) {
                    head += char_width(static_cast<unsigned char>(processed_[size_t(k)]));
                }
                end_line(last_blank + 1, head);
                width -= head;
                start = last_blank + 1;
            } else {
                end_line(pos, width);
                start = pos;
                width = 0;
            }
            last_blank = -1;
        }
        width += w;
        if (c == ' ')
            last_blank = pos;
    }
    // Forced breaks at the very end leave empty lines behind the text.
    for (; next_break < breaks_.size(); ++next_break) {
        if (breaks_[next_break] >= n && start < n) {
            end_line(n, width);
            start = n;
            width = 0;
        }
    }
    if (start < n || lines_.empty())
        end_line(n, width);
}

const std::vector<GUI_STRING::Line>& GUI_STRING::Layout(const GuiFont* font, int max_width,
                                                        int max_height) {
    if (layout_valid_ && layout_measure_ == font && layout_width_ == max_width &&
        layout_height_ == max_height) {
        return lines_;
    }
    BreakLines([font](unsigned char c) { return font ? font->CharWidth(c) : 0; }, max_width);
    layout_measure_ = font;
    layout_width_ = max_width;
    layout_height_ = max_height;
    layout_valid_ = true;
    return lines_;
}

const std::vector<GUI_STRING::Line>& GUI_STRING::Layout(const GUI_STYLE& style, int max_width,
                                                        int max_height) {
    return Layout(style.ResolvedFont(), max_width, max_height);
}

int GUI_STRING::Draw(const GuiFont* font, GuiCanvas& target, int x, int y, uint32_t colour,
                     int max_width, int max_height, int align) {
    if (!font)
        return 0;
    if (colour_override_)
        colour = Colour();
    const auto& lines = Layout(font, max_width, max_height);
    const int line_height = font->Height();
    int drawn = 0;
    for (const Line& line : lines) {
        const int line_y = drawn * line_height;
        if (max_height > 0 && drawn > 0 && line_y >= max_height)
            break;
        const int room = max_width - int(line.width);
        const int line_x = x + (align == 1 ? room / 2 : align == 2 ? room : 0);
        font->DrawText(target, line_x, y + line_y,
                       std::string_view(processed_).substr(size_t(line.start), size_t(line.length)),
                       colour);
        ++drawn;
    }
    return drawn;
}

void GUI_STRING::DrawLine(const GuiFont* font, GuiCanvas& target, int x, int y, uint32_t colour,
                          bool show_marker) const {
    if (!font)
        return;
    if (colour_override_)
        colour = Colour();
    font->DrawText(target, x, y, processed_, colour);
    if (show_marker && marker_ >= 0 && marker_ < int32_t(processed_.size())) {
        const int before = font->TextWidth(std::string_view(processed_).substr(0, size_t(marker_)));
        const int cw = font->CharWidth(static_cast<unsigned char>(processed_[size_t(marker_)]));
        // Half-transparent so that the marked character stays readable.
        target.FillRect(x + before, y, cw, font->Height() - 1, (colour & 0xFFFFFF) | 0x80000000u);
    }
}
