#include "widgets/unicode/uc_dialogs.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <vector>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/std_text.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_graphics.h"

namespace widgets {

using classlib::TMessage;
using classlib::WideToAnsi;

// ---- TUcOpenDialog ---------------------------------------------------------------------------
TUcOpenDialog::TUcOpenDialog(classlib::TComponent* AOwner)
    : classlib::TOpenDialog(AOwner), files_(std::make_unique<unicode::TUcStringList>()) {}

TUcOpenDialog::~TUcOpenDialog() = default;

std::wstring TUcOpenDialog::DefaultExt() { return unicode::GetSyncedWideString(defaultExt_, classlib::TOpenDialog::DefaultExt()); }

void TUcOpenDialog::SetDefaultExt(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, defaultExt_, classlib::TOpenDialog::DefaultExt(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetDefaultExt(S); });
}

std::wstring TUcOpenDialog::FileName() {
    if (unicode::Win32PlatformIsUnicode() && classlib::NewStyleControls && Handle() != nullptr &&
        !(Options() & classlib::ofOldStyleDialog)) {
        HWND dialog = GetParent(Handle());
        // The length first, so that no path is cut at 260 characters.
        LRESULT needed = SendMessageW(dialog, CDM_GETFILEPATH, 0, 0);
        if (needed > 0) {
            std::wstring path(static_cast<size_t>(needed) + 1, L'\0');
            LRESULT n = SendMessageW(dialog, CDM_GETFILEPATH, path.size(), reinterpret_cast<LPARAM>(path.data()));
            if (n > 0) {
                path.resize(wcsnlen(path.c_str(), path.size()));
                return path;
            }
        }
    }
    return unicode::GetSyncedWideString(fileName_, FileNameField());
}

void TUcOpenDialog::SetFileName(const std::wstring& Value) {
    fileName_ = Value;
    classlib::TOpenDialog::SetFileName(WideToAnsi(Value));
}

std::wstring TUcOpenDialog::Filter() { return unicode::GetSyncedWideString(filter_, classlib::TOpenDialog::Filter()); }

void TUcOpenDialog::SetFilter(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, filter_, classlib::TOpenDialog::Filter(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetFilter(S); });
}

std::wstring TUcOpenDialog::InitialDir() {
    return unicode::GetSyncedWideString(initialDir_, classlib::TOpenDialog::InitialDir());
}

void TUcOpenDialog::SetInitialDir(const std::wstring& Value) {
    std::wstring dir = Value;
    if (dir.size() > 1 && dir.back() == L'\\' && dir[dir.size() - 2] != L':') dir.pop_back();
    unicode::SetSyncedWideString(dir, initialDir_, classlib::TOpenDialog::InitialDir(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetInitialDir(S); });
}

std::wstring TUcOpenDialog::Title() { return unicode::GetSyncedWideString(title_, classlib::TOpenDialog::Title()); }

void TUcOpenDialog::SetTitle(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, title_, classlib::TOpenDialog::Title(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetTitle(S); });
}

bool TUcOpenDialog::Execute() {
    if (!unicode::Win32PlatformIsUnicode()) {
        files_->Clear();
        bool ok = DoExecute([this](OPENFILENAMEA* Ofn) { return AnsiDialog(Ofn); });
        if (ok) {
            for (int i = 0; i < AnsiFiles()->Count(); ++i) files_->Add(classlib::AnsiToWide(AnsiFiles()->Strings(i)));
        }
        return ok;
    }
    return WideExecute();
}

