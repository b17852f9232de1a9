// The help panel: its help text and links, the system report with its colours and mail copy (what
// it says of Windows Media), and the
// filter libraries dropped on its two zones: checked before anything of them runs, registered with
// their own folder on the search path, unregistered, and undone when their registration fails.
#include <windows.h>
#include <dshow.h>
#include <richedit.h>
#include <wrl/client.h>

#include <memory>

#include <gtest/gtest.h>

#include "drop_filter/drop_filter_ids.h"
#include "engine/plugins.h"
#include "panel_test_support.h"
#include "settings/program_texts.h"
#include "tests/common/hidden_class.h"
#include "ui/filter_library.h"
#include "ui/help_frame.h"
#include "ui/system_report.h"

namespace {

using namespace quill_test;
using Microsoft::WRL::ComPtr;

[[maybe_unused]] ::testing::Environment* const gEnvironment = ::testing::AddGlobalTestEnvironment(new TApplicationSetUp);

const std::wstring kFilterName = L"Quillotrane Dropped Test Filter";

// Whether the system device enumerator lists the test filter in its own category.
bool FilterListed() {
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(devices.GetAddressOf()))))
        return false;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(kDropFilterCategory, monikers.GetAddressOf(), 0) != S_OK) return false;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))))
            continue;
        VARIANT name;
        VariantInit(&name);
        const bool match = SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                           kFilterName == name.bstrVal;
        VariantClear(&name);
        if (match) return true;
    }
    return false;
}

