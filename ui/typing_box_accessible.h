// What screen readers, on-screen keyboards and dictation tools see of the
// typing box. Their edits go through the box's Replace, so they keep its
// maximum length like every other road in.
#pragma once

#include <QAccessibleWidget>

namespace qelvara {

class TypingBox;

class TypingBoxAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface {
public:
    explicit TypingBoxAccessible(TypingBox *box);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text type, const QString &text) override;

    // Text: offsets are UTF-16 code units, as in the box.
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // Editable text.
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    TypingBox *Box() const;
    int Clamp(int offset) const;
    // The box's Replace, once no composition is shown.
    void Edit(int startOffset, int endOffset, const QString &text);
};

// Makes QAccessible use TypingBoxAccessible for every typing box. Idempotent.
void InstallTypingBoxAccessibility();

} // namespace qelvara
