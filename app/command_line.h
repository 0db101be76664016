// The command line: the program's own options, checked before Qt starts, so
// that --help and --version work without a display and a typo is not taken
// for a Qt option. Qt's own options pass through to QApplication untouched.
// What it prints is in Traditional Chinese under a Chinese UTF-8 locale.
#pragma once

#include <iosfwd>

namespace qelvara {

// What the command line asks for. Run leaves argv to QApplication.
enum class CommandLine { Run, Help, Version, Error };

// The exit status when the window cannot open: no display, or one that
// cannot be opened.
inline constexpr int kNoDisplayStatus = 4;

// Reads argv; prints the help or version text to `out`, and for an error a
// message naming the argument to `err`.
CommandLine ReadCommandLine(int argc, const char *const *argv, std::ostream &out,
                            std::ostream &err);

// Tells the user why the window cannot open, from DISPLAY and WAYLAND_DISPLAY.
void ExplainNoDisplay(std::ostream &err);

} // namespace qelvara
