#include "ui/incruster_frame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "engine/capture_data_module.h"
#include "filters/superposer.h"
#include "settings/settings_catalogue.h"
#include "ui/action_images.h"
#include "ui/form_parts.h"

namespace ui {

namespace {

// The running overlay filter, nullptr before the capture module exists.
filters::Tqz_Superposer* Superposer() {
    engine::Tdm* module = engine::dm();
    return module != nullptr ? module->Superposer : nullptr;
}

// A date-time without its milliseconds.
double WholeSeconds(double DateTime) {
    WORD hour = 0, minute = 0, second = 0, ms = 0;
    classlib::DecodeTime(DateTime, hour, minute, second, ms);
    return std::floor(DateTime) + classlib::EncodeTime(hour, minute, second, 0);
}

// A button of the format row showing picture Picture of Images (20 x 20), without caption.
hover::TFlatBarButton* FlatButton(classlib::TComponent* Owner, classlib::TWinControl* Parent, const wchar_t* Name,
                                  int Left, int Width, classlib::TImageList* Images, int Picture, const char* Hint,
                                  int Group) {
    auto* button = Place<hover::TFlatBarButton>(Owner, Parent, Name, Left, 29, Width, 24);
    button->SetImages(Images);
    button->SetImageIndex(Picture);
    button->SetHint(Hint);
    button->SetGroupIndex(Group);
    return button;
}

}  // namespace

std::wstring TimeDifferenceText(double D) {
    const long long n = std::llround(D * 86400.0);
    const long long seconds = n % 60, minutes = (n / 60) % 60, hours = (n / 3600) % 24, days = n / 86400;
    auto i = [](long long v) { return classlib::FormatArg(static_cast<std::int64_t>(v)); };
    if (days == 0 && minutes == 0 && seconds == 0) return classlib::Format(L"%d hours", {i(hours)});
    return classlib::Format(L"%d days %.2dh %.2dm %.2ds", {i(days), i(hours), i(minutes), i(seconds)});
}

TIncrusterFrame::TIncrusterFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"IncrusterFrame1");
    // The column's size, as every panel: 10 pixels taller it lay over the status bar, 3 wider it
    // ran past the window's edge.
    using namespace widgets;
    FontComboBox = Place<kit::TFontComboBox>(this, this, L"FontComboBox", 8, 4, 160, 22);
    FontComboBox->SetHint("Font of inlay");
    FontComboBox->OnChange = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.FontRec.Name = classlib::AnsiToWide(FontComboBox->FontName()); });
    };
    cbSize = Place<TUcComboBox>(this, this, L"cbSize", 172, 4, 64, 22);
    for (const wchar_t* size : {L"auto", L"8", L"9", L"10", L"11", L"12", L"14", L"16", L"18", L"20", L"22", L"24",
                                L"26", L"28", L"36", L"48", L"72"})
        cbSize->Items()->Add(size);
    cbSize->SetHint(L"Size of inlay.\r\nOne may choose \"auto\" to get a font size corresponding to the video size.");
    // A chosen item applies at once; a typed size when the field is left or Enter is pressed, so
    // that half-typed text is never taken.
    cbSize->OnClick = [this](classlib::TObject*) { SizeChange(); };
    cbSize->OnExit = [this](classlib::TObject*) { SizeChange(); };
    cbSize->OnKeyPress = [this](classlib::TObject*, char& Key) {
        if (Key == '\r') SizeChange();
    };
    ilFormat = Make<classlib::TImageList>(this, L"ilFormat");
    FillPictures(ilFormat, TPictureSet::psFormat);
    BuildFormatButtons();
    BuildContent();

    labDatecode = Place<TUcLabel>(this, this, L"labDatecode", 8, 186, 258, 13);
    labDatecode->SetCaption(L"format of datecode %D per line");
    cbDatecode1 = Place<TUcComboBox>(this, this, L"cbDatecode1", 8, 202, 126, 21);
    for (const wchar_t* f : {L"ddddd", L"tt", L"dddddd", L"ddddd tt", L"dddddd tt", L"d mmm yyyy"}) cbDatecode1->Items()->Add(f);
    cbDatecode1->SetHint(L"Choose the format of datecode for the first line");
    cbDatecode1->OnChange = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.FormatDate1 = cbDatecode1->Text(); });
    };
    cbDatecode2 = Place<TUcComboBox>(this, this, L"cbDatecode2", 140, 202, 126, 21);
    for (const wchar_t* f : {L"tt", L"ddddd", L"dddddd", L"ddddd t", L"dddddd tt", L"d mmm yyyy"}) cbDatecode2->Items()->Add(f);
    cbDatecode2->SetHint(L"Choose the format of datecode for the 2nd line");
    cbDatecode2->OnChange = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.FormatDate2 = cbDatecode2->Text(); });
    };
    labPerso = Place<TUcLabel>(this, this, L"labPerso", 8, 232, 258, 13);
    labPerso->SetCaption(L"templates of personalized inlay");
    edPerso1 = Place<TUcEdit>(this, this, L"edPerso1", 8, 248, 258, 21);
    edPerso1->SetHint(L"Define the template for inlaying the first line");
    edPerso1->OnChange = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.Incrust1 = edPerso1->Text(); });
    };
    edPerso2 = Place<TUcEdit>(this, this, L"edPerso2", 8, 274, 258, 21);
    edPerso2->SetHint(L"Define the template to inlay the second line");
    edPerso2->OnChange = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.Incrust2 = edPerso2->Text(); });
    };
    tbDecalage = Place<hover::TFlatBarButton>(this, this, L"tbDecalage", 8, 302, 258, 26);
    tbDecalage->SetLayout(hover::TButtonLayout::blGlyphLeft);
    ShowDecalageCaption(false);
    tbDecalage->SetHint("Click to fix a time difference");
    tbDecalage->SetGroupIndex(10);
    tbDecalage->SetAllowAllUp(true);
    tbDecalage->OnClick = [this](classlib::TObject* Sender) { tbDecalageClick(Sender); };
    labDecalage = Place<TUcLabel>(this, this, L"labDecalage", 8, 332, 258, 13);
    labDecalage->Font()->SetColor(classlib::clMaroon);
    labDecalage->SetHint(L"Time difference applied to the video");
    BuildDecalagePane();
    SetShowHint(true);
}