bool TUcOpenDialog::WideExecute() {
    files_->Clear();
    // The class library prepares the structure; the capture keeps it and shows nothing.
    captured_ = OPENFILENAMEA{};
    capturedTemplate_.clear();
    DoExecute([this](OPENFILENAMEA* Ofn) {
        captured_ = *Ofn;
        if (Ofn->lpTemplateName != nullptr && !unicode::Uc_Is_IntResource(Ofn->lpTemplateName))
            capturedTemplate_ = Ofn->lpTemplateName;
        return FALSE;
    });

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = IsWindow(captured_.hwndOwner) ? captured_.hwndOwner : classlib::Application()->Handle();
    ofn.hInstance = captured_.hInstance;
    std::wstring filterText = Filter();
    std::vector<wchar_t> filter(filterText.begin(), filterText.end());
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(0);
    filter.push_back(0);
    ofn.lpstrFilter = filterText.empty() ? nullptr : filter.data();
    ofn.nFilterIndex = captured_.nFilterIndex;
    std::vector<wchar_t> file(static_cast<size_t>(captured_.nMaxFile) + 2, L'\0');
    std::wstring name = FileName();
    std::copy_n(name.begin(), std::min<size_t>(name.size(), captured_.nMaxFile), file.begin());
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = captured_.nMaxFile;
    std::wstring initialDir = InitialDir();
    if (initialDir.empty() && classlib::ForceCurrentDirectory) initialDir = L".";
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    std::wstring title = Title();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    std::wstring defaultExt = DefaultExt();
    if (defaultExt.empty() && !(captured_.Flags & OFN_EXPLORER)) {
        size_t dot = name.find_last_of(L".\\:");
        if (dot != std::wstring::npos && name[dot] == L'.') defaultExt = name.substr(dot + 1);
    }
    ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    ofn.Flags = captured_.Flags;
    ofn.lCustData = captured_.lCustData;
    ofn.lpfnHook = captured_.lpfnHook;
    std::wstring templateName = classlib::AnsiToWide(capturedTemplate_);
    ofn.lpTemplateName = capturedTemplate_.empty() ? reinterpret_cast<const wchar_t*>(captured_.lpTemplateName)
                                                   : templateName.c_str();

    bool ok = TaskModalDialog([&] { return WideDialog(&ofn); });
    if (ok) {
        GetWideFileNames(ofn);
        SetOptionFlag(classlib::ofReadOnly, (ofn.Flags & OFN_READONLY) != 0);
        SetOptionFlag(classlib::ofExtensionDifferent, (ofn.Flags & OFN_EXTENSIONDIFFERENT) != 0);
        SetFilterIndex(static_cast<int>(ofn.nFilterIndex));
    }
    return ok;
}

void TUcOpenDialog::GetWideFileNames(const OPENFILENAMEW& Ofn) {
    files_->Clear();
    if (Ofn.lpstrFile == nullptr) return;
    bool multi = (Options() & classlib::ofAllowMultiSelect) != 0;
    wchar_t separator = BlankSeparated(Ofn.Flags) ? L' ' : L'\0';
    for (const std::wstring& f : classlib::SplitDialogFileNames(Ofn.lpstrFile, Ofn.nMaxFile, multi, separator))
        files_->Add(f);
    SetFileName(files_->Count() > 0 ? files_->Strings(0) : std::wstring());
    classlib::TStrings* ansi = AnsiFiles();
    ansi->BeginUpdate();
    ansi->Clear();
    for (int i = 0; i < files_->Count(); ++i) ansi->Add(WideToAnsi(files_->Strings(i)));
    ansi->EndUpdate();
}

bool TUcOpenDialog::DoCanClose() { return wideCheck_ ? classlib::TOpenDialog::DoCanClose() : true; }

void TUcOpenDialog::DoIncludeItem(const OFNOTIFYEXA& OFN, bool& Include) {
    if (unicode::Win32PlatformIsUnicode()) classlib::TOpenDialog::DoIncludeItem(OFN, Include);
}

