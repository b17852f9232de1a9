#include "widgets/unicode/uc_rich_edit.h"

#include <dimm.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

#include "classlib/conversions.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_registry.h"

namespace widgets {

namespace {

constexpr CLSID kActiveImmClass = {0x4955DD33, 0xB159, 0x11D0, {0x8F, 0xCF, 0x00, 0xAA, 0x00, 0x6B, 0xCC, 0x59}};
constexpr IID kActiveImmAppIid = {0x08C0E040, 0x62D1, 0x11D1, {0x93, 0x26, 0x00, 0x60, 0xB0, 0x67, 0xB8, 0x6E}};

struct TActiveImm {
    bool Checked = false;
    Microsoft::WRL::ComPtr<IActiveIMMApp> App;
};
TActiveImm& ActiveImm() {
    static TActiveImm imm;
    return imm;
}

// The system's active input-method manager, made and activated once when its class is registered.
bool ActiveImmAvailable() {
    TActiveImm& imm = ActiveImm();
    if (!imm.Checked) {
        imm.Checked = true;
        if (unicode::IsComServerRegistered(kActiveImmClass) &&
            SUCCEEDED(CoCreateInstance(kActiveImmClass, nullptr, CLSCTX_INPROC_SERVER, kActiveImmAppIid,
                                       reinterpret_cast<void**>(imm.App.GetAddressOf()))))
            imm.App->Activate(TRUE);
    }
    return imm.App != nullptr;
}

// Runs Work with the rich edit's change notification off (restored afterwards).
template <typename F>
void WithoutChangeEvents(classlib::TCustomRichEdit* RichEdit, F&& Work) {
    if (!RichEdit->HandleAllocated()) {
        Work();
        return;
    }
    HWND h = RichEdit->WindowHandle();
    LRESULT mask = SendMessageW(h, EM_GETEVENTMASK, 0, 0);
    SendMessageW(h, EM_SETEVENTMASK, 0, mask & ~static_cast<LRESULT>(ENM_CHANGE));
    try {
        Work();
    } catch (...) {
        SendMessageW(h, EM_SETEVENTMASK, 0, mask);
        throw;
    }
    SendMessageW(h, EM_SETEVENTMASK, 0, mask);
}

}  // namespace

unicode::TTextLineBreakStyle RichEditLineBreakStyle() {
    return unicode::Win32PlatformIsUnicode() && classlib::RichEditLibraryLoaded() ? unicode::tlbsCR : unicode::tlbsCRLF;
}

void FinalizeWideRichEdit() {
    TActiveImm& imm = ActiveImm();
    if (imm.App) imm.App->Deactivate();
    imm.App.Reset();
    imm.Checked = false;
}

// ---- TUcRichEditStrings ----------------------------------------------------------------------
TUcRichEditStrings::TUcRichEditStrings(TUcCustomRichEdit* RichEdit) : TUcMemoStrings(RichEdit), richEdit_(RichEdit) {
    SetRichEditMode(true);
    SetLineBreakStyle(RichEditLineBreakStyle());
}

void TUcRichEditStrings::SetTextStr(const std::wstring& Value) {
    richEdit_->HandleNeeded();
    WithoutChangeEvents(richEdit_, [&] { TUcMemoStrings::SetTextStr(Value); });
}

void TUcRichEditStrings::AddStrings(unicode::TWideStrings* Strings) {
    classlib::TNotifyEvent saved = std::move(richEdit_->OnSelectionChange);
    richEdit_->OnSelectionChange = nullptr;
    try {
        TUcMemoStrings::AddStrings(Strings);
    } catch (...) {
        richEdit_->OnSelectionChange = std::move(saved);
        throw;
    }
    richEdit_->OnSelectionChange = std::move(saved);
}

void TUcRichEditStrings::AddStrings(classlib::TStrings* Strings) {
    unicode::TUcStringList wide;
    wide.AddStrings(Strings);
    AddStrings(&wide);
}

void TUcRichEditStrings::LoadFromFile(const std::wstring& FileName) {
    if (richEdit_->PlainText()) {
        TUcMemoStrings::LoadFromFile(FileName);
        return;
    }
    unicode::TUcFileStream stream(FileName, classlib::fmOpenRead | classlib::fmShareDenyWrite);
    richEdit_->RichLines()->LoadFromStream(&stream);
}

void TUcRichEditStrings::LoadFromStream(classlib::TStream* Stream) {
    if (richEdit_->PlainText())
        TUcMemoStrings::LoadFromStream(Stream);
    else
        richEdit_->RichLines()->LoadFromStream(Stream);
}

void TUcRichEditStrings::SaveToFile(const std::wstring& FileName) {
    if (richEdit_->PlainText()) {
        TUcMemoStrings::SaveToFile(FileName);
        return;
    }
    unicode::TUcFileStream stream(FileName, classlib::fmCreate);
    richEdit_->RichLines()->SaveToStream(&stream);
}

void TUcRichEditStrings::SaveToStream(classlib::TStream* Stream) {
    if (richEdit_->PlainText())
        TUcMemoStrings::SaveToStream(Stream);
    else
        richEdit_->RichLines()->SaveToStream(Stream);
}

void TUcRichEditStrings::LoadFromStreamEx(classlib::TStream* Stream, bool DetectCharSet) {
    if (richEdit_->PlainText())
        TUcMemoStrings::LoadFromStreamEx(Stream, DetectCharSet);
    else
        richEdit_->RichLines()->LoadFromStream(Stream);
}

void TUcRichEditStrings::SaveToStreamEx(classlib::TStream* Stream, bool WithBOM) {
    if (richEdit_->PlainText())
        TUcMemoStrings::SaveToStreamEx(Stream, WithBOM);
    else
        richEdit_->RichLines()->SaveToStream(Stream);
}

// ---- TUcCustomRichEdit -----------------------------------------------------------------------
TUcCustomRichEdit::TUcCustomRichEdit(classlib::TComponent* AOwner)
    : classlib::TCustomRichEdit(AOwner), wideLines_(std::make_unique<TUcRichEditStrings>(this)) {}

TUcCustomRichEdit::~TUcCustomRichEdit() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

void TUcCustomRichEdit::CreateWindowHandle(const classlib::TCreateParams& Params) {
    if (unicode::Win32PlatformIsUnicode() && classlib::RichEditLibraryLoaded())
        CreateUnicodeHandle(this, Params, L"RichEdit20W");
    else
        classlib::TCustomRichEdit::CreateWindowHandle(Params);
}

void TUcCustomRichEdit::CreateWnd() {
    classlib::TCustomRichEdit::CreateWnd();
    if (ActiveImmAvailable()) SendMessageW(WindowHandle(), EM_SETEDITSTYLE, SES_USEAIMM, SES_USEAIMM);
}

std::wstring TUcCustomRichEdit::CrLfText() {
    HWND h = Handle();
    if (!IsWindowUnicode(h) || !classlib::RichEditLibraryLoaded()) return Text();
    // Read by the window's own count of the CR LF text: its WM_GETTEXTLENGTH may count a break once.
    GETTEXTLENGTHEX count{GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200};
    auto length = static_cast<size_t>(
        std::max<LRESULT>(0, SendMessageW(h, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0)));
    std::vector<wchar_t> buffer(length + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), GT_USECRLF, 1200, nullptr, nullptr};
    auto n = static_cast<size_t>(std::max<LRESULT>(
        0, SendMessageW(h, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(buffer.data()))));
    return std::wstring(buffer.data(), std::min(n, length));
}

