// Start-up: the application object, the fault handler, then the window.
#include "app/command_line.h"
#include "form/version.h"
#include "ui/fault_box.h"
#include "ui/form1.h"
#include "ui/input_method.h"
#include "ui/qt_chinese.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>

// Shows Form1 modally, with no owner; returns when the window has closed.
void Main() {
    Form1 form;
    form.exec();
}

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt ends the program with abort() and a hint to reinstall it when it cannot
// open a display; the user gets the reason instead, and a status the manual
// page lists. Qt's warnings before it still name the details.
void OnStartMessage(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type != QtFatalMsg)
        return qtHandler(type, context, message);
    qelvara::ExplainNoDisplay(std::cerr);
    std::_Exit(qelvara::kNoDisplayStatus);
}

} // namespace

int main(int argc, char *argv[]) {
    // Before QApplication, which needs a display.
    switch (qelvara::ReadCommandLine(argc, argv, std::cout, std::cerr)) {
    case qelvara::CommandLine::Run:
        break;
    case qelvara::CommandLine::Help:
    case qelvara::CommandLine::Version:
        return 0;
    case qelvara::CommandLine::Error:
        return 2;
    }
    qelvara::ChooseInputMethod(argc, argv);
    qtHandler = qInstallMessageHandler(OnStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    QApplication::setApplicationName(QStringLiteral("qelvara"));
    QApplication::setApplicationVersion(QString::fromUtf8(qelvara::kVersion));
    // Lets Wayland compositors and docks match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(qelvara::kAppId));
    qelvara::InstallQtChinese();
    // The window reads left to right like the Chinese in it, its menus and
    // boxes too, whatever -reverse asks: a right-to-left application drew the
    // typing box's menu with its labels flush right and its shortcuts clipped.
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    qelvara::InstallFaultHandler();
    Main();
    return 0;
}
