#include "fault_box.h"

#include "engine/fault.h"
#include "form/form.h"
#include "form/version.h"
#include "form1.h"
#include "result_box.h"

namespace qelvara::win {

namespace {

Form1 *form_window = nullptr;

void ShowFaultBox(temp::Fault fault) {
    HWND owner = nullptr;
    if (form_window != nullptr) {
        // The state may be half-changed: no tick may reach it while the box is open.
        form_window->Window().SetTimerRunning(false);
        owner = form_window->Handle();
    }
    ShowFault(owner, form::FaultText(temp::FaultName(fault)), kWindowTitle16);
}

} // namespace

void InstallFaultHandler(Form1 *form) {
    form_window = form;
    temp::SetFaultHandler(ShowFaultBox);
}

} // namespace qelvara::win
