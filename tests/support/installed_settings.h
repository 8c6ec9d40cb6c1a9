#pragma once
// The settings file as the installation holds it (resources/dist/Kelvo.cfg),
// with the language and the update server a test wants.
#include <string>

namespace kelvo::test {

inline std::string InstalledSettings(int language = 0,
                                     const std::string& downloadLink = "http://update.zendrix-tools.com/Update/")
{
    return "[Update]\r\nQB345= V1.04\r\n\r\n[DTC]\r\nHistoryNum= 1\r\n\r\nHistoryNum01 = P0135\r\n[Setting]\r\n"
           "Language = " + std::to_string(language) + "\r\nSkin = 2\r\nAutoUpdate = 0\r\nDownloadLink = " +
           downloadLink + "\r\n";
}

} // namespace kelvo::test
