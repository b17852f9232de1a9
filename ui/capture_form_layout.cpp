// The main window's layout: the video and panel columns side by side (either way round), the video
// window fitted to the chosen picture ratio, the DV camcorder's 16:9 flag, full screen over the
// black backdrop, the window reduced to its video, and the overlay position sliders.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/gdi_handles.h"
#include "classlib/forms.h"
#include "classlib/tool_bar.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/video_preview.h"
#include "filters/superposer.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/capture_form.h"
#include "ui/options_frame.h"
#include "ui/panel_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"
#include "ui/ui_text_ids.h"

namespace ui {

namespace {

constexpr int kClientWidth = 700;
constexpr int kClientHeight = 459;
// The frame that shows around the picture, in the window and in full screen.
constexpr int kFrame = 12;
// A status panel's width at 96 dots per inch, and the room its text keeps from its edges.
constexpr int kStatusPanelWidth = 175;
constexpr int kStatusTextMargin = 4;

// Text's width in Font as the status bar draws it (narrow text).
int NarrowTextWidth(classlib::TFont* Font, const std::wstring& Text) {
    const std::string narrow = classlib::WideToAnsi(Text);
    classlib::TWindowDC screen(nullptr);
    classlib::TSelectedObject font(screen.Get(), Font->Handle());
    SIZE size{};
    GetTextExtentPoint32A(screen.Get(), narrow.data(), static_cast<int>(narrow.size()), &size);
    return size.cx;
}

// Takes Excess off Width, from each panel in proportion to what it has above its Floor, with
// cumulative rounding so that exactly the excess goes.
void GiveUp(std::vector<int>& Width, const std::vector<int>& Floor, long long Excess) {
    long long spare = 0;
    for (size_t i = 0; i < Width.size(); ++i) spare += Width[i] - Floor[i];
    if (spare <= 0) return;
    long long given = 0, seen = 0;
    for (size_t i = 0; i < Width.size(); ++i) {
        seen += Width[i] - Floor[i];
        const long long upTo = Excess * seen / spare;
        Width[i] -= static_cast<int>(upTo - given);
        given = upTo;
    }
}

// Widths within Room for panels whose texts need Least each to show whole and Need to show at
// ease: the preferred width each, or more where a text needs it. Where that is more than the room,
// the panels give up first their width to spare, then their ease, each in proportion; where even
// the texts are more (a source told by its long name), the shorter ones keep theirs and the
// longest takes what they leave, cut at its end rather than every text cut. Panel Yield (when not
// -1) gives way before any other: a sentence fitted to the room the others leave.
std::vector<int> ShareStatusRoom(const std::vector<int>& Least, const std::vector<int>& Need, int Preferred, int Room,
                                 int Yield = -1) {
    std::vector<int> width(Need.size());
    long long total = 0, slack = 0, least = 0;
    for (size_t i = 0; i < Need.size(); ++i) {
        width[i] = std::max(Preferred, Need[i]);
        total += width[i];
        slack += width[i] - Need[i];
        least += Least[i];
    }
    if (total <= Room) return width;
    if (slack >= total - Room) {
        GiveUp(width, Need, total - Room);
        return width;
    }
    width = Need;
    if (least <= Room) {
        GiveUp(width, Least, total - slack - Room);
        return width;
    }
    std::vector<size_t> order(Need.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return Least[a] < Least[b]; });
    if (Yield >= 0)
        std::stable_partition(order.begin(), order.end(), [&](size_t i) { return i != static_cast<size_t>(Yield); });
    long long left = Room;
    for (size_t i : order) {
        width[i] = static_cast<int>(std::max(0LL, std::min<long long>(Least[i], left)));
        left -= width[i];
    }
    return width;
}

// Sets a radio group's item from code without running its click handling.
void ShowIndex(classlib::TRadioGroup* Group, int Index) {
    classlib::TNotifyEvent saved = std::move(Group->OnClick);
    Group->OnClick = nullptr;
    Group->SetItemIndex(Index >= 0 && Index < Group->Items()->Count() ? Index : -1);
    Group->OnClick = std::move(saved);
}

template <typename T>
T* FindForm() {
    if (!classlib::ApplicationExists()) return nullptr;
    classlib::TScreen* screen = classlib::Screen();
    for (int i = 0; i < screen->FormCount(); ++i)
        if (auto* form = dynamic_cast<T*>(screen->Forms(i))) return form;
    return nullptr;
}

// A tool bar as wide as its buttons: wider, its empty end would lie over the other bar and take
// its clicks and hints.
void FitToButtons(classlib::TToolBar* Bar) {
    // The buttons' places are the bar window's.
    Bar->HandleNeeded();
    int right = 0;
    for (int i = 0; i < Bar->ButtonCount(); ++i)
        if (const classlib::TToolButton* button = Bar->Buttons(i); button->Visible())
            right = std::max(right, button->Left() + button->Width());
    if (right > 0) Bar->SetWidth(right + Bar->Width() - Bar->ClientWidth());
}

void SendOverlayRecord(const settings::TincrustRec& Record) {
    settings::ParamIncrustRec->SetValue(Record);
    engine::Tdm* module = engine::dm();
    if (module != nullptr && module->Superposer != nullptr) module->Superposer->SetIncrustRec(Record);
}

}  // namespace

