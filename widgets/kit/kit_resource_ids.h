// Identifiers of the widget kit's strings (kit_resources.rc), shared by the .rc and the code.
#pragma once

#define IDS_KIT_PREV_MONTH 61258
#define IDS_KIT_PREV_YEAR 61259
#define IDS_KIT_NEXT_MONTH 61260
#define IDS_KIT_NEXT_YEAR 61261
#define IDS_KIT_SELECT_DATE 61262
