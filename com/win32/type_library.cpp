#include "com/win32/type_library.h"

#include <oleauto.h>

#include <vector>

#include "base/boundary.h"
#include "com/win32/com_ptr.h"
#include "platform/win32/module_file.h"

namespace tamsel {

namespace {

// The library attributes a type library lends out until they are given back.
class LibraryAttributes {
public:
    explicit LibraryAttributes(ITypeLib* library) : library_(library) {}
    LibraryAttributes(const LibraryAttributes&) = delete;
    LibraryAttributes& operator=(const LibraryAttributes&) = delete;
    ~LibraryAttributes() {
        if (attributes_) library_->ReleaseTLibAttr(attributes_);
    }
    HRESULT Fetch() { return library_->GetLibAttr(&attributes_); }
    const TLIBATTR& operator*() const { return *attributes_; }

private:
    ITypeLib* library_;
    TLIBATTR* attributes_ = nullptr;
};

// Loads the library without registering it: registration is a separate,
// explicit step here.
HRESULT LoadOwnLibrary(HMODULE module, std::wstring& path, ComPtr<ITypeLib>& library) {
    const auto name = ModuleFileNameWide(module);
    if (!name) return HRESULT_FROM_WIN32(GetLastError());
    path = *name;
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
}

}  // namespace

HRESULT RegisterModuleTypeLib(HMODULE module) noexcept {
    return AtBoundary(E_OUTOFMEMORY, E_UNEXPECTED, [&] {
        std::wstring path;
        ComPtr<ITypeLib> library;
        if (const HRESULT hr = LoadOwnLibrary(module, path, library); FAILED(hr)) return hr;
        std::vector<wchar_t> writablePath(path.begin(), path.end());
        writablePath.push_back(L'\0');
        return RegisterTypeLib(library.get(), writablePath.data(), nullptr);
    });
}

HRESULT UnregisterModuleTypeLib(HMODULE module) noexcept {
    return AtBoundary(E_OUTOFMEMORY, E_UNEXPECTED, [&] {
        std::wstring path;
        ComPtr<ITypeLib> library;
        if (const HRESULT hr = LoadOwnLibrary(module, path, library); FAILED(hr)) return hr;
        LibraryAttributes attributes(library.get());
        if (const HRESULT hr = attributes.Fetch(); FAILED(hr)) return hr;
        const TLIBATTR& a = *attributes;
        // Nothing registered is what unregistration is for: a second
        // unregistration succeeds rather than failing on the missing key.
        Bstr registered;
        if (FAILED(QueryPathOfRegTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, registered.put()))) {
            return S_OK;
        }
        return UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
    });
}

}  // namespace tamsel
