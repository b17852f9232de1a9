// The Hover library's start-up and end work.
#include "widgets/hover/hx_startup.h"

#include <ole2.h>

#include <algorithm>
#include <cstring>

#include "classlib/application.h"
#include "classlib/controls.h"
#include "classlib/gdi_handles.h"
#include "widgets/hover/hx_data_consumer.h"
#include "widgets/hover/hx_library_tables.h"

namespace hover {

// ---- Version registry ------------------------------------------------------------------------

void TUnitVersioning::Register(HINSTANCE Instance, const TUnitVersionInfo* Info) {
    auto it = std::find_if(modules_.begin(), modules_.end(), [&](const TModule& m) { return m.instance == Instance; });
    if (it == modules_.end()) {
        modules_.push_back(TModule{Instance, {Info}});
        return;
    }
    if (std::find(it->records.begin(), it->records.end(), Info) == it->records.end()) it->records.push_back(Info);
}

void TUnitVersioning::Unregister(HINSTANCE Instance) {
    modules_.erase(std::remove_if(modules_.begin(), modules_.end(), [&](const TModule& m) { return m.instance == Instance; }),
                   modules_.end());
}

std::vector<const TUnitVersionInfo*> TUnitVersioning::Records(HINSTANCE Instance) const {
    for (const TModule& m : modules_)
        if (m.instance == Instance) return m.records;
    return {};
}

namespace {

constexpr std::uint32_t kMagic1 = 0xABCDEF01u;
constexpr std::uint32_t kMagic2 = 0x98765432u;
constexpr std::uint32_t kPidXor1 = 0x23456789u;
constexpr std::uint32_t kPidXor2 = 0x10FEDCBAu;

bool NameMatches(const TUnitVersioningBlock* Block, const std::string& Name) {
    return Block->Name[0] == Name.size() && std::memcmp(Block->Name + 1, Name.data(), Name.size()) == 0;
}

// Finds the block of this process named Name, or makes it at the first free candidate address.
TUnitVersioningBlock* AcquireBlock(const std::string& Name, std::uintptr_t Top) {
    if (Name.size() > 255) return nullptr;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const std::uint32_t pid = GetCurrentProcessId();
    for (int i = 0; i < UnitVersioningTries; ++i) {
        void* want = UnitVersioningCandidate(i, Top);
        void* got = VirtualAlloc(want, si.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (got == want) {
            auto* b = static_cast<TUnitVersioningBlock*>(got);
            b->ProcessIdXor1 = pid ^ kPidXor1;
            b->Magic1 = kMagic1;
            b->Name[0] = static_cast<std::uint8_t>(Name.size());
            std::memcpy(b->Name + 1, Name.data(), Name.size());
            b->RefCount = 1;
            b->ProcessIdXor2 = pid ^ kPidXor2;
            b->Magic2 = kMagic2;
            b->Registry = 0;
            return b;
        }
        if (got != nullptr) {
            VirtualFree(got, 0, MEM_RELEASE);
            continue;
        }
        MEMORY_BASIC_INFORMATION mbi{};
        if (VirtualQuery(want, &mbi, sizeof(mbi)) == 0) continue;
        // The whole block, its address slot included, must lie in readable and writable memory.
        const auto end = reinterpret_cast<std::uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        if (mbi.State != MEM_COMMIT || mbi.Protect != PAGE_READWRITE ||
            end < reinterpret_cast<std::uintptr_t>(want) + sizeof(TUnitVersioningBlock))
            continue;
        auto* b = static_cast<TUnitVersioningBlock*>(want);
        if (b->Magic1 == kMagic1 && b->Magic2 == kMagic2 && b->ProcessIdXor1 == (pid ^ kPidXor1) &&
            b->ProcessIdXor2 == (pid ^ kPidXor2) && NameMatches(b, Name)) {
            ++b->RefCount;
            return b;
        }
    }
    return nullptr;
}

}  // namespace

void* UnitVersioningCandidate(int Index, std::uintptr_t Top) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    auto top = Top != 0 ? Top : reinterpret_cast<std::uintptr_t>(si.lpMaximumApplicationAddress);
    std::uintptr_t a = (top & ~static_cast<std::uintptr_t>(0xFFFF)) - static_cast<std::uintptr_t>(Index) * 0x10000u;
    a &= ~static_cast<std::uintptr_t>(si.dwPageSize - 1);
    return reinterpret_cast<void*>(a);
}

TUnitVersioning* TUnitVersioningLink::Registry() {
    if (registry_ != nullptr) return registry_;
    block_ = AcquireBlock(blockName_, top_);
    if (block_ != nullptr && block_->Registry != 0 && block_->RefCount != 1) {
        registry_ = reinterpret_cast<TUnitVersioning*>(static_cast<std::uintptr_t>(block_->Registry));
        return registry_;
    }
    owned_ = std::make_unique<TUnitVersioning>();
    registry_ = owned_.get();
    if (block_ != nullptr) block_->Registry = reinterpret_cast<std::uintptr_t>(registry_);
    return registry_;
}

void TUnitVersioningLink::Close() {
    if (registry_ == nullptr) return;
    if (block_ != nullptr) {
        if (owned_ && block_->Registry == reinterpret_cast<std::uintptr_t>(owned_.get())) block_->Registry = 0;
        if (--block_->RefCount == 0) VirtualFree(block_, 0, MEM_RELEASE);
        block_ = nullptr;
    }
    owned_.reset();
    registry_ = nullptr;
}

// ---- Tables and system information -----------------------------------------------------------

const std::array<WORD, 256>& CharTypeTable() {
    static const std::array<WORD, 256> table = [] {
        std::array<WORD, 256> t{};
        char chars[256];
        for (int i = 0; i < 256; ++i) chars[i] = static_cast<char>(i);
        GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE1, chars, 256, t.data());
        return t;
    }();
    return table;
}

