#include "packer/files/host_files.h"

#include "packer/files/utf16.h"
#include "packer/refusal.h"

#include <stdexcept>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace qarvel {

fs::path utf8_path(const std::string& text) {
    return fs::u8path(text);
}

std::wstring long_path_form(const std::wstring& full_path) {
    if (full_path.rfind(L"\\\\?\\", 0) == 0 || full_path.rfind(L"\\\\.\\", 0) == 0)
        return full_path;
    if (full_path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full_path.substr(2);
    return L"\\\\?\\" + full_path;
}

#ifdef _WIN32

namespace {

std::u16string as_utf16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace

std::string system_message(unsigned long error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text == nullptr ? L"" : std::wstring(text, length));
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty())
        return "error " + std::to_string(error);
    return utf16_to_utf8(as_utf16(message));
}

namespace {

struct Handle {
    HANDLE value;
    ~Handle() {
        if (value != INVALID_HANDLE_VALUE)
            CloseHandle(value);
    }
};

} // namespace

std::string shown_path(const fs::path& path) {
    std::wstring text = path.native();
    for (auto& unit : text)
        if (unit == L'\\')
            unit = L'/';
    return utf16_to_utf8(as_utf16(text));
}

std::u16string name_as_utf16(const fs::path& name, const fs::path& relative) {
    if (has_unpaired_surrogate(as_utf16(name.native())))
        throw Refusal("'" + shown_path(relative) +
                      "' is not a valid UTF-16 name (it has an unpaired surrogate)");
    return as_utf16(name.native());
}

fs::path walk_root(const fs::path& folder) {
    return long_path(folder);
}

fs::path comparable_path(const fs::path& path) {
    return long_path(path).lexically_normal();
}

bool is_link(const fs::path& path) {
    DWORD attributes = GetFileAttributesW(long_path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

fs::path resolved_path(const fs::path& path) {
    // FILE_FLAG_BACKUP_SEMANTICS opens folders too ("CreateFileW", Directories).
    Handle file{CreateFileW(long_path(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (file.value == INVALID_HANDLE_VALUE)
        return {};
    std::wstring final_path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(file.value, final_path.data(),
                                                 static_cast<DWORD>(final_path.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return {};
        if (length < final_path.size()) {
            final_path.resize(length);
            return final_path;
        }
        final_path.resize(length);
    }
}

void check_readable(const fs::path& source, const fs::path& relative) {
    // The packer reads with every sharing mode, so a program that opened the
    // file without FILE_SHARE_READ makes this fail, and nothing else does.
    Handle file{CreateFileW(long_path(source).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.value == INVALID_HANDLE_VALUE)
        throw Refusal("cannot read '" + shown_path(relative) +
                      "': " + system_message(GetLastError()));
}

fs::path long_path(const fs::path& path) {
    const std::wstring& given = path.native();
    if (given.empty() || given.rfind(L"\\\\?\\", 0) == 0)
        return path;
    DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return long_path_form(full);
}

bool is_console(std::FILE* stream) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

#else

std::string shown_path(const fs::path& path) {
    return path.generic_string();
}

std::u16string name_as_utf16(const fs::path& name, const fs::path& relative) {
    std::optional<std::u16string> decoded = decode_utf8(name.string());
    if (!decoded)
        throw Refusal("'" + shown_path(relative) + "' is not a valid UTF-8 name");
    return *decoded;
}

fs::path walk_root(const fs::path& folder) {
    return fs::canonical(folder);
}

fs::path comparable_path(const fs::path& path) {
    return fs::weakly_canonical(path);
}

bool is_link(const fs::path& path) {
    return fs::is_symlink(fs::symlink_status(path));
}

fs::path resolved_path(const fs::path& path) {
    std::error_code error;
    fs::path target = fs::canonical(path, error);
    return error ? fs::path() : target;
}

void check_readable(const fs::path& source, const fs::path& relative) {
    int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Refusal("cannot read '" + shown_path(relative) + "': " + std::strerror(errno));
    ::close(fd);
}

fs::path long_path(const fs::path& path) {
    return path;
}

bool is_console(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

#endif

} // namespace qarvel
