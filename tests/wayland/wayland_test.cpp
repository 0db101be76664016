// The real window as a Wayland client. Run inside
// scripts/e2e/with-wayland-session.sh, which starts the compositor.
// Under weston the compositor's own screenshots show what is really on the
// output: the window at its size, the sheet's ink, the result box over the
// window. Under mutter keys go in through its remote-desktop interface and
// a real ibus-daemon turns Cangjie codes into characters in the typing box.
#include "engine/bank/bank.h"
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>

void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kCompositor = qEnvironmentVariable("QELVARA_COMPOSITOR");

// Pumps the event loop meanwhile: the compositor waits for our frames.
bool WaitUntil(const std::function<bool()> &cond, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(5);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

// --- what weston shows --------------------------------------------------------

// The whole output, as weston-screenshooter saves it into its working directory.
QImage Screenshot() {
    QTemporaryDir dir;
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start("weston-screenshooter", {});
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }) || p.exitCode() != 0)
        return {};
    const QStringList files = QDir(dir.path()).entryList({"*.png"});
    return files.isEmpty()
               ? QImage()
               : QImage(dir.filePath(files.first())).convertToFormat(QImage::Format_RGB32);
}

void Keep(const QImage &shot, const QString &name) {
    QDir().mkpath(QELVARA_WAYLAND_SHOT_DIR);
    shot.save(QELVARA_WAYLAND_SHOT_DIR "/" + name + '-' + kCompositor + ".png");
}

// Where the widget's own rendering stands on the output: the offset at which
// the most pixels of its grab match, nearly all of them (a caret may blink).
std::optional<QPoint> Locate(const QImage &shot, QWidget *w) {
    const QImage want = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shot.isNull() || want.width() > shot.width() || want.height() > shot.height())
        return {};
    const auto same = [&](int ox, int oy) {
        qsizetype n = 0;
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x)
                n += shot.pixel(ox + x, oy + y) == want.pixel(x, y);
        return n;
    };
    // A coarse lattice of probes rules out almost every offset at the first few.
    QList<QPoint> probes;
    for (int y = 3; y < want.height(); y += 29)
        for (int x = 5; x < want.width(); x += 31)
            probes << QPoint(x, y);
    for (int oy = 0; oy + want.height() <= shot.height(); ++oy) {
        for (int ox = 0; ox + want.width() <= shot.width(); ++ox) {
            int misses = 0;
            for (const QPoint &p : probes)
                if (shot.pixel(ox + p.x(), oy + p.y()) != want.pixel(p) && ++misses > 3)
                    break;
            if (misses > 3 || same(ox, oy) < want.width() * want.height() * 99 / 100)
                continue;
            // Flat areas match a pixel or two off as well: take the best nearby.
            QPoint best(ox, oy);
            qsizetype bestSame = 0;
            for (int y = oy; y <= std::min(oy + 3, shot.height() - want.height()); ++y)
                for (int x = std::max(ox - 3, 0);
                     x <= std::min(ox + 3, shot.width() - want.width()); ++x)
                    if (const qsizetype n = same(x, y); n > bestSame)
                        bestSame = n, best = QPoint(x, y);
            return best;
        }
    }
    return {};
}

int DarkPixels(const QImage &img, const QRect &r) {
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            dark += qGray(img.pixel(x, y)) < 128;
    return dark;
}

// --- keys through mutter ------------------------------------------------------

class RemoteKeys {
public:
    RemoteKeys() {
        const QDBusMessage reply = Call("/org/gnome/Mutter/RemoteDesktop",
                                        "org.gnome.Mutter.RemoteDesktop", "CreateSession", {});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        session_ = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
        // The first key of a session never arrives.
        ok_ = SessionCall("Start", {}) && Press(0xffe1); // Shift_L
    }
    ~RemoteKeys() {
        if (!session_.isEmpty())
            SessionCall("Stop", {});
    }
    bool ok() const { return ok_; }
    bool Press(uint keysym) {
        return SessionCall("NotifyKeyboardKeysym", {keysym, true}) &&
               SessionCall("NotifyKeyboardKeysym", {keysym, false});
    }

private:
    // Plain messages: QDBusInterface would introspect, and Qt caches that for good.
    static QDBusMessage Call(const QString &path, const QString &interface, const QString &method,
                             const QVariantList &args) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.gnome.Mutter.RemoteDesktop", path,
                                                        interface, method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m);
    }
    bool SessionCall(const QString &method, const QVariantList &args) {
        return Call(session_, "org.gnome.Mutter.RemoteDesktop.Session", method, args).type() ==
               QDBusMessage::ReplyMessage;
    }

    QString session_;
    bool ok_ = false;
};

