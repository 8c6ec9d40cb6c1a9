#include "update/core/TaskbarProgress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kelvo::ITaskbarButton;
using kelvo::TaskbarProgress;

namespace {

// Records what the taskbar button was told, one line per call.
class RecordingButton : public ITaskbarButton {
public:
    void SetState(State s) override
    {
        log.push_back(s == State::kNone ? "none" : s == State::kNormal ? "normal" : "error");
    }
    void SetProgress(int percent) override { log.push_back(std::to_string(percent)); }
    bool InFront() const override { return front; }
    void Flash() override { log.push_back("flash"); }

    std::vector<std::string> log;
    bool front = true;
};

using Log = std::vector<std::string>;

} // namespace

TEST(TaskbarProgress, FollowsTheTransferPercentagesAndClearsOnSuccess)
{
    RecordingButton button;
    TaskbarProgress bar(button);
    bar.Started();
    for (int p : {0, 5, 5, 40, 99, 100})
        bar.Progress(p);
    EXPECT_EQ(bar.Percent(), 100);
    bar.Done();
    // A repeated percentage is told once; the window in front is not flashed.
    EXPECT_EQ(button.log, (Log{"normal", "0", "5", "40", "99", "100", "none"}));

    // A download then its write: each phase runs from the start of the bar.
    button.log.clear();
    bar.Progress(-3);  // a report without a start starts the bar; clamped
    bar.Progress(250);
    bar.Started();
    bar.Progress(30);
    EXPECT_EQ(button.log, (Log{"normal", "0", "100", "normal", "0", "30"}));
}

TEST(TaskbarProgress, AFailureShowsTheErrorStateAndFlashesWhenBehind)
{
    RecordingButton button;
    button.front = false;
    TaskbarProgress bar(button);
    bar.Started();
    bar.Progress(62);
    bar.Failed();
    EXPECT_EQ(button.log, (Log{"normal", "0", "62", "error", "62", "flash"}));

    // Failing before any progress still shows the error, on a full bar.
    button.log.clear();
    bar.Started();
    bar.Failed();
    EXPECT_EQ(button.log, (Log{"normal", "0", "error", "100", "flash"}));

    // Success while another window is in front flashes too.
    button.log.clear();
    bar.Started();
    bar.Done();
    EXPECT_EQ(button.log, (Log{"normal", "0", "none", "flash"}));
}
