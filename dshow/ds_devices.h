// Device enumeration and filter persistence: the filters of a device category, the filters of a
// graph and the pins of a filter, a media type and a device moniker that stream as "data".
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/objects.h"

namespace classlib {
class TStream;
}

namespace dshow {

using Microsoft::WRL::ComPtr;

// One device of a category. The name is kept wide (an ANSI copy would mangle names outside the
// code page) and cut to 255 characters as the stored entries always were.
struct TFilCatNode {
    std::wstring FriendlyName;
    GUID CLSID = GUID_NULL;
};

constexpr std::size_t kFriendlyNameMax = 255;

// The filters of one DirectShow device category, a snapshot taken at each selection (names, class
// identifiers and monikers from one enumeration).
class TSysDevEnum : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TSysDevEnum)
    explicit TSysDevEnum(const GUID& Category);

    void SelectGUIDCategory(const GUID& Category);
    const GUID& Category() const { return category_; }
    int CountFilters() const { return static_cast<int>(filters_.size()); }
    // Raises EListError "List index out of bounds (%d)" outside 0..CountFilters-1.
    TFilCatNode GetFilter(int Index) const;
    // The last entry whose name equals Name ignoring case (locale comparison), or -1.
    int FilterIndexOfFriendlyName(const std::wstring& Name) const;
    // The moniker of the Index-th entry of the snapshot, or nullptr outside 0..CountFilters-1.
    ComPtr<IMoniker> GetMoniker(int Index) const;

private:
    GUID category_ = GUID_NULL;
    std::vector<TFilCatNode> filters_;
    // Beside filters_, one per entry: the entry's device is the one the list named even when the
    // devices changed since, and no second enumeration of the category is needed for it.
    std::vector<ComPtr<IMoniker>> monikers_;
};

// The filters of a graph.
class TFilterList : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TFilterList)
    explicit TFilterList(IFilterGraph* Graph);
    // Appends the graph's filters (the list is not cleared first).
    void Update();
    int Count() const { return static_cast<int>(items_.size()); }
    IBaseFilter* GetFilter(int Index) const;  // EListError outside the list
    int Add(IBaseFilter* Filter);
    int Remove(IBaseFilter* Filter);  // index removed, or -1
    int IndexOf(IBaseFilter* Filter) const;

private:
    ComPtr<IFilterGraph> graph_;
    std::vector<ComPtr<IBaseFilter>> items_;
};

// The pins of a filter.
class TPinList : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TPinList)
    explicit TPinList(IBaseFilter* Filter);
    void Update();
    int Count() const { return static_cast<int>(items_.size()); }
    IPin* GetPin(int Index) const;  // EListError outside the list
    bool Connected(int Index) const;
    int Add(IPin* Pin);

private:
    ComPtr<IBaseFilter> filter_;
    std::vector<ComPtr<IPin>> items_;
};

// The stored media type: the 72-byte record of 32-bit Windows, field by field, little-endian.
// Pointer fields are written as 0 and ignored when read: a stored pointer means nothing.
struct TStoredMediaType {
    GUID majortype;
    GUID subtype;
    std::int32_t bFixedSizeSamples;
    std::int32_t bTemporalCompression;
    std::uint32_t lSampleSize;
    GUID formattype;
    std::uint32_t pUnk;
    std::uint32_t cbFormat;
    std::uint32_t pbFormat;
};
static_assert(sizeof(TStoredMediaType) == 72);
static_assert(offsetof(TStoredMediaType, bFixedSizeSamples) == 32);
static_assert(offsetof(TStoredMediaType, lSampleSize) == 40);
static_assert(offsetof(TStoredMediaType, formattype) == 44);
static_assert(offsetof(TStoredMediaType, pUnk) == 60);
static_assert(offsetof(TStoredMediaType, cbFormat) == 64);
static_assert(offsetof(TStoredMediaType, pbFormat) == 68);

