// The picture dialogs and the file-name edit's wide dialog: JPEG files read back (bad ones
// refused), the preview's size line and fitted picture, the preview in the system's open dialog
// driven as a user selects files in its list, names outside the code page (Greek, CJK) chosen with
// the edit's button, and the edit's text kept without OEM conversion.
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/jpeg_image.h"
#include "kit_test_support.h"
#include "painted_ink.h"
#include "window_screenshot.h"
#include "widgets/kit/file_util.h"
#include "widgets/kit/path_edit.h"
#include "widgets/kit/picture_dialogs.h"

using namespace classlib;
using namespace widgets::kit;
using kittest::TScratchFolder;
using kittest::TWindowDriver;

namespace {

const std::wstring kGreek = L"\x039a\x03b1\x03bb\x03b7\x03bc\x03ad\x03c1\x03b1";
const std::wstring kCjk = L"\x65e5\x672c\x8a9e\x30c6\x30ad\x30b9\x30c8";

void WriteBytes(const std::wstring& Name, const void* Data, size_t Size) {
    HANDLE h = CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, Data, static_cast<DWORD>(Size), &written, nullptr);
    CloseHandle(h);
}

// A 24-bit bitmap file of one colour.
void WriteBmp(const std::wstring& Name, int Width, int Height, COLORREF Colour) {
    const int stride = (Width * 3 + 3) & ~3;
    std::vector<BYTE> file(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + static_cast<size_t>(stride * Height));
    auto* head = reinterpret_cast<BITMAPFILEHEADER*>(file.data());
    head->bfType = 0x4D42;
    head->bfSize = static_cast<DWORD>(file.size());
    head->bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    auto* info = reinterpret_cast<BITMAPINFOHEADER*>(file.data() + sizeof(BITMAPFILEHEADER));
    info->biSize = sizeof(BITMAPINFOHEADER);
    info->biWidth = Width;
    info->biHeight = Height;
    info->biPlanes = 1;
    info->biBitCount = 24;
    BYTE* bits = file.data() + head->bfOffBits;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            BYTE* p = bits + y * stride + x * 3;
            p[0] = GetBValue(Colour);
            p[1] = GetGValue(Colour);
            p[2] = GetRValue(Colour);
        }
    WriteBytes(Name, file.data(), file.size());
}

// A JPEG of one colour, its bytes.
std::vector<std::uint8_t> JpegBytes(int Width, int Height, COLORREF Colour) {
    std::vector<BYTE> pixels(static_cast<size_t>(Width * Height * 3));
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = GetBValue(Colour);
        pixels[i + 1] = GetGValue(Colour);
        pixels[i + 2] = GetRValue(Colour);
    }
    TJPEGImage jpeg;
    jpeg.Assign(pixels.data(), Width * 3, Width, Height);
    jpeg.SetCompressionQuality(95);
    jpeg.Compress();
    return jpeg.Data();
}

bool Near(COLORREF A, COLORREF B, int Slack = 12) {
    return std::abs(GetRValue(A) - GetRValue(B)) <= Slack && std::abs(GetGValue(A) - GetGValue(B)) <= Slack &&
           std::abs(GetBValue(A) - GetBValue(B)) <= Slack;
}

using TDrawn = quill_test::TInk;

// What Painter draws near Colour into a Width x Height bitmap.
template <typename Paint>
TDrawn DrawnBox(int Width, int Height, COLORREF Colour, Paint&& Painter) {
    return quill_test::InkWhere([Colour](COLORREF Pixel) { return Near(Pixel, Colour); }, Width, Height, Painter);
}

TDrawn PreviewDrawn(const TPicturePreview& Preview, int Width, int Height, COLORREF Colour) {
    return DrawnBox(Width, Height, Colour, [&](HDC dc) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.CtlID = TPicturePreview::kPictureBoxId;
        item.hDC = dc;
        item.rcItem = {0, 0, Width, Height};
        EXPECT_TRUE(Preview.DrawItem(item));
    });
}

