// The clip list panel (panel 6): the files written in this run (recordings and pictures), sorted,
// opened, shown in their folder or handed to the maker's clip browser Pelorin; and three gauges,
// the load of the busiest processor and the used space of the drives of the video and picture
// folders.
#pragma once

#include <string>

#include "ui/panel_frame.h"
#include "widgets/custom/clip_list_box.h"
#include "widgets/custom/cpu_usage.h"
#include "widgets/custom/text_gauge.h"
#include "widgets/kit/kit_timer_list.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"

namespace ui {

class TListeFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TListeFrame)
    explicit TListeFrame(classlib::TComponent* AOwner);

    widgets::TUcLabel* Label1 = nullptr;
    widgets::custom::TFichierListBox* fl = nullptr;
    widgets::TUcLabel* labselect = nullptr;
    widgets::TUcLabel* Label4 = nullptr;
    widgets::custom::TTextGauge* tgCPU = nullptr;
    widgets::TUcGroupBox* GroupBox1 = nullptr;
    widgets::TUcLabel* Label2 = nullptr;
    widgets::TUcLabel* Label3 = nullptr;
    widgets::custom::TTextGauge* tgVideo = nullptr;
    widgets::custom::TTextGauge* tgImage = nullptr;

    widgets::TUcPopupMenu* pmListe = nullptr;
    widgets::TUcMenuItem* Trier1 = nullptr;
    widgets::TUcMenuItem* Ordrealphabtique1 = nullptr;
    widgets::TUcMenuItem* Taille1 = nullptr;
    widgets::TUcMenuItem* Date1 = nullptr;
    widgets::TUcMenuItem* Extension1 = nullptr;
    widgets::TUcMenuItem* ParentFolder1 = nullptr;
    widgets::TUcMenuItem* Ouvrirdanslapplicationassocie1 = nullptr;
    widgets::TUcMenuItem* OuvrirdansPelorin1 = nullptr;

    // The CPU gauge every 500 ms, the free-space gauges every 2000 ms.
    widgets::kit::TKitTimerList* KitTimerList1 = nullptr;

    // Tells the counts first, then shows the panel in the column.
    void ShowFrame() override;

    // The drives the free-space gauges measure: those of these folders (or files).
    void SetVideoDrive(const std::wstring& Path);
    void SetImageDrive(const std::wstring& Path);
    // A new sample for each gauge at once (the timers do it on their own).
    void RefreshGauges();
    void CPUTimer(classlib::TObject* Sender);
    void FreeSpaceTimer(classlib::TObject* Sender);

    void flCountsChange(int SelCount, int Count);
    void flDblClick(classlib::TObject* Sender);
    void SortClick(classlib::TObject* Sender);
    void ParentFolder1Click(classlib::TObject* Sender);
    void Ouvrirdanslapplicationassocie1Click(classlib::TObject* Sender);
    void OuvrirdansPelorin1Click(classlib::TObject* Sender);

    // Adds a file written in this run (a recording or a picture).
    void AddFile(const std::wstring& Path);
    // A listed file that has changed since it was added (a recording closed): its entry made
    // again from the file as it is now, keeping its selection, or taken off when the file is gone.
    // A file not listed stays off the list.
    void RefreshFile(const std::wstring& Path);
    // A listed file's entry taken off (a file that holds nothing of this program's).
    void RemoveFile(const std::wstring& Path);

private:
    // The index of Path's entry (the case of the letters aside, as file names go), -1 when it is
    // not listed.
    int IndexOfFile(const std::wstring& Path);
    std::wstring videoDrive_;
    std::wstring imageDrive_;
};

// The clip browser's path (the setting "Pelorin") when it names an existing file; empty otherwise.
std::wstring PelorinProgram();
// The clip browser's parameters for every listed clip that still exists: a blank, then the path in
// double quotes, for each, in list order.
std::wstring PelorinClipParameters(widgets::custom::TFichierListBox* List);
using widgets::custom::BusiestProcessorLoad;

}  // namespace ui
