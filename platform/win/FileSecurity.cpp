#include "platform/win/FileSecurity.h"

#include <aclapi.h>
#include <sddl.h>

namespace kelvo {

namespace {

struct Grant {
    std::vector<BYTE> sid;
    DWORD access;
};

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type)
{
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size))
        return {};
    sid.resize(size);
    return sid;
}

// The SID of the account of this process's token.
std::vector<BYTE> ProcessUserSid()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    std::vector<BYTE> sid;
    if (size && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        if (::IsValidSid(user)) {
            const BYTE* p = static_cast<const BYTE*>(user);
            sid.assign(p, p + ::GetLengthSid(user));
        }
    }
    ::CloseHandle(token);
    return sid;
}

// A protected DACL of the grants, each inherited as `inherit` says, as a
// self-relative descriptor.
SecurityDescriptor Build(const std::vector<Grant>& grants, BYTE inherit)
{
    DWORD aclSize = sizeof(ACL);
    for (const Grant& g : grants) {
        if (g.sid.empty())
            return {};
        aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(g.sid.size());
    }
    std::vector<BYTE> acl(aclSize);
    PACL pacl = reinterpret_cast<PACL>(acl.data());
    if (!::InitializeAcl(pacl, aclSize, ACL_REVISION))
        return {};
    for (const Grant& g : grants)
        if (!::AddAccessAllowedAceEx(pacl, ACL_REVISION, inherit, g.access, const_cast<BYTE*>(g.sid.data())))
            return {};
    SECURITY_DESCRIPTOR absolute;
    if (!::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&absolute, TRUE, pacl, FALSE) ||
        !::SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return {};
    DWORD size = 0;
    ::MakeSelfRelativeSD(&absolute, nullptr, &size);
    SecurityDescriptor out;
    out.m_bytes.resize(size);
    if (!size || !::MakeSelfRelativeSD(&absolute, out.m_bytes.data(), &size))
        return {};
    return out;
}

} // namespace

PACL SecurityDescriptor::Dacl()
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!Ok() || !::GetSecurityDescriptorDacl(Get(), &present, &acl, &defaulted) || !present)
        return nullptr;
    return acl;
}

std::wstring SecurityDescriptor::DaclSddl()
{
    LPWSTR text = nullptr;
    if (!Ok() || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(Get(), SDDL_REVISION_1,
                                                                         DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    std::wstring out = text;
    ::LocalFree(text);
    return out;
}

SecurityDescriptor ProgramFolderSecurity()
{
    const DWORD readExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    return Build({{WellKnownSid(WinBuiltinAdministratorsSid), FILE_ALL_ACCESS},
                  {WellKnownSid(WinLocalSystemSid), FILE_ALL_ACCESS},
                  {WellKnownSid(WinBuiltinUsersSid), readExecute}},
                 OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
}

bool ProtectProgramFolder(const std::wstring& folder)
{
    SecurityDescriptor sd = ProgramFolderSecurity();
    PACL acl = sd.Dacl();
    if (!acl) {
        ::SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    std::wstring path = folder;
    const DWORD r = ::SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                            nullptr, acl, nullptr);
    ::SetLastError(r);
    return r == ERROR_SUCCESS;
}

SecurityDescriptor OwnerOnlySecurity() { return Build({{ProcessUserSid(), FILE_ALL_ACCESS}}, 0); }

HANDLE CreateOwnerOnlyFile(const std::wstring& folder, const std::wstring& prefix, const std::wstring& suffix,
                           std::wstring* path)
{
    SecurityDescriptor sd = OwnerOnlySecurity();
    if (!sd.Ok())
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.Get(), FALSE};
    typedef BOOLEAN(WINAPI * RandomFn)(PVOID, ULONG);
    HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
    auto random = advapi ? reinterpret_cast<RandomFn>(reinterpret_cast<void (*)()>(
                               ::GetProcAddress(advapi, "SystemFunction036")))
                         : nullptr;
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char bytes[8] = {};
        if (!random || !random(bytes, sizeof bytes)) {
            // Not secret, only unforeseeable enough; CREATE_NEW makes it exclusive.
            LARGE_INTEGER now;
            ::QueryPerformanceCounter(&now);
            const unsigned long long mix = static_cast<unsigned long long>(now.QuadPart) * 6364136223846793005ULL +
                                           ::GetCurrentProcessId() + attempt;
            for (int i = 0; i < 8; ++i)
                bytes[i] = static_cast<unsigned char>(mix >> (8 * i));
        }
        static const wchar_t hex[] = L"0123456789abcdef";
        std::wstring name = prefix;
        for (unsigned char b : bytes) {
            name += hex[b >> 4];
            name += hex[b & 15];
        }
        const std::wstring candidate = folder + name + suffix;
        HANDLE h = ::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            if (path)
                *path = candidate;
            return h;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace kelvo
