// A capture card behind the test crossbar: the crossbar found in the crossbar category joins the
// card's analogue input, and building the card's preview routes it to the stored input.
#include "analogue_card.h"
#include "engine_test_support.h"

#include "platform/standins/test_crossbar.h"
#include "settings/settings_catalogue.h"

namespace engine_test {
namespace {

TEST_F(EngineTest, CrossbarIsRoutedToTheStoredInput) {
    RegisteredAnalogueCard card(L"Quillotrane Engine Analogue Card");
    engine::Crossbars().FillCrossbars();
    ASSERT_GE(engine::Crossbars().Count(), 1);
    Enumerate();
    engine::TVideoSource* source = Video(L"Quillotrane Engine Analogue Card");
    ASSERT_NE(nullptr, source);
    settings::TIntegerParameter select(L"Video Input Select", -1, nullptr);
    settings::ParamVideoInputSelect = &select;
    struct Restore {
        ~Restore() { settings::ParamVideoInputSelect = nullptr; }
    } restore;

    // Composite (input 1) stored: the crossbar in front of the card is routed there.
    select.SetValue(1);
    ASSERT_TRUE(source->BuildGraph());
    EXPECT_TRUE(InGraph(L"vid_crossbar"));
    ASSERT_TRUE(module->VideoCrossbar);
    EXPECT_GE(module->VideoCrossbarInputs, 2);
    auto crossbar = engine::Query<IAMCrossbar>(engine::PinOwner(engine::ConnectedTo(
        engine::InputOfCategory(module->VideoSourceFilter.Get(), PIN_CATEGORY_ANALOGVIDEOIN).Get()).Get()).Get(),
        IID_IAMCrossbar);
    ASSERT_TRUE(crossbar);
    long routed = -1;
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_IsRoutedTo(0, &routed));
    EXPECT_EQ(1, routed);
    EXPECT_TRUE(InGraph(L"Superposer"));

    // Rebuilt with no input stored: the route stays as it was.
    select.SetValue(-1);
    ASSERT_TRUE(source->KillGraph(false));
    ASSERT_TRUE(source->BuildGraph());
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_IsRoutedTo(0, &routed));
    EXPECT_EQ(1, routed);
    ASSERT_TRUE(source->KillGraph(true));
    EXPECT_FALSE(InGraph(L"vid_crossbar"));
    EXPECT_FALSE(InGraph(L"vid_source"));
    engine::Crossbars().Clear();
}

}  // namespace
}  // namespace engine_test
