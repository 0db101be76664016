// Run-time faults: overflow, division by zero, a subscript out of range.
// The engine handles none of them; each ends the program after a message
// that names it. The window replaces the handler to show a message box.
#pragma once

namespace temp {

enum class Fault { Overflow, DivisionByZero, SubscriptOutOfRange, InvalidOperation, NoWindow };

// The message that names the fault, e.g. "Overflow".
const char *FaultMessage(Fault fault);

// Receives the fault's message. It may return; the program ends either way.
using FaultHandler = void (*)(const char *message);

// Replaces the handler; nullptr restores the default, which writes to stderr.
void SetFaultHandler(FaultHandler handler);

inline constexpr int kFaultExitStatus = 3;

// Reports the fault through the handler, then ends the process with kFaultExitStatus.
[[noreturn]] void RaiseFault(Fault fault);

} // namespace temp
