// The settings panel's codecs: the DivX and Xvid compressors and their dialogs, the MP3 encoder with
// the bit rate kept in its own key, and the Windows Media system profiles.
#include <dshow.h>
#include <uuids.h>

#include <algorithm>
#include <cwctype>
#include <memory>

#include "classlib/conversions.h"
#include "classlib/menus.h"
#include "classlib/registry.h"
#include "dshow/ds_components.h"
#include "dshow/ds_functions.h"
#include "dshow/ds_graph.h"
#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/graph_pins.h"
#include "engine/wmv_divx_builders.h"
#include "classlib/format.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/info_text_ids.h"
#include "ui/options_frame.h"
#include "ui/options_text_ids.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

bool DivxAvailable = false;
bool Mp3EncoderPresent = false;

// {B8D27088-FF5F-4B7C-98DC-0E91A1696286}
const CLSID kMp3EncoderClassId = {0xb8d27088, 0xff5f, 0x4b7c, {0x98, 0xdc, 0x0e, 0x91, 0xa1, 0x69, 0x62, 0x86}};
const wchar_t kMp3EncoderKey[] = L"\\Software\\GNU\\LAME MPEG Layer III Audio Encoder Filter";

namespace {

using Microsoft::WRL::ComPtr;

std::wstring Lower(std::wstring Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return Text;
}

engine::Tdm* Module() { return engine::dm(); }

// The capture graph's system profiles of the version of item VersionItem (4.0, 7.0, 8.0); nullptr
// without a manager or when the manager has no versions.
ComPtr<IWMProfileManager2> ProfileManagerAt(int VersionItem) {
    engine::Tdm* module = Module();
    if (module == nullptr || !module->WMProfileManager) return nullptr;
    auto manager = engine::Query<IWMProfileManager2>(module->WMProfileManager.Get(), engine::kIID_IWMProfileManager2);
    static const WMT_VERSION kVersions[] = {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0};
    if (!manager || VersionItem < 0 || VersionItem > 2 || FAILED(manager->SetSystemProfileVersion(kVersions[VersionItem])))
        return nullptr;
    return manager;
}

bool HasVideoStream(IWMProfile* Profile) {
    DWORD count = 0;
    if (FAILED(Profile->GetStreamCount(&count))) return false;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> stream;
        GUID type = GUID_NULL;
        if (SUCCEEDED(Profile->GetStream(i, stream.GetAddressOf())) && stream && SUCCEEDED(stream->GetStreamType(&type)) &&
            type == WMMEDIATYPE_Video)
            return true;
    }
    return false;
}

// The profile's name at whatever length it has; empty when it does not answer.
std::wstring ProfileName(IWMProfile* Profile) {
    DWORD length = 0;
    if (FAILED(Profile->GetName(nullptr, &length)) || length == 0 || length > 0x10000) return std::wstring();
    std::wstring name(length, L'\0');
    if (FAILED(Profile->GetName(name.data(), &length))) return std::wstring();
    name.resize(std::min<size_t>(wcsnlen(name.c_str(), name.size()), name.size()));
    return name;
}

}  // namespace

TDivxCodecChoice ChooseDivxCodecs(const std::vector<std::wstring>& Compressors, const std::wstring& Favourite) {
    TDivxCodecChoice choice;
    int fallback = 0;
    for (const std::wstring& name : Compressors) {
        const std::wstring lower = Lower(name);
        if (lower.find(L"divx") != std::wstring::npos) {
            choice.Names.push_back(name);
        } else if (lower.find(L"xvid") != std::wstring::npos) {
            choice.Names.push_back(name);
            fallback = static_cast<int>(choice.Names.size()) - 1;
        }
    }
    if (choice.Names.empty()) return choice;
    choice.Selected = fallback;
    const std::wstring favourite = Lower(Favourite);
    for (size_t i = 0; i < choice.Names.size(); ++i)
        if (Lower(choice.Names[i]) == favourite) choice.Selected = static_cast<int>(i);
    return choice;
}

