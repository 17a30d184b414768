#include "format/image_layout.h"
#include "payload/index_reader.h"
#include "payload/own_section.h"
#include "payload/payload_reader.h"

// The payload and its index are sections of the launcher's own image.
// Without a payload section the reader reports a missing header.
void open_payload_reader() {
    OwnSection payload = find_own_section(image_layout::payload_section_name);
    open_payload_reader_over(payload.bytes, payload.size);
}

bool open_payload_index() {
    OwnSection index = find_own_section(image_layout::index_section_name);
    OwnSection payload = find_own_section(image_layout::payload_section_name);
    return open_payload_index_over(index.bytes, index.size, payload.size);
}
