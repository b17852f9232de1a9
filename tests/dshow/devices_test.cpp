// Device enumeration and persistence: categories, monikers stored byte for byte and bound again,
// the media-type value, and damaged values.
#include "dshow/ds_devices.h"

#include <objbase.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/streams.h"
#include "dshow/ds_components.h"
#include "dshow/ds_functions.h"
#include "unicode/wide_strings.h"
#include "dshow_test_support.h"
#include "exception_text.h"
#include "handle_counts.h"

using namespace dshow;
using dshow_test::ComPtr;

namespace {

std::wstring DisplayName(IMoniker* Moniker) {
    ComPtr<IBindCtx> context;
    CreateBindCtx(0, &context);
    LPOLESTR name = nullptr;
    if (FAILED(Moniker->GetDisplayName(context.Get(), nullptr, &name))) return L"";
    std::wstring text(name);
    CoTaskMemFree(name);
    return text;
}

GUID ClassOf(IBaseFilter* Filter) {
    GUID id = GUID_NULL;
    Filter->GetClassID(&id);
    return id;
}

std::vector<std::uint8_t> StreamedData(TPersistentMemory& Memory) {
    classlib::TMemoryStream stream;
    Memory.WriteData(&stream);
    return stream.Bytes();
}

TEST(SysDevEnum, LegacyCategoryListsTheStockFilters) {
    TSysDevEnum devices(CLSID_LegacyAmFilterCategory);
    ASSERT_GT(devices.CountFilters(), 0);
    int nullIndex = -1;
    for (int i = 0; i < devices.CountFilters(); ++i)
        if (IsEqualGUID(devices.GetFilter(i).CLSID, dshow_test::kNullRenderer)) nullIndex = i;
    ASSERT_GE(nullIndex, 0);
    std::wstring name = devices.GetFilter(nullIndex).FriendlyName;
    EXPECT_FALSE(name.empty());
    // The comparison ignores case and finds the entry again.
    std::wstring upper = name;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    EXPECT_EQ(devices.FilterIndexOfFriendlyName(upper), devices.FilterIndexOfFriendlyName(name));
    EXPECT_GE(devices.FilterIndexOfFriendlyName(name), 0);
    EXPECT_EQ(devices.FilterIndexOfFriendlyName(L"No Such Filter Anywhere"), -1);
    // The moniker of that index names the same filter.
    ComPtr<IMoniker> moniker = devices.GetMoniker(nullIndex);
    ASSERT_TRUE(moniker);
    ComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                   reinterpret_cast<void**>(filter.GetAddressOf())));
    EXPECT_TRUE(IsEqualGUID(ClassOf(filter.Get()), dshow_test::kNullRenderer));

    EXPECT_EQ(quill_test::MessageOf<classlib::EListError>([&] { devices.GetFilter(devices.CountFilters()); }),
              L"List index out of bounds (" + std::to_wstring(devices.CountFilters()) + L")");
    EXPECT_FALSE(devices.GetMoniker(-1));
    EXPECT_FALSE(devices.GetMoniker(devices.CountFilters()));
}

TEST(SysDevEnum, EmptyCategoryGivesNothing) {
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    // Wine has no capture devices; the stand-ins may add some.
    if (devices.CountFilters() == 0) {
        EXPECT_FALSE(devices.GetMoniker(0));
    }
    GUID unknown = {0x1234ABCD, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    devices.SelectGUIDCategory(unknown);
    EXPECT_EQ(devices.CountFilters(), 0);
    EXPECT_FALSE(devices.GetMoniker(0));
}

// Two filters registered under one name in a category of the test's own: the later one wins.
class TwoOfOneName : public testing::Test {
protected:
    static constexpr GUID kCategory = {0x5C1B3F60, 0x7A11, 0x4E2B, {0x9D, 0x41, 0x61, 0x22, 0x0A, 0x7E, 0x33, 0x01}};
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IFilterMapper2, reinterpret_cast<void**>(mapper.GetAddressOf())));
        REGFILTER2 reg = {};
        reg.dwVersion = 1;
        reg.dwMerit = MERIT_DO_NOT_USE;
        ASSERT_HRESULT_SUCCEEDED(mapper->RegisterFilter(dshow_test::kNullRenderer, L"Twin Filter", nullptr,
                                                        &kCategory, L"twin-a", &reg));
        ASSERT_HRESULT_SUCCEEDED(mapper->RegisterFilter(CLSID_SampleGrabberFilter, L"Twin Filter", nullptr,
                                                        &kCategory, L"twin-b", &reg));
    }
    void TearDown() override {
        mapper->UnregisterFilter(&kCategory, L"twin-a", dshow_test::kNullRenderer);
        mapper->UnregisterFilter(&kCategory, L"twin-b", CLSID_SampleGrabberFilter);
    }
    ComPtr<IFilterMapper2> mapper;
};

