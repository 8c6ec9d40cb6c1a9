#pragma once
// Pages whose own windows come later (report): each
// is an empty child page on its tab, behind the interface the main window uses.
#include "framework/afx.h"
#include "ui/win/PageHosts.h"

class CPrintPage : public CDialog, public IReportPage {
public:
    CPrintPage() : CDialog(200) {}
    void ConnectReportReader() override {}
    void ClearReportBox() override;
};
