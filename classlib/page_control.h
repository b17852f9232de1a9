// The page control: a SysTabControl32 window whose tabs show tab sheets, one sheet visible at a
// time in the tab control's display area.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/image_list.h"

namespace classlib {

class TPageControl;

// A page of a page control: a plain window over the display area, shown while it is the active
// page. Its caption is the tab's text.
class TTabSheet : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TTabSheet)
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;
    TPageControl* PageControl() const { return pageControl_; }
    // Puts the sheet on Value (its parent too), at the end of its pages.
    void SetPageControl(TPageControl* Value);
    int PageIndex() const;
    // The sheet's position among the shown tabs (-1 when its tab is hidden).
    int TabIndex() const;
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    void Dispatch(TMessage& Message) override;

private:
    friend class TPageControl;
    TPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
    int imageIndex_ = -1;
};

enum class TTabStyle { tsTabs, tsButtons, tsFlatButtons };
using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// The tabs and their sheets. A click on a tab asks OnChanging (CanChange), makes the sheet active
// and runs OnChange; setting ActivePage or TabIndex from code runs no event. Tabs are sent to the
// window with TCM_INSERTITEMA and TCM_SETITEMA (item parameter: the sheet).
class TPageControl : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TPageControl)
    explicit TPageControl(TComponent* AOwner);
    ~TPageControl() override;

    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int Index) const { return pages_.at(static_cast<size_t>(Index)); }
    TTabSheet* ActivePage() const { return activePage_; }
    void SetActivePage(TTabSheet* Page);
    int ActivePageIndex() const { return activePage_ ? activePage_->PageIndex() : -1; }
    void SetActivePageIndex(int Index);
    // The active sheet's tab (-1 without one).
    int TabIndex();
    void SetTabIndex(int Index);
    TTabStyle Style() const { return style_; }
    void SetStyle(TTabStyle Value);
    bool RaggedRight() const { return raggedRight_; }
    void SetRaggedRight(bool Value);
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* Value);
    // The sheet whose tab is at Index among the shown tabs (nullptr when none).
    TTabSheet* PageOfTab(int Index) const;
    // The rectangle the sheets fill (client coordinates).
    RECT DisplayRect();

    TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // Sends every shown tab to the window again.
    void UpdateTabs();
    // Sends one sheet's tab text and image again.
    void UpdateTab(TTabSheet* Page);
    // The sheet a docked control lies on (nullptr when it is not docked here).
    TTabSheet* PageOfDockClient(TControl* Client) const;

protected:
    // Docking: a control docked here (ManualDock) gets a sheet of its own (NewDockSheet, shown
    // and made active when the control is visible), on which it fills the display area; its
    // caption changes (a docked form's WM_SETTEXT) become the sheet's caption up to the first line
    // break (DockClientTextChanged); its visibility the tab's; when it leaves, its sheet goes.
    // The sheet for a control being docked: a sheet of the page control captioned with a form's
    // caption.
    virtual TTabSheet* NewDockSheet(TControl* Client);
    // A docked control's WM_SETTEXT with its text (as the control's window takes it).
    virtual void DockClientTextChanged(TTabSheet* Page, TControl* Client, LPARAM Text);
    void DoAddDockClient(TControl* Client, const RECT& ARect) override;
    void DoRemoveDockClient(TControl* Client) override;
    virtual bool CanChange();
    virtual void Change();
    // Whether the sheet's tab may be shown (its TabVisible).
    virtual bool CanShowTab(int PageIndex);
    void LayoutSheets();

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* Page);
    void RemovePage(TTabSheet* Page);
    void ShowActive();
    void DockClient(TMessage& Message);
    void DockNotification(TMessage& Message);
    std::vector<TTabSheet*> pages_;
    TTabSheet* newDockSheet_ = nullptr;   // while a control is being docked
    TTabSheet* undockingPage_ = nullptr;  // while a control is leaving
    TTabSheet* activePage_ = nullptr;
    TTabStyle style_ = TTabStyle::tsTabs;
    bool raggedRight_ = false;
    TCustomImageList* images_ = nullptr;
};

}  // namespace classlib
