#include "game/game_window.h"

#include <SDL.h>

#include <cstdio>

#include "media/gfxsys.h"
#include "resources/qntfont.h"

namespace vorlane::game {

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 240;
constexpr uint32_t kBackground = 0xFF101828;
constexpr uint32_t kTextColour = 0xFFE0E8FF;

}  // namespace

struct GameWindow::Parts {
    SDL_Window* window = nullptr;
    std::unique_ptr<media::GFXSYS3D> gfx;
    std::unique_ptr<resources::QNTFONT_BASE> font;

    ~Parts() {
        font.reset();
        if (gfx)
            gfx->Shutdown();
        gfx.reset();
        if (window)
            SDL_DestroyWindow(window);
    }
};

GameWindow::GameWindow() = default;
GameWindow::~GameWindow() = default;

bool GameWindow::Open(bool headless) {
    headless_ = headless;
    if (headless)
        return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    parts_ = std::make_unique<Parts>();
    parts_->window =
        SDL_CreateWindow("VORLANE GAME", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth,
                         kHeight, SDL_WINDOW_RESIZABLE);
    if (!parts_->window)
        return false;
    parts_->gfx = std::make_unique<media::GFXSYS3D>(media::MakeSdlDisplay());
    if (parts_->gfx->Init(parts_->window, kWidth, kHeight, 4, 0, 1) != 1)
        return false;
    auto font = std::make_unique<resources::QNTFONT_BASE>(parts_->gfx.get());
    // The front end's run folder has the fonts; without them the lines still
    // reach standard output.
    if (font->Load("data/font/font02.bcf", "data/font/font02.txt") == 0)
        parts_->font = std::move(font);
    return true;
}

void GameWindow::Show(const std::vector<std::string>& lines) {
    bool changed = lines != shown_;
    shown_ = lines;
    if (changed) {
        for (const std::string& line : lines) std::printf("vorlane-game: %s\n", line.c_str());
        std::fflush(stdout);
    }
    if (headless_ || !parts_ || !parts_->gfx)
        return;
    media::GFXSYS3D& gfx = *parts_->gfx;
    gfx.StartFrame();
    media::OSGFX* screen = gfx.screen();
    screen->Clear(kBackground);
    if (parts_->font) {
        int y = 16;
        screen->BeginDraw();
        for (const std::string& line : lines) {
            parts_->font->DrawTextEx(screen, 16, y, kTextColour, line.c_str(), 0);
            y += parts_->font->font_height + 8;
        }
        screen->EndDraw();
    }
    gfx.EndFrame(8);
}

bool GameWindow::CloseRequested() {
    if (headless_)
        return false;
    SDL_Event event;
    bool close = false;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            close = true;
    }
    return close;
}

}  // namespace vorlane::game