const std::array<std::uint8_t, 768>& CaseMap() {
    static const std::array<std::uint8_t, 768> map = [] {
        std::array<std::uint8_t, 768> m{};
        char lower[256], upper[256];
        for (int i = 0; i < 256; ++i) lower[i] = upper[i] = static_cast<char>(i);
        CharLowerBuffA(lower, 256);
        CharUpperBuffA(upper, 256);
        const std::array<WORD, 256>& types = CharTypeTable();
        for (int i = 0; i < 256; ++i) {
            m[static_cast<size_t>(i)] = static_cast<std::uint8_t>(lower[i]);
            m[static_cast<size_t>(256 + i)] = static_cast<std::uint8_t>(upper[i]);
            std::uint8_t swapped = static_cast<std::uint8_t>(i);
            if (types[static_cast<size_t>(i)] & C1_UPPER) swapped = static_cast<std::uint8_t>(lower[i]);
            else if (types[static_cast<size_t>(i)] & C1_LOWER) swapped = static_cast<std::uint8_t>(upper[i]);
            m[static_cast<size_t>(512 + i)] = swapped;
        }
        return m;
    }();
    return map;
}

TWindowsVersion ClassifyWindowsVersion(const TOsFacts& f) {
    using V = TWindowsVersion;
    if (f.Platform == 1) {
        if (f.Minor < 10) return (f.ServiceLetter == 'B' || f.ServiceLetter == 'C') ? V::wvWin95OSR2 : V::wvWin95;
        if (f.Minor < 90) {
            if (f.KernelVersion == 0x0004005A) return V::wvWinME;
            return (f.ServiceLetter == 'A' || f.ServiceLetter == 'B') ? V::wvWin98SE : V::wvWin98;
        }
        if (f.Minor == 90) return V::wvWinME;
        return V::wvUnknown;
    }
    if (f.Platform != 2) return V::wvUnknown;
    if (f.Major == 3) {
        if (f.Minor == 1) return V::wvWinNT31;
        if (f.Minor == 5) return V::wvWinNT35;
        if (f.Minor == 51) return V::wvWinNT351;
        return V::wvUnknown;
    }
    if (f.Major == 4) return V::wvWinNT4;
    if (f.Major == 5) {
        if (f.Minor == 0) return V::wvWin2000;
        if (f.Minor == 1) return V::wvWinXP;
        if (f.Minor == 2) {
            if (f.ServerR2) return V::wvWin2003R2;
            if (f.Architecture == PROCESSOR_ARCHITECTURE_INTEL) return V::wvWin2003;
            if (f.ProductType == VER_NT_WORKSTATION) return V::wvWinXP64;
            return V::wvWin2003;
        }
        return V::wvUnknown;
    }
    if (f.Major == 6 && f.Minor == 0) return f.ProductType == VER_NT_WORKSTATION ? V::wvWinVista : V::wvWinServer2008;
    return V::wvUnknown;
}