// --- the sheet ----------------------------------------------------------------

// 日月人 (Cangjie a, b, o) open the sheet; the rest comes from the middle of the bank.
struct PlacedSheet : temp::RandomSource {
    const QString placed = "日月人";
    int next = 0;
    void Reseed() override { next = 0; }
    float Next() override {
        int n = 2000 + next;
        if (next < placed.size())
            for (int slot = 0; slot < temp::kBankSlots; ++slot)
                if (const auto i = temp::kBankData[slot].find(placed[next].unicode());
                    i != std::u16string_view::npos)
                    n = slot * temp::kSlotLength + static_cast<int>(i) + 1;
        ++next;
        return (static_cast<float>(n) - 0.5f) / static_cast<float>(temp::kBankSize);
    }
};

PlacedSheet sheet;

struct WaylandWindow : testing::Test {
    void SetUp() override {
        temp::ResetState();
        form_.show();
        ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isExposed(); }));
    }

    QTableWidgetItem *Cell(int i) const { return form_.MSHFlexGrid1->item(i / 20, i % 20); }
    // A sheet cell inside its grid lines, in window coordinates.
    QRect CellRect(int i) const {
        QTableWidget *grid = form_.MSHFlexGrid1;
        const QRect r = grid->visualRect(grid->model()->index(i / 20, i % 20));
        return r.adjusted(2, 2, -2, -2).translated(grid->viewport()->mapTo(&form_, QPoint(0, 0)));
    }
    QString Preedit() const {
        return form_.Text1->textCursor().block().layout()->preeditAreaText();
    }

    Form1 form_;
};

