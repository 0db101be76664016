#include "app/command_line.h"

#include "form/version.h"

#include <algorithm>
#include <ostream>
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

void Help(std::ostream &out) {
    out << "Usage: qelvara [OPTION]...\n"
           "A typing test for Traditional Chinese: type the 100 characters of a random\n"
           "sheet, in any order, with any input method.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "  -v, --version  show the version and exit\n"
           "\n"
           "The options every Qt program accepts work too, for example -platform NAME,\n"
           "-reverse or -style NAME. See qelvara(1).\n";
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
        err << "qelvara: "
            << (IsIn(kQtValueOptions, arg) ? "option needs a value: "
                : arg.starts_with('-')     ? "unknown option: "
                                           : "unexpected argument: ")
            << argv[i] << "\nTry 'qelvara --help' for more information.\n";
        return CommandLine::Error;
    }
    return CommandLine::Run;
}

} // namespace qelvara
