// The manual folder's reader: finding the document it is given, choosing a
// program that can show it, starting that program, and the window it shows
// when the document is missing.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "reader/reader_logic.h"
#include "reader/reader_res.h"

using namespace kreader;

namespace {

std::wstring Widen(const char* s)
{
    std::wstring out;
    for (; s && *s; ++s)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return out;
}

std::wstring TempFolder()
{
    wchar_t buf[MAX_PATH];
    GetTempPathW(MAX_PATH, buf);
    std::wstring t = std::wstring(buf) + L"kvreader-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(t.c_str(), nullptr);
    return t;
}

void WriteFile(const std::wstring& path, const char* text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ::WriteFile(h, text, (DWORD)strlen(text), &n, nullptr);
    CloseHandle(h);
}

std::wstring ModulePath()
{
    wchar_t buf[MAX_PATH];
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return buf;
}

std::wstring SystemExe(const wchar_t* name)
{
    wchar_t buf[MAX_PATH];
    GetSystemDirectoryW(buf, MAX_PATH);
    return std::wstring(buf) + L"\\" + name;
}

// A file type of the test's own, registered under HKEY_CLASSES_ROOT and
// removed again, so the prefix's real associations stay untouched.
class TestAssoc {
public:
    TestAssoc(const std::wstring& ext, const std::wstring& command) : ext_(ext), prog_(L"KvReaderTest" + ext)
    {
        SetDefault(ext_, prog_);
        SetDefault(prog_ + L"\\shell\\open\\command", command);
    }
    ~TestAssoc()
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, prog_.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, ext_.c_str());
    }

private:
    static void SetDefault(const std::wstring& key, const std::wstring& value)
    {
        HKEY h;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(h, nullptr, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)((value.size() + 1) * 2));
        RegCloseKey(h);
    }
    std::wstring ext_, prog_;
};

bool SameFile(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

TEST(ReaderCommandLine, TakesTheDocumentAfterTheProgram)
{
    // As the manual page starts it: both parts quoted, relative to the installation folder.
    EXPECT_EQ(DocumentArgument(L"\"manual\\KelvoReader.exe\" \"manual\\QB345 User Manual.pdf\""),
              L"manual\\QB345 User Manual.pdf");
    // Unquoted words are one path with spaces.
    EXPECT_EQ(DocumentArgument(L"KelvoReader.exe manual\\QB345 User Manual.pdf"), L"manual\\QB345 User Manual.pdf");
    EXPECT_EQ(DocumentArgument(L"\"C:\\Program Files\\Kelvo\\manual\\KelvoReader.exe\""), L"");
    EXPECT_EQ(DocumentArgument(L"KelvoReader.exe   "), L"");
    EXPECT_EQ(DocumentArgument(nullptr), L"");
    // An unterminated quote takes the rest of the line.
    EXPECT_EQ(DocumentArgument(L"r.exe \"manual\\a b.pdf"), L"manual\\a b.pdf");
}

TEST(ReaderDocument, ResolvesAgainstTheInstallationFolder)
{
    std::wstring inst = TempFolder() + L"\\Kelvo";
    std::wstring manual = inst + L"\\manual";
    CreateDirectoryW(inst.c_str(), nullptr);
    CreateDirectoryW(manual.c_str(), nullptr);
    std::wstring doc = manual + L"\\QB345 User Manual.pdf";
    WriteFile(doc, "%PDF-1.4\n");
    CreateDirectoryW((manual + L"\\folder.pdf").c_str(), nullptr);

    // started by Kelvo: current folder = installation folder
    EXPECT_TRUE(SameFile(ResolveDocument(L"manual\\QB345 User Manual.pdf", inst, manual), doc));
    // started from elsewhere: found from the reader's own place
    EXPECT_TRUE(SameFile(ResolveDocument(L"manual\\QB345 User Manual.pdf", L"C:\\", manual), doc));
    EXPECT_TRUE(SameFile(ResolveDocument(L"QB345 User Manual.pdf", L"C:\\", manual), doc));
    EXPECT_TRUE(SameFile(ResolveDocument(doc, L"C:\\", L""), doc));
    EXPECT_TRUE(SameFile(ResolveDocument(L"manual/QB345 User Manual.pdf", inst, L""), doc));

    EXPECT_EQ(ResolveDocument(L"manual\\missing.pdf", inst, manual), L"");
    EXPECT_EQ(ResolveDocument(manual + L"\\missing.pdf", inst, manual), L"");
    EXPECT_EQ(ResolveDocument(L"manual\\folder.pdf", inst, manual), L"") << "a folder is not a document";
    EXPECT_EQ(ResolveDocument(L"", inst, manual), L"");

    // the folder shown for a missing document is the nearest one that exists
    EXPECT_TRUE(SameFile(FolderToShow(manual + L"\\missing.pdf"), manual));
    EXPECT_TRUE(SameFile(FolderToShow(manual + L"\\gone\\deeper\\x.pdf"), manual));
}

TEST(ReaderViewer, PrefersTheProgramAssociatedWithTheDocument)
{
    std::wstring notepad = SystemExe(L"notepad.exe");
    ASSERT_TRUE(FileExists(notepad));
    TestAssoc assoc(L".kvrdoc", L"\"" + notepad + L"\" \"%1\"");

    std::vector<Viewer> v = FindViewers(L"C:\\x\\manual.kvrdoc", {}, ModulePath());
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v[0].kind, ViewerKind::Associated);
    EXPECT_TRUE(SameFile(v[0].exe, notepad)) << std::string(v[0].exe.begin(), v[0].exe.end());
    EXPECT_EQ(v[0].via, L".kvrdoc");
}

