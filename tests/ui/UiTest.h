// Resource ids of the window-framework test program (tests/ui/UiTest.rc).
#pragma once

#define IDD_TEST_PLAIN 100
#define IDD_TEST_SKINNED 101
#define IDD_TEST_SKIN_PAINTERS 102
#define IDA_TEST 200

#define IDC_TEST_LABEL 1001
#define IDC_TEST_EDIT 1002
#define IDC_TEST_NOTE 1003
#define IDC_TEST_FRAMED 1004
#define IDC_TEST_CHECK 1005
#define IDC_TEST_RADIO 1006
#define IDC_TEST_GROUP 1007

#define ID_TEST_COMMAND 40001
