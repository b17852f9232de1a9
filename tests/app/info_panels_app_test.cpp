// The built program's panels and shortcuts window as a user opens them from the keyboard: all nine
// panels in turn with the next-panel key, the clip list, help and about panels by their own keys
// (screenshots kept in the test's working folder), and the shortcuts window shown by F11, closed
// from its own close box for good, and shown again by the next F11.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/app/program_run.h"
#include "tests/ui/store_helpers.h"

namespace {

using namespace quill_test;

const std::wstring kShortcutsCaption = L"The commands of Quillotrane 6.0.5En";

class ProgramPanelsTest : public ProgramCopyTest {
protected:
    ProgramPanelsTest() : ProgramCopyTest(L"quill-panels-app-") {}
    void SetUp() override {
        ProgramCopyTest::SetUp();
        // Portable mode, the sources panel shown first.
        WriteIniLines(ini_, {kIniSection, L"Panneau Actif=0"});
    }
};

TEST_F(ProgramPanelsTest, EveryPanelAndTheShortcutsWindowOpenFromTheKeyboard) {
    ProgramRun run(exe_, folder_);
    ASSERT_NE(nullptr, run.window) << "no main window titled as expected";
    const wchar_t* const panels[] = {L"TSourcesFrame",   L"TDossiersFrame", L"TProgrammerFrame",
                                     L"TExtraireFrame",  L"TIncrusterFrame", L"TOptionsFrame",
                                     L"TListeFrame",     L"THelpFrame",     L"TAproposFrame"};
    ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(panels[0]) != nullptr; }));
    for (int i = 1; i <= 9; ++i) {
        ASSERT_TRUE(run.Post(VK_F6));
        const wchar_t* next = panels[i % 9];
        // The overlay and settings panels' windows may still carry their base's class name.
        const bool baseName = i == 4 || i == 5;
        EXPECT_TRUE(WaitFor([&] {
            return run.ShownPanel(next) != nullptr || (baseName && run.ShownPanel(L"TPanelFrame") != nullptr);
        })) << "F6 to " << i % 9;
    }

    struct TKey {
        WORD Key;
        bool Alt;
        const wchar_t* Panel;
        const wchar_t* Screenshot;
    };
    const TKey keys[] = {{'L', true, L"TListeFrame", L"program_clip_list_panel.bmp"},
                         {VK_F1, false, L"THelpFrame", L"program_help_panel.bmp"},
                         {'A', true, L"TAproposFrame", L"program_about_panel.bmp"}};
    for (const TKey& key : keys) {
        ASSERT_TRUE(run.Post(key.Key, key.Alt));
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(key.Panel) != nullptr; })) << key.Panel;
        EXPECT_GT(run.Screenshot(key.Screenshot), 1000) << key.Screenshot;
    }

    ASSERT_TRUE(run.Post(VK_F11));
    HWND shortcuts = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (shortcuts = run.FindCaptioned(kShortcutsCaption)) != nullptr; })) << "F11";
    // Its grid painted: the header row is light where the window was black before.
    EXPECT_TRUE(WaitFor([&] {
        POINT header{20, 8};
        ClientToScreen(shortcuts, &header);
        HDC screen = GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, header.x, header.y);
        ReleaseDC(nullptr, screen);
        return colour != CLR_INVALID && GetRValue(colour) > 128 && GetGValue(colour) > 128;
    })) << "the shortcuts grid is not painted";
    SaveWindowScreenshot(shortcuts, L"program_shortcuts_window.bmp");
    // Its own close box: hidden, and not shown again behind the user's back.
    PostMessageW(shortcuts, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(shortcuts); }));
    // Answered once the close has been handled whole: a window shown again within it shows now.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(shortcuts, WM_NULL, 0, 0, SMTO_BLOCK, kTimeoutMs, &answer));
    EXPECT_FALSE(IsWindowVisible(shortcuts));
    // The toggle followed: the next F11 shows it, the one after hides it.
    ASSERT_TRUE(run.Post(VK_F11));
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(shortcuts) != FALSE; })) << "F11 after the close";
    ASSERT_TRUE(run.Post(VK_F11));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(shortcuts); })) << "F11 again";
    EXPECT_TRUE(run.Close());
}

}  // namespace
