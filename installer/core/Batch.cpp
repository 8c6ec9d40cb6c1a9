#include "installer/core/Batch.h"

#include "installer/core/InstallTexts.h"
#include "app/core/texts.h"

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

bool InboxDriverServes(unsigned long major) { return major >= 10; }

bool DriverFailed(const DriverOutcome& o)
{
    switch (o.kind) {
    case DriverStepKind::Missing:
    case DriverStepKind::NotStarted:
    case DriverStepKind::StillRunning:
        return true;
    case DriverStepKind::Ran:
        return o.exitCode != 0 && o.exitCode != 4;
    default:
        return false;
    }
}

std::wstring DriverOutcomeText(const DriverOutcome& o)
{
    switch (o.kind) {
    case DriverStepKind::LeftAlone: return Text(kTextDriverLeftAlone);
    case DriverStepKind::Inbox: return Text(kTextDriverInbox);
    case DriverStepKind::NoBatch: return L"";
    case DriverStepKind::Missing: return FillIn(Text(kTextDriverFailed), {L"missing", o.batch});
    case DriverStepKind::NotStarted:
        return FillIn(Text(kTextDriverFailed), {L"cmd " + std::to_wstring(o.exitCode), o.batch});
    case DriverStepKind::StillRunning: return FillIn(Text(kTextDriverFailed), {L"no answer", o.batch});
    case DriverStepKind::Ran:
        if (o.exitCode == 0)
            return Text(kTextDriverDone);
        if (o.exitCode == 4)
            return Text(kTextDriverRestart);
        if (o.exitCode == 3)
            return FillIn(Text(kTextDriverRefused), {o.batch});
        return FillIn(Text(kTextDriverFailed), {std::to_wstring(o.exitCode), o.batch});
    }
    return L"";
}

} // namespace kelvo::install
