#include "ui/incruster_frame.h"

#include <array>

#include "ui/form_parts.h"

namespace ui {

TIncrusterFrame::TIncrusterFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"IncrusterFrame1");
    SetBounds(PanelColumnX, kPanelTop, 276, 410);
    using namespace widgets;
    GroupBox1 = Place<TUcGroupBox>(this, this, L"GroupBox1", 8, 150, 260, 100);
    GroupBox1->SetCaption(L"When to inlay?");
    GroupBox1->SetHint(
        L"Indicate when to inlay.\r\nIf not permanently, then it will have the duration indicated in seconds.");
    rbPermanent = Place<TUcRadioButton>(this, GroupBox1, L"rbPermanent", 8, 16, 120, 17);
    rbPermanent->SetCaption(L"permanently");
    rbUnique = Place<TUcRadioButton>(this, GroupBox1, L"rbUnique", 8, 34, 120, 17);
    rbUnique->SetCaption(L"once");
    rbScene = Place<TUcRadioButton>(this, GroupBox1, L"rbScene", 8, 52, 120, 17);
    rbScene->SetCaption(L"on each new scene");
    rbJour = Place<TUcRadioButton>(this, GroupBox1, L"rbJour", 8, 70, 120, 17);
    rbJour->SetCaption(L"on each new day");
    labDuree = Place<TUcLabel>(this, GroupBox1, L"labDuree", 136, 16, 118, 13);
    labDuree->SetCaption(L"Duration (in seconds)");
    edDuree = Place<TUcEdit>(this, GroupBox1, L"edDuree", 136, 34, 60, 21);
    edDuree->SetText(L"5");
    edDuree->SetHint(L"Duration in seconds of each sequence of inlay");
    cbDatecode1 = Place<TUcComboBox>(this, this, L"cbDatecode1", 8, 270, 125, 21);
    cbDatecode2 = Place<TUcComboBox>(this, this, L"cbDatecode2", 140, 270, 125, 21);
    edPerso1 = Place<TUcEdit>(this, this, L"edPerso1", 8, 320, 257, 21);
    edPerso2 = Place<TUcEdit>(this, this, L"edPerso2", 8, 346, 257, 21);
    labDecalage = Place<TUcLabel>(this, this, L"labDecalage", 8, 380, 257, 13);
    labDecalage->Font()->SetColor(classlib::clMaroon);
    labDecalage->SetHint(L"Time difference applied to the video");
    PanelDecalage = Place<TUcPanel>(this, this, L"PanelDecalage", 8, 150, 260, 120);
    PanelDecalage->SetVisible(false);
    SetShowHint(true);
}

void TIncrusterFrame::ShowWhenIncrust(int WhenIncrust) {
    const std::array<widgets::TUcRadioButton*, 4> buttons{rbPermanent, rbUnique, rbScene, rbJour};
    for (int i = 0; i < 4; ++i) buttons[static_cast<size_t>(i)]->SetChecked(i == WhenIncrust);
}

}  // namespace ui
