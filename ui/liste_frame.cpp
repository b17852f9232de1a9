#include "ui/liste_frame.h"

#include <algorithm>
#include <cmath>

#include "dshow/ds_functions.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/form_parts.h"
#include "ui/info_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/custom/cpu_usage.h"
#include "widgets/kit/path_edit.h"

namespace ui {

namespace {

using widgets::custom::TGaugeBorderStyle;
using widgets::custom::TGaugeKind;
using widgets::custom::TTextGauge;
using widgets::custom::TTextKind;

TTextGauge* MakeGauge(TListeFrame* Frame, classlib::TWinControl* Parent, const wchar_t* Name, int Left, int Top,
                      int Size) {
    auto* gauge = Place<TTextGauge>(Frame, Parent, Name, Left, Top, Size, Size);
    gauge->SetGaugeKind(TGaugeKind::gkPie);
    gauge->SetBorderStyle(TGaugeBorderStyle::bsNone);
    gauge->SetShowHint(true);
    return gauge;
}

// The gauge of a drive: its size as the maximum, its used megabytes as the progress.
void ShowDrive(TTextGauge* Gauge, const std::wstring& Path) {
    if (Path.empty()) return;
    const int total = dshow::DiskTotalMB(Path);
    if (total > Gauge->MinValue() && total != Gauge->MaxValue()) Gauge->SetMaxValue(total);
    Gauge->SetProgress(dshow::DiskUsedMB(Path));
}

}  // namespace

std::wstring PelorinProgram() {
    if (settings::ParamPelorin == nullptr) return std::wstring();
    // Read as the file-name edit reads its text: a path that an earlier build stored in the
    // quotes its edit shows is found too.
    const std::wstring path = widgets::kit::FileNameOfText(settings::ParamPelorin->Value());
    return !path.empty() && unicode::WideFileExists(path) ? path : std::wstring();
}

std::wstring PelorinClipParameters(widgets::custom::TFichierListBox* List) {
    std::wstring parameters;
    for (int i = 0; i < List->FichierCount(); ++i) {
        const std::wstring& path = List->Fichier(i)->Path();
        if (unicode::WideFileExists(path)) parameters += L" \"" + path + L"\"";
    }
    return parameters;
}

TListeFrame::TListeFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    using namespace widgets;
    SetName(L"ListeFrame");
    SetBounds(PanelColumnX, kPanelTop, 274, 400);
    Label1 = Place<TUcLabel>(this, this, L"Label1", 8, 4, 250, 13);
    Label1->SetCaption(L"Files saved during the session:");
    fl = Place<custom::TFichierListBox>(this, this, L"fl", 8, 20, 258, 190);
    fl->SetMultiSelect(true);
    fl->SetHint(L"List of files saved during the current session.");
    fl->SetShowHint(true);
    fl->SetAcceptFiles(false);
    fl->SetKeyDelete(false);
    fl->SetSelectionnerOuverts(false);
    fl->OnCountsChange = [this](int selCount, int count) { flCountsChange(selCount, count); };
    fl->OnDblClick = [this](classlib::TObject* Sender) { flDblClick(Sender); };
    // Tall enough for a line at 120 dots per inch; empty until the list has files.
    labselect = Place<TUcLabel>(this, this, L"labselect", 8, 214, 258, 16);
    labselect->SetAutoSize(false);
    labselect->SetCaption(L"");
    labselect->SetAlignment(classlib::TAlignment::taCenter);

    Label4 = Place<TUcLabel>(this, this, L"Label4", 8, 240, 160, 13);
    Label4->SetCaption(L"Use of the most busy CPU:");
    tgCPU = MakeGauge(this, this, L"tgCPU", 180, 232, 60);
    tgCPU->SetTextKind(TTextKind::tkPercentDone);
    tgCPU->SetAlertValue(80);
    tgCPU->SetHint("Use of the most loaded CPU. \r\nIt is recommended to stay below 80%");

