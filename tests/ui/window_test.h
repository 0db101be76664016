// The fixture of the offscreen window tests: Form1 shown on a fixed sheet, and
// the user's ways into it (keys, input-method events, the clock).
#pragma once

#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

// Answers the modal message box that the next statement opens: its event loop
// is the first to run the timer.
template <typename Answer> void WhenBoxOpens(Answer answer) {
    QTimer::singleShot(0, [answer] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            answer(box);
    });
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        temp::ResetState();
        temp::SetRandomSource(&source_);
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    }

    void Start() { QTest::mouseClick(form_.Command2, Qt::LeftButton); }
    void Tick(int n) {
        for (int i = 0; i < n; ++i)
            form_.Timer1_Timer();
    }

    // Sheet characters and cells count from 0, row by row.
    QString Sheet() const { return QString::fromStdU16String(temp::State.SheetText); }
    QString Sheet(int i) const { return Sheet().mid(i, 1); }
    QTableWidgetItem *Cell(int i) const {
        return form_.MSHFlexGrid1->item(i / temp::kSheetColumns, i % temp::kSheetColumns);
    }
    // The sheet as the grid shows it: a black cell's character, "_" for a white one.
    QString Shown() const {
        QString shown;
        for (int i = 0; i < temp::kSheetSize; ++i) {
            const QColor ink = Cell(i)->foreground().color();
            shown += ink == Qt::black ? Cell(i)->text() : ink == Qt::white ? "_" : "?";
        }
        return shown;
    }
    QString Typed() const { return form_.Text1->toPlainText(); }
    void Keys(const QString &keys) { QTest::keySequence(form_.Text1, QKeySequence(keys)); }

    // What an input method sends: a composition, or a commit that may end it.
    void InputMethod(const QString &preedit, const QString &commit = {}) {
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QCoreApplication::sendEvent(form_.Text1, &event);
    }

    temp::TwisterSource source_{20240601};
    Form1 form_;
};
