#include "update/win/TaskbarButton.h"

#include <shobjidl.h>

namespace kelvo {

WinTaskbarButton::~WinTaskbarButton()
{
    if (m_list)
        m_list->Release();
}

HWND WinTaskbarButton::TopLevel() const { return m_window ? ::GetAncestor(m_window, GA_ROOT) : nullptr; }

ITaskbarList3* WinTaskbarButton::List()
{
    if (m_tried)
        return m_list;
    m_tried = true;
    ITaskbarList3* list = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                     reinterpret_cast<void**>(&list))) &&
        list) {
        if (SUCCEEDED(list->HrInit()))
            m_list = list;
        else
            list->Release();
    }
    return m_list;
}

void WinTaskbarButton::SetState(State state)
{
    ITaskbarList3* list = List();
    if (!list)
        return;
    const TBPFLAG flag = state == State::kNone ? TBPF_NOPROGRESS : state == State::kError ? TBPF_ERROR : TBPF_NORMAL;
    list->SetProgressState(TopLevel(), flag);
}

void WinTaskbarButton::SetProgress(int percent)
{
    if (ITaskbarList3* list = List())
        list->SetProgressValue(TopLevel(), static_cast<ULONGLONG>(percent), 100);
}

bool WinTaskbarButton::InFront() const
{
    HWND top = TopLevel();
    return top && ::GetForegroundWindow() == top;
}

void WinTaskbarButton::Flash()
{
    FLASHWINFO info{};
    info.cbSize = sizeof info;
    info.hwnd = TopLevel();
    info.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;  // until the window comes to the front
    ::FlashWindowEx(&info);
}

} // namespace kelvo