void TIncrusterFrame::BuildFormatButtons() {
    const std::array<std::pair<hover::TFlatBarButton**, int>, 3> styles{
        {{&tbBold, 1}, {&tbItalic, 2}, {&tbUnderline, 3}}};
    using namespace format_picture;
    tbBold = FlatButton(this, this, L"tbBold", 8, 24, ilFormat, kBold, "Inlay in Bold ", 1);
    tbItalic = FlatButton(this, this, L"tbItalic", 32, 24, ilFormat, kItalic, "Inlay in Italic", 2);
    tbUnderline = FlatButton(this, this, L"tbUnderline", 56, 24, ilFormat, kUnderline, "Inlay in Underlined", 3);
    for (const auto& style : styles) (*style.first)->SetAllowAllUp(true);
    tbBold->OnClick = [this](classlib::TObject*) { Edit([this](settings::TincrustRec& r) { r.FontRec.Bold = tbBold->Down(); }); };
    tbItalic->OnClick = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.FontRec.Italic = tbItalic->Down(); });
    };
    tbUnderline->OnClick = [this](classlib::TObject*) {
        Edit([this](settings::TincrustRec& r) { r.FontRec.Underline = tbUnderline->Down(); });
    };

    ColorButton = Place<widgets::custom::TColorButton>(this, this, L"ColorButton", 82, 30, 38, 22);
    ColorButton->SetHint("Choose the color of inlay");
    ColorButton->SetDropDownCaption("Text Color Window");
    ColorButton->SetCaptionAutoColor("Automatic");
    ColorButton->SetCaptionOtherColor("Other Colors...");
    ColorButton->OnColorSelected = [this](classlib::TObject*, classlib::TColor Color) {
        Edit([Color](settings::TincrustRec& r) { r.FontRec.Color = Color; });
    };

    // One group of exclusive buttons: left, centred, right, subtitle.
    tbLeftAlign = FlatButton(this, this, L"tbLeftAlign", 122, 24, ilFormat, kLeft, "Align the 2 lines at left", 4);
    tbCenter = FlatButton(this, this, L"tbCenter", 146, 24, ilFormat, kCenter, "Center the two lines together", 4);
    tbRightAlign = FlatButton(this, this, L"tbRightAlign", 170, 24, ilFormat, kRight, "Align the two lines at right", 4);
    tbSousTitre = FlatButton(this, this, L"tbSousTitre", 194, 24, ilFormat, kSubtitle,
                             "Center the inlayed text in the video\r\nas if it was a subtitle", 4);
    const std::array<hover::TFlatBarButton*, 4> alignments{tbLeftAlign, tbCenter, tbRightAlign, tbSousTitre};
    for (std::uint8_t i = 0; i < alignments.size(); ++i)
        alignments[i]->OnClick = [this, i](classlib::TObject*) { AlignmentClick(i); };

    pmBorder = Make<widgets::TUcPopupMenu>(this, L"pmBorder");
    const std::array<const wchar_t*, settings::kMaxBorderSize + 1> borders{L"No border", L"1 pixel",  L"2 pixels",
                                                                          L"3 pixels",  L"4 pixels", L"5 pixels"};
    for (int i = 0; i < static_cast<int>(borders.size()); ++i) {
        auto* item = new widgets::TUcMenuItem(this);
        item->SetCaption(borders[static_cast<size_t>(i)]);
        item->SetTag(i);
        item->OnClick = [this, i](classlib::TObject*) { BorderClick(i); };
        pmBorder->Items()->Add(item);
    }
    // Room for the picture, the widest size and the arrow at 120 dots per inch, with a margin each
    // side: the colour button gives up the pixels it did not need.
    tbBorder = FlatButton(this, this, L"tbBorder", 220, 48, ilFormat, kBorder,
                          "Define the size of border around the inlayed text\r\nto get a better contrast on most backgrounds.", 0);
    tbBorder->SetSpacing(2);
    tbBorder->SetDropdownMenu(pmBorder);
    tbBorder->SetDropdownAlways(true);
}

