// Snapshots and the intervalometer: a grab asked of the overlay filter, the picture it hands over in
// one of its twenty slots copied, shown and saved as BMP or JPEG under the prepared name, the
// countdown and beeps of the timed pictures, the picture type and JPEG quality, and the grab button's
// look during an image-by-image recording.
#include "ui/capture_form.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/jpeg_image.h"
#include "dshow/ds_functions.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "filters/control_unit.h"
#include "filters/deinterlace.h"
#include "filters/superposer.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/options_frame.h"
#include "ui/snapshot_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

std::wstring UiString(unsigned Id) { return settings::LoadProgramText(Id); }

filters::Tqz_Superposer* Overlay() {
    engine::Tdm* module = engine::dm();
    return module != nullptr ? module->Superposer : nullptr;
}

// Periods of the intervalometer's units in 1/10000 s; frames need the stream's rate.
constexpr std::uint64_t kSecond = 10000;
constexpr std::uint64_t kMinute = 600000;
constexpr std::uint64_t kHour = 36000000;

// How long a close waits for the pictures asked before it (a frame comes every few tens of
// milliseconds while the video runs).
constexpr ULONGLONG kSnapshotCloseWaitMs = 10000;

// The typed interval: 0..999999 units (the spin edit's range), 0 when the text is no number.
std::uint64_t IntervalUnits(TExtraireFrame* Frame) {
    const int value = Frame->KitSpinEdit7->AsInteger();
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

// A 24-bit picture as the bytes of a .bmp file.
std::vector<std::uint8_t> BmpFileBytes(filters::TPictureBitmap& Picture) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = Picture.Width();
    info.biHeight = Picture.Height();
    info.biPlanes = 1;
    info.biBitCount = static_cast<WORD>(Picture.BitCount());
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(Picture.ImageSize());
    info.biXPelsPerMeter = info.biYPelsPerMeter = 3780;  // 96 dpi
    file.bfType = 0x4D42;                                 // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::vector<std::uint8_t> bytes(file.bfSize);
    std::memcpy(bytes.data(), &file, sizeof(file));
    std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
    GdiFlush();
    std::memcpy(bytes.data() + file.bfOffBits, Picture.Bits(), Picture.ImageSize());
    return bytes;
}

static_assert(sizeof(BITMAPFILEHEADER) == 14 && sizeof(BITMAPINFOHEADER) == 40, "the .bmp layout");

// A 24-bit section holding a copy of Picture (owned by the caller; nullptr when none could be made).
HBITMAP DibCopyOf(filters::TPictureBitmap& Picture) {
    if (Picture.BitCount() != 24 || Picture.Width() <= 0 || Picture.Height() <= 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Picture.Width();
    info.bmiHeader.biHeight = Picture.Height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (copy == nullptr) return nullptr;
    GdiFlush();
    std::memcpy(bits, Picture.Bits(), Picture.ImageSize());
    return copy;
}

// Picture := the 24-bit bottom-up section Bitmap (both keep rows on 4-byte bounds); false when
// Bitmap is no such section.
bool CopyDib(HBITMAP Bitmap, filters::TPictureBitmap& Picture) {
    DIBSECTION section{};
    if (Bitmap == nullptr || GetObjectW(Bitmap, sizeof(section), &section) != sizeof(section)) return false;
    const BITMAPINFOHEADER& header = section.dsBmih;
    if (header.biBitCount != 24 || header.biWidth <= 0 || header.biHeight <= 0 || section.dsBm.bmBits == nullptr)
        return false;
    Picture.SetBitCount(24);
    Picture.SetSize(header.biWidth, header.biHeight);
    GdiFlush();
    std::memcpy(Picture.Bits(), section.dsBm.bmBits, Picture.ImageSize());
    return true;
}

}  // namespace

void TCaptureForm::CreatePictureBuffers() {
    if (!GrabPicture) GrabPicture = std::make_unique<filters::TPictureBitmap>();
    if (!DisplayPicture) DisplayPicture = std::make_unique<filters::TPictureBitmap>();
    if (!SavedPicture) SavedPicture = std::make_unique<filters::TPictureBitmap>();
    if (!JpegImage) JpegImage = std::make_unique<classlib::TJPEGImage>();
}

void TCaptureForm::PlayCountdownBeep(int Which) {
    if (Which == 0)
        dshow::PlayBeep0();
    else
        dshow::PlayBeep1();
}

void TCaptureForm::saGrabexecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamPanneauActif == nullptr || settings::ParamPanneauActif->Value() != 3) ShowPanel(3);
    RequestSnapshot();
    ExtraireFrame1->Bevel3->Hide();
}

