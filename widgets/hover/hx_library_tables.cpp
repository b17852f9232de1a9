// The tables and lists the Hover library's modules keep from their start-up to their end.
#include "widgets/hover/hx_library_tables.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

#include "widgets/hover/hx_data_provider.h"
#include "widgets/hover/hx_startup.h"

namespace hover {

using namespace classlib;

namespace {

// ---- Text tables -------------------------------------------------------------------------------

// What each module's tables hold once filled (the module's own texts).
std::vector<std::vector<std::string>> TablesOf(const std::string& Module) {
    if (Module == "HclWideStrings") return {{"\r\n"}};
    if (Module == "HclRegistry")
        return {{"HKEY_CLASSES_ROOT", "HKCR", "HKEY_CURRENT_USER", "HKCU", "HKEY_LOCAL_MACHINE", "HKLM", "HKEY_USERS",
                 "HKU", "HKEY_PERFORMANCE_DATA", "HKPD", "HKEY_CURRENT_CONFIG", "HKCC", "HKEY_DYN_DATA", "HKDD"}};
    if (Module == "HclSysInfo")
        return {{"Unknown Windows version", "Windows 95", "Windows 95 OSR2", "Windows 98", "Windows 98 SE", "Windows ME",
                 "Windows NT 3.1", "Windows NT 3.5", "Windows NT 3.51", "Windows NT 4.0", "Windows 2000", "Windows XP",
                 "Windows Server 2003", "Windows XP x64", "Windows Server 2003 R2", "Windows Vista",
                 "Windows Server 2008"}};
    if (Module == "HclSysUtils") return {{"False", "True"}};
    if (Module == "HxHCLUtils")
        return {{"bytes", "KB", "MB", "GB", "TB"},
                {"teNone", "teWordEllipsis", "tePathEllipsis", "teEndEllipsis"},
                {"taLeftJustify", "taRightJustify", "taCenter"},
                {"tlTop", "tlCenter", "tlBottom"},
                {"cbUnchecked", "cbChecked", "cbGrayed"}};
    if (Module == "HxPropertyStore")
        return {{"AboutHXL", "AppStorage", "AppStoragePath", "AutoLoad", "ClearBeforeLoad", "Name", "Tag", "Enabled",
                 "DeleteBeforeStore", "IgnoreProperties", "IgnoreLastLoadTime", "CombinedIgnoreProperties", "OnAfterLoad",
                 "OnAfterStore", "OnBeforeLoad", "OnBeforeStore", "SynchronizeLoadProperties",
                 "SynchronizeStoreProperties"}};
    // The stock image-button kinds' captions (bkCustom to bkAll), then the stock picture's name.
    if (Module == "HxHXLUtils")
        return {{"", "Ok", "Cancel", "&Help", "&Yes", "&No", "&Close", "Cancel", "&Retry", "&Ignore", "&All"},
                {"HxCustomImageButtonDEFAULT"}};
    if (Module == "HxDragDrop") return {{"Hover drag object"}};
    return {};
}

std::map<std::string, std::vector<std::vector<std::string>>>& Tables() {
    static std::map<std::string, std::vector<std::vector<std::string>>> tables;
    return tables;
}

std::string TableEntry(const std::string& Module, int Table, size_t Index) {
    std::vector<std::string> t = ModuleTextTable(Module, Table);
    return Index < t.size() ? t[Index] : std::string();
}

struct TNamedColor {
    TColor color;
    const char* name;
};

constexpr TColor Rgb(int R, int G, int B) { return static_cast<TColor>(R | (G << 8) | (B << 16)); }

constexpr std::array<TNamedColor, 20> kStandardColors = {{
    {clBlack, "Black"},   {clMaroon, "Maroon"}, {clGreen, "Green"},   {clOlive, "Olive"},
    {clNavy, "Navy"},     {clPurple, "Purple"}, {clTeal, "Teal"},     {clGray, "Gray"},
    {clSilver, "Silver"}, {clRed, "Red"},       {clLime, "Lime"},     {clYellow, "Yellow"},
    {clBlue, "Blue"},     {clFuchsia, "Fuchsia"}, {clAqua, "Aqua"},   {clWhite, "White"},
    {Rgb(0xC0, 0xDC, 0xC0), "Money Green"}, {Rgb(0xA6, 0xCA, 0xF0), "Sky Blue"},
    {Rgb(0xFF, 0xFB, 0xF0), "Cream"},       {Rgb(0xA0, 0xA0, 0xA4), "Medium Gray"},
}};

constexpr std::array<TNamedColor, 40> kPaletteColors = {{
    {Rgb(0x00, 0x00, 0x00), "Black"},      {Rgb(0x99, 0x33, 0x00), "Brown"},
    {Rgb(0x33, 0x33, 0x00), "Olive Green"}, {Rgb(0x00, 0x33, 0x00), "Dark Green"},
    {Rgb(0x00, 0x33, 0x66), "Dark Teal"},  {Rgb(0x00, 0x00, 0x80), "Dark Blue"},
    {Rgb(0x33, 0x33, 0x99), "Indigo"},     {Rgb(0x33, 0x33, 0x33), "Gray-80%"},
    {Rgb(0x80, 0x00, 0x00), "Dark Red"},   {Rgb(0xFF, 0x66, 0x00), "Orange"},
    {Rgb(0x80, 0x80, 0x00), "Dark Yellow"}, {Rgb(0x00, 0x80, 0x00), "Green"},
    {Rgb(0x00, 0x80, 0x80), "Teal"},       {Rgb(0x00, 0x00, 0xFF), "Blue"},
    {Rgb(0x66, 0x66, 0x99), "Blue-Gray"},  {Rgb(0x80, 0x80, 0x80), "Gray-50%"},
    {Rgb(0xFF, 0x00, 0x00), "Red"},        {Rgb(0xFF, 0x99, 0x00), "Light Orange"},
    {Rgb(0x99, 0xCC, 0x00), "Lime"},       {Rgb(0x33, 0x99, 0x66), "Sea Green"},
    {Rgb(0x33, 0xCC, 0xCC), "Aqua"},       {Rgb(0x33, 0x66, 0xFF), "Light Blue"},
    {Rgb(0x80, 0x00, 0x80), "Violet"},     {Rgb(0x96, 0x96, 0x96), "Gray-40%"},
    {Rgb(0xFF, 0x00, 0xFF), "Pink"},       {Rgb(0xFF, 0xCC, 0x00), "Gold"},
    {Rgb(0xFF, 0xFF, 0x00), "Yellow"},     {Rgb(0x00, 0xFF, 0x00), "Bright Green"},
    {Rgb(0x00, 0xFF, 0xFF), "Turquoise"},  {Rgb(0x00, 0xCC, 0xFF), "Sky Blue"},
    {Rgb(0x99, 0x33, 0x66), "Plum"},       {Rgb(0xC0, 0xC0, 0xC0), "Gray-25%"},
    {Rgb(0xFF, 0x99, 0xCC), "Rose"},       {Rgb(0xFF, 0xCC, 0x99), "Tan"},
    {Rgb(0xFF, 0xFF, 0x99), "Light Yellow"}, {Rgb(0xCC, 0xFF, 0xCC), "Light Green"},
    {Rgb(0xCC, 0xFF, 0xFF), "Light Turquoise"}, {Rgb(0x99, 0xCC, 0xFF), "Pale Blue"},
    {Rgb(0xCC, 0x99, 0xFF), "Lavender"},   {Rgb(0xFF, 0xFF, 0xFF), "White"},
}};

constexpr std::array<TNamedColor, 30> kSystemColors = {{
    {clScrollBar, "Scroll Bar"}, {clBackground, "Background"}, {clActiveCaption, "Active Caption"},
    {clInactiveCaption, "Inactive Caption"}, {clMenu, "Menu"}, {clWindow, "Window"},
    {clWindowFrame, "Window Frame"}, {clMenuText, "Menu Text"}, {clWindowText, "Window Text"},
    {clCaptionText, "Caption Text"}, {clActiveBorder, "Active Border"}, {clInactiveBorder, "Inactive Border"},
    {clAppWorkSpace, "Application Workspace"}, {clHighlight, "Highlight"}, {clHighlightText, "Highlight Text"},
    {clBtnFace, "Button Face"}, {clBtnShadow, "Button Shadow"}, {clGrayText, "Gray Text"},
    {clBtnText, "Button Text"}, {clInactiveCaptionText, "Inactive Caption Text"},
    {clBtnHighlight, "Button Highlight"}, {cl3DDkShadow, "3D Dark Shadow"}, {cl3DLight, "3D Light"},
    {clInfoText, "Info Text"}, {clInfoBk, "Info Background"}, {clHotLight, "Hot Light"},
    {clGradientActiveCaption, "Gradient Active Caption"}, {clGradientInactiveCaption, "Gradient Inactive Caption"},
    {clMenuHighlight, "Menu Highlight"}, {clMenuBar, "Menu Bar"},
}};

template <size_t N>
std::vector<std::string> Descriptions(const std::array<TNamedColor, N>& Colors) {
    std::vector<std::string> names;
    for (const TNamedColor& c : Colors) names.push_back(c.name);
    return names;
}

}  // namespace

void FillModuleTables(const std::string& Module) {
    if (Module == "HxTypes") {
        Tables()[Module] = {Descriptions(kStandardColors), Descriptions(kPaletteColors), Descriptions(kSystemColors)};
        return;
    }
    auto tables = TablesOf(Module);
    if (!tables.empty()) Tables()[Module] = std::move(tables);
}

void ClearModuleTables(const std::string& Module) { Tables().erase(Module); }

std::vector<std::string> ModuleTextTable(const std::string& Module, int Table) {
    auto it = Tables().find(Module);
    if (it == Tables().end() || Table < 0 || Table >= static_cast<int>(it->second.size())) return {};
    return it->second[static_cast<size_t>(Table)];
}

std::string WideLineBreak() { return TableEntry("HclWideStrings", 0, 0); }

std::string RootKeyName(HKEY Key, bool Short) {
    static const HKEY roots[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE, HKEY_USERS,
                                 HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    for (size_t i = 0; i < std::size(roots); ++i)
        if (roots[i] == Key) return TableEntry("HclRegistry", 0, 2 * i + (Short ? 1 : 0));
    return "";
}

std::string WindowsVersionName(TWindowsVersion Kind) { return TableEntry("HclSysInfo", 0, static_cast<size_t>(Kind)); }

std::string BoolText(bool Value) { return TableEntry("HclSysUtils", 0, Value ? 1 : 0); }

bool IsPropertyLeftOutOfStore(const std::string& Name) {
    const std::vector<std::string> names = ModuleTextTable("HxPropertyStore");
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return HxSameText(n, Name); });
}

