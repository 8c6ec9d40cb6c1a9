// Resource ids of Kelvo.exe.
#pragma once

#define IDD_KELVO_DIALOG 102
#define IDC_LABEL_BOTTOM 1019
#define IDC_DEVICE_STATUS 1029
#define IDC_WEB_LINK 1026
