// The start-up DirectX check: no question from DirectX 9 on; below it a Yes/No warning whose only
// way on is Yes.
#include "ui/start_up.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/message_box.h"

namespace {

struct Asked {
    int count = 0;
    std::wstring text;
    std::wstring caption;
    UINT flags = 0;
};

class DirectXCheckTest : public ::testing::Test {
protected:
    void Answer(int answer) {
        classlib::SetMessageBoxFunction([this, answer](HWND, const std::wstring& text, const std::wstring& caption,
                                                       UINT flags) {
            ++asked.count;
            asked.text = text;
            asked.caption = caption;
            asked.flags = flags;
            return answer;
        });
    }
    void TearDown() override { classlib::SetMessageBoxFunction(nullptr); }
    Asked asked;
};

TEST_F(DirectXCheckTest, NineAndLaterGoOnWithoutAQuestion) {
    Answer(IDNO);
    EXPECT_TRUE(ui::ConfirmDirectXVersion(9, L"9.0c"));
    EXPECT_TRUE(ui::ConfirmDirectXVersion(12, L"12"));
    EXPECT_EQ(0, asked.count);
}

TEST_F(DirectXCheckTest, OlderAsksAndOnlyYesGoesOn) {
    Answer(IDYES);
    EXPECT_TRUE(ui::ConfirmDirectXVersion(8, L"8.1"));
    ASSERT_EQ(1, asked.count);
    EXPECT_EQ(L"You use DirectX 8.1.\r\n"
              L"You should use at least directX 9 in order to run correctly Quillotrane version 6.0.5 En.\r\n"
              L"Do you want to continue anyway? If yes, the application may not work well.",
              asked.text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONWARNING), asked.flags & (MB_TYPEMASK | MB_ICONMASK));

    Answer(IDNO);
    EXPECT_FALSE(ui::ConfirmDirectXVersion(8, L"8.1"));
    // A box closed some other way answers neither.
    Answer(IDCANCEL);
    EXPECT_FALSE(ui::ConfirmDirectXVersion(8, L"8.1"));
    Answer(0);
    EXPECT_FALSE(ui::ConfirmDirectXVersion(8, L"8.1"));
}

TEST_F(DirectXCheckTest, UnreadableVersionIsAskedAboutWithItsText) {
    // A missing or odd registry value reads as major 0 with the text "Error"; a version text that
    // looks like a format is shown as it is.
    Answer(IDNO);
    EXPECT_FALSE(ui::ConfirmDirectXVersion(0, L"Error"));
    EXPECT_EQ(0u, asked.text.find(L"You use DirectX Error.\r\n"));
    EXPECT_FALSE(ui::ConfirmDirectXVersion(0, L"%s%d"));
    EXPECT_EQ(0u, asked.text.find(L"You use DirectX %s%d.\r\n"));
}

}  // namespace
