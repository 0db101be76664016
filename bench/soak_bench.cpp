// Long use: 1000 tests in a row in one process, offscreen. Each cycle types
// ten sheet characters, lets the clock reach a minute, presses Finish and
// answers Yes, which starts the next test. Prints the heap in use and the
// resident size after every 100 cycles, and how much the heap grew over the
// last 500.
//
// Glyph caches fill as characters are first drawn, which looks like a leak.
// A warm-up first shows every bank character once on the sheet and in the
// typing box, so the cycles measured afterwards draw nothing new.
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QMessageBox>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

// Draws the bank in order: sheet k holds bank characters 100k+1 .. 100k+100.
class SweepSource : public temp::RandomSource {
public:
    void Reseed() override {}
    float Next() override {
        const int n = next_++ % temp::kBankSize;
        return (static_cast<float>(n) + 0.5F) / temp::kBankSize;
    }

private:
    int next_ = 0;
};

void Commit(QWidget *box, const QString &text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(box, &event);
}

// One test: type, a minute on the clock, Finish, Yes (the next test starts).
void Cycle(Form1 &form, int typed) {
    const QString sheet = QString::fromStdU16String(temp::State.SheetText);
    for (int i = 0; i < typed; ++i) {
        Commit(form.Text1, sheet.mid(i, 1));
        QCoreApplication::processEvents(); // paints the box and the vanished cell
    }
    for (int s = 0; s < 60; ++s)
        form.Timer1_Timer();
    QTimer::singleShot(0, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    form.Command1_Click();
    QCoreApplication::processEvents(); // paints the new sheet
}

double HeapMb() {
    return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

double RssMb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform says so for every result box.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
        if (!message.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    // More for a longer look: QELVARA_SOAK_CYCLES=5000.
    const int asked = qEnvironmentVariableIntValue("QELVARA_SOAK_CYCLES");
    const int cycles = asked >= 2 ? asked : 1000;
    constexpr int kTyped = 10;

    SweepSource sweep;
    temp::SetRandomSource(&sweep);
    Form1 form;
    form.show();
    QCoreApplication::processEvents();
    std::printf("soak: %d cycles of Start, %d sheet characters typed, Finish, Yes; offscreen\n",
                cycles, kTyped);
    std::printf("  at start          heap %7.2f MB   RSS %7.2f MB\n", HeapMb(), RssMb());

    form.Command2_Click();
    const int warmUp = (temp::kBankSize + temp::kSheetSize - 1) / temp::kSheetSize;
    for (int i = 0; i < warmUp; ++i)
        Cycle(form, temp::kSheetSize);
    std::printf("  warm-up (%2d sheets, every bank character drawn)\n", warmUp);
    std::printf("                    heap %7.2f MB   RSS %7.2f MB\n", HeapMb(), RssMb());

    temp::TwisterSource twister(20240601);
    temp::SetRandomSource(&twister);
    double heapHalfway = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        Cycle(form, kTyped);
        if (cycle % 100 == 0)
            std::printf("  cycle %4d        heap %7.2f MB   RSS %7.2f MB\n", cycle, HeapMb(),
                        RssMb());
        if (cycle == cycles / 2)
            heapHalfway = HeapMb();
    }
    const double growthKb = (HeapMb() - heapHalfway) * 1024.0;
    std::printf("  heap growth over the last %d cycles: %.1f KB (target: under 1024 KB)\n",
                cycles / 2, growthKb);
    temp::SetRandomSource(nullptr);
    return 0;
}
