// Actions of the class library: an action is a command with its caption, hint, shortcut,
// checked/enabled/visible state and OnExecute/OnUpdate handlers, linked to any number of
// controls through action links that push the action's properties into them.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/image_list.h"
#include "classlib/objects.h"

namespace classlib {

class TBasicActionLink;
class TCustomActionList;

using TShortCut = WORD;  // virtual key in the low byte, scCommand/scShift/scCtrl/scAlt above
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;

using TActionEvent = std::function<void(TBasicAction* Action, bool& Handled)>;

// The base action: OnExecute and OnUpdate, and the links of its clients.
class TBasicAction : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TBasicAction)
    explicit TBasicAction(TComponent* AOwner);
    // Detaches every link (their Action becomes nullptr).
    ~TBasicAction() override;

    // Runs OnExecute; answers whether a handler ran.
    virtual bool Execute();
    // Runs OnUpdate; answers whether a handler ran.
    virtual bool Update();
    virtual bool HandlesTarget(TObject* Target) { (void)Target; return false; }
    virtual void UpdateTarget(TObject* Target) { (void)Target; }
    virtual void ExecuteTarget(TObject* Target) { (void)Target; }

    // The component that executes the action right now (set by the link around Execute).
    TComponent* ActionComponent() const { return actionComponent_; }
    void SetActionComponent(TComponent* Value);

    void RegisterChanges(TBasicActionLink* Value);
    void UnRegisterChanges(TBasicActionLink* Value);
    int ClientCount() const { return static_cast<int>(clients_.size()); }
    TBasicActionLink* Clients(int Index) const { return clients_.at(static_cast<size_t>(Index)); }

    TNotifyEvent OnExecute;
    TNotifyEvent OnUpdate;
    // Fired after any property changed (the action list listens).
    TNotifyEvent OnChange;

    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    virtual void Change();

private:
    std::vector<TBasicActionLink*> clients_;
    TComponent* actionComponent_ = nullptr;
};

// Connects one client (a control, a menu item) to an action.
class TBasicActionLink : public TObject {
public:
    CLASSLIB_CLASS_NAME(TBasicActionLink)
    explicit TBasicActionLink(TObject* AClient);
    ~TBasicActionLink() override;
    TBasicActionLink(const TBasicActionLink&) = delete;
    TBasicActionLink& operator=(const TBasicActionLink&) = delete;

    TBasicAction* Action() const { return action_; }
    virtual void SetAction(TBasicAction* Value);
    // Executes the action on behalf of AComponent (its ActionComponent meanwhile).
    virtual bool Execute(TComponent* AComponent = nullptr);
    virtual bool Update();
    // The client's own click handler is not its own (the action's OnExecute stands for it).
    virtual bool IsOnExecuteLinked() { return true; }

    TNotifyEvent OnChange;

protected:
    virtual void AssignClient(TObject* AClient) { (void)AClient; }
    virtual void Change();

private:
    friend class TBasicAction;
    TBasicAction* action_ = nullptr;
};

// An action that can belong to an action list: Execute and Update go to the list's handlers
// and the application's first, then to the action's own, then to the forms (CM_ACTIONEXECUTE /
// CM_ACTIONUPDATE sent to the application window).
class TContainedAction : public TBasicAction {
public:
    CLASSLIB_CLASS_NAME(TContainedAction)
    explicit TContainedAction(TComponent* AOwner);
    ~TContainedAction() override;

    bool Execute() override;
    bool Update() override;
    TCustomActionList* ActionList() const { return actionList_; }
    void SetActionList(TCustomActionList* Value);
    const std::wstring& Category() const { return category_; }
    void SetCategory(const std::wstring& Value) { category_ = Value; }
    int Index() const;

private:
    friend class TCustomActionList;
    TCustomActionList* actionList_ = nullptr;
    std::wstring category_;
};

