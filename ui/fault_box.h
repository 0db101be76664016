// Run-time faults end the program after a message box that names them.
#pragma once

namespace qelvara {

// Routes the engine's faults to a critical message box (and stderr).
void InstallFaultHandler();

} // namespace qelvara
