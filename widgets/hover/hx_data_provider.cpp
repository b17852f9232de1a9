// The data-provider framework's foundation.
#include "widgets/hover/hx_data_provider.h"

#include <algorithm>

#include "classlib/conversions.h"
#include "classlib/format.h"

namespace hover {

using namespace classlib;

const GUID IID_IHxDataProvider = {0x62A7A17D, 0x1E21, 0x427E, {0x86, 0x1D, 0xC9, 0x2F, 0xBB, 0x9B, 0x09, 0xA6}};
const GUID IID_IHxDataItems = {0x93747660, 0x24FB, 0x4294, {0xBF, 0x4E, 0xC7, 0xF8, 0x8E, 0xA2, 0x39, 0x83}};
const GUID IID_IHxDataItem = {0xC965CF64, 0xA1F2, 0x44A4, {0xB8, 0x56, 0x3A, 0x4E, 0xC6, 0xB6, 0x93, 0xE1}};
const GUID IID_IHxDataConsumer = {0xB2F18D03, 0xF615, 0x4AA2, {0xA5, 0x1A, 0x74, 0xD3, 0x30, 0xC0, 0x5C, 0x0E}};
const GUID IID_IHxDataContext = {0xF226D92A, 0x3493, 0x4EF8, {0x9C, 0xE6, 0x03, 0x73, 0x57, 0xEB, 0x0C, 0xEA}};
const GUID IID_IHxDataContexts = {0xBA5DC787, 0x29C6, 0x40FA, {0x95, 0x42, 0xF0, 0xA1, 0xE9, 0x2A, 0x2B, 0x30}};
const GUID IID_IHxDataContextManaged = {0x530367D8, 0x601C, 0x4E36, {0xB5, 0xF0, 0x35, 0x71, 0x60, 0x49, 0x7C, 0x50}};
const GUID IID_IHxDataItemText = {0x94FA56D9, 0x281B, 0x4252, {0xB4, 0x6D, 0x15, 0xE7, 0xBA, 0xDA, 0x70, 0xDA}};
const GUID IID_IHxDataItemImage = {0x6425D73A, 0x90CF, 0x42ED, {0x9A, 0xB2, 0x63, 0x12, 0x5A, 0x4C, 0x07, 0x74}};
const GUID IID_IHxDataItemsRenderer = {0x4EA490F4, 0x7CCF, 0x44A1, {0xAA, 0x26, 0x53, 0x20, 0xCD, 0xE9, 0xFA, 0xFC}};
const GUID IID_IHxDataItemRenderer = {0x9E877A0D, 0x01C2, 0x4204, {0xAA, 0x74, 0x84, 0xD6, 0x51, 0x6B, 0xBE, 0xB9}};
const GUID IID_IHxDataItemsManagement = {0x76611CC0, 0x9DCD, 0x4394, {0x8B, 0x6E, 0x1A, 0xDE, 0xF1, 0x94, 0x2B, 0xC3}};
const GUID IID_IHxDataItemsImages = {0x735755A6, 0xAD11, 0x460C, {0xB9, 0x85, 0x46, 0x46, 0x4D, 0x73, 0xED, 0xBC}};
const GUID IID_IHxDataItemBasicAction = {0x86859A20, 0x560D, 0x4E9A, {0xAC, 0x8B, 0x24, 0x57, 0x78, 0x94, 0x51, 0xB0}};
const GUID IID_IHxDataConsumerItemSelect = {0xF11554AE, 0x263D, 0x4C04, {0xBC, 0xDB, 0x79, 0xF0, 0x4D, 0xE8, 0x96, 0x09}};
const GUID IID_IHxDataConsumerViewList = {0xF3A78F68, 0xD998, 0x4877, {0x8C, 0x73, 0x1E, 0x0D, 0x29, 0x87, 0x80, 0x8D}};
const GUID IID_IHxDataConsumerServerNotify = {0xD1AAAFDF, 0xBEB1, 0x44DB, {0xB8, 0xD8, 0xA6, 0x00, 0x80, 0xCE, 0xF3, 0xC7}};
const GUID IID_IHxDataConsumerClientNotify = {0x1F01D2E5, 0x2ACB, 0x4B84, {0xAF, 0xE6, 0x67, 0xE5, 0x63, 0xFB, 0x47, 0x0B}};
const GUID IID_IHxDataProviderNotify = {0x5B9D1847, 0x6D35, 0x4D9C, {0x8B, 0xC2, 0x20, 0x54, 0x99, 0x7A, 0xB1, 0x20}};

// ---- Class references and their registry ---------------------------------------------------------

TPersistent* HxNotMadeByName(TPersistent* Owner) {
    (void)Owner;
    return nullptr;
}

namespace {

std::vector<THxClass>& ClassRegistry() {
    static std::vector<THxClass> registry;
    return registry;
}

std::vector<std::pair<THxClass, std::wstring>>& ClassGroups() {
    static std::vector<std::pair<THxClass, std::wstring>> groups;
    return groups;
}

}  // namespace

const THxClassRef& TExtensibleInterfacedPersistent::StaticClass() {
    static const THxClassRef ref(L"TExtensibleInterfacedPersistent", nullptr, &HxNotMadeByName);
    return ref;
}

const THxClassRef& TAggregatedPersistent::StaticClass() {
    static const THxClassRef ref(L"TAggregatedPersistent", nullptr, &HxNotMadeByName);
    return ref;
}

const THxClassRef& TAggregatedPersistentEx::StaticClass() {
    static const THxClassRef ref(L"TAggregatedPersistentEx", &TAggregatedPersistent::StaticClass(), &HxNotMadeByName);
    return ref;
}

void RegisterHxClass(THxClass Class) {
    if (!HxClassRegistered(Class)) ClassRegistry().push_back(Class);
}

void UnregisterHxClass(THxClass Class) {
    auto& r = ClassRegistry();
    r.erase(std::remove(r.begin(), r.end(), Class), r.end());
}

THxClass FindHxClass(const std::wstring& Name) {
    for (THxClass c : ClassRegistry())
        if (SameText(c->ClassName(), Name)) return c;
    return nullptr;
}

bool HxClassRegistered(THxClass Class) {
    const auto& r = ClassRegistry();
    return std::find(r.begin(), r.end(), Class) != r.end();
}

void GroupDescendentsWith(THxClass Class, const std::wstring& Group) {
    auto& groups = ClassGroups();
    groups.erase(std::remove_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == Class; }), groups.end());
    if (!Group.empty()) groups.emplace_back(Class, Group);
}

