// The data-provider framework's foundation: the roles (interfaces) that providers, item lists,
// items, contexts and consumers answer, its exceptions, the reference-counted objects composed of
// implementation objects, their class references and the "Extensions" streaming of those parts.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "classlib/control.h"
#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/graphics.h"
#include "classlib/image_list.h"
#include "classlib/objects.h"
#include "classlib/std_text.h"

namespace hover {

// ---- Role identities ---------------------------------------------------------------------------
extern const GUID IID_IHxDataProvider;
extern const GUID IID_IHxDataItems;
extern const GUID IID_IHxDataItem;
extern const GUID IID_IHxDataConsumer;
extern const GUID IID_IHxDataContext;
extern const GUID IID_IHxDataContexts;
extern const GUID IID_IHxDataContextManaged;
extern const GUID IID_IHxDataItemText;
extern const GUID IID_IHxDataItemImage;
extern const GUID IID_IHxDataItemsRenderer;
extern const GUID IID_IHxDataItemRenderer;
extern const GUID IID_IHxDataItemsManagement;
extern const GUID IID_IHxDataItemsImages;
extern const GUID IID_IHxDataItemBasicAction;
extern const GUID IID_IHxDataConsumerItemSelect;
extern const GUID IID_IHxDataConsumerViewList;
extern const GUID IID_IHxDataConsumerServerNotify;   // a consumer that other consumers follow
extern const GUID IID_IHxDataConsumerClientNotify;   // a consumer that follows another one
extern const GUID IID_IHxDataProviderNotify;         // a consumer's ear for its provider's changes

// ---- Exceptions --------------------------------------------------------------------------------
class EHXLException : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};
class EHXLDataProvider : public EHXLException {
public:
    using EHXLException::EHXLException;
};
class EHXLDataConsumer : public EHXLDataProvider {
public:
    using EHXLDataProvider::EHXLDataProvider;
};
class EHXLDataItems : public EHXLDataProvider {
public:
    using EHXLDataProvider::EHXLDataProvider;
};
class EHXLDataContexts : public EHXLDataProvider {
public:
    using EHXLDataProvider::EHXLDataProvider;
};
// An object destroyed while references to it remain.
class EInvalidPointer : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};

// ---- Roles ---------------------------------------------------------------------------------------
// What every part of the framework answers: its roles by identity (nullptr: not this one) and its
// reference count. An interface pointer is never deleted through the interface.
class IHxUnknown {
public:
    virtual void* QueryRole(const GUID& Role) = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;

protected:
    ~IHxUnknown() = default;
};

// The role R of Object (nullptr when Object is nullptr or does not answer it); Object is any part
// of the framework or one of its roles.
template <class R, class T>
R* Supports(T* Object) {
    return Object != nullptr ? static_cast<R*>(Object->QueryRole(R::IID())) : nullptr;
}

class IHxDataItem;
class IHxDataItems;
class IHxDataContext;
class IHxDataContexts;
class IHxDataConsumer;
class IHxDataProvider;

// Why a provider's data changes; the provider hears each change before and after it.
enum THxDataProviderChangeReason : int {
    pcrAdd = 0,          // before: the list; after: the new item
    pcrDelete = 1,       // before: the item; after: the list
    pcrUpdateItem = 2,   // before and after: the item
    pcrUpdateItems = 3,  // before and after: the list (cleared, or its look changed)
    pcrDestroy = 4,      // the provider goes: its consumers drop it
    pcrContextDelete = 5 // before and after: the context leaving its list
};

// Drawing states of the renderers (the system's owner-draw state bits).
using THxProviderDrawStates = UINT;
constexpr THxProviderDrawStates pdsSelected = ODS_SELECTED;
constexpr THxProviderDrawStates pdsGrayed = ODS_GRAYED;
constexpr THxProviderDrawStates pdsDisabled = ODS_DISABLED;
constexpr THxProviderDrawStates pdsFocused = ODS_FOCUS;

