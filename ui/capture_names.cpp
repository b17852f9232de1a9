// The names of the next recording and the next picture, built in advance from the folders panel:
// folder, stem (one file-name part), the run's date stamp and a counter; and the folders panel's
// handlers that rebuild a name when one of its parts changes.
#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "dshow/ds_functions.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/recording_files.h"
#include "ui/sources_frame.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

// A control's text as wide text, whichever kind of edit holds it.
template <typename Control>
std::wstring WideTextOf(Control* Edit) {
    if constexpr (std::is_base_of_v<widgets::kit::TFileDirEdit, Control>) {
        return Edit->WideText();  // the wide path it was given, while it still shows it
    } else {
        auto text = Edit->Text();
        if constexpr (std::is_same_v<decltype(text), std::wstring>)
            return text;
        else
            return classlib::AnsiToWide(text);
    }
}

std::wstring WithBackslash(std::wstring Folder) {
    if (Folder.empty() || Folder.back() != L'\\') Folder += L'\\';
    return Folder;
}

// Last two decimal digits with a leading zero.
std::wstring TwoDigits(int Value) {
    const std::wstring text = L"00" + std::to_wstring(Value);
    return text.substr(text.size() - 2);
}

// "ddmmyy_hhnnss_" of the run's start.
std::wstring DateStamp(double When) {
    WORD year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    classlib::DecodeDate(When, year, month, day);
    classlib::DecodeTime(When, hour, minute, second, ms);
    return TwoDigits(day) + TwoDigits(month) + TwoDigits(year) + L"_" + TwoDigits(hour) + TwoDigits(minute) +
           TwoDigits(second) + L"_";
}

std::wstring FilePart(const std::wstring& Name) {
    const std::size_t slash = Name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? Name : Name.substr(slash + 1);
}

// A free-space gauge of the clip list panel: the size of the volume holding Path as its maximum
// (kept when the volume cannot be measured) and, when asked, the volume's used megabytes.
void MeasureVolume(widgets::custom::TTextGauge* Gauge, const std::wstring& Path, bool WithUsed) {
    const std::wstring folder = MeasurableFolderOf(Path);
    if (Gauge == nullptr || folder.empty()) return;
    const std::int32_t total = dshow::DiskTotalMB(folder);
    if (total <= Gauge->MinValue()) return;
    Gauge->SetMaxValue(total);
    if (WithUsed) Gauge->SetProgress(dshow::DiskUsedMB(folder));
}

}  // namespace

std::wstring MeasurableFolderOf(const std::wstring& Path) {
    std::wstring folder = unicode::WideExcludeTrailingBackslash(unicode::WideExtractFilePath(Path));
    while (!folder.empty() && !unicode::WideDirectoryExists(folder)) {
        const std::wstring parent = unicode::WideExcludeTrailingBackslash(unicode::WideExtractFilePath(folder));
        if (parent.size() >= folder.size()) break;
        folder = parent;
    }
    if (!folder.empty() && unicode::WideDirectoryExists(folder)) return folder + L"\\";
    const std::wstring drive = unicode::WideExtractFileDrive(Path);
    return drive.empty() ? std::wstring() : drive + L"\\";
}

std::wstring TCaptureForm::BuildVideoFileName() {
    videoStemBuilt_ = WideTextOf(DossiersFrame1->VideoRacineEdit);
    // The stem names a file, never a folder elsewhere.
    std::wstring name =
        WithBackslash(WideTextOf(DossiersFrame1->VideoDirEdit)) + FileNameStem(videoStemBuilt_) + L"_";
    if (DossiersFrame1->cbVideoDate->Checked()) name += DateStamp(RunStartTime);
    name += std::to_wstring(VideoFileCounter) + L".avi";
    const std::uint8_t format = settings::ParamCaptureFormat != nullptr ? settings::ParamCaptureFormat->Value() : 0;
    if (format == 3 || format == 4)
        name = unicode::WideChangeFileExt(name, L".mpg");
    else if (format == 7)
        name = unicode::WideChangeFileExt(name, L".wmv");
    else if (format == 11)
        name = unicode::WideChangeFileExt(name, L".wav");
    else if (format == 12)
        name = unicode::WideChangeFileExt(name, L".mp3");
    ++VideoFileCounter;
    DossiersFrame1->LabelVideo->SetCaption(FilePart(name));
    SourcesFrame->LabelVideo->SetCaption(FilePart(name));
    return name;
}

