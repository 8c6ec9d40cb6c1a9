#pragma once
// The program's taskbar button on Windows: ITaskbarList3 for the progress and
// the error state, FlashWindowEx to draw the eye back.
#include "update/core/TaskbarProgress.h"

#include <windows.h>

struct ITaskbarList3;

namespace kelvo {

class WinTaskbarButton : public ITaskbarButton {
public:
    // `window`: any window of the program; its top-level window owns the button.
    explicit WinTaskbarButton(HWND window) : m_window(window) {}
    ~WinTaskbarButton() override;
    WinTaskbarButton(const WinTaskbarButton&) = delete;
    WinTaskbarButton& operator=(const WinTaskbarButton&) = delete;

    void SetWindow(HWND window) { m_window = window; }

    void SetState(State state) override;
    void SetProgress(int percent) override;
    bool InFront() const override;
    void Flash() override;

private:
    HWND TopLevel() const;
    ITaskbarList3* List();  // null where the shell offers none

    HWND m_window;
    ITaskbarList3* m_list = nullptr;
    bool m_tried = false;
};

} // namespace kelvo
