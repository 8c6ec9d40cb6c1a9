#pragma once
// CProfile: reader and writer of the program's own settings format
// ("Kelvo.cfg", and the update catalogue "update\version.sv").
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvo {
// The program's settings file, by its name in the installation folder
// (SettingsPath in globals.h gives its full path).
inline constexpr wchar_t kSettingsFile[] = L"Kelvo.cfg";
} // namespace kelvo

class CProfile {
public:
    // How a key line matches a key. The format's own rule: the key anywhere in
    // the text before "=" (so "HistoryNum" matches "HistoryNum01 = ..."). Exact:
    // that text, trimmed as values are, equals the key; for sections whose keys
    // may share a prefix (the model names of [Update]: QB230 and QB230E; the
    // count and the codes of [DTC]: HistoryNum and HistoryNum01).
    enum class KeyMatch { kSubstring, kExact };

    static std::wstring GetString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                                  const std::wstring& def, KeyMatch match = KeyMatch::kSubstring);
    static int GetInt(const std::wstring& file, const std::wstring& section, const std::wstring& key, int def,
                      KeyMatch match = KeyMatch::kSubstring);
    static bool SetString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                          const std::wstring& value, KeyMatch match = KeyMatch::kSubstring);
    static bool SetInt(const std::wstring& file, const std::wstring& section, const std::wstring& key, int value,
                       KeyMatch match = KeyMatch::kSubstring);

    // The whole content of one file in memory, with a read position.
    class CTextFile {
    public:
        CTextFile() = default;
        virtual ~CTextFile() = default;
        CTextFile(const CTextFile&) = delete;
        CTextFile& operator=(const CTextFile&) = delete;

        // Reads the whole file; false when it cannot be opened or read, or
        // the memory cannot be had. Replaces any earlier content.
        bool Load(const std::wstring& file);
        // The same from bytes already in memory.
        bool Assign(const std::string& bytes);
        // The next line with its line end (at most two CR/LF bytes), in the
        // file's own bytes; empty at the end of the content.
        std::string ReadLine();

        // Bytes up to the first NUL (the content the grammar sees).
        uint32_t Length() const { return m_length; }
        uint32_t Position() const { return m_position; }
        const char* Data() const { return m_content.get(); }
        // Bytes from the first NUL on: not part of the content, but kept on
        // a rewrite so that nothing of the file is lost.
        std::string Tail() const;

    private:
        std::unique_ptr<char[]> m_content; // file bytes + one NUL
        uint32_t m_size = 0;               // bytes in the file
        uint32_t m_length = 0;             // bytes before the first NUL
        uint32_t m_position = 0;
    };
};

namespace kelvo {
// The platform's standard INI reading rules (GetPrivateProfileStringW on
// Windows): names compared without regard to case, key and value trimmed, no
// "//" comments, at most maxChars characters of value. Used for DownloadLink,
// whose value holds "//". A name without a folder is taken from the working
// directory, as CProfile takes it.
std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                           const std::wstring& def, size_t maxChars = 255);

// CProfile's reads on a content already in memory (a catalogue fetched from
// the server and never written to disk).
std::wstring ProfileStringIn(const std::string& content, const std::wstring& section, const std::wstring& key,
                             const std::wstring& def);
int ProfileIntIn(const std::string& content, const std::wstring& section, const std::wstring& key, int def);
// A content parsed once, for many reads of it (the catalogue's listing asks
// it hundreds of times): the same answers as ProfileStringIn and ProfileIntIn
// (the first section of the name, keys matched as substrings).
class CParsedProfile {
public:
    explicit CParsedProfile(const std::string& content);
    // The file's content; an unreadable file reads as empty.
    static CParsedProfile FromFile(const std::wstring& file);
    std::wstring GetString(const std::wstring& section, const std::wstring& key, const std::wstring& def) const;
    int GetInt(const std::wstring& section, const std::wstring& key, int def) const;

private:
    struct Entry {
        bool header;
        bool keyLine;
        std::wstring name;     // header's name
        std::wstring keyPart;  // text before "="
        std::wstring value;
    };
    std::vector<Entry> m_lines;
};
// How many times a whole content has been parsed so far (every read through
// CProfile or ProfileStringIn, and every CParsedProfile), for tests.
uint64_t ProfileParses();

// The keys of a section's key lines (the text before "=", trimmed), in file
// order; empty when the file or the section is missing.
std::vector<std::wstring> ProfileKeys(const std::wstring& file, const std::wstring& section);

// Steps of a settings-file rewrite, for tests that need one of them to fail
// the way a full disk or a locked file would.
enum class ProfileStep { Load, CreateTemp, WriteTemp, Replace };
// The hook returns false to make the step fail. An empty function removes it.
using ProfileFaultHook = std::function<bool(ProfileStep)>;
void SetProfileFaultHook(ProfileFaultHook hook);
} // namespace kelvo