TEST_F(TwoOfOneName, LastEntryOfTheNameIsSelected) {
    TSysDevEnum devices(kCategory);
    ASSERT_EQ(devices.CountFilters(), 2);
    EXPECT_EQ(devices.GetFilter(0).FriendlyName, L"Twin Filter");
    EXPECT_EQ(devices.GetFilter(1).FriendlyName, L"Twin Filter");
    EXPECT_EQ(devices.FilterIndexOfFriendlyName(L"twin filter"), 1);
    const GUID later = devices.GetFilter(1).CLSID;

    TFilter filter(nullptr);
    ASSERT_TRUE(SelectFilterByName(kCategory, L"TWIN FILTER", &filter));
    ComPtr<IBaseFilter> bound = filter.BaseFilter()->CreateFilter();
    ASSERT_TRUE(bound);
    EXPECT_TRUE(IsEqualGUID(ClassOf(bound.Get()), later));

    // By class: the first entry of that class; a class not listed leaves the moniker alone.
    const GUID earlier = devices.GetFilter(0).CLSID;
    ASSERT_TRUE(SelectFilterByCLSID(kCategory, earlier, &filter));
    std::vector<std::uint8_t> before = filter.BaseFilter()->Bytes();
    EXPECT_TRUE(IsEqualGUID(ClassOf(filter.BaseFilter()->CreateFilter().Get()), earlier));
    EXPECT_FALSE(SelectFilterByCLSID(kCategory, CLSID_FilterGraph, &filter));
    EXPECT_FALSE(SelectFilterByName(kCategory, L"Twin", &filter));
    EXPECT_EQ(filter.BaseFilter()->Bytes(), before);
}

// A snapshot's entries keep the devices they listed: a filter leaving the category afterwards moves no
// index onto another device, and a selection from the snapshot enumerates nothing again.
TEST_F(TwoOfOneName, SnapshotKeepsItsDevices) {
    TSysDevEnum devices(kCategory);
    ASSERT_EQ(devices.CountFilters(), 2);
    const GUID second = devices.GetFilter(1).CLSID;
    const std::wstring secondName = DisplayName(devices.GetMoniker(1).Get());
    mapper->UnregisterFilter(&kCategory, L"twin-a", dshow_test::kNullRenderer);
    EXPECT_EQ(TSysDevEnum(kCategory).CountFilters(), 1);

    ComPtr<IMoniker> moniker = devices.GetMoniker(1);
    ASSERT_TRUE(moniker);
    EXPECT_EQ(DisplayName(moniker.Get()), secondName);
    TFilter filter(nullptr);
    ASSERT_TRUE(SelectFilterByName(devices, L"twin filter", &filter));
    ComPtr<IBaseFilter> bound = filter.BaseFilter()->CreateFilter();
    ASSERT_TRUE(bound);
    EXPECT_TRUE(IsEqualGUID(ClassOf(bound.Get()), second));
    EXPECT_FALSE(SelectFilterByName(devices, L"Twin", &filter));

    // The snapshot's names fill a list in its order; a new selection takes a new snapshot.
    unicode::TUcStringList names;
    FillSnapshotNames(devices, &names);
    ASSERT_EQ(names.Count(), 2);
    EXPECT_EQ(names.Get(0), L"Twin Filter");
    devices.SelectGUIDCategory(kCategory);
    EXPECT_EQ(devices.CountFilters(), 1);
    EXPECT_FALSE(devices.GetMoniker(1));
}

