#pragma once
// The identification's host as tests see it: records the name it is given
// and each end of an identification with the port it found (-1 none).
#include "device/core/Identify.h"

#include <string>

namespace kelvo::test {

class FakeDeviceHost : public IDeviceHost {
public:
    std::wstring GetDeviceName() const override { return name; }
    void SetDeviceName(const std::wstring& n) override { name = n; }
    void OnIdentificationEnded() override
    {
        ++ended;
        endedPort = g_nDevicePort;
    }

    std::wstring name;
    int ended = 0;
    int endedPort = -2;
};

} // namespace kelvo::test
