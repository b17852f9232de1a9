// The settings catalogue: the storage mode, the eighty setting globals in registration order, and
// the entry points that create and load them at start, save them at close, and remove a store.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/parameters.h"
#include "settings/preferences.h"

namespace settings {

// The storage mode in use: 0 registry, 1 portable INI file, 2 not saved.
TStorageMode StorageMode();
void SetStorageMode(TStorageMode Mode);

// The parameter list, created by the main window with its signature (a second call replaces the
// list and frees the parameters of the old one, whose globals become null until CreateParameters
// runs again); nullptr before.
void CreateParameterList(const std::wstring& Signature);
TparameterList* ParameterList();

// The setting globals, in registration order. Each is named "Param" followed by the words of its
// key, accents dropped and blanks removed:
//   1 ParamTop                           "Top"
//   2 ParamLeft                          "Left"
//   3 ParamVolume                        "Volume"
//   4 ParamCamform1Left                  "Camform 1 left"
//   5 ParamCamform2Left                  "Camform 2 left"
//   6 ParamCamform1Top                   "Camform 1 top"
//   7 ParamCamform2Top                   "Camform 2 top"
//   8 ParamStandardDV                    "Standard DV"
//   9 ParamProfileWmv                    "Profile wmv"
//  10 ParamFrequenceDV                   "FrequenceDV"
//  11 ParamRatioDV                       "RatioDV"
//  12 ParamRatioDivX                     "Ratio DivX"
//  13 ParamCorrectionSync                "Correction Sync"
//  14 ParamFramerate                     "Framerate"
//  15 ParamIncrustRec                    "IncrustRec"
//  16 ParamDureeIncruster                "Durée Incruster"
//  17 ParamWhenIncrust                   "When Incrust"
//  18 ParamNoDatecode                    "No Datecode"
//  19 ParamDecalageHoraire               "Décalage Horaire"
//  20 ParamDecalageAvance                "Décalage avancé"
//  21 ParamExtensionDesImages            "Extension des images"
//  22 ParamQualiteJPeg                   "Qualité JPeg"
//  23 ParamVersionWmv                    "Version wmv"
//  24 ParamValeurIntervallometre         "Valeur Intervallomètre"
//  25 ParamUnitesIntervallometre         "Unités Intervallomètre"
//  26 ParamPanneauActif                  "Panneau Actif"
//  27 ParamAspectRatio                   "Aspect ratio"
//  28 ParamWideScreen                    "WideScreen"
//  29 ParamPluginsDir                    "Plugins Dir"
//  30 ParamVideoDirectory                "Video Directory"
//  31 ParamVideoRacine                   "Video Racine"
//  32 ParamImageDirectory                "Image Directory"
//  33 ParamImageRacine                   "Image Racine"
//  34 ParamPelorin                       "Pelorin"
//  35 ParamSourceVideo                   "Source video"
//  36 ParamSourceAudio                   "Source Audio"
//  37 ParamCaptureFormat                 "Capture Format"
//  38 ParamAudioType                     "Audio Type"
//  39 ParamSoundCardEntry                "Sound Card Entry"
//  40 ParamProfilWindowsMedia            "Profil Windows media"
//  41 ParamPreferredWmvProfile           "Preferred  wmv profile"
//  42 ParamDefaultProfile                "Default Profile"
//  43 ParamDivxFavori                    "Divx favori"
//  44 ParamWantMp3                       "Want Mp3"
//  45 ParamFrequenceDVNative             "Frequence DV native"
//  46 ParamGarderFormatDV                "Garder Format DV"
//  47 ParamDemiTaille                    "Demi Taille"
//  48 ParamNotifier                      "Notifier"
//  49 ParamInternalDeinterlacer          "Internal Deinterlacer"
//  50 ParamEcranGauche                   "EcranGauche"
//  51 ParamPreviewLocked                 "Preview Locked"
//  52 ParamActiverSuperposition          "Activer Superposition"
//  53 ParamWantIncrust                   "Want Incrust"
//  54 ParamWantVertFlip                  "Want vert Flip"
//  55 ParamWantHorzFlip                  "Want Horz flip"
//  56 ParamWantWidescreen                "Want Widescreen"
//  57 ParamWantVideoSource               "Want video source"
//  58 ParamWantAudioSource               "Want audio source"
//  59 ParamWantFormatCapture             "Want Format capture"
//  60 ParamRaccourcisSort                "Raccourcis Sort"
//  61 ParamFullscreenOn                  "Fullscreen On"
//  62 ParamReducedOn                     "Reduced on"
//  63 ParamMuteOn                        "Mute On"
//  64 ParamStopperCameraDV1EnQuittant    "Stopper camera DV 1 en quittant"
//  65 ParamStopperCameraDV2EnQuittant    "Stopper camera DV 2 en quittant"
//  66 ParamVideoDate                     "Video Date"
//  67 ParamImageDate                     "Image date"
//  68 ParamShowVideoPilotDV              "Show Video Pilot DV"
//  69 ParamShowAudioPilotDV              "Show Audio Pilot DV"
//  70 ParamSauverPreferencesEnQuittant   "Sauver préférences en quittant"
//  71 ParamConfirmerImage                "Confirmer Image"
//  72 ParamConfirmerVideo                "Confirmer Video"
//  73 ParamMpeg2RatioNormal              "Mpeg2 Ratio Normal"
//  74 ParamScn                           "Scn"
//  75 ParamDVDemiSiDivX                  "DV demi si DivX"
//  76 ParamBeeps                         "Beeps"
//  77 ParamSourcesExclues                "Sources Exclues"
//  78 ParamVideoInputSelect              "Video Input Select"
//  79 ParamFreezePreview                 "Freeze Preview"
//  80 ParamFreezeCapture                 "Freeze Capture"
// They exist from CreateParameters until the program ends and are never null afterwards.
extern TIntegerParameter* ParamTop;
extern TIntegerParameter* ParamLeft;
extern TIntegerParameter* ParamVolume;
extern TIntegerParameter* ParamCamform1Left;
extern TIntegerParameter* ParamCamform2Left;
extern TIntegerParameter* ParamCamform1Top;
extern TIntegerParameter* ParamCamform2Top;
extern TstandardDVParameter* ParamStandardDV;
extern TIntegerParameter* ParamProfileWmv;
extern TFrequenceDVParameter* ParamFrequenceDV;
extern TRatioDVParameter* ParamRatioDV;
extern TAspectRatioParameter* ParamRatioDivX;
extern TIntegerParameter* ParamCorrectionSync;
extern TRealParameter* ParamFramerate;
extern TincrustRecParameter* ParamIncrustRec;
extern TIntegerParameter* ParamDureeIncruster;
extern TWhenIncrustParameter* ParamWhenIncrust;
extern TWideStringParameter* ParamNoDatecode;
extern TRealParameter* ParamDecalageHoraire;
extern TBooleanParameter* ParamDecalageAvance;
extern TIntegerParameter* ParamExtensionDesImages;
extern TIntegerParameter* ParamQualiteJPeg;
extern TIntegerParameter* ParamVersionWmv;
extern TIntegerParameter* ParamValeurIntervallometre;
extern TIntegerParameter* ParamUnitesIntervallometre;
extern TframeNumberParameter* ParamPanneauActif;
extern TAspectRatioParameter* ParamAspectRatio;
extern TBooleanParameter* ParamWideScreen;
extern TWideStringParameter* ParamPluginsDir;
extern TWideStringParameter* ParamVideoDirectory;
extern TWideStringParameter* ParamVideoRacine;
extern TWideStringParameter* ParamImageDirectory;
extern TWideStringParameter* ParamImageRacine;
extern TWideStringParameter* ParamPelorin;
extern TWideStringParameter* ParamSourceVideo;
extern TWideStringParameter* ParamSourceAudio;
extern TFormatCaptureParameter* ParamCaptureFormat;
extern TWideStringParameter* ParamAudioType;
extern TWideStringParameter* ParamSoundCardEntry;
extern TWideStringParameter* ParamProfilWindowsMedia;
extern TWideStringParameter* ParamPreferredWmvProfile;
extern TBooleanParameter* ParamDefaultProfile;
extern TWideStringParameter* ParamDivxFavori;
extern TBooleanParameter* ParamWantMp3;
extern TBooleanParameter* ParamFrequenceDVNative;
extern TBooleanParameter* ParamGarderFormatDV;
extern TBooleanParameter* ParamDemiTaille;
extern TBooleanParameter* ParamNotifier;
extern TBooleanParameter* ParamInternalDeinterlacer;
extern TBooleanParameter* ParamEcranGauche;
extern TBooleanParameter* ParamPreviewLocked;
extern TBooleanParameter* ParamActiverSuperposition;
extern TBooleanParameter* ParamWantIncrust;
extern TBooleanParameter* ParamWantVertFlip;
extern TBooleanParameter* ParamWantHorzFlip;
extern TBooleanParameter* ParamWantWidescreen;
extern TWideStringParameter* ParamWantVideoSource;
extern TWideStringParameter* ParamWantAudioSource;
extern TWideStringParameter* ParamWantFormatCapture;
extern TRaccourcisSortParameter* ParamRaccourcisSort;
extern TBooleanParameter* ParamFullscreenOn;
extern TBooleanParameter* ParamReducedOn;
extern TBooleanParameter* ParamMuteOn;
extern TBooleanParameter* ParamStopperCameraDV1EnQuittant;
extern TBooleanParameter* ParamStopperCameraDV2EnQuittant;
extern TBooleanParameter* ParamVideoDate;
extern TBooleanParameter* ParamImageDate;
extern TBooleanParameter* ParamShowVideoPilotDV;
extern TBooleanParameter* ParamShowAudioPilotDV;
extern TBooleanParameter* ParamSauverPreferencesEnQuittant;
extern TBooleanParameter* ParamConfirmerImage;
extern TBooleanParameter* ParamConfirmerVideo;
extern TBooleanParameter* ParamMpeg2RatioNormal;
extern TBooleanParameter* ParamScn;
extern TBooleanParameter* ParamDVDemiSiDivX;
extern TBooleanParameter* ParamBeeps;
extern TWideStringParameter* ParamSourcesExclues;
extern TIntegerParameter* ParamVideoInputSelect;
extern TBooleanParameter* ParamFreezePreview;
extern TBooleanParameter* ParamFreezeCapture;

// Ranges of the integer settings, as their controls offer them.
constexpr std::int32_t kMaxVolume = 10000;
constexpr std::int32_t kMinJpegQuality = 1;
constexpr std::int32_t kMaxJpegQuality = 100;
constexpr std::int32_t kMaxIntervalValue = 999999;
constexpr std::int32_t kMaxOverlaySeconds = 999999;

// A frame rate an image-by-image recording can be given: a number above 0 whose time scale
// (1,000,000 / rate, rounded) fits a stream header, from about 0.00023 up to (not including)
// 2,000,000 frames per second. "Framerate" outside it loads as its default.
bool FramerateValid(double Fps);

// Decides the storage mode (an INI file beside the executable: 1; else a registry "Exename" equal
// to the executable's path without regard to case: 0; else 2), creates the eighty parameters with
// their defaults (screen and main window sizes, folders, the clip browser's path) and loads them,
// each value in the range of the control that shows it (the window places are the main window's
// to bring onto a screen).
// Called once by the main window; a further call replaces the parameters (the list is emptied).
void CreateParameters();
// Saves the parameter list in the current storage mode; discards every failure. True when the
// store was written.
bool SaveParameters();
// Removes the program's registry key, and the maker's key when nothing else remains below it.
void DeleteRegistrySettings();
// Removes the INI file, read-only or not.
void DeleteIniSettings();
// The text value ValueName of RootKey\KeyPath; empty when the key or the value is missing or
// unreadable.
std::wstring ReadRegistryWideString(HKEY RootKey, const std::wstring& KeyPath, const std::wstring& ValueName);

}  // namespace settings