// An action with the properties it pushes to its clients (ANSI texts).
//   Execute: runs Update (OnUpdate) first; a disabled action then does nothing and answers
//   false. With AutoCheck the action toggles Checked BEFORE its handler runs, so OnExecute sees
//   the new state (a checked action of a group stays checked). Setting Checked (from code or by
//   AutoCheck) fires no OnExecute and no OnUpdate; it pushes the state to the linked clients and,
//   for a group (GroupIndex > 0), unchecks the other actions of the same list and group.
//   Every property setter tells the clients (the link's Set... when that property is linked)
//   before the action stores the new value, then fires OnChange; setting the same value
//   does nothing.
class TCustomAction : public TContainedAction {
public:
    CLASSLIB_CLASS_NAME(TCustomAction)
    explicit TCustomAction(TComponent* AOwner);

    bool Execute() override;
    void Assign(TPersistent* Source) override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value);
    bool Checked() const { return checked_; }
    void SetChecked(bool Value);
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool Value) { autoCheck_ = Value; }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut Value);
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int Value);
    // Further shortcuts that run the action as its ShortCut does, kept as given ("CTRL+G") with
    // the shortcut each text names (scNone for a text that names no key).
    struct TSecondaryShortCut {
        std::string Text;
        TShortCut ShortCut = 0;
    };
    const std::vector<TSecondaryShortCut>& SecondaryShortCuts() const { return secondaryShortCuts_; }
    void ClearSecondaryShortCuts() { secondaryShortCuts_.clear(); }
    // Adds Text, turned into a shortcut by TextToShortCut.
    void AddSecondaryShortCut(const std::string& Text);
    // Whether Value is the action's ShortCut or one of its secondary shortcuts.
    bool HasShortCut(TShortCut Value) const;

private:
    std::vector<TSecondaryShortCut> secondaryShortCuts_;
    std::string caption_;
    std::string hint_;
    bool checked_ = false;
    bool autoCheck_ = false;
    int groupIndex_ = 0;
    bool enabled_ = true;
    bool visible_ = true;
    int imageIndex_ = -1;
    TShortCut shortCut_ = 0;
    int helpContext_ = 0;
    bool checking_ = false;
};

class TAction : public TCustomAction {
public:
    CLASSLIB_CLASS_NAME(TAction)
    explicit TAction(TComponent* AOwner) : TCustomAction(AOwner) {}
};

// The action the application executes when its Hint changes and nobody handles OnHint; a
// status bar that shows hints takes it (its Hint is the application's hint).
class THintAction : public TCustomAction {
public:
    CLASSLIB_CLASS_NAME(THintAction)
    explicit THintAction(TComponent* AOwner) : TCustomAction(AOwner) {}
};

// A list of contained actions. Deleting the list deletes its actions.
class TCustomActionList : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TCustomActionList)
    explicit TCustomActionList(TComponent* AOwner);
    ~TCustomActionList() override;

    int ActionCount() const { return static_cast<int>(actions_.size()); }
    TContainedAction* Actions(int Index) const;
    // Runs OnExecute / OnUpdate of the list; answers whether the list handled the action.
    virtual bool ExecuteAction(TBasicAction* Action);
    virtual bool UpdateAction(TBasicAction* Action);
    // Answers whether a shortcut of an enabled action was executed.
    bool IsShortCut(TShortCut ShortCut);
    // The images the actions' ImageIndex names (nullptr: none); cleared when that list is freed.
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* Value);
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TActionEvent OnExecute;
    TActionEvent OnUpdate;
    TNotifyEvent OnChange;

protected:
    virtual void Change();

private:
    friend class TContainedAction;
    friend class TCustomAction;
    void AddAction(TContainedAction* Action);
    void RemoveAction(TContainedAction* Action);
    std::vector<TContainedAction*> actions_;
    TCustomImageList* images_ = nullptr;
};

class TActionList : public TCustomActionList {
public:
    CLASSLIB_CLASS_NAME(TActionList)
    explicit TActionList(TComponent* AOwner) : TCustomActionList(AOwner) {}
};

