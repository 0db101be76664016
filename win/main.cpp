// Start-up: common controls, COM for the accessibility annotations, the fault
// handler, then the window. The program takes no command line.
#include "fault_box.h"
#include "form1.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

// Shows Form1 with no owner; returns when the window has closed.
int Main(int showCommand) {
    Form1 form;
    qelvara::win::InstallFaultHandler(&form);
    form.Show(showCommand);
    return qelvara::win::RunMessageLoop(form);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Main(showCommand);
    return 0;
}