void TIncrusterFrame::BuildContent() {
    using namespace widgets;
    struct Content {
        hover::THxImgBtn** Button;
        const wchar_t* Name;
        const char* Caption;
        const char* Hint;
        int What;     // -1: "Nothing"
        int Picture;  // of ilFormat; "Nothing" takes the main window's inlay picture
    };
    using namespace format_picture;
    const std::array<Content, 5> contents{{
        {&HxImgBtn5, L"HxImgBtn5", "Real", "Inlay the real system date", 3, kRealDate},
        {&HxImgBtn1, L"HxImgBtn1", "Datecode", "Inlay the datecode in the video", 0, kDatecode},
        {&HxImgBtn2, L"HxImgBtn2", "Timecode", "Inlay the timecode in the video", 1, kTimecode},
        {&HxImgBtn3, L"HxImgBtn3", "Perso", "Personalized inlay according\r\nto the template defined below.", 2, kPerso},
        {&HxImgBtn4, L"HxImgBtn4", "Nothing", "Inlay nothing", -1, -1},
    }};
    // High enough for the main window's 22-pixel picture on "Nothing".
    int top = 55;
    for (const Content& c : contents) {
        auto* button = Place<hover::THxImgBtn>(this, this, c.Name, 8, top, 110, 26);
        button->SetCaption(c.Caption);
        button->SetHint(c.Hint);
        if (c.Picture >= 0) {
            button->SetImages(ilFormat);
            button->SetImageIndex(c.Picture);
        }
        const int what = c.What;
        button->OnClick = [this, what](classlib::TObject*) {
            if (what < 0)
                NothingClick();
            else
                ContentClick(static_cast<std::uint8_t>(what));
        };
        *c.Button = button;
        top += 26;
    }

    GroupBox1 = Place<TUcGroupBox>(this, this, L"GroupBox1", 124, 54, 144, 126);
    GroupBox1->SetCaption(L"When to inlay?");
    GroupBox1->SetHint(
        L"Indicate when to inlay.\r\nIf not permanently, then it will have the duration indicated in seconds.");
    const std::array<std::pair<TUcRadioButton**, const wchar_t*>, 4> whens{
        {{&rbPermanent, L"permanently"}, {&rbUnique, L"once"}, {&rbScene, L"on each new scene"}, {&rbJour, L"on each new day"}}};
    static const wchar_t* const kNames[] = {L"rbPermanent", L"rbUnique", L"rbScene", L"rbJour"};
    for (std::uint8_t i = 0; i < whens.size(); ++i) {
        auto* button = Place<TUcRadioButton>(this, GroupBox1, kNames[i], 6, 16 + 16 * i, 135, 16);
        button->SetCaption(whens[i].second);
        button->OnClick = [this, i](classlib::TObject*) { WhenClick(i); };
        *whens[i].first = button;
    }
    labDuree = Place<TUcLabel>(this, GroupBox1, L"labDuree", 8, 82, 130, 13);
    labDuree->SetCaption(L"Duration (in seconds)");
    edDuree = Place<TUcEdit>(this, GroupBox1, L"edDuree", 8, 98, 60, 21);
    edDuree->SetText(L"5");
    edDuree->SetHint(L"Duration in seconds of each sequence of inlay");
    edDuree->OnExit = [this](classlib::TObject*) { DureeChange(); };
    edDuree->OnKeyPress = [this](classlib::TObject*, char& Key) {
        if (Key == '\r') DureeChange();
    };
}

