// A shown Form1 on a fixed sheet, and helpers to drive it like a user.
#pragma once

#include "form1.h"
#include "random_source.h"
#include "temp.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace uitest {

inline QString Q(std::u16string_view s) {
    return QString(reinterpret_cast<const QChar *>(s.data()), static_cast<qsizetype>(s.size()));
}

// Calls answer with the first modal message box that opens.
inline void WhenBoxOpens(std::function<void(QMessageBox *)> answer, int tries = 500) {
    QTimer::singleShot(10, [answer = std::move(answer), tries] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible())
            answer(box);
        else if (tries > 0)
            WhenBoxOpens(answer, tries - 1);
        else
            ADD_FAILURE() << "no message box opened";
    });
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        temp::ResetState();
        temp::SetRandomSource(&source_);
        form_ = std::make_unique<Form1>();
        form_->show();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    }

    void TearDown() override {
        form_.reset();
        temp::SetRandomSource(nullptr);
    }

    void Start() { QTest::mouseClick(form_->Command2, Qt::LeftButton); }

    void Tick(int n) {
        for (int i = 0; i < n; ++i)
            form_->Timer1_Timer();
    }

    // Sheet character k (1-based) and its cell.
    QString SheetChar(int k) const { return Q(temp::State.SheetText).mid(k - 1, 1); }
    QTableWidgetItem *Cell(int k) const {
        return form_->MSHFlexGrid1->item((k - 1) / 20, (k - 1) % 20);
    }
    QColor Colour(int k) const { return Cell(k)->foreground().color(); }

    // A key whose text is a Chinese character, as a keyboard layout or a
    // simple input method delivers it.
    void TypeKey(const QString &text) {
        QTest::sendKeyEvent(QTest::Click, form_->Text1, Qt::Key_unknown, text, Qt::NoModifier);
    }
    void Commit(const QString &text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(form_->Text1, &event);
    }
    void Preedit(const QString &text) {
        QInputMethodEvent event(text, {});
        QCoreApplication::sendEvent(form_->Text1, &event);
    }

    temp::TwisterSource source_{20240601};
    std::unique_ptr<Form1> form_;
};

} // namespace uitest
