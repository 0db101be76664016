#include "push_button.h"

#include <QKeyEvent>

namespace qelvara {

void PushButton::keyPressEvent(QKeyEvent *event) {
    // QPushButton only clicks on Enter when it is a default button, and a
    // default button would take Enter from every other control too.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && mods == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace qelvara