void TIncrusterFrame::BuildDecalagePane() {
    using namespace widgets;
    PanelDecalage = Place<TUcPanel>(this, this, L"PanelDecalage", 8, 54, 260, 126);
    PanelDecalage->SetCaption(L"");
    PanelDecalage->SetVisible(false);
    labOldDate = Place<TUcLabel>(this, PanelDecalage, L"labOldDate", 6, 6, 248, 13);
    labOldDate->SetCaption(L"");
    labOldDate->SetHint(L"Old date, before correction.");
    gbFin = Place<TUcGroupBox>(this, PanelDecalage, L"gbFin", 6, 22, 248, 98);
    gbFin->SetCaption(L"New date");
    DateEdit2 = Place<kit::TDateEdit>(this, gbFin, L"DateEdit2", 8, 18, 120, 21);
    DateEdit2->SetHint("New date after correction.");
    auto spin = [this](const wchar_t* Name, int Left, double Max, const char* Hint) {
        auto* edit = Place<kit::TKitSpinEdit>(this, gbFin, Name, Left, 48, 48, 21);
        edit->SetMaxValue(Max);
        edit->SetHint(Hint);
        edit->OnChange = [this](classlib::TObject*) { DecalageControlsChange(); };
        return edit;
    };
    seHeure = spin(L"seHeure", 8, 23, "hours");
    seMinute = spin(L"seMinute", 60, 59, "minutes");
    seSeconde = spin(L"seSeconde", 112, 59, "seconds");
    DateEdit2->OnChange = [this](classlib::TObject*) { DecalageControlsChange(); };
    resetBtn = Place<hover::THxImgBtn>(this, gbFin, L"resetBtn", 163, 46, 80, 26);
    resetBtn->SetCaption("Reset");
    resetBtn->SetImages(ilFormat);
    resetBtn->SetImageIndex(format_picture::kReset);
    resetBtn->SetHint("Reset the time difference.");
    resetBtn->OnClick = [this](classlib::TObject*) {
        SetDecalageControls(DecalageOldDate);
        DecalageControlsChange();
    };
}

settings::TincrustRec TIncrusterFrame::Record() const {
    return settings::ParamIncrustRec != nullptr ? settings::ParamIncrustRec->Value() : settings::DefaultIncrustRec();
}

void TIncrusterFrame::SetRecord(const settings::TincrustRec& Value) {
    if (settings::ParamIncrustRec != nullptr) settings::ParamIncrustRec->SetValue(Value);
}

