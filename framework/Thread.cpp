#include "framework/Thread.h"

#include <process.h>

namespace {
struct Start {
    AFX_THREADPROC proc;
    LPVOID param;
    CWinThread* thread;
};

unsigned __stdcall ThreadMain(void* p)
{
    Start s = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    UINT code = s.proc(s.param);
    ::CloseHandle(s.thread->m_hThread);
    delete s.thread;
    return code;
}
} // namespace

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param)
{
    auto* thread = new CWinThread;
    auto* start = new Start{proc, param, thread};
    unsigned id = 0;
    // Suspended until the thread object is complete, then running at once.
    uintptr_t h = _beginthreadex(nullptr, 0, &ThreadMain, start, CREATE_SUSPENDED, &id);
    if (!h) {
        delete start;
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(h);
    thread->m_nThreadID = id;
    ::ResumeThread(thread->m_hThread);
    return thread;
}
