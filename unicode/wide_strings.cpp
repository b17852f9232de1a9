#include "unicode/wide_strings.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_files.h"
#include "unicode/wide_properties.h"

namespace unicode {

namespace {

const char kListIndexError[] = "List index out of bounds (%d)";
const char kDuplicateString[] = "String list does not allow duplicates";
const char kSortedListError[] = "Operation not allowed on sorted list";
const char kListCapacityError[] = "List capacity out of bounds (%d)";

constexpr wchar_t kLineSeparator = 0x2028;

// Stream transfers move at most this many bytes per call (the stream counts are 32-bit).
constexpr std::size_t kChunk = 1u << 30;

// Closes an update on every path, exceptions included (wide and ANSI lists alike).
template <typename List>
class UpdateScope {
public:
    explicit UpdateScope(List& list) : list_(list) { list_.BeginUpdate(); }
    ~UpdateScope() { list_.EndUpdate(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    List& list_;
};

std::int64_t RemainingBytes(classlib::TStream* Stream) {
    std::int64_t n = Stream->Size() - Stream->Position();
    return n > 0 ? n : 0;
}

void ReadBytes(classlib::TStream* Stream, void* Buffer, std::size_t Count) {
    auto* p = static_cast<char*>(Buffer);
    while (Count > 0) {
        std::size_t n = std::min(Count, kChunk);
        Stream->ReadBuffer(p, static_cast<std::int32_t>(n));
        p += n;
        Count -= n;
    }
}

void WriteBytes(classlib::TStream* Stream, const void* Buffer, std::size_t Count) {
    const auto* p = static_cast<const char*>(Buffer);
    while (Count > 0) {
        std::size_t n = std::min(Count, kChunk);
        Stream->WriteBuffer(p, static_cast<std::int32_t>(n));
        p += n;
        Count -= n;
    }
}

std::string ReadRestBytes(classlib::TStream* Stream) {
    std::string bytes(static_cast<std::size_t>(RemainingBytes(Stream)), '\0');
    ReadBytes(Stream, bytes.data(), bytes.size());
    return bytes;
}

// Wide and ANSI list characters cross over by their byte value.
wchar_t WidenChar(char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); }
char LowByte(wchar_t c) { return static_cast<char>(static_cast<unsigned char>(c & 0xFF)); }

}  // namespace

const TResStringRec SListIndexError = {nullptr, reinterpret_cast<std::uintptr_t>(kListIndexError)};
const TResStringRec SDuplicateString = {nullptr, reinterpret_cast<std::uintptr_t>(kDuplicateString)};
const TResStringRec SSortedListError = {nullptr, reinterpret_cast<std::uintptr_t>(kSortedListError)};
const TResStringRec SListCapacityError = {nullptr, reinterpret_cast<std::uintptr_t>(kListCapacityError)};

TUcCharSet DetectCharSet(classlib::TStream* Stream) {
    unsigned char b[3] = {0, 0, 0};
    if (RemainingBytes(Stream) >= 2) {
        std::int32_t n = Stream->Read(b, 2);
        if (n == 2 && b[0] == 0xFF && b[1] == 0xFE) return TUcCharSet::csUnicode;
        if (n == 2 && b[0] == 0xFE && b[1] == 0xFF) return TUcCharSet::csUnicodeSwapped;
        Stream->Seek(-n, classlib::TSeekOrigin::soCurrent);
    }
    if (RemainingBytes(Stream) >= 3) {
        std::int32_t n = Stream->Read(b, 3);
        if (n == 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TUcCharSet::csUtf8;
        Stream->Seek(-n, classlib::TSeekOrigin::soCurrent);
    }
    return TUcCharSet::csAnsi;
}

// --- TWideStrings ------------------------------------------------------------

TWideStrings::~TWideStrings() { SetStringsAdapter(nullptr); }

void TWideStrings::Error(const TResStringRec& Msg, int Data) const {
    throw classlib::EStringListError(classlib::Format(WideLoadResString(&Msg), {Data}));
}

wchar_t TWideStrings::Delimiter() const {
    if ((defined_ & sdDelimiter) == 0) {
        delimiter_ = L',';
        defined_ |= sdDelimiter;
    }
    return delimiter_;
}

void TWideStrings::SetDelimiter(wchar_t Value) {
    if (delimiter_ != Value || (defined_ & sdDelimiter) == 0) {
        delimiter_ = Value;
        defined_ |= sdDelimiter;
    }
}

wchar_t TWideStrings::QuoteChar() const {
    if ((defined_ & sdQuoteChar) == 0) {
        quoteChar_ = L'"';
        defined_ |= sdQuoteChar;
    }
    return quoteChar_;
}

void TWideStrings::SetQuoteChar(wchar_t Value) {
    if (quoteChar_ != Value || (defined_ & sdQuoteChar) == 0) {
        quoteChar_ = Value;
        defined_ |= sdQuoteChar;
    }
}

wchar_t TWideStrings::NameValueSeparator() const {
    if ((defined_ & sdNameValueSeparator) == 0) {
        nameValueSeparator_ = L'=';
        defined_ |= sdNameValueSeparator;
    }
    return nameValueSeparator_;
}

void TWideStrings::SetNameValueSeparator(wchar_t Value) {
    if (nameValueSeparator_ != Value || (defined_ & sdNameValueSeparator) == 0) {
        nameValueSeparator_ = Value;
        defined_ |= sdNameValueSeparator;
    }
}

void TWideStrings::SetStringsAdapter(std::shared_ptr<IWideStringsAdapter> Value) {
    if (adapter_) adapter_->ReleaseStrings();
    adapter_ = std::move(Value);
    if (adapter_) adapter_->ReferenceStrings(this);
}

void TWideStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void TWideStrings::EndUpdate() {
    --updateCount_;
    if (updateCount_ == 0) SetUpdateState(false);
}

void TWideStrings::SetUpdateState(bool) {}

bool TWideStrings::Equals(const TWideStrings* Strings) const {
    int count = GetCount();
    if (Strings == nullptr || Strings->GetCount() != count) return false;
    for (int i = 0; i < count; ++i)
        if (Get(i) != Strings->Get(i)) return false;
    return true;
}

std::wstring TWideStrings::Names(int Index) const {
    std::wstring s = Get(Index);
    std::size_t p = s.find(NameValueSeparator());
    return p == std::wstring::npos ? std::wstring() : s.substr(0, p);
}

std::wstring TWideStrings::ValueFromIndex(int Index) const {
    if (Index < 0) return {};
    std::wstring s = Get(Index);
    // A line without separator has no value (not the line minus its first character).
    std::size_t p = s.find(NameValueSeparator());
    return p == std::wstring::npos ? std::wstring() : s.substr(p + 1);
}

void TWideStrings::SetValueFromIndex(int Index, const std::wstring& Value) {
    if (!Value.empty()) {
        if (Index < 0) Index = Add(std::wstring());
        Put(Index, Names(Index) + NameValueSeparator() + Value);
    } else if (Index >= 0) {
        Delete(Index);
    }
}

void TWideStrings::Assign(classlib::TPersistent* Source) {
    if (Source == this) return;  // Clear would empty the source before it is copied
    if (auto* wide = dynamic_cast<TWideStrings*>(Source)) {
        UpdateScope<TWideStrings> update(*this);
        Clear();
        defined_ = wide->defined_;
        delimiter_ = wide->delimiter_;
        quoteChar_ = wide->quoteChar_;
        nameValueSeparator_ = wide->nameValueSeparator_;
        AddStrings(wide);
        return;
    }
    if (auto* ansi = dynamic_cast<classlib::TStrings*>(Source)) {
        auto* view = dynamic_cast<TAnsiStringsForWideStringsAdapter*>(ansi);
        if (view != nullptr && view->WideStrings() == this) return;  // this list's own lines
        UpdateScope<TWideStrings> update(*this);
        Clear();
        SetNameValueSeparator(WidenChar(ansi->NameValueSeparator()));
        SetQuoteChar(WidenChar(ansi->QuoteChar()));
        SetDelimiter(WidenChar(ansi->Delimiter()));
        AddStrings(ansi);
        return;
    }
    TPersistent::Assign(Source);
}

void TWideStrings::AssignTo(classlib::TPersistent* Dest) {
    if (auto* wide = dynamic_cast<TWideStrings*>(Dest)) {
        wide->Assign(this);
        return;
    }
    if (auto* ansi = dynamic_cast<classlib::TStrings*>(Dest)) {
        UpdateScope<classlib::TStrings> update(*ansi);
        auto* view = dynamic_cast<TAnsiStringsForWideStringsAdapter*>(ansi);
        // The view of this list already shows these lines; clearing it would empty this list.
        bool ownView = view != nullptr && view->WideStrings() == this;
        if (!ownView) ansi->Clear();
        ansi->SetNameValueSeparator(LowByte(NameValueSeparator()));
        ansi->SetQuoteChar(LowByte(QuoteChar()));
        ansi->SetDelimiter(LowByte(Delimiter()));
        if (ownView) return;
        unsigned codePage = DefaultSystemCodePage();
        int count = GetCount();
        for (int i = 0; i < count; ++i) ansi->AddObject(WideStringToStringEx(Get(i), codePage), GetObject(i));
        return;
    }
    TPersistent::AssignTo(Dest);
}

int TWideStrings::GetCapacity() const { return GetCount(); }

classlib::TObject* TWideStrings::GetObject(int) const { return nullptr; }

std::wstring TWideStrings::GetTextStr() const {
    int count = GetCount();
    std::vector<std::wstring> lines;
    lines.reserve(static_cast<std::size_t>(count));
    std::size_t size = 0;
    for (int i = 0; i < count; ++i) {
        lines.push_back(Get(i));
        size += lines.back().size() + 2;
    }
    std::wstring result;
    result.reserve(size);
    for (const std::wstring& line : lines) {
        result += line;
        result += L"\r\n";
    }
    return result;
}

void TWideStrings::Put(int Index, const std::wstring& S) {
    classlib::TObject* object = GetObject(Index);
    Delete(Index);
    InsertObject(Index, S, object);
}

void TWideStrings::PutObject(int, classlib::TObject*) {}

void TWideStrings::SetCapacity(int) {}

void TWideStrings::SetTextStr(const std::wstring& Value) {
    UpdateScope<TWideStrings> update(*this);
    Clear();
    const wchar_t* p = Value.c_str();  // the text ends at its first U+0000
    while (*p != 0) {
        const wchar_t* start = p;
        while (*p != 0 && *p != L'\n' && *p != L'\r' && *p != kLineSeparator) ++p;
        Add(std::wstring(start, p));
        if (*p == L'\r') ++p;
        if (*p == L'\n') ++p;
        if (*p == kLineSeparator) ++p;
    }
}

int TWideStrings::CompareStrings(const std::wstring& S1, const std::wstring& S2) const {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, S1.data(), static_cast<int>(S1.size()), S2.data(),
                          static_cast<int>(S2.size())) -
           CSTR_EQUAL;
}

int TWideStrings::Add(const std::wstring& S) {
    int index = GetCount();
    Insert(index, S);
    return index;
}

int TWideStrings::AddObject(const std::wstring& S, classlib::TObject* AObject) {
    int index = Add(S);
    PutObject(index, AObject);
    return index;
}

void TWideStrings::AddStrings(classlib::TStrings* Strings) {
    UpdateScope<TWideStrings> update(*this);
    unsigned codePage = DefaultSystemCodePage();
    int count = Strings->GetCount();
    for (int i = 0; i < count; ++i) AddObject(StringToWideStringEx(Strings->Get(i), codePage), Strings->GetObject(i));
}

void TWideStrings::AddStrings(TWideStrings* Strings) {
    UpdateScope<TWideStrings> update(*this);
    int count = Strings->GetCount();
    for (int i = 0; i < count; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
}

void TWideStrings::Exchange(int Index1, int Index2) {
    UpdateScope<TWideStrings> update(*this);
    std::wstring s = Get(Index1);
    classlib::TObject* object = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s);
    PutObject(Index2, object);
}

wchar_t* TWideStrings::GetText() const { return WStrNew(GetTextStr().c_str()); }

int TWideStrings::IndexOf(const std::wstring& S) const {
    int count = GetCount();
    for (int i = 0; i < count; ++i)
        if (CompareStrings(Get(i), S) == 0) return i;
    return -1;
}

int TWideStrings::IndexOfName(const std::wstring& Name) const {
    wchar_t separator = NameValueSeparator();
    int count = GetCount();
    for (int i = 0; i < count; ++i) {
        std::wstring s = Get(i);
        std::size_t p = s.find(separator);
        if (p != std::wstring::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
    }
    return -1;
}

int TWideStrings::IndexOfObject(classlib::TObject* AObject) const {
    int count = GetCount();
    for (int i = 0; i < count; ++i)
        if (GetObject(i) == AObject) return i;
    return -1;
}

void TWideStrings::InsertObject(int Index, const std::wstring& S, classlib::TObject* AObject) {
    Insert(Index, S);
    PutObject(Index, AObject);
}

void TWideStrings::LoadFromFile(const std::wstring& FileName) {
    TUcFileStream stream(FileName, classlib::fmOpenRead | classlib::fmShareDenyWrite);
    LoadFromStream(&stream);
}

std::wstring TWideStrings::ReadUtf16(classlib::TStream* Stream, bool Swapped) {
    std::int64_t size = RemainingBytes(Stream);
    if (size < 2) return {};
    std::wstring text(static_cast<std::size_t>(size / 2), L'\0');  // an odd last byte is left unread
    ReadBytes(Stream, text.data(), text.size() * sizeof(wchar_t));
    if (Swapped) StrSwapByteOrder(text.data());
    return text;
}

void TWideStrings::LoadFromStream(classlib::TStream* Stream) {
    UpdateScope<TWideStrings> update(*this);
    SetTextStr(ReadUtf16(Stream, false));
}

void TWideStrings::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    // Checked before Delete: a target refused afterwards would lose the line.
    if (NewIndex < 0 || NewIndex >= GetCount()) Error(SListIndexError, NewIndex);
    UpdateScope<TWideStrings> update(*this);
    std::wstring s = Get(CurIndex);
    classlib::TObject* object = GetObject(CurIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, object);
}

void TWideStrings::SaveToFile(const std::wstring& FileName) {
    TUcFileStream stream(FileName, classlib::fmCreate);
    SaveToStream(&stream);
}

void TWideStrings::SaveToStream(classlib::TStream* Stream) {
    std::wstring text = GetTextStr();
    WriteBytes(Stream, text.data(), text.size() * sizeof(wchar_t));
}

void TWideStrings::SetText(const wchar_t* P) { SetTextStr(P != nullptr ? P : L""); }

// --- TAnsiStringsForWideStringsAdapter ----------------------------------------

TAnsiStringsForWideStringsAdapter::TAnsiStringsForWideStringsAdapter(TWideStrings* WideStrings,
                                                                     unsigned AdapterCodePage)
    : wideStrings_(WideStrings), adapterCodePage_(AdapterCodePage) {}

unsigned TAnsiStringsForWideStringsAdapter::AdapterCodePage() const {
    return adapterCodePage_ != 0 ? adapterCodePage_ : DefaultSystemCodePage();
}

void TAnsiStringsForWideStringsAdapter::Assign(classlib::TPersistent* Source) {
    if (Source == this || Source == wideStrings_) return;  // Clear would empty the source first
    TAnsiStrings::Assign(Source);
}

std::string TAnsiStringsForWideStringsAdapter::Get(int Index) const {
    return WideStringToStringEx(wideStrings_->Get(Index), AdapterCodePage());
}

int TAnsiStringsForWideStringsAdapter::GetCount() const { return wideStrings_->GetCount(); }

classlib::TObject* TAnsiStringsForWideStringsAdapter::GetObject(int Index) const {
    return wideStrings_->GetObject(Index);
}

int TAnsiStringsForWideStringsAdapter::Add(const std::string& S) {
    return wideStrings_->Add(StringToWideStringEx(S, AdapterCodePage()));
}

int TAnsiStringsForWideStringsAdapter::AddObject(const std::string& S, classlib::TObject* AObject) {
    return wideStrings_->AddObject(StringToWideStringEx(S, AdapterCodePage()), AObject);
}

void TAnsiStringsForWideStringsAdapter::Put(int Index, const std::string& S) {
    wideStrings_->Put(Index, StringToWideStringEx(S, AdapterCodePage()));
}

void TAnsiStringsForWideStringsAdapter::PutObject(int Index, classlib::TObject* AObject) {
    wideStrings_->PutObject(Index, AObject);
}

void TAnsiStringsForWideStringsAdapter::SetUpdateState(bool Updating) {
    // Through the wide list's own update count, so that the wide list's nested updates (SetTextStr,
    // AddStrings) stay inside this batch and it notifies once before and once after.
    if (Updating)
        wideStrings_->BeginUpdate();
    else
        wideStrings_->EndUpdate();
}

void TAnsiStringsForWideStringsAdapter::Clear() { wideStrings_->Clear(); }

void TAnsiStringsForWideStringsAdapter::Delete(int Index) { wideStrings_->Delete(Index); }

void TAnsiStringsForWideStringsAdapter::Insert(int Index, const std::string& S) {
    wideStrings_->Insert(Index, StringToWideStringEx(S, AdapterCodePage()));
}

void TAnsiStringsForWideStringsAdapter::LoadFromStreamEx(classlib::TStream* Stream, unsigned CodePage) {
    UpdateScope<classlib::TStrings> update(*this);
    wideStrings_->SetTextStr(StringToWideStringEx(ReadRestBytes(Stream), CodePage));
}

void TAnsiStringsForWideStringsAdapter::SaveToStreamEx(classlib::TStream* Stream, unsigned CodePage) {
    std::string text = WideStringToStringEx(wideStrings_->GetTextStr(), CodePage);
    WriteBytes(Stream, text.data(), text.size());
}

// --- TUcStrings --------------------------------------------------------------

TUcStrings::TUcStrings() : ansiStrings_(std::make_unique<TAnsiStringsForWideStringsAdapter>(this, 0)) {}

TUcStrings::~TUcStrings() = default;

void TUcStrings::SetAnsiStrings(classlib::TStrings* Value) { ansiStrings_->Assign(Value); }

void TUcStrings::LoadFromFile(const std::wstring& FileName) {
    TUcFileStream stream(FileName, classlib::fmOpenRead | classlib::fmShareDenyWrite);
    DetectCharSet(&stream);
    stream.SetPosition(0);
    LoadFromStream(&stream);
}

void TUcStrings::LoadFromStream(classlib::TStream* Stream) { LoadFromStreamEx(Stream, true); }

void TUcStrings::SaveToFile(const std::wstring& FileName) {
    TUcFileStream stream(FileName, classlib::fmCreate);
    SaveToStream(&stream);
}

void TUcStrings::SaveToStream(classlib::TStream* Stream) { SaveToStreamEx(Stream, true); }

void TUcStrings::LoadFromStreamEx(classlib::TStream* Stream, bool DetectCharSet) {
    UpdateScope<TWideStrings> update(*this);
    TUcCharSet charSet = DetectCharSet ? unicode::DetectCharSet(Stream) : TUcCharSet::csUnicode;
    std::wstring text;
    switch (charSet) {
        case TUcCharSet::csUnicode:
        case TUcCharSet::csUnicodeSwapped:
            text = ReadUtf16(Stream, charSet == TUcCharSet::csUnicodeSwapped);
            break;
        case TUcCharSet::csUtf8:
            text = UTF8DecodeWide(ReadRestBytes(Stream));
            break;
        case TUcCharSet::csAnsi:
            text = StringToWideStringEx(ReadRestBytes(Stream), DefaultSystemCodePage());
            break;
    }
    SetTextStr(text);
}

void TUcStrings::SaveToStreamEx(classlib::TStream* Stream, bool WithBOM) {
    if (WithBOM) {
        static const unsigned char bom[2] = {0xFF, 0xFE};
        Stream->WriteBuffer(bom, 2);
    }
    TWideStrings::SaveToStream(Stream);
}

// --- TUcStringList -----------------------------------------------------------

TUcStringList::~TUcStringList() {
    // No notification while the list goes away.
    OnChange = nullptr;
    OnChanging = nullptr;
    // The adapter lets go first, while the items (and this class's operations) are still there
    // for it to read.
    SetStringsAdapter(nullptr);
}

void TUcStringList::CheckIndex(int Index, int Limit) const {
    if (Index < 0 || Index >= Limit) Error(SListIndexError, Index);
}

void TUcStringList::Changed() {
    if (!updating_ && OnChange) OnChange(this);
}

void TUcStringList::Changing() {
    if (!updating_ && OnChanging) OnChanging(this);
}

void TUcStringList::SetUpdateState(bool Updating) {
    // Changing before the flag rises, Changed after it falls: one pair around a batch.
    if (Updating) {
        Changing();
        updating_ = true;
    } else {
        updating_ = false;
        Changed();
    }
}

void TUcStringList::SetSorted(bool Value) {
    if (sorted_ == Value) return;
    if (Value) Sort();
    sorted_ = Value;
}

void TUcStringList::SetCaseSensitive(bool Value) {
    if (caseSensitive_ == Value) return;
    caseSensitive_ = Value;
    // Find relies on the order matching the comparison.
    if (sorted_) {
        sorted_ = false;
        Sort();
        sorted_ = true;
    }
}

std::wstring TUcStringList::Get(int Index) const {
    CheckIndex(Index, GetCount());
    return items_[static_cast<std::size_t>(Index)].FString;
}

classlib::TObject* TUcStringList::GetObject(int Index) const {
    CheckIndex(Index, GetCount());
    return items_[static_cast<std::size_t>(Index)].FObject;
}

void TUcStringList::Put(int Index, const std::wstring& S) {
    if (sorted_) Error(SSortedListError, 0);
    CheckIndex(Index, GetCount());
    Changing();
    items_[static_cast<std::size_t>(Index)].FString = S;
    Changed();
}

void TUcStringList::PutObject(int Index, classlib::TObject* AObject) {
    CheckIndex(Index, GetCount());
    Changing();
    items_[static_cast<std::size_t>(Index)].FObject = AObject;
    Changed();
}

void TUcStringList::SetCapacity(int NewCapacity) {
    // Below Count the array would drop lines.
    if (NewCapacity < GetCount()) Error(SListCapacityError, NewCapacity);
    if (static_cast<std::size_t>(NewCapacity) < items_.capacity()) {
        std::vector<TWideStringItem> smaller;
        smaller.reserve(static_cast<std::size_t>(NewCapacity));
        std::move(items_.begin(), items_.end(), std::back_inserter(smaller));
        items_.swap(smaller);
    } else {
        items_.reserve(static_cast<std::size_t>(NewCapacity));
    }
    capacity_ = NewCapacity;
}

void TUcStringList::Grow() {
    int delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
    SetCapacity(capacity_ + delta);
}

int TUcStringList::CompareStrings(const std::wstring& S1, const std::wstring& S2) const {
    return CompareStringW(LOCALE_USER_DEFAULT, caseSensitive_ ? 0 : NORM_IGNORECASE, S1.data(),
                          static_cast<int>(S1.size()), S2.data(), static_cast<int>(S2.size())) -
           CSTR_EQUAL;
}

int TUcStringList::Add(const std::wstring& S) { return AddObject(S, nullptr); }

int TUcStringList::AddObject(const std::wstring& S, classlib::TObject* AObject) {
    int index = GetCount();
    if (sorted_ && Find(S, index)) {
        if (duplicates_ == dupIgnore) return index;
        if (duplicates_ == dupError) Error(SDuplicateString, 0);
    }
    InsertItem(index, S, AObject);
    return index;
}

void TUcStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    std::vector<TWideStringItem>().swap(items_);
    capacity_ = 0;
    Changed();
}

void TUcStringList::Delete(int Index) {
    CheckIndex(Index, GetCount());
    Changing();
    items_.erase(items_.begin() + Index);
    Changed();
}

void TUcStringList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1, GetCount());
    CheckIndex(Index2, GetCount());
    Changing();
    std::swap(items_[static_cast<std::size_t>(Index1)], items_[static_cast<std::size_t>(Index2)]);
    Changed();
}

