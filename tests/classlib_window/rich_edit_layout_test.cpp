// A rich edit lays its lines out inside its client area: with a border, at its first size and after
// each resize, the text's format rectangle ends before the client area's right edge does, so that
// the last letters of a full line never fall under the border, and reaches its bottom.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include "classlib/forms.h"
#include "classlib/rich_edit.h"
#include "window_test_support.h"

namespace {

RECT FormatRect(HWND Edit) {
    RECT r{};
    SendMessageW(Edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

TEST(RichEditLayout, TheTextIsLaidOutInsideTheClientAreaAtEverySize) {
    auto* form = new classlib::TForm(classlib::Application());
    form->SetBounds(40, 40, 420, 300);
    auto* edit = new classlib::TRichEdit(form);
    edit->SetParent(form);
    edit->SetBounds(8, 8, 200, 120);
    edit->SetText("A full line of words, and then another one, long enough to wrap more than twice over.");
    form->Show();
    const HWND h = edit->Handle();
    ASSERT_NE(0, GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << "the edit has its border";
    for (int width : {200, 311, 150}) {
        const int height = width / 2;
        edit->SetBounds(8, 8, width, height);
        RECT client{};
        GetClientRect(h, &client);
        ASSERT_LT(client.right, width) << "the border takes its part of " << width;
        const RECT format = FormatRect(h);
        EXPECT_LE(format.right, client.right - 1) << width;
        // The whole client width is used but for that pixel, and the left side is the edit's own.
        EXPECT_GE(format.right, client.right - 2) << width;
        EXPECT_GE(format.left, 0) << width;
        EXPECT_LE(format.left, 2) << width;
        EXPECT_EQ(client.bottom, format.bottom) << "down to the bottom at " << width << "x" << height;
        // A word at a line's end ends where the layout says lines end.
        const int lines = static_cast<int>(SendMessageW(h, EM_GETLINECOUNT, 0, 0));
        EXPECT_GT(lines, 1) << width;
        for (int line = 0; line + 1 < lines; ++line) {
            const int next = static_cast<int>(SendMessageW(h, EM_LINEINDEX, line + 1, 0));
            POINTL end{};
            // The blank that ends the line: its place is where the line's last letter ends.
            SendMessageW(h, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&end), next - 1);
            EXPECT_LE(end.x, client.right) << width << ", line " << line;
        }
    }
    window_test::ResetApplicationForms();
}

}  // namespace
