// Keystroke to repaint: a sheet character committed into the typing box, and
// then deleted, until the grid has repainted the cell. Offscreen, so the
// figure is the program's own work (change pass, cell update, paint, flush).
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"
#include "ui/sheet_grid.h"
#include "ui/typing_box.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// Notes that the grid's viewport was painted.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void Commit(QWidget *box, const QString &text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(box, &event);
}

void Backspace(QWidget *box) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &press);
    QCoreApplication::sendEvent(box, &release);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    temp::TwisterSource random(1);
    temp::SetRandomSource(&random);

    Form1 form;
    form.show();
    form.Command2_Click();
    QCoreApplication::processEvents();

    PaintWatch watch;
    form.MSHFlexGrid1->viewport()->installEventFilter(&watch);
    const QString sheet = QString::fromStdU16String(temp::State.SheetText);

    constexpr int kKeystrokes = 4000;
    std::vector<double> micros;
    micros.reserve(kKeystrokes);
    int missed = 0;
    for (int i = 0; i < kKeystrokes; ++i) {
        watch.painted = false;
        const auto start = std::chrono::steady_clock::now();
        if (i % 2 == 0)
            Commit(form.Text1, sheet.mid((i / 2) % 100, 1));
        else
            Backspace(form.Text1);
        // Delivers the grid's update request: paint and flush happen here.
        QCoreApplication::processEvents();
        const auto end = std::chrono::steady_clock::now();
        missed += watch.painted ? 0 : 1;
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }

    std::printf("keystroke to grid repaint, %d keystrokes (commit a sheet character, then "
                "BackSpace), offscreen\n",
                kKeystrokes);
    std::printf("  p50 %.1f us   p90 %.1f us   p99 %.1f us   max %.1f us\n",
                Percentile(micros, 0.50), Percentile(micros, 0.90), Percentile(micros, 0.99),
                Percentile(micros, 1.0));
    if (missed != 0) {
        std::printf("  %d keystrokes did not repaint the grid\n", missed);
        return 1;
    }
    return 0;
}
