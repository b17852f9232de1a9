// The built program's layout as a user drives it from the keyboard: the stored panel shown at the
// start, panels changed by their shortcuts, the columns mirrored and the window reduced to its video
// and restored, and what was left shown and mirrored read back at the next start. Screenshots of
// the window in each look are kept in the test's working folder. The program runs from a copy in a
// temporary folder, in portable mode (an INI file beside the copy).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/app/program_run.h"
#include "tests/ui/store_helpers.h"

namespace {

using namespace quill_test;

class ProgramLayoutTest : public ProgramCopyTest {
protected:
    ProgramLayoutTest() : ProgramCopyTest(L"quill-layout-") {}
};

TEST_F(ProgramLayoutTest, PanelsMirrorAndReducedWindowFollowTheKeysAndComeBackAtTheNextStart) {
    // Portable mode with the grab panel stored as the shown one, video at the left.
    WriteIniLines(ini_, {kIniSection, L"Panneau Actif=3", L"EcranGauche=1"});
    {
        ProgramRun run(exe_, folder_);
        ASSERT_NE(nullptr, run.window) << "no main window titled as expected";
        HWND grab = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (grab = run.ShownPanel(L"TExtraireFrame")) != nullptr; }))
            << "the stored panel is shown";
        EXPECT_EQ(427, run.ClientLeft(grab));
        run.Screenshot(L"main_window_grab_panel.bmp");

        run.Post('D', true);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TDossiersFrame") != nullptr; })) << "Alt+D";
        EXPECT_EQ(nullptr, run.ShownPanel(L"TExtraireFrame"));
        run.Post(VK_F6);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TProgrammerFrame") != nullptr; })) << "F6";
        run.Post(VK_F2);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TSourcesFrame") != nullptr; })) << "F2";
        run.Screenshot(L"main_window_sources_panel.bmp");

        // Mirrored: the panels go to the left.
        run.Post('W', true);
        HWND sources = run.ShownPanel(L"TSourcesFrame");
        ASSERT_TRUE(WaitFor([&] { return run.ClientLeft(sources) == 0; })) << "Alt+W";
        run.Screenshot(L"main_window_mirrored.bmp");

        // Reduced to the video panel, then the whole window again.
        run.Post(VK_BACK, true);
        ASSERT_TRUE(WaitFor([&] { return run.ClientSize().cx == 420 && run.ClientSize().cy == 340; }))
            << "Alt+Backspace: " << run.ClientSize().cx << "x" << run.ClientSize().cy;
        EXPECT_TRUE(WaitFor([&] { return run.Caption() != kCaption; })) << "the title names the video";
        run.Screenshot(L"main_window_reduced.bmp");
        run.Post(VK_BACK, true);
        ASSERT_TRUE(WaitFor([&] { return run.ClientSize().cx == 700 && run.ClientSize().cy == 459; }));
        EXPECT_TRUE(WaitFor([&] { return run.Caption() == kCaption; }));
        EXPECT_EQ(0, run.ClientLeft(sources));

        run.Post(VK_F6);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TDossiersFrame") != nullptr; })) << "F6";
        EXPECT_TRUE(run.Close());
    }
    const auto lines = ReadIniLines(ini_);
    EXPECT_EQ(L"1", IniValue(lines, L"Panneau Actif"));
    EXPECT_EQ(L"0", IniValue(lines, L"EcranGauche"));

    ProgramRun again(exe_, folder_);
    ASSERT_NE(nullptr, again.window);
    HWND folders = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (folders = again.ShownPanel(L"TDossiersFrame")) != nullptr; }));
    EXPECT_EQ(0, again.ClientLeft(folders));
    EXPECT_TRUE(again.Close());
}

TEST_F(ProgramLayoutTest, AStoredFullScreenOpensFullScreenOnceThePictureRunsAndEscLeavesIt) {
    WriteIniLines(ini_, {kIniSection, L"Source video=Quillotrane Test Camera", L"Fullscreen On=1"});
    ProgramRun run(exe_, folder_);
    ASSERT_NE(nullptr, run.window) << "no main window titled as expected";
    HWND backdrop = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (backdrop = run.FindCaptioned(L"plaque")) != nullptr; }))
        << "the stored full screen is shown";
    EXPECT_TRUE(IsZoomed(backdrop));
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(backdrop, WM_KEYDOWN, VK_ESCAPE, scan | 1);
    PostMessageW(backdrop, WM_KEYUP, VK_ESCAPE, scan | 0xC0000001);
    EXPECT_TRUE(WaitFor([&] { return run.FindCaptioned(L"plaque") == nullptr; })) << "Esc leaves it";
    EXPECT_TRUE(run.Close());
    EXPECT_EQ(L"0", IniValue(ReadIniLines(ini_), L"Fullscreen On"));
}

}  // namespace
