// The data-provider link of the Hover controls: reference-counted objects made of implementation
// objects, and the consumer through which a control shows the selected item of a provider's
// context. The program sets no provider; the consumer then only forwards its change notices.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/graphics.h"
#include "classlib/objects.h"

namespace hover {

// Interface identities of the framework's roles.
extern const GUID IID_IHxDataProvider;
extern const GUID IID_IHxDataItems;
extern const GUID IID_IHxDataItem;
extern const GUID IID_IHxDataConsumer;
extern const GUID IID_IHxDataContext;
extern const GUID IID_IHxDataItemText;
extern const GUID IID_IHxDataItemsRenderer;
extern const GUID IID_IHxDataItemRenderer;
extern const GUID IID_IHxDataItemBasicAction;
extern const GUID IID_IHxDataConsumerItemSelect;

// The Hover library's failures.
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

// Something that answers for roles by identity (nullptr: not this one).
class IHxQueryable {
public:
    virtual ~IHxQueryable() = default;
    virtual void* QueryRole(const GUID& Role) = 0;
};

// Roles an item may answer for.
class IHxDataItem : public IHxQueryable {
public:
    virtual std::string ID() = 0;
};
class IHxDataItemText {
public:
    virtual ~IHxDataItemText() = default;
    virtual std::string Caption() = 0;
};
// Draws or measures an item (DT_CALCRECT in Flags: measure into Rect's right and bottom).
class IHxDataItemRenderer {
public:
    virtual ~IHxDataItemRenderer() = default;
    virtual void Draw(IHxDataItem* Item, classlib::TCanvas* Canvas, RECT& Rect, UINT Flags, int State) = 0;
    virtual SIZE Measure(IHxDataItem* Item, classlib::TCanvas* Canvas) = 0;
};
class IHxDataItemBasicAction {
public:
    virtual ~IHxDataItemBasicAction() = default;
    // Answers true when the click is handled.
    virtual bool Execute(classlib::TObject* Sender) = 0;
};

class THxDataConsumer;

// What a provider offers its consumers.
class IHxDataProvider : public IHxQueryable {
public:
    virtual void RegisterChangeNotification(THxDataConsumer* Consumer) = 0;
    virtual void UnregisterChangeNotification(THxDataConsumer* Consumer) = 0;
    // Context names, the first being the default; empty when the provider has no context list.
    virtual bool HasContexts() = 0;
    virtual std::vector<std::string> ContextNames() = 0;
    // The item of a context with this ID (compared without case), or nullptr.
    virtual IHxDataItem* FindItem(const std::string& Context, const std::string& ID) = 0;
    // The item list of a context (answers for the item-list renderer role), or nullptr.
    virtual IHxQueryable* Items(const std::string& Context) = 0;
};

// ---- Extensible objects ----------------------------------------------------------------------
class TAggregatedPersistentEx;

// A reference-counted object made of implementation objects, each answering roles for it.
// It is created with one reference held by its creator (Ref below); the last Release frees it.
class TExtensibleInterfacedPersistent : public classlib::TPersistent, public IHxQueryable {
public:
    CLASSLIB_CLASS_NAME(TExtensibleInterfacedPersistent)
    TExtensibleInterfacedPersistent();
    ~TExtensibleInterfacedPersistent() override;
    int AddRef() { return ++refCount_; }
    int Release();
    int RefCount() const { return refCount_; }
    // Asks the object itself, then its implementation objects from the last added to the first.
    void* QueryRole(const GUID& Role) override;
    int ImplementationCount() const { return static_cast<int>(impls_.size()); }
    TAggregatedPersistentEx* Implementations(int Index) const { return impls_.at(static_cast<size_t>(Index)).get(); }
    // Adds an implementation object; one of a class already present raises EHXLException.
    void AddImplementation(std::unique_ptr<TAggregatedPersistentEx> Impl);
    void RemoveImplementation(TAggregatedPersistentEx* Impl);
    void ClearImplementations();

protected:
    virtual void* QueryOwnRole(const GUID& Role) { (void)Role; return nullptr; }

private:
    int refCount_ = 0;
    std::vector<std::unique_ptr<TAggregatedPersistentEx>> impls_;
};

// An implementation object: counts and queries go to its owner.
class TAggregatedPersistentEx : public classlib::TPersistent, public IHxQueryable {
public:
    CLASSLIB_CLASS_NAME(TAggregatedPersistentEx)
    explicit TAggregatedPersistentEx(TExtensibleInterfacedPersistent* Owner) : owner_(Owner) {}
    TExtensibleInterfacedPersistent* Owner() const { return owner_; }
    int AddRef() { return owner_->AddRef(); }
    int Release() { return owner_->Release(); }
    void* QueryRole(const GUID& Role) override { (void)Role; return nullptr; }
    // True when Other is of this object's class or derived from it (the duplicate rule).
    virtual bool SameClassAs(const TAggregatedPersistentEx* Other) const = 0;
    // Consumer extensions: told of provider and context changes; false drops them at a change.
    virtual bool KeepAcrossChange() const { return false; }

private:
    TExtensibleInterfacedPersistent* owner_;
};

// A counted reference: AddRef on taking, Release on letting go.
template <typename T>
class THxRef {
public:
    THxRef() = default;
    explicit THxRef(T* Object) : object_(Object) { if (object_) object_->AddRef(); }
    ~THxRef() { Reset(); }
    THxRef(const THxRef&) = delete;
    THxRef& operator=(const THxRef&) = delete;
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    void Reset() {
        if (T* old = std::exchange(object_, nullptr)) old->Release();
    }

private:
    T* object_ = nullptr;
};

// ---- Consumer --------------------------------------------------------------------------------
using THxDataConsumerChangeEvent = std::function<void(classlib::TObject* Sender, int Reason)>;
constexpr int crProviderChanged = 0;
constexpr int crViewChanged = 2;
constexpr int crContextChanged = 3;

// Item selection of a consumer: the ID of the selected item in its context; a new selection is a
// change of the consumer's view.
class THxDataConsumerItemSelect : public TAggregatedPersistentEx {
public:
    CLASSLIB_CLASS_NAME(THxDataConsumerItemSelect)
    using TAggregatedPersistentEx::TAggregatedPersistentEx;
    const std::string& Item() const { return item_; }
    void SetItem(const std::string& Value);
    bool SameClassAs(const TAggregatedPersistentEx* Other) const override {
        return dynamic_cast<const THxDataConsumerItemSelect*>(Other) != nullptr;
    }
    void* QueryRole(const GUID& Role) override;

private:
    std::string item_;
};

// A control's link to one provider and one of its contexts. The control owns it through a
// counted reference (THxRef), so a passing reference taken elsewhere never frees it early.
class THxDataConsumer : public TExtensibleInterfacedPersistent {
public:
    CLASSLIB_CLASS_NAME(THxDataConsumer)
    THxDataConsumer(classlib::TComponent* Owner, std::vector<int> Attributes);
    ~THxDataConsumer() override;
    classlib::TComponent* OwnerComponent() const { return owner_; }
    const std::vector<int>& Attributes() const { return attributes_; }

    IHxDataProvider* Provider() const { return provider_; }
    void SetProvider(IHxDataProvider* Value);
    const std::string& Context() const { return context_; }
    void SetContext(const std::string& Name);
    // A provider is set.
    bool ProviderActive() const { return provider_ != nullptr; }
    // The selected item (through the item-select extension), or nullptr.
    IHxDataItem* SelectedItem();
    // After the owner was read: applies a pending context name.
    void Loaded();

    std::function<void(classlib::TObject* Sender, const GUID& Class, bool& Create)> OnBeforeCreateExtension;
    std::function<void(classlib::TObject* Sender, TAggregatedPersistentEx* Extension)> OnAfterCreateExtension;
    THxDataConsumerChangeEvent OnChanging;
    THxDataConsumerChangeEvent OnChanged;

protected:
    friend class THxDataConsumerItemSelect;
    void* QueryOwnRole(const GUID& Role) override;
    virtual void Changing(int Reason);
    virtual void Changed(int Reason);

private:
    void RebuildExtensions();
    void DropTransientExtensions();
    classlib::TComponent* owner_;
    std::vector<int> attributes_;
    IHxDataProvider* provider_ = nullptr;
    std::string context_;
    std::string pendingContext_;
};

}  // namespace hover
