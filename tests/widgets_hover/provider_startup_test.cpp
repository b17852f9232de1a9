// The library's start-up work: the shared version registry, the version records, the drag
// cursors in the screen's slots, the modules' tables and lists, the print-client wrapper.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/forms.h"
#include "hover_test_support.h"
#include "widgets/hover/hx_data_provider.h"
#include "widgets/hover/hx_library_tables.h"
#include "widgets/hover/hx_startup.h"

using namespace classlib;
using namespace hover;

namespace {

// The top of a free stretch of address space (Wine keeps the top of a 64-bit process's space for
// itself, so the system's own candidates are all taken there).
std::uintptr_t FreeTop() {
    void* area = VirtualAlloc(nullptr, 0x200000, MEM_RESERVE, PAGE_NOACCESS);
    VirtualFree(area, 0, MEM_RELEASE);
    return reinterpret_cast<std::uintptr_t>(area) + 0x200000;
}

TEST(UnitVersioning, AModuleThatHoldsTheBlockFirstKeepsItsRegistry) {
    const std::string name = "QuillTestVersioning";
    const std::uintptr_t top = FreeTop();
    TUnitVersioningLink first(name, top);
    TUnitVersioning* shared = first.Registry();
    ASSERT_TRUE(first.Shared());
    EXPECT_TRUE(first.OwnsRegistry());
    TUnitVersionInfo info{"unit", "1", "", "", "", nullptr};
    {
        TUnitVersioningLink second(name, top);
        EXPECT_EQ(second.Registry(), shared);
        EXPECT_FALSE(second.OwnsRegistry());
        second.Registry()->Register(reinterpret_cast<HINSTANCE>(0x1000), &info);
        second.Close();
    }
    // The second module's end left the first's registry alive.
    EXPECT_EQ(shared->Records(reinterpret_cast<HINSTANCE>(0x1000)).size(), 1u);
    first.Close();
    // The block went with its last user: a new link makes it again with a registry of its own.
    TUnitVersioningLink third(name, top);
    EXPECT_NE(third.Registry(), nullptr);
    EXPECT_TRUE(third.Shared());
    EXPECT_TRUE(third.OwnsRegistry());
}

TEST(UnitVersioning, WithEveryCandidateAddressTakenTheRegistryIsPrivate) {
    std::vector<void*> taken;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const std::uintptr_t top = FreeTop();
    for (int i = 0; i < UnitVersioningTries; ++i) {
        void* p = VirtualAlloc(UnitVersioningCandidate(i, top), si.dwPageSize, MEM_RESERVE, PAGE_NOACCESS);
        if (p != nullptr) taken.push_back(p);
    }
    EXPECT_EQ(taken.size(), static_cast<size_t>(UnitVersioningTries));
    {
        TUnitVersioningLink link("QuillUnrelated", top);
        ASSERT_NE(link.Registry(), nullptr);
        EXPECT_FALSE(link.Shared());
        EXPECT_TRUE(link.OwnsRegistry());
        TUnitVersionInfo info{"unit", "1", "", "", "", nullptr};
        link.Registry()->Register(reinterpret_cast<HINSTANCE>(0x2000), &info);
        link.Registry()->Register(reinterpret_cast<HINSTANCE>(0x2000), &info);
        EXPECT_EQ(link.Registry()->Records(reinterpret_cast<HINSTANCE>(0x2000)).size(), 1u);
    }
    for (void* p : taken) VirtualFree(p, 0, MEM_RELEASE);
}

TEST(LibraryStartUp, TablesAndTheWindowsVersionKinds) {
    const auto& map = CaseMap();
    EXPECT_EQ(map['A'], 'a');
    EXPECT_EQ(map[256 + 'a'], 'A');
    EXPECT_EQ(map[512 + 'a'], 'A');
    EXPECT_EQ(map[512 + 'Q'], 'q');
    EXPECT_EQ(map[512 + '5'], '5');
    EXPECT_NE(CharTypeTable()['7'] & C1_DIGIT, 0);
    EXPECT_GT(SystemFacts().PageSize, 0u);
    EXPECT_TRUE(SystemFacts().IsNT);

    auto kind = [](int platform, int major, int minor, char letter = 0, DWORD kernel = 0, bool r2 = false, WORD arch = 0,
                   BYTE product = 1) {
        return ClassifyWindowsVersion(TOsFacts{platform, major, minor, letter, kernel, r2, arch, product});
    };
    EXPECT_EQ(kind(1, 4, 0, 'B'), TWindowsVersion::wvWin95OSR2);
    EXPECT_EQ(kind(1, 4, 10, 'A'), TWindowsVersion::wvWin98SE);
    EXPECT_EQ(kind(1, 4, 10, 0, 0x0004005A), TWindowsVersion::wvWinME);
    EXPECT_EQ(kind(2, 3, 51), TWindowsVersion::wvWinNT351);
    EXPECT_EQ(kind(2, 5, 1), TWindowsVersion::wvWinXP);
    EXPECT_EQ(kind(2, 5, 2, 0, 0, true), TWindowsVersion::wvWin2003R2);
    EXPECT_EQ(kind(2, 5, 2, 0, 0, false, PROCESSOR_ARCHITECTURE_AMD64, 1), TWindowsVersion::wvWinXP64);
    EXPECT_EQ(kind(2, 6, 0, 0, 0, false, 9, 3), TWindowsVersion::wvWinServer2008);
    EXPECT_EQ(kind(2, 10, 0), TWindowsVersion::wvUnknown);
}

// The window class's own print-client handling, standing for one that leaves the DC changed.
void CarelessPrintClient(TWinControl*, TMessage& Message) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    SetViewportOrgEx(dc, 11, 13, nullptr);
    IntersectClipRect(dc, 0, 0, 3, 3);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

TEST(LibraryStartUp, PrintingAWindowedControlLeavesTheCallersDCAsItWas) {
    TWinControlMessageHandler original = ReplaceWinControlHandler(WM_PRINTCLIENT, &CarelessPrintClient);
    ASSERT_NE(original, nullptr);
    TForm* form = NewForm<TForm>(nullptr);
    form->SetBounds(0, 0, 100, 100);
    auto printAndLook = [&] {
        return hovertest::Capture(20, 20, RGB(255, 255, 255), [&](HDC dc) {
            HGDIOBJ pen = SelectObject(dc, GetStockObject(WHITE_PEN));
            SendMessageA(form->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
            POINT org{};
            GetViewportOrgEx(dc, &org);
            RECT clip{};
            GetClipBox(dc, &clip);
            const bool same = org.x == 0 && org.y == 0 && clip.right == 20 && GetCurrentObject(dc, OBJ_PEN) == GetStockObject(WHITE_PEN);
            SetPixel(dc, 0, 0, same ? RGB(0, 255, 0) : RGB(255, 0, 0));
            SelectObject(dc, pen);
        }).At(0, 0);
    };
    ASSERT_FALSE(HoverLibraryInitialized());
    EXPECT_EQ(printAndLook(), RGB(255, 0, 0));  // without the wrapper the change stays
    InitializeHoverLibrary();
    ASSERT_NE(HoverUnitVersioning(), nullptr);
    EXPECT_EQ(printAndLook(), RGB(0, 255, 0));
    FinalizeHoverLibrary();
    EXPECT_FALSE(HoverLibraryInitialized());
    EXPECT_EQ(FindWinControlHandler(WM_PRINTCLIENT), &CarelessPrintClient);
    ReplaceWinControlHandler(WM_PRINTCLIENT, original);
    delete form;
}

// The AND and XOR masks of a cursor, one after the other.
std::vector<BYTE> CursorMasks(HCURSOR Cursor) {
    ICONINFO info{};
    if (!GetIconInfo(Cursor, &info)) return {};
    BITMAP bm{};
    GetObjectW(info.hbmMask, sizeof bm, &bm);
    std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * static_cast<size_t>(bm.bmHeight));
    GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data());
    DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    return bits;
}

