// The tee, the colour converter, the event poster and the test crossbar are listed in their
// categories under their names, bind by moniker, by display name and from a stored moniker.
#include <objbase.h>

#include <gtest/gtest.h>

#include "dshow/ds_devices.h"
#include "first_standins_support.h"
#include "platform/standins/event_poster.h"
#include "platform/standins/test_crossbar.h"

using namespace first_standins;

namespace {

struct Listed {
    GUID Category;
    const wchar_t* Name;
    CLSID Clsid;
};

std::wstring DisplayName(IMoniker* Moniker) {
    ComPtr<IBindCtx> context;
    CreateBindCtx(0, &context);
    LPOLESTR name = nullptr;
    if (FAILED(Moniker->GetDisplayName(context.Get(), nullptr, &name))) return L"";
    std::wstring text(name);
    CoTaskMemFree(name);
    return text;
}

ComPtr<IBaseFilter> Bind(IMoniker* Moniker) {
    ComPtr<IBaseFilter> filter;
    if (Moniker != nullptr)
        Moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    return filter;
}

class FirstStandinsListing : public testing::TestWithParam<Listed> {
protected:
    ComScope com_;
};

TEST_P(FirstStandinsListing, ListedUnderItsNameAndBoundThreeWays) {
    const Listed& expected = GetParam();
    dshow::TSysDevEnum devices(expected.Category);
    const int index = devices.FilterIndexOfFriendlyName(expected.Name);
    ASSERT_GE(index, 0) << "not listed";
    EXPECT_EQ(devices.GetFilter(index).FriendlyName, expected.Name);
    EXPECT_TRUE(IsEqualGUID(devices.GetFilter(index).CLSID, expected.Clsid));

    // By moniker.
    ComPtr<IMoniker> moniker = devices.GetMoniker(index);
    ASSERT_TRUE(moniker);
    ComPtr<IBaseFilter> byMoniker = Bind(moniker.Get());
    ASSERT_TRUE(byMoniker);
    EXPECT_TRUE(IsEqualGUID(ClassOf(byMoniker.Get()), expected.Clsid));

    // By display name, as a stored name is bound again.
    const std::wstring display = DisplayName(moniker.Get());
    EXPECT_EQ(display.rfind(L"@device:sw:", 0), 0u) << display.c_str();
    ComPtr<IBindCtx> context;
    ASSERT_HRESULT_SUCCEEDED(CreateBindCtx(0, &context));
    ULONG eaten = 0;
    ComPtr<IMoniker> parsed;
    ASSERT_HRESULT_SUCCEEDED(MkParseDisplayName(context.Get(), display.c_str(), &eaten, &parsed));
    ComPtr<IBaseFilter> byName = Bind(parsed.Get());
    ASSERT_TRUE(byName);
    EXPECT_TRUE(IsEqualGUID(ClassOf(byName.Get()), expected.Clsid));
    EXPECT_NE(byName.Get(), byMoniker.Get());  // a new object each time

    // Through the program's stored moniker.
    dshow::TBaseFilter stored;
    stored.SetMoniker(moniker.Get());
    ASSERT_GT(stored.DataLength(), 0);
    ComPtr<IBaseFilter> fromStore = stored.CreateFilter();
    ASSERT_TRUE(fromStore);
    EXPECT_TRUE(IsEqualGUID(ClassOf(fromStore.Get()), expected.Clsid));

    // Its name as a graph member comes from the graph.
    ComPtr<IGraphBuilder> graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ASSERT_TRUE(graph);
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(byName.Get(), expected.Name));
    FILTER_INFO info{};
    ASSERT_HRESULT_SUCCEEDED(byName->QueryFilterInfo(&info));
    EXPECT_STREQ(info.achName, expected.Name);
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph.Get())) ;
    if (info.pGraph != nullptr) info.pGraph->Release();
    EXPECT_HRESULT_SUCCEEDED(graph->RemoveFilter(byName.Get()));
}

INSTANTIATE_TEST_SUITE_P(
    Standins, FirstStandinsListing,
    testing::Values(Listed{CLSID_LegacyAmFilterCategory, L"Infinite Pin Tee Filter", CLSID_InfTee},
                    Listed{CLSID_LegacyAmFilterCategory, L"Color Space Converter", CLSID_Colour},
                    Listed{CLSID_LegacyAmFilterCategory, standins::kEventPosterName, standins::CLSID_QuillEventPoster},
                    Listed{standins::kCrossbarCategory, standins::kTestCrossbarName, standins::CLSID_QuillTestCrossbar}));

TEST(FirstStandinsListing, CreatedByClassIdTheyAnswerTheirInterfaces) {
    ComScope com;
    ComPtr<IBaseFilter> tee = Create<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
    ComPtr<IBaseFilter> converter = Create<IBaseFilter>(CLSID_Colour, IID_IBaseFilter);
    ComPtr<standins::IQuillEventPoster> poster =
        Create<standins::IQuillEventPoster>(standins::CLSID_QuillEventPoster, standins::IID_IQuillEventPoster);
    ComPtr<IAMCrossbar> crossbar = Create<IAMCrossbar>(standins::CLSID_QuillTestCrossbar, IID_IAMCrossbar);
    ASSERT_TRUE(tee && converter && poster && crossbar);
    // The stock pin layout the preview relies on: pin 0 the input, pin 1 the first output.
    EXPECT_EQ(PinName(PinAt(tee.Get(), 0).Get()), L"Input");
    EXPECT_EQ(PinName(PinAt(tee.Get(), 1).Get()), L"Output1");
    EXPECT_EQ(PinCount(tee.Get()), 2);
    EXPECT_EQ(PinCount(converter.Get()), 2);
    PIN_DIRECTION dir = PINDIR_OUTPUT;
    PinAt(converter.Get(), 0)->QueryDirection(&dir);
    EXPECT_EQ(dir, PINDIR_INPUT);
    PinAt(converter.Get(), 1)->QueryDirection(&dir);
    EXPECT_EQ(dir, PINDIR_OUTPUT);
}

}  // namespace
