#pragma once
// The generic OBD-II codes of a code datafile (objects BCODES, CCODES, PCODES,
// UCODES of LF-separated "CODE<TAB>Maker<TAB>Description" lines) to the
// program's code file: groups P, C, B, U, each sorted, "CODE DESCRIPTION" CR LF.
#include "tools/dtcconv/datafile.h"

#include <string>
#include <vector>

namespace dtcconv {

struct CodeEntry {
    std::string code;
    std::string description;  // ISO 8859-1 bytes
};

struct CodeSet {
    std::vector<CodeEntry> entries;     // in the file's order
    std::vector<std::string> repairs;   // what was mended in the source, one line each
    int count[4] = {0, 0, 0, 0};        // P, C, B, U
};

// False when the objects cannot be trusted (a missing object, a line without
// its three fields, a generic code of the wrong form, a description that is
// not ISO 8859-1 text, a code given twice); *error then reads "offset N: ...".
bool CollectGenericCodes(const std::vector<DataObject>& objects, CodeSet* set, std::string* error);

// The code file's bytes.
std::string FormatCodeFile(const CodeSet& set);

// The whole conversion of a datafile's bytes; messages name `fileName`.
bool ConvertDatafile(const std::string& fileName, const std::string& bytes, CodeSet* set, std::string* error);

} // namespace dtcconv