void TCaptureForm::RequestSnapshot() {
    if (filters::Tqz_Superposer* overlay = Overlay()) overlay->RequestGrab();
}

int TCaptureForm::PicturesOutstanding() {
    filters::Tqz_Superposer* overlay = Overlay();
    if (overlay == nullptr) return 0;
    int count = 0;
    // The grab first, then the slots: a grab stays asked until its picture's slot is busy, so a
    // picture being taken meanwhile is counted by one look or the other, never missed by both.
    // A grab asked is served by the next frame, and frames reach the overlay only from a video
    // source in a running graph.
    if (overlay->GrabRequested()) {
        bool framesFlow = false;
        try {
            engine::Tdm* module = engine::dm();
            framesFlow = module != nullptr && module->CurrentVideoSource != nullptr &&
                         module->fg->State() == dshow::gsPlaying;
        } catch (...) {
        }
        if (framesFlow) ++count;
    }
    for (int slot = 0; slot < filters::kSuperposerSlots; ++slot)
        if (overlay->SlotBusy(slot)) ++count;
    return count;
}

bool TCaptureForm::FinishAskedSnapshots() {
    const int asked = PicturesOutstanding();
    if (asked == 0) return true;
    // Pictures are handled in the order they came: once as many more have been handled as were
    // outstanding now, these are among them (the intervalometer may add others meanwhile).
    const std::uint64_t target = picturesHandled_ + static_cast<std::uint64_t>(asked);
    const ULONGLONG deadline = GetTickCount64() + kSnapshotCloseWaitMs;
    classlib::TApplication* application = classlib::Application();
    while (picturesHandled_ < target && PicturesOutstanding() > 0 && !application->Terminated()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(50, deadline - now)), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        application->ProcessMessages();
    }
    return true;
}

void TCaptureForm::WMFrameGrabbed(classlib::TMessage& Message) {
    // Any process can post this message: a slot number outside the overlay's twenty is not ours.
    if (Message.LParam < 0 || Message.LParam >= filters::kSuperposerSlots) return;
    const int slot = static_cast<int>(Message.LParam);
    // A question open during a save runs a message loop: a later picture waits its turn instead
    // of nesting saves into each other.
    if (grabInProgress_) {
        HoldBackGrab(slot);
        return;
    }
    grabInProgress_ = true;
    struct TDone {
        TCaptureForm* form;
        ~TDone() {
            form->grabInProgress_ = false;
            // After a failed save the waiting slots are handed back unread, not lost to the filter.
            if (filters::Tqz_Superposer* overlay = Overlay())
                for (int waiting : form->pendingGrabs_) {
                    overlay->ReleaseSlot(waiting);
                    ++form->picturesHandled_;
                }
            form->pendingGrabs_.clear();
            // A close asked while a picture was being saved comes now.
            form->CarryOutHeldClose();
        }
    } done{this};
    HandleGrabbedSlot(slot);
    while (!pendingGrabs_.empty()) {
        // Pictures came while a question was open: those still queued at its close fell while it
        // was open too.
        TakeQueuedGrabs();
        const int next = pendingGrabs_.front();
        pendingGrabs_.pop_front();
        HandleGrabbedSlot(next);
    }
}

void TCaptureForm::HoldBackGrab(int Slot) {
    filters::Tqz_Superposer* overlay = Overlay();
    // A slot the filter did not fill (a forged message) must not put a real picture aside.
    if (overlay == nullptr || !overlay->SlotBusy(Slot)) return;
    // Only the newest waits (its slot stays busy): the intervalometer's ticks that fell while
    // nobody answered give one picture at the close, not one each in a burst. The older slots go
    // back to the filter, counted as handled so that a close waiting for them does not wait on.
    for (int older : pendingGrabs_)
        if (older != Slot) {
            overlay->ReleaseSlot(older);
            ++picturesHandled_;
        }
    pendingGrabs_.clear();
    pendingGrabs_.push_back(Slot);
}

void TCaptureForm::TakeQueuedGrabs() {
    if (!HandleAllocated()) return;
    MSG message{};
    while (PeekMessageW(&message, Handle(), filters::kWMFrameGrabbed, filters::kWMFrameGrabbed, PM_REMOVE))
        if (message.lParam >= 0 && message.lParam < filters::kSuperposerSlots)
            HoldBackGrab(static_cast<int>(message.lParam));
}

