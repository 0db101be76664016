#include "app/command_line.h"

#include "form/version.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ostream>
#include <string>
#include <string_view>

namespace qelvara {
namespace {

// Qt's options that take a value, as QGuiApplication, QApplication and the
// xcb platform read them (each also as --name).
// clang-format off
constexpr std::string_view kQtValueOptions[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
    "-geometry", "-qwindowicon", "-icon", "-qwindowtitle", "-title", "-session", "-display",
    "-name", "-style", "-stylesheet"};
// clang-format on
// The ones Qt also reads as -name=value.
constexpr std::string_view kQtJoinedOptions[] = {"-style", "-stylesheet", "-qmljsdebugger"};
// Qt's options without a value.
constexpr std::string_view kQtFlags[] = {"-reverse", "-widgetcount", "-nograb",
                                         "-dograb",  "-sync",        "-testability"};

bool IsIn(const auto &list, std::string_view arg) {
    return std::ranges::find(list, arg) != std::ranges::end(list);
}

std::string_view Env(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The messages' locale, as the C library picks it: a Chinese one (zh_TW,
// zh_HK, ...) whose encoding is UTF-8. Under Big5 or GB the text would be
// mojibake, so those get English.
bool Chinese() {
    std::string_view locale = Env("LC_ALL");
    if (locale.empty())
        locale = Env("LC_MESSAGES");
    if (locale.empty())
        locale = Env("LANG");
    std::string codeset(locale.substr(std::min(locale.find('.'), locale.size())));
    std::erase(codeset, '-');
    std::ranges::transform(codeset, codeset.begin(),
                           [](unsigned char c) { return std::tolower(c); });
    return locale.starts_with("zh") && codeset.starts_with(".utf8");
}

void Help(std::ostream &out) {
    if (Chinese()) {
        out << "用法：qelvara [選項]...\n"
               "繁體中文打字測驗：用任何輸入法，以任何次序，打出隨機字表上的 100 個字。\n"
               "\n"
               "  -h, --help     顯示這份說明後結束\n"
               "  -v, --version  顯示版本後結束\n"
               "\n"
               "每個 Qt 程式都接受的選項也可以用，例如 -platform 名稱、-style 名稱。\n"
               "詳見 qelvara(1)。\n";
        return;
    }
    out << "Usage: qelvara [OPTION]...\n"
           "A typing test for Traditional Chinese: type the 100 characters of a random\n"
           "sheet, in any order, with any input method.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "  -v, --version  show the version and exit\n"
           "\n"
           "The options every Qt program accepts work too, for example -platform NAME\n"
           "or -style NAME. See qelvara(1).\n";
}

void Refuse(std::ostream &err, std::string_view arg, bool needsValue) {
    const bool zh = Chinese();
    err << (zh ? "qelvara：" : "qelvara: ")
        << (needsValue             ? (zh ? "選項少了值：" : "option needs a value: ")
            : arg.starts_with('-') ? (zh ? "不明的選項：" : "unknown option: ")
                                   : (zh ? "多餘的參數：" : "unexpected argument: "))
        << arg
        << (zh ? "\n請用「qelvara --help」查看用法。\n"
               : "\nTry 'qelvara --help' for more information.\n");
}

} // namespace

CommandLine ReadCommandLine(int argc, const char *const *argv, std::ostream &out,
                            std::ostream &err) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help")
            return Help(out), CommandLine::Help;
        if (arg == "-v" || arg == "--version")
            return out << "qelvara " << kVersion << '\n', CommandLine::Version;
        // Qt reads --name as -name.
        if (arg.starts_with("--") && arg.size() > 2)
            arg.remove_prefix(1);
        const std::string_view name = arg.substr(0, arg.find('='));
        if (IsIn(kQtFlags, arg) || (name != arg && IsIn(kQtJoinedOptions, name)))
            continue;
        if (IsIn(kQtValueOptions, arg) && i + 1 < argc) {
            ++i;
            continue;
        }
        Refuse(err, argv[i], IsIn(kQtValueOptions, arg));
        return CommandLine::Error;
    }
    return CommandLine::Run;
}

void ExplainNoDisplay(std::ostream &err) {
    const std::string_view x = Env("DISPLAY"), wayland = Env("WAYLAND_DISPLAY");
    const bool zh = Chinese();
    if (x.empty() && wayland.empty()) {
        err << (zh ? "qelvara：沒有顯示器：DISPLAY 和 WAYLAND_DISPLAY 都沒有設定\n"
                   : "qelvara: no display: neither DISPLAY nor WAYLAND_DISPLAY is set\n");
    } else {
        // Qt's warnings above say why: no server there, or a library missing.
        err << (zh ? "qelvara：無法在顯示器上開啟視窗（" : "qelvara: cannot open the window (");
        if (!x.empty())
            err << "DISPLAY=" << x << (wayland.empty() ? "" : ", ");
        if (!wayland.empty())
            err << "WAYLAND_DISPLAY=" << wayland;
        err << (zh ? "），原因見上方 Qt 的訊息\n" : "); Qt says why above\n");
    }
    err << (zh ? "視窗要在桌面工作階段（X11 或 Wayland）裡才能開啟。\n"
               : "The window opens only in a desktop session (X11 or Wayland).\n");
}

} // namespace qelvara
