#include "result_box.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace qelvara {

ResultBox::ResultBox(const QString &text, const QString &caption, QWidget *parent)
    : QMessageBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                  parent) {
    setDefaultButton(QMessageBox::Yes);
    // Flags first: changing them on a visible window hides it.
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setAccessibleName(caption);
    setAccessibleDescription(
        QStringLiteral("測驗結果，請選擇「是」開始新一次練習，或選擇「否」結束程式"));
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
