#include "widgets/kit/font_combo.h"

#include <winspool.h>

#include <utility>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/std_text.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

// ---- TOwnerDrawComboBox ----------------------------------------------------------------------

TOwnerDrawComboBox::TOwnerDrawComboBox(TComponent* AOwner) : TCustomComboBox(AOwner) {
    TCustomComboBox::SetStyle(TComboBoxStyle::csDropDownList);
}

void TOwnerDrawComboBox::SetStyle(TOwnerDrawComboStyle Value) {
    if (ownerStyle_ == Value) return;
    ownerStyle_ = Value;
    static const TComboBoxStyle base[] = {TComboBoxStyle::csDropDown, TComboBoxStyle::csSimple,
                                          TComboBoxStyle::csDropDownList};
    TCustomComboBox::SetStyle(base[static_cast<int>(Value)]);
}

void TOwnerDrawComboBox::CreateParams(TCreateParams& Params) {
    static const DWORD kinds[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST};
    TCustomComboBox::CreateParams(Params);
    Params.Style = (Params.Style & ~static_cast<DWORD>(3)) | kinds[static_cast<int>(ownerStyle_)] | CBS_OWNERDRAWFIXED;
}

// ---- Filters and enumeration -----------------------------------------------------------------

bool FontPassesFilters(const LOGFONTA& LogFont, DWORD FontType, TFontListOptions Options) {
    if ((Options & foAnsiOnly) && LogFont.lfCharSet != ANSI_CHARSET) return false;
    if ((Options & foTrueTypeOnly) && !(FontType & TRUETYPE_FONTTYPE)) return false;
    if ((Options & foFixedPitchOnly) && !(LogFont.lfPitchAndFamily & FIXED_PITCH)) return false;
    if ((Options & foOEMFontsOnly) && LogFont.lfCharSet != OEM_CHARSET) return false;
    if ((Options & foNoOEMFonts) && LogFont.lfCharSet == OEM_CHARSET) return false;
    if ((Options & foNoSymbolFonts) && LogFont.lfCharSet == SYMBOL_CHARSET) return false;
    if ((Options & foScalableOnly) && (FontType & RASTER_FONTTYPE)) return false;
    return true;
}

namespace {

struct TEnumContext {
    TStrings* items;
    TFontListOptions options;
};

int CALLBACK EnumFamily(const LOGFONTA* LogFont, const TEXTMETRICA*, DWORD FontType, LPARAM Data) {
    auto* ctx = reinterpret_cast<TEnumContext*>(Data);
    try {
        std::string name = LogFont->lfFaceName;
        // "@" names the vertical variant of a family, for text written top to bottom: not a face
        // anyone chooses for a line of text.
        if (name.empty() || name[0] == '@' || ctx->items->IndexOf(name) >= 0 ||
            !FontPassesFilters(*LogFont, FontType, ctx->options))
            return 1;
        std::uintptr_t data = FontType;
        if (LogFont->lfCharSet != SYMBOL_CHARSET) data |= kFontDrawsItsName;
        ctx->items->AddObject(name, reinterpret_cast<TObject*>(data));
    } catch (...) {
        return 0;  // nothing may cross the system's callback
    }
    return 1;
}

// The face the system draws with when asked for Name (another, where Name is not installed).
std::string FaceInUse(const std::string& Name) {
    LOGFONTA font{};
    font.lfHeight = -12;
    font.lfCharSet = DEFAULT_CHARSET;
    Name.copy(font.lfFaceName, LF_FACESIZE - 1);
    TOwnedFont handle(CreateFontIndirectA(&font));
    if (!handle) return std::string();
    TWindowDC screen(nullptr);
    TSelectedObject selected(screen.Get(), handle.Get());
    char face[LF_FACESIZE] = {};
    if (GetTextFaceA(screen.Get(), LF_FACESIZE, face) <= 0) return std::string();
    return face;
}

// The default printer's DC (nullptr when there is none).
TOwnedDC PrinterDC() {
    DWORD size = 0;
    GetDefaultPrinterW(nullptr, &size);
    if (size == 0) return TOwnedDC();
    std::wstring name(size, L'\0');
    if (!GetDefaultPrinterW(name.data(), &size)) return TOwnedDC();
    name.resize(size > 0 ? size - 1 : 0);
    return TOwnedDC(CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr));
}

}  // namespace