int NullRendererIndex(const TSysDevEnum& Devices) {
    for (int i = 0; i < Devices.CountFilters(); ++i)
        if (IsEqualGUID(Devices.GetFilter(i).CLSID, dshow_test::kNullRenderer)) return i;
    return -1;
}

TEST(BaseFilter, StoredMonikerLayoutAndRoundTrip) {
    TSysDevEnum devices(CLSID_LegacyAmFilterCategory);
    const int index = NullRendererIndex(devices);
    ASSERT_GE(index, 0);
    ComPtr<IMoniker> moniker = devices.GetMoniker(index);
    const std::wstring name = DisplayName(moniker.Get());
    ASSERT_EQ(name.rfind(L"@device:sw:", 0), 0u) << std::string(name.begin(), name.end());

    TBaseFilter stored;
    stored.SetMoniker(moniker.Get());
    // dword N, class identifier, dword L, the name with its zero: 202 bytes for a software filter.
    std::vector<std::uint8_t> bytes = StreamedData(stored);
    const std::uint32_t L = static_cast<std::uint32_t>((name.size() + 1) * 2);
    ASSERT_EQ(bytes.size(), 4 + 16 + 4 + L);
    EXPECT_EQ(bytes.size(), 202u);
    std::uint32_t n = 0, l = 0;
    std::memcpy(&n, bytes.data(), 4);
    std::memcpy(&l, bytes.data() + 20, 4);
    EXPECT_EQ(n, 198u);
    EXPECT_EQ(l, 178u);
    GUID clsid;
    std::memcpy(&clsid, bytes.data() + 4, 16);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_DeviceMonikerClass));
    EXPECT_EQ(std::memcmp(bytes.data() + 24, name.c_str(), L), 0);

    // Read back from those bytes: the same display name, and it binds.
    TBaseFilter loaded;
    classlib::TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    stream.SetPosition(0);
    loaded.ReadData(&stream);
    EXPECT_TRUE(loaded.Equal(&stored));
    ComPtr<IMoniker> again = loaded.GetMoniker();
    ASSERT_TRUE(again);
    EXPECT_EQ(DisplayName(again.Get()), name);
    ComPtr<IBaseFilter> filter = loaded.CreateFilter();
    ASSERT_TRUE(filter);
    EXPECT_TRUE(IsEqualGUID(ClassOf(filter.Get()), dshow_test::kNullRenderer));

    stored.SetMoniker(nullptr);
    EXPECT_EQ(stored.DataLength(), 0);
}

// Every graph build binds the stored moniker again: that leaves no registry key open, and a block
// that changed names the new filter, not the one read before.
TEST(BaseFilter, BindingAgainLeavesNoKeyOpenAndFollowsAChangedBlock) {
    TSysDevEnum devices(CLSID_LegacyAmFilterCategory);
    const int index = NullRendererIndex(devices);
    ASSERT_GE(index, 0);
    TBaseFilter stored;
    stored.SetMoniker(devices.GetMoniker(index).Get());
    ASSERT_TRUE(stored.CreateFilter());
    const int before = quill_test::OwnHandlesOfType(L"Key");
    ASSERT_GT(before, 0) << "the system's handle list cannot be read";
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(stored.CreateFilter());
    EXPECT_LE(quill_test::OwnHandlesOfType(L"Key"), before + 1);

    int other = -1;
    for (int i = 0; i < devices.CountFilters() && other < 0; ++i)
        if (i != index && devices.GetFilter(i).FriendlyName != devices.GetFilter(index).FriendlyName) other = i;
    ASSERT_GE(other, 0);
    const std::wstring otherName = DisplayName(devices.GetMoniker(other).Get());
    stored.SetMoniker(devices.GetMoniker(other).Get());
    EXPECT_EQ(DisplayName(stored.GetMoniker().Get()), otherName);
    stored.SetMoniker(nullptr);
    EXPECT_FALSE(stored.GetMoniker());

    // A new component given a device's moniker binds it without parsing its name again, as each
    // recording's probes and chosen filters do. (Listing a category under Wine leaves keys open of
    // its own, so the moniker is listed once.)
    const ComPtr<IMoniker> same = devices.GetMoniker(index);
    const int keys = quill_test::OwnHandlesOfType(L"Key");
    for (int i = 0; i < 8; ++i) {
        TBaseFilter fresh;
        fresh.SetMoniker(same.Get());
        ASSERT_TRUE(fresh.CreateFilter());
    }
    EXPECT_LE(quill_test::OwnHandlesOfType(L"Key"), keys + 1);
}

