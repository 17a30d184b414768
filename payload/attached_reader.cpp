#include "payload/attached_payload.h"
#include "payload/payload_reader.h"

void open_payload_reader() {
    open_payload_reader_over(attached_payload, attached_payload_length);
}
