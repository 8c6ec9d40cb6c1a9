// Resource ids of Kelvo.exe.
#pragma once

#define IDD_KELVO_DIALOG 102
#define IDC_LABEL_BOTTOM 1019
#define IDC_DEVICE_STATUS 1029
#define IDC_WEB_LINK 1026

// Images of the main window, as resources/art/art.rc numbers them.
#define IDI_KELVO 128
#define IDB_BANNER 133
#define IDP_TAB_UPDATE 135
#define IDP_TAB_REPORT 209
#define IDP_TAB_DTC 136
#define IDP_TAB_MANUAL 137
#define IDP_TAB_SETTINGS 138
#define IDP_TAB_FRAME 211
#define IDP_DEVICE_PRESENT 139
#define IDP_DEVICE_ABSENT 140
#define IDP_BUTTON_CLOSE 201
#define IDP_BUTTON_MINIMIZE 202

