// Quillowmere, the demo application: shows where it runs from, what it was
// given, and reads the data files unpacked beside it.
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>
#include <windows.h>

static std::wstring own_directory() {
    wchar_t path[4096];
    DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\'));
}

static void show_variable(const wchar_t* name) {
    wchar_t value[4096];
    DWORD length = GetEnvironmentVariableW(name, value, 4096);
    wprintf(L"  %-26ls %ls\n", name, length > 0 && length < 4096 ? value : L"(not set)");
}

static void show_file(const std::wstring& directory, const wchar_t* relative) {
    std::wstring path = directory + L"\\" + relative;
    std::ifstream in(path.c_str());
    std::string line;
    std::getline(in, line);
    wprintf(L"  %-26ls %hs\n", relative, in ? line.c_str() : "(missing)");
}

int wmain(int argc, wchar_t** argv) {
    std::wstring directory = own_directory();
    wprintf(L"Quillowmere demo, running from %ls\n", directory.c_str());
    wprintf(L"Arguments (%d):\n", argc - 1);
    for (int i = 1; i < argc; ++i)
        wprintf(L"  [%d] %ls\n", i, argv[i]);
    wprintf(L"From the launcher:\n");
    show_variable(L"QARVEL_ONEFILE_PARENT");
    show_variable(L"QARVEL_ONEFILE_DIRECTORY");
    show_variable(L"QARVEL_ORIGINAL_ARGV0");
    wprintf(L"Data files:\n");
    show_file(directory, L"greetings\\hello.txt");
    show_file(directory, L"greetings\\farewell.txt");
    show_file(directory, L"assets\\palette.txt");
    return 0;
}
