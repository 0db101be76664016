#include "result_box.h"

#include "desktop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QWindow>

namespace e2e {

namespace {

QMessageBox *OpenBox() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            return box;
    return nullptr;
}

// By role: the label may be anything.
QAbstractButton *YesButton(QMessageBox *box) {
    for (QAbstractButton *b : box->buttons())
        if (box->buttonRole(b) == QMessageBox::YesRole)
            return b;
    return nullptr;
}

} // namespace

ResultBoxAnswerer::ResultBoxAnswerer(How how, QString shot) : how_(how), shot_(std::move(shot)) {
    connect(&timer_, &QTimer::timeout, this, &ResultBoxAnswerer::Poll);
    timer_.start(20);
}

void ResultBoxAnswerer::Poll() {
    // The helpers below pump events, which can fire this timer again.
    if (busy_)
        return;
    QMessageBox *box = OpenBox();
    if (box == nullptr || box->windowHandle() == nullptr || !box->windowHandle()->isExposed())
        return;
    busy_ = true;
    if (!seen) {
        seen = true;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            roles << box->buttonRole(b);
        if (clock_label_ != nullptr)
            clock = clock_label_->text();
        if (!shot_.isEmpty()) {
            FlushToScreen(box);
            Screenshot(shot_);
        }
    }
    if (!answered) {
        answered = true;
        if (how_ == How::PressReturn) {
            PressKeys({"Return"});
        } else if (QAbstractButton *yes = YesButton(box)) {
            ClickAt(yes->mapToGlobal(yes->rect().center()));
        }
    } else if (++polls_after_answer_ > 100) {
        // Two seconds after our answer the box is still up: close it, so the
        // test fails on `forced` instead of hanging in the modal loop.
        forced = true;
        if (QAbstractButton *yes = YesButton(box))
            yes->click();
    }
    busy_ = false;
}

} // namespace e2e