// One owned media type; streams as the binary property "data".
class TMediaType : public classlib::TPersistent {
public:
    CLASSLIB_CLASS_NAME(TMediaType)
    TMediaType();
    explicit TMediaType(const GUID& MajorType);
    ~TMediaType() override;
    TMediaType(const TMediaType&) = delete;
    TMediaType& operator=(const TMediaType&) = delete;

    AM_MEDIA_TYPE* AMMediaType() { return &mt_; }
    const AM_MEDIA_TYPE* AMMediaType() const { return &mt_; }
    bool Equal(const TMediaType* Other) const;
    ULONG FormatLength() const { return mt_.cbFormat; }
    void ResetFormatBuffer();
    void SetSubType(const GUID& Value) { mt_.subtype = Value; }
    void SetFormatType(const GUID& Value) { mt_.formattype = Value; }

    void Assign(classlib::TPersistent* Source) override;
    void DefineProperties(classlib::TFiler* Filer) override;
    // The "data" value. Reading raises EReadError for a truncated value.
    void ReadData(classlib::TStream* Stream);
    void WriteData(classlib::TStream* Stream) const;

private:
    AM_MEDIA_TYPE mt_;
};

// A resizable block of bytes that streams as the binary property "data": a dword length, then
// that many bytes.
class TPersistentMemory : public classlib::TPersistent {
public:
    CLASSLIB_CLASS_NAME(TPersistentMemory)
    TPersistentMemory() = default;

    // Drops the block, then makes Length zero bytes (empty for 0 or less).
    void AllocateMemory(int Length);
    int DataLength() const { return static_cast<int>(data_.size()); }
    std::uint8_t* Data() { return data_.empty() ? nullptr : data_.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }
    // False when Other is empty or the lengths differ; else byte comparison.
    bool Equal(const TPersistentMemory* Other) const;

    void Assign(classlib::TPersistent* Source) override;
    void DefineProperties(classlib::TFiler* Filer) override;
    // Reading raises EReadError when the value is shorter than its length says.
    void ReadData(classlib::TStream* Stream);
    void WriteData(classlib::TStream* Stream) const;

protected:
    void AssignTo(classlib::TPersistent* Dest) override;

private:
    std::vector<std::uint8_t> data_;
};

// The class identifier that starts a stored device moniker.
extern const GUID CLSID_DeviceMonikerClass;

// The moniker named by DisplayName ("@device:..." names go straight to the device moniker class's
// own parser, other names through MkParseDisplayName); nullptr when it cannot be parsed.
ComPtr<IMoniker> ParseMonikerName(const std::wstring& DisplayName);

// A device moniker kept in a memory block: its class identifier (16 bytes), the dword byte length
// of its display name, then the display name in UTF-16LE with its terminating zero.
class TBaseFilter : public TPersistentMemory {
public:
    CLASSLIB_CLASS_NAME(TBaseFilter)
    // nullptr empties the block; a moniker that can be stored neither by the platform nor by its
    // display name empties it too.
    void SetMoniker(IMoniker* Moniker);
    // Stores a device moniker by its display name ("@device:..."), parsed only when first bound:
    // a parse costs a walk of the registry, and most stored filters are not used in a run.
    // False, and the block unchanged, for a name that is not a device's.
    bool SetDeviceName(const std::wstring& DisplayName);
    // nullptr when the block is empty or holds no valid moniker.
    ComPtr<IMoniker> GetMoniker() const;
    // The bound filter, or nullptr when there is no moniker or it cannot be bound.
    ComPtr<IBaseFilter> CreateFilter() const;

private:
    // The moniker last read from the block, with the bytes it was read from: every graph build
    // binds the same stored moniker again, and under Wine each parse of a device name leaves two
    // registry keys open inside the platform, so the block is parsed again only when it changed.
    mutable ComPtr<IMoniker> parsed_;
    mutable std::vector<std::uint8_t> parsedFrom_;
};

}  // namespace dshow