int ColorTableSize(int Table) {
    static constexpr int sizes[ColorTableCount] = {20, 40, 30};
    return Table >= 0 && Table < ColorTableCount ? sizes[Table] : 0;
}

THxColorEntry ColorTableEntry(int Table, int Index) {
    if (Index < 0 || Index >= ColorTableSize(Table)) return THxColorEntry{clNone, ""};
    const TNamedColor& c = Table == 0 ? kStandardColors[static_cast<size_t>(Index)]
                           : Table == 1 ? kPaletteColors[static_cast<size_t>(Index)]
                                        : kSystemColors[static_cast<size_t>(Index)];
    return THxColorEntry{c.color, TableEntry("HxTypes", Table, static_cast<size_t>(Index))};
}

// ---- Run-time type records -----------------------------------------------------------------------

namespace {
std::mutex gTypeLock;
std::unique_ptr<std::vector<std::unique_ptr<THxTypeRecord>>> gTypeRecords;
}  // namespace

void CreateTypeRecordList() {
    std::lock_guard<std::mutex> lock(gTypeLock);
    if (!gTypeRecords) gTypeRecords = std::make_unique<std::vector<std::unique_ptr<THxTypeRecord>>>();
}

void FreeTypeRecordList() {
    std::lock_guard<std::mutex> lock(gTypeLock);
    if (!gTypeRecords) return;
    // Each record loses the list's count; the list then goes with whatever is left.
    for (auto& r : *gTypeRecords) --r->RefCount;
    gTypeRecords.reset();
}