void TUcCustomRichEdit::Print(const std::string& Caption) {
    printLength_ = static_cast<LRESULT>(unicode::WideAdjustLineBreaksLength(CrLfText(), unicode::tlbsCRLF));
    try {
        classlib::TCustomRichEdit::Print(Caption);
    } catch (...) {
        printLength_ = -1;
        throw;
    }
    printLength_ = -1;
}

void TUcCustomRichEdit::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == WM_GETTEXTLENGTH && printLength_ >= 0) {
        Message.Result = printLength_;
        return;
    }
    classlib::TCustomRichEdit::Dispatch(Message);
}

bool TUcCustomRichEdit::MapsPositions() {
    return wideLines_->LineBreakStyle() == unicode::tlbsCR && IsWindowUnicode(Handle());
}

int TUcCustomRichEdit::InsideToOutside(int Pos) {
    HWND h = Handle();
    auto line = static_cast<int>(SendMessageW(h, EM_EXLINEFROMCHAR, 0, Pos));
    if (!WordWrap()) return Pos + line;
    // Wrapped lines: only the hard breaks before the line count.
    LRESULT index = SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
    LRESULT lengths = 0;
    for (int i = 0; i < line; ++i)
        lengths += SendMessageW(h, EM_LINELENGTH, static_cast<WPARAM>(SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(i), 0)), 0);
    return Pos + static_cast<int>(index - lengths);
}

