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

// Threads started by AfxBeginThread that have not returned yet.
int AfxRunningThreads();
// Waits up to ms for every such thread to return; true when none is left.
// Call it with no window of this thread alive that a worker might send to.
bool AfxWaitForThreads(DWORD ms);