std::wstring ServerPath() {
    wchar_t guid[64] = {};
    StringFromGUID2(kDropFilterClsid, guid, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return std::wstring();
    return path;
}

std::wstring BuiltLibrary(const wchar_t* Name) { return ProgramFolder() + L"dropfilters\\" + Name; }

// The test filter library and the library it needs, copied into Folder under Name.
std::wstring CopyFilterLibrary(const std::wstring& Folder, const wchar_t* Source, const wchar_t* Name) {
    CopyFileW(BuiltLibrary(L"drop_helper.dll").c_str(), (Folder + L"drop_helper.dll").c_str(), FALSE);
    const std::wstring target = Folder + Name;
    CopyFileW(BuiltLibrary(Source).c_str(), target.c_str(), FALSE);
    return target;
}

class HelpPanelTest : public PanelFormTest {
protected:
    ui::THelpFrame* Help() { return form_->HelpFrame1; }
    // The report's line of this text, nullptr when there is none.
    const ui::TReportLine* ReportLine(const std::wstring& Text) {
        for (const auto& line : Help()->reSystem->ReportLines())
            if (line.Text == Text) return &line;
        return nullptr;
    }
};

TEST_F(HelpPanelTest, HelpTextLinksOpenTheirTabsTheSiteAndTellTheirHints) {
    TShellRecorder shell;
    const widgets::custom::TLinkMarkup& markup = Help()->LinkEdit1->Markup();
    EXPECT_EQ(0u, markup.Text.find(L"Help about Quillotrane\r\n\r\nTo get explanations on how to use Quillotrane"));
    std::vector<std::wstring> targets;
    for (const auto& link : markup.Links) targets.push_back(link.Target);
    EXPECT_EQ((std::vector<std::wstring>{L"http://www.marbrecq.example/quillotrane/help/", L"F11", L"Sources", L"Filtres"}),
              targets);

    Help()->LinkEdit1CustomLinkClick(L"Filtres");
    EXPECT_EQ(3, Help()->PageControl1->ActivePageIndex());
    Help()->LinkEdit1CustomLinkClick(L"Sources");
    EXPECT_EQ(2, Help()->PageControl1->ActivePageIndex());
    Help()->LinkEdit1UrlClick(targets[0]);
    ASSERT_EQ(1u, shell.Calls.size());
    EXPECT_EQ(L"open", shell.Calls[0].Verb);
    EXPECT_EQ(targets[0], shell.Calls[0].File);

    std::wstring hint;
    Help()->LinkEdit1CustomLinkHint(L"F11", hint);
    EXPECT_EQ(L"Click to display the list of shortcuts", hint);
    Help()->LinkEdit1CustomLinkHint(L"Filtres", hint);
    EXPECT_EQ(L"Click to open the tab \"Filters\"", hint);
    hint.clear();
    Help()->LinkEdit1CustomLinkHint(L"Elsewhere", hint);
    EXPECT_EQ(L"", hint);
    Help()->LinkEdit1UrlHint(L"http://x.example/", hint);
    EXPECT_EQ(L"Click to open the site http://x.example/\r\nin your default browser", hint);

    form_->ShowSystemInfo();
    form_->acHelp->Execute();
    Help()->ShowFrame();
    for (int page = 0; page < 4; ++page) {
        Help()->PageControl1->SetActivePageIndex(page);
        EXPECT_GT(SaveScreenshot(form_->Handle(), L"help_panel_tab" + std::to_wstring(page) + L".bmp"), 1000);
    }
}

TEST_F(HelpPanelTest, SystemReportWritesItsLinesInTheirColoursAndTheMailCopy) {
    ui::TSystemFacts facts;
    facts.WindowsVersion = L"Windows XP - build 2600";
    facts.DirectXVersion = L"9.0c";
    facts.WindowsMediaFound = false;
    facts.DivxAvailable = true;
    facts.DivxEncoders = {L"Xvid MPEG-4 Codec"};
    facts.Mp3EncoderPresent = true;
    facts.Mp3ServerKnown = true;
    facts.Mp3ServerPath = L"C:\\lame.ax";
    facts.Mp3ServerVersion = L"FileVersion = 3.99";
    facts.Sources = {{L"Camera A", true}, {L"Camera B\r\nsecond line", false}};
    facts.Plugins = {{L"Plugin Camera", L"good.pcf", true}, {L"Broken", L"bad.pcf", false}};
    ui::WriteSystemReport(*Help(), facts);

    struct TExpected {
        const wchar_t* Text;
        classlib::TColor Color;
    };
    const TExpected expected[] = {
        {L"Windows XP - build 2600. ", classlib::clBlack}, {L"DirectX version 9.0c.", classlib::clBlack},
        {L"", classlib::clBlack},                         {L"Filters:", classlib::clBlue},
        {L"Windows Media not Found.", classlib::clRed},   {L"DivX encoders Found:", classlib::clBlack},
        {L"   Xvid MPEG-4 Codec", classlib::clOlive},     {L"Mp3 encoder Found:", classlib::clBlack},
        {L"    C:\\lame.ax", classlib::clOlive},          {L"    FileVersion = 3.99", classlib::clOlive},
        {L"", classlib::clBlack},                         {L"Sources:", classlib::clBlue},
        {L"Camera A +", classlib::clBlack},               {L"Camera B\r\nsecond line -", classlib::clRed},
        {L"", classlib::clBlack},                         {L"Plug-ins:", classlib::clBlue},
        {L"Plugin Camera in good.pcf", classlib::clBlack}, {L"Broken in bad.pcf", classlib::clRed},
    };
    const auto& lines = Help()->reSystem->ReportLines();
    ASSERT_EQ(std::size(expected), lines.size());
    std::wstring mail;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(expected[i].Text, lines[i].Text) << i;
        EXPECT_EQ(expected[i].Color, lines[i].Color) << i;
        mail += std::wstring(expected[i].Text) + L"\r\n";
    }
    EXPECT_TRUE(lines[0].Bold);
    EXPECT_TRUE(lines[3].Italic);
    // The mail copy: each line and its break, a line's own break kept (the mail helper encodes both).
    EXPECT_EQ(mail, ui::SystemInfoMailText());

    // The window shows the lines in their colours: the red "-" line of the unchecked source.
    Help()->PageControl1->SetActivePageIndex(1);
    const HWND edit = Help()->reSystem->Handle();
    wchar_t start[64] = {};
    GetWindowTextW(edit, start, 28);
    EXPECT_STREQ(L"Windows XP - build 2600. \r\n", start);
    // Found by the control itself: its positions count a line break as one character.
    FINDTEXTEXW find{};
    find.chrg = {0, -1};
    find.lpstrText = L"second line -";
    ASSERT_GE(SendMessageW(edit, EM_FINDTEXTEXW, FR_DOWN, reinterpret_cast<LPARAM>(&find)), 0);
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&find.chrgText));
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    EXPECT_EQ(RGB(255, 0, 0), cf.crTextColor);
    EXPECT_TRUE(cf.dwEffects & CFE_ITALIC);
}

