// The yardstick for start-up time and memory: a bare Qt window of the same
// size and kind as Qelvara's, drawing Chinese text in the same fonts.
#include "ui/fonts.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QDialog window;
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    window.setFixedSize(681, 425);

    QLabel sheet(QStringLiteral("一乙丁七乃九了二人儿入八几刀刁力匕十卜又"), &window);
    sheet.setFont(qelvara::MingFont(18));
    sheet.setGeometry(8, 8, 665, 40);
    QLabel typing(QStringLiteral("準備好沒有？按【確定】開始"), &window);
    typing.setFont(qelvara::MingFont(12));
    typing.setGeometry(8, 240, 553, 40);
    QLabel intro(QStringLiteral("準備好沒有？按【確定】開始"), &window);
    intro.setFont(qelvara::MingFont(9.75));
    intro.setGeometry(8, 290, 200, 20);
    QLabel clock(QStringLiteral("0:00"), &window);
    clock.setFont(qelvara::SansFont(12, true));
    clock.setGeometry(600, 260, 65, 25);
    QPushButton button(QStringLiteral("確定"), &window);
    button.setFont(qelvara::SansFont(9.75, false));
    button.setGeometry(584, 320, 81, 25);
    QLineEdit box(QStringLiteral("Text2"), &window);
    box.setGeometry(584, 360, 81, 25);

    return window.exec();
}
