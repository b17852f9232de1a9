/* Identifiers of the texts of the status bar, the snapshots and the camcorder windows
   (snapshot_texts.rc). Plain C preprocessor definitions: the resource compiler reads this file too.
   Range 3700-3749 is this table's. */
#ifndef QUILL_SNAPSHOT_TEXT_IDS_H
#define QUILL_SNAPSHOT_TEXT_IDS_H

#define IDS_SNAP_BMP_PREFIX 3700
#define IDS_SNAP_JPG_PREFIX 3701
#define IDS_SNAP_INTERVAL_OFF 3702
#define IDS_SNAP_VID 3703
#define IDS_SNAP_AUD 3704
#define IDS_SNAP_AUDIO_WAV 3705
#define IDS_SNAP_AUDIO_MP3 3706
#define IDS_SNAP_IMAGE_EXISTS_1 3707
#define IDS_SNAP_IMAGE_EXISTS_2 3708
#define IDS_SNAP_IMAGE_EXISTS_3 3709
#define IDS_SNAP_IMAGE_BY_IMAGE_LABEL 3710
#define IDS_SNAP_TIMECODE_FORMAT 3711
#define IDS_SNAP_RECORDING_DATE_FORMAT 3712
#define IDS_SNAP_NOT_TAKEN_AT_CLOSE 3749

#endif
