#pragma once
// AfxBeginThread: a worker thread at normal priority, running at once.
#include <windows.h>

typedef UINT (*AFX_THREADPROC)(LPVOID);

struct CWinThread {
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
};

// Returns null when the thread could not be started. The thread object lives
// as long as the thread (it is freed when the procedure returns).
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param);
