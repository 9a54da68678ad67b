// Resource ids of the window-framework test program (tests/ui/UiTest.rc).
#pragma once

#define IDD_TEST_PLAIN 100
#define IDD_TEST_SKINNED 101
#define IDA_TEST 200

#define IDC_TEST_LABEL 1001
#define IDC_TEST_EDIT 1002
#define IDC_TEST_NOTE 1003
#define IDC_TEST_FRAMED 1004

#define ID_TEST_COMMAND 40001