std::wstring HxClassGroup(THxClass Class) {
    // The nearest class upward that has a group gives it.
    for (THxClass c = Class; c != nullptr; c = c->ClassParent())
        for (const auto& g : ClassGroups())
            if (g.first == c) return g.second;
    return L"";
}

// ---- Extensible objects --------------------------------------------------------------------------

TExtensibleInterfacedPersistent::~TExtensibleInterfacedPersistent() { ClearImplementations(); }

int TExtensibleInterfacedPersistent::Release() {
    const int left = --refCount_;
    if (left == 0) delete this;
    return left;
}

void TExtensibleInterfacedPersistent::Free() {
    if (refCount_ != 0) throw EInvalidPointer(L"Invalid pointer operation");
    delete this;
}

void TExtensibleInterfacedPersistent::AfterConstruction() {
    // Counted once meanwhile, so that a passing reference taken while the parts are made cannot
    // free the object.
    InitImplementers();
    --refCount_;
}

void* TExtensibleInterfacedPersistent::QueryOwnRole(const GUID& Role) {
    (void)Role;
    return nullptr;
}

void* TExtensibleInterfacedPersistent::QueryRole(const GUID& Role) {
    if (void* own = QueryOwnRole(Role)) return own;
    for (auto it = impls_.rbegin(); it != impls_.rend(); ++it)
        if (void* r = (*it)->QueryOwnRole(Role)) return r;
    return nullptr;
}

