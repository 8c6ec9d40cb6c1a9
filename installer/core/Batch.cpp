#include "installer/core/Batch.h"

namespace kelvo::install {

const wchar_t* DriverBatchFile(Wow64Answer answer) { return answer == Wow64Answer::Yes ? L"x64.bat" : L"x86.bat"; }

} // namespace kelvo::install