class IHxDataItems : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItems; }
    virtual int Count() = 0;
    virtual IHxDataItem* Item(int Index) = 0;
    // The item whose sub-items these are; nullptr for a provider's or context's own list.
    virtual IHxDataItem* Parent() = 0;
    virtual IHxDataProvider* Provider() = 0;
    // The item with this ID (without case), here or, with Recursive, in any sub-list below.
    virtual IHxDataItem* FindByID(const std::string& ID, bool Recursive) = 0;
    // Where Item stands in this list, -1 when it is not here.
    virtual int IndexOf(IHxDataItem* Item) = 0;
};

class IHxDataItem : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItem; }
    virtual std::string ID() = 0;
    // The list that holds the item (nullptr once it left it).
    virtual IHxDataItems* Items() = 0;
    virtual bool IsDeletable() = 0;
};

class IHxDataItemText : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemText; }
    virtual std::string Caption() = 0;
    virtual void SetCaption(const std::string& Value) = 0;
};

class IHxDataItemImage : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemImage; }
    virtual classlib::TAlignment Alignment() = 0;
    virtual void SetAlignment(classlib::TAlignment Value) = 0;
    virtual int ImageIndex() = 0;
    virtual void SetImageIndex(int Value) = 0;
    virtual int SelectedIndex() = 0;
    virtual void SetSelectedIndex(int Value) = 0;
};

// Draws an item of a list (by index or by item) or measures it; AvgItemSize is a typical size.
class IHxDataItemsRenderer : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemsRenderer; }
    virtual void DrawItemByIndex(classlib::TCanvas* Canvas, RECT& Rect, int Index, THxProviderDrawStates State) = 0;
    virtual SIZE MeasureItemByIndex(classlib::TCanvas* Canvas, int Index) = 0;
    virtual void DrawItem(classlib::TCanvas* Canvas, RECT& Rect, IHxDataItem* Item, THxProviderDrawStates State) = 0;
    virtual SIZE MeasureItem(classlib::TCanvas* Canvas, IHxDataItem* Item) = 0;
    virtual SIZE AvgItemSize(classlib::TCanvas* Canvas) = 0;
};

// An item that draws and measures itself.
class IHxDataItemRenderer : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemRenderer; }
    virtual void Draw(classlib::TCanvas* Canvas, RECT& Rect, THxProviderDrawStates State) = 0;
    virtual SIZE Measure(classlib::TCanvas* Canvas) = 0;
};

class IHxDataItemsManagement : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemsManagement; }
    // Adds Item (made for this list) at the end and answers it.
    virtual IHxDataItem* Add(IHxDataItem* Item) = 0;
    // Makes a new item at the end of the list.
    virtual IHxDataItem* New() = 0;
    virtual void Clear() = 0;
    virtual void Delete(int Index) = 0;
    virtual void Remove(IHxDataItem* Item) = 0;
    // True when the list's items live by their reference counts instead of being owned by it.
    virtual bool ManagesByRefCount() = 0;
};

class IHxDataItemsImages : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemsImages; }
    virtual classlib::TCustomImageList* DisabledImages() = 0;
    virtual void SetDisabledImages(classlib::TCustomImageList* Value) = 0;
    virtual classlib::TCustomImageList* HotImages() = 0;
    virtual void SetHotImages(classlib::TCustomImageList* Value) = 0;
    virtual classlib::TCustomImageList* Images() = 0;
    virtual void SetImages(classlib::TCustomImageList* Value) = 0;
};

class IHxDataItemBasicAction : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataItemBasicAction; }
    // Answers true when the click is handled.
    virtual bool Execute(classlib::TObject* Sender) = 0;
};

class IHxDataContext : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataContext; }
    // The list that holds the context (nullptr once it left it).
    virtual IHxDataContexts* Contexts() = 0;
    virtual std::string Name() = 0;
    virtual bool IsDeletable() = 0;
    // The contexts inside this one (nullptr when it has none).
    virtual IHxDataContexts* SubContexts() = 0;
};