Tplaque* TCaptureForm::Backdrop() const { return FindForm<Tplaque>(); }
TRaccourcisForm* TCaptureForm::ShortcutsWindow() const { return FindForm<TRaccourcisForm>(); }

void TCaptureForm::LayoutPanels() {
    const bool videoLeft = settings::ParamEcranGauche != nullptr && settings::ParamEcranGauche->Value();
    PanelColumnX = videoLeft ? 427 : 0;
    VideoColumnX = videoLeft ? 0 : 266;
    const int v = VideoColumnX;
    Panel1->SetLeft(v + 10);
    sbCouper->SetLeft(v + 24);
    CaptureBtn->SetLeft(v + 64);
    labVolume->SetLeft(v + 156);
    tb->SetLeft(v + 206);
    gaugeVolume->SetLeft(v + 296);
    // Clear of the volume gauge when the gauge is wider than the column leaves it.
    grabBtn->SetLeft(std::max(v + 304, gaugeVolume->Left() + gaugeVolume->Width() + 4));
    FitToButtons(tbActions);
    FitToButtons(tbPanneaux);
    // Against the window's right edge when the panels are at the left (its inside, so that the
    // last button is not cut by the border).
    tbActions->SetLeft(v == 0 ? 16 : ClientWidth() - tbActions->Width());
    for (std::uint8_t n = 0; n <= 8; ++n)
        if (TPanelFrame* frame = PanelFrame(n)) frame->SetLeft(PanelColumnX);
    tbPanneaux->SetLeft(PanelColumnX + 8);
}

void TCaptureForm::DefaultDisplayRatio() {
    engine::Native.SourceAspectX = SixteenNineFlag ? 16 : 4;
    engine::Native.SourceAspectY = SixteenNineFlag ? 9 : 3;
}

void TCaptureForm::ApplyAspectRatio() {
    engine::Tdm* module = engine::dm();
    if (module == nullptr || module->CurrentVideoSource == nullptr) return;
    int aspect = settings::ParamAspectRatio != nullptr ? settings::ParamAspectRatio->Value() : 0;
    // A stored value this program does not know shows the source as it is.
    if (aspect > 3) aspect = 0;
    ShowIndex(OptionsFrame->rgRatioDivX, aspect);
    long ratioW = 4;
    long ratioH = 3;
    switch (aspect) {
        case 1: break;
        case 2: ratioW = 16; ratioH = 9; break;
        case 3: ratioW = engine::Native.SourceWidth; ratioH = engine::Native.SourceHeight; break;
        default:
            if (module->CurrentVideoSource->SceneFilter != nullptr) DefaultDisplayRatio();
            if (engine::Native.SourceAspectX > 0 && engine::Native.SourceAspectY > 0) {
                ratioW = engine::Native.SourceAspectX;
                ratioH = engine::Native.SourceAspectY;
            } else {
                ratioW = engine::Native.SourceWidth;
                ratioH = engine::Native.SourceHeight;
            }
    }
    if (ratioW <= 0 || ratioH <= 0) {
        ratioW = 4;
        ratioH = 3;
    }
    LayoutVideoWindow(static_cast<int>(ratioW), static_cast<int>(ratioH));
    // Ratios from 14:9 up count as 16:9.
    ShowIndex(OptionsFrame->rgDVRatio, 9LL * ratioW < 14LL * ratioH ? 0 : 1);
}

