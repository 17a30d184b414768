#pragma once

#include <functional>
#include <string>
#include <windows.h>

namespace qarvel_test {

// A message box as a user sees it: its title, its text, whether it shows
// the error icon, and whether its program still ran when it was answered.
struct MessageBoxSeen {
    bool found = false;
    std::wstring title;
    std::wstring text;
    bool error_icon = false;
    bool owner_running = false;
};

// Waits up to timeout_ms for a message box of process process_id, reads it,
// calls while_shown, if given, and presses its button. Needs a display:
// under Wine, an X server.
MessageBoxSeen answer_message_box(DWORD process_id, DWORD timeout_ms = 60000,
                                  const std::function<void()>& while_shown = {});

// The X display Wine draws on, empty when there is none.
std::string display_name();

} // namespace qarvel_test
