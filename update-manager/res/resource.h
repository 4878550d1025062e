// Resource ids of Kestor's window, menus, About box, bitmaps and icons.
// Shared by the resource script and the code; plain #defines so that the
// resource compiler reads them too.
#pragma once

// The program's own release, shown in the About box and the log header.
#define KESTOR_RELEASE "1.28"

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KESTOR_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_TITLE 132
#define IDR_MENU 133
#define IDI_INFO 136

// System-menu command of the About item.
#define IDM_ABOUTBOX 0x0010

// Controls of the main dialog.
#define IDC_UPDATE_BOX 1000
#define IDC_SUPP_DEVICE_LABEL 1001
#define IDC_SUPP_DEVICE 1002
#define IDC_PACKAGE_REL_LABEL 1003
#define IDC_PACKAGE_REL 1004
#define IDC_DEVICE_BOX 1005
#define IDC_DEV_TYPE_LABEL 1006
#define IDC_DEV_SERIAL_LABEL 1007
#define IDC_DEV_REL_LABEL 1008
#define IDC_DEV_STATUS_LABEL 1009
#define IDC_DEV_TYPE 1010
#define IDC_DEV_SERIAL 1011
#define IDC_DEV_REL 1012
#define IDC_DEV_STATUS 1013
#define IDC_PROGRESS_BOX 1014
#define IDC_STEP_PROGRESS 1015
#define IDC_TOTAL_PROGRESS 1016
#define IDC_STEP_TEXT 1017
#define IDC_TOTAL_LABEL 1018
#define IDC_STEP_LABEL 1019
#define IDC_DET_TYPE_LABEL 1020
#define IDC_TITLE_BITMAP 1022
#define IDC_DET_SERIAL_LABEL 1023
#define IDC_STEP_LIST 1024
#define IDC_DET_DEVICE_BOX 1025
#define IDC_SOFTWARE_BOX 1026
#define IDC_DET_REL_LABEL 1027
#define IDC_DET_STATUS_LABEL 1028
#define IDC_DET_TYPE 1029
#define IDC_DET_SERIAL 1030
#define IDC_DET_REL 1031
#define IDC_DET_STATUS 1032
#define IDC_DETAILS_BUTTON 1033
#define IDC_START_BUTTON 1034
#define IDC_EXIT_BUTTON 1058

// The About box's version line.
#define IDC_ABOUT_VERSION 1023

// Menu commands.
#define ID_HELP_INFO 32771
#define ID_HELP_HELP 32772
#define ID_LANGUAGE_ENGLISH 32779
#define ID_LANGUAGE_LAST 32788
