#include "fault.h"

#include <cstdio>
#include <cstdlib>

namespace temp {

namespace {

FaultHandler handler = nullptr;

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
    handler = h;
}

void RaiseFault(Fault fault) {
    const char *message = FaultMessage(fault);
    std::fprintf(stderr, "qelvara: run-time error: %s\n", message);
    std::fflush(nullptr);
    if (handler != nullptr)
        handler(message);
    // No unwinding: the state may be half-changed, and nothing should run on it.
    std::_Exit(kFaultExitStatus);
}

} // namespace temp
