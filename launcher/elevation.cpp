#include "launcher/elevation.h"

#include "launcher/system_function.h"

#include <cstring>
#include <windows.h>

namespace {

using OpenProcessTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFunction = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                                  PDWORD);

bool manifest_contains(const char* manifest, size_t size, const char* word) {
    size_t length = strlen(word);
    for (size_t at = 0; at + length <= size; ++at) {
        if (memcmp(manifest + at, word, length) == 0)
            return true;
    }
    return false;
}

// Wine answers "elevated" (TokenElevationTypeFull) for every process,
// whatever its manifest and however it was started, and enforces no access
// rights at all; its ntdll alone exports wine_get_version. On Windows ntdll
// is mapped by the system from System32 before any program code runs.
bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Reads one kind of information about this process's token into buffer;
// false when it cannot be read. advapi32 is loaded only here, and not at
// all under Wine.
bool read_token(TOKEN_INFORMATION_CLASS kind, void* buffer, DWORD size) {
    auto open_token = reinterpret_cast<OpenProcessTokenFunction>(
        system_function(L"advapi32.dll", "OpenProcessToken"));
    auto get_information = reinterpret_cast<GetTokenInformationFunction>(
        system_function(L"advapi32.dll", "GetTokenInformation"));
    HANDLE token = nullptr;
    if (open_token == nullptr || get_information == nullptr ||
        !open_token(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD returned = 0;
    bool read = get_information(token, kind, buffer, size, &returned) != FALSE;
    CloseHandle(token);
    return read;
}

} // namespace

bool manifest_requires_administrator() {
    // "Using Side-by-side Assemblies as a Resource": an executable's manifest
    // is RT_MANIFEST 1.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
    if (found == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* manifest =
        loaded == nullptr ? nullptr : static_cast<const char*>(LockResource(loaded));
    if (manifest == nullptr)
        return false;
    size_t size = SizeofResource(nullptr, found);
    // highestAvailable elevates an administrator too.
    return manifest_contains(manifest, size, "requireAdministrator") ||
           manifest_contains(manifest, size, "highestAvailable");
}

bool token_is_elevated() {
    if (running_under_wine())
        return false;
    // The integrity level is not asked: it does not tell an elevated
    // administrator from a full token of another kind, and TokenElevation
    // is what "Run as administrator" sets.
    TOKEN_ELEVATION elevation = {};
    // A token that cannot be read is taken for elevated: the checks then
    // refuse a folder rather than run from one nobody judged.
    if (!read_token(TokenElevation, &elevation, sizeof elevation))
        return true;
    return elevation.TokenIsElevated != 0;
}

bool launch_is_elevated() {
    return manifest_requires_administrator() || token_is_elevated();
}

const void* token_default_owner() {
    // TOKEN_OWNER and the SID it points to, which the system writes after it.
    alignas(TOKEN_OWNER) static unsigned char owner[sizeof(TOKEN_OWNER) + SECURITY_MAX_SID_SIZE];
    if (!read_token(TokenOwner, owner, sizeof owner))
        return nullptr;
    return reinterpret_cast<TOKEN_OWNER*>(owner)->Owner;
}
