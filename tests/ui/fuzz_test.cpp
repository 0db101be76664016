// Random sequences of real Qt events on the real window, offscreen: keys, pastes, input-method
// preedits and commits, drops and accessibility edits (0 insert, 1 replace, 2 delete, 3 set,
// 4 select). After every step, judged from the box's text alone and never from
// its change event: the box holds at most 100 units, the change pass last saw exactly that text,
// a cell is white exactly when the text holds its character, and what fitted arrived: the box
// equals a plain QPlainTextEdit given the same step or, past 100 units, equals it with one
// stretch cut out, all that fits kept and no surrogate pair split. A fault ends the run as it
// ends the program, which fails the test.
//
// QELVARA_FUZZ_SEQUENCES, _STEPS and _SEED (the first seed) run more or one sequence;
// QELVARA_FUZZ_TRACE prints every step, so the last one printed before a fault names it.
#include "window_test.h"

#include <QClipboard>
#include <QDebug>
#include <QMimeData>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

using namespace Qt::StringLiterals;

// The keys of a step, with the text a keyboard sends with them.
// clang-format off
constexpr auto kShift = Qt::ShiftModifier, kCtrl = Qt::ControlModifier;
constexpr struct Key { Qt::Key key; Qt::KeyboardModifiers mods; const char *text; } kKeys[] = {
    {Qt::Key_Return, {}, "\r"}, {Qt::Key_Enter, Qt::KeypadModifier, "\r"},
    {Qt::Key_Backspace, {}, "\b"}, {Qt::Key_Delete, {}, "\x7f"}, {Qt::Key_Home, kShift, ""},
    {Qt::Key_Left, kShift, ""}, {Qt::Key_Up, kShift, ""}, {Qt::Key_Right, kShift, ""},
    {Qt::Key_Down, {}, ""}, {Qt::Key_End, {}, ""}, {Qt::Key_A, kCtrl, "\x01"},
    {Qt::Key_X, kCtrl, "\x18"}, {Qt::Key_V, kCtrl, "\x16"}, {Qt::Key_Z, kCtrl, "\x1a"},
    {Qt::Key_Y, kCtrl, "\x19"}};
// Line breaks, controls, bidi and zero-width marks, combining marks, noncharacters and astral
// characters. No lone halves of a pair: no road from outside carries one (keys, clipboard,
// drops, input methods and AT-SPI all bring UTF-8), and Qt 6.4 lays one out before U+2028 with
// no line for the caret, which crashes.
// One string, the units split at "|".
const QStringList kOdd = u"\r\n|e\u0301|\U00020000|\U0002A6D6|\U0001F600|\U0001F1F9|\U0001D11E|"
    u"\U000E0041|\r|\n|\t|\0|\u2028|\u2029|\u200B|\u200D|\uFEFF|\u200E|\u202A|\u202E|\u2066|"
    u"\u061C|\u0301|\u20DD|\u3099|\u05D0|\uFDD0|\uFFFC"_s.split(u'|');
// clang-format on

// What the box may store of text: no explicit bidi controls (Qt's layout cannot be trusted with
// them), so the reference never receives any.
QString Strip(QString text) {
    return text.remove(QRegularExpression(u"[\u202A-\u202E\u2066-\u2069]"_s));
}

bool PairAt(const QString &s, qsizetype i) {
    return i >= 0 && i + 1 < s.size() && s.at(i).isHighSurrogate() && s.at(i + 1).isLowSurrogate();
}

