// Resource ids of the program's windows, pictures and icons.
#pragma once

// Icons and symbol bitmaps.
#define IDI_APP_ICON            103
#define IDB_SYMBOL_AUDIO        105
#define IDB_SYMBOL_VIDEO        106
#define IDB_SYMBOL_PICTURE      107

// Result window.
#define IDD_RESULT              114
#define IDC_RESULT_COUNT        1003
#define IDC_RESULT_INFO         1005
#define IDC_RESULT_SELECT_ALL   40021
#define IDC_RESULT_DESELECT_ALL 40022
#define IDC_RESULT_LIST         40027
#define IDC_RESULT_OPEN_APP     40042
