#include "ui/help_frame.h"

#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "classlib/format.h"
#include "classlib/gdi_handles.h"
#include "classlib/message_box.h"
#include "settings/program_texts.h"
#include "settings/shell_helpers.h"
#include "ui/capture_form.h"
#include "ui/filter_library.h"
#include "ui/form_parts.h"
#include "ui/info_text_ids.h"
#include "ui/raccourcis_form.h"

namespace ui {

namespace {

std::wstring gSystemInfoMailText;

std::wstring InfoText(unsigned Id) { return settings::LoadProgramText(Id); }

// The owner of the panel's message boxes.
HWND MessageOwner(classlib::TWinControl* Control) {
    if (classlib::TCustomForm* form = classlib::GetParentForm(Control); form != nullptr && form->HandleAllocated())
        return form->Handle();
    return nullptr;
}

}  // namespace

const std::wstring& SystemInfoMailText() { return gSystemInfoMailText; }

// --- The drop zone -----------------------------------------------------------------------------

TMemo::TMemo(classlib::TComponent* AOwner) : widgets::TUcMemo(AOwner) { SetReadOnly(true); }

void TMemo::AcceptDroppedFiles() {
    accepting_ = true;
    if (HandleAllocated()) DragAcceptFiles(Handle(), TRUE);
}

void TMemo::CreateWnd() {
    widgets::TUcMemo::CreateWnd();
    if (accepting_) DragAcceptFiles(Handle(), TRUE);
}

void TMemo::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == WM_DROPFILES) {
        WMDropFiles(reinterpret_cast<HDROP>(Message.WParam));
        Message.Result = 0;
        return;
    }
    widgets::TUcMemo::Dispatch(Message);
}

void TMemo::WMDropFiles(HDROP Drop) {
    try {
        const UINT count = DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(Drop, i, nullptr, 0);
            if (length >= kMaxNameLength) continue;
            std::wstring name(length + 1, L'\0');
            name.resize(DragQueryFileW(Drop, i, name.data(), length + 1));
            if (OnDroppedFile) OnDroppedFile(this, name);
        }
    } catch (...) {
        // Nothing may leave the window procedure; the handlers tell their own failures.
    }
    DragFinish(Drop);
}

// --- The system report's edit -------------------------------------------------------------------

TSystemReportEdit::TSystemReportEdit(classlib::TComponent* AOwner) : widgets::TUcRichEdit(AOwner) {
    SetReadOnly(true);
    // Its lines only: not the name a new control shows as its text.
    SetText(L"");
}

void TSystemReportEdit::ClearReport() {
    lines_.clear();
    if (HandleAllocated()) SetWindowTextW(Handle(), L"");
}

void TSystemReportEdit::SetInsertStyle(bool Bold, bool Italic) {
    bold_ = Bold;
    italic_ = Italic;
}

void TSystemReportEdit::AddLine(const std::wstring& Text, classlib::TColor Color) {
    lines_.push_back(TReportLine{Text, Color, bold_, italic_});
    if (HandleAllocated()) Append(lines_.back());
}

void TSystemReportEdit::CreateWnd() {
    widgets::TUcRichEdit::CreateWnd();
    // The window shows the lines and nothing else, however late it is made.
    SetWindowTextW(Handle(), L"");
    for (const TReportLine& line : lines_) Append(line);
}

void TSystemReportEdit::Append(const TReportLine& Line) {
    const HWND h = Handle();
    // Each line after the first starts with the break that ends the one before.
    const bool first = GetWindowTextLengthW(h) == 0;
    CHARRANGE end{-1, -1};
    SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    if (!first) SendMessageW(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"\r\n"));
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_COLOR | CFM_SIZE | CFM_FACE;
    cf.dwEffects = (Line.Bold ? CFE_BOLD : 0) | (Line.Italic ? CFE_ITALIC : 0);
    cf.crTextColor = classlib::ColorToRGB(Line.Color);
    cf.yHeight = kPoints * 20;
    wcsncpy(cf.szFaceName, L"Arial", LF_FACESIZE - 1);
    SendMessageW(h, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    // The line's leading blanks are shown as its paragraph's indent: the rich edit wraps no line that
    // starts with blanks (a long path would run past the edge), and a wrapped line keeps the indent.
    size_t blanks = Line.Text.find_first_not_of(L' ');
    if (blanks == std::wstring::npos) blanks = 0;
    PARAFORMAT2 pf{};
    pf.cbSize = sizeof pf;
    pf.dwMask = PFM_STARTINDENT | PFM_OFFSET;
    pf.dxStartIndent = IndentTwips(Line, blanks);
    SendMessageW(h, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
    SendMessageW(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Line.Text.c_str() + blanks));
}

LONG TSystemReportEdit::IndentTwips(const TReportLine& Line, size_t Blanks) {
    if (Blanks == 0) return 0;
    classlib::TWindowDC screen(nullptr);
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSX);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(kPoints, GetDeviceCaps(screen.Get(), LOGPIXELSY), 72);
    lf.lfWeight = Line.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = Line.Italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, L"Arial", LF_FACESIZE - 1);
    classlib::TOwnedFont font(CreateFontIndirectW(&lf));
    classlib::TSelectedObject selected(screen.Get(), font.Get());
    const std::wstring text(Blanks, L' ');
    SIZE size{};
    GetTextExtentPoint32W(screen.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return MulDiv(size.cx, 1440, dpi);
}