const TSystemFacts& SystemFacts() {
    static const TSystemFacts facts = [] {
        TSystemFacts s;
        SYSTEM_INFO si{};
        // The native view where the kernel offers it (a 32-bit program on a 64-bit system).
        using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
        auto native = reinterpret_cast<NativeInfo>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
        if (native != nullptr)
            native(&si);
        else
            GetSystemInfo(&si);
        s.ProcessorCount = si.dwNumberOfProcessors;
        s.AllocationGranularity = si.dwAllocationGranularity;
        s.PageSize = si.dwPageSize;
        OSVERSIONINFOEXA v{};
        v.dwOSVersionInfoSize = sizeof(v);
        if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) {
            TOsFacts f{};
            f.Platform = static_cast<int>(v.dwPlatformId);
            f.Major = static_cast<int>(v.dwMajorVersion);
            f.Minor = static_cast<int>(v.dwMinorVersion);
            f.ServiceLetter = v.szCSDVersion[1];
            f.ServerR2 = GetSystemMetrics(SM_SERVERR2) != 0;
            f.Architecture = si.wProcessorArchitecture;
            f.ProductType = v.wProductType;
            s.IsNT = f.Platform == VER_PLATFORM_WIN32_NT;
            s.Version = ClassifyWindowsVersion(f);
        }
        return s;
    }();
    return facts;
}

// ---- Start-up and end ------------------------------------------------------------------------

