#pragma once
// The finish page's account of an installation: whether Kelvo is installed,
// and every file the user must know about by name (the first few, then a
// count): entries skipped, files not written, files in use that a restart
// replaces; and when this system needs no driver step.
#include <string>
#include <vector>

namespace kelvo::install {

struct FinishFacts {
    std::wstring programFolder;  // T + "Kelvo"
    bool noPackage = false;      // the package could not be read at all
    int files = 0;               // files moved into place
    bool haveKelvo = false;      // Kelvo.exe is in the folder now
    int skipped = 0, failed = 0, scheduled = 0;
    std::vector<std::wstring> skippedNames, failedNames, scheduledNames;  // as the package names them
    bool noDriverStep = false;   // ARM64: Windows binds the tool itself
    std::wstring driverText;     // how the driver step went, in the installation's language
    std::vector<std::wstring> linkedFolders;  // links to elsewhere that nothing was written through
};

std::wstring FinishText(const FinishFacts& facts);

// A package name as the user finds the file: below the program folder, in
// Windows spelling ("Kelvo/language/en_TEXT.cbf" is "language\en_TEXT.cbf").
std::wstring ShownName(const std::wstring& packageName);

} // namespace kelvo::install
