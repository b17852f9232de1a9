// Device enumeration and filter persistence.
#include "dshow/ds_devices.h"

#include <objbase.h>
#include <oleauto.h>
#include <uuids.h>

#include <cstring>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/format.h"
#include "classlib/streams.h"
#include "dshow/ds_helpers.h"

namespace dshow {

// {4315D437-5B8C-11D0-BD3B-00A0C911CE86}
const GUID CLSID_DeviceMonikerClass = {0x4315D437, 0x5B8C, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

namespace {

[[noreturn]] void ListIndexError(int Index) {
    throw classlib::EListError(classlib::Format(L"List index out of bounds (%d)", {Index}));
}

ComPtr<IEnumMoniker> CategoryEnumerator(const GUID& Category) {
    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(devEnum.GetAddressOf()))))
        return nullptr;
    ComPtr<IEnumMoniker> monikers;
    // An empty category answers S_FALSE and no enumerator.
    if (devEnum->CreateClassEnumerator(Category, &monikers, 0) != S_OK) return nullptr;
    return monikers;
}

bool ReadBagString(IPropertyBag* Bag, const wchar_t* Name, std::wstring& Value) {
    VARIANT v;
    VariantInit(&v);
    bool ok = SUCCEEDED(Bag->Read(Name, &v, nullptr)) && v.vt == VT_BSTR;
    if (ok) Value.assign(v.bstrVal != nullptr ? v.bstrVal : L"", v.bstrVal != nullptr ? SysStringLen(v.bstrVal) : 0);
    VariantClear(&v);
    return ok;
}

}  // namespace

// --- TSysDevEnum -------------------------------------------------------------

TSysDevEnum::TSysDevEnum(const GUID& Category) { SelectGUIDCategory(Category); }

void TSysDevEnum::SelectGUIDCategory(const GUID& Category) {
    category_ = Category;
    filters_.clear();
    monikers_.clear();
    ComPtr<IEnumMoniker> monikers = CategoryEnumerator(Category);
    if (!monikers) return;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        TFilCatNode node;
        ComPtr<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                             reinterpret_cast<void**>(bag.GetAddressOf())))) {
            std::wstring text;
            if (ReadBagString(bag.Get(), L"FriendlyName", text)) node.FriendlyName = text.substr(0, kFriendlyNameMax);
            if (!ReadBagString(bag.Get(), L"CLSID", text) || FAILED(CLSIDFromString(text.c_str(), &node.CLSID)))
                node.CLSID = GUID_NULL;
        }
        filters_.push_back(std::move(node));
        monikers_.push_back(moniker);
    }
}

TFilCatNode TSysDevEnum::GetFilter(int Index) const {
    if (Index < 0 || Index >= CountFilters()) ListIndexError(Index);
    return filters_[static_cast<size_t>(Index)];
}

int TSysDevEnum::FilterIndexOfFriendlyName(const std::wstring& Name) const {
    for (int i = CountFilters() - 1; i >= 0; --i)
        if (classlib::AnsiCompareText(filters_[static_cast<size_t>(i)].FriendlyName, Name) == 0) return i;
    return -1;
}

ComPtr<IMoniker> TSysDevEnum::GetMoniker(int Index) const {
    if (Index < 0 || Index >= CountFilters()) return nullptr;
    return monikers_[static_cast<size_t>(Index)];
}

// --- TFilterList, TPinList -----------------------------------------------------

TFilterList::TFilterList(IFilterGraph* Graph) : graph_(Graph) { Update(); }

void TFilterList::Update() {
    if (!graph_) return;
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph_->EnumFilters(&filters)) || !filters) return;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) items_.push_back(filter);
}

IBaseFilter* TFilterList::GetFilter(int Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return items_[static_cast<size_t>(Index)].Get();
}

int TFilterList::Add(IBaseFilter* Filter) {
    items_.emplace_back(Filter);
    return Count() - 1;
}

int TFilterList::IndexOf(IBaseFilter* Filter) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)].Get() == Filter) return i;
    return -1;
}

int TFilterList::Remove(IBaseFilter* Filter) {
    int index = IndexOf(Filter);
    if (index >= 0) items_.erase(items_.begin() + index);
    return index;
}

TPinList::TPinList(IBaseFilter* Filter) : filter_(Filter) { Update(); }

void TPinList::Update() {
    items_.clear();
    if (!filter_) return;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter_->EnumPins(&pins)) || !pins) return;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) items_.push_back(pin);
}

IPin* TPinList::GetPin(int Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return items_[static_cast<size_t>(Index)].Get();
}

bool TPinList::Connected(int Index) const {
    ComPtr<IPin> peer;
    return SUCCEEDED(GetPin(Index)->ConnectedTo(&peer)) && peer;
}

