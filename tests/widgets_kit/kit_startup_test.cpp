// The kit's start-up: its cursors from the program's resources in the cursor table, the rich-edit
// library (version 3 on NT 5 or later; version 1 when only the old library exists) and the
// clipboard formats.
#include <gtest/gtest.h>

#include "classlib/application.h"
#include "widgets/kit/kit_startup.h"

using namespace widgets::kit;

namespace {

TEST(KitStartup, CursorsRichEditAndClipboardFormats) {
    InitializeKit();
    EXPECT_NE(classlib::Screen()->Cursors(crKitHand), nullptr);
    EXPECT_NE(classlib::Screen()->Cursors(crKitDrag), nullptr);
    EXPECT_NE(classlib::Screen()->Cursors(crKitHand), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_NE(classlib::Screen()->Cursors(crKitHand), classlib::Screen()->Cursors(crKitDrag));
    const TRichEditState& s = RichEditState();
    ASSERT_NE(s.Library, nullptr);
    EXPECT_EQ(RichEditVersion(), 3);  // Wine reports Windows NT 6 or later
    EXPECT_EQ(s.Library, GetModuleHandleW(L"RICHED20.DLL"));
    WNDCLASSW wc{};
    EXPECT_TRUE(GetClassInfoW(nullptr, L"RichEdit20W", &wc));
    EXPECT_EQ(s.CFRtf, RegisterClipboardFormatW(L"Rich Text Format"));
    EXPECT_NE(s.CFEmbeddedObject, 0u);
    EXPECT_NE(s.CFLinkSource, 0u);
    EXPECT_NE(s.CFRtfNoObjects, s.CFRtf);
    FinalizeKit();
    EXPECT_EQ(classlib::Screen()->Cursors(crKitHand), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(RichEditState().Library, nullptr);
    InitializeKit();
}

TEST(KitStartup, OnlyTheOldLibraryGivesVersionOne) {
    TRichEditState s = LoadRichEditLibrary(L"NO_SUCH_RICHED20.DLL", L"RICHED32.DLL");
    ASSERT_NE(s.Library, nullptr);
    EXPECT_EQ(s.Version, 1);
    EXPECT_EQ(s.Library, GetModuleHandleW(L"RICHED32.DLL"));
    FreeLibrary(s.Library);
    TRichEditState none = LoadRichEditLibrary(L"NO_SUCH_A.DLL", L"NO_SUCH_B.DLL");
    EXPECT_EQ(none.Library, nullptr);
    EXPECT_EQ(none.Version, 1);
}

}  // namespace