TEST(ReaderViewer, FallsBackToTheBrowserAndNeverOffersItself)
{
    std::wstring notepad = SystemExe(L"notepad.exe");
    std::wstring self = ModulePath();
    TestAssoc toSelf(L".kvrself", L"\"" + self + L"\" \"%1\"");
    TestAssoc missing(L".kvrgone", L"\"C:\\no such folder\\viewer.exe\" \"%1\"");
    TestAssoc browser(L".kvrweb", L"\"" + notepad + L"\" \"%1\"");

    // the document's own association is the reader itself: skipped, the browser is taken
    std::vector<Viewer> v = FindViewers(L"C:\\x\\a.kvrself", {L".kvrnothing", L".kvrgone", L".kvrweb"}, self);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].kind, ViewerKind::Browser);
    EXPECT_EQ(v[0].via, L".kvrweb");
    EXPECT_TRUE(SameFile(v[0].exe, notepad));

    // the same program behind several associations is offered once
    v = FindViewers(L"C:\\x\\a.kvrweb", {L".kvrweb"}, self);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].kind, ViewerKind::Associated);

    // nothing registered anywhere: no viewer
    EXPECT_TRUE(FindViewers(L"C:\\x\\a.kvrnothing", {L".kvrnothing2"}, self).empty());
    EXPECT_TRUE(FindViewers(L"C:\\x\\noextension", {}, self).empty());
    EXPECT_EQ(AssociatedExecutable(L".kvrgone"), L"") << "a registered program that does not exist is no viewer";
}

TEST(ReaderViewer, StartsTheViewerWithTheQuotedDocument)
{
    EXPECT_EQ(ViewerCommandLine(L"C:\\Program Files\\V\\v.exe", L"C:\\Kelvo\\manual\\QB345 User Manual.pdf"),
              L"\"C:\\Program Files\\V\\v.exe\" \"C:\\Kelvo\\manual\\QB345 User Manual.pdf\"");

    // A Unix program stands in for a viewer: touch creates the file it is given,
    // which shows that the program was started with the document as one argument.
    std::string marker = "/tmp/kvreader-started-" + std::to_string(GetCurrentProcessId()) + " x";
    std::wstring unixMarker = Widen(marker.c_str());
    std::wstring dosMarker = L"Z:" + unixMarker;
    for (auto& c : dosMarker)
        if (c == L'/')
            c = L'\\';
    DeleteFileW(dosMarker.c_str());
    ASSERT_TRUE(StartViewer(Viewer{ViewerKind::Browser, L"/usr/bin/touch", L"test"}, unixMarker));
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        seen = FileExists(dosMarker);
        if (!seen)
            Sleep(50);
    }
    EXPECT_TRUE(seen) << "the viewer did not receive the document";
    DeleteFileW(dosMarker.c_str());

    EXPECT_FALSE(StartViewer(Viewer{ViewerKind::Browser, L"C:\\no such folder\\viewer.exe", L"test"}, L"x.pdf"));
}

namespace {

struct Found {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK FindDialogOf(HWND h, LPARAM lp)
{
    Found* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == f->pid && IsWindowVisible(h) && GetDlgItem(h, IDC_READER_PATH)) {
        f->hwnd = h;
        return FALSE;
    }
    return TRUE;
}

std::wstring ItemText(HWND dlg, int id)
{
    wchar_t buf[1024] = {};
    GetDlgItemTextW(dlg, id, buf, 1024);
    return buf;
}

}  // namespace

