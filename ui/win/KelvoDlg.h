#pragma once
// CKelvoDlg: the main window (template 102).
#include "framework/afx.h"

class CKelvoDlg : public CDialog {
public:
    CKelvoDlg() : CDialog(102) {}

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