// A device name goes to the device moniker class's own parser: the moniker is the one the platform's
// parser gives, binds to the same filter and leaves no key open; names that are not monikers give none.
TEST(MonikerNames, DeviceNamesParseAsThePlatformParsesThem) {
    TSysDevEnum devices(CLSID_LegacyAmFilterCategory);
    const int index = NullRendererIndex(devices);
    ASSERT_GE(index, 0);
    const std::wstring name = DisplayName(devices.GetMoniker(index).Get());
    ASSERT_EQ(name.rfind(L"@device:", 0), 0u);

    ComPtr<IMoniker> parsed = ParseMonikerName(name);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(DisplayName(parsed.Get()), name);
    ComPtr<IBindCtx> context;
    ASSERT_HRESULT_SUCCEEDED(CreateBindCtx(0, &context));
    ULONG eaten = 0;
    ComPtr<IMoniker> platform;
    ASSERT_HRESULT_SUCCEEDED(MkParseDisplayName(context.Get(), name.c_str(), &eaten, &platform));
    EXPECT_EQ(parsed->IsEqual(platform.Get()), S_OK);
    ComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(parsed->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                  reinterpret_cast<void**>(filter.GetAddressOf())));
    EXPECT_TRUE(IsEqualGUID(ClassOf(filter.Get()), dshow_test::kNullRenderer));
    filter.Reset();

    // The prefix is matched as the platform matches it, without regard to case.
    std::wstring upper = name;
    upper.replace(0, 8, L"@DEVICE:");
    ComPtr<IMoniker> upperParsed = ParseMonikerName(upper);
    ASSERT_TRUE(upperParsed);
    EXPECT_EQ(upperParsed->IsEqual(parsed.Get()), S_OK);

    const int keys = quill_test::OwnHandlesOfType(L"Key");
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(ParseMonikerName(name));
    EXPECT_LE(quill_test::OwnHandlesOfType(L"Key"), keys + 1);

    EXPECT_FALSE(ParseMonikerName(L""));
    EXPECT_FALSE(ParseMonikerName(L"@device:"));
    EXPECT_FALSE(ParseMonikerName(L"@device:xx:not a device"));
    EXPECT_FALSE(ParseMonikerName(L"@nosuchprogid:whatever"));
}

TEST(BaseFilter, DefaultSoundRendererIsStoredIn178Bytes) {
    TFilter filter(nullptr);
    if (!SelectFilterByName(CLSID_AudioRendererCategory, L"Default DirectSound Device", &filter))
        GTEST_SKIP() << "no DirectSound device in this prefix";
    std::vector<std::uint8_t> bytes = StreamedData(*filter.BaseFilter());
    EXPECT_EQ(bytes.size(), 178u);
    ComPtr<IBaseFilter> renderer = filter.BaseFilter()->CreateFilter();
    EXPECT_TRUE(renderer);
}