// ---- TFontComboBox ---------------------------------------------------------------------------

TFontComboBox::TFontComboBox(TComponent* AOwner) : TOwnerDrawComboBox(AOwner) {
    HMODULE program = GetModuleHandleW(nullptr);
    trueTypeBmp_ = LoadResBitmap(program, L"TRUETYPE_FNT");
    deviceBmp_ = LoadResBitmap(program, L"DEVICE_FNT");
    SetSorted(true);
}

TFontComboBox::~TFontComboBox() = default;

std::uintptr_t TFontComboBox::FontData(int Index) {
    return reinterpret_cast<std::uintptr_t>(Items()->GetObject(Index));
}

void TFontComboBox::DoChange() {
    if (HasState(csReading) || updating_) return;
    if (OnChange) OnChange(this);
}

std::string TFontComboBox::FontName() {
    if (pendingFont_ && !HandleAllocated() && !HasState(csDestroying)) HandleNeeded();
    return Text();
}

void TFontComboBox::ChooseFont(const std::string& Name) {
    if (!HandleAllocated()) {
        pendingFont_ = Name;
        return;
    }
    pendingFont_.reset();
    const bool updating = std::exchange(updating_, true);
    try {
        // A face that is not installed shows as the face drawn in its place, else as the first.
        const int inUse = Items()->IndexOf(Name) >= 0 ? -1 : Items()->IndexOf(FaceInUse(Name));
        if (Items()->IndexOf(Name) >= 0)
            SetFontName(Name);
        else if (inUse >= 0)
            SetItemIndex(inUse);
        else if (Items()->Count() > 0)
            SetItemIndex(0);
    } catch (...) {
        updating_ = updating;
        throw;
    }
    updating_ = updating;
}

void TFontComboBox::SetFontName(const std::string& Value) {
    pendingFont_.reset();
    if (FontName() == Value) return;
    if (HasState(csLoading)) {
        SetText(Value);
    } else {
        HandleNeeded();
        for (int i = 0; i < Items()->Count(); ++i) {
            if (AnsiCompareText(AnsiToWide(Items()->Get(i)), AnsiToWide(Value)) == 0) {
                SetItemIndex(i);
                DoChange();
                return;
            }
        }
        if (Style() == TOwnerDrawComboStyle::csDropDownList)
            SetItemIndex(-1);
        else
            SetText(Value);
    }
    DoChange();
}

void TFontComboBox::SetDevice(TFontDevice Value) {
    if (device_ == Value) return;
    device_ = Value;
    Reset(false);
}

void TFontComboBox::SetOptions(TFontListOptions Value) {
    if (options_ == Value) return;
    options_ = Value;
    Reset(false);
}

void TFontComboBox::SetTrueTypeOnly(bool Value) {
    SetOptions(Value ? options_ | foTrueTypeOnly : options_ & ~static_cast<TFontListOptions>(foTrueTypeOnly));
}

void TFontComboBox::SetUseFonts(bool Value) {
    if (useFonts_ == Value) return;
    useFonts_ = Value;
    Invalidate();
}

void TFontComboBox::BuildList() {
    if (!HandleAllocated()) return;
    TStrings* items = Items();
    items->BeginUpdate();
    try {
        items->Clear();
        TEnumContext ctx{items, options_};
        if (device_ == TFontDevice::fdScreen || device_ == TFontDevice::fdBoth) {
            TWindowDC screen(nullptr);
            EnumFontFamiliesA(screen.Get(), nullptr, reinterpret_cast<FONTENUMPROCA>(&EnumFamily),
                              reinterpret_cast<LPARAM>(&ctx));
        }
        if (device_ == TFontDevice::fdPrinter || device_ == TFontDevice::fdBoth) {
            TOwnedDC printer = PrinterDC();
            if (printer)
                EnumFontFamiliesA(printer.Get(), nullptr, reinterpret_cast<FONTENUMPROCA>(&EnumFamily),
                                  reinterpret_cast<LPARAM>(&ctx));
        }
    } catch (...) {
        items->EndUpdate();
        throw;
    }
    items->EndUpdate();
}

