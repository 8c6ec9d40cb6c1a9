#include "report/core/TextWrap.h"

namespace kelvo::report {

std::vector<LineSpan> WrapBytes(const std::string& bytes, int maxWidth, ITextMeasure& measure)
{
    std::vector<LineSpan> lines;
    const size_t end = bytes.size();
    if (end == 0)
        return lines;
    const auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };

    size_t pos = 0;
    if (end >= 2 && at(0) == '\r' && at(1) == '\n')
        pos = 2;
    else if (at(0) == '\r' || at(0) == '\n')
        pos = 1;

    size_t lineStart = pos;
    long width = 0;
    size_t lastBreak = 0;  // offset from the line start; 0 none
    auto endLine = [&](size_t lineEnd, size_t next) {
        lines.push_back(LineSpan{lineStart, lineEnd - lineStart});
        lineStart = next;
        pos = next;
        width = 0;
        lastBreak = 0;
    };

    while (pos < end) {
        const uint8_t c = at(pos);
        const size_t len = (measure.IsLeadByte(c) && pos + 1 < end) ? 2 : 1;
        if (len == 1 && (c == ' ' || c == ','))
            lastBreak = pos - lineStart;
        if (len == 1 && c == '\r' && pos + 1 < end && at(pos + 1) == '\n') {
            endLine(pos, pos + 2);
            continue;
        }
        if (len == 1 && (c == '\r' || c == '\n')) {
            endLine(pos, pos + 1);
            continue;
        }
        const int w = measure.CharWidth(bytes.data() + pos, len);
        if (width + w < maxWidth) {
            width += w;
            pos += len;
            continue;
        }
        // The line is full.
        const size_t offset = pos - lineStart;
        if (lastBreak > 0 && lastBreak < offset)
            endLine(lineStart + lastBreak + 1, lineStart + lastBreak + 1);
        else if (offset == 0)
            endLine(pos + len, pos + len);  // a character wider than the line, alone
        else
            endLine(pos, pos);
    }
    if (lineStart < end)
        lines.push_back(LineSpan{lineStart, end - lineStart});
    return lines;
}

} // namespace kelvo::report
