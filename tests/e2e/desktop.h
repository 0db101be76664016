// Driving the real desktop from inside the test process: xdotool key presses
// through the input method, reading pixels back from the X server, and
// screenshots. Every wait pumps the Qt event loop, so the window keeps
// answering the X server and the input method while a helper runs.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QPlainTextEdit;
class QWidget;

namespace e2e {

using namespace std::chrono_literals;

// Pumps events until cond() holds; false if the deadline passed first.
bool WaitUntil(const std::function<bool()> &cond, std::chrono::milliseconds timeout = 5s);

struct ToolResult {
    bool ok = false; // started, finished in time, exit status 0
    QString out;     // standard output, trimmed
};

// Runs a tool to completion while pumping events.
ToolResult RunTool(const QString &program, const QStringList &args,
                   std::chrono::milliseconds timeout = 10s);

// xdotool with the given arguments (run as one invocation).
bool Xdo(const QStringList &args);

// Finds the visible top-level window with this exact title and gives it the
// X input focus. Without --onlyvisible xdotool would find Qt's hidden client
// leader window first, and focusing that fails.
bool FocusWindow(const QString &title);

// Presses the keys that make up `keys` on the US layout (xdotool type).
bool TypeKeys(const QString &keys);
// Presses key names one after the other (xdotool key: Return, BackSpace, ctrl+v).
bool PressKeys(const QStringList &keys);
// Moves the pointer to a point of the screen and clicks the left button.
bool ClickAt(QPoint global);

// True once the input method is on for the focused widget: fcitx5-remote
// says 2 (active) and names chewing.
bool ImReady();

// Waits until fcitx5's candidate window is mapped and drawn.
bool WaitForCandidateList();

// The composition the input method shows in the box; toPlainText() never
// contains it.
QString Preedit(const QPlainTextEdit *box);

// Pixels darker than mid-grey in a rectangle of the screen, read back from
// the X server (what is really on screen, not what the widget would paint).
int DarkPixelsOnScreen(const QRect &global);

// A widget's rectangle in screen coordinates.
QRect GlobalRect(const QWidget *w, const QRect &local);

// Makes sure everything this process drew has reached the X server, so a
// screenshot taken by another client shows it.
void FlushToScreen(QWidget *window);

// Saves a screenshot of the whole display as <shot dir>/<name>-<route>.png,
// route being QT_IM_MODULE.
bool Screenshot(const QString &name);
QString ShotDir();

} // namespace e2e
