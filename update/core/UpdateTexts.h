#pragma once
// The update core's texts: the language text of a text number (a lookup
// tests may replace), the numbers it uses, and the message box a sink's host
// shows for one.
#include <functional>
#include <string>

namespace kelvo {

// The language text of a text number (GetText); tests may put their own
// lookup in place, an empty function restores GetText.
std::wstring UpdateText(int number);
void SetUpdateTextSource(std::function<std::wstring(int)> source);

// A message box with the language text of `number` (caption "Kelvo"), shown
// by the calling thread: for the hosts of the sinks.
int ShowUpdateMessage(int number, unsigned flags = 0);

// Text numbers used by the update core.
enum UpdateTextNumber : int {
    kTextDownloadComplete = 25,    // FF 00 00 00 00 19
    kTextDownloadIncomplete = 26,  // FF 00 00 00 00 1A
    kTextNoToolConnected = 58,     // FF 00 00 00 00 3A
    kTextFileUnreadable = 63,      // FF 00 00 00 00 3F
    kTextPackageWritten = 64,      // FF 00 00 00 00 40
    kTextPortUnavailable = 66,     // FF 00 00 00 00 42
    kTextTransferFailed = 67,      // FF 00 00 00 00 43
    kTextErasing = 68,             // FF 00 00 00 00 44
    kTextWriting = 69,             // FF 00 00 00 00 45
    kTextNetworkFailure = 70,      // FF 00 00 00 00 46
    kTextNothingNewer = 78,        // FF 00 00 00 00 4E
    kTextNoLocalPackage = 79,      // FF 00 00 00 00 4F
    kTextConfirmWrite = 80,        // FF 00 00 00 00 50
    kTextInvalidPackage = 83,      // FF 00 00 00 00 53
    kTextOtherModel = 84,          // FF 00 00 00 00 54
    kTextNotSignedByMaker = 150,   // a package the maker's signed list does not vouch for
    kTextUnsigned = 151,           // a server row without a signed list
};

} // namespace kelvo
