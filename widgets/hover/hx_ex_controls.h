// The Hover widgets' control bases: the library's control notifications turned into overridable
// operations, mouse enter and leave, the tooltip colour and the button's dot-net frame; the
// hot-track options they publish and the routines the labels and buttons share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/application.h"
#include "classlib/controls.h"
#include "classlib/std_controls.h"

namespace hover {

enum class THXLAboutInfo { abNone };

// Asked by code that wants to subclass a control's window: answer 1 to refuse.
constexpr UINT CM_DENYSUBCLASSING = classlib::CM_BASE + 2000;

// The control-extension identity and the identity whose holders refuse subclassing.
extern const GUID IID_IHxControl;           // {8E6579C3-D683-4562-AFAB-D23C8526E386}
extern const GUID IID_IHxDenySubclassing;   // {76942BC0-2A6E-4DC4-BFC9-8E110DB7F601}

// ---- Shared routines -------------------------------------------------------------------------
// True when the key is down now (high bit of GetKeyState).
bool IsKeyPressed(int VirtualKey);
// Opens a document or address with the shell's "open" verb; true when the shell accepted it.
bool OpenObject(const std::string& Text);
// Raises the last system error when Flag is false; answers Flag.
bool CheckWin32(bool Flag);
// DrawTextA on the canvas's DC. The string variant never lets the system write into the text.
int HxDrawText(classlib::TCanvas* Canvas, const char* Text, int Count, RECT& Rect, UINT Flags);
int HxDrawText(classlib::TCanvas* Canvas, const std::string& Text, RECT& Rect, UINT Flags);
// True when one of this thread's windows is the active window.
bool IsForegroundTask();

// What a hot-track font takes from the normal font (a bit set).
enum THxTrackFontOption : std::uint32_t {
    hoFollowFont = 1u << 0,
    hoPreserveCharSet = 1u << 1,
    hoPreserveColor = 1u << 2,
    hoPreserveHeight = 1u << 3,
    hoPreserveName = 1u << 4,
    hoPreservePitch = 1u << 5,
    hoPreserveStyle = 1u << 6,
};
using THxTrackFontOptions = std::uint32_t;
constexpr THxTrackFontOptions DefaultTrackFontOptions = hoFollowFont | hoPreserveColor | hoPreserveStyle;
// With hoFollowFont, copies into TrackFont every aspect of Font whose preserve option is absent.
void FollowFont(classlib::TFont* TrackFont, classlib::TFont* Font, THxTrackFontOptions Options);

// Stores Value in Field and repaints Control when it changed; answers whether it did.
template <typename T>
bool SetAndInvalidate(classlib::TControl* Control, T& Field, const T& Value) {
    if (Field == Value) return false;
    Field = Value;
    Control->Invalidate();
    return true;
}

// ---- Persistent options ----------------------------------------------------------------------
using TPropertyNotifyEvent = std::function<void(classlib::TObject* Sender, const std::string& PropName)>;

// Options object with change notices: OnChanging/OnChanged fire only outside an update (and once
// around one), the property events on every change.
class THxPersistentProperty : public classlib::TPersistent {
public:
    CLASSLIB_CLASS_NAME(THxPersistentProperty)
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    classlib::TNotifyEvent OnChanging;
    classlib::TNotifyEvent OnChanged;
    TPropertyNotifyEvent OnChangingProperty;
    TPropertyNotifyEvent OnChangedProperty;

protected:
    virtual void Changed();
    virtual void Changing();
    virtual void ChangedProperty(const std::string& PropName);
    virtual void ChangingProperty(const std::string& PropName);
    virtual void SetUpdateState(bool Updating);
    // Stores Value in Field with the four notices around it; nothing when it is unchanged.
    template <typename T>
    void SetProperty(T& Field, T Value, const char* PropName) {
        if (Field == Value) return;
        Changing();
        ChangingProperty(PropName);
        Field = Value;
        ChangedProperty(PropName);
        Changed();
    }

private:
    int updateCount_ = 0;
};

// How a control looks while the mouse is over it.
class THxHotTrackOptions : public THxPersistentProperty {
public:
    CLASSLIB_CLASS_NAME(THxHotTrackOptions)
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { SetProperty(enabled_, Value, "Enabled"); }
    bool FrameVisible() const { return frameVisible_; }
    void SetFrameVisible(bool Value) { SetProperty(frameVisible_, Value, "FrameVisible"); }
    classlib::TColor Color() const { return color_; }
    void SetColor(classlib::TColor Value) { SetProperty(color_, Value, "Color"); }
    classlib::TColor FrameColor() const { return frameColor_; }
    void SetFrameColor(classlib::TColor Value) { SetProperty(frameColor_, Value, "FrameColor"); }
    void Assign(classlib::TPersistent* Source) override;

private:
    bool enabled_ = false;
    bool frameVisible_ = false;
    classlib::TColor color_ = 0xD2BDB6;
    classlib::TColor frameColor_ = 0x6A240A;
};

// ---- Control bases ---------------------------------------------------------------------------
// Dialog codes of WM_GETDLGCODE as a set, with the marker that the set is still the system's.
using TDlgCodes = std::uint32_t;
constexpr TDlgCodes dcNative = 1u << 31;

// The extensions both bases share, over the library class Base.
template <class Base>
class THxExControl : public Base {
public:
    explicit THxExControl(classlib::TComponent* AOwner);

