#include "base/windows_error.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korvane {

QString windowsErrorText(unsigned long error) {
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString reason = n > 0 ? QString::fromWCharArray(text, int(n)).trimmed()
                           : QStringLiteral("Windows error %1").arg(error);
    if (text != nullptr)
        LocalFree(text);
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason;
}

} // namespace korvane
