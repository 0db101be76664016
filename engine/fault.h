// Run-time faults: overflow, division by zero, a subscript out of range.
// The engine handles none of them; each ends the program after a message
// that names it, written to stderr. The window adds a handler that shows it
// in a message box.
#pragma once

#include <string_view>

namespace temp {

enum class Fault { Overflow, DivisionByZero, SubscriptOutOfRange, InvalidOperation, NoWindow };

// The message that names the fault, e.g. "Overflow", for stderr.
const char *FaultMessage(Fault fault);
// Its name in the program's own language, for the user: "溢位".
std::u16string_view FaultName(Fault fault);

// Receives the fault. It may return; the program ends either way.
using FaultHandler = void (*)(Fault fault);

// Sets the handler that shows the message after it went to stderr; nullptr for none.
void SetFaultHandler(FaultHandler handler);

inline constexpr int kFaultExitStatus = 3;

// Writes the fault's message to stderr, passes it to the handler, then ends
// the process with kFaultExitStatus.
[[noreturn]] void RaiseFault(Fault fault);

} // namespace temp
