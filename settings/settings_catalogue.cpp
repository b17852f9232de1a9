// The settings catalogue: storage mode, the eighty parameters, and the store's entry points.
#include "settings/settings_catalogue.h"

#include <cmath>
#include <memory>
#include <vector>

#include "classlib/conversions.h"
#include "settings/settings_host.h"
#include "settings/shell_helpers.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_registry.h"

namespace settings {

namespace {

TStorageMode gStorageMode = smNone;
std::unique_ptr<TparameterList> gParameterList;
// The parameters live until the program ends (or until CreateParameters replaces them).
std::vector<std::unique_ptr<TParameter>> gParameters;

template <typename T, typename D>
T* Make(const wchar_t* Key, const D& Default) {
    auto p = std::make_unique<T>(Key, Default, gParameterList.get());
    T* raw = p.get();
    gParameters.push_back(std::move(p));
    return raw;
}

// A system lookup for a default: a failure gives the empty text, so that every parameter is
// still created.
template <typename F>
std::wstring Lookup(F&& f) {
    try {
        return f();
    } catch (...) {
        return std::wstring();
    }
}

// The executable's path: the host's, else the wide command line's program name.
std::wstring HostExeName() {
    try {
        if (ISettingsHost* host = SettingsHost()) return host->ExeName();
        return unicode::WideParamStr(0);
    } catch (...) {
        return std::wstring();
    }
}

}  // namespace

TStorageMode StorageMode() { return gStorageMode; }
void SetStorageMode(TStorageMode Mode) { gStorageMode = Mode; }

TIntegerParameter* ParamTop = nullptr;
TIntegerParameter* ParamLeft = nullptr;
TIntegerParameter* ParamVolume = nullptr;
TIntegerParameter* ParamCamform1Left = nullptr;
TIntegerParameter* ParamCamform2Left = nullptr;
TIntegerParameter* ParamCamform1Top = nullptr;
TIntegerParameter* ParamCamform2Top = nullptr;
TstandardDVParameter* ParamStandardDV = nullptr;
TIntegerParameter* ParamProfileWmv = nullptr;
TFrequenceDVParameter* ParamFrequenceDV = nullptr;
TRatioDVParameter* ParamRatioDV = nullptr;
TAspectRatioParameter* ParamRatioDivX = nullptr;
TIntegerParameter* ParamCorrectionSync = nullptr;
TRealParameter* ParamFramerate = nullptr;
TincrustRecParameter* ParamIncrustRec = nullptr;
TIntegerParameter* ParamDureeIncruster = nullptr;
TWhenIncrustParameter* ParamWhenIncrust = nullptr;
TWideStringParameter* ParamNoDatecode = nullptr;
TRealParameter* ParamDecalageHoraire = nullptr;
TBooleanParameter* ParamDecalageAvance = nullptr;
TIntegerParameter* ParamExtensionDesImages = nullptr;
TIntegerParameter* ParamQualiteJPeg = nullptr;
TIntegerParameter* ParamVersionWmv = nullptr;
TIntegerParameter* ParamValeurIntervallometre = nullptr;
TIntegerParameter* ParamUnitesIntervallometre = nullptr;
TframeNumberParameter* ParamPanneauActif = nullptr;
TAspectRatioParameter* ParamAspectRatio = nullptr;
TBooleanParameter* ParamWideScreen = nullptr;
TWideStringParameter* ParamPluginsDir = nullptr;
TWideStringParameter* ParamVideoDirectory = nullptr;
TWideStringParameter* ParamVideoRacine = nullptr;
TWideStringParameter* ParamImageDirectory = nullptr;
TWideStringParameter* ParamImageRacine = nullptr;
TWideStringParameter* ParamPelorin = nullptr;
TWideStringParameter* ParamSourceVideo = nullptr;
TWideStringParameter* ParamSourceAudio = nullptr;
TFormatCaptureParameter* ParamCaptureFormat = nullptr;
TWideStringParameter* ParamAudioType = nullptr;
TWideStringParameter* ParamSoundCardEntry = nullptr;
TWideStringParameter* ParamProfilWindowsMedia = nullptr;
TWideStringParameter* ParamPreferredWmvProfile = nullptr;
TBooleanParameter* ParamDefaultProfile = nullptr;
TWideStringParameter* ParamDivxFavori = nullptr;
TBooleanParameter* ParamWantMp3 = nullptr;
TBooleanParameter* ParamFrequenceDVNative = nullptr;
TBooleanParameter* ParamGarderFormatDV = nullptr;
TBooleanParameter* ParamDemiTaille = nullptr;
TBooleanParameter* ParamNotifier = nullptr;
TBooleanParameter* ParamInternalDeinterlacer = nullptr;
TBooleanParameter* ParamEcranGauche = nullptr;
TBooleanParameter* ParamPreviewLocked = nullptr;
TBooleanParameter* ParamActiverSuperposition = nullptr;
TBooleanParameter* ParamWantIncrust = nullptr;
TBooleanParameter* ParamWantVertFlip = nullptr;
TBooleanParameter* ParamWantHorzFlip = nullptr;
TBooleanParameter* ParamWantWidescreen = nullptr;
TWideStringParameter* ParamWantVideoSource = nullptr;
TWideStringParameter* ParamWantAudioSource = nullptr;
TWideStringParameter* ParamWantFormatCapture = nullptr;
TRaccourcisSortParameter* ParamRaccourcisSort = nullptr;
TBooleanParameter* ParamFullscreenOn = nullptr;
TBooleanParameter* ParamReducedOn = nullptr;
TBooleanParameter* ParamMuteOn = nullptr;
TBooleanParameter* ParamStopperCameraDV1EnQuittant = nullptr;
TBooleanParameter* ParamStopperCameraDV2EnQuittant = nullptr;
TBooleanParameter* ParamVideoDate = nullptr;
TBooleanParameter* ParamImageDate = nullptr;
TBooleanParameter* ParamShowVideoPilotDV = nullptr;
TBooleanParameter* ParamShowAudioPilotDV = nullptr;
TBooleanParameter* ParamSauverPreferencesEnQuittant = nullptr;
TBooleanParameter* ParamConfirmerImage = nullptr;
TBooleanParameter* ParamConfirmerVideo = nullptr;
TBooleanParameter* ParamMpeg2RatioNormal = nullptr;
TBooleanParameter* ParamScn = nullptr;
TBooleanParameter* ParamDVDemiSiDivX = nullptr;
TBooleanParameter* ParamBeeps = nullptr;
TWideStringParameter* ParamSourcesExclues = nullptr;
TIntegerParameter* ParamVideoInputSelect = nullptr;
TBooleanParameter* ParamFreezePreview = nullptr;
TBooleanParameter* ParamFreezeCapture = nullptr;

namespace {
void ClearParameterGlobals() {
    ParamTop = nullptr;
    ParamLeft = nullptr;
    ParamVolume = nullptr;
    ParamCamform1Left = nullptr;
    ParamCamform2Left = nullptr;
    ParamCamform1Top = nullptr;
    ParamCamform2Top = nullptr;
    ParamStandardDV = nullptr;
    ParamProfileWmv = nullptr;
    ParamFrequenceDV = nullptr;
    ParamRatioDV = nullptr;
    ParamRatioDivX = nullptr;
    ParamCorrectionSync = nullptr;
    ParamFramerate = nullptr;
    ParamIncrustRec = nullptr;
    ParamDureeIncruster = nullptr;
    ParamWhenIncrust = nullptr;
    ParamNoDatecode = nullptr;
    ParamDecalageHoraire = nullptr;
    ParamDecalageAvance = nullptr;
    ParamExtensionDesImages = nullptr;
    ParamQualiteJPeg = nullptr;
    ParamVersionWmv = nullptr;
    ParamValeurIntervallometre = nullptr;
    ParamUnitesIntervallometre = nullptr;
    ParamPanneauActif = nullptr;
    ParamAspectRatio = nullptr;
    ParamWideScreen = nullptr;
    ParamPluginsDir = nullptr;
    ParamVideoDirectory = nullptr;
    ParamVideoRacine = nullptr;
    ParamImageDirectory = nullptr;
    ParamImageRacine = nullptr;
    ParamPelorin = nullptr;
    ParamSourceVideo = nullptr;
    ParamSourceAudio = nullptr;
    ParamCaptureFormat = nullptr;
    ParamAudioType = nullptr;
    ParamSoundCardEntry = nullptr;
    ParamProfilWindowsMedia = nullptr;
    ParamPreferredWmvProfile = nullptr;
    ParamDefaultProfile = nullptr;
    ParamDivxFavori = nullptr;
    ParamWantMp3 = nullptr;
    ParamFrequenceDVNative = nullptr;
    ParamGarderFormatDV = nullptr;
    ParamDemiTaille = nullptr;
    ParamNotifier = nullptr;
    ParamInternalDeinterlacer = nullptr;
    ParamEcranGauche = nullptr;
    ParamPreviewLocked = nullptr;
    ParamActiverSuperposition = nullptr;
    ParamWantIncrust = nullptr;
    ParamWantVertFlip = nullptr;
    ParamWantHorzFlip = nullptr;
    ParamWantWidescreen = nullptr;
    ParamWantVideoSource = nullptr;
    ParamWantAudioSource = nullptr;
    ParamWantFormatCapture = nullptr;
    ParamRaccourcisSort = nullptr;
    ParamFullscreenOn = nullptr;
    ParamReducedOn = nullptr;
    ParamMuteOn = nullptr;
    ParamStopperCameraDV1EnQuittant = nullptr;
    ParamStopperCameraDV2EnQuittant = nullptr;
    ParamVideoDate = nullptr;
    ParamImageDate = nullptr;
    ParamShowVideoPilotDV = nullptr;
    ParamShowAudioPilotDV = nullptr;
    ParamSauverPreferencesEnQuittant = nullptr;
    ParamConfirmerImage = nullptr;
    ParamConfirmerVideo = nullptr;
    ParamMpeg2RatioNormal = nullptr;
    ParamScn = nullptr;
    ParamDVDemiSiDivX = nullptr;
    ParamBeeps = nullptr;
    ParamSourcesExclues = nullptr;
    ParamVideoInputSelect = nullptr;
    ParamFreezePreview = nullptr;
    ParamFreezeCapture = nullptr;
}
}  // namespace

void CreateParameterList(const std::wstring& Signature) {
    // Parameters point at their list: a new list starts without them.
    ClearParameterGlobals();
    gParameters.clear();
    gParameterList = std::make_unique<TparameterList>(Signature);
}

TparameterList* ParameterList() { return gParameterList.get(); }

void CreateParameters() {
    if (!gParameterList) gParameterList = std::make_unique<TparameterList>(std::wstring());
    gParameterList->Clear();
    gParameterList->SetKeyPath(std::wstring(L"\\Software\\Marbrecq\\") + L"Quillotrane");
    const std::wstring exeName = HostExeName();

    // Storage mode.
    try {
        if (unicode::WideFileExists(IniFileName())) {
            gStorageMode = smPortable;
        } else {
            const std::wstring stored =
                ReadRegistryWideString(HKEY_CURRENT_USER, gParameterList->KeyPath(), L"Exename");
            gStorageMode = (!exeName.empty() && classlib::AnsiLowerCase(stored) == classlib::AnsiLowerCase(exeName))
                               ? smRegistry
                               : smNone;
        }
    } catch (...) {
        gStorageMode = smNone;
    }

    // Defaults that depend on the system, each lookup guarded on its own.
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int mainWidth = 0;
    int mainHeight = 0;
    try {
        if (ISettingsHost* host = SettingsHost()) {
            mainWidth = host->MainFormWidth();
            mainHeight = host->MainFormHeight();
        }
    } catch (...) {
    }
    const int top = (screenHeight - mainHeight) / 2;
    const int left = (screenWidth - mainWidth) / 2;
    const std::wstring pluginsDir = Lookup([&] {
        return exeName.empty() ? std::wstring()
                               : unicode::WideIncludeTrailingBackslash(unicode::WideExtractFilePath(exeName));
    });
    const std::wstring videoDir = Lookup([] { return unicode::WideIncludeTrailingBackslash(GetMyVideoDir()); });
    const std::wstring imageDir = Lookup([] { return unicode::WideIncludeTrailingBackslash(GetMyPicturesDir()); });
    const std::wstring pelorin = Lookup([] { return GetPelorinExePath(); });

    // The old parameters are freed only now that the list no longer refers to them.
    gParameters.clear();
    gParameters.reserve(80);
    ParamTop = Make<TIntegerParameter>(L"Top", top);
    ParamLeft = Make<TIntegerParameter>(L"Left", left);
    ParamVolume = Make<TIntegerParameter>(L"Volume", 5000);
    ParamCamform1Left = Make<TIntegerParameter>(L"Camform 1 left", left);
    ParamCamform2Left = Make<TIntegerParameter>(L"Camform 2 left", left);
    ParamCamform1Top = Make<TIntegerParameter>(L"Camform 1 top", top + mainHeight);
    ParamCamform2Top = Make<TIntegerParameter>(L"Camform 2 top", top + mainHeight);
    ParamStandardDV = Make<TstandardDVParameter>(L"Standard DV", 0);
    ParamProfileWmv = Make<TIntegerParameter>(L"Profile wmv", 1);
    ParamFrequenceDV = Make<TFrequenceDVParameter>(L"FrequenceDV", 3);
    ParamRatioDV = Make<TRatioDVParameter>(L"RatioDV", 0);
    ParamRatioDivX = Make<TAspectRatioParameter>(L"Ratio DivX", 0);
    ParamCorrectionSync = Make<TIntegerParameter>(L"Correction Sync", 0);
    ParamFramerate = Make<TRealParameter>(L"Framerate", 18.0);
    ParamIncrustRec = Make<TincrustRecParameter>(L"IncrustRec", DefaultIncrustRec());
    ParamDureeIncruster = Make<TIntegerParameter>(L"Dur\u00e9e Incruster", 5);
    ParamWhenIncrust = Make<TWhenIncrustParameter>(L"When Incrust", 0);
    ParamNoDatecode = Make<TWideStringParameter>(L"No Datecode", L"N/A");
    ParamDecalageHoraire = Make<TRealParameter>(L"D\u00e9calage Horaire", 0.0);
    ParamDecalageAvance = Make<TBooleanParameter>(L"D\u00e9calage avanc\u00e9", false);
    ParamExtensionDesImages = Make<TIntegerParameter>(L"Extension des images", 0);
    ParamQualiteJPeg = Make<TIntegerParameter>(L"Qualit\u00e9 JPeg", 50);
    ParamVersionWmv = Make<TIntegerParameter>(L"Version wmv", 2);
    ParamValeurIntervallometre = Make<TIntegerParameter>(L"Valeur Intervallom\u00e8tre", 10);
    ParamUnitesIntervallometre = Make<TIntegerParameter>(L"Unit\u00e9s Intervallom\u00e8tre", 0);
    ParamPanneauActif = Make<TframeNumberParameter>(L"Panneau Actif", 0);
    ParamAspectRatio = Make<TAspectRatioParameter>(L"Aspect ratio", 0);
    ParamWideScreen = Make<TBooleanParameter>(L"WideScreen", false);
    ParamPluginsDir = Make<TWideStringParameter>(L"Plugins Dir", pluginsDir);
    ParamVideoDirectory = Make<TWideStringParameter>(L"Video Directory", videoDir);
    ParamVideoRacine = Make<TWideStringParameter>(L"Video Racine", L"Video");
    ParamImageDirectory = Make<TWideStringParameter>(L"Image Directory", imageDir);
    ParamImageRacine = Make<TWideStringParameter>(L"Image Racine", L"Image");
    ParamPelorin = Make<TWideStringParameter>(L"Pelorin", pelorin);
    ParamSourceVideo = Make<TWideStringParameter>(L"Source video", L"N/A");
    ParamSourceAudio = Make<TWideStringParameter>(L"Source Audio", L"N/A");
    ParamCaptureFormat = Make<TFormatCaptureParameter>(L"Capture Format", kFormatCaptureDefault);
    ParamAudioType = Make<TWideStringParameter>(L"Audio Type", L"");
    ParamSoundCardEntry = Make<TWideStringParameter>(L"Sound Card Entry", L"Line In");
    ParamProfilWindowsMedia = Make<TWideStringParameter>(L"Profil Windows media", L"N/A");
    ParamPreferredWmvProfile = Make<TWideStringParameter>(L"Preferred  wmv profile", L"");
    ParamDefaultProfile = Make<TBooleanParameter>(L"Default Profile", true);
    ParamDivxFavori = Make<TWideStringParameter>(L"Divx favori", L"");
    ParamWantMp3 = Make<TBooleanParameter>(L"Want Mp3", true);
    ParamFrequenceDVNative = Make<TBooleanParameter>(L"Frequence DV native", true);
    ParamGarderFormatDV = Make<TBooleanParameter>(L"Garder Format DV", false);
    ParamDemiTaille = Make<TBooleanParameter>(L"Demi Taille", true);
    ParamNotifier = Make<TBooleanParameter>(L"Notifier", true);
    ParamInternalDeinterlacer = Make<TBooleanParameter>(L"Internal Deinterlacer", true);
    ParamEcranGauche = Make<TBooleanParameter>(L"EcranGauche", true);
    ParamPreviewLocked = Make<TBooleanParameter>(L"Preview Locked", true);
    ParamActiverSuperposition = Make<TBooleanParameter>(L"Activer Superposition", true);
    ParamWantIncrust = Make<TBooleanParameter>(L"Want Incrust", false);
    ParamWantVertFlip = Make<TBooleanParameter>(L"Want vert Flip", false);
    ParamWantHorzFlip = Make<TBooleanParameter>(L"Want Horz flip", false);
    ParamWantWidescreen = Make<TBooleanParameter>(L"Want Widescreen", false);
    ParamWantVideoSource = Make<TWideStringParameter>(L"Want video source", L"");
    ParamWantAudioSource = Make<TWideStringParameter>(L"Want audio source", L"");
    ParamWantFormatCapture = Make<TWideStringParameter>(L"Want Format capture", L"");
    ParamRaccourcisSort = Make<TRaccourcisSortParameter>(L"Raccourcis Sort", 0);
    ParamFullscreenOn = Make<TBooleanParameter>(L"Fullscreen On", false);
    ParamReducedOn = Make<TBooleanParameter>(L"Reduced on", false);
    ParamMuteOn = Make<TBooleanParameter>(L"Mute On", true);
    ParamStopperCameraDV1EnQuittant = Make<TBooleanParameter>(L"Stopper camera DV 1 en quittant", true);
    ParamStopperCameraDV2EnQuittant = Make<TBooleanParameter>(L"Stopper camera DV 2 en quittant", true);
    ParamVideoDate = Make<TBooleanParameter>(L"Video Date", true);
    ParamImageDate = Make<TBooleanParameter>(L"Image date", false);
    ParamShowVideoPilotDV = Make<TBooleanParameter>(L"Show Video Pilot DV", true);
    ParamShowAudioPilotDV = Make<TBooleanParameter>(L"Show Audio Pilot DV", true);
    ParamSauverPreferencesEnQuittant = Make<TBooleanParameter>(L"Sauver pr\u00e9f\u00e9rences en quittant", true);
    ParamConfirmerImage = Make<TBooleanParameter>(L"Confirmer Image", true);
    ParamConfirmerVideo = Make<TBooleanParameter>(L"Confirmer Video", true);
    ParamMpeg2RatioNormal = Make<TBooleanParameter>(L"Mpeg2 Ratio Normal", true);
    ParamScn = Make<TBooleanParameter>(L"Scn", false);
    ParamDVDemiSiDivX = Make<TBooleanParameter>(L"DV demi si DivX", true);
    ParamBeeps = Make<TBooleanParameter>(L"Beeps", false);
    ParamSourcesExclues = Make<TWideStringParameter>(L"Sources Exclues", L"");
    ParamVideoInputSelect = Make<TIntegerParameter>(L"Video Input Select", -1);
    ParamFreezePreview = Make<TBooleanParameter>(L"Freeze Preview", false);
    ParamFreezeCapture = Make<TBooleanParameter>(L"Freeze Capture", false);

    // Loaded values outside what their controls offer: a quantity takes the nearest bound, a
    // choice in a list its default.
    ParamVolume->SetRange(0, kMaxVolume);
    ParamQualiteJPeg->SetRange(kMinJpegQuality, kMaxJpegQuality);
    ParamValeurIntervallometre->SetRange(0, kMaxIntervalValue);
    ParamExtensionDesImages->SetRange(0, 1, TOutOfRange::Default);      // bmp, jpeg
    ParamVersionWmv->SetRange(0, 2, TOutOfRange::Default);              // versions 4, 7, 8
    ParamProfileWmv->SetRange(0, 3, TOutOfRange::Default);              // high, medium, low, internet
    ParamUnitesIntervallometre->SetRange(0, 3, TOutOfRange::Default);   // seconds, frames, minutes, hours
    // An overlay's time on the picture: none below 0 (an odd value in the store is no duration).
    ParamDureeIncruster->SetRange(0, kMaxOverlaySeconds, TOutOfRange::Default);
    // A frame rate that cannot be written into a recording.
    ParamFramerate->SetValidator(FramerateValid);
    // A text shown on screen may be meant to be empty.
    ParamNoDatecode->SetKeepEmpty(true);

    try {
        gParameterList->Load();
    } catch (...) {
    }
}

bool FramerateValid(double Fps) {
    if (!(Fps > 0.0) || !std::isfinite(Fps)) return false;
    const double scale = std::nearbyint(1000000.0 / Fps);
    return scale >= 1.0 && scale <= 4294967295.0;
}

bool SaveParameters() {
    try {
        return gParameterList && gParameterList->Save();
    } catch (...) {
        return false;
    }
}

void DeleteRegistrySettings() {
    try {
        unicode::TUcRegistry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (!reg.OpenKey(L"\\Software\\Marbrecq\\", false)) return;
        reg.DeleteKey(L"Quillotrane");
        if (!reg.HasSubKeys()) {
            reg.CloseKey();
            reg.DeleteKey(L"\\Software\\Marbrecq\\");
        }
    } catch (...) {
    }
}

void DeleteIniSettings() {
    try {
        const std::wstring fileName = IniFileName();
        if (unicode::WideFileExists(fileName)) ForceDeleteFile(fileName);
    } catch (...) {
    }
}

std::wstring ReadRegistryWideString(HKEY RootKey, const std::wstring& KeyPath, const std::wstring& ValueName) {
    try {
        unicode::TUcRegistry reg(KEY_READ);
        reg.SetRootKey(RootKey);
        if (!reg.OpenKeyReadOnly(KeyPath)) return std::wstring();
        std::wstring result;
        if (reg.ValueExists(ValueName)) result = reg.ReadString(ValueName);
        reg.CloseKey();
        return result;
    } catch (...) {
        return std::wstring();
    }
}

}  // namespace settings
