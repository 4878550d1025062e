// Ids of the bare main dialog (the control ids of the full dialog where used).
#pragma once

#define IDD_KESTOR_DIALOG 102
#define IDC_SUPPORTED_DEVICE 1002
#define IDC_PACKAGE_RELEASE 1004
#define IDC_DEVICE_TYPE 1010
#define IDC_DEVICE_SERIAL 1011
#define IDC_DEVICE_RELEASE 1012
#define IDC_STATUS_TEXT 1013
#define IDC_STEP_PROGRESS 1015
#define IDC_TOTAL_PROGRESS 1016
#define IDC_STEP_TEXT 1017
#define IDC_START_CANCEL 1034
#define IDC_EXIT 1058