template <typename F>
void TIncrusterFrame::Edit(F&& Change) {
    if (loading_ || settings::ParamIncrustRec == nullptr) return;
    settings::TincrustRec record = Record();
    Change(record);
    SetRecord(record);
    ApplyOverlay();
}

void TIncrusterFrame::ApplyOverlay() {
    const settings::TincrustRec record = Record();
    tbDecalage->SetEnabled(record.WhatIncrust == 0 || record.WhatIncrust == 3);
    if (filters::Tqz_Superposer* overlay = Superposer()) overlay->SetIncrustRec(record);
}

void TIncrusterFrame::SizeChange() {
    if (loading_ || settings::ParamIncrustRec == nullptr) return;
    const std::wstring text = classlib::Trim(cbSize->Text());
    settings::TincrustRec record = Record();
    record.Autofontsize = text == L"auto";
    SetRecord(record);
    if (!record.Autofontsize) {
        // A text that is no number is reported by the application; the size stays.
        const std::int32_t size = classlib::StrToInt(text);
        if (size > 0) record.FontRec.Size = size;
        SetRecord(record);
    }
    ApplyOverlay();
}

void TIncrusterFrame::AlignmentClick(std::uint8_t Alignment) {
    if (loading_) return;
    // The slider first: its own handler turns a subtitle alignment into a centred one.
    if (Alignment == 3 && OnSubtitleAlignment) OnSubtitleAlignment();
    Edit([Alignment](settings::TincrustRec& r) { r.Alignement = Alignment; });
}

void TIncrusterFrame::BorderClick(int Size) {
    Edit([Size](settings::TincrustRec& r) { r.BorderSize = Size; });
    tbBorder->SetCaption(Size >= 1 ? std::to_string(Size) : std::string());
}

void TIncrusterFrame::ContentClick(std::uint8_t What) {
    if (loading_ || settings::ParamIncrustRec == nullptr) return;
    settings::TincrustRec record = Record();
    record.WhatIncrust = What;
    SetRecord(record);
    if (settings::ParamWantIncrust != nullptr && !settings::ParamWantIncrust->Value() && OnSwitchOverlay) OnSwitchOverlay();
    ApplyOverlay();
}

void TIncrusterFrame::NothingClick() {
    if (settings::ParamWantIncrust != nullptr && settings::ParamWantIncrust->Value() && OnSwitchOverlay) OnSwitchOverlay();
}

void TIncrusterFrame::PassDisplayMode() {
    if (settings::ParamWhenIncrust == nullptr || settings::ParamDureeIncruster == nullptr) return;
    if (filters::Tqz_Superposer* overlay = Superposer())
        overlay->SetDisplayMode(settings::ParamWhenIncrust->Value(),
                                static_cast<std::uint32_t>(std::max(0, settings::ParamDureeIncruster->Value())));
}

void TIncrusterFrame::WhenClick(std::uint8_t When) {
    if (loading_ || settings::ParamWhenIncrust == nullptr) return;
    settings::ParamWhenIncrust->SetValue(When);
    PassDisplayMode();
}

void TIncrusterFrame::DureeChange() {
    if (loading_ || settings::ParamDureeIncruster == nullptr) return;
    // A text that is no number is reported by the application; the duration stays.
    settings::ParamDureeIncruster->SetValue(classlib::StrToInt(classlib::Trim(edDuree->Text())));
    PassDisplayMode();
}

void TIncrusterFrame::ShowWhenIncrust(int WhenIncrust) {
    const bool loading = std::exchange(loading_, true);
    const std::array<widgets::TUcRadioButton*, 4> buttons{rbPermanent, rbUnique, rbScene, rbJour};
    for (int i = 0; i < 4; ++i) buttons[static_cast<size_t>(i)]->SetChecked(i == WhenIncrust);
    loading_ = loading;
}

