#include "framework/Thread.h"

#include <process.h>

#include <atomic>

namespace {
std::atomic<int> g_running{0};

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
    --g_running;
    return code;
}
} // namespace

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param)
{
    auto* thread = new CWinThread;
    auto* start = new Start{proc, param, thread};
    unsigned id = 0;
    // Suspended until the thread object is complete, then running at once.
    ++g_running;
    uintptr_t h = _beginthreadex(nullptr, 0, &ThreadMain, start, CREATE_SUSPENDED, &id);
    if (!h) {
        --g_running;
        delete start;
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(h);
    thread->m_nThreadID = id;
    ::ResumeThread(thread->m_hThread);
    return thread;
}

int AfxRunningThreads() { return g_running.load(); }

bool AfxWaitForThreads(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (g_running.load() > 0) {
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(10);
    }
    return true;
}