// A link to a TCustomAction: the action tells it each property change through the Set...
// methods, which a client class applies when Is...Linked answers true.
class TActionLink : public TBasicActionLink {
public:
    CLASSLIB_CLASS_NAME(TActionLink)
    explicit TActionLink(TObject* AClient) : TBasicActionLink(AClient) {}
    // True when the action is a TCustomAction (descendants add: and the client still shows the
    // action's current value).
    virtual bool IsCaptionLinked();
    virtual bool IsCheckedLinked();
    virtual bool IsEnabledLinked();
    virtual bool IsHelpContextLinked();
    virtual bool IsHintLinked();
    virtual bool IsImageIndexLinked();
    virtual bool IsShortCutLinked();
    virtual bool IsVisibleLinked();
    virtual void SetCaption(const std::string& Value) { (void)Value; }
    virtual void SetChecked(bool Value) { (void)Value; }
    virtual void SetEnabled(bool Value) { (void)Value; }
    virtual void SetHelpContext(int Value) { (void)Value; }
    virtual void SetHint(const std::string& Value) { (void)Value; }
    virtual void SetImageIndex(int Value) { (void)Value; }
    virtual void SetShortCut(TShortCut Value) { (void)Value; }
    virtual void SetVisible(bool Value) { (void)Value; }
    TCustomAction* CustomAction() const;
};

// The link of a control: caption, hint, enabled, visible and help context go to the control
// while the control still shows the action's value; Execute runs when the control has no
// OnClick of its own.
class TControlActionLink : public TActionLink {
public:
    CLASSLIB_CLASS_NAME(TControlActionLink)
    explicit TControlActionLink(TControl* AClient);
    static const TControlActionLinkClassRef& ClassRef();
    TControl* Client() const { return client_; }

    bool IsCaptionLinked() override;
    bool IsEnabledLinked() override;
    bool IsHelpContextLinked() override;
    bool IsHintLinked() override;
    bool IsVisibleLinked() override;
    bool IsOnExecuteLinked() override;
    void SetCaption(const std::string& Value) override;
    void SetEnabled(bool Value) override;
    void SetHelpContext(int Value) override;
    void SetHint(const std::string& Value) override;
    void SetVisible(bool Value) override;

protected:
    void AssignClient(TObject* AClient) override;

private:
    TControl* client_ = nullptr;
};

class TWinControlActionLink : public TControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TWinControlActionLink)
    explicit TWinControlActionLink(TControl* AClient) : TControlActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
};

// Puts Client's action link (made by Client's GetActionLinkClass on first use) on Value, or
// drops it for nullptr: the link's changes go to Client's DoActionChange, Client takes the
// action's properties (ActionChange, defaults checked while loading) and hears of its deletion.
// The same action again does nothing.
template <typename ClientT, typename LinkT>
void SetClientAction(ClientT* Client, std::unique_ptr<LinkT>& Link, TBasicAction* Value) {
    if (Value == nullptr) {
        Link.reset();
        return;
    }
    if (Link && Link->Action() == Value) return;
    if (!Link) Link.reset(Client->GetActionLinkClass()->Create(Client));
    Link->SetAction(Value);
    Link->OnChange = [Client](TObject* Sender) { Client->DoActionChange(Sender); };
    Client->ActionChange(Value, Client->HasState(csLoading));
    Value->FreeNotification(Client);
}

// Text of a shortcut ("Ctrl+S", "F5"; "" for none), with the key names of the system.
std::string ShortCutToText(TShortCut ShortCut);
TShortCut ShortCut(WORD Key, TShiftState Shift);
// The shortcut a text names: modifiers "Shift+", "Ctrl+", "Alt+" in any order and case, then a key
// as ShortCutToText writes it (a letter, a digit, F1-F24, or a layout-free name such as "Enter");
// scNone when the text names no key.
TShortCut TextToShortCut(const std::string& Text);

}  // namespace classlib
