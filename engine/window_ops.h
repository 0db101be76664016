// The engine's only road to the screen. The real window implements these on
// its controls; tests implement them with a recording fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace temp {

// Colours are 0xBBGGRR.
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kRed = 0x0000FF;

enum class Answer { Yes, No };

class WindowOps {
public:
    virtual ~WindowOps() = default;

    // Grid: choose the current cell (0-based), then act on it.
    virtual void SelectCell(int column, int row) = 0;
    virtual void SetCellTextColour(std::uint32_t bgr) = 0;
    virtual void SetCellText(std::u16string_view text) = 0;

    // On: a tick every 1000 ms (ClockTick) until switched off.
    virtual void SetTimerRunning(bool on) = 0;

    // The typing box. Setting a different text runs TypingChanged to
    // completion before returning.
    virtual std::u16string ReadTypingText() = 0;
    virtual void SetTypingText(std::u16string_view text) = 0;
    virtual void FocusTypingBox() = 0;
    // Puts what an input method is still composing in the box into it, once,
    // as typed text (TypingChanged runs before this returns when that changes
    // the box), so that a finish counts it; the input method must not add it
    // again.
    virtual void CommitComposition() = 0;

    virtual void SetClockText(std::u16string_view text) = 0;
    virtual void SetFinishEnabled(bool on) = 0;

    // Modal Yes/No question box (Yes the default, no cancel).
    virtual Answer Ask(std::u16string_view text, std::u16string_view caption) = 0;

    // Ends the process at once. A fake may return; the engine does nothing after it.
    virtual void EndProgram() = 0;
};

} // namespace temp