TEST_F(HelpPanelTest, TheMainWindowReportsWhatItFound) {
    widgets::TUcCheckListBox* sources = Help()->clSources;
    sources->Items()->Add(L"Quillotrane Test Camera");
    sources->Items()->Add(L"Old Camera");
    sources->SetChecked(sources->Items()->IndexOf(L"Quillotrane Test Camera"), true);
    form_->Plugins = std::make_unique<engine::TpluginList>();
    auto plugin = std::make_unique<engine::TpluginData>(L"Plugin Camera", L"C:\\plugins\\good.pcf");
    plugin->Enabled = false;
    form_->Plugins->Add(std::move(plugin));
    form_->ShowSystemInfo();

    const auto& lines = Help()->reSystem->ReportLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(settings::GetWindowsVersionText() + L". ", lines[0].Text);
    EXPECT_EQ(0u, lines[1].Text.find(L"DirectX version "));
    // No capture module in this test: no MP3 encoder was found; the sources in list order.
    ASSERT_NE(nullptr, ReportLine(L"Mp3 encoder not Found."));
    ASSERT_NE(nullptr, ReportLine(L"Old Camera -"));
    EXPECT_EQ(classlib::clRed, ReportLine(L"Old Camera -")->Color);
    ASSERT_NE(nullptr, ReportLine(L"Quillotrane Test Camera +"));
    ASSERT_NE(nullptr, ReportLine(L"Plugin Camera in good.pcf"));
    EXPECT_EQ(classlib::clRed, ReportLine(L"Plugin Camera in good.pcf")->Color);
    EXPECT_EQ(lines.back().Text + L"\r\n",
              ui::SystemInfoMailText().substr(ui::SystemInfoMailText().size() - lines.back().Text.size() - 2));
}