void TUcOpenDialog::WndProc(TMessage& Message) {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TOpenDialog::WndProc(Message);
        return;
    }
    if (Message.Msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(Message.LParam)->code == CDN_FILEOK) {
        // Answered here alone: the class library would read the wide structure as an ANSI one.
        GetWideFileNames(*reinterpret_cast<const OFNOTIFYW*>(Message.LParam)->lpOFN);
        wideCheck_ = true;
        bool ok = false;
        try {
            ok = DoCanClose();
        } catch (...) {
            wideCheck_ = false;
            throw;
        }
        wideCheck_ = false;
        files_->Clear();
        AnsiFiles()->Clear();
        if (!ok) {
            Message.Result = 1;
            SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 1);
        }
        return;
    }
    if (Message.Msg == WM_INITDIALOG && classlib::NewStyleControls && !(Options() & classlib::ofOldStyleDialog)) {
        // Not the class library's: only the dialog's showing.
        DoShow();
        return;
    }
    classlib::TOpenDialog::WndProc(Message);
}

// ---- Message dialog --------------------------------------------------------------------------

namespace {

struct TButtonKind {
    const wchar_t* Caption;
    const wchar_t* Name;
    int ModalResult;
};
constexpr TButtonKind kButtons[] = {
    {L"&Yes", L"Yes", classlib::mrYes},         {L"&No", L"No", classlib::mrNo},
    {L"Ok", L"OK", classlib::mrOk},             {L"Cancel", L"Cancel", classlib::mrCancel},
    {L"&Abort", L"Abort", classlib::mrAbort},   {L"&Retry", L"Retry", classlib::mrRetry},
    {L"&Ignore", L"Ignore", classlib::mrIgnore}, {L"&All", L"All", classlib::mrAll},
    {L"N&o to All", L"NoToAll", classlib::mrNoToAll}, {L"Yes to &All", L"YesToAll", classlib::mrYesToAll},
    {L"&Help", L"Help", classlib::mrNone},
};
constexpr int kButtonCount = static_cast<int>(std::size(kButtons));
// The system icons of the warning, error, information and confirmation types.
constexpr WORD kIcons[] = {0x7F03, 0x7F01, 0x7F04, 0x7F02};

std::mutex& SeamLock() {
    static std::mutex lock;
    return lock;
}
TMessageDlgFunction& InstalledFunction() {
    static TMessageDlgFunction function;
    return function;
}

// The size of a wide text drawn in the DC with the flags (DT_CALCRECT added), in a box Width wide.
SIZE MeasureText(HDC DC, const std::wstring& Text, int Width, UINT Flags) {
    RECT r{0, 0, Width, 0};
    unicode::Uc_DrawTextW(DC, Text.c_str(), static_cast<int>(Text.size()), &r, Flags | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// Text with every word wider than MaxWidth broken by line breaks where the width runs out: word
// wrapping leaves such a word whole, past the edge. Measured a window of characters at a time, so
// that a long word costs once its length.
std::wstring BreakLongWords(HDC DC, const std::wstring& Text, int MaxWidth) {
    constexpr std::size_t kWindow = 2048;
    std::wstring out;
    out.reserve(Text.size() + Text.size() / 16);
    std::size_t i = 0;
    while (i < Text.size()) {
        const wchar_t c = Text[i];
        if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
            out += c;
            ++i;
            continue;
        }
        std::size_t end = Text.find_first_of(L" \t\r\n", i);
        if (end == std::wstring::npos) end = Text.size();
        std::size_t pos = i;
        while (pos < end) {
            const std::size_t window = std::min(end - pos, kWindow);
            INT fit = 0;
            SIZE size{};
            if (!GetTextExtentExPointW(DC, Text.data() + pos, static_cast<int>(window), MaxWidth, &fit, nullptr, &size))
                fit = static_cast<INT>(window);
            if (static_cast<std::size_t>(fit) >= window) {
                out.append(Text, pos, window);
                pos += window;
                continue;
            }
            // At least one character a line, and never half a surrogate pair.
            std::size_t take = std::max<std::size_t>(1, static_cast<std::size_t>(fit));
            if (take > 1 && IS_HIGH_SURROGATE(Text[pos + take - 1])) --take;
            out.append(Text, pos, take);
            out += L"\r\n";
            pos += take;
        }
        i = end;
    }
    return out;
}

// Text with its middle left out, as little as needed for it to wrap within Width into no more
// than MaxHeight: its beginning and its end (where a question usually stands) as long as each
// other, "..." between them. Text itself when it fits.
std::wstring CutToHeight(HDC DC, const std::wstring& Text, int Width, int MaxHeight, UINT Flags) {
    auto height = [&](const std::wstring& Shown) { return MeasureText(DC, Shown, Width, Flags).cy; };
    if (height(Text) <= MaxHeight) return Text;
    auto shown = [&](std::size_t Each) {
        std::size_t head = Each, tail = Text.size() - Each;
        if (head > 0 && IS_HIGH_SURROGATE(Text[head - 1])) --head;
        if (tail < Text.size() && IS_LOW_SURROGATE(Text[tail])) ++tail;
        return Text.substr(0, head) + L"..." + Text.substr(tail);
    };
    std::size_t low = 0, high = Text.size() / 2;
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (height(shown(middle)) <= MaxHeight)
            low = middle;
        else
            high = middle - 1;
    }
    return shown(low);
}

}  // namespace

