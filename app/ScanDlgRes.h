// Resource ids of the scan window.
#pragma once

#define IDD_SCAN                113
#define IDC_SCAN_PROGRESS       1001
#define IDC_SCAN_POSITION       1002
#define IDC_SCAN_COUNTER        1003
