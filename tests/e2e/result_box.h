// Answers the result box from inside its own modal loop: the engine opens it
// with exec(), so the test code that triggered the finish is suspended until
// somebody answers.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QLabel;

namespace e2e {

class ResultBoxAnswerer : public QObject {
public:
    enum class How { ClickYes, PressReturn };

    // shot: screenshot name taken while the box is up; empty for none.
    explicit ResultBoxAnswerer(How how, QString shot = {});

    bool seen = false;
    bool answered = false;
    bool forced = false; // the box did not close on our answer; it was closed by force
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::ButtonRole> roles; // of the buttons, in the box's order
    QString clock;                        // the clock label while the box was open

    // Where the clock is read from while the box is up.
    void WatchClock(const QLabel *label) { clock_label_ = label; }

private:
    void Poll();

    How how_;
    QString shot_;
    const QLabel *clock_label_ = nullptr;
    QTimer timer_;
    bool busy_ = false;
    int polls_after_answer_ = 0;
};

} // namespace e2e
