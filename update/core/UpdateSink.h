#pragma once
// How the update core reports: progress and status of a list row, message
// boxes by text number. The core reports through its sink only; the host
// decides where a box shows (the Windows side: on the window's own thread,
// whatever thread the core runs on). Tests record.
#include "update/core/UpdateTexts.h"

#include <string>

namespace kelvo {

class IUpdateSink {
public:
    virtual ~IUpdateSink() = default;
    virtual void Progress(int row, int percent) = 0;
    // `text` stays valid only during the call.
    virtual void Status(int row, const std::wstring& text) = 0;
    // The message box of text number `number` (caption "Kelvo", `flags` as
    // MessageBox's); returns the button pressed. Blocks until it is answered.
    virtual int Tell(int number, unsigned flags) = 0;
};

} // namespace kelvo
