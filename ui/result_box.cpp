#include "result_box.h"

#include "fonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace qelvara {

ResultBox::ResultBox(const QString &text, const QString &caption, QWidget *parent)
    : QMessageBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                  parent) {
    setDefaultButton(QMessageBox::Yes);
    // In the program's language whatever the locale, as a Chinese desktop labels them.
    button(QMessageBox::Yes)->setText(ToQString(form::kYes));
    button(QMessageBox::No)->setText(ToQString(form::kNo));
    setFont(SansFont(9.75));
    setLayoutDirection(Qt::LeftToRight); // as the window, whatever -reverse says
    // Flags first: changing them on a visible window hides it.
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setAccessibleName(caption);
    setAccessibleDescription(ToQString(form::kResultDescription));
}

void ResultBox::showEvent(QShowEvent *event) {
    QMessageBox::showEvent(event);
    if (key_guard_.count() > 0 && !guarding_) {
        guarding_ = true;
        keys_ignored_until_ = QDeadlineTimer(key_guard_);
        // The application's filter sees a key before the shortcut map (the
        // buttons' mnemonics) and the box's own handling (Enter, letters).
        qApp->installEventFilter(this);
    }
}

bool ResultBox::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        break;
    default:
        return false;
    }
    if (keys_ignored_until_.hasExpired()) {
        qApp->removeEventFilter(this);
        return false;
    }
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr || widget->window() != this)
        return false;
    // An accepted override keeps a mnemonic from firing; the key itself goes nowhere.
    event->accept();
    return true;
}

void ResultBox::keyPressEvent(QKeyEvent *event) {
    // QMessageBox would take Escape as No.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QMessageBox::keyPressEvent(event);
}

void ResultBox::closeEvent(QCloseEvent *event) {
    // A click on Yes or No closes the box itself; anything else is refused.
    if (clickedButton() == nullptr) {
        event->ignore();
        return;
    }
    QMessageBox::closeEvent(event);
}

} // namespace qelvara
