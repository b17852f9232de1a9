// A COM class hidden in this process while the object lives: its objects cannot be made, as on a
// system that lacks it (the prefix's stand-ins registered under stock class ids stay out of sight).
#pragma once

#include <windows.h>
#include <objbase.h>

namespace quill_test {

class THiddenClass : public IClassFactory {
public:
    explicit THiddenClass(REFCLSID Id) {
        registered_ = SUCCEEDED(CoRegisterClassObject(Id, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
    }
    ~THiddenClass() {
        if (registered_) CoRevokeClassObject(cookie_);
    }
    THiddenClass(const THiddenClass&) = delete;
    THiddenClass& operator=(const THiddenClass&) = delete;

    bool Hidden() const { return registered_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void** Object) override {
        if (Id != IID_IUnknown && Id != IID_IClassFactory) {
            *Object = nullptr;
            return E_NOINTERFACE;
        }
        *Object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // Lives on the test's stack: COM's references do not own it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** Object) override {
        *Object = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    DWORD cookie_ = 0;
    bool registered_ = false;
};

}  // namespace quill_test
