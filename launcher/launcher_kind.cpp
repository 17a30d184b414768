#include "launcher/launcher_kind.h"

#include <cstring>
#include <windows.h>

bool launcher_is_windowed() {
    const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos_header = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt_headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos_header->e_lfanew);
    return nt_headers->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

static bool manifest_contains(const char* manifest, size_t size, const char* word) {
    size_t length = strlen(word);
    for (size_t at = 0; at + length <= size; ++at) {
        if (memcmp(manifest + at, word, length) == 0)
            return true;
    }
    return false;
}

bool launcher_is_elevated() {
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
