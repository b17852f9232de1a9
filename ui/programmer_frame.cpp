#include "ui/programmer_frame.h"

#include "ui/action_images.h"
#include "ui/form_parts.h"

namespace ui {

TProgrammerFrame::TProgrammerFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"ProgrammerFrame1");
    using namespace widgets;
    GroupBox1 = Place<TUcGroupBox>(this, this, L"GroupBox1", 0, 0, kPanelWidth, kPanelHeight);
    GroupBox1->SetCaption(L"Schedule (Alt+P)");
    gbDebut = Place<TUcGroupBox>(this, GroupBox1, L"gbDebut", 8, 18, 257, 80);
    gbDebut->SetCaption(L"Start");
    KitSpinEdit1 = Place<kit::TKitSpinEdit>(this, gbDebut, L"KitSpinEdit1", 8, 20, 45, 21);
    KitSpinEdit2 = Place<kit::TKitSpinEdit>(this, gbDebut, L"KitSpinEdit2", 60, 20, 45, 21);
    KitSpinEdit3 = Place<kit::TKitSpinEdit>(this, gbDebut, L"KitSpinEdit3", 112, 20, 45, 21);
    DateEdit1 = Place<kit::TDateEdit>(this, gbDebut, L"DateEdit1", 8, 48, 149, 21);
    gbFin = Place<TUcGroupBox>(this, GroupBox1, L"gbFin", 8, 140, 257, 80);
    gbFin->SetCaption(L"End");
    KitSpinEdit4 = Place<kit::TKitSpinEdit>(this, gbFin, L"KitSpinEdit4", 8, 20, 45, 21);
    KitSpinEdit5 = Place<kit::TKitSpinEdit>(this, gbFin, L"KitSpinEdit5", 60, 20, 45, 21);
    KitSpinEdit6 = Place<kit::TKitSpinEdit>(this, gbFin, L"KitSpinEdit6", 112, 20, 45, 21);
    DateEdit2 = Place<kit::TDateEdit>(this, gbFin, L"DateEdit2", 8, 48, 149, 21);
    NowBtn = Place<TUcBitBtn>(this, GroupBox1, L"NowBtn", 8, 106, 100, 25);
    NowBtn->SetCaption(L"End = Start");
    NowBtn->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kEndIsStart));
    ProgBtn = Place<TUcBitBtn>(this, GroupBox1, L"ProgBtn", 8, 240, 257, 41);
    KitClock2 = Place<kit::TKitClock>(this, GroupBox1, L"KitClock2", 8, 300, 257, 40);
    for (kit::TKitSpinEdit* hours : {KitSpinEdit1, KitSpinEdit4}) hours->SetMaxValue(23);
    for (kit::TKitSpinEdit* sixty : {KitSpinEdit2, KitSpinEdit3, KitSpinEdit5, KitSpinEdit6}) sixty->SetMaxValue(59);
    SetShowHint(true);
}

void TProgrammerFrame::ShowFrame() {
    if (OnBeforeShow) OnBeforeShow(this);
    TPanelFrame::ShowFrame();
}

}  // namespace ui