int TUcStringList::IndexOf(const std::wstring& S) const {
    if (!sorted_) return TUcStrings::IndexOf(S);
    int index = -1;
    return Find(S, index) ? index : -1;
}

int TUcStringList::IndexOfName(const std::wstring& Name) const {
    if (!sorted_) return TUcStrings::IndexOfName(Name);
    std::wstring s = Name + NameValueSeparator();
    int index = -1;
    Find(s, index);
    if (index >= 0 && index < GetCount() &&
        CompareStrings(items_[static_cast<std::size_t>(index)].FString.substr(0, s.size()), s) == 0)
        return index;
    return -1;
}

void TUcStringList::Insert(int Index, const std::wstring& S) { InsertObject(Index, S, nullptr); }

void TUcStringList::InsertObject(int Index, const std::wstring& S, classlib::TObject* AObject) {
    if (sorted_) Error(SSortedListError, 0);
    CheckIndex(Index, GetCount() + 1);
    InsertItem(Index, S, AObject);
}

void TUcStringList::Move(int CurIndex, int NewIndex) {
    // Refused before the line is taken out, not after.
    if (sorted_ && CurIndex != NewIndex) Error(SSortedListError, 0);
    TUcStrings::Move(CurIndex, NewIndex);
}

void TUcStringList::InsertItem(int Index, const std::wstring& S, classlib::TObject* AObject) {
    Changing();
    if (GetCount() == capacity_) Grow();
    items_.insert(items_.begin() + Index, TWideStringItem{S, AObject});
    Changed();
}

