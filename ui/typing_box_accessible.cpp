#include "typing_box_accessible.h"

#include "box_text.h"
#include "typing_box.h"

#include <QTextCursor>

#include <algorithm>

namespace qelvara {

namespace {

QAccessibleInterface *CreateInterface(const QString &, QObject *object) {
    if (auto *box = qobject_cast<TypingBox *>(object))
        return new TypingBoxAccessible(box);
    return nullptr;
}

} // namespace

void InstallTypingBoxAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&CreateInterface);
        return true;
    }();
    (void)installed;
}

TypingBoxAccessible::TypingBoxAccessible(TypingBox *box)
    : QAccessibleWidget(box, QAccessible::EditableText) {}

TypingBox *TypingBoxAccessible::Box() const {
    return static_cast<TypingBox *>(widget());
}

int TypingBoxAccessible::Clamp(int offset) const {
    // -1 means the end, as AT-SPI uses it.
    const int length = Box()->Length();
    return offset < 0 ? length : std::min(offset, length);
}

void TypingBoxAccessible::Edit(int startOffset, int endOffset, const QString &text) {
    // While a composition is shown the edit waits, as a drop does: a line
    // break put before it, or text taken from before it, left it where Qt no
    // longer finds it, and a later key crashed (Qt 6.4.2). Qt 6.8.2 does not
    // crash there, but the fuzz test, on both, expects the edit to wait.
    if (!Box()->HasComposition())
        Box()->Replace(Clamp(startOffset), Clamp(endOffset), text);
}

void *TypingBoxAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TypingBoxAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    if (Box()->isReadOnly())
        state.readOnly = true;
    else
        state.editable = true;
    return state;
}

QString TypingBoxAccessible::text(QAccessible::Text type) const {
    if (type == QAccessible::Value)
        return Box()->toPlainText();
    return QAccessibleWidget::text(type);
}

void TypingBoxAccessible::setText(QAccessible::Text type, const QString &text) {
    if (type != QAccessible::Value) {
        QAccessibleWidget::setText(type, text);
        return;
    }
    if (!Box()->HasComposition()) // as Edit
        Box()->SetText(text);
}

void TypingBoxAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const {
    const QTextCursor cursor = Box()->textCursor();
    const bool has = selectionIndex == 0 && cursor.hasSelection();
    *startOffset = has ? cursor.selectionStart() : 0;
    *endOffset = has ? cursor.selectionEnd() : 0;
}

int TypingBoxAccessible::selectionCount() const {
    return Box()->textCursor().hasSelection() ? 1 : 0;
}

void TypingBoxAccessible::addSelection(int startOffset, int endOffset) {
    setSelection(0, startOffset, endOffset); // the box has one selection
}

void TypingBoxAccessible::removeSelection(int selectionIndex) {
    if (selectionIndex != 0 || Box()->HasComposition())
        return;
    QTextCursor cursor = Box()->textCursor();
    cursor.clearSelection();
    Box()->setTextCursor(cursor);
}

void TypingBoxAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
    // The caret stays with a composition, as it does for caret keys (the box
    // would take the composition along; the user did not move it: FormTest's
    // row "accessibility caret", Qt 6.4.2 and 6.8.2).
    if (selectionIndex != 0 || Box()->HasComposition())
        return;
    // The caret or a selection end never sits between the halves of a pair:
    // typing there would leave a lone half.
    const int start = Clamp(startOffset), end = Clamp(endOffset);
    const auto [from, to] = WholePairs(Box()->toPlainText(), start, end);
    QTextCursor cursor = Box()->textCursor();
    cursor.setPosition(start <= end ? from : to);
    cursor.setPosition(start <= end ? to : from, QTextCursor::KeepAnchor);
    Box()->setTextCursor(cursor);
}

int TypingBoxAccessible::cursorPosition() const {
    return Box()->textCursor().position();
}

void TypingBoxAccessible::setCursorPosition(int position) {
    if (Box()->HasComposition())
        return; // as setSelection
    QTextCursor cursor = Box()->textCursor();
    cursor.setPosition(WholePairs(Box()->toPlainText(), Clamp(position), Clamp(position)).first);
    Box()->setTextCursor(cursor);
}

QString TypingBoxAccessible::text(int startOffset, int endOffset) const {
    const int start = Clamp(startOffset);
    const int end = Clamp(endOffset);
    return start < end ? Box()->toPlainText().mid(start, end - start) : QString();
}

int TypingBoxAccessible::characterCount() const {
    return Box()->Length();
}

QRect TypingBoxAccessible::characterRect(int offset) const {
    TypingBox *box = Box();
    const int at = Clamp(offset);
    QTextCursor cursor(box->document());
    cursor.setPosition(at);
    QRect rect = box->cursorRect(cursor);
    const QString content = box->toPlainText();
    const int units = SplitsPair(content, at + 1) ? 2 : 1;
    rect.setWidth(box->fontMetrics().horizontalAdvance(content.mid(at, units)));
    return QRect(box->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int TypingBoxAccessible::offsetAtPoint(const QPoint &point) const {
    TypingBox *box = Box();
    const QPoint local = box->viewport()->mapFromGlobal(point);
    if (!box->viewport()->rect().contains(local))
        return -1;
    return box->cursorForPosition(local).position();
}

void TypingBoxAccessible::scrollToSubstring(int, int) {
    // The box has no scroll bars and follows its caret; moving the caret to
    // scroll would change what the user is typing into.
}

QString TypingBoxAccessible::attributes(int, int *startOffset, int *endOffset) const {
    // One plain run in one font: nothing to report.
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

void TypingBoxAccessible::deleteText(int startOffset, int endOffset) {
    Edit(startOffset, endOffset, {});
}

void TypingBoxAccessible::insertText(int offset, const QString &text) {
    Edit(offset, offset, text);
}

void TypingBoxAccessible::replaceText(int startOffset, int endOffset, const QString &text) {
    Edit(startOffset, endOffset, text);
}

} // namespace qelvara
