#include "system_paths.h"

#include <shlobj.h>
#include <windows.h>

namespace qarvel_test {

std::wstring shell_folder(int folder_id) {
    wchar_t folder[MAX_PATH + 4] = {};
    if (SHGetFolderPathW(nullptr, folder_id, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return L"<unavailable>";
    return folder;
}

std::wstring temporary_folder() {
    wchar_t folder[MAX_PATH + 4] = {};
    GetTempPathW(MAX_PATH + 4, folder);
    std::wstring text = folder;
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    return text;
}

std::wstring module_path() {
    wchar_t path[32768] = {};
    GetModuleFileNameW(nullptr, path, 32768);
    return path;
}

std::wstring before_last_backslash(const std::wstring& path) {
    size_t last = path.rfind(L'\\');
    return last == std::wstring::npos ? path : path.substr(0, last);
}

} // namespace qarvel_test