TEST(ReaderProgram, ReportsAMissingDocumentWithItsFullPath)
{
    const char* dist = std::getenv("KELVO_DIST");
    ASSERT_NE(dist, nullptr) << "KELVO_DIST not set";
    std::wstring exe = L"Z:" + Widen(dist) + L"/manual/KelvoReader.exe";
    for (auto& c : exe)
        if (c == L'/')
            c = L'\\';
    ASSERT_TRUE(FileExists(exe)) << "reader not built";

    std::wstring inst = TempFolder();
    CreateDirectoryW((inst + L"\\manual").c_str(), nullptr);
    std::wstring cmd = L"\"" + exe + L"\" \"manual\\Gone Manual.pdf\"";
    // The reader gets its own console-less standard handles: the desktop
    // process that its first window may start would otherwise hold this test's
    // output open after the test has ended.
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si = {sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, inst.c_str(), &si, &pi));
    CloseHandle(nul);

    Found f{pi.dwProcessId, nullptr};
    for (int i = 0; i < 200 && !f.hwnd; ++i) {
        EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&f));
        if (!f.hwnd)
            Sleep(50);
    }
    ASSERT_NE(f.hwnd, nullptr) << "the reader showed no window";
    EXPECT_NE(ItemText(f.hwnd, IDC_READER_TEXT).find(L"could not be found"), std::wstring::npos);
    EXPECT_TRUE(SameFile(ItemText(f.hwnd, IDC_READER_PATH), inst + L"\\manual\\Gone Manual.pdf"));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(f.hwnd, IDC_READER_FOLDER))) << "its folder exists and can be opened";

    SendMessageW(f.hwnd, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 2u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

namespace {

// The reader started from `exe` on a missing document, its window found; the
// caller closes it with Close().
struct ReaderRun {
    PROCESS_INFORMATION pi{};
    HWND window = nullptr;

    bool Start(const std::wstring& exe, const std::wstring& workFolder)
    {
        std::wstring cmd = L"\"" + exe + L"\" \"manual\\Gone Manual.pdf\"";
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                 OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW si = {sizeof(si)};
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = si.hStdOutput = si.hStdError = nul;
        const bool started =
            CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, workFolder.c_str(), &si, &pi);
        CloseHandle(nul);
        if (!started)
            return false;
        Found f{pi.dwProcessId, nullptr};
        for (int i = 0; i < 200 && !f.hwnd; ++i) {
            EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&f));
            if (!f.hwnd)
                Sleep(50);
        }
        window = f.hwnd;
        return window != nullptr;
    }
    DWORD Close()
    {
        if (window)
            SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        DWORD code = 0;
        if (WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
};

std::wstring DistFile(const char* dist, const wchar_t* relative)
{
    std::wstring p = L"Z:" + Widen(dist) + L"/" + relative;
    for (auto& c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

}  // namespace

// The reader in the manual folder of an installation whose Kelvo.cfg says
// German speaks German; the same reader with that file damaged speaks English.
TEST(ReaderProgram, SpeaksTheLanguageOfKelvoCfgAndEnglishWhenItCannotBeRead)
{
    const char* dist = std::getenv("KELVO_DIST");
    ASSERT_NE(dist, nullptr) << "KELVO_DIST not set";
    std::wstring inst = TempFolder() + L"\\lang";
    CreateDirectoryW(inst.c_str(), nullptr);
    CreateDirectoryW((inst + L"\\manual").c_str(), nullptr);
    CreateDirectoryW((inst + L"\\language").c_str(), nullptr);
    const std::wstring exe = inst + L"\\manual\\KelvoReader.exe";
    ASSERT_TRUE(CopyFileW(DistFile(dist, L"manual/KelvoReader.exe").c_str(), exe.c_str(), FALSE));
    for (const wchar_t* table : {L"de_TEXT.cbf", L"en_TEXT.cbf"})
        ASSERT_TRUE(CopyFileW(DistFile(dist, (std::wstring(L"language/") + table).c_str()).c_str(),
                              (inst + L"\\language\\" + table).c_str(), FALSE));
    WriteFile(inst + L"\\Kelvo.cfg", "[Setting]\r\nLanguage = 3\r\nSkin = 0\r\nAutoUpdate = 0\r\n");

    {
        ReaderRun run;
        ASSERT_TRUE(run.Start(exe, inst + L"\\manual")) << "the reader showed no window";
        EXPECT_EQ(ItemText(run.window, IDC_READER_TEXT).find(L"Das Dokument wurde nicht gefunden."), 0u);
        EXPECT_EQ(ItemText(run.window, IDC_READER_FOLDER), L"&Ordner \u00f6ffnen");
        EXPECT_EQ(ItemText(run.window, IDCANCEL), L"Schlie\u00dfen");
        EXPECT_EQ(run.Close(), 2u);
    }

    WriteFile(inst + L"\\Kelvo.cfg", "\x01\xff[Setting\r\nLanguage=\xfe");
    {
        ReaderRun run;
        ASSERT_TRUE(run.Start(exe, inst + L"\\manual"));
        EXPECT_NE(ItemText(run.window, IDC_READER_TEXT).find(L"could not be found"), std::wstring::npos);
        EXPECT_EQ(ItemText(run.window, IDCANCEL), L"Close");
        EXPECT_EQ(run.Close(), 2u);
    }
}
