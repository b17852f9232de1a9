// The file drag source: its formats read as drop targets read them, the drag decisions, the
// clipboard, and a real OLE drag onto a test drop target that reads the files at drag-enter.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>

#include "custom_test_support.h"
#include "classlib/image_list.h"
#include "drag_test_support.h"
#include "widgets/custom/drop_source.h"

using namespace customtest;
using widgets::custom::TDragType;
using widgets::custom::TDropFileSourceW;

namespace {

class DropSourceTest : public CustomTest {
protected:
    void SetUp() override {
        CustomTest::SetUp();
        a = folder.Write(L"clip one.avi", "0123456789");
        b = folder.Write(L"pic\x00E9.bmp", "BM");
        source = new TDropFileSourceW(nullptr);
        source->Files()->Add(a);
        source->Files()->Add(b);
    }
    void TearDown() override {
        delete source;
        CustomTest::TearDown();
    }
    TempFolder folder;
    std::wstring a, b;
    TDropFileSourceW* source = nullptr;
};

TEST_F(DropSourceTest, FileDropBlockHoldsTheWideNames) {
    TDropFileSourceW two(nullptr);
    two.Files()->Add(L"C:\\a\\b.avi");     // 10 characters
    two.Files()->Add(L"C:\\c\\de.jpeg");   // 12
    FORMATETC etc = Etc(CF_HDROP);
    STGMEDIUM m{};
    ASSERT_EQ(two.GetData(&etc, &m), S_OK);
    EXPECT_EQ(GlobalSize(m.hGlobal), 20u + 22u + 26u + 2u);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(m.hGlobal));
    EXPECT_EQ(drop->pFiles, 20u);
    EXPECT_NE(drop->fWide, 0);
    GlobalUnlock(m.hGlobal);
    EXPECT_EQ(DropNames(static_cast<HDROP>(m.hGlobal)), (std::vector<std::wstring>{L"C:\\a\\b.avi", L"C:\\c\\de.jpeg"}));
    ReleaseStgMedium(&m);
}

TEST_F(DropSourceTest, FormatsAnsweredAndRefused) {
    const auto& cf = widgets::custom::ShellClipboardFormats();
    STGMEDIUM m{};
    FORMATETC etc = Etc(cf.ShellIDListArray);
    ASSERT_EQ(source->GetData(&etc, &m), S_OK);
    EXPECT_EQ(IdListPaths(m.hGlobal), (std::vector<std::wstring>{a, b}));
    ReleaseStgMedium(&m);
    // The name maps only with one mapped name per file.
    source->MappedNames()->Add(L"renamed.avi");
    etc = Etc(cf.FileNameMapW);
    EXPECT_EQ(source->GetData(&etc, &m), DV_E_FORMATETC);
    source->MappedNames()->Add(L"\x00E9t\x00E9.bmp");
    ASSERT_EQ(source->GetData(&etc, &m), S_OK);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(m.hGlobal)), 12), std::wstring(L"renamed.avi\0\x00E9", 12));
    GlobalUnlock(m.hGlobal);
    ReleaseStgMedium(&m);
    // Other aspects and media, other formats, and no files at all.
    etc = Etc(CF_HDROP, DVASPECT_THUMBNAIL);
    EXPECT_EQ(source->GetData(&etc, &m), DV_E_FORMATETC);
    etc = Etc(CF_HDROP, DVASPECT_CONTENT, TYMED_ISTREAM);
    EXPECT_EQ(source->QueryGetData(&etc), E_FAIL);
    etc = Etc(CF_TEXT);
    EXPECT_EQ(source->QueryGetData(&etc), E_FAIL);
    EXPECT_EQ(source->GetData(&etc, &m), DV_E_FORMATETC);
    etc = Etc(CF_HDROP);
    EXPECT_EQ(source->QueryGetData(&etc), S_OK);
    source->Files()->Clear();
    EXPECT_EQ(source->GetData(&etc, &m), E_UNEXPECTED);
}

