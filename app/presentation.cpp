#include "app/presentation.h"

#include "app/global_control.h"
#include "app/main_program.h"
#include "app/window.h"
#include "baselib/logsys.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_gfx_media.h"
#include "shell/global_data.h"

namespace vorlane {

namespace {

constexpr const char* kLocation = "presentation";

void LogError(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

}  // namespace

std::shared_ptr<media::OSGFX> MAIN_GetImage(const char* address) {
    resources::RAMA_CTRL* rama = g_control ? g_control->rama() : nullptr;
    return rama ? resources::RAMA_GetGraphic(rama->GetResource(address)) : nullptr;
}

std::unique_ptr<PRESENTATION> PRESENTATION::Create() {
    std::unique_ptr<PRESENTATION> presentation(new PRESENTATION());
    if (!presentation->Init()) {
        LogError("Init PRESENTATION class failed.");
        presentation->Release();
        return nullptr;
    }
    return presentation;
}

PRESENTATION::~PRESENTATION() {
    Release();
}

bool PRESENTATION::Init() {
    resources::RAMA_CTRL* rama = g_control ? g_control->rama() : nullptr;
    int id = rama ? rama->GetLocationID(kLocation) : -1;
    if (id < 0 || (rama->UnloadLocation(id), rama->LoadLocation(id) != 1)) {
        LogError("PRESENTATION::Init: Cannot load location.");
        return false;
    }
    for (Logo& logo : logos_) {
        logo.surface = MAIN_GetImage(logo.resource);
        if (!logo.surface) {
            LogError("PRESENTATION::Init: Cannot get resource.");
            return false;
        }
    }
    return true;
}

void PRESENTATION::SetLoadingGfx(int16_t x, int16_t y, const char* resource, const char* text,
                                 int font, uint32_t colour1, uint32_t colour2) {
    loading_ = MAIN_GetImage(resource);
    if (!loading_) {
        LogError("PRESENTATION::SetLoadingGfx: Cannot get resource.");
        return;
    }
    if (x < 0 || y < 0) {
        x = int16_t(g_settings->screen_width / 2 - loading_->width() / 2);
        y = int16_t(g_settings->screen_height - 2 * loading_->height());
        // A picture taller than a third of the screen would start above it:
        // keep it on the screen instead.
        if (x < 0)
            x = 0;
        if (y < 0)
            y = 0;
    }
    loading_->SetPos(x, y);
    MAIN_DrawTextCentred(*loading_, font, text, colour1, colour2);
}

void PRESENTATION::Draw() {
    media::GFXSYS3D* gfx = MAIN_Gfx();
    if (!gfx || !gfx->screen())
        return;
    media::OSGFX& screen = *gfx->screen();
    if ((flags & kLoadingPicture) && loading_)
        loading_->Paste(&screen, media::kPasteAlpha);
    if (flags & kInfoOverlay) {
        uint32_t mask = gfx->AlphaMask(196, 1);
        const int width = gfx->width();
        const int height = gfx->height();
        if (media::OSGFX* first = logos_[0].surface.get()) {
            first->SetPos(width - first->width() - 20, 10);
            first->Paste(&screen, media::kPasteAlphaMask, mask);
        }
        if (media::OSGFX* second = logos_[1].surface.get()) {
            second->SetPos(width - second->width() - 10, height - second->height() - 10);
            second->Paste(&screen, media::kPasteAlphaMask, mask);
        }
    }
}

void PRESENTATION::Release() {
    resources::RAMA_CTRL* rama = g_control ? g_control->rama() : nullptr;
    if (rama) {
        int id = rama->GetLocationID(kLocation);
        if (id >= 0)
            rama->UnloadLocation(id);
    }
    loading_.reset();
    for (Logo& logo : logos_) logo.surface.reset();
    flags = 0;
}

}  // namespace vorlane
