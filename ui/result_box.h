// The question box at the end of a test. It has no cancel: Escape and the
// title bar's close do nothing, so only Yes or No answers it.
#pragma once

#include <QDeadlineTimer>
#include <QMessageBox>

#include <chrono>

namespace qelvara {

class ResultBox : public QMessageBox {
    Q_OBJECT

public:
    ResultBox(const QString &text, const QString &caption, QWidget *parent = nullptr);

    // From the moment the box shows, keys do nothing for `span`; the pointer
    // answers it at once.
    void IgnoreKeysFor(std::chrono::milliseconds span) { key_guard_ = span; }

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    std::chrono::milliseconds key_guard_{0};
    bool guarding_ = false;
    QDeadlineTimer keys_ignored_until_;
};

} // namespace qelvara
