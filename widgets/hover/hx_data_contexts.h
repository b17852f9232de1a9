// A data provider's contexts: named views of its data kept in a context list (contexts may hold
// contexts of their own), plain, managed (with an item tree of their own) and fixed (never
// deleted) ones, with the rules on their names.
#pragma once

#include <string>
#include <vector>

#include "widgets/hover/hx_data_items.h"

namespace hover {

class THxBaseDataContexts;
class THxDataContexts;

// A context joins its list when it is made (HxNew): without a list it raises EHXLDataContexts
// "Cannot create a context without a context list owner", with a name the list already holds
// "A context with that name already exists".
class THxBaseDataContext : public TExtensibleInterfacedPersistent, public IHxDataContext {
public:
    HX_CLASS(THxBaseDataContext)
    explicit THxBaseDataContext(THxBaseDataContexts* Owner);
    ~THxBaseDataContext() override;
    HX_FORWARD_UNKNOWN(TExtensibleInterfacedPersistent)
    IHxDataContexts* Contexts() override;
    THxBaseDataContexts* OwnerList() const { return owner_; }
    bool IsDeletable() override { return true; }
    IHxDataContexts* SubContexts() override;
    // The list of contexts inside this one, made on first use.
    THxDataContexts* MakeSubContexts();

protected:
    void* QueryOwnRole(const GUID& Role) override;
    // Joins the list (the name is known by now).
    void InitImplementers() override;

private:
    friend class THxBaseDataContexts;
    THxBaseDataContexts* owner_;
    THxRef<THxDataContexts> sub_;
};

class THxDataContext : public THxBaseDataContext {
public:
    HX_CLASS(THxDataContext)
    THxDataContext(THxBaseDataContexts* Owner, std::string Name) : THxBaseDataContext(Owner), name_(std::move(Name)) {}
    explicit THxDataContext(THxBaseDataContexts* Owner) : THxDataContext(Owner, std::string()) {}
    std::string Name() override { return name_; }
    // A name another context of the list has raises "A context with that name already exists".
    void SetName(const std::string& Value);

private:
    std::string name_;
};

// A context with an item tree of its own, which the provider shows while it is selected.
class THxManagedDataContext : public THxDataContext, public IHxDataContextManaged {
public:
    HX_CLASS(THxManagedDataContext)
    using THxDataContext::THxDataContext;
    HX_FORWARD_UNKNOWN(THxDataContext)
    IHxDataItems* Items() override;
    THxDataItemsList* ItemList() const { return items_.Get(); }

protected:
    void* QueryOwnRole(const GUID& Role) override;
    void InitImplementers() override;

private:
    THxRef<THxDataItemsList> items_;
};

// A context that stays: deleting it raises EHXLDataContexts "Context cannot be deleted", and
// clearing its list keeps it.
class THxFixedDataContext : public THxDataContext {
public:
    HX_CLASS(THxFixedDataContext)
    using THxDataContext::THxDataContext;
    bool IsDeletable() override { return false; }
};

// A list of contexts; it holds one reference to each. A context leaving it is orphaned (its
// list is nullptr) and lives on while others hold it; the provider hears of it before and after.
class THxBaseDataContexts : public TExtensibleInterfacedPersistent, public IHxDataContexts {
public:
    HX_CLASS(THxBaseDataContexts)
    explicit THxBaseDataContexts(IHxDataProvider* Provider = nullptr, IHxDataContext* Ancestor = nullptr)
        : provider_(Provider), ancestor_(Ancestor) {}
    HX_FORWARD_UNKNOWN(TExtensibleInterfacedPersistent)
    // The provider it was given, or its ancestor's.
    IHxDataProvider* Provider() override;
    IHxDataContext* Ancestor() override { return ancestor_; }
    int Count() override { return static_cast<int>(contexts_.size()); }
    IHxDataContext* Item(int Index) override;
    THxBaseDataContext* Contexts(int Index) const;
    IHxDataContext* FindByName(const std::string& Name) override;
    void Delete(int Index) override;
    void Remove(IHxDataContext* Context) override;
    void Clear() override;

protected:
    ~THxBaseDataContexts() override;
    void* QueryOwnRole(const GUID& Role) override;

private:
    friend class THxBaseDataContext;
    void Join(THxBaseDataContext* Context);
    void Leave(int Index);
    IHxDataProvider* provider_;
    IHxDataContext* ancestor_;
    std::vector<THxBaseDataContext*> contexts_;
};

class THxDataContexts : public THxBaseDataContexts {
public:
    HX_CLASS(THxDataContexts)
    using THxBaseDataContexts::THxBaseDataContexts;
};

}  // namespace hover
