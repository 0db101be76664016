// Random sequences of real Qt events on the real window, offscreen: keys,
// clipboard pastes, input-method preedits and commits with replacement
// ranges, drops, context-menu actions and accessibility edits. After every
// step the typing box holds at most 100 units, a cut split no surrogate pair,
// no fault fired, every sheet cell has the colour an independent model of the
// change pass gives it, and whatever fitted arrived: the box equals a plain
// QPlainTextEdit given the same step, or, where that one went past 100
// units, equals it with one cut out.
//
// QELVARA_FUZZ_SEQUENCES (default 130), QELVARA_FUZZ_STEPS (per sequence,
// default 40) and QELVARA_FUZZ_SEED (the first sequence's seed, default 1)
// make it longer or repeat one sequence; a failure names its seed and step,
// and QELVARA_FUZZ_TRACE prints every step.
#include "engine/fault.h"
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>

namespace {

constexpr int kLimit = 100;

std::uint32_t current_seed = 0;
int current_step = 0;

void RecordFault(const char *message) {
    std::fprintf(stderr, "fuzz: fault \"%s\" in sequence seed %u, step %d\n", message, current_seed,
                 current_step);
}

int EnvInt(const char *name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// The change pass as the user sees it: the text that one change added (or
// removed) is what a greedy alignment of the longer text against the shorter
// leaves over; each of its units whitens (or blackens) the first sheet cell
// that holds it. Equal lengths count as an addition.
class ColourModel {
public:
    void Reset(const QString &sheet) {
        sheet_ = sheet;
        prev_.clear();
        white_.fill(false);
    }
    void Change(const QString &text) {
        const bool added = text.size() >= prev_.size();
        const QString &longer = added ? text : prev_;
        const QString &shorter = added ? prev_ : text;
        qsizetype k = 0;
        for (const QChar unit : longer) {
            if (k < shorter.size() && shorter.at(k) == unit) {
                ++k;
                continue;
            }
            const qsizetype cell = sheet_.indexOf(unit);
            if (cell >= 0)
                white_[static_cast<std::size_t>(cell)] = added;
        }
        prev_ = text;
    }
    bool White(int cell) const { return white_[static_cast<std::size_t>(cell)]; }

private:
    QString sheet_;
    QString prev_;
    std::array<bool, kLimit> white_{};
};

// Whether box is what the step should have left, given what a box without a
// limit made of the same step (reference). Empty when it is; else why not.
QString Judge(const QString &box, const QString &reference) {
    if (reference.size() <= kLimit)
        return box == reference ? QString() : QStringLiteral("fitting text changed or lost");
    // Over the limit: the reference with one stretch cut out, which may
    // start anywhere from..to where the units around it repeat.
    const qsizetype n = box.size(), cut = reference.size() - n;
    qsizetype prefix = 0, suffix = 0;
    while (prefix < n && box.at(prefix) == reference.at(prefix))
        ++prefix;
    while (suffix < n && box.at(n - 1 - suffix) == reference.at(reference.size() - 1 - suffix))
        ++suffix;
    if (prefix + suffix < n)
        return QStringLiteral("not the reference with one stretch cut out");
    bool whole_pairs = false, pair_next = false;
    for (qsizetype a = n - suffix; a <= prefix; ++a) {
        const auto high_low = [&](qsizetype i) {
            return i >= 0 && i + 1 < reference.size() && reference.at(i).isHighSurrogate() &&
                   reference.at(i + 1).isLowSurrogate();
        };
        whole_pairs = whole_pairs || !high_low(a - 1);
        pair_next = pair_next || high_low(a);
    }
    if (!whole_pairs)
        return QStringLiteral("the cut split a surrogate pair");
    // A cut keeps all that fits, or stops short of half a pair.
    if (n < kLimit - 1 || (n == kLimit - 1 && !pair_next))
        return QStringLiteral("cut more than needed (%1 units)").arg(cut);
    return {};
}

class Fuzzer {
public:
    explicit Fuzzer(Form1 &form) : form_(form), box_(*form.Text1) {
        reference_.resize(box_.size());
        QObject::connect(&box_, &qelvara::TypingBox::contentChanged, &box_,
                         [this] { changes_.push_back(box_.toPlainText()); });
    }

    // Runs one sequence; returns why it failed, or nothing.
    std::optional<QString> Run(std::uint32_t seed, int steps) {
        current_seed = seed;
        current_step = 0;
        rng_.seed(seed);
        temp::TwisterSource sheet_source(seed);
        temp::SetRandomSource(&sheet_source);
        SendInputMethod({}, {}, 0, 0); // no composition left from before
        temp::StartNewTest();
        form_.Timer1->stop(); // no clock ticks: the run must not reach ten minutes
        sheet_ = QString::fromStdU16String(temp::State.SheetText);
        model_.Reset(sheet_);
        changes_.clear();
        std::optional<QString> failure;
        for (current_step = 1; current_step <= steps && !failure; ++current_step)
            failure = Step();
        temp::SetRandomSource(nullptr);
        return failure;
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool Chance(int percent) { return Pick(100) < percent; }

    QString Unit() {
        static const char16_t kOdd[] = {
            u'\r',  u'\n',  u'\t',  0,      u' ',   0x2028, 0x2029, 0x200B, 0x200C, 0x200D,
            0xFEFF, 0x2060, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066,
            0x2067, 0x2068, 0x2069, 0x061C, 0x00A0, 0x0301, 0x0308, 0x20DD, 0x3099, 0x05D0,
            0x05E9, 0x0627, 0x0644, 0xFDD0, 0xFDD1, 0xFFFC, 0xFFFD};
        switch (Pick(12)) {
        case 0:
        case 1:
        case 2:
        case 3:
            return sheet_.mid(Pick(kLimit), 1);
        case 4:
            return QChar(static_cast<char16_t>(0x4E00 + Pick(0x5200))); // other Han
        case 5:
            return QChar(static_cast<char16_t>(0x20 + Pick(0x5F)));
        case 6:
            return QStringLiteral("\r\n");
        case 7:
        case 8:
            return QChar(kOdd[Pick(static_cast<int>(std::size(kOdd)))]);
        case 9: {
            const char32_t astral[] = {0x20000, 0x2A6D6, 0x1F600, 0x1F1F9, 0x1D11E, 0xE0041};
            return QString::fromUcs4(&astral[Pick(6)], 1);
        }
        case 10: // a lone half of a pair, as a broken tool might send
            return QChar(static_cast<char16_t>(Chance(50) ? 0xD840 : 0xDC00));
        default:
            return QStringLiteral("e\u0301"); // a letter and a combining mark
        }
    }

    QString Text(int max) {
        int units = Pick(6);
        if (Chance(25))
            units = Pick(150);
        if (Chance(3))
            units = Pick(max + 1);
        QString text;
        while (text.size() < units)
            text += Unit();
        return text;
    }

    int Offset() {
        const int length = box_.Length();
        if (Chance(10))
            return Chance(50) ? -1 - Pick(50) : length + 1 + Pick(200);
        return Pick(length + 1);
    }

    // The reference box takes the box's content, composition and selection
    // (in that order: a new composition replaces a selection).
    void SyncReference() {
        before_ = box_.toPlainText();
        reference_.setPlainText(before_);
        QTextCursor to(reference_.document());
        // The composition stays in the block where it began, wherever the
        // cursor went since: put it in the same place.
        for (QTextBlock block = box_.document()->begin(); block.isValid(); block = block.next()) {
            const QTextLayout *layout = block.layout();
            if (layout == nullptr || layout->preeditAreaText().isEmpty())
                continue;
            to.setPosition(block.position() + layout->preeditAreaPosition());
            reference_.setTextCursor(to);
            QInputMethodEvent event(layout->preeditAreaText(), {});
            QCoreApplication::sendEvent(&reference_, &event);
        }
        const QTextCursor from = box_.textCursor();
        to.setPosition(from.anchor());
        to.setPosition(from.position(), QTextCursor::KeepAnchor);
        reference_.setTextCursor(to);
    }

    // Explicit text: QTest would look up the text of some keys and give up.
    static void Keys(QWidget *target, Qt::Key key, Qt::KeyboardModifiers mods,
                     const QString &text) {
        QTest::sendKeyEvent(QTest::Click, target, key, text, mods);
    }

    void SendInputMethod(const QString &preedit, const QString &commit, int start, int length,
                         QWidget *target = nullptr) {
        QList<QInputMethodEvent::Attribute> attributes;
        if (!preedit.isEmpty())
            attributes << QInputMethodEvent::Attribute(QInputMethodEvent::Cursor,
                                                       static_cast<int>(preedit.size()), 1);
        QInputMethodEvent event(preedit, attributes);
        event.setCommitString(commit, start, length);
        QCoreApplication::sendEvent(target != nullptr ? target : &box_, &event);
    }

    // One random step on the box and, where it has plain Qt semantics, the
    // same on the reference. Returns why the state after it is wrong.
    std::optional<QString> Step() {
        const int kind = Pick(100);
        // An input method ends its composition when something else edits the
        // box. Left open, Qt 6.4 itself can crash on a later edit (a stale
        // composition past the end of its block): QELVARA_FUZZ_OPEN_COMPOSITIONS
        // keeps them open to show it.
        const qsizetype changes_before = changes_.size();
        const bool input_method = kind >= 55 && kind < 70;
        if (!input_method && !open_compositions_)
            SendInputMethod({}, {}, 0, 0);
        SyncReference();
        bool compare = true;
        QString what;
        if (kind < 25) { // a key that carries text
            const QString text = Chance(85) ? Unit() : Text(20);
            what = QStringLiteral("key text %1").arg(Escape(text));
            for (QWidget *w : Targets())
                Keys(w, Qt::Key_unknown, Qt::NoModifier, text);
        } else if (kind < 45) { // editing and moving keys
            struct Key {
                Qt::Key key;
                Qt::KeyboardModifiers mods;
                const char *text;
                bool history;
            };
            static const Key kKeys[] = {
                {Qt::Key_Return, Qt::NoModifier, "\r", false},
                {Qt::Key_Enter, Qt::KeypadModifier, "\r", false},
                {Qt::Key_Return, Qt::ShiftModifier, "\r", false},
                {Qt::Key_Backspace, Qt::NoModifier, "\b", false},
                {Qt::Key_Delete, Qt::NoModifier, "\x7f", false},
                {Qt::Key_Left, Qt::ShiftModifier, "", false},
                {Qt::Key_Right, Qt::ShiftModifier, "", false},
                {Qt::Key_Up, Qt::ShiftModifier, "", false},
                {Qt::Key_Down, Qt::NoModifier, "", false},
                {Qt::Key_Home, Qt::ShiftModifier, "", false},
                {Qt::Key_End, Qt::NoModifier, "", false},
                {Qt::Key_Left, Qt::NoModifier, "", false},
                {Qt::Key_A, Qt::ControlModifier, "\x01", false},
                {Qt::Key_X, Qt::ControlModifier, "\x18", false},
                {Qt::Key_V, Qt::ControlModifier, "\x16", false},
                {Qt::Key_Z, Qt::ControlModifier, "\x1a", true},
                {Qt::Key_Y, Qt::ControlModifier, "\x19", true},
                {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "\x1a", true},
            };
            const Key &k = kKeys[Pick(static_cast<int>(std::size(kKeys)))];
            what = QStringLiteral("key %1 mods %2").arg(k.key, 0, 16).arg(k.mods.toInt(), 0, 16);
            compare = !k.history;
            // Moving keys act on the box alone: the reference copies the result.
            const bool moves = k.key >= Qt::Key_Home && k.key <= Qt::Key_Down;
            for (QWidget *w : Targets())
                if (!moves || w == &box_)
                    Keys(w, k.key, k.mods, QString::fromLatin1(k.text));
            if (moves)
                SyncReference();
        } else if (kind < 55) { // paste
            const QString text = Text(10000);
            what = QStringLiteral("paste %1").arg(Escape(text));
            QApplication::clipboard()->setText(text);
            for (QWidget *w : Targets())
                Keys(w, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
        } else if (kind < 70) { // input method
            // As long as an input method composes (chewing holds 18 characters):
            // Qt 6.4 itself crashes on a paste after a composition of a hundred.
            QString preedit;
            for (int n = Chance(50) ? Pick(21) : 0; preedit.size() < n;)
                preedit += Unit();
            const QString commit = Chance(70) ? Text(300) : QString();
            int start = 0, length = 0;
            if (Chance(30)) {
                start = Pick(21) - 10;
                length = Pick(11);
                if (Chance(20))
                    start = Chance(50) ? -200 - Pick(100) : 200 + Pick(100);
            }
            what = QStringLiteral("input method preedit %1 commit %2 replace %3,%4")
                       .arg(Escape(preedit), Escape(commit))
                       .arg(start)
                       .arg(length);
            for (QWidget *w : Targets())
                SendInputMethod(preedit, commit, start, length, w);
            // Without a commit nothing is inserted. Whether Qt then drops a
            // selection depends on which block holds an older composition,
            // which the reference cannot copy exactly.
            compare = !commit.isEmpty();
        } else if (kind < 77) { // a drop from another program
            const QString text = Text(500);
            const QPoint at(Pick(box_.viewport()->width()), Pick(box_.viewport()->height()));
            what = QStringLiteral("drop %1 at %2,%3").arg(Escape(text)).arg(at.x()).arg(at.y());
            const int position = box_.cursorForPosition(at).position();
            QMimeData data;
            data.setText(text);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box_.viewport(), &enter);
            QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box_.viewport(), &move);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box_.viewport(), &drop);
            QTextCursor cursor = reference_.textCursor();
            cursor.setPosition(position);
            cursor.insertText(text);
        } else if (kind < 85) { // the box's context menu
            std::unique_ptr<QMenu> menu(box_.CreateContextMenu());
            QList<QAction *> actions;
            for (QAction *action : menu->actions())
                if (action->isEnabled() && !action->isSeparator())
                    actions << action;
            if (Chance(50))
                QApplication::clipboard()->setText(Text(300));
            if (actions.isEmpty())
                return Check(changes_before, compare, QStringLiteral("empty menu"));
            QAction *action = actions.at(Pick(static_cast<int>(actions.size())));
            const QString name = action->objectName();
            what = QStringLiteral("menu %1").arg(name);
            action->trigger();
            if (name == QLatin1String("edit-cut"))
                reference_.cut();
            else if (name == QLatin1String("edit-paste"))
                reference_.paste();
            else if (name == QLatin1String("edit-delete"))
                reference_.textCursor().removeSelectedText();
            else if (name == QLatin1String("select-all"))
                reference_.selectAll();
            compare = name != QLatin1String("edit-undo") && name != QLatin1String("edit-redo");
        } else { // an accessibility tool; the reference gets Qt's own interface
            QAccessibleInterface *mine = QAccessible::queryAccessibleInterface(&box_);
            QAccessibleInterface *plain = QAccessible::queryAccessibleInterface(&reference_);
            const int a = Offset(), b = Offset();
            const int length = box_.Length();
            const auto clamp = [length](int o) { return o < 0 || o > length ? length : o; };
            const QString text = Text(400);
            switch (Pick(5)) {
            case 0:
                what = QStringLiteral("accessible insert %1 at %2").arg(Escape(text)).arg(a);
                mine->editableTextInterface()->insertText(a, text);
                plain->editableTextInterface()->insertText(clamp(a), text);
                break;
            case 1:
                what = QStringLiteral("accessible replace %1..%2 by %3")
                           .arg(a)
                           .arg(b)
                           .arg(Escape(text));
                mine->editableTextInterface()->replaceText(a, b, text);
                plain->editableTextInterface()->replaceText(clamp(a), clamp(b), text);
                break;
            case 2:
                what = QStringLiteral("accessible delete %1..%2").arg(a).arg(b);
                mine->editableTextInterface()->deleteText(a, b);
                plain->editableTextInterface()->deleteText(clamp(a), clamp(b));
                break;
            case 3:
                what = QStringLiteral("accessible set text %1").arg(Escape(text));
                mine->setText(QAccessible::Value, text);
                plain->setText(QAccessible::Value, text);
                break;
            default:
                what = QStringLiteral("accessible select %1..%2").arg(a).arg(b);
                mine->textInterface()->setSelection(0, a, b);
                break;
            }
        }
        return Check(changes_before, compare, what);
    }

    QList<QWidget *> Targets() { return {&reference_, &box_}; }

    std::optional<QString> Check(qsizetype changes_before, bool compare, const QString &what) {
        const QString text = box_.toPlainText();
        if (trace_)
            std::fprintf(stderr, "seed %u step %d: %s\n  -> %s\n", current_seed, current_step,
                         qPrintable(what), qPrintable(Escape(text, 1000)));
        auto fail = [&](const QString &why) {
            return QStringLiteral(
                       "seed %1 step %2 (%3): %4\n  before    %5\n  box       %6\n  reference %7")
                .arg(current_seed)
                .arg(current_step)
                .arg(what, why, Escape(before_), Escape(text), Escape(reference_.toPlainText()));
        };
        if (box_.Length() > kLimit || text.size() > kLimit)
            return fail(QStringLiteral("more than %1 units").arg(kLimit));
        for (qsizetype i = changes_before; i < changes_.size(); ++i) {
            if (changes_.at(i).size() > kLimit)
                return fail(
                    QStringLiteral("the change pass saw %1 units").arg(changes_.at(i).size()));
            model_.Change(changes_.at(i));
        }
        for (int cell = 0; cell < kLimit; ++cell) {
            const QColor ink = form_.MSHFlexGrid1->item(cell / 20, cell % 20)->foreground().color();
            if (ink != (model_.White(cell) ? Qt::white : Qt::black))
                return fail(QStringLiteral("cell %1 (%2) is %3")
                                .arg(cell)
                                .arg(sheet_.mid(cell, 1), ink.name()));
        }
        // Undo and redo have their own history: only the checks above apply.
        if (compare) {
            const QString why = Judge(text, reference_.toPlainText());
            if (!why.isEmpty())
                return fail(why);
        }
        return {};
    }

    static QString Escape(const QString &s, int shown = 60) {
        QString out;
        for (const QChar c : s.left(shown))
            out += c.unicode() >= 0x3000 && !c.isSurrogate()
                       ? QString(c)
                       : QStringLiteral("\\x%1").arg(c.unicode(), 4, 16, QChar('0'));
        if (s.size() > shown)
            out += QStringLiteral("…(%1 units)").arg(s.size());
        return out;
    }

    Form1 &form_;
    qelvara::TypingBox &box_;
    QPlainTextEdit reference_;
    std::mt19937 rng_;
    QString sheet_;
    QString before_; // the box before the step
    ColourModel model_;
    QStringList changes_;
    // Every step on stderr, to follow a failing seed.
    bool trace_ = qEnvironmentVariableIsSet("QELVARA_FUZZ_TRACE");
    bool open_compositions_ = qEnvironmentVariableIsSet("QELVARA_FUZZ_OPEN_COMPOSITIONS");
};

} // namespace

TEST(Fuzz, RandomEventSequencesKeepTheLimitTheColoursAndWhatFitted) {
    const int sequences = EnvInt("QELVARA_FUZZ_SEQUENCES", 130);
    const int steps = EnvInt("QELVARA_FUZZ_STEPS", 40);
    const auto first = static_cast<std::uint32_t>(EnvInt("QELVARA_FUZZ_SEED", 1));
    temp::ResetState();
    temp::SetFaultHandler(RecordFault);
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Command2_Click();
    Fuzzer fuzzer(form);
    int failures = 0;
    for (int i = 0; i < sequences && failures < 5; ++i) {
        const std::uint32_t seed = first + static_cast<std::uint32_t>(i);
        if (const auto failure = fuzzer.Run(seed, steps)) {
            ++failures;
            ADD_FAILURE() << failure->toStdString();
        }
    }
    std::printf("fuzz: %d sequences of %d steps, seeds %u..%u, %d failing\n", sequences, steps,
                first, first + static_cast<std::uint32_t>(sequences) - 1, failures);
    EXPECT_EQ(failures, 0);
    temp::SetFaultHandler(nullptr);
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
