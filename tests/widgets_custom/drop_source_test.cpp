// The file drag source: its formats read as drop targets read them, the drag decisions, the
// clipboard, and a real OLE drag onto a test drop target that reads the files at drag-enter.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>

#include "custom_test_support.h"
#include "widgets/custom/drop_source.h"

using namespace customtest;
using widgets::custom::TDragType;
using widgets::custom::TDropFileSourceW;

namespace {

FORMATETC Etc(UINT Format, DWORD Aspect = DVASPECT_CONTENT, DWORD Tymed = TYMED_HGLOBAL) {
    return FORMATETC{static_cast<CLIPFORMAT>(Format), nullptr, Aspect, -1, Tymed};
}

// The names of a file-drop block, as a drop target reads them.
std::vector<std::wstring> DropNames(HDROP Drop) {
    std::vector<std::wstring> names;
    const UINT n = DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        wchar_t buf[MAX_PATH];
        DragQueryFileW(Drop, i, buf, MAX_PATH);
        names.push_back(buf);
    }
    return names;
}

// The paths an ID-list array names (its parent joined with each item).
std::vector<std::wstring> IdListPaths(HGLOBAL Block) {
    std::vector<std::wstring> paths;
    auto* cida = static_cast<CIDA*>(GlobalLock(Block));
    auto* base = reinterpret_cast<const BYTE*>(cida);
    auto parent = reinterpret_cast<PCIDLIST_ABSOLUTE>(base + cida->aoffset[0]);
    for (UINT i = 0; i < cida->cidl; ++i) {
        PIDLIST_ABSOLUTE full = ILCombine(parent, reinterpret_cast<PCUIDLIST_RELATIVE>(base + cida->aoffset[i + 1]));
        wchar_t buf[MAX_PATH] = {};
        SHGetPathFromIDListW(full, buf);
        paths.push_back(buf);
        ILFree(full);
    }
    GlobalUnlock(Block);
    return paths;
}

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

// A drop target that reads the files at drag-enter, as the shell's targets do.
class ReadingDropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** p) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *p = this;
            return S_OK;
        }
        *p = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC etc = Etc(CF_HDROP);
        STGMEDIUM m{};
        if (data->GetData(&etc, &m) == S_OK) {
            enterNames = DropNames(static_cast<HDROP>(m.hGlobal));
            ReleaseStgMedium(&m);
        }
        etc = Etc(widgets::custom::ShellClipboardFormats().ShellIDListArray);
        if (data->GetData(&etc, &m) == S_OK) {
            enterIdPaths = IdListPaths(m.hGlobal);
            ReleaseStgMedium(&m);
        }
        *effect = enterNames.empty() ? DROPEFFECT_NONE : (*effect & DROPEFFECT_COPY);
        // The user lets the button go over the target.
        INPUT up{};
        up.type = INPUT_MOUSE;
        up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &up, sizeof up);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = enterNames.empty() ? DROPEFFECT_NONE : (*effect & DROPEFFECT_COPY);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        dropped = true;
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    std::vector<std::wstring> enterNames, enterIdPaths;
    bool dropped = false;
};

// A top-level window over which the pointer is put, with the left button down, before Drag runs;
// a drag still going after 10 s is ended with Escape.
template <typename F>
void DragOver(IDropTarget* Target, F Drag) {
    // A window class of its own: a static control is transparent to the drag's hit test.
    static const ATOM cls = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"QuillTestDropTarget";
        return RegisterClassW(&wc);
    }();
    ASSERT_NE(cls, 0);
    HWND w = CreateWindowExW(WS_EX_TOPMOST, L"QuillTestDropTarget", L"drop here", WS_POPUP | WS_VISIBLE, 100, 100, 200, 200,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(RegisterDragDrop(w, Target), S_OK);
    SetCursorPos(200, 200);
    INPUT down{};
    down.type = INPUT_MOUSE;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &down, sizeof down);
    // The drag reads the button from the thread's key state, which follows the messages taken.
    PumpUntil([] { return GetKeyState(VK_LBUTTON) < 0; }, 2000);
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !done; ++i) Sleep(10);
        if (done) return;
        INPUT keys[3]{};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        keys[2].type = INPUT_MOUSE;
        keys[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(3, keys, sizeof keys[0]);
    });
    Drag();
    done = true;
    watchdog.join();
    RevokeDragDrop(w);
    DestroyWindow(w);
}

TEST_F(DropSourceTest, ARealDragIsReadByATargetAtDragEnter) {
    ReadingDropTarget target;
    int result = -1;
    int drops = 0;
    source->OnDrop = [&](classlib::TObject*, TDragType, bool&) { ++drops; };
    DragOver(&target, [&] { result = source->Execute(); });
    EXPECT_EQ(target.enterNames, (std::vector<std::wstring>{a, b}));
    EXPECT_EQ(target.enterIdPaths, (std::vector<std::wstring>{a, b}));
    EXPECT_TRUE(target.dropped);
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(result, widgets::custom::drCopy);
}

}  // namespace