// A context that keeps an item tree of its own.
class IHxDataContextManaged : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataContextManaged; }
    virtual IHxDataItems* Items() = 0;
};

class IHxDataContexts : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataContexts; }
    virtual IHxDataProvider* Provider() = 0;
    // The context this list belongs to (nullptr for a provider's own list).
    virtual IHxDataContext* Ancestor() = 0;
    virtual int Count() = 0;
    virtual IHxDataContext* Item(int Index) = 0;
    // The context of that name (without case), nullptr when there is none.
    virtual IHxDataContext* FindByName(const std::string& Name) = 0;
    virtual void Delete(int Index) = 0;
    virtual void Remove(IHxDataContext* Context) = 0;
    virtual void Clear() = 0;
};

// How a consumer hears of its provider's changes.
class IHxDataProviderNotify : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataProviderNotify; }
    virtual void DataProviderChanging(IHxDataProvider* Provider, THxDataProviderChangeReason Reason, IHxUnknown* Source) = 0;
    virtual void DataProviderChanged(IHxDataProvider* Provider, THxDataProviderChangeReason Reason, IHxUnknown* Source) = 0;
};

class TAggregatedPersistentEx;
class TExtensibleInterfacedPersistent;

// A class reference of the framework: its name, its parent and how an object of it is made for an
// owner (nullptr: the class is not made by name, or Owner is of the wrong kind).
using THxClassRef = classlib::TClassRef<classlib::TPersistent, classlib::TPersistent*>;
using THxClass = const THxClassRef*;

class IHxDataProvider : public IHxUnknown {
public:
    static const GUID& IID() { return IID_IHxDataProvider; }
    // The items of the selected context (the provider's own when none is selected).
    virtual IHxDataItems* GetItems() = 0;
    virtual void RegisterChangeNotify(IHxDataProviderNotify* Notify) = 0;
    virtual void UnregisterChangeNotify(IHxDataProviderNotify* Notify) = 0;
    // Told before and after every change of its data; passes it on to its consumers.
    virtual void Changing(THxDataProviderChangeReason Reason, IHxUnknown* Source) = 0;
    virtual void Changed(THxDataProviderChangeReason Reason, IHxUnknown* Source) = 0;
    // The consumer and the context the provider answers for; each Release goes back to the
    // selection before the matching Select.
    virtual void SelectConsumer(IHxDataConsumer* Consumer) = 0;
    virtual IHxDataConsumer* SelectedConsumer() = 0;
    virtual void ReleaseConsumer() = 0;
    virtual void SelectContext(IHxDataContext* Context) = 0;
    virtual IHxDataContext* SelectedContext() = 0;
    virtual void ReleaseContext() = 0;
    // The extension classes the selected consumer needs in the selected context.
    virtual std::vector<THxClass> ConsumerClasses() = 0;
};

// IDs and names compare without case.
bool HxSameText(const std::string& A, const std::string& B);

// The item with this path of IDs, starting at Items (see FindByPath in the .cpp); nullptr when
// the path leads nowhere.
IHxDataItem* FindItemByPath(IHxDataItems* Items, const std::string& Path);
// The same for contexts, by name.
IHxDataContext* FindContextByPath(IHxDataContexts* Contexts, const std::string& Path);

// ---- Class references ----------------------------------------------------------------------------
// Declares a class's reference (StaticClass, ClassType) and its name; HX_ROOT_CLASS for the two
// roots of the framework's classes.
#define HX_CLASS(Name)                                                     \
    CLASSLIB_CLASS_NAME(Name)                                              \
    static const ::hover::THxClassRef& StaticClass();                      \
    ::hover::THxClass ClassType() const override { return &StaticClass(); }
#define HX_ROOT_CLASS(Name)                                                \
    CLASSLIB_CLASS_NAME(Name)                                              \
    static const ::hover::THxClassRef& StaticClass();                      \
    virtual ::hover::THxClass ClassType() const { return &StaticClass(); }

