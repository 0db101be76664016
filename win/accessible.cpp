#include "accessible.h"

#include "fonts.h"

#include <initguid.h>

#include <oleacc.h>

namespace qelvara::win {

namespace {

// CAccPropServices, which MinGW-w64 declares but no library of it defines.
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};

IAccPropServices *Services() {
    static IAccPropServices *services = [] {
        IAccPropServices *made = nullptr;
        if (FAILED(CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IAccPropServices, reinterpret_cast<void **>(&made))))
            made = nullptr;
        return made;
    }();
    return services;
}

void Annotate(HWND control, const MSAAPROPID &property, std::u16string_view value) {
    IAccPropServices *services = Services();
    if (services == nullptr || value.empty())
        return;
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                             Wide(value).c_str());
}

} // namespace

void Describe(HWND control, std::u16string_view name, std::u16string_view description) {
    if (control == nullptr)
        return;
    Annotate(control, PROPID_ACC_NAME, name);
    Annotate(control, PROPID_ACC_DESCRIPTION, description);
}

} // namespace qelvara::win
