#include "fault.h"

#include <cstdio>
#include <cstdlib>

namespace temp {

namespace {

void WriteToStderr(const char *message) {
    std::fprintf(stderr, "qelvara: run-time error: %s\n", message);
}

FaultHandler handler = WriteToStderr;

} // namespace

const char *FaultMessage(Fault fault) {
    switch (fault) {
    case Fault::Overflow:
        return "Overflow";
    case Fault::DivisionByZero:
        return "Division by zero";
    case Fault::SubscriptOutOfRange:
        return "Subscript out of range";
    case Fault::InvalidOperation:
        return "Invalid floating-point operation";
    case Fault::NoWindow:
        return "No window to draw on";
    }
    return "Unknown fault";
}

void SetFaultHandler(FaultHandler h) {
    handler = h ? h : WriteToStderr;
}

void RaiseFault(Fault fault) {
    handler(FaultMessage(fault));
    std::fflush(nullptr);
    // No unwinding: the state may be half-changed, and nothing should run on it.
    std::_Exit(kFaultExitStatus);
}

} // namespace temp
