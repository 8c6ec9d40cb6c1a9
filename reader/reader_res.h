// Resource ids of KelvoReader.exe.
#pragma once

#define IDI_READER 1
#define IDD_READER_MESSAGE 100
#define IDC_READER_TEXT 1001
#define IDC_READER_PATH 1002
#define IDC_READER_FOLDER 1003
