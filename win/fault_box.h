// A run-time fault shown in a message box over the window, naming the fault
// in the program's language; the engine then ends the program with
// temp::kFaultExitStatus.
#pragma once

class Form1;

namespace qelvara::win {

// The window whose clock stops and over which the box shows.
void InstallFaultHandler(Form1 *form);

} // namespace qelvara::win
