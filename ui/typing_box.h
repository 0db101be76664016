// The typing box: a wrapping multi-line plain text box with a maximum length
// in UTF-16 code units. The limit holds on every road into the box (keys,
// paste, drag and drop, input-method commits, undo and redo) and is enforced
// before the content changes: text that does not fit is cut to what fits.
//
// contentChanged() is the box's change event: it fires once for every change
// of toPlainText(), but not for input-method composition updates, which
// QPlainTextEdit::textChanged also reports.
#pragma once

#include <QPlainTextEdit>

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

    // Whether an input method is composing text in the box.
    bool HasComposition() const;

    // Replaces the content (cut to the limit); the change event runs before
    // this returns, and only when the content differs.
    void SetText(const QString &text);

    // The standard menu without entries that insert around the limit.
    QMenu *CreateContextMenu();

    // The longest prefix of text that fits into room code units without
    // splitting a surrogate pair.
    static QString Fit(const QString &text, int room);

signals:
    void contentChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // Code units an insertion may use that replaces `replaced` units.
    int Room(int replaced) const;
    int SelectionLength() const;
    void NoteTextChange();
    void InsertCut(const QString &text);

    int max_length_ = 0;
    QString last_text_;
};

// Text as the box stores it: every line-break convention becomes one "\n".
QString NormaliseLineBreaks(QString text);

} // namespace qelvara
