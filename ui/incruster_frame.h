// The overlay panel (panel 4): what is written into the video, with which font, colours, border
// and alignment, when and for how long, and the time difference added to the shown date. Every edit
// goes at once into the overlay setting and into the running overlay filter.
#pragma once

#include <functional>
#include <string>

#include "settings/overlay_records.h"
#include "ui/panel_frame.h"
#include "widgets/custom/color_button.h"
#include "widgets/hover/fb_button.h"
#include "widgets/hover/hx_img_btn.h"
#include "widgets/kit/date_edit.h"
#include "widgets/kit/font_combo.h"
#include "widgets/kit/kit_spin_edit.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"

namespace ui {

// The text of a time difference D in days: "%d hours" when only whole hours differ, else
// "%d days %.2dh %.2dm %.2ds" (parts of D rounded to the second, truncated toward zero).
std::wstring TimeDifferenceText(double D);

class TIncrusterFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TIncrusterFrame)
    explicit TIncrusterFrame(classlib::TComponent* AOwner);

    widgets::kit::TFontComboBox* FontComboBox = nullptr;
    widgets::TUcComboBox* cbSize = nullptr;
    // The pictures of the format and content buttons (20 x 20).
    classlib::TImageList* ilFormat = nullptr;
    hover::TFlatBarButton* tbDecalage = nullptr;
    hover::TFlatBarButton* tbBold = nullptr;
    hover::TFlatBarButton* tbItalic = nullptr;
    hover::TFlatBarButton* tbUnderline = nullptr;
    widgets::custom::TColorButton* ColorButton = nullptr;
    hover::TFlatBarButton* tbLeftAlign = nullptr;
    hover::TFlatBarButton* tbCenter = nullptr;
    hover::TFlatBarButton* tbRightAlign = nullptr;
    hover::TFlatBarButton* tbSousTitre = nullptr;
    hover::TFlatBarButton* tbBorder = nullptr;
    widgets::TUcPopupMenu* pmBorder = nullptr;
    // Content, top to bottom: "Real" (clock), "Datecode", "Timecode", "Perso", "Nothing".
    hover::THxImgBtn* HxImgBtn5 = nullptr;
    hover::THxImgBtn* HxImgBtn1 = nullptr;
    hover::THxImgBtn* HxImgBtn2 = nullptr;
    hover::THxImgBtn* HxImgBtn3 = nullptr;
    hover::THxImgBtn* HxImgBtn4 = nullptr;
    widgets::TUcGroupBox* GroupBox1 = nullptr;  // "When to inlay?"
    widgets::TUcRadioButton* rbPermanent = nullptr;
    widgets::TUcRadioButton* rbUnique = nullptr;
    widgets::TUcRadioButton* rbScene = nullptr;
    widgets::TUcRadioButton* rbJour = nullptr;
    widgets::TUcLabel* labDuree = nullptr;
    widgets::TUcEdit* edDuree = nullptr;
    widgets::TUcLabel* labDatecode = nullptr;
    widgets::TUcComboBox* cbDatecode1 = nullptr;
    widgets::TUcComboBox* cbDatecode2 = nullptr;
    widgets::TUcLabel* labPerso = nullptr;
    widgets::TUcEdit* edPerso1 = nullptr;
    widgets::TUcEdit* edPerso2 = nullptr;
    widgets::TUcLabel* labDecalage = nullptr;
    // The time-difference pane, hidden at start.
    widgets::TUcPanel* PanelDecalage = nullptr;
    widgets::TUcLabel* labOldDate = nullptr;
    widgets::TUcGroupBox* gbFin = nullptr;  // "New date"
    widgets::kit::TDateEdit* DateEdit2 = nullptr;
    widgets::kit::TKitSpinEdit* seHeure = nullptr;
    widgets::kit::TKitSpinEdit* seMinute = nullptr;
    widgets::kit::TKitSpinEdit* seSeconde = nullptr;
    hover::THxImgBtn* resetBtn = nullptr;

    // The date before and after the correction while the time-difference pane is used.
    double DecalageOldDate = 0.0;
    double DecalageNewDate = 0.0;

    // What the panel reaches of the main window, set by it (empty for a panel on its own): switch
    // the overlay on or off as its toggle action does; show a position on the sliders; centre the
    // horizontal slider (the subtitle alignment); the latest valid DV recording date, false without.
    std::function<void()> OnSwitchOverlay;
    std::function<void(int X, int Y)> OnShowPosition;
    std::function<void()> OnSubtitleAlignment;
    std::function<bool(double& Date)> OnLatestDVDate;
    // The clock of the time-difference pane (the computer's local time by default).
    std::function<double()> OnNow;

    // Sets the controls from Record (no edit handler runs).
    void LoadFromRec(const settings::TincrustRec& Record);
    // Checks the radio button of WhenIncrust (0 permanently .. 3 each new day); none for other values.
    void ShowWhenIncrust(int WhenIncrust);
    // After an edit: the time-difference button's state, and the record to the overlay filter.
    void ApplyOverlay();
    // The time-difference button: opens the pane on the date to correct, or closes it.
    void tbDecalageClick(classlib::TObject* Sender);
    // tbDecalage's caption for the pane shown or hidden.
    void ShowDecalageCaption(bool Shown);
    bool DecalageShown() const { return PanelDecalage->Visible(); }
    void ShowDecalage();
    void HideDecalage();

private:
    void BuildFormatButtons();
    void BuildContent();
    void BuildDecalagePane();
    settings::TincrustRec Record() const;
    void SetRecord(const settings::TincrustRec& Record);
    template <typename F>
    void Edit(F&& Change);
    void SizeChange();
    void AlignmentClick(std::uint8_t Alignment);
    void BorderClick(int Size);
    void ContentClick(std::uint8_t What);
    void NothingClick();
    void WhenClick(std::uint8_t When);
    void DureeChange();
    void SetDecalageControls(double DateTime);
    void DecalageControlsChange();
    void PassDisplayMode();

    bool loading_ = false;
};

}  // namespace ui