TEST(LibraryStartUp, EveryModuleRecordsItsVersionAndTheDragCursorsTakeTheirSlots) {
    ASSERT_FALSE(HoverLibraryInitialized());
    EXPECT_EQ(Screen()->Cursors(100), Screen()->Cursors(crDefault));  // nothing of ours yet
    InitializeHoverLibrary();
    std::vector<std::string> names;
    for (const TUnitVersionInfo* r : HoverUnitVersioning()->Records(LibraryInstance())) names.push_back(r->RCSfile);
    EXPECT_EQ(names.size(), 41u);
    for (const char* module : {"HclUnitVersioning", "HxHXLUtils", "HxWndProcHook", "HxShape", "HxDataProvider"})
        EXPECT_NE(std::find(names.begin(), names.end(), module), names.end()) << module;
    for (const char* silent : {"HclRegistry", "HclSysInfo", "HclSysUtils", "HclRTTI", "HxAppStorage", "HxDragDrop"})
        EXPECT_EQ(std::find(names.begin(), names.end(), silent), names.end()) << silent;
    for (int slot = 100; slot <= 103; ++slot) {
        ASSERT_NE(HoverCursor(slot), nullptr);
        EXPECT_EQ(Screen()->Cursors(slot), HoverCursor(slot));
    }
    // Slot 101 holds the drag cursor, the others the multi-drag one: pointers with pages, not
    // the plain arrow.
    const std::vector<BYTE> arrow = CursorMasks(Screen()->Cursors(crArrow)), drag = CursorMasks(HoverCursor(101)),
                            multi = CursorMasks(HoverCursor(100));
    ASSERT_FALSE(drag.empty());
    EXPECT_NE(drag, arrow);
    EXPECT_NE(multi, drag);
    EXPECT_EQ(CursorMasks(HoverCursor(102)), multi);
    EXPECT_EQ(CursorMasks(HoverCursor(103)), multi);
    EXPECT_NE(FindHxClass(L"THxDataItemsList"), nullptr);  // the framework's classes stream now
    FinalizeHoverLibrary();
    EXPECT_EQ(HoverCursor(100), nullptr);
    EXPECT_EQ(Screen()->Cursors(101), Screen()->Cursors(crDefault));
    EXPECT_EQ(FindHxClass(L"THxDataItemsList"), nullptr);
}