TEST_F(WaylandWindow, MapsAtItsSizeDrawsTheSheetAndHoldsTheResultBoxOverIt) {
    if (kCompositor != "weston")
        GTEST_SKIP() << "needs weston's screenshots";
    // The client area is the window's fixed size; the title bar lies outside it.
    EXPECT_EQ(form_.size(), QSize(681, 425));
    EXPECT_EQ(form_.windowHandle()->size(), QSize(681, 425));
    QImage shot;
    std::optional<QPoint> at;
    ASSERT_TRUE(WaitUntil([&] { return (at = Locate(shot = Screenshot(), &form_)).has_value(); }));
    Keep(shot, "intro");

    // What the title bar's maximize button asks for. weston grants it, and a
    // window that kept its size under the maximized state would be cut off
    // with a protocol error: the window must stay as it is and the run go on.
    form_.windowHandle()->setWindowStates(Qt::WindowMaximized);
    EXPECT_EQ(form_.windowHandle()->windowStates(), Qt::WindowNoState);

    // Start, then one sheet character typed: its cell white on screen, every
    // other one inked.
    form_.Command2->click();
    ASSERT_TRUE(form_.MSHFlexGrid1->isVisible());
    form_.Timer1->stop();
    QInputMethodEvent commit;
    commit.setCommitString("月");
    QCoreApplication::sendEvent(form_.Text1, &commit);
    ASSERT_EQ(Cell(1)->foreground().color(), Qt::white);
    // The first cell whose ink on screen is wrong, -1 when all are right.
    const auto wrongCell = [&] {
        for (int i = 0; i < 100; ++i)
            if ((DarkPixels(shot, CellRect(i).translated(*at)) > 20) != (i != 1))
                return i;
        return -1;
    };
    std::optional<QPoint> now;
    ASSERT_TRUE(WaitUntil([&] {
        shot = Screenshot();
        return (now = Locate(shot, &form_)) == at && wrongCell() == -1;
    })) << "window found "
        << now.has_value() << ", wrong cell " << wrongCell();
    Keep(shot, "test-view");
    EXPECT_EQ(form_.windowHandle()->size(), QSize(681, 425));
    EXPECT_EQ(form_.windowHandle()->windowStates(), Qt::WindowNoState);

    // The result box: modal, a child of the window on the compositor's side,
    // and drawn over the window where they meet.
    for (int i = 0; i < 60; ++i)
        form_.Timer1_Timer();
    QString seen;
    QTimer::singleShot(0, &form_, [&] {
        QMessageBox *box = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            return box != nullptr && box->windowHandle()->isExposed();
        }));
        seen = box->text();
        EXPECT_EQ(box->windowHandle()->transientParent(), form_.windowHandle());
        EXPECT_TRUE(box->isModal());
        std::optional<QPoint> boxAt;
        EXPECT_TRUE(
            WaitUntil([&] { return (boxAt = Locate(shot = Screenshot(), box)).has_value(); }));
        Keep(shot, "result-box");
        // weston puts a child window against its parent's lower edge; its frame
        // (the title bar Qt draws) overlaps the window.
        const QMargins frame = box->windowHandle()->frameMargins();
        if (boxAt) {
            EXPECT_TRUE(
                QRect(*boxAt, box->size()).marginsAdded(frame).intersects(QRect(*at, form_.size())))
                << "the box stands apart from the window";
        }
        box->button(QMessageBox::Yes)->click();
    });
    form_.Command1->click(); // returns once the box is answered
    EXPECT_TRUE(seen.startsWith("正確字數： 1字")) << seen.toStdString();
    EXPECT_EQ(form_.Label3->text(), "0:00");
    // Focus within the window; without a seat no window is ever active.
    EXPECT_EQ(form_.focusWidget(), form_.Text1);
}

TEST_F(WaylandWindow, KeysStartTheTestAndTypeCangjie) {
    if (kCompositor != "mutter" || qEnvironmentVariable("QT_IM_MODULE") != "ibus")
        GTEST_SKIP() << "needs mutter's remote desktop and ibus";
    RemoteKeys keys;
    ASSERT_TRUE(keys.ok());
    ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isActive(); }));
    ASSERT_TRUE(form_.Text2->hasFocus());
    // mutter refuses to maximize a fixed-size window; the request still
    // leaves the window's own state normal.
    form_.windowHandle()->setWindowStates(Qt::WindowMaximized);
    EXPECT_EQ(form_.windowHandle()->windowStates(), Qt::WindowNoState);
    // Tab from the small box to Start, Space presses it.
    ASSERT_TRUE(keys.Press(0xff09));
    ASSERT_TRUE(WaitUntil([&] { return form_.Command2->hasFocus(); }));
    ASSERT_TRUE(keys.Press(0x20));
    ASSERT_TRUE(WaitUntil([&] { return form_.Text1->hasFocus(); }));
    form_.Timer1->stop();

    // a, b, o compose 日, 月, 人; Space commits each.
    QString typed;
    for (const auto &[code, ch] : {std::pair{0x61u, u'日'}, {0x62u, u'月'}, {0x6fu, u'人'}}) {
        ASSERT_TRUE(keys.Press(code));
        ASSERT_TRUE(WaitUntil([&] { return Preedit() == ch; }))
            << "composition " << Preedit().toStdString();
        ASSERT_TRUE(keys.Press(0x20));
        typed += ch;
        ASSERT_TRUE(WaitUntil([&] { return form_.Text1->toPlainText() == typed; }))
            << "text " << form_.Text1->toPlainText().toStdString();
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Cell(i)->foreground().color(), Qt::white) << i;
    EXPECT_EQ(Cell(3)->foreground().color(), Qt::black);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != "wayland") {
        fprintf(stderr, "runs as a Wayland client only (scripts/e2e/with-wayland-session.sh)\n");
        return 2;
    }
    temp::SetRandomSource(&sheet);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
