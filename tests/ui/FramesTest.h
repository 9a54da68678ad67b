// Resource ids of the settings and wizard frame tests (tests/ui/FramesTest.rc).
#pragma once

#define IDD_FRAME_SETTINGS 3300
#define IDD_FRAME_WIZARD 3301
#define IDD_FRAME_PAGE 3302

#define IDC_FRAME_HEADER 3310
#define IDC_FRAME_AREA 3311
#define IDC_FRAME_TREE 3312
#define IDC_FRAME_BACK 7
#define IDC_PAGE_LABEL 3320
#define IDC_PAGE_EDIT 3321