// The factory of a class that is not made by name (abstract, or made only by its owner's code).
classlib::TPersistent* HxNotMadeByName(classlib::TPersistent* Owner);
// Defines Name::StaticClass with its parent's class and its factory.
#define HX_DEFINE_CLASS(Name, Parent, Factory)                                                \
    const ::hover::THxClassRef& Name::StaticClass() {                                         \
        static const ::hover::THxClassRef ref(L## #Name, &Parent::StaticClass(), Factory);     \
        return ref;                                                                           \
    }

// Streaming by class name: only registered classes are written as extensions or read back.
// Group is the class group the class belongs to ("" for its own).
void RegisterHxClass(THxClass Class);
void UnregisterHxClass(THxClass Class);
// The registered class of that name, nullptr when none is.
THxClass FindHxClass(const std::wstring& Name);
bool HxClassRegistered(THxClass Class);
// Class groups: Class and the classes derived from it belong to the group named Group (the name
// of the group's first class, e.g. "TControl"); "" for a class of no group.
void GroupDescendentsWith(THxClass Class, const std::wstring& Group);
std::wstring HxClassGroup(THxClass Class);

// ---- Extensible objects --------------------------------------------------------------------------
// A reference-counted object made of implementation objects, each answering roles for it. Make
// one with HxNew: it starts counted once, makes its built-in implementation objects, and is handed
// over with a count of 0; the last Release frees it. Free destroys one that nobody counts.
class TExtensibleInterfacedPersistent : public classlib::TPersistent, public IHxUnknown {
public:
    HX_ROOT_CLASS(TExtensibleInterfacedPersistent)
    TExtensibleInterfacedPersistent() = default;
    TExtensibleInterfacedPersistent(const TExtensibleInterfacedPersistent&) = delete;
    TExtensibleInterfacedPersistent& operator=(const TExtensibleInterfacedPersistent&) = delete;

    // Asks the object itself, then its implementation objects from the last added to the first.
    void* QueryRole(const GUID& Role) override;
    int AddRef() override { return ++refCount_; }
    int Release() override;
    int RefCount() const { return refCount_; }
    // Destroys the object; one that references still count raises EInvalidPointer and stays.
    void Free();
    // Run by HxNew once the object is made; AbandonConstruction frees one whose completion failed.
    void AfterConstruction();
    void AbandonConstruction() { Release(); }

    int ImplementationCount() const { return static_cast<int>(impls_.size()); }
    TAggregatedPersistentEx* Implementations(int Index) const { return impls_.at(static_cast<size_t>(Index)); }
    // The implementation object of Class (or of a class derived from it), nullptr when none.
    TAggregatedPersistentEx* FindImplementation(THxClass Class) const;
    // Taken in by a new implementation object; raises EHXLException "Implementation of that class
    // already exists" when one of its class (or derived from it) is present.
    void AddImplementation(TAggregatedPersistentEx* Impl);
    // Given back by an implementation object that goes.
    void RemoveImplementation(TAggregatedPersistentEx* Impl);
    // Frees every implementation object, the last first.
    void ClearImplementations();

    // Defines "Extensions": the streamable implementation objects with their properties.
    void DefineProperties(classlib::TFiler* Filer) override;

protected:
    ~TExtensibleInterfacedPersistent() override;
    // The roles the object answers itself.
    virtual void* QueryOwnRole(const GUID& Role);
    // Makes the built-in implementation objects.
    virtual void InitImplementers() {}

private:
    void ReadExtensions(classlib::TReader* Reader);
    void WriteExtensions(classlib::TWriter* Writer);
    bool HasStreamableImplementations() const;

    int refCount_ = 1;
    std::vector<TAggregatedPersistentEx*> impls_;
};

// Makes an extensible object (or an implementation object) of class T and completes it.
template <class T, class... A>
T* HxNew(A&&... Args) {
    T* object = new T(std::forward<A>(Args)...);
    try {
        object->AfterConstruction();
    } catch (...) {
        object->AbandonConstruction();
        throw;
    }
    return object;
}

// An implementation object whose counting and queries go to its controller.
class TAggregatedPersistent : public classlib::TPersistent, public IHxUnknown {
public:
    HX_ROOT_CLASS(TAggregatedPersistent)
    explicit TAggregatedPersistent(IHxUnknown* Controller) : controller_(Controller) {}
    TAggregatedPersistent(const TAggregatedPersistent&) = delete;
    TAggregatedPersistent& operator=(const TAggregatedPersistent&) = delete;
    IHxUnknown* Controller() const { return controller_; }
    void* QueryRole(const GUID& Role) override { return controller_->QueryRole(Role); }
    int AddRef() override { return controller_->AddRef(); }
    int Release() override { return controller_->Release(); }
    // The roles this object answers for its controller.
    virtual void* QueryOwnRole(const GUID& Role) {
        (void)Role;
        return nullptr;
    }

private:
    IHxUnknown* controller_;
};

// An implementation object owned by an extensible object: it joins its owner when made and
// leaves it when it goes.
class TAggregatedPersistentEx : public TAggregatedPersistent {
public:
    HX_CLASS(TAggregatedPersistentEx)
    explicit TAggregatedPersistentEx(TExtensibleInterfacedPersistent* Owner);
    ~TAggregatedPersistentEx() override;
    TExtensibleInterfacedPersistent* Owner() const { return owner_; }
    // Joins the owner (HxNew runs it).
    void AfterConstruction();
    void AbandonConstruction() { delete this; }

private:
    friend class TExtensibleInterfacedPersistent;
    TExtensibleInterfacedPersistent* owner_;
    bool joined_ = false;
};

// Makes an implementation object of T for Owner when Owner is of class O (nullptr otherwise):
// the factory of a class reference.
template <class T, class O>
classlib::TPersistent* HxMakeFor(classlib::TPersistent* Owner) {
    auto* owner = dynamic_cast<O*>(Owner);
    return owner != nullptr ? HxNew<T>(owner) : nullptr;
}

// Forwards a further interface's IHxUnknown to the base class B that implements it.
#define HX_FORWARD_UNKNOWN(B)                                                     \
    void* QueryRole(const GUID& Role) override { return B::QueryRole(Role); }     \
    int AddRef() override { return B::AddRef(); }                                 \
    int Release() override { return B::Release(); }

// Holds a counted reference: AddRef on taking, Release on letting go.
template <typename T>
class THxRef {
public:
    THxRef() = default;
    explicit THxRef(T* Object) : object_(Object) {
        if (object_ != nullptr) object_->AddRef();
    }
    ~THxRef() { Reset(); }
    THxRef(const THxRef&) = delete;
    THxRef& operator=(const THxRef&) = delete;
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void Reset(T* Object = nullptr) {
        if (Object != nullptr) Object->AddRef();
        if (T* old = std::exchange(object_, Object)) old->Release();
    }

private:
    T* object_ = nullptr;
};

// ---- Collections in streams ----------------------------------------------------------------------
// Writes a collection: for each object a list with "ClassName" and the object's properties. The
// writer's property path is cleared meanwhile (the objects' own names start fresh).
void WriteHxCollection(classlib::TWriter* Writer, const std::vector<classlib::TPersistent*>& Objects);
// Reads one: raises EReadError "Expected collection", "Missing ClassName property" or "Invalid
// class type" (a class that Accepts refuses); Make answers the object to read each entry into.
void ReadHxCollection(classlib::TReader* Reader, const std::function<bool(THxClass)>& Accepts,
                      const std::function<classlib::TPersistent*(THxClass)>& Make);

// Registers the framework's classes for streaming (and their published properties); the library's
// start-up runs it, its end undoes it.
void RegisterDataProviderClasses();
void UnregisterDataProviderClasses();

}  // namespace hover