TEST(BaseFilter, EmptyAndDamagedValuesGiveNoMoniker) {
    TBaseFilter block;
    classlib::TMemoryStream zero;
    std::uint32_t nothing = 0;
    zero.WriteBuffer(&nothing, 4);
    zero.SetPosition(0);
    block.ReadData(&zero);
    EXPECT_EQ(block.DataLength(), 0);
    EXPECT_FALSE(block.GetMoniker());
    EXPECT_FALSE(block.CreateFilter());

    auto load = [](const std::vector<std::uint8_t>& raw) {
        TBaseFilter b;
        b.AllocateMemory(static_cast<int>(raw.size()));
        std::memcpy(b.Data(), raw.data(), raw.size());
        return b.GetMoniker();
    };
    std::vector<std::uint8_t> good(16 + 4);
    std::memcpy(good.data(), &CLSID_DeviceMonikerClass, 16);
    std::wstring name = L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{C1F400A4-3F08-11D3-9F0B-006008039E37}";
    std::uint32_t L = static_cast<std::uint32_t>((name.size() + 1) * 2);
    std::memcpy(good.data() + 16, &L, 4);
    good.insert(good.end(), reinterpret_cast<const std::uint8_t*>(name.c_str()),
                reinterpret_cast<const std::uint8_t*>(name.c_str()) + L);
    EXPECT_TRUE(load(good));

    std::vector<std::uint8_t> shortName(good.begin(), good.end() - 2);  // no terminating zero
    EXPECT_FALSE(load(shortName));
    std::vector<std::uint8_t> badLength = good;
    badLength[16] = 0xFF;
    EXPECT_FALSE(load(badLength));
    std::vector<std::uint8_t> otherClass = good;
    otherClass[0] ^= 0x55;
    EXPECT_FALSE(load(otherClass));
    EXPECT_FALSE(load(std::vector<std::uint8_t>(good.begin(), good.begin() + 10)));
    EXPECT_FALSE(load(std::vector<std::uint8_t>(64, 0xAB)));

    // A length beyond the value is refused before anything is allocated.
    classlib::TMemoryStream truncated;
    std::uint32_t claimed = 1000;
    truncated.WriteBuffer(&claimed, 4);
    truncated.WriteBuffer(good.data(), 20);
    truncated.SetPosition(0);
    EXPECT_EQ(quill_test::MessageOf<classlib::EReadError>([&] { block.ReadData(&truncated); }), L"Stream read error");
}

TEST(PersistentMemory, EqualAssignAndAllocate) {
    TPersistentMemory a, b;
    EXPECT_FALSE(a.Equal(&b));  // an empty other is never equal
    a.AllocateMemory(3);
    EXPECT_EQ(a.Bytes(), (std::vector<std::uint8_t>{0, 0, 0}));
    a.Data()[1] = 7;
    b.Assign(&a);
    EXPECT_TRUE(b.Equal(&a));
    b.Data()[2] = 1;
    EXPECT_FALSE(b.Equal(&a));
    a.AllocateMemory(0);
    EXPECT_EQ(a.DataLength(), 0);
    EXPECT_EQ(a.Data(), nullptr);
    TMediaType other;
    EXPECT_EQ(quill_test::MessageOf<classlib::EConvertError>([&] { a.Assign(&other); }),
              L"Cannot assign a TMediaType to a TPersistentMemory");
    EXPECT_EQ(quill_test::MessageOf<classlib::EConvertError>([&] { other.Assign(&a); }),
              L"Cannot assign a TPersistentMemory to a TMediaType");
}

TEST(MediaTypeValue, SampleGrabberDefaultIs72Bytes) {
    TMediaType mt(MEDIATYPE_Video);
    mt.SetSubType(MEDIASUBTYPE_RGB24);
    mt.SetFormatType(FORMAT_VideoInfo);
    classlib::TMemoryStream stream;
    mt.WriteData(&stream);
    ASSERT_EQ(stream.Size(), 72);
    const std::uint8_t* p = stream.Bytes().data();
    EXPECT_EQ(std::memcmp(p, &MEDIATYPE_Video, 16), 0);
    EXPECT_EQ(std::memcmp(p + 16, &MEDIASUBTYPE_RGB24, 16), 0);
    std::int32_t fixed, temporal;
    std::uint32_t sampleSize, tail[3];
    std::memcpy(&fixed, p + 32, 4);
    std::memcpy(&temporal, p + 36, 4);
    std::memcpy(&sampleSize, p + 40, 4);
    std::memcpy(tail, p + 60, 12);
    EXPECT_EQ(fixed, -1);  // true, stored as FF FF FF FF
    EXPECT_EQ(temporal, 0);
    EXPECT_EQ(sampleSize, 1u);
    EXPECT_EQ(std::memcmp(p + 44, &FORMAT_VideoInfo, 16), 0);
    EXPECT_EQ(tail[0], 0u);
    EXPECT_EQ(tail[1], 0u);
    EXPECT_EQ(tail[2], 0u);
}

