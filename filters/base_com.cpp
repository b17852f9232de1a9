#include "filters/base_com.h"

#include "classlib/conversions.h"

namespace filters {

namespace {

std::atomic<LONG> objectCount{0};
std::atomic<LONG> serverLocks{0};

std::string ClsidText(REFCLSID clsid)
{
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    std::string out;
    for (const wchar_t* p = text; *p != 0; ++p) {
        out += static_cast<char>(*p);  // braces, hex digits and dashes only
    }
    return out;
}

// Path of the module that holds this code (the DLL of an in-process server, or the program).
std::string ModulePath()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ModulePath), &module);
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path, n);
}

bool SetDefaultValue(HKEY key, const std::string& value, const char* name = nullptr)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

LONG ObjectCount()
{
    return objectCount.load();
}

TBCBaseObject::TBCBaseObject(std::string name) : objectName_(std::move(name))
{
    objectCount.fetch_add(1);
}

TBCBaseObject::~TBCBaseObject()
{
    objectCount.fetch_sub(1);
}

TBCUnknown::TBCUnknown(std::string name, IUnknown* owner)
    : TBCBaseObject(std::move(name)), inner_(*this), owner_(owner)
{
}

HRESULT TBCUnknown::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (obj == nullptr) {
        return E_POINTER;
    }
    *obj = nullptr;
    if (iid == IID_IUnknown) {
        // The inner identity is counted on this object itself, never through the owner.
        *obj = &inner_;
        NonDelegatingAddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG TBCUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(refCount_.fetch_add(1) + 1);
}

ULONG TBCUnknown::NonDelegatingRelease()
{
    LONG count = refCount_.fetch_sub(1) - 1;
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count < 0 ? 0 : count);
}

HRESULT TBCUnknown::QueryInterface(REFIID iid, void** obj)
{
    if (owner_ != nullptr) {
        return owner_->QueryInterface(iid, obj);
    }
    return NonDelegatingQueryInterface(iid, obj);
}

ULONG TBCUnknown::AddRef()
{
    return owner_ != nullptr ? owner_->AddRef() : NonDelegatingAddRef();
}

ULONG TBCUnknown::Release()
{
    return owner_ != nullptr ? owner_->Release() : NonDelegatingRelease();
}

HRESULT TBCUnknown::GetInterface(IUnknown* itf, void** obj)
{
    if (obj == nullptr) {
        return E_POINTER;
    }
    *obj = itf;
    itf->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCUnknown::Inner::QueryInterface(REFIID iid, void** obj)
{
    return ComGuard([&] { return owner.NonDelegatingQueryInterface(iid, obj); });
}

ULONG STDMETHODCALLTYPE TBCUnknown::Inner::AddRef()
{
    return owner.NonDelegatingAddRef();
}

ULONG STDMETHODCALLTYPE TBCUnknown::Inner::Release()
{
    return owner.NonDelegatingRelease();
}

void TBCFilterTemplate::Add(TBCFilterTemplateEntry entry)
{
    entries_.push_back(std::make_unique<TBCFilterTemplateEntry>(std::move(entry)));
}

const TBCFilterTemplateEntry* TBCFilterTemplate::GetFactoryFromClassID(REFCLSID clsid) const
{
    for (const auto& e : entries_) {
        if (e->FilterClsid == clsid) {
            return e.get();
        }
    }
    return nullptr;
}

TBCFilterTemplate& Templates()
{
    static TBCFilterTemplate list;
    return list;
}

bool RegisterServerEntries(const TBCFilterTemplateEntry& entry, bool doRegister)
{
    const std::string key = "CLSID\\" + ClsidText(entry.FilterClsid);
    if (!doRegister) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, (key + "\\InprocServer32").c_str());
        return RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str()) == ERROR_SUCCESS;
    }
    HKEY clsKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &clsKey, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool ok = SetDefaultValue(clsKey, entry.Name);
    HKEY serverKey = nullptr;
    if (RegCreateKeyExA(clsKey, "InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr) ==
        ERROR_SUCCESS) {
        ok = SetDefaultValue(serverKey, ModulePath()) && ok;
        ok = SetDefaultValue(serverKey, "Both", "ThreadingModel") && ok;
        RegCloseKey(serverKey);
    } else {
        ok = false;
    }
    RegCloseKey(clsKey);
    return ok;
}