int TPinList::Add(IPin* Pin) {
    items_.emplace_back(Pin);
    return Count() - 1;
}

// --- TMediaType -----------------------------------------------------------------

TMediaType::TMediaType() {
    std::memset(&mt_, 0, sizeof(mt_));
    mt_.bFixedSizeSamples = -1;  // true, stored as -1 (FF FF FF FF) in the media-type blob
    mt_.lSampleSize = 1;
}

TMediaType::TMediaType(const GUID& MajorType) : TMediaType() { mt_.majortype = MajorType; }

TMediaType::~TMediaType() { FreeMediaType(mt_); }

void TMediaType::ResetFormatBuffer() {
    if (mt_.cbFormat != 0) CoTaskMemFree(mt_.pbFormat);
    mt_.cbFormat = 0;
    mt_.pbFormat = nullptr;
}

bool TMediaType::Equal(const TMediaType* Other) const {
    if (Other == nullptr) return false;
    const AM_MEDIA_TYPE& o = Other->mt_;
    if (!IsEqualGUID(mt_.majortype, o.majortype) || !IsEqualGUID(mt_.subtype, o.subtype) ||
        !IsEqualGUID(mt_.formattype, o.formattype) || mt_.cbFormat != o.cbFormat)
        return false;
    return mt_.cbFormat == 0 || std::memcmp(mt_.pbFormat, o.pbFormat, mt_.cbFormat) == 0;
}

void TMediaType::Assign(classlib::TPersistent* Source) {
    if (auto* other = dynamic_cast<TMediaType*>(Source)) {
        if (other == this) return;
        FreeMediaType(mt_);
        CopyMediaType(&mt_, &other->mt_);
        return;
    }
    TPersistent::Assign(Source);
}

void TMediaType::DefineProperties(classlib::TFiler* Filer) {
    auto* ancestor = dynamic_cast<TMediaType*>(Filer->Ancestor());
    bool hasData = ancestor == nullptr || !Equal(ancestor);
    Filer->DefineBinaryProperty(
        L"data", [this](classlib::TStream* s) { ReadData(s); }, [this](classlib::TStream* s) { WriteData(s); },
        hasData);
}

void TMediaType::ReadData(classlib::TStream* Stream) {
    ResetFormatBuffer();
    TStoredMediaType stored;
    Stream->ReadBuffer(&stored, sizeof(stored));
    // A format length beyond the bytes left is a damaged value: refuse it before allocating.
    if (static_cast<std::int64_t>(stored.cbFormat) > Stream->Size() - Stream->Position())
        throw classlib::EReadError(L"Stream read error");
    FreeMediaType(mt_);
    mt_.majortype = stored.majortype;
    mt_.subtype = stored.subtype;
    mt_.bFixedSizeSamples = stored.bFixedSizeSamples;
    mt_.bTemporalCompression = stored.bTemporalCompression;
    mt_.lSampleSize = stored.lSampleSize;
    mt_.formattype = stored.formattype;
    mt_.pUnk = nullptr;
    mt_.cbFormat = 0;
    mt_.pbFormat = nullptr;
    if (stored.cbFormat != 0) {
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(stored.cbFormat));
        if (block == nullptr) throw classlib::EReadError(L"Out of memory");
        try {
            Stream->ReadBuffer(block, static_cast<std::int32_t>(stored.cbFormat));
        } catch (...) {
            CoTaskMemFree(block);
            throw;
        }
        mt_.pbFormat = block;
        mt_.cbFormat = stored.cbFormat;
    }
}

void TMediaType::WriteData(classlib::TStream* Stream) const {
    TStoredMediaType stored = {};
    stored.majortype = mt_.majortype;
    stored.subtype = mt_.subtype;
    stored.bFixedSizeSamples = mt_.bFixedSizeSamples;
    stored.bTemporalCompression = mt_.bTemporalCompression;
    stored.lSampleSize = mt_.lSampleSize;
    stored.formattype = mt_.formattype;
    stored.cbFormat = mt_.cbFormat;
    Stream->WriteBuffer(&stored, sizeof(stored));
    if (mt_.cbFormat != 0) Stream->WriteBuffer(mt_.pbFormat, static_cast<std::int32_t>(mt_.cbFormat));
}

// --- TPersistentMemory ------------------------------------------------------------

void TPersistentMemory::AllocateMemory(int Length) {
    data_.clear();
    data_.shrink_to_fit();
    if (Length > 0) data_.assign(static_cast<size_t>(Length), 0);
}

bool TPersistentMemory::Equal(const TPersistentMemory* Other) const {
    if (Other == nullptr || Other->data_.empty() || Other->data_.size() != data_.size()) return false;
    return std::memcmp(data_.data(), Other->data_.data(), data_.size()) == 0;
}