// Makes "Windows Media writers" for this process only: each a smart tee, which is enough for
// the report's question whether the writer's class can be made.
class TStandInWriterFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void** Object) override {
        if (Id != IID_IUnknown && Id != IID_IClassFactory) {
            *Object = nullptr;
            return E_NOINTERFACE;
        }
        *Object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Id, void** Object) override {
        return CoCreateInstance(CLSID_SmartTee, Outer, CLSCTX_INPROC_SERVER, Id, Object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST_F(HelpPanelTest, TheReportSaysWhichPartOfWindowsMediaIsThere) {
    // A profile manager, and no ASF writer to record with (the prefix's stand-in writer hidden
    // behind a class that makes nothing).
    form_->WmvAvailable = true;
    auto hidden = std::make_unique<quill_test::THiddenClass>(CLSID_WMAsfWriter);
    ASSERT_TRUE(hidden->Hidden());
    ASSERT_FALSE(ui::WindowsMediaWriterInstalled());
    form_->ShowSystemInfo();
    EXPECT_EQ(nullptr, ReportLine(L"Windows Media Found."));
    ASSERT_NE(nullptr, ReportLine(L"Windows Media not Found."));
    EXPECT_EQ(classlib::clRed, ReportLine(L"Windows Media not Found.")->Color);
    ASSERT_NE(nullptr, ReportLine(L"   Windows Media profile manager Found."));
    ASSERT_NE(nullptr, ReportLine(L"   Windows Media writer (WM ASF Writer) not Found."));
    EXPECT_EQ(classlib::clRed, ReportLine(L"   Windows Media writer (WM ASF Writer) not Found.")->Color);

    hidden.reset();
    // With a writer too, Windows Media is found; with neither, the one line says so.
    TStandInWriterFactory factory;
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        CoRegisterClassObject(CLSID_WMAsfWriter, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_TRUE(ui::WindowsMediaWriterInstalled());
    form_->ShowSystemInfo();
    ASSERT_NE(nullptr, ReportLine(L"Windows Media Found."));
    EXPECT_EQ(classlib::clBlack, ReportLine(L"Windows Media Found.")->Color);
    EXPECT_EQ(nullptr, ReportLine(L"   Windows Media profile manager Found."));
    CoRevokeClassObject(cookie);
    form_->WmvAvailable = false;
    form_->ShowSystemInfo();
    ASSERT_NE(nullptr, ReportLine(L"Windows Media not Found."));
    EXPECT_EQ(nullptr, ReportLine(L"   Windows Media writer (WM ASF Writer) not Found."));
}

TEST(FilterLibraryCheck, OnlyADllOfThisProcessorWithTheFunctionIsALibrary) {
    using ui::TLibraryCheck;
    const std::wstring folder = MakeTempFolder();
    const std::wstring library = BuiltLibrary(L"drop_filter.dll");
    EXPECT_EQ(TLibraryCheck::lcLibrary, ui::CheckFilterLibrary(library, "DllRegisterServer"));
    EXPECT_EQ(TLibraryCheck::lcLibrary, ui::CheckFilterLibrary(library, "DllUnregisterServer"));
    EXPECT_EQ(TLibraryCheck::lcNoExport, ui::CheckFilterLibrary(library, "DllRegister"));
    EXPECT_EQ(TLibraryCheck::lcNoExport, ui::CheckFilterLibrary(BuiltLibrary(L"drop_filter_noexport.dll"), "DllRegisterServer"));
    EXPECT_EQ(TLibraryCheck::lcNoExport, ui::CheckFilterLibrary(BuiltLibrary(L"drop_helper.dll"), "DllRegisterServer"));
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(TLibraryCheck::lcNotLibrary, ui::CheckFilterLibrary(self, "DllRegisterServer"));
    EXPECT_EQ(TLibraryCheck::lcUnreadable, ui::CheckFilterLibrary(folder + L"missing.ax", "DllRegisterServer"));

    const std::string bytes = ReadBytes(library);
    ASSERT_GT(bytes.size(), 4096u);
    WriteBytes(folder + L"text.ax", "This is not a library at all.\r\n");
    EXPECT_EQ(TLibraryCheck::lcNotLibrary, ui::CheckFilterLibrary(folder + L"text.ax", "DllRegisterServer"));
    // Cut short, or pointing its headers outside the file: refused without a fault.
    for (size_t keep : {size_t{2}, size_t{64}, size_t{300}, size_t{1024}}) {
        WriteBytes(folder + L"cut.ax", bytes.substr(0, keep));
        EXPECT_NE(TLibraryCheck::lcLibrary, ui::CheckFilterLibrary(folder + L"cut.ax", "DllRegisterServer")) << keep;
    }
    std::string wild = bytes;
    wild[0x3C] = '\xFF';
    wild[0x3D] = '\xFF';
    wild[0x3E] = '\xFF';
    wild[0x3F] = '\x7F';
    WriteBytes(folder + L"wild.ax", wild);
    EXPECT_EQ(TLibraryCheck::lcNotLibrary, ui::CheckFilterLibrary(folder + L"wild.ax", "DllRegisterServer"));
    // The same library marked for another processor.
    std::string other = bytes;
    const std::uint32_t pe = *reinterpret_cast<const std::uint32_t*>(other.data() + 0x3C);
    const std::uint16_t machine = *reinterpret_cast<const std::uint16_t*>(other.data() + pe + 4);
    const std::uint16_t foreign = machine == 0x8664 ? 0x014C : 0x8664;
    memcpy(other.data() + pe + 4, &foreign, 2);
    WriteBytes(folder + L"other.ax", other);
    EXPECT_EQ(TLibraryCheck::lcOtherProcessor, ui::CheckFilterLibrary(folder + L"other.ax", "DllRegisterServer"));
    RemoveFolder(folder);
}

TEST_F(HelpPanelTest, DroppedLibrariesAreRegisteredAndUnregisteredWithThePathGivenBackWhole) {
    TBoxRecorder boxes;
    const std::wstring dropped = MakeTempFolder();
    const std::wstring library = CopyFilterLibrary(dropped, L"drop_filter.dll", L"quill_filters.ax");
    WriteBytes(dropped + L"notes.ax", "not a library");
    // A search path longer than any fixed buffer comes back exactly as it was.
    bool hadPath = false;
    const std::wstring savedPath = ui::ReadEnvironmentVariable(L"path", hadPath);
    const std::wstring longPath = savedPath + L";" + std::wstring(3000, L'x') + L"\\bin";
    SetEnvironmentVariableW(L"path", longPath.c_str());
    ASSERT_FALSE(FilterListed());

    DropFiles(Help()->MemoIns->Handle(), {library, dropped + L"notes.ax"});
    // One question per file, then the outcome of each.
    ASSERT_EQ(4u, boxes.Boxes.size());
    EXPECT_EQ(L"Do you really want to install the file " + library + L"?", boxes.Boxes[0].Text);
    EXPECT_EQ(L"Operation successful", boxes.Boxes[1].Text);
    EXPECT_EQ(L"Do you really want to install the file " + dropped + L"notes.ax?", boxes.Boxes[2].Text);
    EXPECT_EQ(dropped + L"notes.ax is not a library of filters (a DLL): it was not loaded.", boxes.Boxes[3].Text);
    EXPECT_TRUE(FilterListed());
    EXPECT_EQ(library, ServerPath());
    bool present = false;
    EXPECT_EQ(longPath, ui::ReadEnvironmentVariable(L"path", present));
    EXPECT_TRUE(present);

    boxes.Boxes.clear();
    boxes.Answer = IDNO;
    DropFiles(Help()->MemoDes->Handle(), {library});
    ASSERT_EQ(1u, boxes.Boxes.size());
    EXPECT_TRUE(FilterListed());

    boxes.Boxes.clear();
    boxes.Answer = IDYES;
    DropFiles(Help()->MemoDes->Handle(), {library});
    ASSERT_EQ(2u, boxes.Boxes.size());
    EXPECT_EQ(L"Do you really want to uninstall the file " + library + L"?", boxes.Boxes[0].Text);
    EXPECT_EQ(L"Operation successful", boxes.Boxes[1].Text);
    EXPECT_FALSE(FilterListed());
    EXPECT_EQ(L"", ServerPath());
    EXPECT_EQ(longPath, ui::ReadEnvironmentVariable(L"path", present));

    SetEnvironmentVariableW(L"path", hadPath ? savedPath.c_str() : nullptr);
    RemoveFolder(dropped);
}

TEST_F(HelpPanelTest, FailedOrFaultingRegistrationsAreUndoneAndALibraryWithoutRegistrationIsNotLoaded) {
    TBoxRecorder boxes;
    const std::wstring dropped = MakeTempFolder();
    const std::wstring failing = CopyFilterLibrary(dropped, L"drop_filter.dll", L"failing_filters.ax");
    const std::wstring bare = CopyFilterLibrary(dropped, L"drop_filter_noexport.dll", L"bare.ax");

    Help()->InstallFilterFile(failing);
    ASSERT_EQ(2u, boxes.Boxes.size());
    EXPECT_EQ(L"Opeartion failed\r\nWhat the library had registered before it failed has been removed again.",
              boxes.Boxes[1].Text);
    EXPECT_FALSE(FilterListed());
    EXPECT_EQ(L"", ServerPath());

    // A library whose code faults: the program goes on and says so.
    const std::wstring faulting = CopyFilterLibrary(dropped, L"drop_filter.dll", L"faulting_filters.ax");
    boxes.Boxes.clear();
    Help()->InstallFilterFile(faulting);
    ASSERT_EQ(2u, boxes.Boxes.size());
    EXPECT_EQ(0u, boxes.Boxes[1].Text.find(L"Opeartion failed\r\nThe library faulted in its own code")) << boxes.Boxes[1].Text;
    EXPECT_FALSE(FilterListed());

    boxes.Boxes.clear();
    Help()->UninstallFilterFile(bare);
    ASSERT_EQ(2u, boxes.Boxes.size());
    EXPECT_EQ(bare + L" does not offer DllUnregisterServer: it holds no filters to register, and it was not loaded.",
              boxes.Boxes[1].Text);
    // Not loaded: the library is not in the process.
    EXPECT_EQ(nullptr, GetModuleHandleW(bare.c_str()));
    RemoveFolder(dropped);
}

}  // namespace
