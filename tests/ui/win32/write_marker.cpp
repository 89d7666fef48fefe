// A harmless program for the help launcher's tests: it records how it was
// started, its show state and its command line, in "marker.txt" beside
// itself, written whole through a rename so a reader never sees half.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    const std::string temporary = folder + "marker.tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "%d\n%s", show, GetCommandLineA());
    if (std::fclose(file) != 0) return 1;
    return MoveFileExA(temporary.c_str(), (folder + "marker.txt").c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