void TPersistentMemory::Assign(classlib::TPersistent* Source) {
    if (auto* other = dynamic_cast<TPersistentMemory*>(Source)) {
        if (other != this) data_ = other->data_;
        return;
    }
    TPersistent::Assign(Source);
}

void TPersistentMemory::AssignTo(classlib::TPersistent* Dest) {
    // Only another block can take a block; anything else is refused rather than handed back
    // to Dest->Assign, which would bounce here again.
    if (dynamic_cast<TPersistentMemory*>(Dest) != nullptr)
        Dest->Assign(this);
    else
        TPersistent::AssignTo(Dest);
}

void TPersistentMemory::DefineProperties(classlib::TFiler* Filer) {
    auto* ancestor = dynamic_cast<TPersistentMemory*>(Filer->Ancestor());
    bool hasData = ancestor == nullptr || !Equal(ancestor);
    Filer->DefineBinaryProperty(
        L"data", [this](classlib::TStream* s) { ReadData(s); }, [this](classlib::TStream* s) { WriteData(s); },
        hasData);
}

void TPersistentMemory::ReadData(classlib::TStream* Stream) {
    std::uint32_t length = 0;
    Stream->ReadBuffer(&length, sizeof(length));
    if (length > 0x7FFFFFFFu || static_cast<std::int64_t>(length) > Stream->Size() - Stream->Position())
        throw classlib::EReadError(L"Stream read error");
    AllocateMemory(static_cast<int>(length));
    if (length > 0) Stream->ReadBuffer(data_.data(), static_cast<std::int32_t>(length));
}

void TPersistentMemory::WriteData(classlib::TStream* Stream) const {
    std::uint32_t length = static_cast<std::uint32_t>(data_.size());
    Stream->WriteBuffer(&length, sizeof(length));
    if (length > 0) Stream->WriteBuffer(data_.data(), static_cast<std::int32_t>(length));
}

// --- TBaseFilter ---------------------------------------------------------------------

namespace {

constexpr size_t kMonikerHeader = sizeof(GUID) + sizeof(std::uint32_t);

bool SaveWithPlatform(IMoniker* Moniker, std::vector<std::uint8_t>& Bytes) {
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return false;
    ComPtr<IPersistStream> persist;
    if (FAILED(Moniker->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.GetAddressOf()))))
        return false;
    if (FAILED(OleSaveToStream(persist.Get(), stream.Get()))) return false;
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart == 0 ||
        stat.cbSize.QuadPart > 0x100000)
        return false;
    Bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero = {};
    ULONG read = 0;
    if (FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(Bytes.data(), static_cast<ULONG>(Bytes.size()), &read)) || read != Bytes.size())
        return false;
    return true;
}

// The stored form of a device moniker, from its display name; false for a name of another kind.
bool DisplayNameBytes(const std::wstring& text, std::vector<std::uint8_t>& Bytes) {
    if (_wcsnicmp(text.c_str(), L"@device:", 8) != 0) return false;
    std::uint32_t length = static_cast<std::uint32_t>((text.size() + 1) * sizeof(wchar_t));
    Bytes.resize(kMonikerHeader + length);
    std::memcpy(Bytes.data(), &CLSID_DeviceMonikerClass, sizeof(GUID));
    std::memcpy(Bytes.data() + sizeof(GUID), &length, sizeof(length));
    std::memcpy(Bytes.data() + kMonikerHeader, text.c_str(), length);
    return true;
}

// Wine's device moniker cannot save itself; its stored form is simple enough to write here.
bool SaveByDisplayName(IMoniker* Moniker, std::vector<std::uint8_t>& Bytes) {
    ComPtr<IBindCtx> context;
    if (FAILED(CreateBindCtx(0, &context))) return false;
    LPOLESTR name = nullptr;
    if (FAILED(Moniker->GetDisplayName(context.Get(), nullptr, &name)) || name == nullptr) return false;
    std::wstring text(name);
    CoTaskMemFree(name);
    return DisplayNameBytes(text, Bytes);
}

ComPtr<IMoniker> LoadWithPlatform(const std::vector<std::uint8_t>& Bytes) {
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return nullptr;
    ULONG written = 0;
    if (FAILED(stream->Write(Bytes.data(), static_cast<ULONG>(Bytes.size()), &written)) || written != Bytes.size())
        return nullptr;
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ComPtr<IMoniker> moniker;
    if (FAILED(OleLoadFromStream(stream.Get(), IID_IMoniker, reinterpret_cast<void**>(moniker.GetAddressOf()))))
        return nullptr;
    return moniker;
}