// Every table a module fills at its start, with the size it is given there, and emptied at its end.
struct TModuleTable {
    const char* Module;
    int Table;
    size_t Size;
};
constexpr TModuleTable kModuleTables[] = {
    {"HclWideStrings", 0, 1}, {"HclRegistry", 0, 14}, {"HxPropertyStore", 0, 18}, {"HxHXLUtils", 0, 11},
    {"HxHCLUtils", 0, 5},     {"HxHCLUtils", 1, 4},   {"HxHCLUtils", 2, 3},       {"HxHCLUtils", 3, 3},
    {"HxHCLUtils", 4, 3},     {"HxTypes", 0, 20},     {"HxTypes", 1, 40},         {"HxTypes", 2, 30},
};

TEST(LibraryStartUp, TheModulesTablesAreThereFromStartToEnd) {
    ASSERT_FALSE(HoverLibraryInitialized());
    for (const TModuleTable& t : kModuleTables) EXPECT_TRUE(ModuleTextTable(t.Module, t.Table).empty()) << t.Module;
    EXPECT_EQ(RootKeyName(HKEY_CURRENT_USER, false), "");
    EXPECT_EQ(ColorTableEntry(1, 0).Description, "");
    InitializeHoverLibrary();
    for (const TModuleTable& t : kModuleTables)
        EXPECT_EQ(ModuleTextTable(t.Module, t.Table).size(), t.Size) << t.Module << " " << t.Table;
    // The names a property store leaves out, as the store's module lists them.
    for (const char* left : {"AboutHXL", "AppStorage", "AppStoragePath", "AutoLoad", "ClearBeforeLoad", "Name"})
        EXPECT_TRUE(IsPropertyLeftOutOfStore(left)) << left;
    EXPECT_EQ(WideLineBreak(), "\r\n");
    EXPECT_EQ(RootKeyName(HKEY_CURRENT_USER, false), "HKEY_CURRENT_USER");
    EXPECT_EQ(RootKeyName(HKEY_LOCAL_MACHINE, true), "HKLM");
    EXPECT_EQ(ModuleTextTable("HclRegistry").size(), 14u);
    EXPECT_EQ(WindowsVersionName(TWindowsVersion::wvWinXP), "Windows XP");
    EXPECT_EQ(BoolText(true), "True");
    EXPECT_TRUE(IsPropertyLeftOutOfStore("appstoragepath"));
    EXPECT_FALSE(IsPropertyLeftOutOfStore("Caption"));
    EXPECT_EQ(ModuleTextTable("HxPropertyStore").size(), 18u);
    EXPECT_EQ(ModuleTextTable("HxHXLUtils").size(), 11u);
    const size_t hcl[] = {5, 4, 3, 3, 3};
    for (int t = 0; t < 5; ++t) EXPECT_EQ(ModuleTextTable("HxHCLUtils", t).size(), hcl[t]);
    const int sizes[] = {20, 40, 30};
    for (int t = 0; t < ColorTableCount; ++t) {
        ASSERT_EQ(ColorTableSize(t), sizes[t]);
        for (int i = 0; i < sizes[t]; ++i) EXPECT_FALSE(ColorTableEntry(t, i).Description.empty());
    }
    EXPECT_EQ(ColorTableEntry(0, 1).Color, clMaroon);
    EXPECT_EQ(ColorTableEntry(1, 9).Description, "Orange");
    EXPECT_EQ(ColorTableEntry(2, 15).Color, clBtnFace);
    EXPECT_EQ(ColorTableEntry(2, 30).Description, "");  // outside the table

    // The lists: type records shared by name, property engines, the shared section and views.
    THxTypeRecord* a = AcquireTypeRecord("TFont");
    EXPECT_EQ(AcquireTypeRecord("TFont"), a);
    EXPECT_EQ(a->RefCount, 2);
    ReleaseTypeRecord(a);
    EXPECT_EQ(TypeRecordCount(), 1);
    struct TFontEngine : THxPropertyEngine {
        bool Accepts(const TObject* Object) const override { return dynamic_cast<const TFont*>(Object) != nullptr; }
    };
    RegisterPropertyEngine(std::make_unique<TFontEngine>());
    TFont font;
    EXPECT_NE(PropertyEngineFor(&font), nullptr);
    TList other;
    EXPECT_EQ(PropertyEngineFor(&other), nullptr);
    ASSERT_NE(SharedCriticalSection(), nullptr);
    EnterCriticalSection(SharedCriticalSection());
    LeaveCriticalSection(SharedCriticalSection());
    auto* view = static_cast<char*>(SharedMemoryView("QuillHoverTestView", 4096));
    ASSERT_NE(view, nullptr);
    view[0] = 'Q';
    EXPECT_EQ(SharedMemoryView("QuillHoverTestView", 4096), view);
    EXPECT_EQ(SharedMemoryViewCount(), 1);
    FinalizeHoverLibrary();
    EXPECT_EQ(TypeRecordCount(), 0);
    EXPECT_EQ(PropertyEngineCount(), 0);
    EXPECT_EQ(SharedCriticalSection(), nullptr);
    EXPECT_EQ(SharedMemoryViewCount(), 0);
    EXPECT_EQ(BoolText(false), "");
    for (const TModuleTable& t : kModuleTables)
        EXPECT_TRUE(ModuleTextTable(t.Module, t.Table).empty()) << t.Module << " " << t.Table << " kept at the end";
    EXPECT_EQ(ColorTableEntry(1, 9).Description, "");
    EXPECT_FALSE(IsPropertyLeftOutOfStore("AppStoragePath"));
}

}  // namespace
