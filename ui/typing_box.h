// The typing box: a wrapping multi-line plain text box with a maximum length
// in UTF-16 code units. The limit holds on every road into the box (keys,
// paste, drag and drop, input-method commits, undo and redo) and is enforced
// before the content changes: text that does not fit is cut to what fits.
// Accessibility tools edit it through ReplaceRange, which keeps the limit too.
// Any other change that overfills it (the widget's own API) is cut back before
// the change event reports it. Every road but that API stores text as
// AsStored() gives it.
//
// contentChanged() is the box's change event: it fires once for every change
// of toPlainText(), but not for input-method composition updates, which
// QPlainTextEdit::textChanged also reports.
#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

class QMenu;

namespace qelvara {

class TypingBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TypingBox(QWidget *parent = nullptr);

    // 0 means no limit. Lowering it does not cut the present text. It clears
    // the undo history, so undo and redo only revisit states made under it.
    void SetMaxLength(int units);

    // Length of the content in UTF-16 code units; a line break is one.
    int Length() const;

    // Whether an input method is composing text in the box. The composition
    // is always shown at the caret: whatever moves the caret takes it along.
    bool HasComposition() const;
    // The text being composed, as the box shows it (empty when none).
    QString Composition() const;

    // Ends composing for a finish: puts what the user typed of the
    // composition the box shows (Typed()) into it once, as committed text
    // within the limit (the change event runs
    // before this returns), and resets the input method. From then on the
    // box ignores text that input methods commit until it next gets the
    // focus or ResumeCommits() is called: whatever a plugin or an engine
    // commits for that composition, now or later over D-Bus, is not added
    // again, nor into the next test. Composition updates still pass.
    void CommitComposition();
    void ResumeCommits() { dropping_commits_ = false; }
    bool DroppingCommits() const { return dropping_commits_; }

    // Replaces the content (cut to the limit) and clears the undo history;
    // the change event runs before this returns, and only when the content
    // differs.
    void SetText(const QString &text);

    // Replaces the units from start to end (clamped to the content, in either
    // order, and never between the halves of a pair) with as much of text as
    // fits. The caret stays where the edit moves it; nothing happens in a
    // read-only box or while a composition is shown.
    void ReplaceRange(int start, int end, const QString &text);

    // The standard menu without entries that insert around the limit.
    QMenu *CreateContextMenu();

    // Undo and redo that keep the limit; nothing while a composition is shown.
    void GuardedUndo();
    void GuardedRedo();

    // The longest prefix of text that fits into room code units without
    // splitting a surrogate pair.
    static QString Fit(const QString &text, int room);

signals:
    void contentChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // The composition as a block's layout shows it; the formats' starts count
    // from its first unit.
    struct Shown {
        QString text;
        QList<QTextLayout::FormatRange> formats;
    };
    // The block whose layout shows a composition (invalid when none).
    QTextBlock CompositionBlock() const;
    // Takes the composition out of every layout that shows one.
    Shown TakeComposition();
    void ShowAtCaret(const Shown &shown);
    // Moves a composition that the caret left back to the caret.
    void KeepCompositionAtCaret();
    // A key as the box edits with it, once undo, redo and the keys that wait
    // for a composition are out of the way.
    void EditKey(QKeyEvent *event);

    // Code units an insertion may use that replaces `replaced` units.
    int Room(int replaced) const;
    int SelectionLength() const;
    // Hands an input-method event to the widget, safe from a Qt crash.
    void PassInputMethodEvent(QInputMethodEvent *event);
    void NoteTextChange();
    void NoteEdit(int position, int removed, int added);
    void CutOverflow();
    void InsertCut(const QString &text);
    void Guarded(bool undo);

    int max_length_ = 0;
    bool holding_ = false; // no change event while trying an undo or redo
    bool cutting_ = false; // the cut of an overfilled box is under way
    int edit_start_ = -1;  // the text the last edit added, for that cut
    int edit_added_ = 0;
    // Replaces the shown composition with `shown` as committed text.
    void PutComposition(const QString &shown);
    bool dropping_commits_ = false;
    bool moving_composition_ = false;
    QString last_text_;
};

// Text as the box stores it: every line-break convention (and U+FDD0, U+FDD1,
// where Qt breaks the block too) becomes one "\n", and explicit bidi controls
// are dropped.
QString AsStored(QString text);

// What of a composition the user typed: what it shows, less a prompt. Rime's
// Cangjie and Quick show a code as its keys, then their radicals' names in
// full-width brackets (wirm（田戈口一）); the names are Han characters, and may
// be on the sheet, but nobody typed them. Converted text, Zhuyin and a code's
// keys are what the user typed.
QString Typed(QString composition);

// Whether offset `at` lies between the halves of a surrogate pair of text.
bool SplitsPair(QStringView text, qsizetype at);

} // namespace qelvara
