// The class library's object model: the common base TObject, TPersistent (Assign, AssignTo,
// DefineProperties), the pointer list TList and TComponent (owner, owned components, Name,
// free notification, component states, Loaded).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace classlib {

class TFiler;

// Common base of every object that can be attached to a list item or passed as an event sender.
class TObject {
public:
    virtual ~TObject() = default;
    // The class's name as the class library reports it ("TObject", "TUcStringList", ...).
    virtual std::wstring ClassName() const { return L"TObject"; }
};

// Declares ClassName() for a class of the library.
#define CLASSLIB_CLASS_NAME(Name) \
    std::wstring ClassName() const override { return L## #Name; }

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
public:
    CLASSLIB_CLASS_NAME(TPersistent)
    // Copies Source into this object; a source this class does not know is handed to
    // Source->AssignTo(this), and a refusal there raises EConvertError
    // "Cannot assign a <source class> to a <destination class>" ("nil" for no source).
    virtual void Assign(TPersistent* Source);
    // Streaming hook: defines the object's extra (non-published) properties on the filer.
    virtual void DefineProperties(TFiler* Filer);

protected:
    virtual void AssignTo(TPersistent* Dest);
    [[noreturn]] void AssignError(TPersistent* Source);
};

// A list of untyped pointers. Index errors raise EListError "List index out of bounds (%d)".
class TList : public TObject {
public:
    CLASSLIB_CLASS_NAME(TList)
    int Count() const { return static_cast<int>(items_.size()); }
    void* Items(int Index) const;
    void SetItems(int Index, void* Item);
    int Add(void* Item);
    void Insert(int Index, void* Item);
    void Delete(int Index);
    int Remove(void* Item);  // index removed, or -1
    int IndexOf(void* Item) const;
    void Clear() { items_.clear(); }
    void Exchange(int Index1, int Index2);
    void Move(int CurIndex, int NewIndex);
    void* First() const { return Items(0); }
    void* Last() const { return Items(Count() - 1); }
    int Capacity() const { return static_cast<int>(items_.capacity()); }
    void SetCapacity(int NewCapacity);

private:
    void CheckIndex(int Index, int limit) const;
    std::vector<void*> items_;
};

enum class TOperation { opInsert, opRemove };

// Component states (a bit set).
enum TComponentStateFlag : std::uint32_t {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
    csAncestor = 1u << 5,
    csUpdating = 1u << 6,
    csFixups = 1u << 7,
    csFreeNotification = 1u << 8,
    csInline = 1u << 9,
};

// A component is owned by its Owner, which deletes it when it is itself deleted (the last-added
// component first). Deleting a component removes it from its owner and sends
// Notification(this, opRemove) to every component that asked for free notification.
class TComponent : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TComponent)
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int Index) const;
    int ComponentIndex() const;
    TComponent* FindComponent(const std::wstring& AName) const;

    const std::wstring& Name() const { return name_; }
    // Raises EComponentError for a name that is not an identifier ("A component name must be a
    // valid identifier: '%s'"... see README) or that another component of the owner already has.
    virtual void SetName(const std::wstring& NewName);
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t v) { tag_ = v; }

    std::uint32_t ComponentState() const { return state_; }
    bool HasState(std::uint32_t flag) const { return (state_ & flag) != 0; }
    void SetDesigning(bool Value);

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    // Deletes every owned component, the last one first.
    void DestroyComponents();
    // Marks the component as being destroyed (csDestroying) and tells its owned components.
    void Destroying();

    // Asks for Notification(this, opRemove) on AComponent when this component is deleted, and
    // the other way round.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Called by the streaming system after all properties were read; clears csLoading.
    virtual void Loaded();
    // Streaming state changes made by the reader and writer.
    void SetLoadingState(bool loading);
    void SetReadingState(bool reading);
    void SetWritingState(bool writing);
    void SetAncestorState(bool ancestor);

    virtual void Notification(TComponent* AComponent, TOperation Operation);

protected:
    // Checks a name before it is taken; overridable by classes with their own naming rules.
    virtual void ValidateRename(TComponent* AComponent, const std::wstring& CurName, const std::wstring& NewName);

private:
    void Insert(TComponent* AComponent);
    void Remove(TComponent* AComponent);
    void RemoveNotification(TComponent* AComponent);

    TComponent* owner_ = nullptr;
    std::wstring name_;
    std::intptr_t tag_ = 0;
    std::uint32_t state_ = 0;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
};

// True when text is a valid identifier: a letter or underscore, then letters, digits, underscores.
bool IsValidIdent(const std::wstring& text);

// Takes the object out of the variable, sets the variable to nullptr, then deletes the object: code
// that its destructor runs and that looks at the variable finds it empty, never half-destroyed.
template <typename T>
void FreeAndNil(T*& Object) {
    T* old = Object;
    Object = nullptr;
    delete old;
}

template <typename T>
void FreeAndNil(std::unique_ptr<T>& Object) {
    std::unique_ptr<T> old = std::move(Object);
    old.reset();
}

// Components that stream children of their own (not the root's owned components): the writer
// writes a parent's children after its properties, and the reader sets each child's parent once
// the child's properties are read. A class takes part by deriving from these beside TComponent.
using TGetChildProc = std::function<void(TComponent* Child)>;
class IStreamParent {
public:
    virtual ~IStreamParent() = default;
    // Hands each child to be written to Proc, in the order it is to be read back.
    virtual void GetChildren(const TGetChildProc& Proc, TComponent* Root) = 0;
};
class IStreamChild {
public:
    virtual ~IStreamChild() = default;
    virtual TComponent* GetParentComponent() const = 0;
    virtual void SetParentComponent(TComponent* Value) = 0;
};

}  // namespace classlib
