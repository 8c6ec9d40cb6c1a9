#include "installer/core/Batch.h"

namespace kelvo::install {

const wchar_t* DriverBatchFile(Wow64Answer answer) { return answer == Wow64Answer::Yes ? L"x64.bat" : L"x86.bat"; }

const wchar_t* DriverBatchForMachine(unsigned short nativeMachine)
{
    switch (nativeMachine) {
    case kMachineAmd64: return L"x64.bat";
    case kMachineI386: return L"x86.bat";
    // ARM64 and any machine the driver package has no section for.
    default: return nullptr;
    }
}

} // namespace kelvo::install