// --- The panel ----------------------------------------------------------------------------------

THelpFrame::THelpFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"HelpFrame1");
    using namespace widgets;
    PageControl1 = Place<TUcPageControl>(this, this, L"PageControl1", 0, 0, kPanelWidth, kPanelHeight);
    auto tab = [this](const wchar_t* name, const wchar_t* caption) {
        return AddPage<TUcTabSheet>(this, PageControl1, name, caption);
    };
    tsAide = tab(L"tsAide", L"Help");
    tsSystem = tab(L"tsSystem", L"System");
    tsSources = tab(L"tsSources", L"Sources");
    tsFiltres = tab(L"tsFiltres", L"Filters");
    constexpr int kInnerWidth = kPanelWidth - 10;
    constexpr int kInnerHeight = kPanelHeight - 30;

    LinkEdit1 = Place<custom::TLinkEdit>(this, tsAide, L"LinkEdit1", 0, 0, kInnerWidth, kInnerHeight);
    LinkEdit1->SetColor(classlib::clWhite);
    LinkEdit1->SetReadOnly(true);
    LinkEdit1->SetUrlColor(classlib::clNavy);
    LinkEdit1->SetMailColor(classlib::clBlack);
    LinkEdit1->SetLinkColor(classlib::clGreen);
    LinkEdit1->OnCustomLinkClick = [this](const std::wstring& link) { LinkEdit1CustomLinkClick(link); };
    LinkEdit1->OnUrlClick = [this](const std::wstring& link) { LinkEdit1UrlClick(link); };
    LinkEdit1->OnCustomLinkHint = [this](const std::wstring& link, std::wstring& hint) {
        LinkEdit1CustomLinkHint(link, hint);
    };
    LinkEdit1->OnUrlHint = [this](const std::wstring& link, std::wstring& hint) { LinkEdit1UrlHint(link, hint); };

    reSystem = Place<TSystemReportEdit>(this, tsSystem, L"reSystem", 0, 0, kInnerWidth, kInnerHeight);
    reSystem->SetColor(classlib::clBtnFace);
    reSystem->Font()->SetName("Arial");
    reSystem->SetScrollBars(classlib::TScrollStyle::ssVertical);

    Memo1 = Place<TUcMemo>(this, tsSources, L"Memo1", 4, 4, kInnerWidth - 8, 60);
    Memo1->SetReadOnly(true);
    Memo1->SetAlignment(classlib::TAlignment::taCenter);
    Memo1->SetColor(classlib::clBtnFace);
    SetMemoLines(Memo1, {L"", L"Uncheck the video or audio sources that ", L"you want to exclude from the lists of ",
                         L"Quillotrane"});
    clSources = Place<TUcCheckListBox>(this, tsSources, L"clSources", 4, 70, kInnerWidth - 8, kInnerHeight - 76);
    clSources->SetSorted(true);

    auto zone = [this](const wchar_t* labelName, const wchar_t* memoName, int top, classlib::TColor color,
                       TUcLabel*& label, TMemo*& memo) {
        label = Place<TUcLabel>(this, tsFiltres, labelName, 8, top, kInnerWidth - 16, 30);
        label->SetAutoSize(false);
        label->SetWordWrap(true);
        memo = Place<TMemo>(this, tsFiltres, memoName, 8, top + 34, kInnerWidth - 16, 120);
        memo->SetColor(color);
        memo->SetAlignment(classlib::TAlignment::taCenter);
        memo->Font()->SetName("Arial");
        memo->Font()->SetHeight(-21);
        memo->Font()->SetStyle({classlib::fsBold});
        memo->Font()->SetColor(classlib::clWhite);
        memo->SetShowHint(true);
        memo->SetCursor(classlib::crHandPoint);
    };
    zone(L"LabelIns", L"MemoIns", 8, classlib::clGreen, LabelIns, MemoIns);
    zone(L"LabelDes", L"MemoDes", 184, classlib::clMaroon, LabelDes, MemoDes);
    PageControl1->SetActivePage(tsAide);
    // The window was made by the panel's base, under the base's class name: made again under this
    // panel's own, so that the panel is known by it from outside.
    if (HandleAllocated()) RecreateWnd();
}

