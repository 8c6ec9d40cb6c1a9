#pragma once
// Source files of the language text tables (UTF-8), one per language:
//
//   # a comment line            (lines whose first character is '#')
//   @codepage 1252              (once, before the texts: the table's code page)
//   NUMBER<TAB>text             (one text; NUMBER 0..65535, each at most once)
//
// Blank lines are ignored; a CR before the line end is dropped. The text is
// everything after the first TAB, spaces included. Escapes: \n line feed,
// \r carriage return, \t tab, \\ backslash; any other backslash is an error.
// Every character must exist in the code page; control characters other than
// those the escapes give are errors.
#include <cstddef>
#include <string>
#include <vector>

namespace textc {

struct SourceText {
    int number = 0;
    int line = 0;
    std::wstring text;
};

struct Source {
    unsigned codePage = 0;
    std::vector<SourceText> texts; // in file order
};

// Reads `content` (the file's bytes; `name` is used in messages). On failure
// returns false with `error` = "NAME:LINE: what is wrong".
bool ParseSource(const std::string& name, const std::string& content, Source& out, std::string& error);

// The texts in the source's code page, with the closing NUL of a table field.
// On a character the code page cannot hold: false, error naming file and line.
// Longest field (NUL included) the reader takes: it splits a field over 32700
// bytes in two values of at most 32700 and 32767 bytes.
constexpr size_t kMaxTextBytes = 32700 + 32767;
struct EncodedText {
    int number = 0;
    std::string bytes;
};
bool EncodeSource(const std::string& name, const Source& source, std::vector<EncodedText>& out, std::string& error);

} // namespace textc
