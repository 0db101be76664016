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

std::u16string_view FaultName(Fault fault) {
    switch (fault) {
    case Fault::Overflow:
        return u"溢位";
    case Fault::DivisionByZero:
        return u"除以零";
    case Fault::SubscriptOutOfRange:
        return u"陣列索引超出範圍";
    case Fault::InvalidOperation:
        return u"無效的浮點運算";
    case Fault::NoWindow:
        return u"沒有可以顯示的視窗";
    }
    return u"不明的錯誤";
}

void SetFaultHandler(FaultHandler h) {
    handler = h;
}

void RaiseFault(Fault fault) {
    std::fprintf(stderr, "qelvara: run-time error: %s\n", FaultMessage(fault));
    std::fflush(nullptr);
    if (handler != nullptr)
        handler(fault);
    // No unwinding: the state may be half-changed, and nothing should run on it.
    std::_Exit(kFaultExitStatus);
}

} // namespace temp