bool TUcStringList::Find(const std::wstring& S, int& Index) const {
    bool found = false;
    int l = 0;
    int h = GetCount() - 1;
    while (l <= h) {
        int i = (l + h) >> 1;
        int c = CompareStrings(items_[static_cast<std::size_t>(i)].FString, S);
        if (c < 0) {
            l = i + 1;
        } else {
            h = i - 1;
            if (c == 0) {
                found = true;
                if (duplicates_ != dupAccept) l = i;
            }
        }
    }
    Index = l;
    return found;
}

void TUcStringList::Sort() {
    CustomSort([](TUcStringList* List, int Index1, int Index2) {
        return List->CompareStrings(List->items_[static_cast<std::size_t>(Index1)].FString,
                                    List->items_[static_cast<std::size_t>(Index2)].FString);
    });
}

void TUcStringList::CustomSort(const TUcStringListSortCompare& Compare) {
    if (sorted_ || GetCount() < 2) return;
    Changing();
    QuickSort(0, GetCount() - 1, Compare);
    Changed();
}

void TUcStringList::QuickSort(int L, int R, const TUcStringListSortCompare& Compare) {
    int i;
    do {
        i = L;
        int j = R;
        int p = (L + R) >> 1;
        do {
            // The bounds only matter for a comparison that is not a consistent order.
            while (i < R && Compare(this, i, p) < 0) ++i;
            while (j > L && Compare(this, j, p) > 0) --j;
            if (i <= j) {
                std::swap(items_[static_cast<std::size_t>(i)], items_[static_cast<std::size_t>(j)]);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (L < j) QuickSort(L, j, Compare);
        L = i;
    } while (i < R);
}

// --- form streaming ----------------------------------------------------------

void TWideStrings::DefineProperties(classlib::TFiler* Filer) {
    DefineWideStringsProperty(Filer, WideStringsFilingOf(this));
}

void TUcStrings::DefineProperties(classlib::TFiler* Filer) {
    TWideStrings::DefineProperties(Filer);
    DefineLegacyWideStringsProperties(Filer, WideStringsFilingOf(static_cast<TWideStrings*>(this)));
}

}  // namespace unicode
