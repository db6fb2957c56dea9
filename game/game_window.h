// The stand-in game's small window: a few lines of text that show which
// mission, which game and which players the hand-over produced. Headless runs
// print the same lines to standard output whenever they change.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vorlane::game {

class GameWindow {
  public:
    GameWindow();
    ~GameWindow();
    // Opens the window (or nothing when headless); false when SDL cannot.
    bool Open(bool headless);
    // Shows the lines (redrawn only when they changed).
    void Show(const std::vector<std::string>& lines);
    // Handles window events; true when the player closed the window.
    bool CloseRequested();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::vector<std::string> shown_;
    bool headless_ = true;
};

}  // namespace vorlane::game