void TCaptureForm::LayoutVideoWindow(int RatioW, int RatioH) {
    Tplaque* backdrop = Backdrop();
    if (backdrop == nullptr || !backdrop->Visible()) {
        const RECT r = settings::FitRectToRatio(RatioW, RatioH, Panel2->BoundsRect());
        const int l = r.left, t = r.top, w = r.right - r.left, h = r.bottom - r.top;
        vwEcran->SetBounds(l, t, w, h);
        Shape2->SetBounds(l - kFrame, t - kFrame, w + 2 * kFrame, h + 2 * kFrame);
        Yslider->SetBounds(l + w - 6, t - 8, Yslider->Width(), h + 16);
        Xslider->SetBounds(l - 8, t + h - 6, w + 16, Xslider->Height());
        // From the sliders' crossing to the frame's outline, which it leaves whole.
        Shape1->SetBounds(Yslider->Left(), Xslider->Top(), l + w + kFrame - 1 - Yslider->Left(),
                          t + h + kFrame - 1 - Xslider->Top());
        return;
    }
    const RECT screen{kFrame, kFrame, GetSystemMetrics(SM_CXSCREEN) - kFrame, GetSystemMetrics(SM_CYSCREEN) - kFrame};
    const RECT r = settings::FitRectToRatio(RatioW, RatioH, screen);
    vwEcran->FullScreenOnRect(r);
    backdrop->Shape1->SetBounds(r.left - kFrame, r.top - kFrame, r.right - r.left + 2 * kFrame,
                                r.bottom - r.top + 2 * kFrame);
}

void TCaptureForm::WMDVRatioChanged(classlib::TMessage& Message) {
    if (Message.WParam != 1) return;
    engine::Tdm* module = engine::dm();
    const engine::TVideoSource* source = module != nullptr ? module->CurrentVideoSource : nullptr;
    if (source != nullptr && source->SceneFilter == nullptr) return;
    SixteenNineFlag = Message.LParam == 1;
    ApplyAspectRatio();
}

void TCaptureForm::tafullscreenfalseExecute(classlib::TObject* /*Sender*/) {
    tafullscreen->SetChecked(true);
    engine::Tdm* module = engine::dm();
    Tplaque* backdrop = Backdrop();
    if (module == nullptr || module->CurrentVideoSource == nullptr || backdrop == nullptr) return;
    backdrop->SetWindowState(classlib::TWindowState::wsMaximized);
    backdrop->Show();
    ApplyAspectRatio();
}

void TCaptureForm::tafullscreenTrueExecute(classlib::TObject* /*Sender*/) {
    tafullscreen->SetChecked(false);
    vwEcran->SetFullScreen(false);
    if (Tplaque* backdrop = Backdrop()) {
        const bool hadKeys = backdrop->HandleAllocated() && GetActiveWindow() == backdrop->WindowHandle();
        backdrop->Hide();
        // The keys come back to the main window, not to whichever window was behind the backdrop
        // (where the shortcuts, Alt+Enter among them, would not reach it).
        if (hadKeys && HandleAllocated()) SetForegroundWindow(Handle());
    }
    ApplyAspectRatio();
}

void TCaptureForm::saExitFullScreenexecute(classlib::TObject* /*Sender*/) {
    if (tafullscreen->Checked()) tafullscreen->Execute();
}

void TCaptureForm::acReduireExecute(classlib::TObject* /*Sender*/) {
    // The action checks itself before this runs, from every entry: the state here is the new one.
    if (acReduire->Checked()) {
        Panel1->SetBounds(0, 0, Panel1->Width(), Panel1->Height());
        SetClientWidth(Panel1->Width());
        SetClientHeight(Panel1->Height());
        acReduire->SetCaption(L"Restore");
        Panel1->BringToFront();
        SetCaption(SourcesFrame->cboxvideo->Text());
        return;
    }
    // The window gets its size back first: the tool bar is placed against its right edge.
    SetClientWidth(kClientWidth);
    SetClientHeight(kClientHeight);
    LayoutPanels();
    const bool wide = settings::ParamWideScreen != nullptr && settings::ParamWideScreen->Value();
    Panel1->SetBounds(VideoColumnX + 10, wide ? 76 : 40, Panel1->Width(), Panel1->Height());
    acReduire->SetCaption(L"Reduce");
    // The same title as at the first showing.
    SetCaption(classlib::Format(settings::LoadProgramText(IDS_UI_CAPTION_FORMAT),
                                {settings::ProgramTitle(), settings::LoadProgramText(IDS_UI_MAKER)}));
}

