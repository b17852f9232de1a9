// Identifiers of the string resources of the wide-text tests.
#pragma once
#define IDS_FIRST 1
#define IDS_CAFE 2
#define IDS_SIXTEEN 16
#define IDS_SEVENTEEN 17
#define IDS_HUNDRED 100
#define IDS_DAMAGED_BLOCK 1000
#define IDS_DAMAGED_FIRST 15984