    GroupBox1 = Place<TUcGroupBox>(this, this, L"GroupBox1", 8, 298, 258, 98);
    GroupBox1->SetCaption(L"Free space");
    Label2 = Place<TUcLabel>(this, GroupBox1, L"Label2", 12, 20, 60, 13);
    Label2->SetCaption(L"Videos:");
    Label3 = Place<TUcLabel>(this, GroupBox1, L"Label3", 136, 20, 60, 13);
    Label3->SetCaption(L"Images:");
    tgVideo = MakeGauge(this, GroupBox1, L"tgVideo", 60, 22, 64);
    tgImage = MakeGauge(this, GroupBox1, L"tgImage", 186, 22, 64);
    for (TTextGauge* gauge : {tgVideo, tgImage}) {
        gauge->SetCaption("%d Mb");
        gauge->SetTextKind(TTextKind::tkValueRemaining);
    }
    tgVideo->SetAlertValue(500);
    tgVideo->SetHint("Free space on the drive where the videos are saved.");
    tgImage->SetAlertValue(100);
    tgImage->SetHint("Free space on the drive where the images are saved.");

    pmListe = Make<TUcPopupMenu>(this, L"pmListe");
    auto item = [this](TUcMenuItem* parent, const wchar_t* name, const wchar_t* caption,
                       void (TListeFrame::*handler)(classlib::TObject*)) {
        auto* menuItem = Make<TUcMenuItem>(this, name);
        menuItem->SetCaption(caption);
        if (handler != nullptr) menuItem->OnClick = [this, handler](classlib::TObject* Sender) { (this->*handler)(Sender); };
        if (parent != nullptr)
            parent->Add(menuItem);
        else
            pmListe->Items()->Add(menuItem);
        return menuItem;
    };
    Trier1 = item(nullptr, L"Trier1", L"Sort", nullptr);
    Ordrealphabtique1 = item(Trier1, L"Ordrealphabtique1", L"Alphabetical order", &TListeFrame::SortClick);
    Taille1 = item(Trier1, L"Taille1", L"size", &TListeFrame::SortClick);
    Date1 = item(Trier1, L"Date1", L"Date", &TListeFrame::SortClick);
    Extension1 = item(Trier1, L"Extension1", L"extension", &TListeFrame::SortClick);
    ParentFolder1 = item(nullptr, L"ParentFolder1", L"Parent folder", &TListeFrame::ParentFolder1Click);
    Ouvrirdanslapplicationassocie1 = item(nullptr, L"Ouvrirdanslapplicationassocie1",
                                          L"Open in the associated application",
                                          &TListeFrame::Ouvrirdanslapplicationassocie1Click);
    OuvrirdansPelorin1 = item(nullptr, L"OuvrirdansPelorin1", L"Open in Pelorin", &TListeFrame::OuvrirdansPelorin1Click);
    fl->SetPopupMenu(pmListe);

    KitTimerList1 = Make<kit::TKitTimerList>(this, L"KitTimerList1");
    KitTimerList1->Add([this](classlib::TObject* Sender) { CPUTimer(Sender); }, 500, true);
    KitTimerList1->Add([this](classlib::TObject* Sender) { FreeSpaceTimer(Sender); }, 2000, true);
    KitTimerList1->SetActive(true);
    // The window was made by the panel's base, under the base's class name: made again under this
    // panel's own, so that the panel is known by it from outside.
    if (HandleAllocated()) RecreateWnd();
}

void TListeFrame::ShowFrame() {
    flCountsChange(0, fl->FichierCount());
    TPanelFrame::ShowFrame();
}

void TListeFrame::SetVideoDrive(const std::wstring& Path) { videoDrive_ = Path; }
void TListeFrame::SetImageDrive(const std::wstring& Path) { imageDrive_ = Path; }