void TOptionsFrame::FillDivxCodecs() {
    engine::Tdm* module = Module();
    // One snapshot of the compressors fills the list and selects the chosen one.
    std::unique_ptr<dshow::TSysDevEnum> snapshot;
    unicode::TUcStringList compressors;
    try {
        snapshot = std::make_unique<dshow::TSysDevEnum>(CLSID_VideoCompressorCategory);
        dshow::FillSnapshotNames(*snapshot, &compressors);
    } catch (...) {
        snapshot.reset();
        compressors.Clear();
    }
    std::vector<std::wstring> names;
    for (int i = 0; i < compressors.Count(); ++i) names.push_back(compressors.Get(i));
    const TDivxCodecChoice choice =
        ChooseDivxCodecs(names, settings::ParamDivxFavori != nullptr ? settings::ParamDivxFavori->Value() : L"");

    {
        classlib::TNotifyEvent change = std::move(cboxdivx->OnChange);
        cboxdivx->Items()->Clear();
        for (const std::wstring& name : choice.Names) cboxdivx->Items()->Add(name);
        cboxdivx->SetItemIndex(choice.Selected);
        cboxdivx->OnChange = std::move(change);
    }
    DivxAvailable = !choice.Names.empty();
    if (DivxAvailable && module != nullptr) {
        module->divx->SetFilterGraph(nullptr);
        if (snapshot) dshow::SelectFilterByName(*snapshot, choice.Names[static_cast<size_t>(choice.Selected)], module->divx);
    }
    tsDivx->SetTabVisible(DivxAvailable);

    Mp3EncoderPresent = module != nullptr && dshow::SelectFilterByCLSID(CLSID_LegacyAmFilterCategory, kMp3EncoderClassId, module->mp3);
    if (module != nullptr) module->Mp3EncoderFound = Mp3EncoderPresent;
    const bool wantMp3 = settings::ParamWantMp3 != nullptr && settings::ParamWantMp3->Value();
    cbMp3->SetVisible(Mp3EncoderPresent && DivxAvailable);
    cboxBitratemp3->SetVisible(Mp3EncoderPresent && DivxAvailable);
    sbPropMp3->SetVisible(Mp3EncoderPresent && DivxAvailable);
    {
        classlib::TNotifyEvent click = std::move(cbMp3->OnClick);
        cbMp3->SetChecked(wantMp3);
        cbMp3->OnClick = std::move(click);
    }
    gbMp3->SetVisible(Mp3EncoderPresent && wantMp3);
    MemoMp3->SetVisible(!Mp3EncoderPresent);

    if (!Mp3EncoderPresent) return;
    classlib::TRegistry key(KEY_READ);
    key.SetRootKey(HKEY_CURRENT_USER);
    if (!key.OpenKey(kMp3EncoderKey, false)) return;
    try {
        const int index = cboxBitratemp3->Items()->IndexOf(std::to_wstring(key.ReadInteger(L"Bitrate")));
        if (index >= 0) {
            classlib::TNotifyEvent change = std::move(cboxBitratemp3->OnChange);
            cboxBitratemp3->SetItemIndex(index);
            cboxBitratemp3->OnChange = std::move(change);
        }
    } catch (const classlib::Exception&) {
        // No readable bit rate: the list keeps its choice.
    }
    key.CloseKey();
}

void TOptionsFrame::LockRecordingSettings(bool Locked) {
    recordingLocked_ = Locked;
    for (classlib::TControl* control : std::initializer_list<classlib::TControl*>{
             cboxdivx, sbPropDivx, sbVersionDivx, cbMp3, cboxBitratemp3, sbPropMp3})
        control->SetEnabled(!Locked);
}

namespace {

// Puts a combo box back on the entry Text without running its change.
void PointComboAt(widgets::TUcComboBox* Box, const std::wstring& Text) {
    classlib::TNotifyEvent change = std::move(Box->OnChange);
    Box->OnChange = nullptr;
    const int index = Box->Items()->IndexOf(Text);
    if (index >= 0) Box->SetItemIndex(index);
    Box->OnChange = std::move(change);
}

}  // namespace

