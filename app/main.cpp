// Start-up: the application object, the fault handler, then the window.
#include "app/command_line.h"
#include "ui/fault_box.h"
#include "ui/form1.h"
#include "ui/input_method.h"
#include "form/version.h"

#include <QApplication>

#include <iostream>

// Shows Form1 modally, with no owner; returns when the window has closed.
void Main() {
    Form1 form;
    form.exec();
}

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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qelvara"));
    QApplication::setApplicationVersion(QString::fromUtf8(qelvara::kVersion));
    // Lets Wayland compositors and docks match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(qelvara::kAppId));
    qelvara::InstallFaultHandler();
    Main();
    return 0;
}
