// The four entry points of the in-process COM server, exported undecorated
// through module.def.
#include <windows.h>
#include <objbase.h>

#include "browser/win32/ad_filter.h"
#include "com/win32/class_factory.h"
#include "com/win32/guids.h"
#include "com/win32/module_lock.h"
#include "com/win32/registrar.h"
#include "com/win32/type_library.h"
#include "dll/com_module.h"
#include "platform/win32/module_instance.h"
#include "res/resource.h"

namespace tamsel {

namespace {

// The class table: one class, AdFilter.
ClassObjectSlot g_adFilterClass{&CreateAdFilterInstance};

}  // namespace

void EndComModule() noexcept {
    g_adFilterClass.Release();
    ReleaseAdFilterTypeInfo();
}

}  // namespace tamsel

using namespace tamsel;

STDAPI DllCanUnloadNow() noexcept { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, kClsidAdFilter)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_adFilterClass.Get(riid, ppv);
}

// Registration writes the class's keys first, then the type library, and
// stops at the first failure. Unregistration removes both whatever the
// first step gave, and reports the first failure.
STDAPI DllRegisterServer() noexcept {
    const HMODULE module = ModuleInstance();
    const HRESULT hr = UpdateRegistryFromResource(module, IDR_ADFILTER_REGISTRY, true);
    if (FAILED(hr)) return hr;
    return RegisterModuleTypeLib(module);
}

STDAPI DllUnregisterServer() noexcept {
    const HMODULE module = ModuleInstance();
    const HRESULT keys = UpdateRegistryFromResource(module, IDR_ADFILTER_REGISTRY, false);
    const HRESULT library = UnregisterModuleTypeLib(module);
    return FAILED(keys) ? keys : library;
}
