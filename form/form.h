// What both windows, the Qt one and the Win32 one, show: every control in
// creation order with its place in twips, its state before the load pass, its
// text, font and tab index, what a screen reader calls it, the faces each
// platform draws with, and the words of the result and fault boxes. The front
// ends read these and write none of them again.
#pragma once

#include "engine/window_ops.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

namespace form {

// Lengths are twips, 1/1440 inch: 15 to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidth = 10215;
inline constexpr int kClientHeight = 6375;
// Each of the sheet's columns, as the load pass sets it.
inline constexpr int kColumnWidth = 493;
// The grid's rows; the sheet fills the first five, and they are the ones shown.
inline constexpr int kGridRows = 10;

enum class Kind { PushButton, Timer, TypingBox, Grid, TextBox, Label, Line };

// 細明體, 新細明體 and MS Sans Serif, or the platform's default face.
enum class Face { Default, Ming, NewMing, Sans };

struct Font {
    Face face = Face::Default;
    double points = 0; // 0: the platform's default size
    bool bold = false;
};

// A line runs from (left, top) to (left + width, top + height); one of the two is 0.
struct Place {
    int left, top, width, height;
};

enum class Id {
    Command2,
    Timer1,
    Command1,
    Text1,
    MSHFlexGrid1,
    Text2,
    Label2,
    Line4,
    Line3,
    Line2,
    Line1,
    Label3
};

inline constexpr int kNoTab = -1;

struct Control {
    Id id;
    std::string_view name;
    Kind kind;
    Place place;
    bool visible; // before the load pass
    std::u16string_view text;
    Font font;
    int tabIndex;
    bool centred; // a label's text
    // What a screen reader says the control is (empty: its text), and what it is for.
    std::u16string_view accessibleName;
    std::u16string_view accessibleDescription;
};

inline constexpr Font kButtonFont{Face::Sans, 9.75};

// In creation order: later controls lie above earlier ones where they overlap
// (Text2 over the Start button).
// One control to a row, its fields in the order of Control.
// clang-format off
inline constexpr Control kControls[] = {
    {Id::Command2, "Command2", Kind::PushButton, {4560, 2040, 1095, 375}, true, u"確定",
     kButtonFont, 5, false, {}, u"開始打字測驗"},
    // Running at design time; the load pass stops it.
    {Id::Timer1, "Timer1", Kind::Timer, {}, true, {}, {}, kNoTab, false, {}, {}},
    {Id::Command1, "Command1", Kind::PushButton, {8760, 4800, 1215, 375}, false, u"完成",
     kButtonFont, 2, false, {}, u"結束這次測驗並顯示成績；測驗滿一分鐘後才能按"},
    {Id::Text1, "Text1", Kind::TypingBox, {120, 3600, 8295, 2655}, false, {},
     {Face::Ming, 12}, 0, false, u"打字區", u"在這裡輸入字表上的字，次序不拘，最多一百個字"},
    {Id::MSHFlexGrid1, "MSHFlexGrid1", Kind::Grid, {120, 120, 9975, 3375}, false, {},
     {Face::Ming, 18}, 6, false, u"字表", u"要打的一百個字，每列二十個；打過的字會從字表上消失"},
    {Id::Text2, "Text2", Kind::TextBox, {5160, 2160, 255, 195}, true, u"Text2",
     {}, 1, false, u"文字框", u"開始畫面上的小文字框，內容不會被使用"},
    {Id::Label2, "Label2", Kind::Label, {3840, 1080, 2535, 495}, true, u"準備好沒有？按【確定】開始",
     {Face::NewMing, 9.75}, 4, true, {}, u"開始前的說明"},
    // The clock's box: right, bottom, left and top edges.
    {Id::Line4, "Line4", Kind::Line, {9960, 3840, 0, 600}, false, {}, {}, kNoTab, false, {}, {}},
    {Id::Line3, "Line3", Kind::Line, {8760, 4440, 1200, 0}, false, {}, {}, kNoTab, false, {}, {}},
    {Id::Line2, "Line2", Kind::Line, {8760, 3840, 0, 600}, false, {}, {}, kNoTab, false, {}, {}},
    {Id::Line1, "Line1", Kind::Line, {8760, 3840, 1200, 0}, false, {}, {}, kNoTab, false, {}, {}},
    // An empty caption until the first sheet; the name carries the time (ClockName).
    {Id::Label3, "Label3", Kind::Label, {8880, 3960, 975, 375}, false, {},
     {Face::Sans, 12, true}, 3, true, u"計時", u"這次測驗已經過的時間，分：秒"},
};
// clang-format on

// The table is in Id order, so an Id is its index.
constexpr bool InIdOrder() {
    for (std::size_t i = 0; i < std::size(kControls); ++i)
        if (static_cast<std::size_t>(kControls[i].id) != i)
            return false;
    return std::size(kControls) == static_cast<std::size_t>(Id::Label3) + 1;
}
static_assert(InIdOrder());

constexpr const Control &ControlOf(Id id) {
    return kControls[static_cast<std::size_t>(id)];
}

constexpr std::u16string_view AccessibleName(const Control &control) {
    return control.accessibleName.empty() ? control.text : control.accessibleName;
}

inline constexpr std::uint32_t kClockColour = temp::kRed;

// The clock as a screen reader names it: "計時 1:05".
inline std::u16string ClockName(std::u16string_view clock) {
    std::u16string name(ControlOf(Id::Label3).accessibleName);
    if (!clock.empty())
        name.append(u" ").append(clock);
    return name;
}

// What a screen reader hears for a sheet cell whose character was typed away.
inline constexpr std::u16string_view kTypedCell = u"（已打）";

// The result box: its buttons in the program's language, whatever the
// system's, and what it is for.
inline constexpr std::u16string_view kYes = u"是(&Y)";
inline constexpr std::u16string_view kNo = u"否(&N)";
inline constexpr std::u16string_view kResultDescription =
    u"測驗結果，請選擇「是」開始新一次練習，或選擇「否」結束程式";

// After the clock ends a test by itself the typist may still be typing, and a
// key meant for the input method would answer the result box unseen (Space,
// Enter and y start a new test, n ends the program): keys wait this long.
inline constexpr std::chrono::milliseconds kResultKeyGuard{1500};

// The fault box: the fault's name (temp::FaultName) and the one button.
inline std::u16string FaultText(std::u16string_view faultName) {
    return std::u16string(u"執行階段錯誤：").append(faultName).append(u"\n\n程式必須結束。");
}
inline constexpr std::u16string_view kFaultButton = u"確定";

// The faces, in the order each platform tries them. Han text is always drawn
// in Traditional forms: a generic serif or sans can resolve to a Japanese or
// Simplified face, which draws many characters differently.
enum class Platform { Linux, Windows };
std::span<const std::u16string_view> Families(Face face, Platform platform);

} // namespace form