TEST_F(DropSourceTest, EnumeratorWalksTheFiveFormats) {
    IEnumFORMATETC* e = nullptr;
    EXPECT_EQ(source->EnumFormatEtc(DATADIR_SET, &e), E_NOTIMPL);
    ASSERT_EQ(source->EnumFormatEtc(DATADIR_GET, &e), S_OK);
    FORMATETC got[8];
    ULONG n = 0;
    EXPECT_EQ(e->Next(2, got, &n), S_OK);
    EXPECT_EQ(got[0].cfFormat, CF_HDROP);
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(e->Skip(5), S_FALSE);
    EXPECT_EQ(e->Next(1, got, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(clone->Next(8, got, &n), S_FALSE);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(got[2].cfFormat, widgets::custom::ShellClipboardFormats().FileNameMapW);
    clone->Release();
    e->Release();
}

// An image list of Count plain 16 x 16 pictures.
classlib::TImageList* MakeImages(int Count) {
    auto* images = new classlib::TImageList(nullptr);
    classlib::TWindowDC screen(nullptr);
    for (int i = 0; i < Count; ++i) {
        HBITMAP b = CreateCompatibleBitmap(screen.Get(), 16, 16);
        images->Add(b, nullptr);
        DeleteObject(b);
    }
    return images;
}

TEST_F(DropSourceTest, DragImageFollowsItsList) {
    EXPECT_EQ(source->ImageHotSpotX(), 16);
    source->SetShowImage(true);
    EXPECT_FALSE(source->ShowImage());  // no list, no image
    classlib::TImageList* images = MakeImages(2);
    source->SetImages(images);
    EXPECT_TRUE(source->ShowImage());
    source->SetImageIndex(1);
    source->SetImageIndex(2);  // past the end: ignored
    EXPECT_EQ(source->ImageIndex(), 1);
    source->SetImageIndex(-1);
    EXPECT_EQ(source->ImageIndex(), 0);
    EXPECT_FALSE(source->ShowImage());
    source->SetShowImage(true);
    delete images;  // the list goes: so do the image and its index
    EXPECT_EQ(source->Images(), nullptr);
    EXPECT_FALSE(source->ShowImage());
}

TEST_F(DropSourceTest, DragDecisions) {
    std::vector<TDragType> drops;
    bool allow = true;
    source->OnDrop = [&](classlib::TObject*, TDragType t, bool& go) {
        drops.push_back(t);
        go = allow;
    };
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), S_OK);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_LINK), DRAGDROP_S_USEDEFAULTCURSORS);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_CANCEL);  // link is not allowed
    source->GiveFeedback(DROPEFFECT_COPY | DROPEFFECT_MOVE);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    allow = false;
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_CANCEL);
    EXPECT_EQ(drops, (std::vector<TDragType>{TDragType::dtCopy, TDragType::dtCopy}));
}

TEST_F(DropSourceTest, CopyAndCutPutTheFilesOnTheClipboard) {
    const UINT effectFormat = widgets::custom::ShellClipboardFormats().PreferredDropEffect;
    auto readBack = [&](DWORD& effect) {
        std::vector<std::wstring> names;
        if (!OpenClipboard(nullptr)) return names;
        if (HANDLE h = GetClipboardData(CF_HDROP)) names = DropNames(static_cast<HDROP>(h));
        if (HANDLE h = GetClipboardData(effectFormat)) {
            effect = *static_cast<DWORD*>(GlobalLock(h));
            GlobalUnlock(h);
        }
        CloseClipboard();
        return names;
    };
    DWORD effect = 0;
    ASSERT_TRUE(source->CopyToClipboard());
    EXPECT_EQ(readBack(effect), (std::vector<std::wstring>{a, b}));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_TRUE(source->CutToClipboard());
    readBack(effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    source->Files()->Clear();
    EXPECT_FALSE(source->CopyToClipboard());
}

}  // namespace

namespace {

TEST_F(DropSourceTest, ARealDragIsReadByATargetAtDragEnter) {
    ReadingDropTarget target;
    int result = -1;
    int drops = 0;
    source->OnDrop = [&](classlib::TObject*, TDragType, bool&) { ++drops; };
    std::unique_ptr<classlib::TImageList> images(MakeImages(1));
    source->SetImages(images.get());  // the drag shows an image
    TargetWindow window(&target, RECT{100, 100, 300, 300});
    ASSERT_TRUE(window.Ready());
    PressLeftAt(200, 200);
    {
        DragWatchdog watchdog;
        result = source->Execute();
    }
    EXPECT_EQ(target.enterNames, (std::vector<std::wstring>{a, b}));
    EXPECT_EQ(target.enterIdPaths, (std::vector<std::wstring>{a, b}));
    EXPECT_TRUE(target.dropped);
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(result, widgets::custom::drCopy);
}

}  // namespace
