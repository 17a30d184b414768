#include "format/image_layout.h"
#include "payload/own_section.h"
#include "payload/payload_reader.h"

// The payload is the launcher's own section. Without such a section the
// reader reports a missing header.
void open_payload_reader() {
    OwnSection payload = find_own_section(image_layout::payload_section_name);
    open_payload_reader_over(payload.bytes, payload.size);
}
