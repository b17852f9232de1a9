// The wide check list box: the wide list box's items, texts and window life on the class
// library's check list box, whose item states also survive the re-creation of the window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/check_list_box.h"
#include "widgets/unicode/uc_list_box.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

class TUcCheckListBox : public classlib::TCheckListBox, public IWideCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TUcCheckListBox)
    explicit TUcCheckListBox(classlib::TComponent* AOwner);
    ~TUcCheckListBox() override;

    WIDGETS_UC_HINT_MEMBERS(classlib::TCheckListBox)
public:
    TUcListBoxStrings* Items() { return wideItems_.get(); }
    void SetItems(unicode::TWideStrings* Value) { wideItems_->Assign(Value); }
    classlib::TStrings* AnsiItems() { return classlib::TCheckListBox::Items(); }
    void AddItem(const std::wstring& Item, classlib::TObject* AObject) override;
    void AddItem(const std::string& Item, classlib::TObject* AObject) override;
    void CopySelection(classlib::TCustomListControl* Destination) override;

    TLBGetWideDataEvent OnData;
    std::string DoGetData(int Index) override;

    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void DrawItem(int Index, RECT Rect, UINT State) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void DrawHeaderText(HDC DC, int Index, RECT Rect) override;

private:
    std::unique_ptr<TUcListBoxStrings> wideItems_;
    TUcListBoxKeeper keeper_;
    std::vector<classlib::TCheckItemState> savedStates_;
};

}  // namespace widgets