THxTypeRecord* AcquireTypeRecord(const std::string& Name) {
    std::lock_guard<std::mutex> lock(gTypeLock);
    if (!gTypeRecords) return nullptr;
    for (auto& r : *gTypeRecords)
        if (r->Name == Name) {
            ++r->RefCount;
            return r.get();
        }
    gTypeRecords->push_back(std::make_unique<THxTypeRecord>(THxTypeRecord{Name, 1}));
    return gTypeRecords->back().get();
}

void ReleaseTypeRecord(THxTypeRecord* Record) {
    std::lock_guard<std::mutex> lock(gTypeLock);
    if (!gTypeRecords || Record == nullptr) return;
    auto it = std::find_if(gTypeRecords->begin(), gTypeRecords->end(), [&](const auto& r) { return r.get() == Record; });
    if (it == gTypeRecords->end()) return;
    if (--(*it)->RefCount <= 0) gTypeRecords->erase(it);
}

int TypeRecordCount() {
    std::lock_guard<std::mutex> lock(gTypeLock);
    return gTypeRecords ? static_cast<int>(gTypeRecords->size()) : 0;
}

// ---- Property engines ----------------------------------------------------------------------------

namespace {
std::unique_ptr<std::vector<std::unique_ptr<THxPropertyEngine>>> gEngines;
}  // namespace

