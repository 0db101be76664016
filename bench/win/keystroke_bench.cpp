// Keystroke to repaint: a sheet character typed into the typing box, then
// BackSpace, each until the sheet's cell has been painted again (the change
// pass, the cell's invalidation and its custom draw). Run under Wine
// (scripts/measure-wine.sh); prints percentiles.
#include "engine/random_source.h"
#include "engine/temp.h"
#include "win/form1.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int wmain() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    temp::TwisterSource random(1);
    temp::SetRandomSource(&random);
    Form1 form;
    form.Show();
    SendMessageW(form.Command2, BM_CLICK, 0, 0);
    HWND box = form.Text1.Handle();
    HWND grid = form.MSHFlexGrid1.Handle();
    UpdateWindow(grid);

    constexpr int kKeystrokes = 4000;
    std::vector<double> micros;
    micros.reserve(kKeystrokes);
    int missed = 0;
    for (int i = 0; i < kKeystrokes; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const WPARAM unit = i % 2 == 0 ? temp::State.SheetText[std::size_t(i / 2 % 100)] : VK_BACK;
        SendMessageW(box, WM_CHAR, unit, 1);
        missed += GetUpdateRect(grid, nullptr, FALSE) ? 0 : 1;
        UpdateWindow(grid); // the paint the message loop would run next
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::printf("keystroke to sheet repaint, %d keystrokes (a sheet character, then BackSpace), "
                "under Wine\n",
                kKeystrokes);
    std::printf("  p50 %.1f us   p90 %.1f us   p99 %.1f us   max %.1f us\n",
                Percentile(micros, 0.50), Percentile(micros, 0.90), Percentile(micros, 0.99),
                Percentile(micros, 1.0));
    if (missed != 0) {
        std::printf("  %d keystrokes did not repaint the sheet\n", missed);
        return 1;
    }
    return 0;
}
