#include "support/message_box.h"

#include <cstdint>
#include <vector>

namespace qarvel_test {

namespace {

struct Search {
    DWORD process_id;
    HWND box = nullptr;
};

std::wstring class_of(HWND window) {
    wchar_t name[64] = {0};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring text_of(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// Dialogs have the system's dialog class.
BOOL CALLBACK find_box(HWND window, LPARAM search_address) {
    auto* search = reinterpret_cast<Search*>(search_address);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && class_of(window) == L"#32770" && IsWindowVisible(window)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collect_child(HWND window, LPARAM children_address) {
    reinterpret_cast<std::vector<HWND>*>(children_address)->push_back(window);
    return TRUE;
}

// A 32-bit picture, top row first.
struct Picture {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    unsigned* pixels = nullptr;
    int width = 0, height = 0;
    Picture(int picture_width, int picture_height) : width(picture_width), height(picture_height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<unsigned*>(bits);
        SelectObject(dc, bitmap);
    }
    ~Picture() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    size_t differences(const Picture& other) const {
        size_t count = 0;
        for (int i = 0; i < width * height; ++i)
            count += pixels[i] != other.pixels[i];
        return count;
    }
};

// Whether every pixel is the same: nothing drawn yet.
bool is_plain(const Picture& picture) {
    for (int i = 1; i < picture.width * picture.height; ++i) {
        if (picture.pixels[i] != picture.pixels[0])
            return false;
    }
    return true;
}

// Copies the control's area of the screen, where the box's process draws.
void read_screen(HWND control, Picture& picture) {
    RECT area{};
    GetWindowRect(control, &area);
    HDC screen = GetDC(nullptr);
    BitBlt(picture.dc, 0, 0, picture.width, picture.height, screen, area.left, area.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

// Which of the system's icons, drawn here on the same background, is
// closest to what the control's area shows; 0 for an area of one colour,
// where nothing is drawn yet.
int closest_system_icon(const Picture& shown) {
    if (is_plain(shown))
        return 0;
    const unsigned background = shown.pixels[0];
    size_t closest = SIZE_MAX;
    int closest_id = 0;
    // Error, question, warning and information.
    for (int id : {32513, 32514, 32515, 32516}) {
        Picture drawn(shown.width, shown.height);
        for (int i = 0; i < drawn.width * drawn.height; ++i)
            drawn.pixels[i] = background;
        DrawIconEx(drawn.dc, 0, 0, LoadIconW(nullptr, MAKEINTRESOURCEW(id)), 0, 0, 0, nullptr,
                   DI_NORMAL);
        size_t differences = shown.differences(drawn);
        if (differences < closest) {
            closest = differences;
            closest_id = id;
        }
    }
    return closest_id;
}

// Icon handles belong to the box's process, so the icon is read from the
// screen. The box draws itself in its own time, later on a busy machine and
// for the first box on a new display: a fixed pause before one look failed
// good launches. The area is read until it shows the error icon; a box with
// another icon, or none, fails after timeout_ms.
bool shows_error_icon(HWND icon_control, DWORD timeout_ms) {
    RECT area{};
    GetWindowRect(icon_control, &area);
    Picture shown(area.right - area.left, area.bottom - area.top);
    if (shown.width <= 0 || shown.height <= 0)
        return false;
    for (DWORD waited = 0;; waited += 50) {
        read_screen(icon_control, shown);
        if (closest_system_icon(shown) == 32513)
            return true;
        if (waited >= timeout_ms)
            return false;
        Sleep(50);
    }
}

} // namespace

std::string display_name() {
    char name[256] = {0};
    DWORD length = GetEnvironmentVariableA("DISPLAY", name, sizeof name);
    return length > 0 && length < sizeof name ? std::string(name, length) : std::string();
}

MessageBoxSeen answer_message_box(DWORD process_id, DWORD timeout_ms,
                                  const std::function<void()>& while_shown) {
    MessageBoxSeen seen;
    Search search{process_id};
    for (DWORD waited = 0; search.box == nullptr && waited < timeout_ms; waited += 50) {
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&search));
        if (search.box == nullptr)
            Sleep(50);
    }
    if (search.box == nullptr)
        return seen;
    seen.found = true;
    seen.title = text_of(search.box);

    // The text is the static control that holds words; the icon is another,
    // drawn from the system's error icon.
    std::vector<HWND> children;
    EnumChildWindows(search.box, collect_child, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        if (class_of(child) != L"Static")
            continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            seen.error_icon = seen.error_icon || shows_error_icon(child, timeout_ms);
        } else if (std::wstring text = text_of(child); !text.empty()) {
            seen.text = text;
        }
    }

    HANDLE owner = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    seen.owner_running = owner != nullptr && WaitForSingleObject(owner, 0) == WAIT_TIMEOUT;
    if (owner != nullptr)
        CloseHandle(owner);
    if (while_shown)
        while_shown();
    PostMessageW(search.box, WM_COMMAND, IDOK, 0);
    return seen;
}

} // namespace qarvel_test
