#pragma once
// A worker's host as tests see it: the events in order, each status text,
// and whether (and how often) the worker asked if the tool is unchanged.
#include "update/core/Workers.h"

#include <string>
#include <vector>

namespace kelvo::test {

struct FakeWorkerHost : IWorkerHost {
    bool toolUnchanged = true;
    int checks = 0;
    std::vector<std::string> events;
    std::vector<std::wstring> statuses;
    void Progress(int, int) override {}
    void Status(int, const std::wstring& text) override { statuses.push_back(text); }
    void Flashing(int) override { events.push_back("flashing"); }
    void Failed() override { events.push_back("failed"); }
    void Done() override { events.push_back("done"); }
    void End(int) override { events.push_back("end"); }
    // Boxes go where the tests watch them (SetMessageSink).
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
    bool ToolUnchanged() override
    {
        ++checks;
        return toolUnchanged;
    }
};

} // namespace kelvo::test