void TIncrusterFrame::LoadFromRec(const settings::TincrustRec& R) {
    const bool loading = std::exchange(loading_, true);
    try {
        const std::array<hover::TFlatBarButton*, 4> alignments{tbLeftAlign, tbCenter, tbRightAlign, tbSousTitre};
        if (R.Alignement < alignments.size()) alignments[R.Alignement]->SetDown(true);
        edPerso1->SetText(R.Incrust1);
        edPerso2->SetText(R.Incrust2);
        cbDatecode1->SetText(R.FormatDate1);
        cbDatecode2->SetText(R.FormatDate2);
        FontComboBox->ChooseFont(classlib::WideToAnsi(R.FontRec.Name));
        cbSize->SetText(R.Autofontsize ? std::wstring(L"auto") : std::to_wstring(R.FontRec.Size));
        tbBold->SetDown(R.FontRec.Bold);
        tbItalic->SetDown(R.FontRec.Italic);
        tbUnderline->SetDown(R.FontRec.Underline);
        ColorButton->SetSelectedColor(R.FontRec.Color);
        // The border the filter draws: a record from elsewhere may hold any number.
        const std::int32_t border = settings::BorderSizeInRange(R.BorderSize);
        tbBorder->SetCaption(border >= 1 ? std::to_string(border) : std::string());
        if (OnShowPosition) OnShowPosition(R.Xpos, R.Ypos);
        labDecalage->SetCaption(R.DecalageHoraire != 0.0 ? TimeDifferenceText(R.DecalageHoraire) : std::wstring());
        tbDecalage->SetEnabled(R.WhatIncrust == 0 || R.WhatIncrust == 3);
    } catch (...) {
        loading_ = loading;
        throw;
    }
    loading_ = loading;
}

void TIncrusterFrame::SetDecalageControls(double DateTime) {
    const bool loading = std::exchange(loading_, true);
    WORD hour = 0, minute = 0, second = 0, ms = 0;
    classlib::DecodeTime(DateTime, hour, minute, second, ms);
    DateEdit2->SetDate(std::floor(DateTime));
    seHeure->SetValue(hour);
    seMinute->SetValue(minute);
    seSeconde->SetValue(second);
    loading_ = loading;
}

void TIncrusterFrame::DecalageControlsChange() {
    if (loading_) return;
    DecalageNewDate = std::floor(DateEdit2->Date()) + seHeure->Value() / 24.0 + seMinute->Value() / 1440.0 +
                      seSeconde->Value() / 86400.0;
    const double difference = DecalageNewDate - DecalageOldDate;
    labDecalage->SetCaption(std::llround(difference * 86400.0) == 0 ? std::wstring() : TimeDifferenceText(difference));
    if (settings::ParamIncrustRec == nullptr) return;
    settings::TincrustRec record = Record();
    record.DecalageHoraire = difference;
    SetRecord(record);
    if (filters::Tqz_Superposer* overlay = Superposer()) overlay->SetIncrustRec(record);
}

void TIncrusterFrame::tbDecalageClick(classlib::TObject* /*Sender*/) {
    if (PanelDecalage->Visible())
        HideDecalage();
    else
        ShowDecalage();
}

void TIncrusterFrame::ShowDecalageCaption(bool Shown) {
    // As the time-difference toggle of the main window says it.
    tbDecalage->SetCaption(Shown ? "Hide the time difference" : "Add a time difference");
}

void TIncrusterFrame::HideDecalage() {
    tbDecalage->SetDown(false);
    ShowDecalageCaption(false);
    PanelDecalage->Hide();
}

void TIncrusterFrame::ShowDecalage() {
    switch (Record().WhatIncrust) {
        case 0: {
            double date = 0.0;
            if (!OnLatestDVDate || !OnLatestDVDate(date)) {
                // No DV date to correct: nothing happens.
                tbDecalage->SetDown(false);
                return;
            }
            DecalageOldDate = WholeSeconds(date);
            SetDecalageControls(DecalageOldDate);
            break;
        }
        case 3:
            DecalageOldDate = WholeSeconds(OnNow ? OnNow() : classlib::Now());
            SetDecalageControls(DecalageOldDate);
            break;
        default:
            break;
    }
    labOldDate->SetCaption(L"Old date: " + classlib::FormatDateTime(L"ddddd tt", DecalageOldDate));
    tbDecalage->SetDown(true);
    ShowDecalageCaption(true);
    PanelDecalage->BringToFront();
    PanelDecalage->Show();
}

}  // namespace ui
