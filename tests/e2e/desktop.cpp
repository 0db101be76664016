#include "desktop.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace e2e {

bool WaitUntil(const std::function<bool()> &cond, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout);
    // Wakes the loop now and then, so conditions that depend on other
    // processes (fcitx5, the X server) are looked at again.
    QTimer wake;
    wake.start(5);
    while (!cond()) {
        if (deadline.hasExpired())
            return cond();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

ToolResult RunTool(const QString &program, const QStringList &args,
                   std::chrono::milliseconds timeout) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(5000)) {
        std::fprintf(stderr, "e2e: cannot start %s\n", qPrintable(program));
        return r;
    }
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }, timeout)) {
        std::fprintf(stderr, "e2e: %s %s timed out\n", qPrintable(program),
                     qPrintable(args.join(' ')));
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!r.ok)
        std::fprintf(stderr, "e2e: %s %s failed: %s\n", qPrintable(program),
                     qPrintable(args.join(' ')), p.readAllStandardError().constData());
    return r;
}

bool Xdo(const QStringList &args) {
    return RunTool(QStringLiteral("xdotool"), args).ok;
}

bool FocusWindow(const QString &title) {
    return Xdo({"search", "--sync", "--onlyvisible", "--name", "^" + title + "$", "windowfocus",
                "--sync"});
}

bool TypeKeys(const QString &keys) {
    return Xdo({"type", "--delay", "15", keys});
}

bool PressKeys(const QStringList &keys) {
    return Xdo(QStringList{"key", "--delay", "15"} + keys);
}

bool ClickAt(QPoint global) {
    // No --sync: it waits for the pointer to move, forever when it is already
    // there. The XTEST motion and click reach the server in order anyway.
    return Xdo(
        {"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
}

bool ImReady() {
    const auto state = RunTool(QStringLiteral("fcitx5-remote"), {});
    if (!state.ok || state.out != QLatin1String("2"))
        return false;
    const auto name = RunTool(QStringLiteral("fcitx5-remote"), {"-n"});
    return name.ok && name.out == QLatin1String("chewing");
}

bool WaitForCandidateList() {
    const ToolResult found = RunTool(
        "xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Fcitx5 Input Window$"});
    if (!found.ok)
        return false;
    const ToolResult shell =
        RunTool("xdotool", {"getwindowgeometry", "--shell", found.out.section('\n', 0, 0)});
    QRect popup;
    for (const QString &line : shell.out.split('\n')) {
        const int value = line.section('=', 1).toInt();
        if (line.startsWith("X="))
            popup.moveLeft(value);
        else if (line.startsWith("Y="))
            popup.moveTop(value);
        else if (line.startsWith("WIDTH="))
            popup.setWidth(value);
        else if (line.startsWith("HEIGHT="))
            popup.setHeight(value);
    }
    // Mapped is not drawn: wait for the candidates' ink.
    return shell.ok && WaitUntil([&] { return DarkPixelsOnScreen(popup) > 100; });
}

QString Preedit(const QPlainTextEdit *box) {
    const QTextBlock block = box->textCursor().block();
    return block.layout() ? block.layout()->preeditAreaText() : QString();
}

QRect GlobalRect(const QWidget *w, const QRect &local) {
    return QRect(w->mapToGlobal(local.topLeft()), local.size());
}

int DarkPixelsOnScreen(const QRect &global) {
    QScreen *screen = QGuiApplication::primaryScreen();
    // Window 0 is the root window: the pixels the X server shows.
    const QImage img =
        screen->grabWindow(0, global.x(), global.y(), global.width(), global.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    int dark = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            dark += qGray(line[x]) < 128;
    }
    return dark;
}

void FlushToScreen(QWidget *window) {
    window->repaint();
    // A read-back is a round trip on our connection: once it answers, the X
    // server has carried out every drawing request sent before it.
    QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 1, 1);
}

QString ShotDir() {
    return QStringLiteral(QELVARA_E2E_SHOT_DIR);
}

bool Screenshot(const QString &name) {
    QDir().mkpath(ShotDir());
    // The two input-method routes run in parallel: one file each.
    const QString route = qEnvironmentVariable("QT_IM_MODULE", "none");
    const QString path = ShotDir() + '/' + name + '-' + route + ".png";
    const bool ok = RunTool(QStringLiteral("import"), {"-window", "root", path}).ok;
    if (ok)
        std::printf("e2e: screenshot %s\n", qPrintable(path));
    return ok;
}

} // namespace e2e
