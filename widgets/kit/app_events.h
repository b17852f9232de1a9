// The application-event chain: any number of TAppEvents components share the application's and the
// screen's events, each event reaching the newest component first; each component also writes the
// application's hint and drag settings.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/application.h"
#include "classlib/graphics.h"

namespace widgets::kit {

class TAppEvents;

// The one chain of the process: takes the application's event slots over while it has components
// and gives back what they held when its last component goes.
class TAppEventList {
public:
    // The chain (made on first use when Create is set; nullptr otherwise).
    static TAppEventList* Instance(bool Create);
    int Count() const { return static_cast<int>(instances_.size()); }
    bool Hooked() const { return hooked_; }

    void Add(TAppEvents* Events);
    void Remove(TAppEvents* Events);

    // The dispatchers installed in the application's (and the screen's) slots.
    void DoActivate(classlib::TObject* Sender);
    void DoDeactivate(classlib::TObject* Sender);
    void DoException(classlib::TObject* Sender, const classlib::Exception& E);
    void DoIdle(classlib::TObject* Sender, bool& Done);
    bool DoHelp(WORD Command, LONG_PTR Data, bool& CallHelp);
    void DoHint(classlib::TObject* Sender);
    void DoMessage(MSG& Msg, bool& Handled);
    void DoMinimize(classlib::TObject* Sender);
    void DoRestore(classlib::TObject* Sender);
    void DoShowHint(std::string& HintStr, bool& CanShow, classlib::THintInfo& HintInfo);
    void DoActionExecute(classlib::TBasicAction* Action, bool& Handled);
    void DoActionUpdate(classlib::TBasicAction* Action, bool& Handled);
    void DoShortCut(MSG& Msg, bool& Handled);
    void DoActiveControlChange(classlib::TObject* Sender);
    void DoActiveFormChange(classlib::TObject* Sender);

private:
    struct TSaved {
        classlib::TNotifyEvent Activate, Deactivate, Hint, Minimize, Restore, ActiveControlChange, ActiveFormChange;
        classlib::TExceptionEvent Exception;
        classlib::TIdleEvent Idle;
        classlib::THelpEvent Help;
        classlib::TMessageEvent Message;
        classlib::TShowHintEvent ShowHint;
        classlib::TActionEvent ActionExecute, ActionUpdate;
        classlib::TShortCutEvent ShortCut;
    };
    void Hook();
    void Unhook();
    // Newest first: Call(instance) answers whether the walk goes on; false when an instance that
    // is not chained stopped it.
    bool Walk(const std::function<bool(TAppEvents*)>& Call);

    std::vector<TAppEvents*> instances_;
    bool hooked_ = false;
    TSaved saved_;
    bool screenHooked_ = false;
};

using TPaintIconEvent = classlib::TNotifyEvent;

class TAppEvents : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TAppEvents)
    explicit TAppEvents(classlib::TComponent* AOwner);
    ~TAppEvents() override;

    // False: the event stops here (older components and the application's own handler are not
    // called).
    bool Chained() const { return chained_; }
    void SetChained(bool Value) { chained_ = Value; }
    // Read from, and written at once to, the application (or the mouse object) outside design.
    classlib::TColor HintColor() const;
    void SetHintColor(classlib::TColor Value);
    int HintPause() const;
    void SetHintPause(int Value);
    bool ShowHint() const;
    void SetShowHint(bool Value);
    bool UpdateFormatSettings() const;
    void SetUpdateFormatSettings(bool Value);
    int HintShortPause() const;
    void SetHintShortPause(int Value);
    int HintHidePause() const;
    void SetHintHidePause(int Value);
    bool ShowMainForm() const;
    void SetShowMainForm(bool Value);
    bool UpdateMetricSettings() const;
    void SetUpdateMetricSettings(bool Value);
    bool HintShortCuts() const;
    void SetHintShortCuts(bool Value);
    classlib::TBiDiMode BiDiMode() const;
    void SetBiDiMode(classlib::TBiDiMode Value);
    bool MouseDragImmediate() const;
    void SetMouseDragImmediate(bool Value);
    int MouseDragThreshold() const;
    void SetMouseDragThreshold(int Value);
    const std::string& BiDiKeyboard() const;
    void SetBiDiKeyboard(const std::string& Value);
    const std::string& NonBiDiKeyboard() const;
    void SetNonBiDiKeyboard(const std::string& Value);
    // The canvas OnPaintIcon draws on (nullptr outside it).
    classlib::TCanvas* Canvas() const { return canvas_.get(); }

    classlib::TNotifyEvent OnActivate;
    classlib::TNotifyEvent OnDeactivate;
    classlib::TExceptionEvent OnException;
    classlib::TIdleEvent OnIdle;
    classlib::THelpEvent OnHelp;
    classlib::TNotifyEvent OnHint;
    classlib::TMessageEvent OnMessage;
    classlib::TNotifyEvent OnMinimize;
    classlib::TNotifyEvent OnRestore;
    classlib::TShowHintEvent OnShowHint;
    classlib::TActionEvent OnActionExecute;
    classlib::TActionEvent OnActionUpdate;
    classlib::TShortCutEvent OnShortCut;
    classlib::TNotifyEvent OnActiveControlChange;
    classlib::TNotifyEvent OnActiveFormChange;
    TPaintIconEvent OnPaintIcon;
    classlib::TNotifyEvent OnSettingsChanged;

    void Loaded() override;

protected:
    // Paints the minimised application's icon area through OnPaintIcon.
    virtual void PaintIcon();
    // The application window's messages: WM_PAINT while minimised, WM_WININICHANGE.
    virtual bool MainWindowHook(classlib::TMessage& Message);
    virtual void SettingsChanged();

private:
    bool Live() const { return !HasState(classlib::csDesigning) && classlib::ApplicationExists(); }
    void ApplySettings();

    bool chained_ = true;
    classlib::TColor hintColor_ = classlib::clInfoBk;
    int hintPause_ = 500;
    bool showHint_ = true;
    bool updateFormatSettings_ = true;
    int hintShortPause_ = 50;
    int hintHidePause_ = 2500;
    bool showMainForm_ = true;
    bool updateMetricSettings_ = true;
    bool hintShortCuts_ = true;
    classlib::TBiDiMode biDiMode_ = classlib::TBiDiMode::bdLeftToRight;
    bool mouseDragImmediate_ = true;
    int mouseDragThreshold_ = 5;
    std::string biDiKeyboard_;
    std::string nonBiDiKeyboard_;
    std::unique_ptr<classlib::TCanvas> canvas_;
};

}  // namespace widgets::kit