void TCaptureForm::HandleGrabbedSlot(int Slot) {
    filters::Tqz_Superposer* overlay = Overlay();
    // Only a slot the filter filled holds a picture to read.
    if (overlay == nullptr || !overlay->SlotBusy(Slot)) return;
    struct TRelease {
        filters::Tqz_Superposer* overlay;
        int slot;
        std::uint64_t& handled;
        ~TRelease() {
            overlay->ReleaseSlot(slot);
            ++handled;
        }
    } release{overlay, Slot, picturesHandled_};

    if (ImageByImageMode) {
        if (engine::Tdm* module = engine::dm(); module != nullptr) {
            if (module->ImageControl != nullptr) module->ImageControl->SetPassNext(true);
            ++module->ImageByImageCount;
        }
        return;
    }

    // A picture refused at the replace question is neither saved nor shown: the thumbnail stays
    // the last picture kept.
    if (!SnapshotNameAccepted()) return;
    CreatePictureBuffers();
    const filters::TRgbPicture& grabbed = overlay->SlotBitmap(Slot);
    const int width = grabbed.Width();
    const int height = grabbed.Height();
    if (width <= 0 || height <= 0) return;
    GrabPicture->SetBitCount(24);
    GrabPicture->SetSize(width, height);
    for (int y = 0; y < height; ++y)
        std::memcpy(GrabPicture->ScanLine(y), grabbed.ScanLine(y), static_cast<std::size_t>(width) * 3);
    if (settings::ParamInternalDeinterlacer != nullptr && settings::ParamInternalDeinterlacer->Value())
        filters::Deinterlace(*GrabPicture, *DisplayPicture);
    else
        DisplayPicture->Assign(*GrabPicture);

    int ratioW = 0, ratioH = 0;
    switch (settings::ParamAspectRatio != nullptr ? settings::ParamAspectRatio->Value() : 0) {
        case 0:
            ratioW = static_cast<int>(engine::Native.SourceAspectX);
            ratioH = static_cast<int>(engine::Native.SourceAspectY);
            break;
        case 1:
            ratioW = 4;
            ratioH = 3;
            break;
        case 2:
            ratioW = 16;
            ratioH = 9;
            break;
        default:
            ratioW = width;
            ratioH = height;
            break;
    }
    // The grab panel fits the picture to the ratio and shows it; its saved picture is the one
    // written to the file.
    TExtraireFrame* frame = ExtraireFrame1;
    frame->SavedPicture.SetBitmap(nullptr);
    frame->DisplayPicture.SetBitmap(DibCopyOf(*DisplayPicture));
    frame->ShowGrabbedImage(ratioW, ratioH);
    if (!CopyDib(frame->SavedPicture.Bitmap(), *SavedPicture)) return;
    SaveGrabbedImage();
}

bool TCaptureForm::SnapshotNameAccepted() {
    const std::wstring name = NextImageFile;
    if (name.empty() || settings::ParamConfirmerImage == nullptr || !settings::ParamConfirmerImage->Value() ||
        !unicode::WideFileExists(name))
        return true;
    const std::wstring question = UiString(IDS_SNAP_IMAGE_EXISTS_1) + unicode::WideExtractFileName(name) +
                                  UiString(IDS_SNAP_IMAGE_EXISTS_2) + L"\r\n" + UiString(IDS_SNAP_IMAGE_EXISTS_3);
    // The keyboard starts on No: a key meant for the window replaces nothing.
    const int answer = widgets::WideMessageDlgFocused(question, widgets::TMsgDlgType::mtWarning,
                                                      widgets::MsgDlgButtons({widgets::mbYes, widgets::mbNo, widgets::mbAll}),
                                                      widgets::mbNo);
    if (answer == classlib::mrAll) OptionsFrame->cbConfirmerImage->SetChecked(false);
    return answer == classlib::mrAll || answer == classlib::mrYes;
}

// The question was asked before the thumbnail was shown.
void TCaptureForm::SaveGrabbedImage() {
    if (ImageByImageMode || !SavedPicture || SavedPicture->Width() <= 0) return;
    const std::wstring name = NextImageFile;
    if (name.empty()) return;
    WriteSnapshotFile(name);
    AddClipEntry(name);
    NextImageFile = BuildImageFileName();
}

void TCaptureForm::WriteSnapshotFile(const std::wstring& FileName) {
    const int kind = settings::ParamExtensionDesImages != nullptr ? settings::ParamExtensionDesImages->Value() : 0;
    if (kind == 0) {
        const std::vector<std::uint8_t> bytes = BmpFileBytes(*SavedPicture);
        classlib::WriteWholeFile(FileName, bytes.data(), bytes.size());
    } else if (kind == 1) {
        GdiFlush();
        JpegImage->Assign(SavedPicture->ScanLine(0), -static_cast<std::ptrdiff_t>(SavedPicture->Stride()),
                          SavedPicture->Width(), SavedPicture->Height());
        JpegImage->SetCompressionQuality(OptionsFrame->TrackBar1->Position());
        JpegImage->Compress();
        JpegImage->SaveToFile(FileName);
    }
}

