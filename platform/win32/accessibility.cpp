#include "platform/win32/accessibility.h"

#include "window/form1_accessibility.h"

#include <oleacc.h>

#include <string>

namespace kelvorin::win32 {

void AnnotateForScreenReaders(
    std::initializer_list<std::pair<const design::Control*, HWND>> controls) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccPropServices* services = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
        const auto set = [&](HWND hwnd, const MSAAPROPID& property, std::u16string_view text) {
            const std::wstring wide(text.begin(), text.end());
            services->SetHwndPropStr(hwnd, OBJID_CLIENT, CHILDID_SELF, property, wide.c_str());
        };
        for (const auto& [control, hwnd] : controls) {
            const design::AccessibleText text = design::AccessibleTextOf(*control);
            set(hwnd, PROPID_ACC_NAME, text.name);
            if (!text.description.empty()) {
                set(hwnd, PROPID_ACC_DESCRIPTION, text.description);
            }
        }
        // The annotations live with the windows; the service is not needed to keep them.
        services->Release();
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
}

} // namespace kelvorin::win32