void CreatePropertyEngineList() {
    if (!gEngines) gEngines = std::make_unique<std::vector<std::unique_ptr<THxPropertyEngine>>>();
}

void FreePropertyEngineList() {
    if (!gEngines) return;
    while (!gEngines->empty()) gEngines->pop_back();
    gEngines.reset();
}

void RegisterPropertyEngine(std::unique_ptr<THxPropertyEngine> Engine) {
    if (gEngines && Engine) gEngines->push_back(std::move(Engine));
}

int PropertyEngineCount() { return gEngines ? static_cast<int>(gEngines->size()) : 0; }

THxPropertyEngine* PropertyEngineFor(const TObject* Object) {
    if (!gEngines) return nullptr;
    for (auto& e : *gEngines)
        if (e->Accepts(Object)) return e.get();
    return nullptr;
}

// ---- System utilities ----------------------------------------------------------------------------

namespace {
struct TSharedView {
    std::string name;
    HANDLE mapping;
    void* view;
};
std::unique_ptr<CRITICAL_SECTION> gSharedSection;
std::vector<TSharedView> gViews;
}  // namespace

void CreateSharedCriticalSection() {
    if (gSharedSection) return;
    gSharedSection = std::make_unique<CRITICAL_SECTION>();
    InitializeCriticalSection(gSharedSection.get());
}

CRITICAL_SECTION* SharedCriticalSection() { return gSharedSection.get(); }

void FreeSystemUtilities() {
    for (TSharedView& v : gViews) {
        UnmapViewOfFile(v.view);
        CloseHandle(v.mapping);
    }
    gViews.clear();
    if (gSharedSection) {
        DeleteCriticalSection(gSharedSection.get());
        gSharedSection.reset();
    }
}

void* SharedMemoryView(const std::string& Name, DWORD Size) {
    for (const TSharedView& v : gViews)
        if (v.name == Name) return v.view;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, Size, Name.c_str());
    if (mapping == nullptr) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, Size);
    if (view == nullptr) {
        CloseHandle(mapping);
        return nullptr;
    }
    gViews.push_back(TSharedView{Name, mapping, view});
    return view;
}

int SharedMemoryViewCount() { return static_cast<int>(gViews.size()); }

}  // namespace hover
