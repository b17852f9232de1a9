// Errors and media-type utilities: error texts and codes, media types copied and freed, FourCC
// codes, property pages of a filter without dialogs, running-object-table names.
#include "dshow/ds_helpers.h"

#include <objbase.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include "classlib/exceptions.h"
#include "dshow/ds_functions.h"
#include "dshow_test_support.h"
#include "exception_text.h"

using namespace dshow;
using dshow_test::ComPtr;

namespace {

// Every test of this executable runs on an apartment-threaded main thread, as the program does.
class ComEnvironment : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};
const auto* const kComEnvironment = testing::AddGlobalTestEnvironment(new ComEnvironment);

// A reference-counted object that records its count, to see pUnk handled.
class TCounted : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** o) override { *o = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
    virtual ~TCounted() = default;
    ULONG count = 1;
};

TEST(CheckDSError, SuccessCodesPassThrough) {
    EXPECT_EQ(CheckDSError(S_OK), S_OK);
    EXPECT_EQ(CheckDSError(S_FALSE), 1);
    EXPECT_EQ(CheckDSError(VFW_S_STATE_INTERMEDIATE), VFW_S_STATE_INTERMEDIATE);
}

TEST(CheckDSError, FailureRaisesWithTextAndCode) {
    for (HRESULT hr : {E_FAIL, static_cast<HRESULT>(VFW_E_NOT_CONNECTED), E_NOINTERFACE}) {
        try {
            CheckDSError(hr);
            FAIL() << "no exception for " << std::hex << hr;
        } catch (const EDirectShowException& e) {
            EXPECT_EQ(e.ErrorCode(), hr);
            const std::wstring tail = L" ($" + dshow_test::Hex(static_cast<std::uint32_t>(hr), 8) + L").";
            const std::wstring& m = e.Message();
            ASSERT_GT(m.size(), tail.size());
            EXPECT_EQ(m.substr(m.size() - tail.size()), tail);
            EXPECT_EQ(m.substr(0, m.size() - tail.size()), GetErrorString(hr));
        }
    }
    // The platform has a sentence for the DirectShow codes.
    EXPECT_FALSE(GetErrorString(VFW_E_NOT_CONNECTED).empty());
}

TEST(MediaType, CopyOwnsItsFormatAndReference) {
    TCounted counted;
    AM_MEDIA_TYPE source = {};
    source.majortype = MEDIATYPE_Video;
    source.subtype = MEDIASUBTYPE_RGB24;
    source.cbFormat = 88;
    source.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(88));
    for (int i = 0; i < 88; ++i) source.pbFormat[i] = static_cast<BYTE>(i);
    source.pUnk = &counted;

    AM_MEDIA_TYPE copy = {};
    CopyMediaType(&copy, &source);
    EXPECT_NE(copy.pbFormat, source.pbFormat);
    EXPECT_EQ(copy.cbFormat, 88u);
    EXPECT_EQ(std::memcmp(copy.pbFormat, source.pbFormat, 88), 0);
    EXPECT_TRUE(IsEqualGUID(copy.subtype, MEDIASUBTYPE_RGB24));
    EXPECT_EQ(counted.count, 2u);

    FreeMediaType(copy);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_EQ(copy.pbFormat, nullptr);
    EXPECT_EQ(copy.pUnk, nullptr);
    EXPECT_EQ(counted.count, 1u);

    // Without a format block only the record is copied.
    AM_MEDIA_TYPE bare = {};
    bare.majortype = MEDIATYPE_Audio;
    AM_MEDIA_TYPE bareCopy;
    std::memset(&bareCopy, 0xCD, sizeof(bareCopy));
    CopyMediaType(&bareCopy, &bare);
    EXPECT_EQ(std::memcmp(&bareCopy, &bare, sizeof(bare)), 0);

    auto* heap = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    CopyMediaType(heap, &source);
    EXPECT_EQ(counted.count, 2u);
    DeleteMediaType(heap);
    EXPECT_EQ(counted.count, 1u);
    DeleteMediaType(nullptr);
    source.pUnk = nullptr;
    FreeMediaType(source);
}

TEST(MediaType, CopyOntoItselfIsRefused) {
    AM_MEDIA_TYPE mt = {};
    EXPECT_NE(quill_test::MessageOf<classlib::EAssertionFailed>([&] { CopyMediaType(&mt, &mt); }),
              L"<no exception>");
}

TEST(FourCC, BothDirections) {
    EXPECT_EQ(FourCCFromString(L"dvsd"), 0x64737664u);
    EXPECT_EQ(FourCCFromString(L"YUY2 and more"), MAKEFOURCC('Y', 'U', 'Y', '2'));
    EXPECT_EQ(FourCCToString(0x64737664), L"dvsd");
    EXPECT_EQ(FourCCToString(FourCCFromString(L"MJPG")), L"MJPG");
    EXPECT_EQ(FourCCToString(0x64737601), L"");
    EXPECT_EQ(FourCCToString(0x1F737664), L"");
    EXPECT_EQ(FourCCToString(0x20202020), L"    ");
    EXPECT_NE(quill_test::MessageOf<classlib::EAssertionFailed>([] { FourCCFromString(L"dvs"); }), L"<no exception>");
}

TEST(PropertyPages, FilterWithoutDialogsAnswersTheQueryFailure) {
    ComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(dshow_test::kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    EXPECT_EQ(ShowFilterPropertyPage(nullptr, filter.Get(), pkCaptureSource), E_NOINTERFACE);
    EXPECT_EQ(ShowFilterPropertyPage(nullptr, filter.Get(), pkCompressorAbout), E_NOINTERFACE);
    EXPECT_EQ(ShowFilterPropertyPage(nullptr, nullptr, pkFilterPages), S_FALSE);
    EXPECT_EQ(ShowFilterPropertyPage(nullptr, filter.Get(), static_cast<TPropertyPageKind>(6)), S_FALSE);
}

TEST(DisconnectPin, UnconnectedPinAnswersFalse) {
    ComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(dshow_test::kNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    ComPtr<IPin> pin = dshow_test::FindPin(filter.Get(), PINDIR_INPUT);
    ASSERT_TRUE(pin);
    EXPECT_EQ(DisconnectPin(pin.Get()), S_FALSE);
    EXPECT_EQ(DisconnectPin(nullptr), E_POINTER);
}

}  // namespace
