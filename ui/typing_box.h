// The typing box: a wrapping multi-line plain text box with a maximum length
// in UTF-16 code units.
//
// Every insertion reaches the text through Replace(): keys, input-method
// commits, the composition taken at a finish or on Tab, paste, drag and drop,
// accessibility writes and SetText. There, in order: the text's stored form
// (AsStored), the range widened to whole surrogate pairs (WholePairs), the
// text fitted to the room left (Fit), the edit. The limit is enforced there
// and nowhere else, before the content changes. Deleting keys and cut only
// remove whole characters, and undo and redo only revisit states made on that
// road: the history is cleared whenever the limit changes.
//
// The composition an input method shows is Qt's: it lives in the layout of
// the caret's block, and the box keeps it at the caret and out of every edit.
//
// contentChanged() is the box's change event: it fires once for every change
// of toPlainText(), but not for composition updates, which
// QPlainTextEdit::textChanged also reports.
#pragma once

#include <QPlainTextEdit>
#include <QTextLayout>

class QMenu;

namespace qelvara {

class TypingBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TypingBox(QWidget *parent = nullptr);

    // 0 means no limit. Lowering it does not cut the present text.
    void SetMaxLength(int units);

    // Length of the content in UTF-16 code units; a line break is one.
    int Length() const;

    // The text an input method is composing in the box (empty when none).
    QString Composition() const;
    bool HasComposition() const { return !Composition().isEmpty(); }

    // Ends composing for a finish: puts what the user typed of the shown
    // composition (Typed()) into the box once (the change event runs before
    // this returns) and resets the input method. From then on the box ignores
    // what input methods commit, until ResumeCommits() at the next test:
    // whatever a plugin or an engine commits for that composition, now or
    // later over D-Bus, is not added again. Composition updates still pass.
    void CommitComposition();
    void ResumeCommits() { dropping_commits_ = false; }

    // Replaces the content and clears the undo history; the change event runs
    // before this returns, and only when the content differs.
    void SetText(const QString &text);

    // The one road in: replaces the units from..to (clamped to the content, in
    // either order, widened to whole pairs) with as much of text as fits. The
    // caret moves as the edit moves it.
    void Replace(int from, int to, const QString &text);

    // The standard menu without entries that insert past the road.
    QMenu *CreateContextMenu();

signals:
    void contentChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
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
    // Takes the composition out of every layout that shows one.
    Shown TakeComposition();
    void ShowAtCaret(const Shown &shown);
    // Moves a composition that the caret left back to the caret.
    void KeepCompositionAtCaret();

    // The selection replaced with text; nothing when the box stores none of it.
    void Insert(const QString &text);
    // Undo (or redo); nothing while a composition is shown.
    void Undo(bool back);
    // Code units an insertion may use that replaces `replaced` units.
    int Room(int replaced) const;
    // An input method's commit, placed by Qt's rules for its range.
    void Commit(const QInputMethodEvent &event);
    void Compose(const QString &preedit, const QList<QInputMethodEvent::Attribute> &attributes);
    // Ends the composition and inserts what the user typed of `shown`.
    void PutComposition(const QString &shown);
    void NoteTextChange();

    int max_length_ = 0;
    bool dropping_commits_ = false;
    bool moving_composition_ = false;
    QString last_text_;
};

} // namespace qelvara
