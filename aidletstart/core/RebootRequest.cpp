#include "aidletstart/core/RebootRequest.h"

namespace aidletstart {

bool IsRebootRequest(const std::vector<std::wstring>& arguments)
{
    return arguments.size() == 2 && arguments[0] == L"zendrix" && arguments[1] == L"reboot";
}

} // namespace aidletstart
