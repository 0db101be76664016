// What the tests of the real window on a real display share: waiting with the
// event loop running, outside tools, pictures of the screen, and a sheet with
// chosen characters in chosen places. QELVARA_SHOT_DIR names where pictures go.
#pragma once

#include "engine/bank/bank.h"
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <map>
#include <optional>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace desktop {

// Pumps the event loop meanwhile: the display server, the compositor and the
// input method all wait for the window's answers.
inline bool WaitUntil(const std::function<bool()> &cond, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    QTimer wake; // looks again now and then: other processes change things too
    wake.start(5);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

// Runs a tool (args[0]) to its end in `dir`: its standard output, none if it failed.
inline std::optional<QString> Tool(const QStringList &args, const QString &dir = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(args[0], args.mid(1));
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }) ||
        p.error() != QProcess::UnknownError || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The whole screen, from a tool that writes a PNG into its working directory.
inline QImage Screenshot(const QStringList &tool) {
    const QTemporaryDir dir;
    const QStringList files =
        Tool(tool, dir.path()) ? QDir(dir.path()).entryList({"*.png"}) : QStringList();
    return files.isEmpty() ? QImage()
                           : QImage(dir.filePath(files[0])).convertToFormat(QImage::Format_RGB32);
}

// Kept as <shot dir>/<name>.png for people to look at.
inline bool Keep(const QImage &shot, const QString &name) {
    return QDir().mkpath(QELVARA_SHOT_DIR) && shot.save(QELVARA_SHOT_DIR "/" + name + ".png");
}

// Pixels darker than mid-grey: a few hundred in a cell whose character is
// black, none in a white one.
inline int DarkPixels(const QImage &img) {
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            dark += qGray(img.pixel(x, y)) < 128;
    return dark;
}

// A sheet cell (0..99) inside its grid lines, in the window's coordinates.
inline QRect CellRect(const Form1 &form, int i) {
    const QTableWidget *grid = form.MSHFlexGrid1;
    const QRect r = grid->visualRect(grid->model()->index(i / 20, i % 20));
    return r.adjusted(2, 2, -2, -2).translated(grid->viewport()->mapTo(&form, QPoint(0, 0)));
}

// The composition: toPlainText() never holds it.
inline QString Preedit(const Form1 &form) {
    return form.Text1->textCursor().block().layout()->preeditAreaText();
}

// Calls `answer` once the result box is on screen. The engine shows it with
// exec(), which holds up whatever finished the test until it is answered.
inline void OnResultBox(QObject *context, const std::function<void(QMessageBox *)> &answer) {
    QTimer::singleShot(20, context, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->windowHandle()->isExposed())
            return OnResultBox(context, answer);
        answer(box);
    });
}

// Every sheet (every Reseed) is the same: the placed characters at their
// places (0..99), the rest from the middle of the bank.
struct PlacedSheet : temp::RandomSource {
    explicit PlacedSheet(std::map<QChar, int> placed) : placed_(std::move(placed)) {}
    void Reseed() override { next_ = 0; }
    float Next() override {
        const int place = next_++ % temp::kSheetSize;
        int n = 2001 + place; // bank index, 1..5338
        for (int slot = 0; slot < temp::kBankSlots; ++slot)
            for (const auto &[ch, at] : placed_)
                if (const auto i = temp::kBankData[slot].find(ch.unicode());
                    at == place && i != std::u16string_view::npos)
                    n = slot * temp::kSlotLength + static_cast<int>(i) + 1;
        // The middle of its interval: floor(r * 5338 + 1) == n.
        return (static_cast<float>(n) - 0.5f) / static_cast<float>(temp::kBankSize);
    }
    std::map<QChar, int> placed_;
    int next_ = 0;
};

} // namespace desktop