// Empty when box is what the step should leave, given the text before it and what a box without
// a limit made of it (ref); else why not.
QString Judge(const QString &box, const QString &before, const QString &ref) {
    if (ref.size() <= temp::kTypingLimit)
        return box == ref ? QString() : "fitting text changed or lost";
    const qsizetype n = box.size(),
                    prefix = std::mismatch(box.begin(), box.end(), ref.begin()).first - box.begin(),
                    old = std::ranges::mismatch(before, ref).in1 - before.begin();
    const auto suffix = std::mismatch(box.rbegin(), box.rend(), ref.rbegin()).first - box.rbegin();
    // A place a for the cut that keeps all that fits, one unit less only before a pair, and
    // splits no pair of the inserted text (one that an insertion forms with the text around it
    // is no pair of the user's).
    for (qsizetype a = n - suffix; a <= prefix; ++a)
        if ((n == temp::kTypingLimit || (n == temp::kTypingLimit - 1 && PairAt(ref, a))) &&
            (a - 1 < old || !PairAt(ref, a - 1) || PairAt(box, a - 1)))
            return {};
    return "not the reference with a cut that keeps what fits, pairs whole";
}

// Quoted, with controls, format characters, noncharacters and lone halves of pairs escaped.
QString Escaped(const QString &s) {
    QString out;
    QDebug(&out).nospace() << s.left(60);
    return s.size() > 60 ? out + QString("…(%1 units)").arg(s.size()) : out;
}

