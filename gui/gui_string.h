// GUI_STRING: a text shown by an object. It parses a small markup (0xA7 marks
// the cursor character, a line feed or "~n" forces a line break, "~" escapes the
// next character), breaks into lines for a width and draws itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gui/gui_canvas.h"
#include "gui/gui_palette.h"

class GUI_STYLE;

// Where texts by id come from (the text library); optional for `Set`.
class GUI_TEXT_SOURCE {
  public:
    virtual ~GUI_TEXT_SOURCE() = default;
    virtual const char* GetText(int id) const = 0;
};

class GUI_STRING {
  public:
    struct Line {
        int32_t start = 0;
        int32_t length = 0;
        int32_t width = 0;
    };

    GUI_STRING() = default;
    explicit GUI_STRING(const char* text) { Set(text); }

    // Replaces the text: `text` when not empty, else the source's text for `id`.
    void Set(const char* text, const GUI_TEXT_SOURCE* source = nullptr, int id = -1);
    void Clear();

    const std::string& Source() const { return source_; }
    const std::string& Processed() const { return processed_; }
    const char* c_str() const { return processed_.c_str(); }
    int32_t Marker() const { return marker_; }
    const std::vector<uint16_t>& Breaks() const { return breaks_; }
    void SetColour(uint32_t colour) {
        colour_ = colour;
        colour_override_ = 1;
        colour_role_ = vorlane::gui::ColourRole::kNone;
    }
    // A colour by meaning: looked up in the palette each time it is drawn, so
    // a change of palette reaches texts that are already shown.
    void SetColourRole(vorlane::gui::ColourRole role) {
        colour_role_ = role;
        colour_override_ = role != vorlane::gui::ColourRole::kNone ? 1 : 0;
    }
    void ClearColour() {
        colour_override_ = 0;
        colour_role_ = vorlane::gui::ColourRole::kNone;
    }
    bool HasColour() const { return colour_override_ != 0; }
    uint32_t Colour() const {
        return colour_role_ != vorlane::gui::ColourRole::kNone
                   ? vorlane::gui::RoleColour(colour_role_)
                   : colour_;
    }
    vorlane::gui::ColourRole Role() const { return colour_role_; }

    // Line breaking for a width (cached per font, width and height).
    const std::vector<Line>& Layout(const vorlane::gui::GuiFont* font, int max_width,
                                    int max_height);
    const std::vector<Line>& Layout(const GUI_STYLE& style, int max_width, int max_height);

    // Draws the laid-out lines, one font height apart, while they start above
    // y + max_height; `align` 1 centres each line in max_width, 2 puts it
    // right. Returns the number of lines drawn.
    int Draw(const vorlane::gui::GuiFont* font, vorlane::gui::GuiCanvas& target, int x, int y,
             uint32_t colour, int max_width, int max_height, int align = 0);
    // Draws the whole processed text on one line; with `show_marker`, a cursor
    // block under the marked character.
    void DrawLine(const vorlane::gui::GuiFont* font, vorlane::gui::GuiCanvas& target, int x, int y,
                  uint32_t colour, bool show_marker) const;

  private:
    void Parse();
    template <typename Measure>
    void BreakLines(Measure&& char_width, int max_width);

    std::string source_;
    std::string processed_;
    int32_t marker_ = -1;
    int32_t second_position_ = -1;
    std::vector<uint16_t> breaks_;
    uint8_t colour_override_ = 0;
    uint32_t colour_ = 0;
    vorlane::gui::ColourRole colour_role_ = vorlane::gui::ColourRole::kNone;
    // Layout cache.
    std::vector<Line> lines_;
    const void* layout_measure_ = nullptr;
    int layout_width_ = -1, layout_height_ = -1;
    bool layout_valid_ = false;
};