void TOptionsFrame::cboxmp3Change(classlib::TObject* /*Sender*/) {
    if (recordingLocked_) {
        // The running encoder keeps its rate: the list shows it again.
        classlib::TRegistry key(KEY_READ);
        key.SetRootKey(HKEY_CURRENT_USER);
        if (key.OpenKey(kMp3EncoderKey, false)) {
            try {
                PointComboAt(cboxBitratemp3, std::to_wstring(key.ReadInteger(L"Bitrate")));
            } catch (const classlib::Exception&) {
            }
            key.CloseKey();
        }
        return;
    }
    try {
        const std::int32_t rate = classlib::StrToInt(cboxBitratemp3->Text());
        classlib::TRegistry key(KEY_WRITE);
        key.SetRootKey(HKEY_CURRENT_USER);
        if (!key.OpenKey(kMp3EncoderKey, false)) throw classlib::Exception(L"the encoder's key is missing");
        key.WriteInteger(L"Bitrate", rate);
        key.CloseKey();
    } catch (const classlib::Exception&) {
        classlib::TNotifyEvent change = std::move(cboxBitratemp3->OnChange);
        cboxBitratemp3->SetItemIndex(cboxBitratemp3->Items()->IndexOf(L"128"));
        cboxBitratemp3->SetText(L"128");
        cboxBitratemp3->OnChange = std::move(change);
    }
}

void TOptionsFrame::cboxdivxChange(classlib::TObject* /*Sender*/) {
    if (recordingLocked_) {
        // The recording's compressor stays in its graph; the list shows it again.
        if (settings::ParamDivxFavori != nullptr) PointComboAt(cboxdivx, settings::ParamDivxFavori->Value());
        return;
    }
    const std::wstring name = cboxdivx->Text();
    if (engine::Tdm* module = Module()) {
        module->divx->SetFilterGraph(nullptr);
        dshow::SelectFilterByName(CLSID_VideoCompressorCategory, name, module->divx);
    }
    if (settings::ParamDivxFavori != nullptr) settings::ParamDivxFavori->SetValue(name);
}

template <typename F>
void TOptionsFrame::WithFilterInGraph(dshow::TFilter* Component, bool KeepOut, F&& Show) {
    engine::Tdm* module = Module();
    if (module == nullptr || Component == nullptr) return;
    dshow::TFilterGraph* before = Component->FilterGraph();
    try {
        Component->SetFilterGraph(module->fg);
        Show(Component->GetFilter().Get());
    } catch (...) {
        // A codec that cannot be opened shows nothing.
    }
    try {
        Component->SetFilterGraph(KeepOut ? nullptr : before);
    } catch (...) {
    }
}