void TCaptureForm::WMIntervalometerCount(classlib::TMessage& Message) {
    const std::uint32_t seconds = static_cast<std::uint32_t>(Message.WParam);
    ExtraireFrame1->chronoLab->SetCaption(std::to_string(seconds));
    if (settings::ParamBeeps == nullptr || !settings::ParamBeeps->Value()) return;
    if (seconds == 0)
        PlayCountdownBeep(0);
    else if (seconds <= 4)
        PlayCountdownBeep(1);
}

// Bound to the switch's OnOn and OnOff, which follow every change of its state (a click, its key, a
// press released off the control, code): the intervalometer never disagrees with what it shows.
void TCaptureForm::ExtraireFrame1KitSwitch1Click(classlib::TObject* /*Sender*/) {
    TExtraireFrame* frame = ExtraireFrame1;
    frame->chronoLab->Hide();
    filters::Tqz_Superposer* overlay = Overlay();
    if (frame->KitSwitch1->StateOn()) {
        std::uint64_t factor = 0;
        switch (frame->cbUnites->ItemIndex()) {
            case 0:
                factor = kSecond;
                break;
            case 1:
                if (engine::Native.SourceFps > 0) factor = static_cast<std::uint64_t>(std::llround(kSecond / engine::Native.SourceFps));
                break;
            case 2:
                factor = kMinute;
                break;
            case 3:
                factor = kHour;
                break;
            default:
                break;
        }
        if (factor == 0) {
            // No unit, or frames of a stream whose rate is unknown: no period, so the switch goes
            // back off (its OnOff runs this handler again).
            frame->KitSwitch1->SetStateOn(false);
            return;
        }
        // The filter's period is 32 bits: longer intervals (past about 119 hours) take the longest.
        const std::uint64_t period = IntervalUnits(frame) * factor;
        const std::uint32_t limit = std::numeric_limits<std::uint32_t>::max();
        if (overlay != nullptr) overlay->StartExtraction(period > limit ? limit : static_cast<std::uint32_t>(period));
        frame->chronoLab->SetCaption("");
        frame->chronoLab->Show();
        frame->KitSpinEdit7->SetEnabled(false);
        frame->cbUnites->SetEnabled(false);
    } else {
        if (overlay != nullptr) overlay->StopExtraction();
        frame->KitSpinEdit7->SetEnabled(true);
        frame->cbUnites->SetEnabled(true);
    }
    UpdateStatusTexts();
}

void TCaptureForm::saIntervalloexecute(classlib::TObject* /*Sender*/) {
    // The switch's own events run the handler.
    ExtraireFrame1->KitSwitch1->Toggle();
}

void TCaptureForm::acJpgOptionExecute(classlib::TObject* /*Sender*/) { OptionsFrame->rgExtension->SetItemIndex(1); }

void TCaptureForm::acBmpOptionExecute(classlib::TObject* /*Sender*/) { OptionsFrame->rgExtension->SetItemIndex(0); }

void TCaptureForm::OptionsframergExtensionClick(classlib::TObject* /*Sender*/) {
    const int index = OptionsFrame->rgExtension->ItemIndex();
    if (settings::ParamExtensionDesImages != nullptr) settings::ParamExtensionDesImages->SetValue(index);
    OptionsFrame->gbQuality->SetVisible(index == 1);
    // The pending picture keeps its number and takes the new extension.
    --ImageFileCounter;
    NextImageFile = BuildImageFileName();
    UpdateStatusTexts();
}

void TCaptureForm::OptionsframeTrackBar1Change(classlib::TObject* /*Sender*/) {
    OptionsFrame->labQuality->SetCaption(std::to_wstring(OptionsFrame->TrackBar1->Position()));
}

void TCaptureForm::SetImageByImageMode(bool On) {
    ImageByImageMode = On;
    const int image = On ? 3 : 6;
    grabBtn->SetGlyph(nullptr);
    if (image < ImageList1->Count()) grabBtn->SetGlyph(ImageList1->GetBitmap(image));
    // The labels name the next picture again once the recording ends.
    const std::wstring label = On ? UiString(IDS_SNAP_IMAGE_BY_IMAGE_LABEL) : unicode::WideExtractFileName(NextImageFile);
    DossiersFrame1->LabelImage->SetCaption(label);
    ExtraireFrame1->destlabel->SetCaption(label);
}

}  // namespace ui
