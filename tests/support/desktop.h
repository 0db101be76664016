// What the tests of the real window on a real display share. Pictures go to
// QELVARA_SHOT_DIR.
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
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { // readable failures
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

// Runs a tool (args[0]) to its end in `dir`: its output, none if it failed.
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
    const QStringList pngs =
        Tool(tool, dir.path()) ? QDir(dir.path()).entryList({"*.png"}) : QStringList();
    return pngs.isEmpty() ? QImage()
                          : QImage(dir.filePath(pngs[0])).convertToFormat(QImage::Format_RGB32);
}

inline bool Keep(const QImage &shot, const QString &name) { // for people to look at
    return QDir().mkpath(QELVARA_SHOT_DIR) && shot.save(QELVARA_SHOT_DIR "/" + name + ".png");
}

// Pixels darker than mid-grey: a few hundred in a sheet cell whose character
// is black, none in a white one.
inline int DarkPixels(const QImage &img) {
    int dark = 0;
    for (int i = 0; i < img.width() * img.height(); ++i)
        dark += qGray(img.pixel(i % img.width(), i / img.width())) < 128;
    return dark;
}

// A sheet cell (0..99) inside its grid lines, in the window's coordinates.
inline QRect CellRect(const Form1 &form, int i) {
    const QTableWidget *grid = form.MSHFlexGrid1;
    const QRect r = grid->visualRect(grid->model()->index(i / 20, i % 20)).adjusted(2, 2, -2, -2);
    return r.translated(grid->viewport()->mapTo(&form, QPoint(0, 0)));
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

// Every sheet is the same: the placed characters at their places (0..99), the
// rest from the middle of the bank.
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
        return (n - 0.5f) / temp::kBankSize; // the middle of n's interval
    }
    std::map<QChar, int> placed_;
    int next_ = 0;
};

// A desktop test binary's main: the application, then every test on `sheet`.
inline int RunTests(int argc, char **argv, temp::RandomSource &sheet) {
    QApplication app(argc, argv);
    temp::SetRandomSource(&sheet);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace desktop
