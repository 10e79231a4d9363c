#include "app/program_arguments.h"

#include <cstdio>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace korvane {

// The command line as Windows keeps it, in UTF-16: a path in any language arrives whole, where
// argv would hold the system code page's approximation of it.
QStringList argumentsOf(int, char *[]) {
    QStringList arguments;
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments << QString::fromWCharArray(words[i]);
    LocalFree(words);
    return arguments;
}

void joinStartingConsole() {
    const auto redirected = [](DWORD which) {
        return GetFileType(GetStdHandle(which)) != FILE_TYPE_UNKNOWN;
    };
    // Output already redirected (to a file or a pipe) is kept where it goes.
    const bool outRedirected = redirected(STD_OUTPUT_HANDLE);
    const bool errRedirected = redirected(STD_ERROR_HANDLE);
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outRedirected)
        (void)std::freopen("CONOUT$", "w", stdout);
    if (!errRedirected)
        (void)std::freopen("CONOUT$", "w", stderr);
}

} // namespace korvane
