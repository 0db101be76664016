#include "fault_box.h"

#include "engine/fault.h"
#include "fonts.h"
#include "form/version.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace qelvara {

namespace {

void ShowFault(temp::Fault fault) {
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return;
    // The state may be half-changed: no tick may reach it while the box is open.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        const QList<QTimer *> timers = window->findChildren<QTimer *>();
        for (QTimer *timer : timers)
            timer->stop();
    }
    const std::u16string_view name = temp::FaultName(fault);
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kWindowTitle),
                    ToQString(form::FaultText(name)), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.button(QMessageBox::Ok)->setText(ToQString(form::kFaultButton));
    box.setFont(SansFont(9.75));
    box.setLayoutDirection(Qt::LeftToRight);
    box.exec();
}

} // namespace

void InstallFaultHandler() {
    temp::SetFaultHandler(ShowFault);
}

} // namespace qelvara
