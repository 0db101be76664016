// The question box at the end of a test. It has no cancel: Escape and the
// title bar's close do nothing, so only Yes or No answers it.
#pragma once

#include <QMessageBox>

namespace qelvara {

class ResultBox : public QMessageBox {
    Q_OBJECT

public:
    ResultBox(const QString &text, const QString &caption, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

} // namespace qelvara