TEST(MediaTypeValue, RoundTripWithFormatBlockAndStalePointers) {
    TMediaType source(MEDIATYPE_Video);
    source.SetSubType(MEDIASUBTYPE_RGB24);
    source.SetFormatType(FORMAT_VideoInfo);
    AM_MEDIA_TYPE* mt = source.AMMediaType();
    mt->cbFormat = 88;
    mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(88));
    for (int i = 0; i < 88; ++i) mt->pbFormat[i] = static_cast<BYTE>(200 - i);
    classlib::TMemoryStream stream;
    source.WriteData(&stream);
    ASSERT_EQ(stream.Size(), 72 + 88);

    // A value written by the 32-bit program carries its pointers; they must not be used.
    std::uint32_t stale[2] = {0x00DEAD10, 0x00BEEF20};
    stream.SetPosition(60);
    stream.WriteBuffer(&stale[0], 4);
    stream.SetPosition(68);
    stream.WriteBuffer(&stale[1], 4);
    stream.SetPosition(0);
    TMediaType loaded;
    loaded.ReadData(&stream);
    EXPECT_TRUE(loaded.Equal(&source));
    EXPECT_EQ(loaded.AMMediaType()->pUnk, nullptr);
    EXPECT_NE(loaded.AMMediaType()->pbFormat, mt->pbFormat);
    EXPECT_EQ(loaded.FormatLength(), 88u);

    TMediaType assigned;
    assigned.Assign(&loaded);
    EXPECT_TRUE(assigned.Equal(&source));
    assigned.ResetFormatBuffer();
    EXPECT_FALSE(assigned.Equal(&source));
}

TEST(MediaTypeValue, DamagedValuesAreRefused) {
    TMediaType mt;
    classlib::TMemoryStream shortValue;
    std::vector<std::uint8_t> bytes(50, 0);
    shortValue.WriteBuffer(bytes.data(), 50);
    shortValue.SetPosition(0);
    EXPECT_EQ(quill_test::MessageOf<classlib::EReadError>([&] { mt.ReadData(&shortValue); }), L"Stream read error");

    // A format length far beyond the value.
    TMediaType source(MEDIATYPE_Audio);
    classlib::TMemoryStream huge;
    source.WriteData(&huge);
    std::uint32_t length = 0xFFFFFFF0u;
    huge.SetPosition(64);
    huge.WriteBuffer(&length, 4);
    huge.SetPosition(0);
    EXPECT_EQ(quill_test::MessageOf<classlib::EReadError>([&] { mt.ReadData(&huge); }), L"Stream read error");
    EXPECT_EQ(mt.FormatLength(), 0u);
}

// The "data" properties travel through the class library's filer as binary values.
TEST(MediaTypeValue, WrittenOnlyWhenDifferentFromTheAncestor) {
    TMediaType mt(MEDIATYPE_Video), ancestor(MEDIATYPE_Video);
    auto written = [](TMediaType& value, classlib::TPersistent* anc) {
        classlib::TMemoryStream stream;
        classlib::TWriter writer(&stream);
        writer.SetAncestor(anc);
        value.DefineProperties(&writer);
        return stream.Size();
    };
    EXPECT_GT(written(mt, nullptr), 72);
    EXPECT_EQ(written(mt, &ancestor), 0);
    mt.SetSubType(MEDIASUBTYPE_RGB24);
    EXPECT_GT(written(mt, &ancestor), 72);
}

}  // namespace