bool RegisterFilterWithMapper2(const TBCFilterTemplateEntry& entry, IFilterMapper2* mapper, bool doRegister)
{
    const wchar_t* instance = entry.InstanceName.empty() ? nullptr : entry.InstanceName.c_str();
    HRESULT hr = mapper->UnregisterFilter(&entry.Category, instance, entry.FilterClsid);
    bool ok = SUCCEEDED(hr);
    if (!doRegister) {
        return ok || entry.Name.empty();
    }
    REGFILTER2 rf2{};
    rf2.dwVersion = 1;
    rf2.dwMerit = entry.Merit;
    rf2.cPins = entry.PinCount;
    rf2.rgPins = entry.Pins;
    std::wstring name = classlib::AnsiToWide(entry.Name);
    hr = mapper->RegisterFilter(entry.FilterClsid, name.c_str(), nullptr, &entry.Category, instance, &rf2);
    return SUCCEEDED(hr);
}

bool RegisterFilterWithMapper(const TBCFilterTemplateEntry& entry, IFilterMapper* mapper, bool doRegister)
{
    HRESULT hr = mapper->UnregisterFilter(entry.FilterClsid);
    if (!doRegister) {
        return SUCCEEDED(hr);
    }
    std::wstring name = classlib::AnsiToWide(entry.Name);
    if (FAILED(mapper->RegisterFilter(entry.FilterClsid, name.c_str(), entry.Merit))) {
        return false;
    }
    for (UINT i = 0; i < entry.PinCount; ++i) {
        const REGFILTERPINS& pin = entry.Pins[i];
        CLSID connectsTo = pin.clsConnectsToFilter != nullptr ? *pin.clsConnectsToFilter : GUID_NULL;
        if (FAILED(mapper->RegisterPin(entry.FilterClsid, pin.strName, pin.bRendered, pin.bOutput, pin.bZero,
                                       pin.bMany, connectsTo, pin.strConnectsToPin))) {
            return false;
        }
        for (UINT t = 0; t < pin.nMediaTypes; ++t) {
            const REGPINTYPES& type = pin.lpMediaType[t];
            if (FAILED(mapper->RegisterPinType(entry.FilterClsid, pin.strName, *type.clsMajorType,
                                               *type.clsMinorType))) {
                return false;
            }
        }
    }
    return true;
}

TBCClassFactory::TBCClassFactory(const TBCFilterTemplateEntry& entry) : entry_(entry) {}

TBCClassFactory::~TBCClassFactory() = default;

HRESULT STDMETHODCALLTYPE TBCClassFactory::QueryInterface(REFIID iid, void** obj)
{
    if (obj == nullptr) {
        return E_POINTER;
    }
    *obj = nullptr;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *obj = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TBCClassFactory::AddRef()
{
    return static_cast<ULONG>(refCount_.fetch_add(1) + 1);
}

ULONG STDMETHODCALLTYPE TBCClassFactory::Release()
{
    LONG count = refCount_.fetch_sub(1) - 1;
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE TBCClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** obj)
{
    return ComGuard([&]() -> HRESULT {
        if (obj == nullptr) {
            return E_POINTER;
        }
        *obj = nullptr;
        // An aggregating owner can only ask for the inner identity.
        if (outer != nullptr && iid != IID_IUnknown) {
            return CLASS_E_NOAGGREGATION;
        }
        if (!entry_.Create) {
            return E_NOTIMPL;
        }
        HRESULT hr = S_OK;
        TBCUnknown* object = entry_.Create(outer, hr);
        if (object == nullptr) {
            return FAILED(hr) ? hr : E_OUTOFMEMORY;
        }
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        // Hold the object through the query, so that a refused interface destroys it.
        object->NonDelegatingAddRef();
        hr = object->NonDelegatingQueryInterface(iid, obj);
        object->NonDelegatingRelease();
        return hr;
    });
}

HRESULT STDMETHODCALLTYPE TBCClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        serverLocks.fetch_add(1);
    } else {
        serverLocks.fetch_sub(1);
    }
    return S_OK;
}

LONG TBCClassFactory::ServerLocks()
{
    return serverLocks.load();
}

HRESULT GetClassObjectFromTemplates(REFCLSID clsid, REFIID iid, void** obj)
{
    return ComGuard([&]() -> HRESULT {
        if (obj == nullptr) {
            return E_POINTER;
        }
        *obj = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            return E_NOINTERFACE;
        }
        const TBCFilterTemplateEntry* entry = Templates().GetFactoryFromClassID(clsid);
        if (entry == nullptr) {
            return CLASS_E_CLASSNOTAVAILABLE;
        }
        *obj = static_cast<IClassFactory*>(new TBCClassFactory(*entry));  // born with one reference
        return S_OK;
    });
}

HRESULT CanUnloadNow()
{
    return ObjectCount() == 0 && TBCClassFactory::ServerLocks() == 0 ? S_OK : S_FALSE;
}

}  // namespace filters
