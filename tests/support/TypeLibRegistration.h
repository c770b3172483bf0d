// A type library registered for a test (LoadTypeLibEx with REGKIND_REGISTER)
// and unregistered again when the object goes, unless the test saw it go.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>

class TTypeLibRegistration {
public:
    explicit TTypeLibRegistration(const std::string& file) {
        std::wstring path(file.begin(), file.end());  // the tests' paths are ASCII
        ITypeLib* library = nullptr;
        if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library)) || !library) return;
        TLIBATTR* attributes = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attributes)) && attributes) {
            Attributes = *attributes;
            Made = true;
            library->ReleaseTLibAttr(attributes);
        }
        library->Release();
    }
    ~TTypeLibRegistration() {
        if (Registered())
            UnRegisterTypeLib(Attributes.guid, Attributes.wMajorVerNum, Attributes.wMinorVerNum, Attributes.lcid,
                              Attributes.syskind);
    }
    TTypeLibRegistration(const TTypeLibRegistration&) = delete;
    TTypeLibRegistration& operator=(const TTypeLibRegistration&) = delete;

    // The file held a type library and registering it succeeded.
    bool Made = false;
    // The registry still names a file for the library.
    bool Registered() const {
        if (!Made) return false;
        BSTR path = nullptr;
        HRESULT result = QueryPathOfRegTypeLib(Attributes.guid, Attributes.wMajorVerNum, Attributes.wMinorVerNum,
                                               Attributes.lcid, &path);
        SysFreeString(path);
        return SUCCEEDED(result);
    }

private:
    TLIBATTR Attributes{};
};
