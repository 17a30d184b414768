// The example application: reads its data file from the folder it runs in and
// shows what the launcher told it.
#include <cstdio>
#include <fstream>
#include <string>
#include <windows.h>

int wmain() {
    wchar_t path[4096];
    DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\'));

    std::string greeting;
    std::getline(std::ifstream((folder + L"\\data\\greeting.txt").c_str()), greeting);
    std::printf("%s\n", greeting.c_str());
    std::printf("running from %ls\n", folder.c_str());

    wchar_t launcher_folder[4096];
    if (GetEnvironmentVariableW(L"QARVEL_ONEFILE_DIRECTORY", launcher_folder, 4096) > 0)
        std::printf("started by the launcher in %ls\n", launcher_folder);
    return 0;
}
