#pragma once
// Security descriptors our programs put on what they create, built here so
// that they can be checked where they are made (Wine keeps no file ACLs).
#include <windows.h>

#include <string>
#include <vector>

namespace kelvo {

// A self-relative security descriptor held in its own buffer.
class SecurityDescriptor {
public:
    bool Ok() const { return !m_bytes.empty(); }
    PSECURITY_DESCRIPTOR Get() { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    // Its DACL (inside the buffer), or null.
    PACL Dacl();
    // SDDL of its DACL, e.g. "D:PAI(A;OICI;FA;;;BA)..."; empty when it cannot be shown.
    std::wstring DaclSddl();

    std::vector<BYTE> m_bytes;
};

// The installation folder's DACL: Administrators and SYSTEM full control,
// Users read and execute, inherited by every file and folder below;
// protected, so nothing the parent folder grants (e.g. "Authenticated Users:
// Modify" below C:\Tools) reaches it.
SecurityDescriptor ProgramFolderSecurity();

// Applies ProgramFolderSecurity to `folder` (and so to everything inside).
// False with the system's error in GetLastError.
bool ProtectProgramFolder(const std::wstring& folder);

// Full control for the account this process runs as, no one else (protected).
SecurityDescriptor OwnerOnlySecurity();

// Creates a new file (never an existing one, never through a link) that only
// this process's account can open, in `folder` (ending in "\"), named
// `prefix` + random hex + `suffix`; its path in `*path`. INVALID_HANDLE_VALUE
// when no such file could be made.
HANDLE CreateOwnerOnlyFile(const std::wstring& folder, const std::wstring& prefix, const std::wstring& suffix,
                           std::wstring* path);

} // namespace kelvo
