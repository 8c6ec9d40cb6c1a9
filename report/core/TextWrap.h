#pragma once
// Line breaking of the report printer, on the text's bytes in the ANSI code
// page. Widths come from the caller (the printer's body font); which bytes
// lead a two-byte character is the code page's own answer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::report {

class ITextMeasure {
public:
    // Width of one character given by its bytes (one, or a lead byte and the next).
    virtual int CharWidth(const char* bytes, size_t n) = 0;
    virtual bool IsLeadByte(uint8_t byte) = 0;

protected:
    ~ITextMeasure() = default;
};

struct LineSpan {
    size_t start;   // offset in the bytes
    size_t length;  // bytes, line break not included
    bool operator==(const LineSpan& o) const { return start == o.start && length == o.length; }
};

// Breaks `bytes` into lines narrower than maxWidth: after the last space or
// comma that fits, else before the character that would reach the width (a
// line takes at least one character); CR LF, CR and LF end lines, a leading
// one is skipped, empty lines stay.
std::vector<LineSpan> WrapBytes(const std::string& bytes, int maxWidth, ITextMeasure& measure);

} // namespace kelvo::report
