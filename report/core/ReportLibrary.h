#pragma once
// The report library: every report the tool sends is kept as one UTF-8 text
// file "YYYY-MM-DD HH-MM-SS <model>[ <VIN>].txt" in a folder of the user's.
// Here: the VIN found in a report, the file names (made and read back), the
// folder's listing, writing and reading a file, and when a report is due to
// be saved. The page and the command line only wire these up.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::report {

// Local date and time of a report.
struct Stamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator<(const Stamp& o) const;
    bool operator==(const Stamp& o) const;
};

// True for the characters a VIN may hold: digits and A-Z without I, O, Q.
bool IsVinCharacter(wchar_t c);
// The check digit (position 9) that the other sixteen characters give:
// '0'-'9' or 'X'; 0 when `vin` is not 17 VIN characters.
wchar_t VinCheckDigit(const std::wstring& vin);
// The first VIN the report text holds, or empty. A candidate is a run of
// exactly 17 upper-case VIN characters standing alone (no letter or digit
// either side), with a letter among its first three (the maker's code) and
// digits in its last four. Then:
// - labelled ("VIN", "VIN No", "VIN#" or "Vehicle Identification Number"
//   right before it on its line, separated only by blanks and ": = # . -"),
//   it is a VIN unless its maker code is of North America (1-5) or China (L),
//   which require the check digit (position 9), and that digit is wrong;
//   Europe and most of Asia use none;
// - unlabelled, it needs a correct check digit, a letter beyond F and a
//   model-year character (not 0, U or Z) in position 10.
// So a serial number, calibration id or hex dump is not taken for a VIN.
std::wstring FindVin(const std::wstring& text);

// A saved report as its file name tells it.
struct SavedReport {
    std::wstring fileName;
    Stamp when;
    std::wstring model;
    std::wstring vin;  // empty when the report held none
    int copy = 1;      // a later report of the same second counts up
    uint64_t size = 0;
};

// The model as it goes into a file name: characters a file name cannot hold
// and blanks become "-", "Report" when nothing is left.
std::wstring ModelForFileName(const std::wstring& model);
// "2026-12-10 04-40-13 QB345 1HGCM82633A004352.txt"; with copy > 1 " (copy)"
// before ".txt" (a second report within the same second).
std::wstring ReportFileName(const Stamp& when, const std::wstring& model, const std::wstring& vin, int copy = 1);
// Reads a name that ReportFileName made; false for any other file.
bool ParseReportFileName(const std::wstring& name, SavedReport* out);

// The reports of a folder, newest first (same time: by name, descending).
std::vector<SavedReport> ListReports(const std::wstring& folder);

// Path of `name` in `folder` (either separator already there or not).
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

enum class SaveOutcome { kSaved, kNothingToSave, kNoFolder, kWriteFailed };
// Writes the report as UTF-8 under a name of its own that no file holds yet
// (never over an earlier report). The folder is created when missing (its
// parent must exist). A file that could not be written whole is removed.
SaveOutcome SaveReport(const std::wstring& folder, const Stamp& when, const std::wstring& model,
                       const std::wstring& text, std::wstring* savedPath = nullptr);
// The text of a saved report (a byte-order mark skipped); false when it
// cannot be read.
// The largest saved report that is loaded (64 MiB, many times any real one).
constexpr size_t kMaxReportBytes = 64u << 20;
bool LoadReport(const std::wstring& path, std::wstring* text);

// When a report is saved. Chunks that reach the box are added; the report is
// due once the tool has been silent for the quiet time after sending, and is
// taken exactly once, by whichever comes first: that silence or the end of
// the capture. An empty capture gives nothing to take.
class ReportKeeper {
public:
    static constexpr uint32_t kQuietMs = 10000;

    // `now` a tick count (ms, wrapping); `when` the local time, kept from the
    // report's first chunk; `model` the tool's name, kept once known.
    void Add(const std::wstring& chunk, uint32_t now, const Stamp& when, const std::wstring& model);
    bool Pending() const { return !m_text.empty(); }
    bool Due(uint32_t now) const;
    // The report so far, and a fresh start: a second Take gives nothing.
    struct Report {
        std::wstring text;
        Stamp when;
        std::wstring model;
    };
    Report Take();

private:
    std::wstring m_text;
    Stamp m_when;
    std::wstring m_model;
    uint32_t m_last = 0;
};

} // namespace kelvo::report