void TListeFrame::RefreshGauges() {
    CPUTimer(this);
    FreeSpaceTimer(this);
}

void TListeFrame::CPUTimer(classlib::TObject* /*Sender*/) {
    try {
        widgets::custom::CollectCPUData();
        tgCPU->SetProgress(
            widgets::custom::BusiestProcessorLoad(widgets::custom::GetCPUCount(), &widgets::custom::GetCPUUsage));
    } catch (...) {
        // A system without readable performance data shows no load.
        tgCPU->SetProgress(0);
    }
}

void TListeFrame::FreeSpaceTimer(classlib::TObject* /*Sender*/) {
    // The folders as set now; before the settings exist, the drives given at the first showing.
    const bool known = settings::ParamVideoDirectory != nullptr && settings::ParamImageDirectory != nullptr;
    try {
        ShowDrive(tgVideo, known ? settings::ParamVideoDirectory->Value() : videoDrive_);
        ShowDrive(tgImage, known ? settings::ParamImageDirectory->Value() : imageDrive_);
    } catch (...) {
        // A drive that cannot be measured keeps its gauge as it was.
    }
}

void TListeFrame::flCountsChange(int /*SelCount*/, int Count) {
    labselect->SetCaption(std::to_wstring(Count) + settings::LoadProgramText(IDS_LIST_SORTED) + fl->SortIndex().Phrase);
}

void TListeFrame::flDblClick(classlib::TObject* Sender) { Ouvrirdanslapplicationassocie1Click(Sender); }

void TListeFrame::SortClick(classlib::TObject* Sender) {
    using namespace widgets::custom;
    if (Sender == Ordrealphabtique1)
        fl->SetSortIndex(SortAlpha());
    else if (Sender == Taille1)
        fl->SetSortIndex(SortSize());
    else if (Sender == Date1)
        fl->SetSortIndex(SortDate());
    else if (Sender == Extension1)
        fl->SetSortIndex(SortExtension());
    flCountsChange(0, fl->FichierCount());
}

void TListeFrame::ParentFolder1Click(classlib::TObject* /*Sender*/) {
    if (auto* entry = fl->FocusedFichier()) settings::ShowInExplorer(settings::ApplicationWindow(), entry->Path());
}

void TListeFrame::Ouvrirdanslapplicationassocie1Click(classlib::TObject* /*Sender*/) {
    if (auto* entry = fl->FocusedFichier()) settings::ShellOpen(entry->Path());
}

void TListeFrame::OuvrirdansPelorin1Click(classlib::TObject* /*Sender*/) {
    auto* entry = fl->FocusedFichier();
    if (entry == nullptr) return;
    const std::wstring program = PelorinProgram();
    if (!program.empty()) settings::ShellOpenWith(program, L"+F=\"" + entry->Path() + L"\"");
}

void TListeFrame::AddFile(const std::wstring& Path) {
    fl->AddFichier(widgets::custom::TSRFichier::CreateFromFile(Path), false);
}

int TListeFrame::IndexOfFile(const std::wstring& Path) {
    for (int i = 0; i < fl->FichierCount(); ++i)
        if (CompareStringOrdinal(fl->Fichier(i)->Path().c_str(), -1, Path.c_str(), -1, TRUE) == CSTR_EQUAL) return i;
    return -1;
}

void TListeFrame::RefreshFile(const std::wstring& Path) {
    const int i = IndexOfFile(Path);
    if (i < 0) return;
    // Taken off and added again: the sort keys (size, date) change with the file.
    const bool selected = fl->Selected(i);
    fl->RemoveFichier(i);
    if (unicode::WideFileExists(Path)) fl->AddFichier(widgets::custom::TSRFichier::CreateFromFile(Path), selected);
}

void TListeFrame::RemoveFile(const std::wstring& Path) {
    const int i = IndexOfFile(Path);
    if (i >= 0) fl->RemoveFichier(i);
}

}  // namespace ui
