// The real window as a Wayland client, inside scripts/e2e/with-wayland-session.sh.
// Under weston its screenshots show what is really on the output; under
// mutter keys go in through its remote desktop, to a real ibus-daemon.
#include "tests/support/desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <gtest/gtest.h>

namespace {

using namespace desktop;

const QString kCompositor = qEnvironmentVariable("QELVARA_COMPOSITOR");

// Where w's own rendering stands on the output: of the offsets where a
// lattice of probes matches, the one where the most pixels do. Nearly all
// must (a caret may blink); flat areas match a pixel or two off as well.
std::optional<QPoint> Locate(const QImage &shot, QWidget *w) {
    const QImage want = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto misses = [&](int ox, int oy, int step, int enough) {
        int n = 0;
        for (int y = step / 2; y < want.height(); y += step)
            for (int x = step / 2; x < want.width() && n < enough; x += step)
                n += shot.pixel(ox + x, oy + y) != want.pixel(x, y);
        return n;
    };
    std::optional<QPoint> best;
    int fewest = want.width() * want.height() / 100;
    for (int oy = 0; oy + want.height() <= shot.height(); ++oy)
        for (int ox = 0; ox + want.width() <= shot.width(); ++ox)
            if (misses(ox, oy, 30, 4) < 4)
                if (const int n = misses(ox, oy, 1, fewest); n < fewest)
                    fewest = n, best = QPoint(ox, oy);
    return best;
}

PlacedSheet sheet({{u'日', 0}, {u'月', 1}, {u'人', 2}}); // Cangjie a, b, o

struct WaylandWindow : testing::Test {
    void SetUp() override {
        temp::ResetState();
        form_.show();
        ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isExposed(); }));
    }
    Form1 form_;
};

TEST_F(WaylandWindow, MapsAtItsSizeDrawsTheSheetAndHoldsTheResultBoxOverIt) {
    if (kCompositor != "weston")
        GTEST_SKIP() << "needs weston's screenshots";
    // What the title bar's maximize button asks for. weston grants it, and a
    // window that kept its size under the maximized state would be cut off
    // with a protocol error: the window must stay as it is and the run go on.
    form_.windowHandle()->setWindowStates(Qt::WindowMaximized);
    EXPECT_EQ(form_.windowHandle()->windowStates(), Qt::WindowNoState);

    // Start, then one sheet character typed: its cell white on the output,
    // every other one inked.
    form_.Command2->click();
    form_.Timer1->stop();
    form_.Text1->insertPlainText("月");
    QImage shot;
    std::optional<QPoint> at;
    const auto wrongCell = [&] { // the first cell whose ink is wrong, -1 when all are right
        for (int i = 0; i < temp::kSheetSize; ++i)
            if ((DarkPixels(shot.copy(CellRect(form_, i).translated(*at))) > 20) != (i != 1))
                return i;
        return -1;
    };
    ASSERT_TRUE(WaitUntil([&] {
        return (at = Locate(shot = Screenshot({"weston-screenshooter"}), &form_)) &&
               wrongCell() < 0;
    })) << "window found "
        << at.has_value() << ", wrong cell " << (at ? wrongCell() : -1);
    Keep(shot, "test-view-weston");
    // The client area is the window's fixed size; the title bar lies outside it.
    EXPECT_EQ(form_.windowHandle()->size(), QSize(681, 425));
    EXPECT_EQ(form_.windowHandle()->windowStates(), Qt::WindowNoState);

    // The result box: modal, a child of the window on the compositor's side,
    // and drawn over the window where they meet (weston puts a child against
    // its parent's lower edge; the title bar Qt draws for it overlaps).
    for (int i = 0; i < 60; ++i)
        form_.Timer1_Timer();
    OnResultBox(&form_, [&](QMessageBox *box) {
        EXPECT_EQ(box->windowHandle()->transientParent(), form_.windowHandle());
        std::optional<QPoint> boxAt;
        EXPECT_TRUE(WaitUntil([&] {
            return (boxAt = Locate(shot = Screenshot({"weston-screenshooter"}), box)).has_value();
        }));
        Keep(shot, "result-box-weston");
        const QRect frame = QRect(boxAt.value_or(QPoint()), box->size())
                                .marginsAdded(box->windowHandle()->frameMargins());
        EXPECT_TRUE(boxAt && frame.intersects(QRect(*at, form_.size())))
            << "the box stands apart from the window";
        box->button(QMessageBox::Yes)->click();
    });
    form_.Command1->click(); // returns once the box is answered
}

// A call to mutter's remote desktop, on our own connection: a session ends
// with the connection that made it. Plain messages: QDBusInterface would
// introspect, and Qt caches that for good.
bool Mutter(const QString &path, const QString &method, const QVariantList &args = {},
            QString *session = nullptr) {
    const QString interface = "org.gnome.Mutter.RemoteDesktop";
    QDBusMessage m = QDBusMessage::createMethodCall(
        interface, path, path.contains("/Session/") ? interface + ".Session" : interface, method);
    m.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(m);
    if (session != nullptr)
        *session = qvariant_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
    return reply.type() == QDBusMessage::ReplyMessage;
}

TEST_F(WaylandWindow, KeysStartTheTestAndTypeCangjie) {
    if (kCompositor != "mutter" || qEnvironmentVariable("QT_IM_MODULE") != "ibus")
        GTEST_SKIP() << "needs mutter's remote desktop and ibus";
    QString session;
    ASSERT_TRUE(Mutter("/org/gnome/Mutter/RemoteDesktop", "CreateSession", {}, &session));
    const auto press = [&](uint keysym) {
        return Mutter(session, "NotifyKeyboardKeysym", {keysym, true}) &&
               Mutter(session, "NotifyKeyboardKeysym", {keysym, false});
    };
    // The first keys of a session may never arrive (one with mutter 43, more
    // while mutter 48 sets up its virtual keyboard): Shift_L, then Tab from
    // the small box to Start until one arrives. Space presses it.
    ASSERT_TRUE(Mutter(session, "Start") && press(0xffe1));
    ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isActive(); }));
    for (int i = 0; i < 10 && !form_.Command2->hasFocus(); ++i) {
        ASSERT_TRUE(press(0xff09));
        WaitUntil([&] { return form_.Command2->hasFocus(); }, 500);
    }
    ASSERT_TRUE(form_.Command2->hasFocus());
    ASSERT_TRUE(press(' ') && WaitUntil([&] { return form_.Text1->hasFocus(); }));
    form_.Timer1->stop();

    // a, b, o compose 日, 月, 人; Space commits each.
    QString typed;
    for (const auto &[code, ch] : {std::pair{'a', u'日'}, {'b', u'月'}, {'o', u'人'}}) {
        ASSERT_TRUE(press(code) && WaitUntil([&] { return Preedit(form_) == ch; }))
            << Preedit(form_).toStdString();
        typed += ch;
        ASSERT_TRUE(press(' ') && WaitUntil([&] { return form_.Text1->toPlainText() == typed; }))
            << form_.Text1->toPlainText().toStdString();
    }
    Mutter(session, "Stop");
}

} // namespace

int main(int argc, char **argv) {
    return desktop::RunTests(argc, argv, sheet);
}
