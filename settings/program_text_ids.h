/* Identifiers of the program's string-table texts (program_texts.rc). Plain C preprocessor
   definitions: the resource compiler reads this file too. Range 2000-2099 is this table's. */
#ifndef QUILL_SETTINGS_PROGRAM_TEXT_IDS_H
#define QUILL_SETTINGS_PROGRAM_TEXT_IDS_H

/* Source lists */
#define IDS_NO_VIDEO_STREAM 2000
#define IDS_NO_AUDIO_STREAM 2001
/* Device settings menus */
#define IDS_NO_SETTINGS_TAB 2002
/* Schedule status */
#define IDS_CAPTURE_UNTIL 2003
#define IDS_START_AT 2004
#define IDS_PROGRAMMATION 2005
/* Capture status */
#define IDS_DURATION 2006
#define IDS_FRAMES 2007
#define IDS_LOST_FRAMES 2008
/* Picture status */
#define IDS_EVERY 2009
/* Preview status: pieces appended to one another */
#define IDS_PREVIEW 2010
#define IDS_PREVIEW_IN 2011
#define IDS_PREVIEW_4X3 2012
#define IDS_PREVIEW_16X9 2013
#define IDS_PREVIEW_MUTE 2014
#define IDS_PREVIEW_FLIP_H 2015
#define IDS_PREVIEW_FLIP_V 2016
/* Disk status */
#define IDS_FREE_MB 2017
/* Messages */
#define IDS_CANNOT_CHANGE_VIDEO_SOURCES 2018

/* Capture format names */
#define IDS_FORMAT_NONE 2020
#define IDS_FORMAT_DV1_NATIVE 2021
#define IDS_FORMAT_DV2_NATIVE 2022
#define IDS_FORMAT_MPEG1_NATIVE 2023
#define IDS_FORMAT_MPEG2_NATIVE 2024
#define IDS_FORMAT_AVI_NATIVE 2025
#define IDS_FORMAT_IMAGE_BY_IMAGE 2026
#define IDS_FORMAT_DV2_RECOMP 2027
#define IDS_FORMAT_WMV 2028
#define IDS_FORMAT_DIVX 2029
#define IDS_FORMAT_DEFAULT 2030
#define IDS_FORMAT_SHORT_NATIVE 2031
#define IDS_FORMAT_SHORT_DV2_REC 2032
#define IDS_FORMAT_WAV 2033
#define IDS_FORMAT_MP3 2034

/* DV audio frequency names */
#define IDS_DV_FREQUENCY_NATIVE 2040
#define IDS_DV_FREQUENCY_32000 2041
#define IDS_DV_FREQUENCY_44100 2042
#define IDS_DV_FREQUENCY_48000 2043

/* Error report */
#define IDS_ERROR_FATAL 2050
#define IDS_ERROR_POTENTIAL_ISSUES 2051
#define IDS_ERROR_IS_SORRY 2052
#define IDS_ERROR_ON_YOUR_SYSTEM 2053
#define IDS_ERROR_SEND_MAIL 2054
#define IDS_ERROR_GET_HELP 2055

/* DirectX version and beeps */
#define IDS_ERROR_TEXT 2060
#define IDS_BEEP0 2061
#define IDS_BEEP1 2062

#endif