void TCaptureForm::acSlidersExecute(classlib::TObject* /*Sender*/) {
    const bool visible = !Xslider->Visible();
    Xslider->SetVisible(visible);
    Yslider->SetVisible(visible);
    if (visible && !taIncruster->Checked()) taIncruster->Execute();
    acSliders->SetCaption(visible ? L"Hide the sliders of inlay" : L"Show the sliders of inlay");
}

int TCaptureForm::StatusTextWidth(const std::wstring& Text) {
    return NarrowTextWidth(StatusBar1->Font(), Text);
}

int TCaptureForm::StatusAlertRoom() {
    // Each panel's text needs the panel's frame and the inset of a text that fills it (as below);
    // the alert is drawn 3 pixels after the main text.
    const int frame = 2 + 2 * kStatusTextInset;
    const int others = StatusTextWidth(StatusIntervalText) + StatusTextWidth(StatusSourcesText) +
                       StatusTextWidth(StatusInfoText) + 3 * frame;
    return std::max(StatusBar1->ClientWidth(), 1) - others - frame - 3 - StatusTextWidth(StatusMainText);
}

void TCaptureForm::FitStatusPanels() {
    if (StatusBar1 == nullptr || StatusBar1->Panels()->Count() != 4) return;
    const int dpi = classlib::ScreenPixelsPerInch();
    const int margin = 2 * MulDiv(kStatusTextMargin, dpi, 96);
    classlib::TFont* font = StatusBar1->Font();
    const std::wstring main = StatusAlertText.empty() ? StatusMainText : StatusMainText + StatusAlertText;
    std::vector<int> least = {NarrowTextWidth(font, StatusIntervalText), NarrowTextWidth(font, main),
                              NarrowTextWidth(font, StatusSourcesText), NarrowTextWidth(font, StatusInfoText)};
    // The alert text is drawn 3 pixels after the main text.
    if (!StatusAlertText.empty()) least[1] += 3;
    std::vector<int> need(least.size());
    for (size_t i = 0; i < least.size(); ++i) {
        // Needs in steps of 8 pixels: a running duration's digits do not move the panels' edges each
        // second.
        need[i] = (least[i] + margin + 7) / 8 * 8;
        // A whole text needs the panel's frame and the inset of a text that fills its panel.
        least[i] += 2 + 2 * kStatusTextInset;
    }
    // What was taken instead, told in the second panel, is fitted to the room the other panels'
    // texts leave (see ShowTakenInstead): where it cannot be, it gives way and they show whole.
    const bool told = TakenInsteadShown();
    const std::vector<int> width = ShareStatusRoom(least, need, MulDiv(kStatusPanelWidth, dpi, 96),
                                                   std::max(StatusBar1->ClientWidth(), 1), told ? 1 : -1);
    classlib::TStatusPanels* panels = StatusBar1->Panels();
    bool changed = false;
    for (int i = 0; i < 4; ++i) changed = changed || panels->Items(i)->Width() != width[static_cast<size_t>(i)];
    if (!changed) return;
    // Within one update: its end sets the bar's parts anew, which a single panel's change does not.
    panels->BeginUpdate();
    for (int i = 0; i < 4; ++i) panels->Items(i)->SetWidth(width[static_cast<size_t>(i)]);
    panels->EndUpdate();
}

void TCaptureForm::XsliderChange(classlib::TObject* /*Sender*/) {
    if (settings::ParamIncrustRec == nullptr) return;
    settings::TincrustRec record = settings::ParamIncrustRec->Value();
    // A subtitle stays centred in the picture whatever the slider says: it becomes two centred
    // lines that the slider can move.
    if (record.Alignement == 3) record.Alignement = 1;
    record.Xpos = Xslider->Value();
    SendOverlayRecord(record);
}

void TCaptureForm::YsliderChange(classlib::TObject* /*Sender*/) {
    if (settings::ParamIncrustRec == nullptr) return;
    settings::TincrustRec record = settings::ParamIncrustRec->Value();
    // The slider runs upwards.
    record.Ypos = Yslider->MaxValue() - Yslider->Value();
    SendOverlayRecord(record);
}

}  // namespace ui