TEST(KitJpeg, FilesReadBackAndBadOnesAreRefusedWithTheirReason) {
    TScratchFolder scratch(L"quill jpeg");
    const std::wstring good = scratch.Name(kCjk + L".jpg");
    std::vector<std::uint8_t> bytes = JpegBytes(40, 30, RGB(20, 60, 220));
    WriteBytes(good, bytes.data(), bytes.size());
    TJPEGImage jpeg;
    jpeg.LoadFromFile(good);
    ASSERT_EQ(jpeg.Width(), 40);
    EXPECT_EQ(jpeg.Height(), 30);
    HBITMAP bitmap = jpeg.CreateBitmap();
    ASSERT_NE(bitmap, nullptr);
    TDrawn drawn = DrawnBox(40, 30, RGB(20, 60, 220), [&](HDC dc) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, bitmap);
        BitBlt(dc, 0, 0, 40, 30, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    });
    DeleteObject(bitmap);
    EXPECT_EQ(drawn.Count, 40 * 30) << "the colour comes back, the right way round";

    // Cut inside its header, or no JPEG at all: the library's reason, and an empty picture.
    const std::wstring cut = scratch.Name(L"cut.jpg");
    WriteBytes(cut, bytes.data(), 60);
    EXPECT_THROW(jpeg.LoadFromFile(cut), EJPEGError);
    EXPECT_TRUE(jpeg.Empty());
    EXPECT_EQ(jpeg.CreateBitmap(), nullptr);
    const std::wstring text = scratch.Name(L"text.jpg");
    WriteBytes(text, "not a picture", 13);
    try {
        jpeg.LoadFromFile(text);
        FAIL() << "no error";
    } catch (const EJPEGError& e) {
        EXPECT_FALSE(e.Message().empty());
    }
    // A header claiming 20000 x 20000 pixels is refused before anything is decoded.
    std::vector<std::uint8_t> huge = bytes;
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 20000 >> 8;
            huge[i + 6] = huge[i + 8] = 20000 & 0xFF;
            break;
        }
    const std::wstring big = scratch.Name(L"big.jpg");
    WriteBytes(big, huge.data(), huge.size());
    try {
        jpeg.LoadFromFile(big);
        FAIL() << "no error";
    } catch (const EJPEGError& e) {
        EXPECT_EQ(e.Message(), L"JPEG image is too large");
    }
    EXPECT_THROW(jpeg.LoadFromFile(scratch.Path() + L"\\missing.jpg"), EOSError);
}

TEST(KitPicturePreview, ShowsTheSizeAndThePictureFittedNeverEnlarged) {
    TScratchFolder scratch(L"quill preview " + kGreek);
    const std::wstring small = scratch.Name(kGreek + L".bmp");
    WriteBmp(small, 64, 48, RGB(255, 0, 0));
    const std::wstring wide = scratch.Name(L"wide.bmp");
    WriteBmp(wide, 400, 100, RGB(0, 255, 0));
    const std::wstring jpeg = scratch.Name(kCjk + L".JPEG");
    std::vector<std::uint8_t> bytes = JpegBytes(40, 30, RGB(20, 60, 220));
    WriteBytes(jpeg, bytes.data(), bytes.size());
    const std::wstring broken = scratch.Name(L"broken.jpg");
    WriteBytes(broken, bytes.data(), 60);
    const std::wstring other = scratch.Name(L"notes.txt");
    WriteBytes(other, "text", 4);

    TPicturePreview preview;
    EXPECT_EQ(preview.SizeText(), L"(None)");
    preview.Select(small);
    EXPECT_EQ(preview.SizeText(), L"64 x 48");
    // Smaller than the box: drawn at its own size, in the middle.
    TDrawn drawn = PreviewDrawn(preview, 132, 132, RGB(255, 0, 0));
    EXPECT_EQ(drawn.Count, 64 * 48);
    EXPECT_EQ(drawn.Left, (132 - 64) / 2);
    EXPECT_EQ(drawn.Top, (132 - 48) / 2);
    // Larger: fitted into the box inside its edge, keeping its shape.
    preview.Select(wide);
    EXPECT_EQ(preview.SizeText(), L"400 x 100");
    drawn = PreviewDrawn(preview, 132, 132, RGB(0, 255, 0));
    EXPECT_EQ(drawn.Right - drawn.Left + 1, 128);
    EXPECT_EQ(drawn.Bottom - drawn.Top + 1, 32);
    preview.Select(jpeg);
    EXPECT_EQ(preview.SizeText(), L"40 x 30") << "a JPEG under a CJK name, extension in capitals";
    EXPECT_EQ(PreviewDrawn(preview, 132, 132, RGB(20, 60, 220)).Count, 40 * 30);
    // Nothing a preview can show: no picture, no error.
    for (const std::wstring& name : {broken, other, scratch.Path() + L"\\gone.bmp", scratch.Path(), std::wstring()}) {
        preview.Select(small);
        EXPECT_NO_THROW(preview.Select(name));
        EXPECT_EQ(preview.SizeText(), L"(None)") << classlib::WideToAnsi(name);
        EXPECT_TRUE(preview.Picture().Empty());
        EXPECT_EQ(PreviewDrawn(preview, 132, 132, RGB(255, 0, 0)).Count, 0);
    }
}

class FileDialogsTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        edit = new TFilenameEdit(form);
        edit->SetParent(form);
    }
    TForm* form = nullptr;
    TFilenameEdit* edit = nullptr;
};

bool IsFileDialog(HWND Window) { return TWindowDriver::ClassOf(Window) == L"#32770"; }

void TypeFileNameAndOk(HWND Dialog, const std::wstring& Name) {
    HWND box = GetDlgItem(Dialog, cmb13);
    if (box == nullptr) box = GetDlgItem(Dialog, edt1);
    HWND inner = FindWindowExW(box, nullptr, L"Edit", nullptr);
    SendMessageW(inner != nullptr ? inner : box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Name.c_str()));
    PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, IDOK)));
}

// Selects the file whose name starts with Stem in the dialog's file list, as a click does.
bool SelectInList(HWND Dialog, const std::wstring& Stem) {
    HWND list = nullptr;
    int index = -1;
    TWindowDriver::WaitFor([&] {
        list = TWindowDriver::FindChild(Dialog, [](HWND w) { return TWindowDriver::ClassOf(w) == L"SysListView32"; });
        if (list == nullptr) return false;
        LVFINDINFOW find{};
        find.flags = LVFI_PARTIAL | LVFI_STRING;
        find.psz = Stem.c_str();
        index = static_cast<int>(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
        return index >= 0;
    });
    if (index < 0) return false;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
    return true;
}

// The preview's size line once it reads Expected (what it reads otherwise).
std::wstring WaitForSizeLine(HWND Dialog, const std::wstring& Expected) {
    std::wstring seen;
    TWindowDriver::WaitFor([&] {
        HWND label = TWindowDriver::ChildWithId(Dialog, TPicturePreview::kSizeLabelId);
        seen = label == nullptr ? L"<no preview>" : TWindowDriver::TextOf(label);
        return seen == Expected;
    });
    return seen;
}

// The preview's picture box painted into a bitmap, as the dialog paints it.
TDrawn BoxDrawn(HWND Dialog, COLORREF Colour) {
    HWND box = TWindowDriver::ChildWithId(Dialog, TPicturePreview::kPictureBoxId);
    RECT r{};
    GetClientRect(box, &r);
    return DrawnBox(r.right, r.bottom, Colour,
                    [&](HDC dc) { SendMessageW(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
}

TEST_F(FileDialogsTest, OpenPictureDialogPreviewsTheSelectedPicture) {
    TScratchFolder scratch(L"quill pictures " + kGreek);
    const std::wstring red = scratch.Name(L"red.bmp");
    WriteBmp(red, 64, 48, RGB(255, 0, 0));
    const std::wstring blue = scratch.Name(kCjk + L".jpg");
    std::vector<std::uint8_t> bytes = JpegBytes(40, 30, RGB(20, 60, 220));
    WriteBytes(blue, bytes.data(), bytes.size());
    edit->SetDialogKind(TFileDialogKind::dkOpenPicture);
    EXPECT_EQ(edit->Dialog()->ClassName(), L"TOpenPictureDialog");
    edit->SetWideText(scratch.Path() + L"\\");
    std::wstring before, bmpLine, jpegLine;
    TDrawn redDrawn, blueDrawn;
    int shot = 0;
    TWindowDriver driver(IsFileDialog, [&](HWND Dialog) {
        before = WaitForSizeLine(Dialog, L"(None)");
        if (SelectInList(Dialog, L"red")) {
            bmpLine = WaitForSizeLine(Dialog, L"64 x 48");
            redDrawn = BoxDrawn(Dialog, RGB(255, 0, 0));
        }
        if (SelectInList(Dialog, kCjk)) {
            jpegLine = WaitForSizeLine(Dialog, L"40 x 30");
            blueDrawn = BoxDrawn(Dialog, RGB(20, 60, 220));
            RedrawWindow(Dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            shot = quill_test::SaveWindowScreenshot(Dialog, kittest::StartFolder() + L"\\open_picture_dialog.bmp");
        }
        TypeFileNameAndOk(Dialog, kCjk + L".jpg");
    });
    edit->ButtonClick();
    driver.Join();
    ASSERT_NE(driver.Found(), nullptr);
    EXPECT_EQ(before, L"(None)") << "nothing selected yet";
    EXPECT_EQ(bmpLine, L"64 x 48");
    EXPECT_EQ(redDrawn.Count, 64 * 48) << "the bitmap drawn whole in the box";
    EXPECT_EQ(jpegLine, L"40 x 30");
    EXPECT_EQ(blueDrawn.Count, 40 * 30) << "the JPEG drawn whole in the box";
    EXPECT_GT(shot, 1000) << "the dialog with its preview, kept in the test's folder";
    EXPECT_EQ(edit->WideFileName(), blue);
}

TEST_F(FileDialogsTest, SavePictureDialogCarriesThePreviewToo) {
    TScratchFolder scratch(L"quill save picture");
    const std::wstring red = scratch.Name(L"red.bmp");
    WriteBmp(red, 64, 48, RGB(255, 0, 0));
    edit->SetDialogKind(TFileDialogKind::dkSavePicture);
    EXPECT_EQ(edit->Dialog()->ClassName(), L"TSavePictureDialog");
    edit->SetWideText(scratch.Path() + L"\\");
    std::wstring line;
    TWindowDriver driver(IsFileDialog, [&](HWND Dialog) {
        if (SelectInList(Dialog, L"red")) line = WaitForSizeLine(Dialog, L"64 x 48");
        PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    edit->ButtonClick();
    driver.Join();
    ASSERT_NE(driver.Found(), nullptr);
    EXPECT_EQ(line, L"64 x 48");
    EXPECT_EQ(edit->WideText(), scratch.Path() + L"\\") << "cancelled: the text stays";
}

TEST_F(FileDialogsTest, NamesOutsideTheCodePageComeBackWholeFromTheButton) {
    for (const std::wstring& leaf : {kGreek + L" clip browser.exe", kCjk + L".exe"}) {
        TScratchFolder scratch(L"quill wide " + kGreek);
        const std::wstring file = scratch.Name(leaf);
        WriteBytes(file, "MZ", 2);
        std::wstring given;
        edit->OnAfterDialog = [&](TObject*, std::wstring& Name, bool&) { given = Name; };
        TWindowDriver driver(IsFileDialog, [&](HWND Dialog) { TypeFileNameAndOk(Dialog, file); });
        edit->ButtonClick();
        driver.Join();
        ASSERT_NE(driver.Found(), nullptr);
        EXPECT_EQ(edit->WideFileName(), file) << "the clip browser's path is whole";
        EXPECT_EQ(edit->Text(), WideToAnsi(TextOfFileName(file))) << "the edit shows the code page's form";
        EXPECT_EQ(given, file) << "the events see the name whole";
        // The next click starts in the chosen file's folder, and keeps it when cancelled.
        std::wstring startedIn;
        TWindowDriver again(IsFileDialog, [&](HWND Dialog) {
            wchar_t folder[MAX_PATH] = {};
            TWindowDriver::WaitFor([&] {
                return SendMessageW(Dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0;
            });
            startedIn = folder;
            PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        edit->ButtonClick();
        again.Join();
        ASSERT_NE(again.Found(), nullptr);
        EXPECT_EQ(StripTrailingBackslash(startedIn), scratch.Path());
        EXPECT_EQ(edit->WideFileName(), file) << "a cancelled dialog keeps the chosen file";
    }
}

TEST_F(FileDialogsTest, TypedNamesAreKeptWithoutOemConversion) {
    // The euro sign and the left quote are in the window code page but not in the OEM one: an
    // OEM round trip would turn the name into another file's.
    EXPECT_EQ(GetWindowLongW(edit->Handle(), GWL_STYLE) & ES_OEMCONVERT, 0);
    const std::string name = "C:\\clips\\\x80 \x91take\x92.avi";
    SetFocus(edit->Handle());
    for (char c : name) SendMessageA(edit->Handle(), WM_CHAR, static_cast<unsigned char>(c), 0);
    EXPECT_EQ(edit->Text(), name);
    EXPECT_EQ(edit->WideFileName(), AnsiToWide(name));
}

}  // namespace