TAggregatedPersistentEx* TExtensibleInterfacedPersistent::FindImplementation(THxClass Class) const {
    for (TAggregatedPersistentEx* impl : impls_)
        if (impl->ClassType()->InheritsFrom(Class)) return impl;
    return nullptr;
}

void TExtensibleInterfacedPersistent::AddImplementation(TAggregatedPersistentEx* Impl) {
    if (FindImplementation(Impl->ClassType()) != nullptr) throw EHXLException(L"Implementation of that class already exists");
    impls_.push_back(Impl);
}

void TExtensibleInterfacedPersistent::RemoveImplementation(TAggregatedPersistentEx* Impl) {
    auto it = std::find(impls_.begin(), impls_.end(), Impl);
    if (it != impls_.end()) impls_.erase(it);
}

void TExtensibleInterfacedPersistent::ClearImplementations() {
    // Each one leaves the list as it goes.
    while (!impls_.empty()) delete impls_.back();
}

bool TExtensibleInterfacedPersistent::HasStreamableImplementations() const {
    return std::any_of(impls_.begin(), impls_.end(), [](TAggregatedPersistentEx* i) { return HxClassRegistered(i->ClassType()); });
}

void TExtensibleInterfacedPersistent::DefineProperties(TFiler* Filer) {
    TPersistent::DefineProperties(Filer);
    Filer->DefineProperty(
        L"Extensions", [this](TReader* Reader) { ReadExtensions(Reader); },
        [this](TWriter* Writer) { WriteExtensions(Writer); }, HasStreamableImplementations());
}

void TExtensibleInterfacedPersistent::WriteExtensions(TWriter* Writer) {
    std::vector<TPersistent*> streamable;
    for (TAggregatedPersistentEx* impl : impls_)
        if (HxClassRegistered(impl->ClassType())) streamable.push_back(impl);
    WriteHxCollection(Writer, streamable);
}

void TExtensibleInterfacedPersistent::ReadExtensions(TReader* Reader) {
    ReadHxCollection(
        Reader, [](THxClass c) { return c->InheritsFrom(&TAggregatedPersistentEx::StaticClass()); },
        [this](THxClass c) -> TPersistent* {
            if (TAggregatedPersistentEx* existing = FindImplementation(c)) return existing;
            return c->Create(this);
        });
}

// ---- Implementation objects ----------------------------------------------------------------------

TAggregatedPersistentEx::TAggregatedPersistentEx(TExtensibleInterfacedPersistent* Owner)
    : TAggregatedPersistent(Owner), owner_(Owner) {}

TAggregatedPersistentEx::~TAggregatedPersistentEx() {
    if (joined_) owner_->RemoveImplementation(this);
}

void TAggregatedPersistentEx::AfterConstruction() {
    owner_->AddImplementation(this);
    joined_ = true;
}

// ---- Collections in streams ----------------------------------------------------------------------

void WriteHxCollection(TWriter* Writer, const std::vector<TPersistent*>& Objects) {
    if (Writer == nullptr) throw EHXLException(L"internal error");
    const std::wstring path = Writer->PropPath();
    TPersistent* ancestor = Writer->Ancestor();
    Writer->WriteValue(vaCollection);
    // Each object's properties are its own: no "Owner.Prop." prefix and no ancestor to compare to.
    Writer->SetPropPath(L"");
    Writer->SetAncestor(nullptr);
    try {
        for (TPersistent* object : Objects) {
            Writer->WriteListBegin();
            Writer->WriteStr(L"ClassName");
            Writer->WriteString(WideToAnsi(object->ClassName()));
            Writer->WriteProperties(object);
            Writer->WriteListEnd();
        }
    } catch (...) {
        Writer->SetPropPath(path);
        Writer->SetAncestor(ancestor);
        throw;
    }
    Writer->SetPropPath(path);
    Writer->SetAncestor(ancestor);
    Writer->WriteListEnd();
}

