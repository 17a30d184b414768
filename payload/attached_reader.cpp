#include "format/image_layout.h"
#include "payload/payload_reader.h"

#include <cstring>
#include <windows.h>

// The payload is the launcher's own section, found through the section table
// of its mapped image ("PE Format"); its virtual size is the payload's exact
// length. Without such a section the reader reports a missing header.
void open_payload_reader() {
    const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos_header = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt_headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos_header->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_headers);
    for (WORD i = 0; i < nt_headers->FileHeader.NumberOfSections; ++i, ++section) {
        if (memcmp(section->Name, image_layout::payload_section_name, IMAGE_SIZEOF_SHORT_NAME) ==
            0) {
            open_payload_reader_over(image + section->VirtualAddress, section->Misc.VirtualSize);
            return;
        }
    }
    open_payload_reader_over(nullptr, 0);
}
