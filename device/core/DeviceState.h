#pragma once
// Device state shared by the main window, the update worker and the report reader.

#include <atomic>

// COM port number on which the tool last identified itself; -1 none. Written
// on the user-interface thread (and by identifications), read by workers.
extern std::atomic<int> g_nDevicePort;
