#include "classlib/ansi_strings.h"

#include <windows.h>

#include <utility>

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

namespace {

// Closes an update on every path, exceptions included.
class UpdateScope {
public:
    explicit UpdateScope(TStrings& strings) : strings_(strings) { strings_.BeginUpdate(); }
    ~UpdateScope() { strings_.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    TStrings& strings_;
};

}  // namespace

// --- TStrings ----------------------------------------------------------------

void TStrings::Error(const wchar_t* Msg, int Data) const { throw EStringListError(Format(Msg, {Data})); }

void TStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void TStrings::EndUpdate() {
    --updateCount_;
    if (updateCount_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Assign(TPersistent* Source) {
    if (Source == this) return;  // Clear would empty the source before it is copied
    if (auto* source = dynamic_cast<TStrings*>(Source)) {
        UpdateScope update(*this);
        Clear();
        nameValueSeparator_ = source->nameValueSeparator_;
        quoteChar_ = source->quoteChar_;
        delimiter_ = source->delimiter_;
        AddStrings(source);
        return;
    }
    TPersistent::Assign(Source);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::Put(int Index, const std::string& S) {
    TObject* object = GetObject(Index);
    Delete(Index);
    InsertObject(Index, S, object);
}

void TStrings::PutObject(int, TObject*) {}

std::string TStrings::GetTextStr() const {
    std::string result;
    int count = GetCount();
    for (int i = 0; i < count; ++i) {
        result += Get(i);
        result += "\r\n";
    }
    return result;
}

void TStrings::SetTextStr(const std::string& Value) {
    UpdateScope update(*this);
    Clear();
    size_t p = 0;
    size_t end = Value.find('\0');
    if (end == std::string::npos) end = Value.size();
    while (p < end) {
        size_t start = p;
        while (p < end && Value[p] != '\r' && Value[p] != '\n') ++p;
        Add(Value.substr(start, p - start));
        if (p < end && Value[p] == '\r') ++p;
        if (p < end && Value[p] == '\n') ++p;
    }
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, S1.data(), static_cast<int>(S1.size()), S2.data(),
                          static_cast<int>(S2.size())) -
           CSTR_EQUAL;
}

int TStrings::Add(const std::string& S) {
    int index = GetCount();
    Insert(index, S);
    return index;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
    int index = Add(S);
    PutObject(index, AObject);
    return index;
}

void TStrings::AddStrings(TStrings* Strings) {
    UpdateScope update(*this);
    int count = Strings->GetCount();
    for (int i = 0; i < count; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
    Insert(Index, S);
    PutObject(Index, AObject);
}

void TStrings::Exchange(int Index1, int Index2) {
    UpdateScope update(*this);
    std::string s = Get(Index1);
    TObject* o = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s);
    PutObject(Index2, o);
}

int TStrings::IndexOf(const std::string& S) const {
    int count = GetCount();
    for (int i = 0; i < count; ++i)
        if (CompareStrings(Get(i), S) == 0) return i;
    return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
    int count = GetCount();
    for (int i = 0; i < count; ++i) {
        std::string s = Get(i);
        size_t p = s.find(nameValueSeparator_);
        if (p != std::string::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
    }
    return -1;
}

int TStrings::IndexOfObject(TObject* AObject) const {
    int count = GetCount();
    for (int i = 0; i < count; ++i)
        if (GetObject(i) == AObject) return i;
    return -1;
}

std::string TStrings::Names(int Index) const {
    std::string s = Get(Index);
    size_t p = s.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::Values(const std::string& Name) const {
    int i = IndexOfName(Name);
    if (i < 0) return {};
    std::string s = Get(i);
    return s.substr(s.find(nameValueSeparator_) + 1);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
    int i = IndexOfName(Name);
    if (!Value.empty()) {
        if (i < 0) i = Add(std::string());
        Put(i, Name + nameValueSeparator_ + Value);
    } else if (i >= 0) {
        Delete(i);
    }
}

// --- TStringList -------------------------------------------------------------

TStringList::~TStringList() {
    // No notification while the list goes away.
    OnChange = nullptr;
    OnChanging = nullptr;
}

void TStringList::CheckIndex(int Index, int Limit) const {
    if (Index < 0 || Index >= Limit) Error(L"List index out of bounds (%d)", Index);
}

void TStringList::Changed() {
    if (!updating_ && OnChange) OnChange(this);
}

void TStringList::Changing() {
    if (!updating_ && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
    // Changing before the flag rises and Changed after it falls: one pair around a batch.
    if (Updating) {
        Changing();
        updating_ = true;
    } else {
        updating_ = false;
        Changed();
    }
}

std::string TStringList::Get(int Index) const {
    CheckIndex(Index, GetCount());
    return items_[static_cast<size_t>(Index)].S;
}

TObject* TStringList::GetObject(int Index) const {
    CheckIndex(Index, GetCount());
    return items_[static_cast<size_t>(Index)].Object;
}

void TStringList::Put(int Index, const std::string& S) {
    CheckIndex(Index, GetCount());
    Changing();
    items_[static_cast<size_t>(Index)].S = S;
    Changed();
}

void TStringList::PutObject(int Index, TObject* AObject) {
    CheckIndex(Index, GetCount());
    Changing();
    items_[static_cast<size_t>(Index)].Object = AObject;
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    items_.clear();
    Changed();
}

void TStringList::Delete(int Index) {
    CheckIndex(Index, GetCount());
    Changing();
    items_.erase(items_.begin() + Index);
    Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
    CheckIndex(Index, GetCount() + 1);
    Changing();
    items_.insert(items_.begin() + Index, TStringItem{S, AObject});
    Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1, GetCount());
    CheckIndex(Index2, GetCount());
    Changing();
    std::swap(items_[static_cast<size_t>(Index1)], items_[static_cast<size_t>(Index2)]);
    Changed();
}

}  // namespace classlib