namespace {

// What a module does besides its version record.
enum TModuleWork : unsigned {
    mwNone = 0,
    mwNoRecord = 1 << 0,     // registers no version record
    mwTables = 1 << 1,       // fills text tables at start, clears them at the end
    mwThemes = 1 << 2,       // the WM_PRINTCLIENT wrapper
    mwStreaming = 1 << 3,    // the data-provider classes
    mwSysUtils = 1 << 4,     // the shared critical section and shared-memory views
    mwRtti = 1 << 5,         // the run-time type records
    mwAppStorage = 1 << 6,   // the property engines
    mwCursors = 1 << 7,      // the drag cursors
    mwOle = 1 << 8,          // OLE
};

struct TModule {
    const char* name;
    unsigned work;
};

// The library's modules in start-up order; the end runs them backwards.
constexpr TModule kModules[] = {
    {"HclUnitVersioning", mwNone}, {"HXLVer", mwNone}, {"HclResources", mwNone}, {"HclBase", mwNone},
    {"HclWideStrings", mwTables}, {"HclLogic", mwNone}, {"HclStrings", mwNone}, {"HclDateTime", mwNone},
    {"HclWin32", mwNone}, {"HclSecurity", mwNone}, {"HclShell", mwNone}, {"HclFileUtils", mwNone},
    {"HclIniFiles", mwNone}, {"Hcl8087", mwNone}, {"HclRegistry", mwNoRecord | mwTables},
    {"HclSysInfo", mwNoRecord | mwTables}, {"HclMath", mwNone}, {"HclConsole", mwNone},
    {"HclSysUtils", mwNoRecord | mwTables | mwSysUtils}, {"HxThemes", mwThemes}, {"HxWin32", mwNone},
    {"HxConsts", mwNone}, {"HxResources", mwNone}, {"HxTypes", mwTables}, {"HxExControls", mwNone},
    {"HxExStdCtrls", mwNone}, {"HxBehaviorLabel", mwNone}, {"HxDataProviderIntf", mwNone},
    {"HxComponentBase", mwNone}, {"HxHCLUtils", mwTables}, {"HxDataProvider", mwStreaming}, {"HxExForms", mwNone},
    {"HxComponent", mwNone}, {"HxTranslateString", mwNone}, {"HclMime", mwNone}, {"HxStrings", mwNone},
    {"HxPropertyStore", mwTables}, {"HclSynch", mwNone}, {"HclRTTI", mwNoRecord | mwRtti},
    {"HxAppStorage", mwNoRecord | mwAppStorage}, {"HxProgressUtils", mwNone},
    {"HxHXLUtils", mwTables | mwCursors}, {"HxLabel", mwNone}, {"HxExExtCtrls", mwNone}, {"HxShape", mwNone},
    {"HxWndProcHook", mwNone}, {"HxDragDrop", mwNoRecord | mwTables | mwOle}};
constexpr size_t kModuleCount = sizeof(kModules) / sizeof(kModules[0]);

// The screen's cursor slots of the drag cursors, and the library cursors copied into them:
// multi-drag, drag, multi-drag, multi-drag.
constexpr classlib::TCursor kFirstDragSlot = 100;
constexpr classlib::TCursor kDrag = -12, kMultiDrag = -16;
constexpr classlib::TCursor kDragCursors[4] = {kMultiDrag, kDrag, kMultiDrag, kMultiDrag};

struct TLibraryState {
    bool initialized = false;
    std::unique_ptr<TUnitVersioningLink> link;
    std::vector<TUnitVersionInfo> records;
    classlib::TWinControlMessageHandler oldPrintClient = nullptr;
    bool oleInitialized = false;
    std::array<HCURSOR, 4> cursors{};
};
TLibraryState gLibrary;

// Painting a windowed control into a given DC never leaves its origin, clip or objects changed.
void PrintClientWrapper(classlib::TWinControl* Control, classlib::TMessage& Message) {
    classlib::TSavedDC saved(reinterpret_cast<HDC>(Message.WParam));
    gLibrary.oldPrintClient(Control, Message);
}

HINSTANCE ThisModule() { return classlib::LibraryInstance(); }

// The pointer with one page under it (drag) or three stacked pages (multi-drag): the library's own
// drag cursors, for a screen that has none of its own ('X' black, 'o' white, else see-through).
HCURSOR MakeDragCursor(bool Multi) {
    static constexpr const char* kArrow[] = {
        "X", "XX", "XoX", "XooX", "XoooX", "XooooX", "XoooooX", "XooooooX", "XoooooooX", "XooooXXXXX",
        "XooXoX", "XoX.XoX", "XX..XoX", "X....XoX", ".....XoX", "......X"};
    constexpr int kSize = 32, kRowBytes = kSize / 8;
    char art[kSize][kSize];
    std::memset(art, '.', sizeof art);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; kArrow[y][x] != '\0'; ++x) art[y][x] = kArrow[y][x];
    // Pages of 10 x 9 pixels below the pointer, each one three pixels further down and right.
    const int pages = Multi ? 3 : 1;
    for (int p = 0; p < pages; ++p) {
        const int left = 6 + 3 * p, top = 17 + 3 * p;
        for (int y = top; y < top + 9; ++y)
            for (int x = left; x < left + 10; ++x)
                art[y][x] = (y == top || y == top + 8 || x == left || x == left + 9) ? 'X' : 'o';
    }
    BYTE andMask[kSize * kRowBytes], xorMask[kSize * kRowBytes];
    std::memset(andMask, 0xFF, sizeof andMask);
    std::memset(xorMask, 0, sizeof xorMask);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
            if (art[y][x] == '.') continue;
            andMask[y * kRowBytes + x / 8] &= static_cast<BYTE>(~bit);
            if (art[y][x] == 'o') xorMask[y * kRowBytes + x / 8] |= bit;
        }
    return CreateCursor(ThisModule(), 0, 0, kSize, kSize, andMask, xorMask);
}

// A copy of the screen's cursor, or of the library's own when the screen has none but the arrow.
HCURSOR CopyDragCursor(classlib::TCursor Cursor) {
    HCURSOR screens = classlib::Screen()->Cursors(Cursor);
    if (screens != classlib::Screen()->Cursors(classlib::crArrow)) return CopyCursor(screens);
    return MakeDragCursor(Cursor == kMultiDrag);
}

