#include "payload/own_section.h"

#include <cstring>
#include <windows.h>

OwnSection find_own_section(const char* name) {
    const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos_header = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt_headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos_header->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_headers);
    for (WORD i = 0; i < nt_headers->FileHeader.NumberOfSections; ++i, ++section) {
        if (memcmp(section->Name, name, IMAGE_SIZEOF_SHORT_NAME) == 0)
            return {image + section->VirtualAddress, section->Misc.VirtualSize};
    }
    return {nullptr, 0};
}