class Fuzz : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        form_.Command2_Click();
        ref_.resize(box_.size());
    }

    // Runs one sequence; false after the first step that fails.
    bool Run(unsigned seed, unsigned steps) {
        rng_.seed(seed);
        source_ = temp::TwisterSource(seed);
        Compose(&box_);
        temp::StartNewTest();
        form_.Timer1->stop(); // ten minutes must not end the run
        for (unsigned step = 1; step <= steps; ++step) {
            const QString what = Step(), text = box_.toPlainText(), ref = ref_.toPlainText();
            // From the box's text alone, never from the change event the engine listens to.
            QString white = Sheet();
            std::ranges::replace_if(
                white, [&](QChar c) { return text.contains(c); }, u'_');
            const QString why = text.size() > temp::kTypingLimit ? "over the limit"
                                : !text.isValidUtf16()           ? "half a surrogate pair"
                                : temp::State.PrevText != text.toStdU16String()
                                    ? "the change pass missed a change"
                                : Shown() != white ? "cells " + Shown() + " should be " + white
                                : Stray()          ? "a composition away from the caret"
                                : misheard_        ? "a screen reader read the box otherwise"
                                : compare_         ? Judge(text, before_, ref)
                                                   : QString();
            const QString said =
                QString("seed %1 step %2 (%3)\n  box %4 caret %5\n  ref %6")
                    .arg(QString::number(seed), QString::number(step), what, Escaped(text),
                         QString::number(box_.textCursor().position()), Escaped(ref));
            if (trace_)
                std::fprintf(stderr, "%s\n", qPrintable(said));
            if (!why.isEmpty())
                return ADD_FAILURE() << qPrintable(said + "\n  " + why), false;
        }
        return true;
    }

    // Whether a block other than the caret's shows a composition, where Qt no longer finds it.
    bool Stray() const {
        for (QTextBlock b = box_.document()->begin(); b.isValid(); b = b.next())
            if (!b.layout()->preeditAreaText().isEmpty() && b != box_.textCursor().block())
                return true;
        return false;
    }
    int Pick(qsizetype n) { return std::uniform_int_distribution<int>(0, int(n) - 1)(rng_); }
    bool Chance(int percent) { return Pick(100) < percent; }
    QString Unit() {
        const int kind = Pick(10);
        return kind < 4   ? Sheet(Pick(temp::kSheetSize))
               : kind < 6 ? QString(QChar(kind == 4 ? 0x4E00 + Pick(0x5200) : 0x20 + Pick(0x5F)))
                          : kOdd.at(Pick(kOdd.size()));
    }
    QString Units(int n) {
        QString text;
        while (text.size() < n)
            text += Unit();
        return text;
    }
    QString Text(int max) {
        return Units(Chance(3) ? Pick(max + 1) : Chance(25) ? Pick(150) : Pick(6));
    }
    int Offset() {
        return Chance(10) ? (Chance(50) ? -1 - Pick(50) : box_.Length() + 1 + Pick(200))
                          : Pick(box_.Length() + 1);
    }

    // The reference takes the box's content and selection. It needs no composition: the box
    // keeps one at the caret, and keys and commits act on the text alone.
    void Sync() {
        ref_.setPlainText(before_ = box_.toPlainText());
        Select(&ref_, box_.textCursor().anchor(), box_.textCursor().position());
    }
    // Ends the composition first: an input method that lets a line break or a paste through while
    // it composes leaves the composition behind in a block the caret left, which Qt cannot handle.
    void Settle() { Compose(&box_), Sync(); }

    // A key on the box and, but for caret moves and undo, on the reference.
    QString Press(Qt::Key key, const QString &text, Qt::KeyboardModifiers mods = {}) {
        if (key == Qt::Key_V || text.contains(QRegularExpression(u"[\r\n\u2029]"_s)))
            Settle();
        QTest::sendKeyEvent(QTest::Click, &box_, key, text, mods);
        if (key >= Qt::Key_Home && key <= Qt::Key_Down)
            Sync(); // the reference copies where the caret went
        else if (key == Qt::Key_Z || key == Qt::Key_Y)
            compare_ = false; // the box's history is its own
        else {                // the reference pastes only what the box may store
            QApplication::clipboard()->setText(Strip(QApplication::clipboard()->text()));
            QTest::sendKeyEvent(QTest::Click, &ref_, key, Strip(text), mods);
        }
        return QString("key %1 %2 mods %3")
            .arg(QString::number(key, 16), Escaped(text), QString::number(mods.toInt(), 16));
    }

    // One random step on the box and, where it has plain Qt meaning, the same on the reference;
    // returns what it did.
    QString Step() {
        const int kind = Pick(100);
        compare_ = true, misheard_ = false;
        // An input method often ends its composition when something else edits the box; one that
        // lets keys through, or a mouse, edits around it.
        if ((kind < 55 || kind >= 70) && Chance(50))
            Compose(&box_);
        Sync();
        if (kind < 25)
            return Press(Qt::Key_unknown, Chance(85) ? Unit() : Text(20));
        if (kind < 45) {
            const Key &k = kKeys[Pick(std::size(kKeys))];
            return Press(k.key, k.text, k.mods);
        }
        if (kind < 55) {
            const QString text = Text(10000);
            QApplication::clipboard()->setText(text);
            return Press(Qt::Key_V, "\x16", kCtrl) + " pasting " + Escaped(text);
        }
        if (kind < 70) {
            // As long as an input method composes (chewing holds 18 characters, a sentence-based
            // one a line or more).
            const QString preedit = Units(Chance(50) ? Pick(Chance(20) ? 101 : 21) : 0),
                          commit = Chance(70) ? Text(300) : QString();
            const int replace = Chance(30),
                      start = !replace     ? 0
                              : Chance(20) ? (Chance(50) ? -200 : 200) - Pick(100)
                                           : Pick(21) - 10,
                      length = replace ? Pick(11) : 0, at = ref_.textCursor().selectionStart();
            // A range that starts or ends inside a surrogate pair takes the whole pair, and an
            // insertion there goes before it (length is never negative, so lo..hi is in order).
            const QString after = before_.left(at) + before_.mid(ref_.textCursor().selectionEnd());
            const int lo = at + start >= 0 && at + start <= after.size() ? at + start : at,
                      hi = lo + length;
            const bool replaces = length != 0 && hi >= 0 && hi <= after.size();
            const int from = lo - PairAt(after, lo - 1),
                      to = replaces ? hi + PairAt(after, hi - 1) : from;
            const bool moved = from != lo || (replaces && to != hi);
            Compose(&ref_, preedit, Strip(commit), moved ? from - at : start,
                    moved ? to - from : length);
            Compose(&box_, preedit, commit, start, length);
            // Without a commit, whether Qt drops a selection depends on an older composition,
            // which the reference does not copy.
            compare_ = !Strip(commit).isEmpty();
            return QString("input method preedit %1 commit %2 replace %3,%4")
                .arg(Escaped(preedit), Escaped(commit), QString::number(start),
                     QString::number(length));
        }
        if (kind < 77) {
            const QString text = Text(500);
            const bool composing = box_.HasComposition(); // the box takes no drop then
            const QPoint at(Pick(box_.viewport()->width()), Pick(box_.viewport()->height()));
            QMimeData data;
            data.setText(text);
            const auto send = [&](QEvent &&e) { QCoreApplication::sendEvent(box_.viewport(), &e); };
            send(QDragEnterEvent(at, Qt::CopyAction, &data, Qt::LeftButton, {}));
            send(QDragMoveEvent(at, Qt::CopyAction, &data, Qt::LeftButton, {}));
            send(QDropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, {}));
            // Qt's hit test decides where it lands (not always where cursorForPosition says); the
            // caret ends after what the box took.
            const int end = box_.textCursor().position() - box_.Length() + int(before_.size());
            if (!composing)
                Select(&ref_, end, end), ref_.insertPlainText(Strip(text));
            return QString("drop %1 at %2,%3").arg(Escaped(text)).arg(at.x()).arg(at.y());
        }
        // An accessibility tool; the reference gets Qt's own interface, where an offset outside
        // the text means its end, and an offset between the halves of a pair moves outward (an
        // insertion's before the pair).
        const int a = Offset(), b = Offset(), length = box_.Length(), op = Pick(5);
        const QString text = Text(400);
        const bool composing = box_.HasComposition(); // the box waits for it
        const auto fit = [length](int o) { return o < 0 || o > length ? length : o; };
        // First it reads the length and the range (AT-SPI has -1 for the end).
        auto *read = QAccessible::queryAccessibleInterface(&box_)->textInterface();
        misheard_ = read->characterCount() != length ||
                    (fit(a) <= fit(b) && read->text(a, b) != before_.mid(fit(a), fit(b) - fit(a)));
        const auto edit = [&](QWidget *w, int from, int to, const QString &what) {
            QAccessibleInterface *i = QAccessible::queryAccessibleInterface(w);
            op == 0   ? i->editableTextInterface()->insertText(from, what)
            : op == 1 ? i->editableTextInterface()->replaceText(from, to, what)
            : op == 2 ? i->editableTextInterface()->deleteText(from, to)
            : op == 3 ? i->setText(QAccessible::Value, what)
                      : i->textInterface()->setSelection(0, from, to);
        };
        edit(&box_, a, b, text);
        const auto [lo, hi] = std::minmax({fit(a), op == 0 ? fit(a) : fit(b)});
        const int from = lo - PairAt(before_, lo - 1),
                  to = lo == hi ? from : hi + PairAt(before_, hi - 1);
        if (op < 4 && !composing)
            edit(&ref_, from, to, Strip(text));
        return QString("accessible %1 %2..%3 %4").arg(op).arg(a).arg(b).arg(Escaped(text));
    }

    qelvara::TypingBox &box_ = *form_.Text1;
    QPlainTextEdit ref_;
    QString before_;
    std::mt19937 rng_;
    bool compare_ = true, misheard_ = false,
         trace_ = qEnvironmentVariableIsSet("QELVARA_FUZZ_TRACE");
};

TEST_F(Fuzz, RandomEventSequencesKeepTheLimitTheColoursAndWhatFitted) {
    const unsigned sequences = qEnvironmentVariable("QELVARA_FUZZ_SEQUENCES", "250").toUInt(),
                   steps = qEnvironmentVariable("QELVARA_FUZZ_STEPS", "40").toUInt(),
                   first = qEnvironmentVariable("QELVARA_FUZZ_SEED", "1").toUInt();
    unsigned failures = 0;
    for (unsigned i = 0; i < sequences && failures < 5; ++i)
        failures += !Run(first + i, steps);
    std::printf("fuzz: %u sequences of %u steps, seeds %u..%u, %u failing\n", sequences, steps,
                first, first + sequences - 1, failures);
    EXPECT_EQ(failures, 0U);
}

} // namespace

void Prepare(QApplication *) {}
