#include "ui/extraire_frame.h"

#include "settings/settings_catalogue.h"
#include "ui/form_parts.h"

namespace ui {

namespace {

// The thumbnail area of the grab panel.
constexpr int kThumbLeft = 32;
constexpr int kThumbWidth = 192;
constexpr int kThumbHeight = 144;
constexpr int kThumbBottom = 163;

}  // namespace

TGrabbedFit FitGrabbedImage(int Width, int Height, int RatioW, int RatioH) {
    TGrabbedFit fit;
    long long w = Width;
    long long h = Height;
    if (RatioW > 0 && RatioH > 0) {
        if (static_cast<long long>(RatioW) * h > w * RatioH)
            h = w * RatioH / RatioW;
        else if (static_cast<long long>(RatioW) * h < w * RatioH)
            w = static_cast<long long>(RatioW) * h / RatioH;
    }
    fit.Width = static_cast<int>(w);
    fit.Height = static_cast<int>(h);
    if (w <= 0 || h <= 0) return fit;
    long long boxW = kThumbWidth;
    long long boxH = kThumbHeight;
    if (h * kThumbWidth > w * kThumbHeight)
        boxW = w * kThumbHeight / h;  // taller than 4:3
    else
        boxH = h * kThumbWidth / w;
    const long long left = kThumbLeft + (kThumbWidth - boxW) / 2;
    fit.Thumbnail = RECT{static_cast<LONG>(left), static_cast<LONG>(kThumbBottom - boxH), static_cast<LONG>(left + boxW),
                         kThumbBottom};
    return fit;
}

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
    chronoLab->SetCaption("");
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

namespace ui {

void TExtraireFrame::ShowGrabbedImage(int RatioW, int RatioH) {
    const TGrabbedFit fit = FitGrabbedImage(DisplayPicture.Width(), DisplayPicture.Height(), RatioW, RatioH);
    // A picture without area has nothing to show (the snapshot handling never passes one).
    if (fit.Width <= 0 || fit.Height <= 0 || DisplayPicture.Bitmap() == nullptr) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = fit.Width;
    info.bmiHeader.biHeight = fit.Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP saved = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (saved != nullptr) {
        HDC target = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(target, saved);
        DisplayPicture.Draw(target, RECT{0, 0, fit.Width, fit.Height}, false);
        SelectObject(target, old);
        DeleteDC(target);
    }
    ReleaseDC(nullptr, screen);
    if (saved == nullptr) return;
    SavedPicture.SetBitmap(saved);
    Image->Picture()->Assign(&SavedPicture);
    const RECT& box = fit.Thumbnail;
    Image->SetBounds(box.left, box.top, box.right - box.left, box.bottom - box.top);
    Bevel3->SetBounds(box.left, box.top, box.right - box.left, box.bottom - box.top);
}

}  // namespace ui