ComPtr<IMoniker> LoadByDisplayName(const std::vector<std::uint8_t>& Bytes) {
    if (Bytes.size() < kMonikerHeader + sizeof(wchar_t)) return nullptr;
    GUID clsid;
    std::memcpy(&clsid, Bytes.data(), sizeof(clsid));
    if (!IsEqualGUID(clsid, CLSID_DeviceMonikerClass)) return nullptr;
    std::uint32_t length = 0;
    std::memcpy(&length, Bytes.data() + sizeof(GUID), sizeof(length));
    if (length != Bytes.size() - kMonikerHeader || length % sizeof(wchar_t) != 0) return nullptr;
    std::wstring name(length / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), Bytes.data() + kMonikerHeader, length);
    if (name.back() != L'\0') return nullptr;
    name.pop_back();
    if (name.empty() || name.find(L'\0') != std::wstring::npos) return nullptr;
    return ParseMonikerName(name);
}

// The device moniker class parses "@device:" names itself. MkParseDisplayName reaches it too, but
// under Wine only after asking the COM service process and the registry for an out-of-process
// server of that class, a cross-process call and some forty registry requests per name.
ComPtr<IMoniker> ParseDeviceName(IBindCtx* Context, const std::wstring& Name) {
    ComPtr<IParseDisplayName> parser;
    if (FAILED(CoCreateInstance(CLSID_DeviceMonikerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IParseDisplayName,
                                reinterpret_cast<void**>(parser.GetAddressOf()))) &&
        FAILED(CoGetClassObject(CLSID_DeviceMonikerClass, CLSCTX_INPROC_SERVER, nullptr, IID_IParseDisplayName,
                                reinterpret_cast<void**>(parser.ReleaseAndGetAddressOf()))))
        return nullptr;
    ULONG eaten = 0;
    ComPtr<IMoniker> moniker;
    if (!parser || FAILED(parser->ParseDisplayName(Context, const_cast<LPOLESTR>(Name.c_str()), &eaten,
                                                   moniker.GetAddressOf())))
        return nullptr;
    return moniker;
}

}  // namespace

ComPtr<IMoniker> ParseMonikerName(const std::wstring& DisplayName) {
    ComPtr<IBindCtx> context;
    if (DisplayName.empty() || FAILED(CreateBindCtx(0, &context))) return nullptr;
    if (_wcsnicmp(DisplayName.c_str(), L"@device:", 8) == 0)
        if (ComPtr<IMoniker> moniker = ParseDeviceName(context.Get(), DisplayName)) return moniker;
    ULONG eaten = 0;
    ComPtr<IMoniker> moniker;
    if (FAILED(MkParseDisplayName(context.Get(), DisplayName.c_str(), &eaten, &moniker))) return nullptr;
    return moniker;
}

void TBaseFilter::SetMoniker(IMoniker* Moniker) {
    std::vector<std::uint8_t> bytes;
    if (Moniker == nullptr || (!SaveWithPlatform(Moniker, bytes) && !SaveByDisplayName(Moniker, bytes))) {
        AllocateMemory(0);
        return;
    }
    AllocateMemory(static_cast<int>(bytes.size()));
    std::memcpy(Data(), bytes.data(), bytes.size());
    // The moniker given stands for these bytes: reading them back would parse its name again,
    // which under Wine leaves registry keys open at every call.
    parsed_ = Moniker;
    parsedFrom_ = std::move(bytes);
}

bool TBaseFilter::SetDeviceName(const std::wstring& DisplayName) {
    std::vector<std::uint8_t> bytes;
    if (!DisplayNameBytes(DisplayName, bytes)) return false;
    AllocateMemory(static_cast<int>(bytes.size()));
    std::memcpy(Data(), bytes.data(), bytes.size());
    parsed_ = nullptr;
    parsedFrom_.clear();
    return true;
}

ComPtr<IMoniker> TBaseFilter::GetMoniker() const {
    if (Bytes().empty()) return nullptr;
    if (parsed_ && parsedFrom_ == Bytes()) return parsed_;
    // Bytes in the device moniker's own layout are read by its name first: Wine's device moniker
    // cannot load itself, and each refused load walks the registry for a server of that class.
    ComPtr<IMoniker> moniker = LoadByDisplayName(Bytes());
    if (!moniker) moniker = LoadWithPlatform(Bytes());
    parsed_ = moniker;
    parsedFrom_ = moniker ? Bytes() : std::vector<std::uint8_t>();
    return moniker;
}

ComPtr<IBaseFilter> TBaseFilter::CreateFilter() const {
    ComPtr<IMoniker> moniker = GetMoniker();
    if (!moniker) return nullptr;
    ComPtr<IBaseFilter> filter;
    if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()))))
        return nullptr;
    return filter;
}

}  // namespace dshow