void TFontComboBox::Reset(bool ClearText) {
    if (!HandleAllocated()) return;
    updating_ = true;
    std::string old;
    try {
        old = FontName();
        if (ClearText) SetText("");
        BuildList();
        SetFontName(old);
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
    std::string now = FontName();
    bool same = ClearText ? AnsiCompareText(AnsiToWide(now), AnsiToWide(old)) == 0 : now == old;
    if (!same) DoChange();
}

void TFontComboBox::SetItemHeight() {
    // The larger of the font's character height + 1, 9, and the TrueType picture's height - 1.
    TWindowDC screen(nullptr);
    TSelectedObject sel(screen.Get(), Font()->Handle());
    TEXTMETRICA tm{};
    GetTextMetricsA(screen.Get(), &tm);
    int h = std::max<int>({static_cast<int>(tm.tmHeight) + 1, 9, static_cast<int>(BitmapSize(trueTypeBmp_.Get()).cy) - 1});
    settingHeight_ = true;
    SendMessageA(WindowHandle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), h);
    SendMessageA(WindowHandle(), CB_SETITEMHEIGHT, 0, h);
    settingHeight_ = false;
}

void TFontComboBox::CreateWnd() {
    // Rebuilding the list names a font of its own: the waiting choice is taken first.
    const std::optional<std::string> pending = std::exchange(pendingFont_, std::nullopt);
    TOwnerDrawComboBox::CreateWnd();
    SetItemHeight();
    Reset(true);
    if (pending) ChooseFont(*pending);
}

void TFontComboBox::Change() {
    TOwnerDrawComboBox::Change();
    if (Style() == TOwnerDrawComboStyle::csDropDownList) return;
    int i = Items()->IndexOf(Text());
    if (i >= 0 && i != ItemIndex()) {
        SetItemIndex(i);
        DoChange();
    }
}

void TFontComboBox::Click() {
    TOwnerDrawComboBox::Click();
    DoChange();
}

void TFontComboBox::DrawItem(const DRAWITEMSTRUCT& Item) {
    HDC dc = Item.hDC;
    RECT r = Item.rcItem;
    bool selected = (Item.itemState & ODS_SELECTED) != 0;
    TOwnedBrush back(CreateSolidBrush(ColorToRGB(selected ? clHighlight : Color())));
    FillRect(dc, &r, back.Get());
    if (static_cast<int>(Item.itemID) < 0) return;
    int index = static_cast<int>(Item.itemID);
    std::uintptr_t data = FontData(index);
    HBITMAP picture = (data & TRUETYPE_FONTTYPE) ? trueTypeBmp_.Get() : (data & DEVICE_FONTTYPE) ? deviceBmp_.Get() : nullptr;
    SIZE ps = BitmapSize(picture);
    int pictureWidth = picture != nullptr ? ps.cx : 20;
    if (picture != nullptr) {
        TCanvas canvas;
        canvas.SetHandle(dc);
        PaintBitmapTransparent(&canvas, r.left + 2, r.top + ((r.bottom - r.top) - ps.cy) / 2, picture, clDefault);
        canvas.SetHandle(nullptr);
    }
    RECT text{r.left + pictureWidth + 6, r.top, r.right, r.bottom};
    std::string name = Items()->Get(index);
    TOwnedFont face;
    HFONT font = Font()->Handle();
    if (useFonts_ && (data & kFontDrawsItsName)) {
        LOGFONTA lf = Font()->LogFont();
        lstrcpynA(lf.lfFaceName, name.c_str(), LF_FACESIZE);
        lf.lfCharSet = DEFAULT_CHARSET;
        face.Reset(CreateFontIndirectA(&lf));
        if (face) font = face.Get();
    }
    TTextDC out(dc, font, ColorToRGB(selected ? clHighlightText : Font()->Color()));
    DrawTextAnsi(dc, name, text, DrawTextBiDiModeFlags(DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX));
}

void TFontComboBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CN_DRAWITEM:
            DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam));
            Message.Result = TRUE;
            return;
        case WM_FONTCHANGE:
            TOwnerDrawComboBox::Dispatch(Message);
            Reset(false);
            return;
        case CM_FONTCHANGED:
            TOwnerDrawComboBox::Dispatch(Message);
            if (HandleAllocated() && !settingHeight_) {
                settingHeight_ = true;
                RecreateWnd();
                settingHeight_ = false;
            }
            return;
        case CM_RECREATEWND:
            if (settingHeight_) return;  // asked while the height is being set
            TOwnerDrawComboBox::Dispatch(Message);
            return;
        default:
            TOwnerDrawComboBox::Dispatch(Message);
    }
}

}  // namespace widgets::kit