void StartModule(const TModule& m, TUnitVersioning* Registry, const TUnitVersionInfo* Record) {
    if (m.work & mwTables) FillModuleTables(m.name);
    if (m.work & mwSysUtils) CreateSharedCriticalSection();
    if (m.work & mwRtti) CreateTypeRecordList();
    if (m.work & mwAppStorage) CreatePropertyEngineList();
    if (m.work & mwCursors) {
        // Errors are ignored: a slot without its cursor shows the default one.
        for (size_t i = 0; i < 4; ++i) {
            gLibrary.cursors[i] = CopyDragCursor(kDragCursors[i]);
            if (gLibrary.cursors[i] != nullptr)
                classlib::Screen()->SetCursors(kFirstDragSlot + static_cast<int>(i), gLibrary.cursors[i]);
        }
    }
    if (m.work & mwOle) gLibrary.oleInitialized = SUCCEEDED(OleInitialize(nullptr));
    if ((m.work & mwNoRecord) == 0) Registry->Register(ThisModule(), Record);
    // These two act once their record is there.
    if ((m.work & mwThemes) && classlib::FindWinControlHandler(WM_PRINTCLIENT) != nullptr)
        gLibrary.oldPrintClient = classlib::ReplaceWinControlHandler(WM_PRINTCLIENT, &PrintClientWrapper);
    if (m.work & mwStreaming) RegisterDataProviderClasses();
}

void EndModule(const TModule& m, TUnitVersioning* Registry) {
    if ((m.work & mwThemes) && gLibrary.oldPrintClient != nullptr) {
        classlib::ReplaceWinControlHandler(WM_PRINTCLIENT, gLibrary.oldPrintClient);
        gLibrary.oldPrintClient = nullptr;
    }
    if ((m.work & mwNoRecord) == 0) Registry->Unregister(ThisModule());
    if (m.work & mwStreaming) UnregisterDataProviderClasses();
    if ((m.work & mwOle) && gLibrary.oleInitialized) {
        OleUninitialize();
        gLibrary.oleInitialized = false;
    }
    if (m.work & mwCursors) {
        for (size_t i = 0; i < 4; ++i) {
            HCURSOR& c = gLibrary.cursors[i];
            if (c == nullptr) continue;
            // The slot is emptied only while it still holds the library's own copy.
            if (classlib::Screen()->Cursors(kFirstDragSlot + static_cast<int>(i)) == c)
                classlib::Screen()->SetCursors(kFirstDragSlot + static_cast<int>(i), nullptr);
            DestroyCursor(c);
            c = nullptr;
        }
    }
    if (m.work & mwAppStorage) FreePropertyEngineList();
    if (m.work & mwRtti) FreeTypeRecordList();
    if (m.work & mwSysUtils) FreeSystemUtilities();
    if (m.work & mwTables) ClearModuleTables(m.name);
}

}  // namespace

void InitializeHoverLibrary() {
    if (gLibrary.initialized) return;
    gLibrary.initialized = true;
    gLibrary.link = std::make_unique<TUnitVersioningLink>();
    gLibrary.records.clear();
    for (const TModule& m : kModules) gLibrary.records.push_back(TUnitVersionInfo{m.name, "", "", "", "", nullptr});
    TUnitVersioning* registry = gLibrary.link->Registry();
    (void)CharTypeTable();
    (void)CaseMap();
    (void)SystemFacts();
    for (size_t i = 0; i < kModuleCount; ++i) StartModule(kModules[i], registry, &gLibrary.records[i]);
}

void FinalizeHoverLibrary() {
    if (!gLibrary.initialized) return;
    TUnitVersioning* registry = gLibrary.link->Registry();
    for (size_t i = kModuleCount; i-- > 0;) EndModule(kModules[i], registry);
    gLibrary.link->Close();
    gLibrary.link.reset();
    gLibrary.initialized = false;
}

bool HoverLibraryInitialized() { return gLibrary.initialized; }

TUnitVersioning* HoverUnitVersioning() { return gLibrary.link ? gLibrary.link->Registry() : nullptr; }

HCURSOR HoverCursor(int Slot) {
    if (Slot < 100 || Slot > 103) return nullptr;
    return gLibrary.cursors[static_cast<size_t>(Slot - 100)];
}

}  // namespace hover