    THXLAboutInfo AboutHXL() const { return THXLAboutInfo::abNone; }
    void SetAboutHXL(THXLAboutInfo) {}
    // clNone: the application's hint colour; clDefault: the parent's; any other: itself.
    classlib::TColor HintColor() const { return hintColor_; }
    void SetHintColor(classlib::TColor Value) { hintColor_ = Value; }
    bool MouseOver() const { return mouseOver_; }
    // Replaces the hint window class of this control's hints (nullptr: the application's).
    classlib::THintWindowClass HintWindowClass() const { return hintWindowClass_; }
    void SetHintWindowClass(classlib::THintWindowClass Value) { hintWindowClass_ = Value; }
    // Whether the control holds the identity that refuses subclassing (none of these do).
    virtual bool DeniesSubclassing() const { return false; }

    classlib::TNotifyEvent OnMouseEnter;
    classlib::TNotifyEvent OnMouseLeave;
    classlib::TNotifyEvent OnParentColorChange;

    void WndProc(classlib::TMessage& Message) override;

protected:
    virtual void TextChanged();
    virtual bool WantKey(int Key, classlib::TShiftState Shift, const std::string& KeyText);
    virtual bool HitTest(int X, int Y);
    virtual void FocusChanged(classlib::TWinControl* Control);
    virtual void VisibleChanged();
    virtual void EnabledChanged();
    virtual void ColorChanged();
    virtual void FontChanged();
    virtual void ParentFontChanged();
    virtual void ParentColorChanged();
    virtual void ParentShowHintChanged();
    virtual bool HintShow(classlib::THintInfo& HintInfo);
    virtual void MouseEnter(classlib::TControl* Control);
    virtual void MouseLeave(classlib::TControl* Control);
    // Windowed base only: the notifications the button adds.
    virtual void CursorChanged();
    virtual void ShowingChanged();
    virtual void ShowHintChanged();
    virtual void ControlsListChanging(classlib::TControl* Control, bool Inserting);
    virtual void ControlsListChanged(classlib::TControl* Control, bool Inserting);

    // The inherited window procedure's answer to Msg with these parameters.
    LRESULT InheritedMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
    // Msg passed on with the parameters of the notification being handled (0 outside it).
    LRESULT InheritedNotify(UINT Msg);
    // Handles a notification of the table; false for any other message.
    bool DispatchNotification(classlib::TMessage& Message);

private:
    classlib::TColor hintColor_ = classlib::clDefault;
    bool mouseOver_ = false;
    classlib::THintWindowClass hintWindowClass_ = nullptr;
    const classlib::TMessage* current_ = nullptr;
};

extern template class THxExControl<classlib::TGraphicControl>;
extern template class THxExControl<classlib::TButton>;

// Windowless base of the Hover label.
class THxExGraphicControl : public THxExControl<classlib::TGraphicControl> {
public:
    CLASSLIB_CLASS_NAME(THxExGraphicControl)
    explicit THxExGraphicControl(classlib::TComponent* AOwner) : THxExControl(AOwner) {}
};

// Push-button base of the Hover image button: focus, size, erase, dialog-code and print
// operations, and the optional dot-net frame.
class THxExButton : public THxExControl<classlib::TButton> {
public:
    CLASSLIB_CLASS_NAME(THxExButton)
    explicit THxExButton(classlib::TComponent* AOwner) : THxExControl(AOwner) {}
    bool DotNetHighlighting() const { return dotNetHighlighting_; }
    void SetDotNetHighlighting(bool Value);
    void WndProc(classlib::TMessage& Message) override;

protected:
    virtual void BoundsChanged() {}
    virtual void GetDlgCode(TDlgCodes& Codes) { (void)Codes; }
    virtual void FocusSet(HWND PreviousWindow);
    virtual void FocusKilled(HWND NextWindow);
    virtual bool DoEraseBackground(classlib::TCanvas* Canvas, LPARAM Param);
    void MouseEnter(classlib::TControl* Control) override;
    void MouseLeave(classlib::TControl* Control) override;
    // Paints the dot-net frame when it is on (not while designing).
    void PaintDotNetFrame(bool AfterLeave);

private:
    bool dotNetHighlighting_ = false;
};

}  // namespace hover
