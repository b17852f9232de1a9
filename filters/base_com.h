// Foundation of the filter base classes: the re-entrant lock, the counted base object, the
// aggregatable COM object every filter and pin derives from, and the filter-template list with the
// registration routines behind IAMovieSetup and a class factory for in-process servers.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace filters {

// Re-entrant lock over a Win32 critical section: a thread holding it may enter it again.
class TBCCritSec {
public:
    TBCCritSec() { InitializeCriticalSection(&cs_); }
    ~TBCCritSec() { DeleteCriticalSection(&cs_); }
    TBCCritSec(const TBCCritSec&) = delete;
    TBCCritSec& operator=(const TBCCritSec&) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    // Enters only when no other thread holds it (a thread that must not wait for a streaming one).
    bool TryEnter() { return TryEnterCriticalSection(&cs_) != FALSE; }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

// Holds a TBCCritSec for one scope.
class TBCAutoLock {
public:
    explicit TBCAutoLock(TBCCritSec& lock) : lock_(lock) { lock_.Enter(); }
    ~TBCAutoLock() { lock_.Leave(); }
    TBCAutoLock(const TBCAutoLock&) = delete;
    TBCAutoLock& operator=(const TBCAutoLock&) = delete;

private:
    TBCCritSec& lock_;
};

// Live objects of this library (every TBCBaseObject and the enumerators): a leak check for tests.
LONG ObjectCount();

// Runs f, answering its HRESULT; no C++ exception leaves a COM method through it.
template <typename F>
HRESULT ComGuard(F&& f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Counted base object with a diagnostic name.
class TBCBaseObject {
public:
    explicit TBCBaseObject(std::string name);
    virtual ~TBCBaseObject();
    TBCBaseObject(const TBCBaseObject&) = delete;
    TBCBaseObject& operator=(const TBCBaseObject&) = delete;
    const std::string& ObjectName() const { return objectName_; }

private:
    std::string objectName_;
};

// The counting part of the library's plain COM objects (the enumerators): IUnknown and Itf,
// deleted when the last reference goes.
template <typename Itf, const IID* Iid>
class TBCCountedInterface : public Itf {
public:
    virtual ~TBCCountedInterface() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        if (obj == nullptr) {
            return E_POINTER;
        }
        *obj = nullptr;
        if (iid == IID_IUnknown || iid == *Iid) {
            *obj = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(refCount_.fetch_add(1) + 1); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = refCount_.fetch_sub(1) - 1;
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }

private:
    std::atomic<LONG> refCount_{1};
};

// The aggregatable COM object. Its inner IUnknown (InnerUnknown) is the non-delegating identity an
// aggregating owner holds; every other interface of a derived class delegates to the owner when
// there is one (QueryInterface/AddRef/Release below).
class TBCUnknown : public TBCBaseObject {
public:
    TBCUnknown(std::string name, IUnknown* owner);

    virtual HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj);
    virtual ULONG NonDelegatingAddRef();
    virtual ULONG NonDelegatingRelease();

    // The delegating trio.
    HRESULT QueryInterface(REFIID iid, void** obj);
    ULONG AddRef();
    ULONG Release();

    Microsoft::WRL::ComPtr<IUnknown> GetOwner() const { return owner_; }
    IUnknown* InnerUnknown() { return &inner_; }
    LONG RefCount() const { return refCount_.load(); }

protected:
    // Hands out an interface of this object with one reference added (through the delegating AddRef).
    HRESULT GetInterface(IUnknown* itf, void** obj);

private:
    struct Inner : IUnknown {
        explicit Inner(TBCUnknown& o) : owner(o) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        TBCUnknown& owner;
    };
    Inner inner_;
    std::atomic<LONG> refCount_{0};
    IUnknown* owner_;  // not counted: the outer object owns this one
};

// Declares the IUnknown methods of an interface stub nested in a TBCUnknown-derived class: they go
// to the owning object's delegating trio.
#define QUILL_DELEGATING_UNKNOWN(ownerExpr)                                                        \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override                      \
    {                                                                                              \
        return ::filters::ComGuard([&] { return (ownerExpr).QueryInterface(iid, obj); });                     \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() override { return (ownerExpr).AddRef(); }                     \
    ULONG STDMETHODCALLTYPE Release() override { return (ownerExpr).Release(); }

// A filter template entry: what registration and the class factory know of one filter class.
struct TBCFilterTemplateEntry {
    std::string Name;
    // The instance name in the category (the last part of its moniker's display name); the
    // filter mapper uses the class id when this is empty.
    std::wstring InstanceName;
    CLSID FilterClsid{};
    CLSID Category{};
    DWORD Merit = 0;
    UINT PinCount = 0;
    const REGFILTERPINS* Pins = nullptr;
    // Creates the object (aggregated by controller when given); answers nullptr with hr set on failure.
    std::function<TBCUnknown*(IUnknown* controller, HRESULT& hr)> Create;
};

// The list of filter templates; it owns its entries.
class TBCFilterTemplate {
public:
    void Add(TBCFilterTemplateEntry entry);
    // The first entry with that filter CLSID, or nullptr.
    const TBCFilterTemplateEntry* GetFactoryFromClassID(REFCLSID clsid) const;
    const std::vector<std::unique_ptr<TBCFilterTemplateEntry>>& Entries() const { return entries_; }

private:
    std::vector<std::unique_ptr<TBCFilterTemplateEntry>> entries_;
};

// The module's template list, created on first use.
TBCFilterTemplate& Templates();

// HKEY_CLASSES_ROOT\CLSID\{...} with the name, InprocServer32 = this module, ThreadingModel Both.
bool RegisterServerEntries(const TBCFilterTemplateEntry& entry, bool doRegister);
bool RegisterFilterWithMapper2(const TBCFilterTemplateEntry& entry, IFilterMapper2* mapper, bool doRegister);
bool RegisterFilterWithMapper(const TBCFilterTemplateEntry& entry, IFilterMapper* mapper, bool doRegister);

// Class factory over one template entry, for in-process servers built on these classes.
class TBCClassFactory : public IClassFactory {
public:
    explicit TBCClassFactory(const TBCFilterTemplateEntry& entry);
    virtual ~TBCClassFactory();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** obj) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    // Server locks taken through LockServer; with ObjectCount() it decides DllCanUnloadNow.
    static LONG ServerLocks();

private:
    const TBCFilterTemplateEntry& entry_;
    std::atomic<LONG> refCount_{1};
};

// DllGetClassObject over Templates(): a factory for a listed CLSID, else CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassObjectFromTemplates(REFCLSID clsid, REFIID iid, void** obj);
// DllCanUnloadNow: S_OK when no object lives and no server lock is held.
HRESULT CanUnloadNow();

}  // namespace filters