std::wstring GetMessageCaption(int DlgType) {
    static const wchar_t* captions[] = {L"Warning", L"Error", L"Information", L"Confirm"};
    if (DlgType < 0 || DlgType > 4) throw unicode::EUcInternalError(L"Unexpected MsgType in GetMessageCaption.");
    if (DlgType == 4) return UcApplication() != nullptr ? UcApplication()->Title() : std::wstring();
    return captions[DlgType];
}

std::wstring GetButtonCaption(int Button) {
    if (Button < 0 || Button >= kButtonCount) throw unicode::EUcInternalError(L"Unexpected MsgDlgBtn in GetButtonCaption.");
    return kButtons[Button].Caption;
}

TUcMessageForm::TUcMessageForm(classlib::TComponent* AOwner, const std::wstring& Msg, TMsgDlgType DlgType,
                               TMsgDlgButtons Buttons)
    : TUcForm(AOwner) {
    const int type = static_cast<int>(DlgType);
    SetBiDiMode(classlib::Application()->MainForm() != nullptr ? classlib::Application()->MainForm()->BiDiMode()
                                                                : classlib::TBiDiMode::bdLeftToRight);
    SetBorderStyle(classlib::TFormBorderStyle::bsDialog);
    SetKeyPreview(true);
    SetPosition(classlib::TPosition::poDesigned);
    // The message font of the system (the older, shorter structure every system answers).
    NONCLIENTMETRICSA metrics{};
    constexpr UINT metricsSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    static_assert(metricsSize == 340, "the message-box metrics every system knows");
    metrics.cbSize = metricsSize;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metricsSize, &metrics, 0)) Font()->AssignLogFont(metrics.lfMessageFont);

    // Dialog units of the message font.
    HDC dc = GetDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, Font()->Handle());
    std::wstring letters;
    for (wchar_t c = L'A'; c <= L'Z'; ++c) letters += c;
    for (wchar_t c = L'a'; c <= L'z'; ++c) letters += c;
    SIZE avg{};
    GetTextExtentPoint32W(dc, letters.c_str(), 52, &avg);
    avg.cx /= 52;
    const int horzMargin = MulDiv(8, avg.cx, 4), vertMargin = MulDiv(8, avg.cy, 8);
    const int horzSpacing = MulDiv(10, avg.cx, 4), vertSpacing = MulDiv(10, avg.cy, 8);
    int buttonWidth = MulDiv(50, avg.cx, 4);
    const int buttonHeight = MulDiv(14, avg.cy, 8), buttonSpacing = MulDiv(4, avg.cx, 4);
    const UINT reading = DrawTextBiDiModeFlagsReadingOnly();
    int buttonCount = 0;
    for (int b = 0; b < kButtonCount; ++b) {
        if (!(Buttons & (1u << b))) continue;
        ++buttonCount;
        int w = MeasureText(dc, kButtons[b].Caption, 0, DT_LEFT | DT_SINGLELINE | reading).cx + 8;
        buttonWidth = std::max(buttonWidth, w);
    }
    // The text as shown: no wider than half the screen, and no taller than the screen leaves it
    // beside the buttons, the margins and the caption.
    text_ = Msg;
    const UINT textFlags = DT_EXPANDTABS | DT_WORDBREAK | reading;
    // The ink of a line's last character may reach past its measured width (a closing full stop
    // by a pixel): the label keeps room for it beside the text, within half the screen.
    const int inkSlack = classlib::TextInkSlack(dc, Font()->Handle());
    const int textWidth = classlib::Screen()->Width() / 2 - inkSlack;
    const int frame = GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFIXEDFRAME);
    const int textRoom = std::max<int>(avg.cy, classlib::Screen()->Height() - frame - buttonHeight - vertSpacing - 2 * vertMargin);
    std::wstring shown = Msg;
    SIZE text = MeasureText(dc, shown, textWidth, textFlags);
    if (text.cx > textWidth || text.cy > textRoom) {
        shown = CutToHeight(dc, BreakLongWords(dc, Msg, textWidth), textWidth, textRoom, textFlags);
        text = MeasureText(dc, shown, textWidth, textFlags);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);

    const bool hasIcon = type < 4;
    const int iconTextWidth = text.cx + (hasIcon ? 32 + horzSpacing : 0);
    const int iconTextHeight = hasIcon ? std::max<int>(text.cy, 32) : text.cy;
    const int groupWidth = buttonCount > 0 ? buttonCount * buttonWidth + (buttonCount - 1) * buttonSpacing : 0;
    SetClientWidth(std::max(iconTextWidth, groupWidth) + 2 * horzMargin);
    SetClientHeight(iconTextHeight + buttonHeight + vertSpacing + 2 * vertMargin);
    SetLeft(classlib::Screen()->Width() / 2 - Width() / 2);
    SetTop(classlib::Screen()->Height() / 2 - Height() / 2);
    SetCaption(GetMessageCaption(type));

    if (hasIcon) {
        image_ = new TUcImage(this);
        image_->SetName(L"Image");
        image_->SetParent(this);
        image_->Picture()->SetIcon(CopyIcon(LoadIconW(nullptr, MAKEINTRESOURCEW(kIcons[type]))));
        image_->SetBounds(horzMargin, vertMargin, 32, 32);
    }
    message_ = new TUcLabel(this);
    message_->SetName(L"Message");
    message_->SetParent(this);
    message_->SetWordWrap(true);
    message_->SetCaption(shown);
    message_->SetBiDiMode(BiDiMode());
    int textLeft = iconTextWidth - text.cx + horzMargin;
    if (UseRightToLeftAlignment()) textLeft = ClientWidth() - textLeft - text.cx - inkSlack;
    message_->SetBounds(textLeft, vertMargin, text.cx + inkSlack, text.cy);

    auto in = [&](TMsgDlgBtn b) { return (Buttons & (1u << b)) != 0; };
    const TMsgDlgBtn defaultButton = in(mbOK) ? mbOK : in(mbYes) ? mbYes : mbRetry;
    const TMsgDlgBtn cancelButton = in(mbCancel) ? mbCancel : in(mbNo) ? mbNo : mbOK;
    int x = (ClientWidth() - groupWidth) / 2;
    const int y = iconTextHeight + vertMargin + vertSpacing;
    for (int b = 0; b < kButtonCount; ++b) {
        if (!in(static_cast<TMsgDlgBtn>(b))) continue;
        auto* button = new TUcButton(this);
        button->SetName(kButtons[b].Name);
        button->SetParent(this);
        button->SetCaption(kButtons[b].Caption);
        button->SetModalResult(kButtons[b].ModalResult);
        if (b == defaultButton) button->SetDefault(true);
        if (b == cancelButton) button->SetCancel(true);
        button->SetBounds(x, y, buttonWidth, buttonHeight);
        if (b == mbHelp) button->OnClick = [this](classlib::TObject* Sender) { HelpButtonClick(Sender); };
        x += buttonWidth + buttonSpacing;
    }
    // The keyboard starts on the default button: Return and the space bar answer it, Escape the
    // cancel button.
    if (TUcButton* first = Button(defaultButton)) SetActiveControl(first);
}

