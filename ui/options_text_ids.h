/* Identifiers of the settings panel's string-table texts (options_texts.rc). Plain C preprocessor
   definitions: the resource compiler reads this file too. Range 3600-3699 is this table's. */
#ifndef QUILL_OPTIONS_TEXT_IDS_H
#define QUILL_OPTIONS_TEXT_IDS_H

#define IDS_OPT_GROUPBOX1 3600
#define IDS_OPT_TSPREF 3601
#define IDS_OPT_CONFIRMER_VIDEO_HINT 3602
#define IDS_OPT_CONFIRMER_VIDEO 3603
#define IDS_OPT_CONFIRMER_IMAGE_HINT 3604
#define IDS_OPT_CONFIRMER_IMAGE 3605
#define IDS_OPT_NOTIFIER 3606
#define IDS_OPT_NOTIFIER_HINT 3607
#define IDS_OPT_SUPERPOSITION_HINT 3608
#define IDS_OPT_SUPERPOSITION 3609
#define IDS_OPT_TSWMV 3610
#define IDS_OPT_GBPROFILES_HINT 3611
#define IDS_OPT_GBPROFILES 3612
#define IDS_OPT_LABEL1 3613
#define IDS_OPT_VERSION_4 3614
#define IDS_OPT_VERSION_7 3615
#define IDS_OPT_VERSION_8 3616
#define IDS_OPT_RGPROFILES_HINT 3617
#define IDS_OPT_RGPROFILES 3618
#define IDS_OPT_PROFILE_HIGH 3619
#define IDS_OPT_PROFILE_MEDIUM 3620
#define IDS_OPT_PROFILE_LOW 3621
#define IDS_OPT_PROFILE_INTERNET 3622
#define IDS_OPT_DEFAULT_PROFILE 3623
/* The entry of a system profile that records no video. */
#define IDS_OPT_SOUND_ONLY_PROFILE 3690
#define IDS_OPT_GBDIVX 3624
#define IDS_OPT_PROPDIVX_HINT 3625
#define IDS_OPT_PROPDIVX 3626
#define IDS_OPT_VERSIONDIVX_HINT 3627
#define IDS_OPT_VERSIONDIVX 3628
#define IDS_OPT_CBOXDIVX_HINT 3629
#define IDS_OPT_CBOXDIVX 3630
#define IDS_OPT_GBMP3 3631
#define IDS_OPT_LABEL3 3632
#define IDS_OPT_PROPMP3_HINT 3633
#define IDS_OPT_PROPMP3 3634
#define IDS_OPT_BITRATE_HINT 3635
#define IDS_OPT_RATE_32 3636
#define IDS_OPT_RATE_40 3637
#define IDS_OPT_RATE_48 3638
#define IDS_OPT_RATE_56 3639
#define IDS_OPT_RATE_64 3640
#define IDS_OPT_RATE_80 3641
#define IDS_OPT_RATE_96 3642
#define IDS_OPT_RATE_112 3643
#define IDS_OPT_RATE_128 3644
#define IDS_OPT_RATE_160 3645
#define IDS_OPT_RATE_192 3646
#define IDS_OPT_RATE_224 3647
#define IDS_OPT_RATE_256 3648
#define IDS_OPT_RATE_320 3649
#define IDS_OPT_CBMP3_HINT 3650
#define IDS_OPT_CBMP3 3651
#define IDS_OPT_MEMOMP3_1 3652
#define IDS_OPT_MEMOMP3_2 3653
#define IDS_OPT_TSJPEG 3654
#define IDS_OPT_EXTENSION_HINT 3655
#define IDS_OPT_EXTENSION_BMP 3656
#define IDS_OPT_EXTENSION_JPEG 3657
#define IDS_OPT_GBQUALITY_HINT 3658
#define IDS_OPT_GBQUALITY 3659
#define IDS_OPT_LABQUALITY 3660
#define IDS_OPT_DEINTERLACER 3661
#define IDS_OPT_DEINTERLACER_HINT 3662

/* What a close or a script run tells the user: settings that could not be written, a script not
   run because another one runs. */
#define IDS_OPT_NOT_SAVED 3680
#define IDS_OPT_SCRIPT_BUSY 3681
/* A native MPEG recording that goes on without its sound: the status bar's red word, the sound
   label's text. */
#define IDS_OPT_NO_SOUND 3682
#define IDS_OPT_NO_SOUND_LABEL 3683

/* The fourteen bit rates, in list order. */
#define IDS_OPT_RATE_FIRST IDS_OPT_RATE_32
#define IDS_OPT_RATE_COUNT 14

#endif
