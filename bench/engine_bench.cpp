// The engine's per-event costs: the change pass, the count and a new sheet.
// Each runs on the user-interface thread and should stay far below a frame.
#include "engine/random_source.h"
#include "engine/temp.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A window that draws nothing but keeps the typing box like the real one.
struct NullWindow : temp::WindowOps {
    std::u16string typing;
    void SelectCell(int, int) override {}
    void SetCellTextColour(std::uint32_t) override {}
    void SetCellText(std::u16string_view) override {}
    void SetTimerRunning(bool) override {}
    std::u16string ReadTypingText() override { return typing; }
    void SetTypingText(std::u16string_view t) override {
        if (t == typing)
            return;
        typing = t;
        temp::TypingChanged();
    }
    void FocusTypingBox() override {}
    void CommitComposition() override {}
    void SetClockText(std::u16string_view) override {}
    void SetFinishEnabled(bool) override {}
    temp::Answer Ask(std::u16string_view, std::u16string_view) override {
        return temp::Answer::Yes;
    }
    void EndProgram() override {}
};

NullWindow window;
temp::TwisterSource source(1);

void Setup() {
    temp::ResetState();
    temp::FillCharBank();
    temp::SetWindow(&window);
    temp::SetRandomSource(&source);
    temp::State.Started = temp::kTrue;
    temp::StartNewTest();
}

// Worst case: a full box replaced wholesale, no character aligned, every
// difference character found only at the end of the sheet.
void BM_ChangePassWholeBoxReplaced(benchmark::State &state) {
    Setup();
    const std::u16string &sheet = temp::State.SheetText;
    const std::u16string texts[2] = {std::u16string(100, sheet[99]),
                                     std::u16string(100, sheet[98])};
    int i = 0;
    for (auto _ : state) {
        window.SetTypingText(texts[i ^= 1]);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ChangePassWholeBoxReplaced);

// A full box of the 100 sheet characters: 100 x 100 comparisons.
void BM_CountCorrectFullBox(benchmark::State &state) {
    Setup();
    window.SetTypingText(temp::State.SheetText);
    for (auto _ : state)
        benchmark::DoNotOptimize(temp::CountCorrect());
}
BENCHMARK(BM_CountCorrectFullBox);

// Drawing a sheet from an empty box (no change pass).
void BM_StartNewTest(benchmark::State &state) {
    Setup();
    for (auto _ : state) {
        temp::StartNewTest();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StartNewTest);

} // namespace