TUcButton* TUcMessageForm::Button(TMsgDlgBtn Kind) const {
    if (Kind < 0 || Kind >= kButtonCount) return nullptr;
    return dynamic_cast<TUcButton*>(FindComponent(kButtons[Kind].Name));
}

void TUcMessageForm::SetFocusedButton(TMsgDlgBtn Kind) {
    TUcButton* focused = Button(Kind);
    if (focused == nullptr) return;
    for (int b = 0; b < kButtonCount; ++b)
        if (TUcButton* button = Button(static_cast<TMsgDlgBtn>(b))) button->SetDefault(button == focused);
    SetActiveControl(focused);
}

void TUcMessageForm::HelpButtonClick(classlib::TObject*) { classlib::Application()->HelpContext(HelpContext()); }

std::wstring TUcMessageForm::ClipboardText() {
    const std::wstring line = std::wstring(27, L'-') + L"\r\n";
    std::wstring buttons;
    for (int i = 0; i < ComponentCount(); ++i) {
        auto* button = dynamic_cast<TUcButton*>(Components(i));
        if (button == nullptr) continue;
        std::wstring caption = button->Caption();
        caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
        buttons += caption + L"   ";
    }
    return line + Caption() + L"\r\n" + line + text_ + L"\r\n" +
           line + buttons + L"\r\n" + line;
}

