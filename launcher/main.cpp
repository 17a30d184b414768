// The launcher's entry point: one straight pass from start-up to the child's
// exit code. Every failure ends the process through launcher/failure.h.
#include "payload/payload_reader.h"

#include <windows.h>

int wmain(int, wchar_t**) {
    // A DLL planted in the current directory must never be loaded.
    SetDllDirectoryW(L"");

    open_payload_reader();
    close_payload_reader();
    return 0;
}
