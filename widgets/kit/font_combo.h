// The kit's owner-drawn combo boxes: a fixed-height owner-drawn base, and the font combo box that
// lists the installed font families with a TrueType or device mark, optionally each name in its
// own face, under filters.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "classlib/gdi_handles.h"
#include "classlib/std_combo_box.h"

namespace widgets::kit {

enum class TOwnerDrawComboStyle { csDropDown, csSimple, csDropDownList };

// A COMBOBOX with fixed-height owner drawing; the style chooses the combo kind.
class TOwnerDrawComboBox : public classlib::TCustomComboBox {
public:
    CLASSLIB_CLASS_NAME(TOwnerDrawComboBox)
    explicit TOwnerDrawComboBox(classlib::TComponent* AOwner);
    TOwnerDrawComboStyle Style() const { return ownerStyle_; }
    void SetStyle(TOwnerDrawComboStyle Value);
    void CreateParams(classlib::TCreateParams& Params) override;

private:
    TOwnerDrawComboStyle ownerStyle_ = TOwnerDrawComboStyle::csDropDownList;
};

enum class TFontDevice { fdScreen, fdPrinter, fdBoth };
enum TFontListOption : std::uint32_t {
    foAnsiOnly = 1u << 0,
    foTrueTypeOnly = 1u << 1,
    foFixedPitchOnly = 1u << 2,
    foNoOEMFonts = 1u << 3,
    foOEMFontsOnly = 1u << 4,
    foScalableOnly = 1u << 5,
    foNoSymbolFonts = 1u << 6,
};
using TFontListOptions = std::uint32_t;

// The program's own bit of an item's data: the face can draw its own name (not a symbol font).
constexpr std::uintptr_t kFontDrawsItsName = 0x100;

// Whether a family the system reported passes the filters.
bool FontPassesFilters(const LOGFONTA& LogFont, DWORD FontType, TFontListOptions Options);

class TFontComboBox : public TOwnerDrawComboBox {
public:
    CLASSLIB_CLASS_NAME(TFontComboBox)
    // Raises EResNotFound when a picture ("TRUETYPE_FNT", "DEVICE_FNT") is missing.
    explicit TFontComboBox(classlib::TComponent* AOwner);
    ~TFontComboBox() override;

    // Reading the name of a box whose choice waits for its window makes the window (the choice
    // depends on the fonts listed there).
    std::string FontName();
    void SetFontName(const std::string& Value);
    // Selects the font of that name, else the listed face the system draws with in its place,
    // else the first font, firing nothing. The fonts are listed
    // when the box gets its window: until then the choice waits (a hidden panel's box lists no
    // fonts at start).
    void ChooseFont(const std::string& Name);
    TFontDevice Device() const { return device_; }
    void SetDevice(TFontDevice Value);
    TFontListOptions Options() const { return options_; }
    void SetOptions(TFontListOptions Value);
    bool TrueTypeOnly() const { return (options_ & foTrueTypeOnly) != 0; }
    void SetTrueTypeOnly(bool Value);
    bool UseFonts() const { return useFonts_; }
    void SetUseFonts(bool Value);
    // The type bits the system reported for item Index (raster 1, device 2, TrueType 4) with
    // kFontDrawsItsName.
    std::uintptr_t FontData(int Index);

    // The chosen name changed (not while reading a stream or rebuilding the list).
    classlib::TNotifyEvent OnChange;

    void CreateWnd() override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void Change() override;
    void Click() override;
    void DoChange();

private:
    void BuildList();
    // Rebuilds the list and keeps the chosen name; OnChange only when it did not survive.
    void Reset(bool ClearText);
    void SetItemHeight();
    void DrawItem(const DRAWITEMSTRUCT& Item);
    classlib::TOwnedBitmap trueTypeBmp_;
    classlib::TOwnedBitmap deviceBmp_;
    TFontDevice device_ = TFontDevice::fdScreen;
    bool updating_ = false;
    bool useFonts_ = false;
    bool settingHeight_ = false;
    TFontListOptions options_ = 0;
    // The choice waiting for the window (ChooseFont).
    std::optional<std::string> pendingFont_;
};

}  // namespace widgets::kit
