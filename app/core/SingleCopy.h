#pragma once
// The name of the mutex every running Kelvo holds. In the global namespace,
// so that a Kelvo of another user session (fast user switching, a remote
// session) is seen too: the installation folder and the scan tool are shared.
inline constexpr wchar_t kKelvoMutex[] = L"Global\\Vizedarorir Kelvo";