void TUcMessageForm::KeyDown(WORD& Key, classlib::TShiftState Shift) {
    if (Shift == classlib::ssCtrl && Key == 'C') {
        MessageBeep(0);
        UcClipboard()->SetAsWideText(ClipboardText());
    }
    TUcForm::KeyDown(Key, Shift);
}

int WideMessageDlg(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
    return WideMessageDlgPosHelp(Msg, DlgType, Buttons, HelpCtx, -1, -1, std::wstring());
}

namespace {

// The dialog shown (or asked of the seam); Focused -1: the default button's.
int ShowMessageDlg(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
                   const std::wstring& HelpFile, int Focused) {
    TMessageDlgFunction answer;
    {
        std::lock_guard<std::mutex> guard(SeamLock());
        answer = InstalledFunction();
    }
    if (answer) return answer(Msg, DlgType, Buttons);
    std::unique_ptr<TUcMessageForm> form(new TUcMessageForm(classlib::Application(), Msg, DlgType, Buttons));
    form->AfterConstruction();
    form->SetHelpContext(HelpCtx);
    form->SetHelpFile(HelpFile);
    if (X >= 0) form->SetLeft(X);
    if (Y >= 0) form->SetTop(Y);
    if (X < 0 && Y < 0) form->SetPosition(classlib::TPosition::poScreenCenter);
    if (Focused >= 0) form->SetFocusedButton(static_cast<TMsgDlgBtn>(Focused));
    int result = form->ShowModal();
    form->BeforeDestruction();
    return result;
}

}  // namespace

int WideMessageDlgPosHelp(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
                          int Y, const std::wstring& HelpFile) {
    return ShowMessageDlg(Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFile, -1);
}

int WideMessageDlgFocused(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn Focused) {
    return ShowMessageDlg(Msg, DlgType, Buttons, 0, -1, -1, std::wstring(), Focused);
}

TMessageDlgFunction SetMessageDlgFunction(TMessageDlgFunction Function) {
    std::lock_guard<std::mutex> guard(SeamLock());
    TMessageDlgFunction previous = std::move(InstalledFunction());
    InstalledFunction() = std::move(Function);
    return previous;
}

}  // namespace widgets
