#pragma once
// CMannualPage: the documents of the installation's "manual" folder as icons;
// a double click opens one with the program associated with its type, or,
// when there is none, with the reader program shipped in the same folder.
#include "framework/Controls.h"
#include "ui/controls/Page.h"

#include <string>

class CMannualPage : public CPage {
public:
    enum : UINT { IDD = 131, IDC_MANUAL_LIST = 1027 };

    explicit CMannualPage(CWnd* parent = nullptr) : CPage(IDD, parent) {}

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Opens the document shown as `name` ("manual\" + name).
    void OpenDocument(const std::wstring& name);

    CListCtrl m_manualList;
    std::wstring m_readerName;  // the reader program in "manual\", empty when none

private:
    void FillList();
    void OnSize(int cx, int cy);
    // The list's icon spacing for the page's DPI (set again when it changes).
    void SpaceIconsForDpi();
    int m_spacingDpi = 0;

};
