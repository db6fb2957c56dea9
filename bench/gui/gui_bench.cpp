// Cost of one GUI frame (update and draw pass) of a busy 1024 x 768 screen with
// 500 widgets, among them lists of 200 rows, beside the cost of one opaque
// full-screen copy measured in the same run; and the cost of refilling a list.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "gui/gui_canvas.h"
#include "gui/gui_control.h"
#include "gui/gui_widgets.h"

using namespace vorlane::gui;

namespace {

constexpr int kScreenW = 1024, kScreenH = 768;

class Fonts : public GuiFontSource {
  public:
    const GuiFont* GetFont(int number) const override { return number == 0 ? &font_ : nullptr; }

  private:
    BuiltinFont font_{7, 12};
};

// Fills the screen with frames of widgets until 500 widgets exist.
int BuildScreen(GUI_CONTROL& control) {
    int widgets = 0;
    int cell = 0;
    while (widgets < 500) {
        const int cx = (cell % 8) * 128, cy = (cell / 8) * 128 % kScreenH;
        ++cell;
        auto* frame = control.Add(std::make_unique<GUI_FRAME>());
        frame->SetPos(cx, cy);
        frame->SetSize(126, 126);
        ++widgets;
        if (cell % 6 == 0) {
            auto* list = frame->Add(std::make_unique<GUI_LIST>());
            list->SetPos(4, 4);
            list->SetSize(118, 118);
            for (int i = 0; i < 200; ++i)
                list->AddItem(("player " + std::to_string(i)).c_str(), true);
            list->SetSelection(5);
            ++widgets;
            continue;
        }
        auto* button = frame->Add(std::make_unique<GUI_BUTTON>());
        button->SetPos(4, 4);
        button->SetSize(118, 20);
        button->SetText("Join game");
        auto* box = frame->Add(std::make_unique<GUI_INPUTBOX>());
        box->SetPos(4, 28);
        box->SetSize(118, 18);
        box->SetText("player name");
        auto* check = frame->Add(std::make_unique<GUI_CHECKBOX>());
        check->SetPos(4, 50);
        check->SetText("ready");
        check->SetChecked(true);
        auto* radio = frame->Add(std::make_unique<GUI_RADIO>());
        radio->SetPos(64, 50);
        radio->SetSize(50, 16);
        radio->SetText("red");
        auto* text = frame->Add(std::make_unique<GUI_TEXT>());
        text->SetPos(4, 72);
        text->SetSize(118, 12);
        text->SetText("Channel: main");
        auto* bar = frame->Add(std::make_unique<GUI_SCROLLBAR>());
        bar->SetPos(4, 90);
        bar->SetSize(118, 16);
        bar->SetRange(50);
        bar->SetVisibleCount(10);
        bar->SetPosition(20);
        widgets += 6;
    }
    return widgets;
}

double MicrosecondsPerCopy(MemoryCanvas& target, const MemoryCanvas& source) {
    constexpr int kRounds = 50;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        target.CopyFrom(source);
        benchmark::ClobberMemory();
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count() / kRounds;
}

void BM_FullScreenCopy(benchmark::State& state) {
    MemoryCanvas source(kScreenW, kScreenH, 0xFF102030), target(kScreenW, kScreenH);
    for (auto _ : state) {
        target.CopyFrom(source);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FullScreenCopy)->Unit(benchmark::kMicrosecond);

void BM_GuiFrame(benchmark::State& state) {
    Fonts fonts;
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(&fonts);
    {
        GUI_CONTROL control;
        control.Init(0, 0, kScreenW, kScreenH);
        const int widgets = BuildScreen(control);
        MemoryCanvas screen(kScreenW, kScreenH), background(kScreenW, kScreenH, 0xFF000000);
        const auto start = std::chrono::steady_clock::now();
        for (auto _ : state) {
            control.Update();
            control.Draw(screen);
            control.DrawTooltip(screen);
            benchmark::ClobberMemory();
        }
        const auto end = std::chrono::steady_clock::now();
        const double frame_us = std::chrono::duration<double, std::micro>(end - start).count() /
                                double(std::max<int64_t>(state.iterations(), 1));
        // The baseline: one opaque full-screen copy, measured right after.
        const double copy_us = MicrosecondsPerCopy(screen, background);
        state.counters["widgets"] = widgets;
        state.counters["frame_us"] = frame_us;
        state.counters["copy_us"] = copy_us;
        state.counters["frame_per_copy"] = frame_us / copy_us;
    }
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(nullptr);
}
BENCHMARK(BM_GuiFrame)->Unit(benchmark::kMicrosecond);

// Clearing and refilling a list of n rows in sorted order (the lobby's user
// and game lists are rebuilt this way on every change).
void BM_ListRefillSorted(benchmark::State& state) {
    Fonts fonts;
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(&fonts);
    {
        GUI_CONTROL control;
        control.Init(0, 0, kScreenW, kScreenH);
        auto* list = control.Add(std::make_unique<GUI_LIST>());
        list->SetSize(200, 400);
        const int n = int(state.range(0));
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i) names.push_back("user" + std::to_string((i * 7919) % n));
        for (auto _ : state) {
            list->Clear(true);
            for (const auto& name : names) list->AddItem(name.c_str(), true);
            benchmark::DoNotOptimize(list->ItemCount());
        }
        state.SetComplexityN(n);
    }
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(nullptr);
}
BENCHMARK(BM_ListRefillSorted)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(4000)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
