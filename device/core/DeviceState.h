#pragma once
// Device state shared by the main window, the update worker and the report reader.

// COM port number on which the tool last identified itself; -1 none. A single
// word written on the user-interface thread, read by workers.
extern int g_nDevicePort;