namespace {

// The compressor's own dialog of that kind (configuration or about) when it has one; false when
// it has none.
bool ShowCompressorDialog(IBaseFilter* Filter, VfwCompressDialogs Query, VfwCompressDialogs Show) {
    auto dialogs = engine::Query<IAMVfwCompressDialogs>(Filter, IID_IAMVfwCompressDialogs);
    if (!dialogs || dialogs->ShowDialog(Query, nullptr) != S_OK) return false;
    dialogs->ShowDialog(Show, settings::ApplicationWindow());
    return true;
}

// The filter names property pages of its own: a frame of none would show nothing.
bool HasPropertyPages(IBaseFilter* Filter) {
    auto pages = engine::Query<ISpecifyPropertyPages>(Filter, IID_ISpecifyPropertyPages);
    CAUUID ids{};
    if (!pages || FAILED(pages->GetPages(&ids))) return false;
    CoTaskMemFree(ids.pElems);
    return ids.cElems > 0;
}

// A button that shows nothing says so.
void TellNoCompressorDialog(unsigned Id, const std::wstring& Codec) {
    widgets::WideMessageDlg(classlib::Format(settings::LoadProgramText(Id), {Codec}),
                            widgets::TMsgDlgType::mtInformation, widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

}  // namespace

void TOptionsFrame::sbPropDivxClick(classlib::TObject* /*Sender*/) {
    if (recordingLocked_) return;
    bool shown = false;
    if (engine::Tdm* module = Module())
        WithFilterInGraph(module->divx, false, [&shown](IBaseFilter* Filter) {
            shown = ShowCompressorDialog(Filter, VfwCompressDialog_QueryConfig, VfwCompressDialog_Config);
        });
    if (!shown) TellNoCompressorDialog(IDS_CODEC_NO_CONFIG, cboxdivx->Text());
}

// The about dialog leaves the compressor outside any graph.
void TOptionsFrame::sbVersionDivxClick(classlib::TObject* /*Sender*/) {
    if (recordingLocked_) return;
    bool shown = false;
    if (engine::Tdm* module = Module())
        WithFilterInGraph(module->divx, true, [&shown](IBaseFilter* Filter) {
            shown = ShowCompressorDialog(Filter, VfwCompressDialog_QueryAbout, VfwCompressDialog_About);
        });
    if (!shown) TellNoCompressorDialog(IDS_CODEC_NO_ABOUT, cboxdivx->Text());
}

void TOptionsFrame::sbPropMp3Click(classlib::TObject* /*Sender*/) {
    engine::Tdm* module = Module();
    if (module == nullptr || recordingLocked_) return;
    HWND parent = tsDivx->HandleAllocated() ? tsDivx->Handle() : nullptr;
    bool shown = false;
    WithFilterInGraph(module->mp3, false, [parent, &shown](IBaseFilter* Filter) {
        shown = HasPropertyPages(Filter) && SUCCEEDED(dshow::ShowFilterPropertyPage(parent, Filter, dshow::pkFilterPages));
    });
    if (shown) return;
    const dshow::TBaseFilter* coder = module->mp3 != nullptr ? module->mp3->BaseFilter() : nullptr;
    const std::wstring name = coder != nullptr ? engine::MonikerFriendlyName(coder->GetMoniker().Get()) : std::wstring();
    TellNoCompressorDialog(IDS_CODEC_NO_CONFIG, name.empty() ? cbMp3->Caption() : name);
}

void TOptionsFrame::FillWmvProfiles() {
    classlib::TNotifyEvent change = std::move(cboxMedia->OnChange);
    cboxMedia->Items()->Clear();
    ComPtr<IWMProfileManager2> manager = ProfileManagerAt(rgversion->ItemIndex());
    DWORD count = 0;
    if (manager && SUCCEEDED(manager->GetSystemProfileCount(&count))) {
        for (DWORD i = 0; i < count; ++i) {
            // One entry per profile, so that the entry's index is the profile's; a profile that
            // does not load shows no name of its own, and one that records no video says so.
            ComPtr<IWMProfile> profile;
            std::wstring name;
            if (SUCCEEDED(manager->LoadSystemProfile(i, profile.GetAddressOf())) && profile)
                name = HasVideoStream(profile.Get()) ? ProfileName(profile.Get())
                                                     : settings::LoadProgramText(IDS_OPT_SOUND_ONLY_PROFILE);
            cboxMedia->Items()->Add(name);
        }
    }
    if (cboxMedia->Items()->Count() > 0) cboxMedia->SetItemIndex(0);
    cboxMedia->OnChange = std::move(change);
}

bool TOptionsFrame::GetSelectedWmvProfile(ComPtr<IWMProfile>& Profile) {
    Profile.Reset();
    const int entry = cboxMedia->ItemIndex();
    ComPtr<IWMProfileManager2> manager = ProfileManagerAt(rgversion->ItemIndex());
    if (!manager || entry < 0) return false;
    return SUCCEEDED(manager->LoadSystemProfile(static_cast<DWORD>(entry), Profile.GetAddressOf())) && Profile;
}

int TOptionsFrame::WmvProfileItem() {
    if (cbDefaultProfile->Checked() || cboxMedia->ItemIndex() < 0) return 0;
    return cboxMedia->ItemIndex() + 1;
}

bool TOptionsFrame::SelectProfileFromMenu(classlib::TObject* Sender) {
    auto* item = dynamic_cast<classlib::TMenuItem*>(Sender);
    if (item == nullptr) return false;
    const int entry = static_cast<int>(item->Tag());
    if (entry < 0 || entry >= cboxMedia->Items()->Count()) return false;
    cboxMedia->SetItemIndex(entry);
    cboxMedia->SetText(cboxMedia->Items()->Get(entry));
    return true;
}

}  // namespace ui
