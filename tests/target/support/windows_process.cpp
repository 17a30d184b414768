#include "support/windows_process.h"

#include <map>
#include <stdexcept>
#include <thread>

namespace qarvel_test {

std::string to_utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring from_utf8(const std::string& text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

namespace {

struct CaseInsensitiveLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    }
};

std::wstring environment_block(const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
    std::map<std::wstring, std::wstring, CaseInsensitiveLess> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1) {
        std::wstring text(entry);
        size_t equals = text.find(L'=', 1);
        if (equals != std::wstring::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes) {
        if (value.empty())
            variables.erase(name);
        else
            variables[name] = value;
    }
    std::wstring out;
    for (const auto& [name, value] : variables)
        out += name + L"=" + value + L'\0';
    out += L'\0';
    return out;
}

void drain(HANDLE pipe, std::string* sink) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        sink->append(buffer, got);
}

} // namespace

ProcessResult run_process(const std::wstring& application, const std::wstring& command_line,
                          const RunOptions& options) {
    return run_process(application, command_line, options, {});
}

ProcessResult run_process(const std::wstring& application, const std::wstring& command_line,
                          const RunOptions& options,
                          const std::function<void(DWORD process_id)>& while_running) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write, in_read, in_write;
    if (!CreatePipe(&out_read, &out_write, &inherit, 0) ||
        !CreatePipe(&err_read, &err_write, &inherit, 0) ||
        !CreatePipe(&in_read, &in_write, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (options.standard_handles) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in_read;
        startup.hStdOutput = out_write;
        startup.hStdError = options.standard_error != nullptr ? options.standard_error : err_write;
    }
    if (options.show_window >= 0) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(options.show_window);
    }
    std::wstring desktop = options.desktop;
    if (!desktop.empty())
        startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION process{};
    std::wstring writable_command_line = command_line;
    std::wstring environment = environment_block(options.environment);
    // Without handles, a child gets its parent's handle values (Wine copies
    // them), as a program started from Explorer gets its none: none here.
    HANDLE own_handles[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                             GetStdHandle(STD_ERROR_HANDLE)};
    if (!options.standard_handles) {
        SetStdHandle(STD_INPUT_HANDLE, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        SetStdHandle(STD_ERROR_HANDLE, nullptr);
    }
    BOOL started = CreateProcessW(
        application.c_str(), writable_command_line.data(), nullptr, nullptr,
        options.standard_handles, CREATE_UNICODE_ENVIRONMENT, environment.data(),
        options.directory.empty() ? nullptr : options.directory.c_str(), &startup, &process);
    DWORD start_error = GetLastError();
    SetStdHandle(STD_INPUT_HANDLE, own_handles[0]);
    SetStdHandle(STD_OUTPUT_HANDLE, own_handles[1]);
    SetStdHandle(STD_ERROR_HANDLE, own_handles[2]);
    CloseHandle(out_write);
    CloseHandle(err_write);
    CloseHandle(in_read);
    if (!started) {
        CloseHandle(out_read);
        CloseHandle(err_read);
        CloseHandle(in_write);
        throw std::runtime_error("CreateProcessW failed with error " + std::to_string(start_error) +
                                 " for " + to_utf8(application));
    }

    ProcessResult result;
    result.process_id = process.dwProcessId;
    std::thread out_thread(drain, out_read, &result.out);
    std::thread err_thread(drain, err_read, &result.err);
    DWORD written = 0;
    if (!options.input.empty())
        WriteFile(in_write, options.input.data(), static_cast<DWORD>(options.input.size()),
                  &written, nullptr);
    CloseHandle(in_write);
    if (while_running)
        while_running(process.dwProcessId);

    if (WaitForSingleObject(process.hProcess, options.timeout_ms) != WAIT_OBJECT_0) {
        result.timed_out = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    out_thread.join();
    err_thread.join();
    CloseHandle(out_read);
    CloseHandle(err_read);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

std::string system_text(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                       FORMAT_MESSAGE_FROM_SYSTEM,
                   nullptr, code, 0x409, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string trimmed = text != nullptr ? text : "";
    LocalFree(text);
    while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == '\n'))
        trimmed.pop_back();
    return trimmed;
}

} // namespace qarvel_test