int TUcCustomRichEdit::OutsideToInside(int Pos) {
    HWND h = Handle();
    auto lines = static_cast<int>(SendMessageW(h, EM_GETLINECOUNT, 0, 0));
    int breaks = 0;
    LRESULT start = 0, length = 0;
    for (int i = 0; i < lines; ++i) {
        start = SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(i), 0);
        length = SendMessageW(h, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
        LRESULT outStart = start + breaks;
        if (Pos <= outStart + length) return static_cast<int>(start + std::max<LRESULT>(0, Pos - outStart));
        LRESULT next = i + 1 < lines ? SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(i + 1), 0) : start + length;
        breaks += static_cast<int>(next - start - length);
    }
    return static_cast<int>(start + length);
}

int TUcCustomRichEdit::GetSelStart() {
    if (!MapsPositions()) return UcEdit_GetSelStart(this, classlib::TCustomRichEdit::GetSelStart());
    CHARRANGE range{};
    SendMessageW(Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return InsideToOutside(range.cpMin);
}

void TUcCustomRichEdit::SetSelStart(int Value) {
    if (!MapsPositions()) {
        classlib::TCustomRichEdit::SetSelStart(UcEdit_AnsiSelStart(this, Value));
        return;
    }
    LONG inside = OutsideToInside(Value);
    CHARRANGE range{inside, inside};
    SendMessageW(Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

int TUcCustomRichEdit::GetSelLength() {
    if (!MapsPositions()) return UcEdit_GetSelLength(this);
    CHARRANGE range{};
    SendMessageW(Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return InsideToOutside(range.cpMax) - InsideToOutside(range.cpMin);
}

void TUcCustomRichEdit::SetSelLength(int Value) {
    if (!MapsPositions()) {
        classlib::TCustomRichEdit::SetSelLength(UcEdit_AnsiSelLength(this, GetSelStart(), Value));
        return;
    }
    int start = GetSelStart();
    CHARRANGE range{OutsideToInside(start), OutsideToInside(start + Value)};
    SendMessageW(Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

std::wstring TUcCustomRichEdit::SelText() {
    HWND h = Handle();
    if (!IsWindowUnicode(h)) return UcEdit_GetSelText(this);
    CHARRANGE range{};
    SendMessageW(h, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    std::vector<wchar_t> buffer(static_cast<size_t>(std::max<LONG>(0, range.cpMax - range.cpMin)) + 1, L'\0');
    auto n = static_cast<size_t>(SendMessageW(h, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data())));
    std::wstring text(buffer.data(), std::min(n, buffer.size() - 1));
    if (wideLines_->LineBreakStyle() == unicode::tlbsCR) text = unicode::WideAdjustLineBreaks(text, unicode::tlbsCRLF);
    return text;
}

}  // namespace widgets
