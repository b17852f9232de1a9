#include "ui/extraire_frame.h"

#include "settings/settings_catalogue.h"
#include "ui/form_parts.h"

namespace ui {

TExtraireFrame::TExtraireFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"ExtraireFrame1");
    using namespace widgets;
    GroupBox2 = Place<TUcGroupBox>(this, this, L"GroupBox2", 0, 0, kPanelWidth, kPanelHeight);
    GroupBox2->SetCaption(L"Grab images (F5)");
    Image = Place<TUcImage>(this, GroupBox2, L"Image", 32, 21, 192, 144);
    Image->SetStretch(true);
    Image->SetHint(L"Last grabbed and saved image");
    Bevel3 = Place<TUcBevel>(this, GroupBox2, L"Bevel3", 32, 21, 192, 144);
    GroupBox1 = Place<TUcGroupBox>(this, GroupBox2, L"GroupBox1", 8, 176, 257, 48);
    GroupBox1->SetCaption(L"Next image");
    destlabel = Place<TUcLabel>(this, GroupBox1, L"destlabel", 8, 20, 241, 16);
    destlabel->SetAutoSize(false);
    SetArialLook(destlabel, {classlib::fsBold}, classlib::clTeal);
    destlabel->SetCursor(classlib::crHandPoint);
    destlabel->SetHint(L"Name of the next grabbed image.\r\nClick on it to change the folder.");

    gbIntervallo = Place<TUcGroupBox>(this, GroupBox2, L"gbIntervallo", 8, 232, 257, 120);
    gbIntervallo->SetCaption(L"Intervalometer");
    gbIntervallo->SetHint(L"Intervalometer for grabbing images at periodic time intervals.");
    KitSwitch1 = Place<kit::TKitSwitch>(this, gbIntervallo, L"KitSwitch1", 8, 20, 50, 50);
    KitSwitch1->SetHint("Toggle the intervalometer.");
    chronoLab = Place<kit::TKitLabel>(this, gbIntervallo, L"chronoLab", 70, 24, 60, 20);
    chronoLab->Font()->SetStyle({classlib::fsBold});
    chronoLab->Font()->SetColor(classlib::clRed);
    chronoLab->SetHint("Delay in seconds till the next snapshot.");
    chronoLab->SetVisible(false);
    KitSpinEdit7 = Place<kit::TKitSpinEdit>(this, gbIntervallo, L"KitSpinEdit7", 8, 82, 70, 21);
    KitSpinEdit7->SetMaxValue(999999);
    KitSpinEdit7->SetHint("Values for the time interval between two snapshots");
    cbUnites = Place<TUcComboBox>(this, gbIntervallo, L"cbUnites", 86, 82, 90, 21);
    cbUnites->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    for (const wchar_t* unit : {L"seconds", L"frames", L"minutes", L"hours"}) cbUnites->Items()->Add(unit);
    cbUnites->SetHint(L"Units for the time interval between two snapshots");
    cbBeeps = Place<TUcCheckBox>(this, gbIntervallo, L"cbBeeps", 186, 84, 65, 17);
    cbBeeps->SetCaption(L"Beeps");
    cbBeeps->SetHint(L"Enable sound  beeps, warning of an imminent image capture.");
    cbBeeps->OnClick = [this](classlib::TObject* Sender) { cbBeepsClick(Sender); };
    SetShowHint(true);
}

void TExtraireFrame::cbBeepsClick(classlib::TObject* /*Sender*/) {
    if (settings::ParamBeeps != nullptr) settings::ParamBeeps->SetValue(cbBeeps->Checked());
}

}  // namespace ui