std::wstring TCaptureForm::BuildImageFileName() {
    std::wstring name = WithBackslash(WideTextOf(DossiersFrame1->ImageDirEdit)) +
                        FileNameStem(WideTextOf(DossiersFrame1->ImageRacineEdit)) + L"_";
    if (DossiersFrame1->cbImageDate->Checked()) name += DateStamp(RunStartTime);
    const std::wstring counter = L"00000" + std::to_wstring(ImageFileCounter);
    name += counter.substr(counter.size() - 5);
    const int extension = OptionsFrame->rgExtension->ItemIndex();
    if (extension == 0)
        name += L".bmp";
    else if (extension == 1)
        name += L".jpg";
    ++ImageFileCounter;
    if (!ImageByImageMode) {
        DossiersFrame1->LabelImage->SetCaption(FilePart(name));
        ExtraireFrame1->destlabel->SetCaption(FilePart(name));
    }
    return name;
}

// A changed part of a name: the rebuilt name keeps the number of the name it replaces.

void TCaptureForm::DossiersFrame1VideoDirEditChange(classlib::TObject* /*Sender*/) {
    // The name of a running recording stays what it is until its end.
    if (recordingOpen_) return;
    if (settings::ParamVideoDirectory != nullptr)
        settings::ParamVideoDirectory->SetValue(WideTextOf(DossiersFrame1->VideoDirEdit));
    --VideoFileCounter;
    NextVideoFile = BuildVideoFileName();
    MeasureVolume(ListeFrame->tgVideo, NextVideoFile, false);
    UpdateStatusTexts();
}

void TCaptureForm::DossiersFrame1VideoRacineEditExit(classlib::TObject* /*Sender*/) {
    // The name of a running recording stays what it is until its end.
    if (recordingOpen_) return;
    --VideoFileCounter;
    NextVideoFile = BuildVideoFileName();
}

void TCaptureForm::TakeVideoNameBoxes() {
    // A start by a key or a script leaves the cursor where it is: a stem typed and not yet left is
    // what the box shows, and what the user records under and is asked about.
    if (!recordingOpen_ && WideTextOf(DossiersFrame1->VideoRacineEdit) != videoStemBuilt_)
        DossiersFrame1VideoRacineEditExit(nullptr);
}

void TCaptureForm::DossiersFrame1VideoDateClick(classlib::TObject* /*Sender*/) {
    // The name of a running recording stays what it is until its end.
    if (recordingOpen_) return;
    --VideoFileCounter;
    NextVideoFile = BuildVideoFileName();
}

void TCaptureForm::OptionsframeImageDirEditChange(classlib::TObject* /*Sender*/) {
    if (settings::ParamImageDirectory != nullptr)
        settings::ParamImageDirectory->SetValue(WideTextOf(DossiersFrame1->ImageDirEdit));
    --ImageFileCounter;
    NextImageFile = BuildImageFileName();
    MeasureVolume(ListeFrame->tgImage, NextImageFile, true);
}

void TCaptureForm::OptionsframeImageRacineEditExit(classlib::TObject* /*Sender*/) {
    --ImageFileCounter;
    NextImageFile = BuildImageFileName();
}

void TCaptureForm::OptionsframeImageDateClick(classlib::TObject* /*Sender*/) {
    --ImageFileCounter;
    NextImageFile = BuildImageFileName();
}

}  // namespace ui
