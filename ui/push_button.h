// A push button that Enter and keypad Enter press when it has the focus, as
// Space does, without making it the window's default button.
#pragma once

#include <QPushButton>

namespace qelvara {

class PushButton : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace qelvara