void THelpFrame::InitTexts() {
    tsAide->SetCaption(InfoText(IDS_HELP_TAB_AIDE));
    tsSystem->SetCaption(InfoText(IDS_HELP_TAB_SYSTEM));
    tsSources->SetCaption(InfoText(IDS_HELP_TAB_SOURCES));
    tsFiltres->SetCaption(InfoText(IDS_HELP_TAB_FILTRES));
    LabelIns->SetCaption(InfoText(IDS_HELP_INS_LABEL));
    LabelDes->SetCaption(InfoText(IDS_HELP_DES_LABEL));
    SetMemoLines(MemoIns, {L"", InfoText(IDS_HELP_INS_WORD)});
    MemoIns->SetHint(InfoText(IDS_HELP_INS_HINT));
    SetMemoLines(MemoDes, {L"", InfoText(IDS_HELP_DES_WORD)});
    MemoDes->SetHint(InfoText(IDS_HELP_DES_HINT));

    MemoIns->OnDroppedFile = [this](classlib::TObject*, const std::wstring& name) { InstallFilterFile(name); };
    MemoDes->OnDroppedFile = [this](classlib::TObject*, const std::wstring& name) { UninstallFilterFile(name); };
    MemoIns->AcceptDroppedFiles();
    MemoDes->AcceptDroppedFiles();

    const std::wstring product = InfoText(IDS_INFO_PRODUCT);
    const std::wstring markup =
        InfoText(IDS_HELP_TEXT_1) + InfoText(IDS_HELP_TEXT_2) + InfoText(IDS_HELP_TEXT_3) + InfoText(IDS_HELP_TEXT_4);
    LinkEdit1->SetRichText(classlib::Format(markup, {product, product, product, InfoText(IDS_INFO_HELP_URL), product}));
}

void THelpFrame::LinkEdit1CustomLinkClick(const std::wstring& Link) {
    if (Link == L"F11") {
        TCaptureForm* form = CaptureForm();
        if (form == nullptr || form->taraccourcis == nullptr) return;
        if (!form->taraccourcis->Checked()) {
            form->taraccourcis->Execute();
        } else if (TRaccourcisForm* keys = RaccourcisForm()) {
            keys->BringToFront();
        }
    } else if (Link == L"Sources") {
        PageControl1->SetActivePageIndex(2);
    } else if (Link == L"Filtres") {
        PageControl1->SetActivePageIndex(3);
    }
}

void THelpFrame::LinkEdit1UrlClick(const std::wstring& Link) { settings::ShellOpen(Link); }

void THelpFrame::LinkEdit1CustomLinkHint(const std::wstring& Link, std::wstring& Hint) {
    if (Link == L"F11")
        Hint = InfoText(IDS_HELP_HINT_F11);
    else if (Link == L"Sources")
        Hint = InfoText(IDS_HELP_HINT_SOURCES);
    else if (Link == L"Filtres")
        Hint = InfoText(IDS_HELP_HINT_FILTRES);
}

void THelpFrame::LinkEdit1UrlHint(const std::wstring& Link, std::wstring& Hint) {
    Hint = classlib::Format(InfoText(IDS_HELP_HINT_URL), {Link});
}

void THelpFrame::InstallFilterFile(const std::wstring& FileName) { RegisterDropped(FileName, true); }

void THelpFrame::UninstallFilterFile(const std::wstring& FileName) { RegisterDropped(FileName, false); }

void THelpFrame::RegisterDropped(const std::wstring& FileName, bool Install) {
    const HWND owner = MessageOwner(this);
    const std::wstring caption = InfoText(IDS_INFO_PRODUCT);
    const std::wstring question = classlib::Format(InfoText(Install ? IDS_HELP_ASK_INSTALL : IDS_HELP_ASK_UNINSTALL), {FileName});
    if (classlib::ShowMessageBox(owner, question, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;

    const TRegistrationOutcome outcome = RegisterFilterLibrary(FileName, Install);
    std::wstring message;
    UINT icon = MB_ICONERROR;
    switch (outcome.Check) {
        case TLibraryCheck::lcUnreadable:
            message = classlib::Format(InfoText(IDS_HELP_FILE_MISSING), {FileName});
            break;
        case TLibraryCheck::lcNotLibrary:
            message = classlib::Format(InfoText(IDS_HELP_NOT_A_LIBRARY), {FileName});
            break;
        case TLibraryCheck::lcOtherProcessor:
            message = classlib::Format(InfoText(IDS_HELP_OTHER_PROCESSOR), {FileName});
            break;
        case TLibraryCheck::lcNoExport:
            message = classlib::Format(InfoText(IDS_HELP_NO_REGISTRATION),
                                       {FileName, std::wstring(Install ? L"DllRegisterServer" : L"DllUnregisterServer")});
            break;
        case TLibraryCheck::lcLibrary:
            if (outcome.Succeeded()) {
                message = InfoText(IDS_HELP_SUCCESS);
                icon = MB_ICONINFORMATION;
            } else {
                message = InfoText(Install ? IDS_HELP_INSTALL_FAILED : IDS_HELP_UNINSTALL_FAILED);
                if (outcome.Faulted) message += L"\r\n" + InfoText(IDS_HELP_FAULTED);
                if (outcome.RolledBack) message += L"\r\n" + InfoText(IDS_HELP_ROLLED_BACK);
            }
            break;
    }
    classlib::ShowMessageBox(owner, message, caption, MB_OK | icon);
}

void THelpFrame::ClearSystemInfo() {
    reSystem->ClearReport();
    gSystemInfoMailText.clear();
}

void THelpFrame::AddSystemInfoLine(const std::wstring& Text, classlib::TColor Color) {
    reSystem->AddLine(Text, Color);
    gSystemInfoMailText += Text + L"\r\n";
}

}  // namespace ui
