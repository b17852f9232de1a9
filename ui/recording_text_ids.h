/* Identifiers of the recording's texts (recording_texts.rc): the questions and messages of a
   start, a stop, a cut and a schedule, and the captions and hints of the capture state's looks.
   Plain C preprocessor definitions: the resource compiler reads this file too. Range 3200-3249. */
#ifndef QUILL_UI_RECORDING_TEXT_IDS_H
#define QUILL_UI_RECORDING_TEXT_IDS_H

#define IDS_REC_FILE_EXISTS 3200
#define IDS_REC_CRUSH 3201
#define IDS_REC_ALL_NO_MORE 3202
#define IDS_REC_FOLDER 3203
#define IDS_REC_FOLDER_MISSING 3204
#define IDS_REC_CREATE_FOLDER 3205
#define IDS_REC_LOST_FRAMES 3206
#define IDS_REC_PAST_END 3207
#define IDS_REC_PAST_START 3208
#define IDS_REC_START_NOW 3209
#define IDS_REC_END_BEFORE_START 3210
#define IDS_REC_CANNOT_START 3211
#define IDS_REC_CAPTURE 3212
#define IDS_REC_STOP_CAPTURE 3213
#define IDS_REC_START_HINT 3214
#define IDS_REC_STOP_HINT 3215
#define IDS_REC_SCHEDULE 3216
#define IDS_REC_START_SCHEDULING 3217
#define IDS_REC_STOP_PROG 3218
#define IDS_REC_STOP_SCHEDULING 3219
#define IDS_REC_ONE_MINUTE 3220
#define IDS_REC_THIRTY_ONE_MINUTES 3221
#define IDS_REC_DISK_FULL 3222
#define IDS_REC_SOURCES_KEPT 3223
#define IDS_REC_LATE_START 3224
#define IDS_REC_NO_WMV_WRITER 3225
#define IDS_REC_NO_WMV_PROFILES 3226
#define IDS_REC_NO_SOURCE 3227
#define IDS_REC_NAME_REFUSED 3228
/* An older file that could not go back under its name when its replacement wrote nothing. */
#define IDS_REC_OLDER_KEPT 3229
/* A recording that was frozen from its start to its stop. */
#define IDS_REC_FROZEN_NOTHING 3230
/* A file whose name the file system refuses as too long for its folder. */
#define IDS_REC_NAME_TOO_LONG 3236
/* A sound input that could not be opened, or stopped giving sound. */
#define IDS_REC_SOUND_NOT_OPENED 3238
#define IDS_REC_SOUND_FAILED 3239
/* Why a sound input that gave nothing since the recording began is told as one that stopped. */
#define IDS_REC_SOUND_NONE 3231
/* What keeps a recording's file from being written, and a recording stopped by a failed write. */
#define IDS_REC_NO_FOLDER 3240
#define IDS_REC_IS_FOLDER 3241
#define IDS_REC_IN_USE 3242
#define IDS_REC_CANNOT_WRITE 3243
#define IDS_REC_WRITE_FAILED 3244
#define IDS_REC_WRITTEN_KEPT 3245
/* A recording that could not run, be finished, stopped or cut as asked. */
#define IDS_REC_CANNOT_RUN 3246
#define IDS_REC_NOT_FINISHED 3247
#define IDS_REC_STOP_FAILED 3248
#define IDS_REC_CUT_FAILED 3249
/* A cut that passed over a name whose file could not be written. */
#define IDS_REC_GOES_ON 3250
/* A file that looks like an older file moved aside, without the record that tells whose it is. */
#define IDS_REC_OLDER_UNKNOWN 3251
/* An image-by-image recording stopped before its first picture. */
#define IDS_REC_NO_PICTURE 3252
/* An older file given up whose removal a killed copy began, without the record that tells whose. */
#define IDS_REC_GONE_UNKNOWN 3253
/* An older file that a recording replaced and that could not be removed: it stays aside. */
#define IDS_REC_OLDER_LEFT_ASIDE 3254

#endif
