// Resource ids of the skinned-control tests (tests/ui/ControlsTest.rc).
#pragma once

#define IDD_CONTROLS 3000
#define IDM_CONTROLS 3001

#define IDC_CTL_WIDE 3101
#define IDC_CTL_NARROW 3102
#define IDC_CTL_PLAIN 3103
#define IDC_CTL_CHECK 3110
#define IDC_CTL_RADIO 3111
#define IDC_CTL_LABEL 3120
#define IDC_CTL_MENUTITLE 3121
#define IDC_CTL_LINK 3122
#define IDC_CTL_GROUP 3123
#define IDC_CTL_COMBO 3130
#define IDC_CTL_COLORLIST 3500
#define IDC_CTL_FONTLIST 3501

#define ID_CTL_OPEN 3201
#define ID_CTL_EXIT 3202
#define ID_CTL_MORE 3203
#define ID_CTL_ABOUT 3204
#define ID_CTL_LONG 3205
