// The fixture of the offscreen window tests: Form1 shown on a fixed sheet, and
// the user's ways into it (keys, input-method events, the clock).
#pragma once

#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
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

// What an input method sends: a composition, or a commit that may end it and
// replace length units from start, counted from the caret.
inline void Compose(QWidget *box, const QString &preedit = {}, const QString &commit = {},
                    int start = 0, int length = 0) {
    QInputMethodEvent event(preedit, {});
    event.setCommitString(commit, start, length);
    QCoreApplication::sendEvent(box, &event);
}

// Selects from anchor to position, as a mouse drag would; equal, they place the caret.
inline void Select(QPlainTextEdit *box, int anchor, int position) {
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
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
        for (int i = 0; i < temp::kSheetSize; ++i)
            for (const QColor ink : {Cell(i)->foreground().color()}) // the cell's ink, once
                shown += ink == Qt::black ? Cell(i)->text() : ink == Qt::white ? "_" : "?";
        return shown;
    }
    QString Typed() const { return form_.Text1->toPlainText(); }
    void Keys(const QString &keys) { QTest::keySequence(form_.Text1, QKeySequence(keys)); }

    temp::TwisterSource source_{20240601};
    Form1 form_;
};

// Each binary's own settings: called before its application exists, then with it. This header
// is included by one file of each binary, which defines Prepare.
void Prepare(QApplication *app);
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Prepare(nullptr);
    QApplication app(argc, argv);
    Prepare(&app);
    return RUN_ALL_TESTS();
}
