#pragma once
// The program's taskbar button during a firmware update: it shows how far the
// transfer is, turns to the error state when it fails, and flashes at the end
// when the user is working in another window, so a write of several minutes
// does not end unseen.
namespace kelvo {

// The taskbar button as the update sees it (ITaskbarList3 and FlashWindowEx
// on Windows; a recorder in the tests).
class ITaskbarButton {
public:
    enum class State { kNone, kNormal, kError };
    virtual ~ITaskbarButton() = default;
    virtual void SetState(State state) = 0;
    virtual void SetProgress(int percent) = 0;  // 0..100, in the normal or error state
    virtual bool InFront() const = 0;           // the program's window is the foreground one
    virtual void Flash() = 0;                   // until the user comes back to it

protected:
    ITaskbarButton() = default;
};

class TaskbarProgress {
public:
    explicit TaskbarProgress(ITaskbarButton& button) : m_button(button) {}

    // A transfer starts (download or write): an empty bar.
    void Started();
    // The row being transferred reports its percentage (out of range is clamped).
    void Progress(int percent);
    // The outcome: a failure leaves the bar in the error state at its last
    // value; success takes the bar away. Either flashes when not in front.
    void Failed();
    void Done();
    int Percent() const { return m_percent; }

private:
    void FlashIfBehind();

    ITaskbarButton& m_button;
    int m_percent = 0;
    bool m_running = false;
};

} // namespace kelvo