void ReadHxCollection(TReader* Reader, const std::function<bool(THxClass)>& Accepts,
                      const std::function<TPersistent*(THxClass)>& Make) {
    if (Reader->ReadValue() != vaCollection) throw EReadError(L"Expected collection");
    while (!Reader->EndOfList()) {
        // An entry may start with its order value.
        const TValueType next = Reader->NextValue();
        if (next == vaInt8 || next == vaInt16 || next == vaInt32) Reader->ReadInteger();
        Reader->ReadListBegin();
        if (!SameText(Reader->ReadStr(), L"ClassName")) throw EReadError(L"Missing ClassName property");
        const std::wstring name = Reader->ReadWideString();
        THxClass cls = FindHxClass(name);
        if (cls == nullptr) throw EClassNotFound(Format(L"Class %s not found", {name}));
        if (!Accepts(cls)) throw EReadError(L"Invalid class type");
        TPersistent* target = Make(cls);
        if (target == nullptr) throw EReadError(L"Invalid class type");
        Reader->ReadProperties(target);
    }
    Reader->ReadListEnd();
}

bool HxSameText(const std::string& A, const std::string& B) { return SameText(AnsiToWide(A), AnsiToWide(B)); }

// ---- Paths -------------------------------------------------------------------------------------

namespace {

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Walks Path from the list Start: the path is cut at its first separator, ".." goes to the list
// above, a leading separator to the root list, and each name is matched (without case) against
// the list's entries from the last to the first; the match's own list takes the rest. Containing
// gives the list an entry stands in, Owner the entry a list belongs to, Children an entry's list.
template <class List, class Entry, class Ops>
Entry* WalkPath(List* Start, const std::string& Path, const Ops& ops) {
    if (Start == nullptr || Path.empty()) return nullptr;
    List* list = Start;
    Entry* entry = ops.Owner(Start);
    size_t pos = 0;
    while (pos < Path.size()) {
        if (IsPathSeparator(Path[pos])) {
            List* root = list != nullptr ? list : ops.Containing(entry);
            while (root != nullptr && ops.Owner(root) != nullptr) root = ops.Containing(ops.Owner(root));
            list = root;
            entry = nullptr;
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < Path.size() && !IsPathSeparator(Path[end])) ++end;
        const std::string segment = Path.substr(pos, end - pos);
        pos = end < Path.size() ? end + 1 : end;
        if (segment == "..") {
            if (entry == nullptr) return nullptr;
            list = ops.Containing(entry);
            if (list == nullptr) return nullptr;
            entry = ops.Owner(list);
            continue;
        }
        if (list == nullptr) return nullptr;
        Entry* found = nullptr;
        for (int i = list->Count() - 1; i >= 0 && found == nullptr; --i) {
            Entry* candidate = list->Item(i);
            if (candidate != nullptr && HxSameText(ops.Key(candidate), segment)) found = candidate;
        }
        if (found == nullptr) return nullptr;
        entry = found;
        list = ops.Children(found);
    }
    return entry;
}

struct TItemPathOps {
    IHxDataItems* Containing(IHxDataItem* e) const { return e != nullptr ? e->Items() : nullptr; }
    IHxDataItem* Owner(IHxDataItems* l) const { return l->Parent(); }
    IHxDataItems* Children(IHxDataItem* e) const { return Supports<IHxDataItems>(e); }
    std::string Key(IHxDataItem* e) const { return e->ID(); }
};

struct TContextPathOps {
    IHxDataContexts* Containing(IHxDataContext* e) const { return e != nullptr ? e->Contexts() : nullptr; }
    IHxDataContext* Owner(IHxDataContexts* l) const { return l->Ancestor(); }
    IHxDataContexts* Children(IHxDataContext* e) const { return e->SubContexts(); }
    std::string Key(IHxDataContext* e) const { return e->Name(); }
};

}  // namespace

IHxDataItem* FindItemByPath(IHxDataItems* Items, const std::string& Path) {
    return WalkPath<IHxDataItems, IHxDataItem>(Items, Path, TItemPathOps{});
}

IHxDataContext* FindContextByPath(IHxDataContexts* Contexts, const std::string& Path) {
    return WalkPath<IHxDataContexts, IHxDataContext>(Contexts, Path, TContextPathOps{});
}

}  // namespace hover
