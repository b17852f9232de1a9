/* Identifiers of the texts of the status bar, the snapshots and the camcorder windows
   (snapshot_texts.rc). Plain C preprocessor definitions: the resource compiler reads this file too.
   Range 3600-3649 is this table's. */
#ifndef QUILL_SNAPSHOT_TEXT_IDS_H
#define QUILL_SNAPSHOT_TEXT_IDS_H

#define IDS_SNAP_BMP_PREFIX 3600
#define IDS_SNAP_JPG_PREFIX 3601
#define IDS_SNAP_INTERVAL_OFF 3602
#define IDS_SNAP_VID 3603
#define IDS_SNAP_AUD 3604
#define IDS_SNAP_AUDIO_WAV 3605
#define IDS_SNAP_AUDIO_MP3 3606
#define IDS_SNAP_IMAGE_EXISTS_1 3607
#define IDS_SNAP_IMAGE_EXISTS_2 3608
#define IDS_SNAP_IMAGE_EXISTS_3 3609
#define IDS_SNAP_IMAGE_BY_IMAGE_LABEL 3610
#define IDS_SNAP_TIMECODE_FORMAT 3611
#define IDS_SNAP_RECORDING_DATE_FORMAT 3612

#endif
