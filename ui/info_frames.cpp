#include "ui/info_frames.h"

#include "ui/form_parts.h"

namespace ui {

TListeFrame::TListeFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"ListeFrame");
    SetBounds(PanelColumnX, kPanelTop, 274, 400);
    Label1 = Place<widgets::TUcLabel>(this, this, L"Label1", 8, 8, 250, 13);
    Label1->SetCaption(L"Files saved during the session:");
    fl = Place<widgets::custom::TFichierListBox>(this, this, L"fl", 8, 24, 258, 172);
    fl->SetMultiSelect(true);
    fl->SetHint(L"List of files saved during the current session.");
    fl->SetAcceptFiles(false);
    fl->SetKeyDelete(false);
    fl->SetSelectionnerOuverts(false);
    labselect = Place<widgets::TUcLabel>(this, this, L"labselect", 8, 200, 258, 13);
    labselect->SetAlignment(classlib::TAlignment::taCenter);
    labselect->SetAutoSize(false);
    auto gauge = [this](const wchar_t* name, int left, int top) {
        auto* g = Place<widgets::custom::TTextGauge>(this, this, name, left, top, 70, 70);
        g->SetGaugeKind(widgets::custom::TGaugeKind::gkPie);
        g->SetBorderStyle(widgets::custom::TGaugeBorderStyle::bsNone);
        return g;
    };
    tgCPU = gauge(L"tgCPU", 8, 240);
    tgCPU->SetTextKind(widgets::custom::TTextKind::tkPercentDone);
    tgCPU->SetAlertValue(80);
    tgVideo = gauge(L"tgVideo", 100, 320);
    tgVideo->SetTextKind(widgets::custom::TTextKind::tkValueRemaining);
    tgVideo->SetCaption("%d Mb");
    tgVideo->SetAlertValue(500);
    tgImage = gauge(L"tgImage", 190, 320);
    tgImage->SetTextKind(widgets::custom::TTextKind::tkValueRemaining);
    tgImage->SetCaption("%d Mb");
    tgImage->SetAlertValue(100);
}

THelpFrame::THelpFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"HelpFrame1");
    using namespace widgets;
    PageControl1 = Place<TUcPageControl>(this, this, L"PageControl1", 0, 0, kPanelWidth, kPanelHeight);
    auto tab = [this](const wchar_t* name, const wchar_t* caption) {
        return AddPage<TUcTabSheet>(this, PageControl1, name, caption);
    };
    tsAide = tab(L"tsAide", L"Help");
    tsSystem = tab(L"tsSystem", L"System");
    tsSources = tab(L"tsSources", L"Sources");
    tsFiltres = tab(L"tsFiltres", L"Filters");
    Memo1 = Place<TUcMemo>(this, tsSources, L"Memo1", 4, 4, kPanelWidth - 16, 60);
    Memo1->SetReadOnly(true);
    Memo1->SetAlignment(classlib::TAlignment::taCenter);
    for (const wchar_t* line : {L"", L"Uncheck the video or audio sources that ", L"you want to exclude from the lists of ",
                                L"Quillotrane"})
        Memo1->Lines()->Add(line);
    clSources = Place<TUcCheckListBox>(this, tsSources, L"clSources", 4, 70, kPanelWidth - 16, kPanelHeight - 100);
    clSources->SetSorted(true);
    reSystem = Place<TUcRichEdit>(this, tsSystem, L"reSystem", 0, 0, kPanelWidth - 8, kPanelHeight - 28);
    reSystem->SetReadOnly(true);
    reSystem->Font()->SetName("Arial");
    PageControl1->SetActivePage(tsAide);
}

TAproposFrame::TAproposFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"AproposFrame1");
    SetBounds(PanelColumnX, kPanelTop, 274, 400);
    HxLabel1 = Place<hover::THxLabel>(this, this, L"HxLabel1", 8, 8, 258, 24);
    HxLabel1->Font()->SetName("Arial");
    HxLabel1->Font()->SetHeight(-16);
    HxLabel1->Font()->SetStyle({classlib::fsBold});
    HxLabel1->Font()->SetColor(classlib::clMaroon);
}

}  // namespace ui
